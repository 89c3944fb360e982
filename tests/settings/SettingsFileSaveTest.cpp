// Writing "Tervix.ini" back: its format, when it is not written, and that a failed
// save never costs the user the settings already on disk.

#include <gtest/gtest.h>

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
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0) {
            names += data.cFileName;
            names += L";";
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
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
    EXPECT_EQ(Value(L"a"), L"1");
    SetSettingEntry(L"a", L"2", SettingKind::Plain);
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_EQ(tvxtest::ReadFileBytes(path), original);
    EXPECT_EQ(FolderListing(folder.path()), L"Tervix.ini;");
}

TEST_F(SettingsFileSave, AHiddenSystemFileStaysSoAndATakenTemporaryNameIsPassedOver) {
    LoadText(L"a=1\r\n");
    const DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), kHiddenSystem));
    // A file of the user's under the first name the save would take.
    std::wstring taken = folder / L"~ervix.ini";
    ASSERT_TRUE(tvxtest::WriteFileBytes(taken, "mine"));
    EXPECT_EQ(SaveAndRead(), L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\na=1\r\n");
    EXPECT_EQ(GetFileAttributesW(path.c_str()) & kHiddenSystem, kHiddenSystem);
    EXPECT_EQ(tvxtest::ReadFileBytes(taken), "mine");
    EXPECT_EQ(FolderListing(folder.path()), L"Tervix.ini;~ervix.ini;");
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SettingsFileSave, SaveSettingsZeroLeavesTheFileByteForByte) {
    // ANSI, unsorted, with a comment: anything a save would change.
    std::string original = "; mine\r\nzeta=1\r\nGlobal\\SaveSettings=0\r\nalpha=2\r\n";
    Load(original);
    SetSettingEntry(L"HKCU\\Setup\\ShellExt", L"0", SettingKind::Plain);
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_EQ(tvxtest::ReadFileBytes(path), original);
    EXPECT_EQ(FolderListing(folder.path()), L"Tervix.ini;");
}

TEST_F(SettingsFileSave, AfterTheUninstallRemovedTheFilesNothingIsWrittenBack) {
    LoadText(L"a=1\r\n");
    ASSERT_TRUE(DeleteFileW(path.c_str()));  // the list named it
    SuppressSettingsFileRecreation();
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_FALSE(tvxtest::PathExists(path)) << "the deleted settings file must not come back";
    EXPECT_EQ(FolderListing(folder.path()), L"");
}

TEST_F(SettingsFileSave, AfterTheUninstallAFileThatIsStillThereGetsItsChanges) {
    // A file outside the install folder, which the list does not name.
    LoadText(L"HKCU\\Setup\\ShellExt=1\r\nHKLM\\Capabilities\\Name=\"Tervix\"\r\n");
    RemoveSettingEntries(L"HKCU\\", true);  // what the uninstall does to the user's settings
    SuppressSettingsFileRecreation();
    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\n"
              L"Global\\Integration=1\r\n"
              L"Global\\SaveSettings=1\r\n"
              L"HKLM\\Capabilities\\Name=\"Tervix\"\r\n");
}

TEST_F(SettingsFileSave, AReadOnlyTargetKeepsTheOldFile) {
    std::string original = Utf16Le(L"a=1\r\n");
    Load(original);
    SetSettingEntry(L"a", L"2", SettingKind::Plain);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_EQ(tvxtest::ReadFileBytes(path), original);
    EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
    EXPECT_EQ(FolderListing(folder.path()), L"Tervix.ini;") << "the temporary file is removed";
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SettingsFileSave, ALockedTargetKeepsTheOldFile) {
    std::string original = Utf16Le(L"a=1\r\n");
    Load(original);
    SetSettingEntry(L"a", L"2", SettingKind::Plain);
    {
        // Open without any sharing, as an editor holding the file would.
        HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(SaveSettingsFile());
        CloseHandle(held);
    }
    EXPECT_EQ(tvxtest::ReadFileBytes(path), original);
    EXPECT_EQ(FolderListing(folder.path()), L"Tervix.ini;");

    // Once the file is free again, the next save goes through.
    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\na=2\r\n");
}

TEST_F(SettingsFileSave, AFileAtTheLongestPathIsSavedUnderItsOwnName) {
    // 2047 characters, the most a path may have here: the temporary name must neither
    // be longer nor be the real one.
    std::wstring longPath = folder.path();
    while (longPath.size() < 2047 - 11) {
        size_t room = 2047 - 11 - longPath.size() - 1;
        // Never leave room for a separator alone.
        size_t piece = room == 201 ? 199 : room > 200 ? 200 : room;
        longPath += L"\\" + std::wstring(piece, L'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + longPath).c_str(), nullptr));
    }
    longPath += L"\\Tervix.ini";
    ASSERT_EQ(longPath.size(), 2047u);
    std::wstring extended = L"\\\\?\\" + longPath;
    ASSERT_TRUE(tvxtest::WriteFileBytes(extended, Utf16Le(L"a=1\r\n")));
    LoadSettingsFileFrom(longPath.c_str());
    ASSERT_TRUE(SettingsFileLoaded());
    ASSERT_TRUE(SaveSettingsFile());
    EXPECT_EQ(DecodeSavedFile(tvxtest::ReadFileBytes(extended)),
              L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\na=1\r\n");
    EXPECT_EQ(FolderListing(L"\\\\?\\" + longPath.substr(0, longPath.size() - 11)), L"Tervix.ini;");
}

TEST_F(SettingsFileSave, AFileDeletedSinceLoadingIsWrittenAgain) {
    LoadText(L"a=1\r\n");
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\na=1\r\n");
}

}  // namespace
}  // namespace tvx::settingstest
