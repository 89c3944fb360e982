#include "platform/WindowsVersion.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <thread>

#include "TestSupport.h"

namespace tvx {
namespace {

// Answers the name question as told and counts how often it was asked.
struct NameAnswer {
    bool isWindows10;
    int asked = 0;
    bool operator()() {
        ++asked;
        return isWindows10;
    }
};

TEST(Windows11Decision, BuildDecidesFirstAndTheNameOnlyInTheOverlap) {
    struct Case {
        uint32_t major, build;
        bool nameSaysWindows10;
        bool expected;
        int asks;
    } cases[] = {
        {10, 19045, false, false, 0},  // Windows 10: the build alone answers
        {10, 21999, true, false, 0},
        {10, 22000, false, true, 1},   // first Windows 11 build
        {10, 22631, true, false, 1},   // a Windows 10 edition numbered like Windows 11
        {11, 100, true, true, 0},      // a later major version is Windows 11 or newer
        {6, 22000, false, false, 0},   // older majors never ask
    };
    for (const Case& c : cases) {
        NameAnswer answer{c.nameSaysWindows10};
        EXPECT_EQ(DecideWindows11(c.major, c.build, answer), c.expected) << c.major << "." << c.build;
        EXPECT_EQ(answer.asked, c.asks) << c.major << "." << c.build;
    }
}

TEST(DefaultAppsPageDecision, WindowsElevenFromItsUpdateOfApril2023) {
    struct Case {
        uint32_t build, revision;
        bool expected;
    } cases[] = {
        {19045, 5000, false},  // Windows 10, however recent
        {22000, 1816, false}, {22000, 1817, true}, {22621, 1554, false},
        {22623, 1555, true},  {22631, 0, true},    {26100, 0, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecideDefaultAppsAppPage(c.build, c.revision), c.expected) << c.build << "." << c.revision;
}

TEST(Windows11Decision, AnUnavailableManagementServiceLeavesTheBuildToDecide) {
    // OsNameIsWindows10 answers false for every COM failure.
    EXPECT_TRUE(DecideWindows11(10, 22000, [] { return false; }));
    // Without COM on the thread the real query fails and gives false.
    std::thread([] { EXPECT_FALSE(OsNameIsWindows10()); }).join();
}

TEST(ManagementQuery, ReadsTheSystemNameThroughWmi) {
    const ComSession com;
    ASSERT_TRUE(com.ok());
    // Wine set to Windows 10 names itself "Microsoft Windows 10 Pro|C:\WINDOWS|...".
    EXPECT_TRUE(OsNameIsWindows10());
}

TEST(VersionCaches, PrimedAnswersStandUntilReset) {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    ASSERT_TRUE(GetVersionExW(&info));
    uint32_t system = info.dwMajorVersion * 256 + info.dwMinorVersion;

    ResetWindowsVersionCaches();
    EXPECT_EQ(WindowsVersionNumber(), system);
    EXPECT_FALSE(IsWindows11()) << "the test prefix is Windows 10";

    PrimeWindowsVersion(true, 0x0A00);
    EXPECT_TRUE(IsWindows11());
    EXPECT_EQ(WindowsVersionNumber(), 0x0A00u);
    PrimeWindowsVersion(false, 0x0501);
    EXPECT_FALSE(IsWindows11());
    EXPECT_EQ(WindowsVersionNumber(), 0x0501u);

    ResetWindowsVersionCaches();
    EXPECT_EQ(WindowsVersionNumber(), system);
    EXPECT_FALSE(IsWindows11());
}

// Runs the probe program under the Windows version Wine is told to report to it.
DWORD RunProbe(const wchar_t* wineVersion) {
    tvxtest::TempFolder sandbox(L"tvxprobe");
    wchar_t exeName[64];
    swprintf(exeName, 64, L"tvxprobe%lu.exe", GetCurrentProcessId());
    std::wstring probe = sandbox / exeName;
    if (!CopyFileW((tvxtest::BuildDir() + L"\\tests\\platform\\VersionProbe.exe").c_str(), probe.c_str(), FALSE)) {
        ADD_FAILURE() << "VersionProbe.exe not found";
        return 0;
    }
    std::wstring key = std::wstring(L"Software\\Wine\\AppDefaults\\") + exeName;
    EXPECT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, key, L"Version", wineVersion));
    long code = tvxtest::RunAndWait(L"\"" + probe + L"\"", 60000);
    tvxtest::DeleteRegTree(HKEY_CURRENT_USER, key);
    EXPECT_NE(code, -1) << "the probe did not run";
    return static_cast<DWORD>(code);
}

TEST(VersionCaches, RealVersionsAsTheSystemReportsThem) {
    DWORD windows7 = RunProbe(L"win7");
    EXPECT_EQ(windows7 & 0xFFFF, 0x0601u);
    EXPECT_EQ(windows7 & 0x10000, 0u) << "not Windows 11";

    // A program without a compatibility manifest is told 6.2 by Windows 10.
    DWORD windows10 = RunProbe(L"win10");
    EXPECT_EQ(windows10 & 0xFFFF, 0x0602u);
    EXPECT_EQ(windows10 & 0x10000, 0u);
    EXPECT_NE(windows10 & 0x20000, 0u) << "WMI names Windows 10";
}

}  // namespace
}  // namespace tvx
