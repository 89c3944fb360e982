// Finding "Tervix.ini" next to the program. The program here is a copy of this test
// program in a sandbox folder, which runs one of the cases below whose names start with
// DISABLED_ (so that a normal run skips them).

#include <gtest/gtest.h>

#include <string>

#include "SandboxCopy.h"
#include "SettingsFileTestSupport.h"
#include "TestSupport.h"
#include "platform/Strings.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "settings/TextFileReader.h"

namespace tvx::settingstest {
namespace {

using tvxtest::SandboxCopy;

// ---- child cases: run only inside a copied program ----

TEST(PortableChild, DISABLED_UsesTheFileNextToTheProgram) {
    EnsureSettingsFileLoaded();
    ASSERT_TRUE(SettingsFileLoaded());
    EXPECT_EQ(std::wstring(SettingsFilePath()), tvxtest::ProgramFolderOfTest() + L"\\Tervix.ini");
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
    SandboxCopy copy;
    std::wstring ini = copy / L"Tervix.ini";
    ASSERT_TRUE(tvxtest::WriteFileBytes(ini, "HKCU\\Setup\\ShellExt=0\r\n"));

    EXPECT_TRUE(copy.RunTest("PortableChild.DISABLED_UsesTheFileNextToTheProgram", L"", 60000));

    std::wstring saved = DecodeSavedFile(tvxtest::ReadFileBytes(ini));
    EXPECT_EQ(saved,
              L"Global\\AppData=1\r\n"
              L"Global\\Integration=1\r\n"
              L"Global\\SaveSettings=1\r\n"
              L"HKCU\\Setup\\.zip\\Type=\"Tervix.ZIP\"\r\n"
              L"HKCU\\Setup\\ShellExt=0\r\n");
}

TEST(SettingsFileLocate, WithoutAFileNothingIsCreated) {
    SandboxCopy copy;
    EXPECT_TRUE(copy.RunTest("PortableChild.DISABLED_RunsWithoutAFileWhenNoneIsNextToIt", L"", 60000));
    EXPECT_FALSE(tvxtest::PathExists(copy / L"Tervix.ini"));
}

TEST(SettingsFileLocate, TheReaderCanSearchTheProgramFolder) {
    SandboxCopy copy;
    copy.Put(L"portable-names.txt", "found beside the program\r\n");
    EXPECT_TRUE(copy.RunTest("PortableChild.DISABLED_ReaderSearchFindsAFileInTheProgramFolder", L"", 60000));
}

}  // namespace
}  // namespace tvx::settingstest
