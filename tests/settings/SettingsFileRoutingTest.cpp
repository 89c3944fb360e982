// The settings operations with a "Tervix.ini" loaded: every operation on the product
// key acts on the file only, and with Global\Integration=0 nothing reaches the registry.
// The registry checks use keys with a per-test name so that no other test's settings
// can be mistaken for ours.

#include <gtest/gtest.h>

#include <string>

#include "SettingsFileTestSupport.h"
#include "TestSupport.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"

namespace tvx::settingstest {
namespace {

class SettingsFileRouting : public SettingsFileTest {
protected:
    void SetUp() override {
        probe = L"PortableProbe" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(GetTickCount());
    }
    void TearDown() override {
        tvxtest::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix\\" + probe);
        tvxtest::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Classes\\." + probe);
        tvxtest::DeleteRegTree(HKEY_CLASSES_ROOT, L"." + probe);
        tvxtest::DeleteRegTree(HKEY_CLASSES_ROOT, L"." + probe + L"New");
        SettingsFileTest::TearDown();
    }
    std::wstring probe;
};

TEST_F(SettingsFileRouting, ReadsComeFromTheFileAndNeverFromTheRegistry) {
    ASSERT_TRUE(tvxtest::RegWriteDword(HKEY_CURRENT_USER, L"Software\\Tervix\\" + probe, L"Number", 7));
    ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\" + probe, L"Text", L"registry"));
    LoadText(L"HKCU\\" + probe + L"\\Number=-12x\r\nHKCU\\" + probe + L"\\Text=\"file text\"\r\n"
             L"HKLM\\" + probe + L"\\Number=3\r\nHKCU\\=root\r\nGlobal\\Own=9\r\n");

    EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, probe.c_str(), L"Number", 1), -12);
    EXPECT_EQ(ReadSettingInt(HKEY_LOCAL_MACHINE, probe.c_str(), L"Number", 1), 3);
    EXPECT_EQ(ReadSettingInt(kNullRoot, L"Global", L"Own", 1), 9);
    EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, probe.c_str(), L"Missing", 42), 42)
        << "a value absent from the file is not looked up in the registry";
    EXPECT_EQ(ReadUserInt(probe.c_str(), L"Number", 1), -12);

    wchar_t text[64];
    EXPECT_TRUE(ReadSettingString(HKEY_CURRENT_USER, probe.c_str(), L"Text", text, L"default", 64));
    EXPECT_STREQ(text, L"file text");
    EXPECT_TRUE(ReadSettingString(HKEY_CURRENT_USER, L"", L"", text, L"default", 64));
    EXPECT_STREQ(text, L"root") << "the product key's default value is \"HKCU\\\"";
    EXPECT_TRUE(ReadSettingString(HKEY_CURRENT_USER, probe.c_str(), L"Missing", text, L"default", 64));
    EXPECT_STREQ(text, L"default");
    wchar_t small[5];
    EXPECT_TRUE(ReadSettingString(HKEY_CURRENT_USER, probe.c_str(), L"Text", small, L"", 5));
    EXPECT_STREQ(small, L"file");
}

TEST_F(SettingsFileRouting, NamesAreCaseSensitive) {
    LoadText(L"HKCU\\setup\\ShellExt=0\r\n");
    EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, L"Setup", L"ShellExt", 1), 1);
    EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, L"setup", L"ShellExt", 1), 0);
}

TEST_F(SettingsFileRouting, WritesGoToTheFileAsPlainNumbersAndQuotedText) {
    LoadText(L"");
    EXPECT_EQ(WriteSettingInt(HKEY_CURRENT_USER, probe.c_str(), L"Minus", -1), 0);
    EXPECT_EQ(WriteSettingInt(HKEY_LOCAL_MACHINE, probe.c_str(), L"Seven", 7), 0);
    EXPECT_EQ(WriteSettingString(HKEY_CURRENT_USER, probe.c_str(), L"Text", L"a \"b\""), 0);
    EXPECT_EQ(WriteUserString(probe.c_str(), L"Empty", L""), 0);
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\" + probe));
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\" + probe));

    std::wstring saved = SaveAndRead();
    std::wstring user = L"HKCU\\" + probe + L"\\";
    EXPECT_NE(saved.find(user + L"Minus=4294967295\r\n"), std::wstring::npos) << testing::PrintToString(saved);
    EXPECT_NE(saved.find(L"HKLM\\" + probe + L"\\Seven=7\r\n"), std::wstring::npos);
    EXPECT_NE(saved.find(user + L"Text=\"a \"b\"\"\r\n"), std::wstring::npos);
    EXPECT_NE(saved.find(user + L"Empty=\"\"\r\n"), std::wstring::npos);
    EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, probe.c_str(), L"Minus", 0), -1) << "stored unsigned, read back signed";
}

