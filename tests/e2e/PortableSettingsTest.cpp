// A portable installation as a user runs it: "Tervix.ini" beside Uninstall.exe (or in
// the user's Tervix data folder) decides whether setup and uninstall touch the system
// registry at all, and the product's choices end up in the file.

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using tvxtest::Narrow;
using tvxtest::Utf16Le;
using Snapshot = tvxtest::RegistryDump;

// Everything setup or uninstall could write: the user's and the machine's software
// keys, which hold the classes root of both and the 32-bit view below Wow6432Node.
// Wine's own configuration key changes with every program start and is left out.
Snapshot RegistrySnapshot() {
    Snapshot user, machine, all;
    tvxtest::DumpRegistry(HKEY_CURRENT_USER, L"Software", &user);
    tvxtest::DumpRegistry(HKEY_LOCAL_MACHINE, L"Software", &machine);
    for (const auto& [name, value] : user) {
        if (name.rfind(L"Software\\Wine", 0) != 0) all[L"HKCU\\" + name] = value;
    }
    for (const auto& [name, value] : machine) all[L"HKLM\\" + name] = value;
    return all;
}

// Names of the shortcuts on the desktops and of everything below the Start menus (the
// program groups). The desktops are not walked: Wine links the user's desktop to the
// Linux home folder.
std::vector<std::wstring> ShortcutPlaces() {
    struct Place {
        int csidl;
        bool walk;
    };
    static const Place kPlaces[] = {{CSIDL_DESKTOPDIRECTORY, false}, {CSIDL_COMMON_DESKTOPDIRECTORY, false},
                                    {CSIDL_STARTMENU, true},         {CSIDL_COMMON_STARTMENU, true}};
    std::vector<std::wstring> names;
    for (const Place& place : kPlaces) {
        std::wstring top = tvxtest::KnownFolder(place.csidl);
        if (top.empty()) continue;  // "\\*" would list the current drive
        std::vector<std::wstring> pending{top};
        while (!pending.empty()) {
            std::wstring folder = pending.back();
            pending.pop_back();
            for (const std::wstring& name : tvxtest::FileNames(folder + L"\\*")) {
                names.push_back(folder + L"\\" + name);
                const DWORD attributes = GetFileAttributesW(names.back().c_str());
                if (place.walk && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                    pending.push_back(names.back());
            }
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The text of a file that the program saved (UTF-16LE with mark), or the raw bytes
// widened when it is not one.
std::wstring FileText(const std::wstring& path) {
    std::string bytes = tvxtest::ReadFileBytes(path);
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') return tvxtest::Utf16LeText(bytes);
    std::wstring text;
    for (char c : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return text;
}

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

// An install folder with the program in it.
class PortableInstall : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CopyFileW(tvxtest::UninstallExe().c_str(), program.c_str(), FALSE));
    }
    long RunProgram(const std::wstring& arguments) {
        return tvxtest::RunAndWait(L"\"" + program + L"\" " + arguments, 90000, folder.path());
    }
    long SilentSetup() { return RunProgram(L"/setup -s /noexplorer"); }
    // A portable copy with its settings file and the given list, uninstalled silently.
    void UninstallPortableCopy(const std::string& list, DWORD iniAttributes = 0);

    tvxtest::TempFolder folder{L"Tervix portable"};
    std::wstring program = folder / L"Uninstall.exe";
    std::wstring ini = folder / L"Tervix.ini";
};

TEST_F(PortableInstall, IntegrationOffSetupLeavesTheRegistryAndTheShortcutsAlone) {
    ASSERT_TRUE(tvxtest::WriteFileBytes(ini, "[Global]\r\nGlobal\\Integration=0\r\n"));
    Snapshot before = RegistrySnapshot();
    std::vector<std::wstring> shortcutsBefore = ShortcutPlaces();

    ASSERT_EQ(SilentSetup(), 0);

    Snapshot after = RegistrySnapshot();
    EXPECT_TRUE(before == after) << Narrow(tvxtest::DescribeChanges(before, after));
    EXPECT_EQ(ShortcutPlaces(), shortcutsBefore);

    std::wstring saved = FileText(ini);
    EXPECT_TRUE(Contains(saved, L"Global\\Integration=0\r\n")) << Narrow(saved);
    EXPECT_TRUE(Contains(saved, L"Global\\AppData=1\r\n"));
    EXPECT_TRUE(Contains(saved, L"Global\\SaveSettings=1\r\n"));
    EXPECT_TRUE(Contains(saved, L"HKCU\\Setup\\ShellExt=")) << "the choices are kept in the file";
    EXPECT_TRUE(Contains(saved, L"HKCU\\Setup\\Links\\Desktop="));
}

TEST_F(PortableInstall, IntegrationOnWritesTheClassesRootButKeepsProductSettingsInTheFile) {
    ASSERT_TRUE(tvxtest::WriteFileBytes(ini, Utf16Le(L"Global\\Integration=1\r\n")));
    Snapshot before = RegistrySnapshot();
    std::vector<std::wstring> shortcutsBefore = ShortcutPlaces();

    ASSERT_EQ(SilentSetup(), 0);

    Snapshot after = RegistrySnapshot();
    EXPECT_FALSE(before == after) << "integration writes the system's entries";
    EXPECT_TRUE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, L"Tervix")) << "the product's ProgID";
    EXPECT_NE(ShortcutPlaces(), shortcutsBefore) << "shortcuts are made";
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix"))
        << "the product's own settings live in the file";
    // Windows looks for the registered application's capabilities where
    // "RegisteredApplications" points: in the registry.
    EXPECT_TRUE(after.count(L"HKLM\\Software\\Tervix\\Capabilities\\[ApplicationDescription]"));
    EXPECT_TRUE(after.count(L"HKLM\\Software\\Tervix\\Capabilities\\FileAssociations\\[.zip]"));
    // So does every account's uninstall for the records of the types' previous owners,
    // which must not live only in a file that may never be written.
    EXPECT_TRUE(after.count(L"HKLM\\Software\\Tervix\\PreviousOwners\\.zip\\[Exist]"));
    for (const auto& [name, value] : after) {
        if (name.rfind(L"HKLM\\Software\\Tervix\\", 0) != 0) continue;
        EXPECT_TRUE(name.rfind(L"HKLM\\Software\\Tervix\\Capabilities", 0) == 0 ||
                    name.rfind(L"HKLM\\Software\\Tervix\\PreviousOwners", 0) == 0)
            << Narrow(name);
    }

    std::wstring saved = FileText(ini);
    EXPECT_TRUE(Contains(saved, L"HKCU\\Setup\\ShellExt=")) << Narrow(saved);
    EXPECT_TRUE(Contains(saved, L"Global\\Integration=1\r\n"));
    EXPECT_FALSE(Contains(saved, L"Capabilities")) << Narrow(saved);
}

