// Finding "Tervix.ini" next to the program. The program here is a copy of this test
// program in a sandbox folder, started as a child that runs one of the cases below
// whose names start with DISABLED_ (so that a normal run skips them).

#include <gtest/gtest.h>

#include <string>

#include "SettingsFileTestSupport.h"
#include "TestSupport.h"
#include "platform/Strings.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "settings/TextFileReader.h"

namespace tvx::settingstest {
namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

// Copies this program into the folder and runs the named child case there; the exit
// code is the child's test result (0 when it passed).
long RunChildInFolder(const tvxtest::TempFolder& folder, const std::wstring& testName) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring copy = folder / L"portable_child.exe";
    if (!CopyFileW(self, copy.c_str(), FALSE)) return -2;
    std::wstring command =
        L"\"" + copy + L"\" --gtest_also_run_disabled_tests --gtest_filter=PortableChild." + testName;
    return tvxtest::RunAndWait(command, 60000, folder.path());
}

// ---- child cases: run only inside a copied program ----

TEST(PortableChild, DISABLED_UsesTheFileNextToTheProgram) {
    EnsureSettingsFileLoaded();
    ASSERT_TRUE(SettingsFileLoaded());
    EXPECT_EQ(std::wstring(SettingsFilePath()), ProgramFolder() + L"\\Tervix.ini");
    EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, L"Setup", L"ShellExt", 1), 0);
    EXPECT_EQ(WriteSettingString(HKEY_CURRENT_USER, L"Setup\\.zip", L"Type", L"Tervix.ZIP"), 0);
    EXPECT_TRUE(SaveSettingsFile());
    ReleaseSettingsFile();
}

TEST(PortableChild, DISABLED_RunsWithoutAFileWhenNoneIsNextToIt) {
    wchar_t appData[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH), 0u);
    std::wstring userFolder = std::wstring(appData) + L"\\Tervix";
    bool userFolderExisted = tvxtest::PathExists(userFolder);
    EnsureSettingsFileLoaded();
    if (!userFolderExisted) {
        EXPECT_FALSE(tvxtest::PathExists(userFolder)) << "looking must not create the folder";
    }
    EXPECT_FALSE(SettingsFileLoaded());
    EXPECT_FALSE(MapsToSettingsFile(HKEY_CURRENT_USER, L"Setup"));
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_TRUE(IntegrationEnabled());
}

TEST(PortableChild, DISABLED_ReaderSearchFindsAFileInTheProgramFolder) {
    StringList lines;
    TextReadOptions options;
    options.searchStandardFolders = true;
    ASSERT_TRUE(ReadTextFile(L"portable-names.txt", lines, options));
    const wchar_t* line = nullptr;
    ASSERT_TRUE(lines.NextString(&line));
    EXPECT_STREQ(line, L"found beside the program");
}

// ---- parent cases ----

TEST(SettingsFileLocate, AFileNextToTheProgramIsUsedAndWrittenBackThere) {
    tvxtest::TempFolder folder(L"tvxnext");
    std::wstring ini = folder / L"Tervix.ini";
    ASSERT_TRUE(tvxtest::WriteFileBytes(ini, "HKCU\\Setup\\ShellExt=0\r\n"));

    EXPECT_EQ(RunChildInFolder(folder, L"DISABLED_UsesTheFileNextToTheProgram"), 0);

    std::wstring saved = DecodeSavedFile(tvxtest::ReadFileBytes(ini));
    EXPECT_EQ(saved,
              L"Global\\AppData=1\r\n"
              L"Global\\Integration=1\r\n"
              L"Global\\SaveSettings=1\r\n"
              L"HKCU\\Setup\\.zip\\Type=\"Tervix.ZIP\"\r\n"
              L"HKCU\\Setup\\ShellExt=0\r\n");
}

TEST(SettingsFileLocate, WithoutAFileNothingIsCreated) {
    tvxtest::TempFolder folder(L"tvxnone");
    EXPECT_EQ(RunChildInFolder(folder, L"DISABLED_RunsWithoutAFileWhenNoneIsNextToIt"), 0);
    EXPECT_FALSE(tvxtest::PathExists(folder / L"Tervix.ini"));
}

TEST(SettingsFileLocate, TheReaderCanSearchTheProgramFolder) {
    tvxtest::TempFolder folder(L"tvxsearch");
    ASSERT_TRUE(tvxtest::WriteFileBytes(folder / L"portable-names.txt", "found beside the program\r\n"));
    EXPECT_EQ(RunChildInFolder(folder, L"DISABLED_ReaderSearchFindsAFileInTheProgramFolder"), 0);
}

}  // namespace
}  // namespace tvx::settingstest
