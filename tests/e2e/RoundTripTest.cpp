// The whole life of an install, as a user's machine sees it: a silent setup with every
// choice on, a second one, then the silent uninstall that the entry in Installed apps
// names (its QuietUninstallString), on a prefix where other programs
// already own archive types, volume names, ".rev" and a full New-menu entry. Afterwards
// the registry (compared as regedit exports it) is as it was before, apart from empty
// keys that the release rules leave by design; every shortcut, program group and the
// install folder are gone. The same holds for the Windows Installer package under Wine's
// msiexec: installed, upgraded and removed, or rolled back from a setup ended part-way.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "UninstallScenarioSupport.h"

namespace {

using namespace tvxtest;

const wchar_t* const kInstalledFiles[] = {L"Tervix.exe", L"tvxext.dll", L"tvxext32.dll", L"Tervix.chm",
                                          L"Tvx.txt",    L"WhatsNew.txt"};

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && _wcsnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

// Keys that Wine and the shell change on their own while programs run.
bool IsVolatile(const std::wstring& key) {
    static const wchar_t* const kVolatile[] = {
        L"[HKEY_CURRENT_USER\\Software\\Wine",
        L"[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",
        L"[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Perflib",
        L"[HKEY_LOCAL_MACHINE\\Software\\Wine",
    };
    for (const wchar_t* prefix : kVolatile) {
        if (StartsWith(key, prefix)) return true;
    }
    return false;
}

// One entry per key ("[key]") and per value ("[key] name=data"), as regedit writes them.
std::set<std::wstring> ExportRegistry(const std::wstring& scratch) {
    std::set<std::wstring> entries;
    int part = 0;
    for (const wchar_t* root : {L"HKEY_LOCAL_MACHINE\\Software", L"HKEY_CURRENT_USER\\Software"}) {
        const std::wstring file = scratch + L"\\export" + std::to_wstring(part++) + L".reg";
        EXPECT_EQ(RunAndWait(L"regedit.exe /E \"" + file + L"\" \"" + root + L"\"", 60000), 0);
        const std::wstring text = Utf16LeText(ReadFileBytes(file));
        std::wstring key, pending;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(L'\n', start);
            if (end == std::wstring::npos) end = text.size();
            std::wstring line = text.substr(start, end - start);
            start = end + 1;
            if (!line.empty() && line.back() == L'\r') line.pop_back();
            // Long data continues on the next line after a trailing backslash.
            if (!pending.empty()) {
                size_t first = line.find_first_not_of(L' ');
                line = pending + (first == std::wstring::npos ? L"" : line.substr(first));
                pending.clear();
            }
            if (!line.empty() && line.back() == L'\\' && line.front() != L'[') {
                pending = line.substr(0, line.size() - 1);
                continue;
            }
            if (line.empty()) continue;
            if (line.front() == L'[') {
                key = line;
                if (!IsVolatile(key)) entries.insert(key);
            } else if (line.front() == L'"' || line.front() == L'@') {
                if (!key.empty() && !IsVolatile(key)) entries.insert(key + L" " + line);
            }
        }
    }
    return entries;
}

std::vector<std::wstring> Difference(const std::set<std::wstring>& a, const std::set<std::wstring>& b) {
    std::vector<std::wstring> only;
    for (const std::wstring& entry : a) {
        if (!b.count(entry)) only.push_back(entry);
    }
    return only;
}

// Parents of the keys that setup writes and the removal deletes one by one: a
// single-key delete leaves them, empty, by design.
const wchar_t* const kEmptyParents[] = {
    L"Classes\\Drive",
    L"Classes\\Drive\\shellex",
    L"Classes\\Drive\\shellex\\DragDropHandlers",
    L"Classes\\Folder",
    L"Classes\\Folder\\shellex",
    L"Classes\\Folder\\shellex\\DragDropHandlers",
    L"Classes\\Folder\\shellex\\ContextMenuHandlers",
    L"Classes\\exefile\\shellex",
    L"Classes\\exefile\\shellex\\PropertySheetHandlers",
    L"Classes\\*\\shellex",
    L"Classes\\*\\shellex\\ContextMenuHandlers",
    L"Classes\\lnkfile\\shellex",
    L"Classes\\lnkfile\\shellex\\ContextMenuHandlers",
    L"Classes\\Wow6432Node\\CLSID",
    L"RegisteredApplications",
    L"Microsoft\\Windows\\CurrentVersion\\Shell Extensions",
    L"Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
    L"Microsoft\\Windows\\CurrentVersion\\App Paths",
    L"Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths",
};

