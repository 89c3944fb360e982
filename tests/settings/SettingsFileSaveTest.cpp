// Writing "Tervix.ini" back: its format, when it is not written, and that a failed
// save never costs the user the settings already on disk.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "SettingsFileTestSupport.h"
#include "TestSupport.h"
#include "settings/SettingsFile.h"

namespace tvx::settingstest {
namespace {

using SettingsFileSave = SettingsFileTest;

// Every file name in the sandbox folder, to spot a temporary file left behind.
std::wstring FolderListing(const std::wstring& folder) {
    std::wstring names;
    for (const std::wstring& name : tvxtest::FileNames(folder + L"\\*")) names += name + L";";
    return names;
}

TEST_F(SettingsFileSave, WritesUtf16WithMarkSortedByCodeUnitWithCrLf) {
    LoadText(L"zeta=1\r\nHKCU\\b=\"q\"\r\nHKCU\\B=2\r\nHKCU\\a\\x=bin:ff\r\nGlobal\\Extra=x\r\n"
             L"HKCU\\\u00E9=accent\r\nHKCU\\_=u\r\n");
    SetSettingEntry(L"HKCU\\Setup\\ShellExt", L"0", SettingKind::Plain);
    std::string bytes;
    ASSERT_TRUE(SaveSettingsFile());
    bytes = tvxtest::ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE" "G\0", 4)) << "mark, then little-endian units";
    // Ordinal order: upper case, then "_", then lower case, then U+00E9.
    EXPECT_EQ(DecodeSavedFile(bytes),
              L"Global\\AppData=1\r\n"
              L"Global\\Extra=x\r\n"
              L"Global\\Integration=1\r\n"
              L"Global\\SaveSettings=1\r\n"
              L"HKCU\\B=2\r\n"
              L"HKCU\\Setup\\ShellExt=0\r\n"
              L"HKCU\\_=u\r\n"
              L"HKCU\\a\\x=bin:ff\r\n"
              L"HKCU\\b=\"q\"\r\n"
              L"HKCU\\\u00E9=accent\r\n"
              L"zeta=1\r\n");
    EXPECT_EQ(FolderListing(folder.path()), L"Tervix.ini;") << "no temporary file is left behind";
}

TEST_F(SettingsFileSave, AFileWithoutSwitchesGainsAllThree) {
    LoadText(L"HKCU\\Setup\\ShellExt=1\r\n");
    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\n"
              L"Global\\Integration=1\r\n"
              L"Global\\SaveSettings=1\r\n"
              L"HKCU\\Setup\\ShellExt=1\r\n");
}

TEST_F(SettingsFileSave, ASavedFileReadsBackToTheSameEntries) {
    LoadText(L"b=\"two words\"\r\na=bin:0102\r\nc=-5\r\n");
    ASSERT_TRUE(SaveSettingsFile());
    std::string first = tvxtest::ReadFileBytes(path);
    ReleaseSettingsFile();

    LoadSettingsFileFrom(path.c_str());
    ASSERT_TRUE(SettingsFileLoaded());
    EXPECT_EQ(Value(L"b"), L"two words");
    EXPECT_EQ(Value(L"a"), L"0102");
    EXPECT_EQ(Value(L"c"), L"-5");
    EXPECT_FALSE(SaveSettingsFile()) << "nothing was set or removed";
    SetSettingEntry(L"b", L"two words", SettingKind::Quoted);
    EXPECT_FALSE(SaveSettingsFile()) << "setting what is there is no change";
    EXPECT_EQ(tvxtest::ReadFileBytes(path), first);
}

TEST_F(SettingsFileSave, TheUsersLinesStayAboveTheirEntriesAndAtTheEnd) {
    Load("; Tervix settings, by hand\r\n"
         "\r\n"
         "[User]\r\n"
         "HKCU\\Setup\\ShellExt=1\r\n"
         "HKCU\\Paths\\TempFolder=\"D:\\Temp\"\r\n"
         "  ; indented, with a blank after \r\n"
         "[Global]\r\n"
         "Global\\Integration=0\r\n"
         "; goes with its entry's removal\r\n"
         "HKCU\\Old\\Value=1\r\n"
         "\r\n"
         "; the end\n");
    SetSettingEntry(L"HKCU\\Setup\\ShellExt", L"0", SettingKind::Plain);
    RemoveSettingEntries(L"HKCU\\Old\\", true);
    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\n"
              L"  ; indented, with a blank after \r\n"
              L"[Global]\r\n"
              L"Global\\Integration=0\r\n"
              L"Global\\SaveSettings=1\r\n"
              L"HKCU\\Paths\\TempFolder=\"D:\\Temp\"\r\n"
              L"; Tervix settings, by hand\r\n"
              L"\r\n"
              L"[User]\r\n"
              L"HKCU\\Setup\\ShellExt=0\r\n"
              L"; goes with its entry's removal\r\n"
              L"\r\n"
              L"; the end\r\n");
}

