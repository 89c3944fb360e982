// Unattended setup on the real Uninstall.exe, as an installer starts it: "-s /setup"
// with an "init" string. The dialog must never show, and the choices must be stored
// and applied; a second silent setup that deselects every type gives them all back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "TestSupport.h"
#include "UninstallScenarioSupport.h"

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

// ---- Installs for the running account alone ("/setup /currentuser") ----

using uninstalltest::AccountInstallFolder;
using uninstalltest::MachineWide;
using uninstalltest::MachineWideNow;
using uninstalltest::SampleInstall;

const std::wstring kUserClasses = L"Software\\Classes";
const std::wstring kEntry = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver";
const std::wstring kChoices = L" -initA110000100000000000S1D1M1P1";

// The files of a sample install and its list, as the setup program lays them down.
void FillInstall(SampleInstall& install, tvxtest::Caller caller = tvxtest::Caller::current()) {
    const tvxtest::CallerTrace trace(caller);
    std::string list = "Uninstall.exe\r\nUninstall.lst\r\n";
    for (const wchar_t* name : {L"Tervix.exe", L"tvxext.dll", L"tvxext32.dll", L"Tervix.chm"}) {
        ASSERT_TRUE(install.MakeFile(name));
        list += tvxtest::Narrow(name) + "\r\n";
    }
    ASSERT_TRUE(install.WriteList(list));
}

long RunIn(const SampleInstall& install, const std::wstring& arguments) {
    return tvxtest::RunAndWait(L"\"" + install.Program() + L"\" " + arguments, 120000, install.Folder());
}

// What the entry in the hive of an install says to run for a silent uninstall.
long QuietUninstall(HKEY hive) {
    std::wstring quiet;
    if (!tvxtest::RegReadString(hive, kEntry, L"QuietUninstallString", &quiet)) return -1;
    return tvxtest::RunAndWait(quiet, 120000);
}

// The account's own software keys as values (the empty keys that single-key deletions
// leave by design apart); Wine's and the shell's own, which change as programs run, left out.
tvxtest::RegistryDump AccountValues() {
    tvxtest::RegistryDump all, values;
    tvxtest::DumpRegistry(HKEY_CURRENT_USER, L"Software", &all);
    for (const auto& [name, value] : all) {
        if (value != L"<key>" && name.rfind(L"Software\\Wine", 0) != 0 &&
            name.rfind(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", 0) != 0)
            values[name] = value;
    }
    return values;
}

// Where the account sees its shortcuts: its desktop and its Start menu's "Programs".
std::map<std::wstring, std::string> AccountShortcuts() {
    auto shortcuts = tvxtest::FilesBelow(tvxtest::KnownFolder(CSIDL_DESKTOPDIRECTORY));
    for (const auto& [name, bytes] : tvxtest::FilesBelow(tvxtest::KnownFolder(CSIDL_PROGRAMS)))
        shortcuts[L"Programs\\" + name] = bytes;
    return shortcuts;
}

// The account's own previous owner of ".zip", with a "New" menu entry of its own; the
// machine's classes root has another owner, whom an install for the account leaves alone.
void SeedOwnersOfZip() {
    ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, kUserClasses + L"\\.zip", L"", L"MyZip.Archive"));
    ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, kUserClasses + L"\\.zip", L"Content Type",
                                        L"application/x-my-zip"));
    ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, kUserClasses + L"\\.zip\\ShellNew", L"NullFile", L""));
    ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CLASSES_ROOT, L".zip", L"", L"OtherZip.Archive"));
}