bool HasValues(const std::wstring& key, const std::set<std::wstring>& entries) {
    auto next = entries.upper_bound(key);
    return next != entries.end() && StartsWith(*next, key + L" ");
}

// What the release rules leave on purpose: the empty parents above, and an empty
// default value where an extension key had none.
bool IsDocumentedLeftover(const std::wstring& entry, const std::set<std::wstring>& before,
                          const std::set<std::wstring>& after) {
    const std::wstring classes = L"[HKEY_LOCAL_MACHINE\\Software\\Classes\\";
    const bool isKey = entry.find(L"] ") == std::wstring::npos;
    const std::wstring key = isKey ? entry : entry.substr(0, entry.find(L"] ") + 1);
    if (isKey) {
        if (HasValues(key, after)) return false;
        // Windows Installer's own registration of a product: Wine's msiexec leaves its
        // keys behind, empty, once the product is gone.
        for (const wchar_t* installer : {L"Classes\\Installer", L"Microsoft\\Windows\\CurrentVersion\\Installer"})
            if (StartsWith(key, L"[HKEY_LOCAL_MACHINE\\Software\\" + std::wstring(installer))) return true;
        for (const wchar_t* parent : kEmptyParents) {
            if (_wcsicmp(key.c_str(), (L"[HKEY_LOCAL_MACHINE\\Software\\" + std::wstring(parent) + L"]").c_str()) == 0)
                return true;
        }
        return false;
    }
    return entry == key + L" @=\"\"" && StartsWith(key, classes + L".") && before.count(key) > 0;
}

std::wstring Describe(const std::vector<std::wstring>& entries) {
    std::wstring text;
    for (const std::wstring& entry : entries) text += L"\n  " + entry;
    return text;
}

// Who uninstalls, and where the product's settings live meanwhile.
enum class Variant {
    Plain,
    // Another account: the setup account's own "Software\Tervix" is out of its sight.
    OtherAccount,
    // The installer's folder holds a "Tervix.ini" that setup copies beside the program
    // once it has applied the choices; this one switches integration off from then on.
    InstallerPreset,
    // A portable copy whose settings file is never written: the records never reach it.
    PortableWithoutSaving,
    // The real setup program lays the files down, silently, with the option string and
    // a log; the preset beside it is the installer's. It lists only what it installed.
    SetupProgram,
};

class RoundTrip : public ::testing::Test {
protected:
    void TearDown() override {
        RemoveTree(removeAfter_.empty() ? install_ : removeAfter_);
        RemoveTree(scratch_.path());
    }

    bool HasPreset() const { return variant_ == Variant::InstallerPreset || variant_ == Variant::SetupProgram; }

