// The setup program that people download, as they and package managers run it: the real
// Tervix-<version>-setup.exe built by scripts/package.sh, over an earlier install and
// interactively. (The silent round trips through it are in RoundTripTest.cpp.)

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "FileLocker.h"
#include "GuiDriver.h"
#include "PendingRenames.h"
#include "TestSupport.h"
#include "UninstallScenarioSupport.h"
#include "resources/ResourceIds.h"

using namespace tvxtest;

namespace {

const wchar_t kInstall[] = L"C:\\Program Files\\Tervix";
const wchar_t kEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver";
// The contents of the files of each version's payload.
const char kEarlier[] = "Tervix 6.23";
const char kCurrent[] = "sample\n";

std::wstring InstalledFile(const wchar_t* name) { return std::wstring(kInstall) + L"\\" + name; }

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && _wcsicmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

// The folder that the setup program's folder page offers; the page itself adds a
// backslash to a folder that exists.
std::wstring OfferedFolder(HWND window) {
    std::wstring folder = ControlText(FindWindowExW(window, nullptr, L"#32770", nullptr), 1019);
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

// Both setup programs in a download folder; the install folder goes at the end.
class SetupProgramRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CopyFileW(SetupProgram(L"earlier").c_str(), earlier_.c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(SetupProgram().c_str(), current_.c_str(), FALSE));
        ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, L".zip", L"", L"OtherZip.Archive"));
    }
    void TearDown() override {
        RemoveTree(kInstall);
        RemoveTree(uninstalltest::AccountInstallFolder());
    }

    long Run(const std::wstring& setup, const std::wstring& switches) {
        return RunAndWait(L"\"" + setup + L"\" " + switches, 120000, downloads_.path());
    }
    // The earlier version, set up with .tvx and .zip alone, a desktop shortcut and no
    // program group.
    void InstallEarlier() {
        ASSERT_EQ(Run(earlier_, L"/S -initA110000000000000000D1P0"), 0);
        ASSERT_EQ(ReadFileBytes(InstalledFile(L"Tervix.exe")), kEarlier);
        ASSERT_TRUE(PathExists(InstalledFile(L"Formats\\old.fmt")));
    }

    // Starts this version's setup program as a user does, checks that its folder page
    // offers the usual folder, and presses "Install", which lays the files down.
    void StartAndInstall(Process* setup) {
        ASSERT_TRUE(setup->Start(L"\"" + current_ + L"\"", downloads_.path()));
        HWND window = WaitForWindow({.processId = setup->id(), .withId = IDOK}, 30000);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(OfferedFolder(window), kInstall);
        PressButton(window, IDOK, true);
    }

    TempFolder downloads_{L"Downloads"};
    const std::wstring earlier_ = downloads_ / L"Tervix-6.23.0-setup.exe";
    const std::wstring current_ = downloads_ / L"Tervix-setup.exe";
};

// Silently over an earlier version while the main program holds its file: every other
// file is replaced at once and that one at the next restart (exit code 3010); the user's
// choices, the previous owner's record and the one entry in Installed apps stay; the
// earlier file that this version no longer ships stays listed, and the entry's quiet
// uninstall then takes it with the rest.
TEST_F(SetupProgramRun, OverAnEarlierInstallKeepsChoicesRecordsAndOneEntryAndReplacesAHeldFileAtRestart) {
    PendingRenames pending;
    ASSERT_NO_FATAL_FAILURE(InstallEarlier());
    FileLocker mainProgram;
    ASSERT_TRUE(mainProgram.Hold(FileLocker::Mode::OpenWithoutSharing, InstalledFile(L"Tervix.exe")));

    EXPECT_EQ(Run(current_, L"/S"), 3010);
    EXPECT_EQ(ReadFileBytes(InstalledFile(L"tvxext.dll")), kCurrent);
    int waiting = 0;
    for (const auto& [source, target] : pending.Entries())
        waiting += EndsWith(source, L"\\Tervix.exe.tvxnew") && EndsWith(target, L"\\Tervix.exe");
    EXPECT_EQ(waiting, 1) << "the new Tervix.exe takes the old one's place at the restart";

    DWORD desktop = 0, group = 1;
    EXPECT_TRUE(RegReadDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\Links", L"Desktop", &desktop));
    EXPECT_TRUE(RegReadDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\Links", L"Programs", &group));
    EXPECT_EQ(desktop, 1u);
    EXPECT_EQ(group, 0u);
    EXPECT_EQ(ClassDefault(L".zip"), L"Tervix.ZIP");
    EXPECT_EQ(ClassDefault(L".7z"), L"<none>") << "the stored choice, not the default";
    std::wstring owner;
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\PreviousOwners\\.zip", L"Type", &owner));
    EXPECT_EQ(owner, L"OtherZip.Archive");
    EXPECT_EQ(uninstalltest::TervixEntries().size(), 1u);
    const std::string list = ReadFileBytes(InstalledFile(L"Uninstall.lst"));
    for (const char* line : {"\nFormats\r\n", "\nFormats\\old.fmt\r\n", "\nUninstall.exe\r\n"})
        EXPECT_NE(list.find(line), std::string::npos) << line << " in\n" << list;

    mainProgram.Release();
    EXPECT_EQ(ReadFileBytes(InstalledFile(L"Tervix.exe")), kEarlier) << "until the restart";
    ASSERT_EQ(RunAndWait(L"wineboot.exe -r", 120000), 0);
    EXPECT_EQ(ReadFileBytes(InstalledFile(L"Tervix.exe")), kCurrent);

    std::wstring quiet;
    ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, kEntry, L"QuietUninstallString", &quiet));
    EXPECT_EQ(RunAndWait(quiet, 120000, downloads_.path()), 0);
    EXPECT_FALSE(PathExists(kInstall));
    EXPECT_EQ(ClassDefault(L".zip"), L"OtherZip.Archive");
}