// Silently, into the folder that such installs use: nothing machine-wide changes, ".zip"
// and the rest are the account's own, and the entry's quiet uninstall then leaves
// nothing, with the account's own previous owner of ".zip" back exactly.
TEST(AccountInstall, SilentSetupTouchesNothingMachineWideAndItsQuietUninstallLeavesNothing) {
    ASSERT_FALSE(GetFileAttributesW(tvxtest::KnownFolder(CSIDL_DESKTOPDIRECTORY).c_str()) & FILE_ATTRIBUTE_REPARSE_POINT)
        << "the account's desktop is the Linux home folder, not a folder of the prefix";
    ASSERT_NO_FATAL_FAILURE(SeedOwnersOfZip());
    SampleInstall install(AccountInstallFolder());
    ASSERT_NO_FATAL_FAILURE(FillInstall(install));
    const MachineWide machine = MachineWideNow();
    const tvxtest::RegistryDump account = AccountValues();
    tvxtest::RegistryDump zipBefore;
    tvxtest::DumpRegistry(HKEY_CURRENT_USER, kUserClasses + L"\\.zip", &zipBefore);
    const auto shortcuts = AccountShortcuts();

    ASSERT_EQ(RunIn(install, L"/setup -s /currentuser" + kChoices), 0);
    EXPECT_TRUE(MachineWideNow() == machine) << uninstalltest::DescribeChanges(machine, MachineWideNow());
    std::wstring text;
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CURRENT_USER, kUserClasses + L"\\.zip", L"", &text));
    EXPECT_EQ(text, L"Tervix.ZIP");
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CURRENT_USER, kUserClasses + L"\\.zip\\ShellNew", L"FileName", &text));
    EXPECT_EQ(text, install.Path(L"zipnew.dat"));
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CURRENT_USER, L"Software\\Tervix\\PreviousOwners\\.zip", L"Type", &text));
    EXPECT_EQ(text, L"MyZip.Archive") << "the account's own previous owner";
    // Where Windows reads them for the account: App Paths, the registered application,
    // the approved shell extension, the entry in Installed apps.
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CURRENT_USER,
                                       L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe", L"",
                                       &text));
    EXPECT_EQ(text, install.Path(L"Tervix.exe"));
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CURRENT_USER, L"Software\\RegisteredApplications", L"Tervix", &text));
    EXPECT_TRUE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\Capabilities\\FileAssociations"));
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CURRENT_USER,
                                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
                                       L"{6F1C2D40-3A64-4A1B-9C3D-5E6F7A8B9C0D}", &text));
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CURRENT_USER, kEntry, L"UninstallString", &text));
    EXPECT_EQ(text, L"\"" + install.Program() + L"\"");
    for (const std::wstring& link : {tvxtest::KnownFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Tervix.lnk",
                                     tvxtest::KnownFolder(CSIDL_PROGRAMS) + L"\\Tervix.lnk",
                                     tvxtest::KnownFolder(CSIDL_PROGRAMS) + L"\\Tervix\\Tervix.lnk"})
        EXPECT_TRUE(tvxtest::PathExists(link)) << tvxtest::Narrow(link);

    ASSERT_EQ(QuietUninstall(HKEY_CURRENT_USER), 0);
    EXPECT_FALSE(tvxtest::PathExists(install.Folder()));
    tvxtest::RegistryDump zipAfter;
    tvxtest::DumpRegistry(HKEY_CURRENT_USER, kUserClasses + L"\\.zip", &zipAfter);
    EXPECT_TRUE(zipAfter == zipBefore) << tvxtest::Narrow(tvxtest::DescribeChanges(zipBefore, zipAfter));
    EXPECT_TRUE(AccountValues() == account) << tvxtest::Narrow(tvxtest::DescribeChanges(account, AccountValues()));
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix"));
    EXPECT_TRUE(AccountShortcuts() == shortcuts) << "a shortcut or program group is left";
    EXPECT_TRUE(MachineWideNow() == machine) << uninstalltest::DescribeChanges(machine, MachineWideNow());
}