    void InstallProduct() {
        if (variant_ == Variant::SetupProgram) return;
        CreateDirectoryW(install_.substr(0, install_.find_last_of(L'\\')).c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(install_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(UninstallExe().c_str(), (install_ + L"\\Uninstall.exe").c_str(), FALSE));
        // As the installer writes it: the New-menu templates that setup makes are not in it.
        std::string list = "Uninstall.exe\r\nUninstall.lst\r\n";
        // As the installer lists the settings file it ships, or the portable copy's.
        if (variant_ == Variant::InstallerPreset || variant_ == Variant::PortableWithoutSaving)
            list += "Tervix.ini\r\n";
        if (variant_ == Variant::PortableWithoutSaving) {
            ASSERT_TRUE(WriteFileBytes(install_ + L"\\Tervix.ini", "Global\\SaveSettings=0\r\n"));
        }
        for (const wchar_t* name : kInstalledFiles) {
            ASSERT_TRUE(WriteFileBytes(install_ + L"\\" + name, "installed"));
            list += Narrow(name) + "\r\n";
        }
        ASSERT_TRUE(WriteFileBytes(install_ + L"\\Uninstall.lst", list));
    }

    // Other programs' archive types, the way a user's machine has them.
    static void SeedOtherOwners() {
        RegWriteString(HKEY_CLASSES_ROOT, L".zip", L"", L"OtherZip.Archive");
        // A New-menu entry with every kind of value a program may put there.
        const std::wstring shellNew = L".zip\\ShellNew";
        RegWriteString(HKEY_CLASSES_ROOT, shellNew, L"NullFile", L"");
        RegWriteString(HKEY_CLASSES_ROOT, shellNew, L"ItemName", L"@C:\\Other\\zip.dll,-101");
        RegWriteString(HKEY_CLASSES_ROOT, shellNew, L"Command", L"\"C:\\Other\\zip.exe\" -new \"%1\"");
        RegWriteDword(HKEY_CLASSES_ROOT, shellNew, L"BeforeSeparator", 7);
        const BYTE emptyZip[22] = {0x50, 0x4B, 0x05, 0x06};
        SetTypedValue(shellNew, L"Data", REG_BINARY, emptyZip, sizeof emptyZip);
        const wchar_t icon[] = L"%ProgramFiles%\\Other\\zip.exe,2";
        SetTypedValue(shellNew, L"IconPath", REG_EXPAND_SZ, icon, sizeof icon);
        // Volume names of another splitter, within the thirty that setup takes and beyond.
        for (const wchar_t* volume : {L".t05", L".t45", L".t64"})
            RegWriteString(HKEY_CLASSES_ROOT, volume, L"", L"OtherSplit.Part");
        RegWriteString(HKEY_CLASSES_ROOT, L".t05", L"Content Type", L"application/x-split");
        RegWriteString(HKEY_CLASSES_ROOT, L".rev", L"", L"OtherRev.File");
        RegWriteString(HKEY_CLASSES_ROOT, L".rev", L"Content Type", L"application/x-rev");
        RegWriteString(HKEY_CLASSES_ROOT, L"OtherZip.Archive\\shell\\open\\command", L"",
                       L"\"C:\\Other\\zip.exe\" \"%1\"");
        RegWriteString(HKEY_CLASSES_ROOT, L".7z", L"", L"Other7z.File");
        RegWriteString(HKEY_CLASSES_ROOT, L"Other7z.File\\DefaultIcon", L"", L"C:\\Other\\7z.exe,0");
        RegWriteString(HKEY_CLASSES_ROOT, L".iso", L"", L"OtherIso.Image");
        RegWriteString(HKEY_CLASSES_ROOT, L".cab", L"", L"");
        // The user gave ".7z" to the other program in Default apps.
        const std::wstring fileExts = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
        RegWriteString(HKEY_CURRENT_USER, fileExts + L".7z\\UserChoice", L"ProgId", L"Other7z.File");
    }

    static void SetTypedValue(const std::wstring& key, const wchar_t* name, DWORD type, const void* data,
                              DWORD bytes) {
        tvx::UniqueHkey handle;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, handle.put(),
                                  nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(handle.get(), name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
    }

    static std::vector<std::wstring> Shortcuts() {
        return {KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Tervix.lnk",
                KnownFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Tervix.lnk",
                KnownFolder(CSIDL_COMMON_STARTMENU) + L"\\Tervix.lnk", KnownFolder(CSIDL_PROGRAMS) + L"\\Tervix",
                KnownFolder(CSIDL_COMMON_PROGRAMS) + L"\\Tervix"};
    }

    void Run();
    // The registry as regedit exports it is as it was, apart from what the release rules
    // and Windows Installer leave by design.
    void ExpectRegistryAsBefore(const std::set<std::wstring>& before) {
        const std::set<std::wstring> after = ExportRegistry(scratch_.path());
        std::vector<std::wstring> left;
        for (const std::wstring& entry : Difference(after, before)) {
            if (!IsDocumentedLeftover(entry, before, after)) left.push_back(entry);
        }
        const std::vector<std::wstring> lost = Difference(before, after);
        EXPECT_TRUE(left.empty()) << "left behind:" << Narrow(Describe(left));
        EXPECT_TRUE(lost.empty()) << "lost:" << Narrow(Describe(lost));
    }
    size_t FileBytes(const wchar_t* name) const { return ReadFileBytes(install_ + L"\\" + name).size(); }

    Variant variant_ = Variant::Plain;
    std::wstring install_ = L"C:\\Program Files\\Tervix";
    std::wstring removeAfter_;  // the folder made for the install, when not its parent
    TempFolder scratch_{L"tvxroundtrip"};
};

TEST_F(RoundTrip, SilentSetupWithEverythingThenSilentUninstallLeavesTheMachineAsItWas) { Run(); }

TEST_F(RoundTrip, AnotherAccountUninstalls) {
    variant_ = Variant::OtherAccount;
    Run();
}

TEST_F(RoundTrip, InstallerPresetSwitchesIntegrationOffAfterSetup) {
    variant_ = Variant::InstallerPreset;
    Run();
}

TEST_F(RoundTrip, PortableCopyThatNeverSavesItsSettings) {
    variant_ = Variant::PortableWithoutSaving;
    Run();
}

TEST_F(RoundTrip, SetupProgramIntoItsDefaultFolder) {
    variant_ = Variant::SetupProgram;
    Run();
}

// "/D=" comes last and unquoted, blanks and all, as NSIS takes it.
TEST_F(RoundTrip, SetupProgramIntoAFolderGivenWithD) {
    variant_ = Variant::SetupProgram;
    removeAfter_ = L"C:\\Tervix Apps";
    install_ = removeAfter_ + L"\\Archiver 64";
    Run();
}

// A program path of 255 characters, most of them "%" signs, which the command
// interpreter would take for variables: the uninstall removes the folder itself.
TEST_F(RoundTrip, ProgramPathOf255CharactersFullOfPercentSigns) {
    removeAfter_ = L"C:\\Apps " + std::wstring(226, L'%');
    install_ = removeAfter_ + L"\\Tervix";
    ASSERT_EQ((install_ + L"\\Uninstall.exe").size(), 255u);
    Run();
}

// ---- The Windows Installer package, built by scripts/package.sh, under Wine's msiexec ----

// "current" holds this version's package, "newer" the next one's.
std::wstring Package(const wchar_t* which, const wchar_t* version) {
    return BuildDir() + L"\\test-packages\\" + which + L"\\Tervix-" + version + L"-x64.msi";
}

std::wstring Msiexec(const std::wstring& action, const std::wstring& properties) {
    return L"msiexec.exe " + action + L" /qn" + (properties.empty() ? L"" : L" " + properties);
}

std::vector<std::wstring> OneInstallerEntry(const wchar_t* version) {
    return {L"Tervix|" + std::wstring(version) + L"|Norvane Labs|C:\\Program Files\\Tervix\\|1|1|"};
}

// Every line of the run log that holds text.
size_t LogLinesWith(const std::vector<std::wstring>& lines, const std::wstring& text) {
    size_t count = 0;
    for (const std::wstring& line : lines) count += line.find(text) != std::wstring::npos;
    return count;
}

class WindowsInstallerPackage : public RoundTrip {
protected:
    void SetUp() override {
        ASSERT_TRUE(PathExists(Package(L"current", L"6.24.1"))) << Narrow(Package(L"current", L"6.24.1"));
        // Else the 32-bit App Paths entry would be the 64-bit one under Wine.
        ASSERT_TRUE(tvxtest::SeparateAppPathsViews());
        SeedOtherOwners();
        before_ = ExportRegistry(scratch_.path());
        ASSERT_GT(before_.size(), 1000u);
        log_ = scratch_.path() + L"\\tervix msi.log";
    }

    // Nothing of the product is left: no file, no entry, no shortcut, and the registry
    // is as it was, other programs' types given back exactly.
    void ExpectNothingLeft() {
        EXPECT_FALSE(PathExists(install_)) << "the install folder is still there";
        EXPECT_TRUE(uninstalltest::TervixEntries().empty());
        for (const std::wstring& path : Shortcuts()) EXPECT_FALSE(PathExists(path)) << Narrow(path);
        EXPECT_EQ(ClassDefault(L".zip"), L"OtherZip.Archive");
        ExpectRegistryAsBefore(before_);
    }

    std::set<std::wstring> before_;
    std::wstring log_;
};

TEST_F(WindowsInstallerPackage, InstallUpgradeRefusedDowngradeAndTheProgramsOwnUninstallLeaveNothing) {
    const std::wstring options = L"TVXINIT=A110000100000000000S1D1M1 TVXLOG=\"" + log_ + L"\"";
    ASSERT_EQ(RunAndWait(Msiexec(L"/i \"" + Package(L"current", L"6.24.1") + L"\"", options), 180000), 0);
    EXPECT_EQ(ClassDefault(L".zip"), L"Tervix.ZIP");
    EXPECT_EQ(ClassDefault(L".7z"), L"Tervix");
    EXPECT_EQ(ClassDefault(L".cab"), L"") << "not among the chosen types";
    EXPECT_TRUE(PathExists(KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Tervix.lnk"));
    EXPECT_TRUE(PathExists(KnownFolder(CSIDL_COMMON_STARTMENU) + L"\\Tervix.lnk"));
    for (const wchar_t* name : kInstalledFiles) EXPECT_TRUE(PathExists(install_ + L"\\" + name)) << Narrow(name);
    // One entry in Installed apps, Windows Installer's: setup wrote none of its own.
    EXPECT_EQ(uninstalltest::TervixEntries(), OneInstallerEntry(L"6.24.1"));

    // The newer version replaces the older in place.
    ASSERT_EQ(RunAndWait(Msiexec(L"/i \"" + Package(L"newer", L"6.24.2") + L"\"", options), 180000), 0);
    EXPECT_EQ(uninstalltest::TervixEntries(), OneInstallerEntry(L"6.24.2"));
    EXPECT_EQ(ClassDefault(L".zip"), L"Tervix.ZIP");
    // The older one over it is refused and changes nothing.
    EXPECT_EQ(RunAndWait(Msiexec(L"/i \"" + Package(L"current", L"6.24.1") + L"\"", L""), 180000), 1603);
    EXPECT_EQ(uninstalltest::TervixEntries(), OneInstallerEntry(L"6.24.2"));

    // Started as users start it, the program hands the uninstall to Windows Installer.
    EXPECT_EQ(RunAndWait(L"\"" + install_ + L"\\Uninstall.exe\" -s \"/log=" + log_ + L"\"", 180000, install_), 0);
    ExpectNothingLeft();
    EXPECT_TRUE(uninstalltest::WaitUntilBatchesGone(20000)) << "the moved program file stays in the temporary folder";

    const std::vector<std::wstring> lines = ReadUtf8Lines(log_);
    EXPECT_EQ(LogLinesWith(lines, L"Uninstall.exe\" /setup /msi -s \"-initA110000100000000000S1D1M1\""), 2u);
    EXPECT_EQ(LogLinesWith(lines, L"the install belongs to the Windows Installer product {"), 1u);
    EXPECT_EQ(LogLinesWith(lines, L" \"/unregister=C:\\Program Files\\Tervix\\\" -s /log="), 1u);
    EXPECT_EQ(LogLinesWith(lines, L"released .zip, given back to \"OtherZip.Archive\""), 1u);
    EXPECT_EQ(LogLinesWith(lines, L"Windows Installer ended with 0"), 1u);
    EXPECT_EQ(LogLinesWith(lines, L"FAILED"), 0u);
}

// The first process of the name that runs now, opened to be ended; null when none does.
HANDLE OpenRunningProgram(const wchar_t* name) {
    const tvx::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return nullptr;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    HANDLE process = nullptr;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more && !process;
         more = Process32NextW(snapshot.get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, name) == 0)
            process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                  entry.th32ProcessID);
    }
    return process;
}

TEST_F(WindowsInstallerPackage, SetupKilledPartWayFailsTheInstallAndRollsEverythingBack) {
    // Told of the first key setup adds there: its first change to the machine.
    tvx::UniqueHkey appPaths;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths", 0,
                            KEY_NOTIFY, appPaths.put()),
              ERROR_SUCCESS);
    const tvx::UniqueHandle changed(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_EQ(RegNotifyChangeKeyValue(appPaths.get(), TRUE, REG_NOTIFY_CHANGE_NAME, changed.get(), TRUE),
              ERROR_SUCCESS);

    // Into a folder of the administrator's choice, with a blank in its name.
    install_ = L"C:\\Program Files\\Tervix 6";
    Process msiexec;
    // Names that others begin with or end in, in any letter case.
    const std::wstring types = L"lzh,7z,TAR,z,zipx,001";
    ASSERT_TRUE(msiexec.Start(Msiexec(L"/i \"" + Package(L"current", L"6.24.1") + L"\"",
                                      L"INSTALLDIR=\"" + install_ + L"\\\" ASSOCIATE=" + types +
                                          L" STARTMENUSHORTCUT=1 TVXLOG=\"" + log_ + L"\"")));
    tvx::UniqueHandle setup;
    ASSERT_TRUE(WaitUntil(
        [&] { return static_cast<bool>(setup = tvx::UniqueHandle(OpenRunningProgram(L"Uninstall.exe"))); }, 120000,
        5));
    // Ended as a task kill ends a program, once it has begun to change the machine.
    EXPECT_EQ(WaitForSingleObject(changed.get(), 60000), WAIT_OBJECT_0);
    TerminateProcess(setup.get(), 1);
    DWORD setupCode = 0;
    EXPECT_TRUE(WaitForSingleObject(setup.get(), 10000) == WAIT_OBJECT_0 &&
                GetExitCodeProcess(setup.get(), &setupCode));
    EXPECT_EQ(setupCode, 1u) << "setup ended before it could be killed";
    setup.reset();
    appPaths.reset();

    DWORD installCode = 0;
    ASSERT_TRUE(msiexec.Wait(180000, &installCode));
    // Wine's msiexec reports a failed deferred action as 1627, Windows' as 1603.
    EXPECT_TRUE(installCode == 1603 || installCode == 1627) << installCode;
    ExpectNothingLeft();
    const std::vector<std::wstring> lines = ReadUtf8Lines(log_);
    // The readable properties build the option string, exactly the named types; without
    // TVXINIT the shell extension and the desktop shortcut are on.
    EXPECT_EQ(LogLinesWith(lines, L"Tervix 6\\Uninstall.exe\" /setup /msi -s \"-initA000001110000010101S1D1M1\""),
              1u);
    EXPECT_EQ(LogLinesWith(lines, L" \"/unregister=C:\\Program Files\\Tervix 6\\\" -s /log="), 1u)
        << "the rollback's copy of the program ran";
    EXPECT_GE(LogLinesWith(lines, L"deleted key HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"), 1u)
        << "what setup had applied was taken back";
}