// Interactively, a file held by the main program is named: Abort stops with the earlier
// install as it was; a later run waits at the same question until the program lets go,
// and Retry then replaces it at once. The program's dialog shows the user's stored
// choices.
TEST_F(SetupProgramRun, HeldFileIsNamedAbortChangesNothingAndRetryReplacesIt) {
    ASSERT_NO_FATAL_FAILURE(InstallEarlier());
    FileLocker mainProgram;
    ASSERT_TRUE(mainProgram.Hold(FileLocker::Mode::OpenWithoutSharing, InstalledFile(L"Tervix.exe")));

    for (const int answer : {IDABORT, IDRETRY}) {
        // The folder page offers the earlier install's folder.
        Process setup;
        ASSERT_NO_FATAL_FAILURE(StartAndInstall(&setup));
        const Notice held = WaitForNotice(setup.id(), 60000);
        ASSERT_NE(held.box, nullptr);
        EXPECT_NE(held.text.find(InstalledFile(L"Tervix.exe") + L" is in use"), std::wstring::npos)
            << Narrow(held.text);
        if (answer == IDRETRY) mainProgram.Release();
        PressButton(held.box, answer, true);
        if (answer == IDABORT) {
            DWORD code = 0;
            ASSERT_TRUE(setup.Wait(60000, &code));
            EXPECT_EQ(code, 1u);
            // Tervix.exe is still held; nothing of the new version waits beside the files.
            EXPECT_EQ(ReadFileBytes(InstalledFile(L"tvxext.dll")), kEarlier);
            for (const wchar_t* name : {L"Tervix.exe.tvxnew", L"tvxext.dll.tvxnew", L"Uninstall.exe.tvxnew"})
                EXPECT_FALSE(PathExists(InstalledFile(name))) << Narrow(name);
            continue;
        }
        HWND dialog = WaitForWindow({.withId = IDC_SETCONTEXTMENU}, 60000);
        ASSERT_NE(dialog, nullptr) << "the program's setup dialog";
        EXPECT_TRUE(IsChecked(dialog, IDC_LINKDESKTOP));
        EXPECT_FALSE(IsChecked(dialog, IDC_LINKPROGRAMS));
        PressButton(dialog, IDOK, true);
        HWND done = WaitForWindow({.withId = IDC_INSTFOLDER, .withoutId = IDC_SETCONTEXTMENU}, 60000);
        ASSERT_NE(done, nullptr) << "the program's completion dialog";
        PressButton(done, IDOK, true);
        DWORD code = ~0u;
        ASSERT_TRUE(setup.Wait(60000, &code));
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(ReadFileBytes(InstalledFile(L"Tervix.exe")), kCurrent);
    }
}

// A user who cancels the program's setup dialog of a first install is left with nothing
// of Tervix: the setup program takes its files and the folder away and exits with 1.
// Meanwhile a second setup program ends at once with 1618.
TEST_F(SetupProgramRun, CancelledFirstSetupLeavesNothing) {
    Process setup;
    ASSERT_NO_FATAL_FAILURE(StartAndInstall(&setup));
    HWND dialog = WaitForWindow({.withId = IDC_SETCONTEXTMENU}, 60000);
    ASSERT_NE(dialog, nullptr) << "the program's setup dialog";
    EXPECT_TRUE(PathExists(InstalledFile(L"Uninstall.lst")));
    // One setup at a time: another started meanwhile changes nothing.
    EXPECT_EQ(Run(current_, L"/S /D=C:\\Elsewhere"), 1618);
    EXPECT_FALSE(PathExists(L"C:\\Elsewhere"));
    PressButton(dialog, IDCANCEL, true);
    DWORD code = 0;
    ASSERT_TRUE(setup.Wait(60000, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(PathExists(kInstall));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kEntry));
    EXPECT_EQ(ClassDefault(L".zip"), L"OtherZip.Archive");
}

