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
    ASSERT_TRUE(SaveSettingsFile());
    EXPECT_EQ(tvxtest::ReadFileBytes(path), first);
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

TEST_F(SettingsFileSave, AnUnwritableTemporaryFileKeepsTheOldFile) {
    std::string original = Utf16Le(L"a=1\r\n");
    Load(original);
    // A folder where the new contents would go makes the first step fail.
    ASSERT_TRUE(CreateDirectoryW((path + L".tmp").c_str(), nullptr));
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_EQ(tvxtest::ReadFileBytes(path), original);
    RemoveDirectoryW((path + L".tmp").c_str());
}

TEST_F(SettingsFileSave, AFileDeletedSinceLoadingIsWrittenAgain) {
    LoadText(L"a=1\r\n");
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\na=1\r\n");
}

}  // namespace
}  // namespace tvx::settingstest