// Run as the test e2e.Utf8CodePage under a Linux locale that gives the UTF-8 code page
// (65001) for both ANSI and OEM: a folder name no legacy code page holds.
class Utf8CodePage : public RoundTrip {};

TEST_F(Utf8CodePage, RoundTripWithANonAsciiInstallFolder) {
    if (LocaleOfRun().empty()) GTEST_SKIP() << "runs as the test e2e.Utf8CodePage";
    ASSERT_EQ(GetACP(), 65001u);
    ASSERT_EQ(GetOEMCP(), 65001u);
    install_ = L"C:\\Program Files\\\u0924\u0930\u094d\u0935\u093f\u0915\u094d\u0938 Tervix \u00e9\u0416";
    Run();
}

void RoundTrip::Run() {
    // Else the 32-bit App Paths entry would be the 64-bit one under Wine, made and
    // removed with it.
    ASSERT_TRUE(tvxtest::SeparateAppPathsViews());
    SeedOtherOwners();
    ASSERT_NO_FATAL_FAILURE(InstallProduct());
    const std::set<std::wstring> before = ExportRegistry(scratch_.path());
    ASSERT_GT(before.size(), 1000u);

    const std::wstring program = L"\"" + install_ + L"\\Uninstall.exe\"";
    // The administrator's log, in a folder with a blank; both runs append to it.
    const std::wstring logFolder = scratch_.path() + L"\\run logs";
    ASSERT_TRUE(CreateDirectoryW(logFolder.c_str(), nullptr));
    const std::wstring log = logFolder + L"\\tervix.log";
    // The installer that started setup, a stand-in or the real one, with its preset beside it.
    const std::wstring installer = scratch_.path() + L"\\tervix-setup.exe";
    const std::wstring choices = L"-initA111111111111111111D1M1P1S1C1I1";
    ASSERT_TRUE(WriteFileBytes(scratch_.path() + L"\\Tervix.ini", "Global\\Integration=0\r\n"));
    if (variant_ == Variant::SetupProgram) {
        ASSERT_TRUE(CopyFileW(SetupProgram().c_str(), installer.c_str(), FALSE)) << Narrow(SetupProgram());
        const std::wstring folder = install_ == L"C:\\Program Files\\Tervix" ? L"" : L" /D=" + install_;
        ASSERT_EQ(RunAndWait(L"\"" + installer + L"\" /S " + choices + L" /log=\"" + log + L"\"" + folder, 120000,
                             scratch_.path()),
                  0);
        // The list names every file it laid down, relative to the folder, and itself.
        std::set<std::string> listed;
        const std::string list = ReadFileBytes(install_ + L"\\Uninstall.lst");
        for (size_t start = 0, end; (end = list.find("\r\n", start)) != std::string::npos; start = end + 2)
            listed.insert(list.substr(start, end - start));
        std::set<std::string> expected = {"Uninstall.exe", "Uninstall.lst"};
        for (const wchar_t* name : kInstalledFiles) expected.insert(Narrow(name));
        EXPECT_EQ(listed, expected) << list;
        for (const std::string& name : listed) EXPECT_TRUE(PathExists(install_ + L"\\" + Widen(name))) << name;
    } else {
        ASSERT_TRUE(WriteFileBytes(installer, "installer"));
        ASSERT_EQ(RunAndWait(program + L" /setup -s " + choices + L" /log=\"" + log + L"\"", 120000, install_,
                             variant_ == Variant::InstallerPreset ? L"sfxname=" + installer : L""),
                  0);
    }
    EXPECT_EQ(PathExists(install_ + L"\\Tervix.ini"), variant_ != Variant::Plain && variant_ != Variant::OtherAccount);

    // Setup made all of it.
    const std::vector<std::wstring> shortcuts = Shortcuts();
    EXPECT_TRUE(PathExists(shortcuts[0]));
    EXPECT_TRUE(PathExists(shortcuts[2]));
    EXPECT_TRUE(PathExists(shortcuts[3] + L"\\Tervix.lnk"));
    EXPECT_TRUE(PathExists(shortcuts[4] + L"\\Tervix.lnk"));
    const std::set<std::wstring> installed = ExportRegistry(scratch_.path());
    const std::vector<std::wstring> added = Difference(installed, before);
    auto has = [&](const std::wstring& text) {
        for (const std::wstring& entry : added) {
            if (entry.find(text) != std::wstring::npos) return true;
        }
        return false;
    };
    EXPECT_TRUE(has(L"App Paths\\Tervix.exe]"));
    EXPECT_TRUE(has(L"Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe]"));
    EXPECT_TRUE(has(L"Uninstall\\Tervix archiver] \"QuietUninstallString\""));
    EXPECT_TRUE(has(L"Wow6432Node\\CLSID\\{6F1C2D40-3A51-4A1B-9C3D-5E6F7A8B9C0D}\\InProcServer32]"));
    EXPECT_TRUE(has(L"Classes\\CLSID\\{6F1C2D40-3A64-4A1B-9C3D-5E6F7A8B9C0D}\\InProcServer32]"));
    EXPECT_TRUE(has(L"RegisteredApplications] \"Tervix\""));
    EXPECT_TRUE(has(L"Classes\\.zip] @=\"Tervix.ZIP\""));
    EXPECT_TRUE(has(L"Classes\\.t05] @=\"Tervix\""));
    EXPECT_TRUE(has(L"Classes\\.rev] @=\"Tervix.REV\""));
    EXPECT_TRUE(PathExists(install_ + L"\\zipnew.dat"));

    // What Installed apps shows: the size of the program and of the listed files (the
    // program is listed too, and counts once), the day of the install, the home page.
    const std::wstring entry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver";
    size_t bytes = 0;
    for (const wchar_t* name : {L"Uninstall.exe", L"Uninstall.lst"}) bytes += FileBytes(name);
    for (const wchar_t* name : kInstalledFiles) bytes += FileBytes(name);
    // The portable copy lists its settings file; the installer's preset comes only after
    // setup has measured the install.
    if (variant_ == Variant::PortableWithoutSaving) bytes += FileBytes(L"Tervix.ini");
    DWORD sizeKb = 0;
    EXPECT_TRUE(RegReadDword(HKEY_LOCAL_MACHINE, entry, L"EstimatedSize", &sizeKb));
    EXPECT_EQ(sizeKb, (bytes + 1023) / 1024);
    SYSTEMTIME today;
    GetLocalTime(&today);
    wchar_t date[16];
    swprintf(date, 16, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    std::wstring value;
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, entry, L"InstallDate", &value));
    EXPECT_EQ(value, date);
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, entry, L"URLInfoAbout", &value));
    EXPECT_EQ(value, L"https://www.tervix.example.com/");
    // As if the product had been installed years ago: the update below keeps that day.
    ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, entry, L"InstallDate", L"20200131"));

    // The other ZIP program takes back only its type; our New-menu entry stays. The
    // second setup must not take that entry for the other program's.
    ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, L".zip", L"", L"OtherZip.Archive"));
    ASSERT_EQ(RunAndWait(program + L" /setup -s -initA111111111111111111D1M1P1S1C1I1", 120000, install_), 0);
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, entry, L"InstallDate", &value));
    EXPECT_EQ(value, L"20200131");
    if (variant_ == Variant::OtherAccount) DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix");

    // As Installed apps removes the product.
    std::wstring quiet;
    ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, entry, L"QuietUninstallString", &quiet));
    EXPECT_EQ(quiet, program + L" -s");
    ASSERT_EQ(RunAndWait(quiet + L" \"/LOG=" + log + L"\"", 120000, install_), 0);
    // Gone when the uninstall returns; the batch deletes the moved program file after it.
    EXPECT_FALSE(PathExists(install_)) << "the install folder is still there";
    const std::wstring folder = install_;
    const std::wstring expected[] = {
        L"Tervix Uninstall.exe ",  // the header of each run
        L"wrote HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe default value",
        L"wrote HKCR\\.zip default value",
        L"took .zip",
        L"Default apps: .7z (Other7z.File)",
        L"wrote shortcut ",
        L"deleted key HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver",
        L"deleted file " + folder + L"\\" + kInstalledFiles[0],
        L"deleted the install folder " + folder,
        L"exit code 0: done",
        L"batch: deleted the program file",
    };
    std::vector<std::wstring> lines;
    WaitUntil([&] {
        lines = ReadUtf8Lines(log);
        return !lines.empty() && lines.back().find(L"batch: deleted the program file") != std::wstring::npos;
    }, 20000, 200);
    std::vector<std::wstring> wanted(std::begin(expected), std::end(expected));
    // With integration off the second setup left ".zip" to the other program.
    if (!HasPreset()) wanted.push_back(L"released .zip, given back to \"OtherZip.Archive\"");
    for (const std::wstring& text : wanted) EXPECT_GE(LogLinesWith(lines, text), 1u) << Narrow(text);
    std::vector<std::wstring> failures;
    size_t headers = 0;
    for (const std::wstring& line : lines) {
        if (line.find(L"FAILED") != std::wstring::npos) failures.push_back(line);
        headers += line.find(L"; elevated: ") != std::wstring::npos;
    }
    EXPECT_TRUE(failures.empty()) << Narrow(Describe(failures));
    EXPECT_EQ(headers, 2u);
    for (const std::wstring& path : shortcuts) EXPECT_FALSE(PathExists(path)) << Narrow(path);

    ExpectRegistryAsBefore(before);
}

}  // namespace