TEST_F(SettingsFileSave, AFileNotReadWholeIsLeftAsItIs) {
    // A zero byte in ANSI text: the entries before it are used, the file is not saved.
    std::string original("Global\\Integration=0\r\na=1\r\n\0b=2\r\n", 31);
    Load(original);
    EXPECT_FALSE(Switches().integration);
    SetSettingEntry(L"a", L"2", SettingKind::Plain);
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_EQ(tvxtest::ReadFileBytes(path), original);
}

TEST_F(SettingsFileSave, AHiddenFileAtTheLongestPathKeepsItsNameAndAttributes) {
    // 2047 characters, the most a path may have here: the temporary name must not be
    // longer, nor the real one, nor that of a file the user already has there.
    std::wstring place = folder.path();
    while (place.size() < 2047 - 11) {
        size_t room = 2047 - 11 - place.size() - 1;  // never left with room for a "\" alone
        place += L"\\" + std::wstring(room == 201 ? 199 : room > 200 ? 200 : room, L'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + place).c_str(), nullptr));
    }
    const std::wstring extended = L"\\\\?\\" + place, real = extended + L"\\Tervix.ini";
    const DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(tvxtest::WriteFileBytes(real, Utf16Le(L"a=1\r\n")));
    ASSERT_TRUE(tvxtest::WriteFileBytes(extended + L"\\~ervix.ini", "mine"));
    ASSERT_TRUE(SetFileAttributesW(real.c_str(), kHiddenSystem));
    LoadSettingsFileFrom((place + L"\\Tervix.ini").c_str());
    ASSERT_TRUE(SaveSettingsFile());
    EXPECT_EQ(DecodeSavedFile(tvxtest::ReadFileBytes(real)),
              L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\na=1\r\n");
    EXPECT_EQ(GetFileAttributesW(real.c_str()) & kHiddenSystem, kHiddenSystem);
    EXPECT_EQ(tvxtest::ReadFileBytes(extended + L"\\~ervix.ini"), "mine");
    EXPECT_EQ(FolderListing(extended), L"Tervix.ini;~ervix.ini;");
}

TEST_F(SettingsFileSave, AFileDeletedSinceLoadingIsWrittenAgain) {
    LoadText(L"a=1\r\n");
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\na=1\r\n");
}

// Files that must stay as they are: nothing is written back, whatever was set, and no
// temporary file is left beside them. A file the user made read-only, one an editor
// holds open without sharing, one whose own switch forbids saving (ANSI, unsorted,
// with a comment: anything a save would change), and one the uninstall has just
// deleted, which must not come back.
TEST_F(SettingsFileSave, FilesThatMustStayAsTheyAreAreNotWritten) {
    struct Case {
        const char* what;
        std::string original;
        std::function<void(const std::wstring&)> prepare;
        bool deleted = false;
    };
    const Case cases[] = {
        {"read-only", Utf16Le(L"a=1\r\n"),
         [](const std::wstring& file) { ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY)); }},
        {"held open without sharing", Utf16Le(L"a=1\r\n"), nullptr},
        {"SaveSettings=0", "; mine\r\nzeta=1\r\nGlobal\\SaveSettings=0\r\nalpha=2\r\n", nullptr},
        {"deleted by the uninstall", Utf16Le(L"a=1\r\n"),
         [](const std::wstring& file) {
             ASSERT_TRUE(DeleteFileW(file.c_str()));
             SuppressSettingsFileRecreation();
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Load(c.original);
        SetSettingEntry(L"a", L"2", SettingKind::Plain);
        if (c.prepare) c.prepare(path);
        UniqueFileHandle held(c.prepare
                                  ? INVALID_HANDLE_VALUE
                                  : CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(SaveSettingsFile());
        held.reset();
        if (c.deleted) {
            EXPECT_FALSE(tvxtest::PathExists(path)) << "the deleted settings file must not come back";
            EXPECT_EQ(FolderListing(folder.path()), L"");
        } else {
            EXPECT_EQ(tvxtest::ReadFileBytes(path), c.original);
            EXPECT_EQ(FolderListing(folder.path()), L"Tervix.ini;") << "no temporary file is left behind";
        }
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ReleaseSettingsFile();
        Switches() = PortableSwitches{};
    }
}

// The counterparts: once an editor lets go of the file the next save goes through, and
// after the uninstall a file that is still there (outside the install folder, which the
// list does not name) gets the removal of the user's settings.
TEST_F(SettingsFileSave, AFileFreedAgainOrLeftByTheUninstallIsWritten) {
    LoadText(L"a=1\r\n");
    SetSettingEntry(L"a", L"2", SettingKind::Plain);
    UniqueFileHandle held(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(SaveSettingsFile());
    held.reset();
    EXPECT_EQ(SaveAndRead(), L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\na=2\r\n");
    ReleaseSettingsFile();

    LoadText(L"HKCU\\Setup\\ShellExt=1\r\nHKLM\\Capabilities\\Name=\"Tervix\"\r\n");
    RemoveSettingEntries(L"HKCU\\", true);  // what the uninstall does to the user's settings
    SuppressSettingsFileRecreation();
    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\n"
              L"Global\\Integration=1\r\n"
              L"Global\\SaveSettings=1\r\n"
              L"HKLM\\Capabilities\\Name=\"Tervix\"\r\n");
}

}  // namespace
}  // namespace tvx::settingstest