// ---- For the account alone ----

using uninstalltest::AccountInstallFolder;
using uninstalltest::MachineWide;
using uninstalltest::MachineWideNow;

const std::wstring kUserClassesZip = L"Software\\Classes\\.zip";

// Unattended, as winget's user scope runs it: into the account's own folder, with
// nothing machine-wide changed, and the entry's quiet uninstall leaves nothing.
TEST_F(SetupProgramRun, CurrentUserInstallsForTheAccountAloneAndItsQuietUninstallLeavesNothing) {
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, kUserClassesZip, L"", L"MyZip.Archive"));
    const MachineWide machine = MachineWideNow();
    ASSERT_EQ(Run(current_, L"/S /CURRENTUSER -initA110000100000000000S1D1P1"), 0);

    const std::wstring folder = AccountInstallFolder();
    EXPECT_EQ(ReadFileBytes(folder + L"\\Tervix.exe"), kCurrent);
    EXPECT_NE(ReadFileBytes(folder + L"\\Uninstall.lst").find("Uninstall.exe\r\n"), std::string::npos);
    std::wstring text;
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, kUserClassesZip, L"", &text));
    EXPECT_EQ(text, L"Tervix.ZIP");
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, kEntry, L"InstallLocation", &text));
    EXPECT_EQ(text, folder + L"\\");
    EXPECT_TRUE(MachineWideNow() == machine) << uninstalltest::DescribeChanges(machine, MachineWideNow());

    std::wstring quiet;
    ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, kEntry, L"QuietUninstallString", &quiet));
    EXPECT_EQ(RunAndWait(quiet, 120000, downloads_.path()), 0);
    EXPECT_FALSE(PathExists(folder));
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, kUserClassesZip, L"", &text));
    EXPECT_EQ(text, L"MyZip.Archive");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kEntry));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix"));
    EXPECT_TRUE(MachineWideNow() == machine) << uninstalltest::DescribeChanges(machine, MachineWideNow());
}

// Started without administrator rights, as Windows starts it for anybody who has not
// confirmed an elevation, it asks first whom Tervix is for. For the user alone it offers
// the user's own folder, asks Windows for nothing, and the program sets it up for the
// account: its own dialogs, its entry in the account's own hive.
TEST_F(SetupProgramRun, WithoutRightsTheFirstPageOffersAnInstallForTheAccountAlone) {
    const MachineWide machine = MachineWideNow();
    Process setup;
    ASSERT_TRUE(setup.StartWithoutRights(L"\"" + current_ + L"\"", downloads_.path()));
    HWND window = WaitForWindow({.processId = setup.id(), .withId = IDOK}, 30000);
    ASSERT_NE(window, nullptr);
    // The page's controls come a moment after the window.
    const wchar_t kJustMe[] = L"&Only for me: in my own folders, without administrator rights";
    const wchar_t kEveryone[] = L"For &everyone who uses this computer: needs administrator rights";
    HWND justMe = nullptr, everyone = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        HWND page = FindWindowExW(window, nullptr, L"#32770", nullptr);
        justMe = FindWindowExW(page, nullptr, L"Button", kJustMe);
        everyone = FindWindowExW(page, nullptr, L"Button", kEveryone);
        return justMe && everyone;
    }, 20000)) << "no choice of whom Tervix is for";
    EXPECT_EQ(SendMessageW(everyone, BM_GETCHECK, 0, 0), BST_CHECKED) << "an administrator gets the rights on asking";
    SendMessageW(justMe, BM_CLICK, 0, 0);
    PressButton(window, IDOK, true);
    EXPECT_TRUE(WaitUntil([&] { return OfferedFolder(window) == AccountInstallFolder(); }, 20000))
        << Narrow(OfferedFolder(window));
    PressButton(window, IDOK, true);

    HWND dialog = WaitForWindow({.withId = IDC_SETCONTEXTMENU}, 60000);
    ASSERT_NE(dialog, nullptr) << "the program's setup dialog";
    PressButton(dialog, IDOK, true);
    HWND done = WaitForWindow({.withId = IDC_INSTFOLDER, .withoutId = IDC_SETCONTEXTMENU}, 60000);
    ASSERT_NE(done, nullptr) << "the program's completion dialog";
    EXPECT_EQ(ControlText(done, IDC_INSTFOLDER), AccountInstallFolder());
    PressButton(done, IDOK, true);
    DWORD code = ~0u;
    ASSERT_TRUE(setup.Wait(60000, &code));
    EXPECT_EQ(code, 0u);
    std::wstring text;
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, kEntry, L"InstallLocation", &text));
    EXPECT_EQ(text, AccountInstallFolder() + L"\\");
    EXPECT_TRUE(MachineWideNow() == machine) << uninstalltest::DescribeChanges(machine, MachineWideNow());
}

}  // namespace