TEST_F(PortableInstall, AHandWrittenFileKeepsItsTextItsLinesAndItsAttributes) {
    // As Notepad saves it: UTF-8 without a mark.
    ASSERT_TRUE(tvxtest::WriteFileBytes(ini,
                                        "; my settings, on the stick\r\n"
                                        "[Paths]\r\n"
                                        "HKCU\\Paths\\TempFolder=\"D:\\M\xC3\xBCller\\Temp\"\r\n"
                                        "\r\n"
                                        "[Setup]\r\n"
                                        "HKCU\\Setup\\ShellExt=1\r\n"
                                        "Global\\Integration=0\r\n"));
    ASSERT_TRUE(SetFileAttributesW(ini.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

    ASSERT_EQ(RunProgram(L"/setup -s /noexplorer -initS0"), 0);

    std::wstring saved = FileText(ini);
    EXPECT_TRUE(Contains(saved, L"; my settings, on the stick\r\n[Paths]\r\n"
                                L"HKCU\\Paths\\TempFolder=\"D:\\M\u00FCller\\Temp\"\r\n"))
        << Narrow(saved);
    EXPECT_TRUE(Contains(saved, L"\r\n\r\n[Setup]\r\nHKCU\\Setup\\ShellExt=0\r\n")) << "the value changed";
    EXPECT_TRUE(Contains(saved, L"Global\\Integration=0\r\n"));
    EXPECT_EQ(GetFileAttributesW(ini.c_str()) & FILE_ATTRIBUTE_HIDDEN, DWORD{FILE_ATTRIBUTE_HIDDEN});
    for (const wchar_t* leftover : {L"~*", L"*.tmp"}) {
        const std::vector<std::wstring> left = tvxtest::FileNames(folder / leftover);
        EXPECT_TRUE(left.empty()) << "a temporary file is left: " << Narrow(left.empty() ? L"" : left[0]);
    }

    // The same setup again changes nothing: the file is not even written.
    std::string first = tvxtest::ReadFileBytes(ini);
    ASSERT_EQ(RunProgram(L"/setup -s /noexplorer -initS0"), 0);
    EXPECT_EQ(tvxtest::ReadFileBytes(ini), first);
}

TEST_F(PortableInstall, SaveSettingsOffLeavesTheFileByteForByte) {
    std::string original = "; my portable copy\r\nGlobal\\SaveSettings=0\r\nGlobal\\Integration=0\r\nzeta=1\r\n";
    ASSERT_TRUE(tvxtest::WriteFileBytes(ini, original));
    Snapshot before = RegistrySnapshot();

    ASSERT_EQ(SilentSetup(), 0);

    EXPECT_EQ(tvxtest::ReadFileBytes(ini), original);
    Snapshot after = RegistrySnapshot();
    EXPECT_TRUE(before == after) << Narrow(tvxtest::DescribeChanges(before, after));
}

TEST_F(PortableInstall, AFileWithoutSwitchesGainsAllThreeAtExit) {
    ASSERT_TRUE(tvxtest::WriteFileBytes(ini, "HKCU\\General\\Note=\"kept\"\r\n"));
    ASSERT_EQ(SilentSetup(), 0);
    std::wstring saved = FileText(ini);
    EXPECT_TRUE(Contains(saved, L"Global\\AppData=1\r\n")) << Narrow(saved);
    EXPECT_TRUE(Contains(saved, L"Global\\Integration=1\r\n"));
    EXPECT_TRUE(Contains(saved, L"Global\\SaveSettings=1\r\n"));
    EXPECT_TRUE(Contains(saved, L"HKCU\\General\\Note=\"kept\"\r\n"));
}

TEST_F(PortableInstall, UninstallRemovesTheFileAndLeavesTheRegistryAlone) {
    UninstallPortableCopy("Tervix.exe\r\nTervix.ini\r\n");
}

// The user put the file there, hidden and read-only, and no list names it: it is the
// product's all the same.
TEST_F(PortableInstall, UninstallRemovesAFileThatNoListNames) {
    UninstallPortableCopy("Tervix.exe\r\n", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
}

void PortableInstall::UninstallPortableCopy(const std::string& list, DWORD iniAttributes) {
    ASSERT_TRUE(tvxtest::WriteFileBytes(ini, "Global\\Integration=0\r\nHKCU\\Setup\\ShellExt=1\r\n"));
    if (iniAttributes) {
        ASSERT_TRUE(SetFileAttributesW(ini.c_str(), iniAttributes));
    }
    ASSERT_TRUE(tvxtest::WriteFileBytes(folder / L"Tervix.exe", "stand-in"));
    ASSERT_TRUE(tvxtest::WriteFileBytes(folder / L"Uninstall.lst", list));
    Snapshot before = RegistrySnapshot();

    ASSERT_EQ(RunProgram(L"-s"), 0);
    EXPECT_FALSE(tvxtest::PathExists(ini)) << "the settings file must not stay or come back at exit";
    EXPECT_FALSE(tvxtest::PathExists(folder / L"Tervix.exe"));

    // The self-removal batch then takes the program and the folder.
    EXPECT_TRUE(tvxtest::WaitUntilGone(folder.path(), 20000)) << "nothing left keeps the install folder";

    Snapshot after = RegistrySnapshot();
    EXPECT_TRUE(before == after) << Narrow(tvxtest::DescribeChanges(before, after));
}

TEST(PortableUserFolder, AFileInTheUsersTervixFolderIsUsedWhenNoneIsBesideTheProgram) {
    std::wstring userFolder = tvxtest::KnownFolder(CSIDL_APPDATA) + L"\\Tervix";
    ASSERT_TRUE(CreateDirectoryW(userFolder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    std::wstring ini = userFolder + L"\\Tervix.ini";
    ASSERT_TRUE(tvxtest::WriteFileBytes(ini, "Global\\Integration=0\r\n"));
    tvxtest::TempFolder folder(L"Tervix elsewhere");
    std::wstring program = folder / L"Uninstall.exe";
    ASSERT_TRUE(CopyFileW(tvxtest::UninstallExe().c_str(), program.c_str(), FALSE));
    Snapshot before = RegistrySnapshot();

    EXPECT_EQ(tvxtest::RunAndWait(L"\"" + program + L"\" /setup -s /noexplorer", 90000, folder.path()), 0);

    Snapshot after = RegistrySnapshot();
    EXPECT_TRUE(before == after) << Narrow(tvxtest::DescribeChanges(before, after));
    EXPECT_TRUE(Contains(FileText(ini), L"HKCU\\Setup\\ShellExt="));
    EXPECT_FALSE(tvxtest::PathExists(folder / L"Tervix.ini")) << "no second file beside the program";
    tvxtest::RemoveTree(userFolder);
}

}  // namespace
