// Unattended setup on the real Uninstall.exe, as an installer starts it: "-s /setup"
// with an "init" string. The dialog must never show, and the choices must be stored
// and applied; a second silent setup that deselects every type gives them all back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "TestSupport.h"

namespace {

using tvxtest::ClassDefault;

const std::wstring kSetupKey = L"Software\\Tervix\\Setup";

struct SetupRun {
    long exitCode = -1;
    bool windowShown = false;
};

// Runs a copy of the program in the install folder and watches its windows until it ends.
SetupRun RunSilentSetup(const tvxtest::TempFolder& install, const std::wstring& init, const std::wstring& more = L"") {
    SetupRun run;
    tvxtest::Process process;
    if (!process.Start(L"\"" + (install / L"Uninstall.exe") + L"\" -s /setup -init" + init + more, install.path()))
        return run;
    // Any window of the process, shown for however short a time.
    const tvxtest::QuietEnd end =
        tvxtest::WaitForQuietEnd(process, 60000, {.processId = process.id(), .className = nullptr}, 10);
    run.windowShown = end.shown != nullptr;
    if (end.ended) run.exitCode = static_cast<long>(end.exitCode);
    return run;
}

DWORD Stored(const std::wstring& key, const wchar_t* name) {
    DWORD value = 99;
    tvxtest::RegReadDword(HKEY_CURRENT_USER, key, name, &value);
    return value;
}

class SilentSetup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CopyFileW(tvxtest::UninstallExe().c_str(), (install_ / L"Uninstall.exe").c_str(), FALSE));
    }
    void TearDown() override { tvxtest::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix"); }
    tvxtest::TempFolder install_{L"Tervix"};
};

TEST_F(SilentSetup, StoresAndAppliesTheInitChoicesWithoutShowingAWindow) {
    // Only .tvx, desktop shortcut on, shell extension on, no program group.
    const SetupRun run = RunSilentSetup(install_, L"A1" + std::wstring(17, L'0') + L"D1S1P0");

    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.windowShown);
    EXPECT_EQ(Stored(kSetupKey + L"\\.tvx", L"Set"), 1u);
    EXPECT_EQ(Stored(kSetupKey + L"\\.zip", L"Set"), 0u);
    EXPECT_EQ(Stored(kSetupKey + L"\\.001", L"Set"), 0u);
    EXPECT_EQ(Stored(kSetupKey + L"\\Links", L"Desktop"), 1u);
    EXPECT_EQ(Stored(kSetupKey + L"\\Links", L"Programs"), 0u);
    EXPECT_EQ(Stored(kSetupKey, L"ShellExt"), 1u);
    EXPECT_EQ(ClassDefault(L".tvx"), L"Tervix");
    EXPECT_EQ(ClassDefault(L".t29"), L"Tervix");
    EXPECT_NE(ClassDefault(L".zip"), L"Tervix.ZIP");
    EXPECT_EQ(ClassDefault(L"Tervix\\shell\\open\\command"), L"\"" + (install_ / L"Tervix.exe") + L"\" \"%1\"");
    std::wstring newFile;
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CLASSES_ROOT, L".tvx\\ShellNew", L"FileName", &newFile));
    EXPECT_EQ(newFile, install_ / L"tvxnew.dat");
    EXPECT_EQ(tvxtest::ReadFileBytes(install_ / L"tvxnew.dat").substr(0, 4), "Tvx!");
    EXPECT_FALSE(tvxtest::PathExists(install_ / L"zipnew.dat"));
}

TEST_F(SilentSetup, DeselectingEveryTypeGivesZipBackToItsOwner) {
    tvxtest::RegWriteString(HKEY_CLASSES_ROOT, L".zip", L"", L"CompressedFolder");
    tvxtest::RegWriteString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", L"C:\\windows\\ShellNew\\zip.zip");

    const tvxtest::TempFolder logs(L"tvxsetuplog");
    SetupRun run =
        RunSilentSetup(install_, L"A" + std::wstring(18, L'1') + L"S1", L" \"/log=" + (logs / L"run.log") + L"\"");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ClassDefault(L".zip"), L"Tervix.ZIP");
    // Every previous owner is recorded, and on the disk, before the first type changes hands.
    const std::vector<std::wstring> lines = tvxtest::ReadUtf8Lines(logs / L"run.log");
    size_t lastRecord = 0, firstFlush = lines.size(), firstTaken = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(L" wrote HKLM\\Software\\Tervix\\PreviousOwners\\") != std::wstring::npos) lastRecord = i;
        if (lines[i].find(L" flushed the registry") != std::wstring::npos) firstFlush = std::min(firstFlush, i);
        if (lines[i].find(L" took ") != std::wstring::npos) firstTaken = std::min(firstTaken, i);
    }
    EXPECT_GT(lastRecord, 0u) << "no record written";
    EXPECT_LT(lastRecord, firstFlush);
    EXPECT_LT(firstFlush, firstTaken);
    std::wstring newFile;
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", &newFile));
    EXPECT_EQ(newFile, install_ / L"zipnew.dat");

    run = RunSilentSetup(install_, L"A" + std::wstring(18, L'0'));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ClassDefault(L".zip"), L"CompressedFolder");
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", &newFile));
    EXPECT_EQ(newFile, L"C:\\windows\\ShellNew\\zip.zip");
    // .tvx had no key: once our New-menu subkey is gone, nothing of it is left.
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, L".tvx"));
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, L".t00"));
    EXPECT_EQ(ClassDefault(L".cab"), L"<none>");
}

}  // namespace