TEST_F(SettingsFileRouting, DeletionsRemoveEntriesByNameOrByKeyPrefix) {
    std::wstring user = L"HKCU\\" + probe;
    LoadText(user + L"\\A=1\r\n" + user + L"\\Sub\\B=2\r\n" + user + L"\\Sub\\Deeper\\C=3\r\n" + user +
             L"Sibling\\D=4\r\nHKLM\\" + probe + L"\\E=5\r\n" + user + L"\\A=dup\r\n");
    EXPECT_TRUE(SettingKeyExists(HKEY_CURRENT_USER, (probe + L"\\Sub\\Deeper").c_str()));
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, (probe + L"\\Sub\\Deep").c_str()))
        << "the key name ends at a backslash";

    DeleteSettingValue(HKEY_CURRENT_USER, probe.c_str(), L"A");
    EXPECT_EQ(FindSettingEntry((user + L"\\A").c_str()), nullptr) << "both duplicates go";

    DeleteSettingKey(HKEY_CURRENT_USER, (probe + L"\\Sub").c_str());
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, (probe + L"\\Sub").c_str())) << "recursive in the file";
    EXPECT_TRUE(SettingKeyExists(HKEY_CURRENT_USER, (probe + L"Sibling").c_str()));
    EXPECT_TRUE(SettingKeyExists(HKEY_LOCAL_MACHINE, probe.c_str()));
}

TEST_F(SettingsFileRouting, DeletingTheUserProductTreeLeavesMachineAndGlobalEntries) {
    LoadText(L"HKCU\\Setup\\ShellExt=1\r\nHKCU\\Setup\\Links\\Desktop=1\r\nHKCU\\=x\r\nHKLM\\Setup\\A=1\r\n");
    DeleteSettingTree(HKEY_CURRENT_USER, L"");
    EXPECT_FALSE(AnySettingEntryWithPrefix(L"HKCU\\"));
    EXPECT_EQ(Value(L"HKLM\\Setup\\A"), L"1");
    EXPECT_EQ(Value(L"Global\\Integration"), L"1");
}

TEST_F(SettingsFileRouting, AbsolutePathsStillUseTheRegistry) {
    LoadText(L"HKCU\\Software\\Microsoft=1\r\n");
    std::wstring absolute = L"\\Software\\Tervix\\" + probe;
    EXPECT_EQ(WriteSettingInt(HKEY_CURRENT_USER, absolute.c_str(), L"Abs", 5), 0);
    DWORD value = 0;
    EXPECT_TRUE(tvxtest::RegReadDword(HKEY_CURRENT_USER, L"Software\\Tervix\\" + probe, L"Abs", &value));
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, absolute.c_str(), L"Abs", 0), 5);
    EXPECT_TRUE(SettingKeyExists(HKEY_LOCAL_MACHINE, L"\\Software\\Microsoft"));
    EXPECT_FALSE(AnySettingEntryWithPrefix((L"HKCU\\\\Software\\Tervix\\" + probe).c_str()));
}

TEST_F(SettingsFileRouting, IntegrationOffKeepsEveryOtherWriteAwayFromTheRegistry) {
    std::wstring extension = L"." + probe;
    ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Classes\\" + extension, L"", L"before"));
    LoadText(L"Global\\Integration=0\r\n");
    EXPECT_FALSE(IntegrationEnabled());

    std::wstring newKey = extension + L"New";
    EXPECT_EQ(WriteSettingString(HKEY_CLASSES_ROOT, newKey.c_str(), L"", L"Tervix"), 0);
    EXPECT_EQ(WriteSettingInt(HKEY_CLASSES_ROOT, newKey.c_str(), L"Flag", 1), 0);
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, newKey));
    EXPECT_FALSE(SettingKeyExists(HKEY_CLASSES_ROOT, extension.c_str())) << "the key exists, but is not looked at";
    wchar_t text[32];
    EXPECT_TRUE(ReadSettingString(HKEY_CLASSES_ROOT, extension.c_str(), L"", text, L"default", 32));
    EXPECT_STREQ(text, L"default");
    EXPECT_EQ(ReadSettingInt(HKEY_CLASSES_ROOT, extension.c_str(), L"", 3), 3);

    DeleteSettingValue(HKEY_CLASSES_ROOT, extension.c_str(), L"");
    DeleteSettingKey(HKEY_CLASSES_ROOT, extension.c_str());
    DeleteSettingTree(HKEY_CLASSES_ROOT, extension.c_str());
    std::wstring value;
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CURRENT_USER, L"Software\\Classes\\" + extension, L"", &value, 0));
    EXPECT_EQ(value, L"before");

    // Absolute paths of the user's and the machine's hives are not the file's either.
    EXPECT_EQ(WriteSettingInt(HKEY_CURRENT_USER, (L"\\Software\\Tervix\\" + probe).c_str(), L"Abs", 1), 0);
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\" + probe));
    EXPECT_FALSE(SettingKeyExists(HKEY_LOCAL_MACHINE, L"\\Software\\Microsoft"));

    // The product's own settings still go to the file.
    EXPECT_EQ(WriteSettingInt(HKEY_CURRENT_USER, L"Setup", L"ShellExt", 0), 0);
    EXPECT_EQ(Value(L"HKCU\\Setup\\ShellExt"), L"0");
}

TEST_F(SettingsFileRouting, IntegrationOnLetsClassesRootWritesThrough) {
    LoadText(L"Global\\Integration=1\r\n");
    std::wstring extension = L"." + probe;
    EXPECT_EQ(WriteSettingString(HKEY_CLASSES_ROOT, extension.c_str(), L"", L"Tervix"), 0);
    EXPECT_TRUE(SettingKeyExists(HKEY_CLASSES_ROOT, extension.c_str()));
    std::wstring value;
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CLASSES_ROOT, extension, L"", &value));
    EXPECT_EQ(value, L"Tervix");
    DeleteSettingTree(HKEY_CLASSES_ROOT, extension.c_str());
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, extension));
}

}  // namespace
}  // namespace tvx::settingstest