// What an install for the account alone made, and where: its classes, its registrations
// and records in its own hive, and its shortcuts.
struct AccountsOwn {
    tvxtest::RegistryDump registry;
    std::map<std::wstring, std::string> shortcuts;
    bool operator==(const AccountsOwn&) const = default;
};
AccountsOwn AccountsOwnNow() {
    AccountsOwn now;
    for (const std::wstring& key :
         {kUserClasses, kEntry, std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe"),
          std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions"),
          std::wstring(L"Software\\RegisteredApplications"), std::wstring(L"Software\\Tervix\\Capabilities"),
          std::wstring(L"Software\\Tervix\\PreviousOwners")})
        tvxtest::DumpRegistry(HKEY_CURRENT_USER, key, &now.registry);
    now.shortcuts = AccountShortcuts();
    return now;
}

// A machine-wide install and one for the account alone on one machine: setting up or
// removing either leaves the other as it was, and the account's settings of Tervix go
// with the last of them.
TEST(AccountInstall, BesideAMachineWideInstallNeitherTouchesTheOther) {
    ASSERT_NO_FATAL_FAILURE(SeedOwnersOfZip());
    SampleInstall machineInstall(L"C:\\Program Files\\Tervix");
    ASSERT_NO_FATAL_FAILURE(FillInstall(machineInstall));
    ASSERT_EQ(RunIn(machineInstall, L"/setup -s" + kChoices), 0);
    const MachineWide machine = MachineWideNow();
    EXPECT_EQ(ClassDefault(L".zip"), L"Tervix.ZIP");

    SampleInstall accountInstall(AccountInstallFolder());
    ASSERT_NO_FATAL_FAILURE(FillInstall(accountInstall));
    ASSERT_EQ(RunIn(accountInstall, L"/setup -s /currentuser" + kChoices), 0);
    // The user chose Tervix for ".zip" in Default apps: while either install stays, the
    // choice names a ProgID that opens it.
    const std::wstring choice = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.zip\\UserChoice";
    ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, choice, L"ProgId", L"Tervix.ZIP"));
    ASSERT_EQ(QuietUninstall(HKEY_CURRENT_USER), 0);
    EXPECT_TRUE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, choice));
    EXPECT_FALSE(tvxtest::PathExists(accountInstall.Folder()));
    EXPECT_TRUE(MachineWideNow() == machine) << uninstalltest::DescribeChanges(machine, MachineWideNow());
    // The machine-wide install goes on using the account's settings; the other's own
    // registrations and records are gone.
    EXPECT_TRUE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\Links"));
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\Capabilities"));
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\PreviousOwners"));
    std::wstring text;
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CURRENT_USER, kUserClasses + L"\\.zip", L"", &text));
    EXPECT_EQ(text, L"MyZip.Archive");

    // Set up again for the account, then the machine-wide install goes.
    ASSERT_TRUE(CreateDirectoryW(accountInstall.Folder().c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(tvxtest::UninstallExe().c_str(), accountInstall.Program().c_str(), FALSE));
    ASSERT_NO_FATAL_FAILURE(FillInstall(accountInstall));
    ASSERT_EQ(RunIn(accountInstall, L"/setup -s /currentuser" + kChoices), 0);
    const AccountsOwn account = AccountsOwnNow();
    ASSERT_EQ(QuietUninstall(HKEY_LOCAL_MACHINE), 0);
    EXPECT_FALSE(tvxtest::PathExists(machineInstall.Folder()));
    EXPECT_EQ(ClassDefault(L".zip"), L"OtherZip.Archive");
    EXPECT_TRUE(AccountsOwnNow() == account)
        << tvxtest::Narrow(tvxtest::DescribeChanges(account.registry, AccountsOwnNow().registry));
    EXPECT_TRUE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, choice));

    ASSERT_EQ(QuietUninstall(HKEY_CURRENT_USER), 0);
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix")) << "the last install takes them";
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, choice));
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CURRENT_USER, kUserClasses + L"\\.zip", L"", &text));
    EXPECT_EQ(text, L"MyZip.Archive");
}

}  // namespace
