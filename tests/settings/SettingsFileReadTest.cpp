// Loading "Tervix.ini": which lines become entries, the value kinds, duplicates, and the
// Global switches that a load sets and writes back.

#include <gtest/gtest.h>

#include "SettingsFileTestSupport.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"

namespace tvx::settingstest {
namespace {

using SettingsFileRead = SettingsFileTest;

TEST_F(SettingsFileRead, OnlyLinesStartingWithALetterAndHoldingAnEqualsSignBecomeEntries) {
    const std::wstring text =
        L"[Section]\r\n"
        L"; HKCU\\Commented=1\r\n"
        L"\r\n\r\n"
        L"  HKCU\\Indented=2\r\n"
        L"\tHKCU\\Tabbed=3\r\n"
        L"1Digit=4\r\n"
        L"=NoName\r\n"
        L"HKCU\\Setup\\ShellExt=0\r\n"
        L"NoEqualsSign\r\n"
        L"#Hash=5\r\n"
        L"z=last";
    LoadText(text);
    EXPECT_EQ(Value(L"HKCU\\Setup\\ShellExt"), L"0");
    EXPECT_EQ(Value(L"z"), L"last");
    EXPECT_FALSE(AnySettingEntryWithPrefix(L"[")) << "a section header is ignored";
    EXPECT_FALSE(AnySettingEntryWithPrefix(L";")) << "a comment is ignored";
    EXPECT_FALSE(AnySettingEntryWithPrefix(L" "));
    EXPECT_FALSE(AnySettingEntryWithPrefix(L"\t"));
    EXPECT_FALSE(AnySettingEntryWithPrefix(L"1"));
    EXPECT_FALSE(AnySettingEntryWithPrefix(L"#"));
    EXPECT_FALSE(AnySettingEntryWithPrefix(L"NoEquals"));
    EXPECT_FALSE(AnySettingEntryWithPrefix(L"HKCU\\Indented"));

    // What was ignored is kept by a save, above the entry that followed it.
    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\nGlobal\\Integration=1\r\nGlobal\\SaveSettings=1\r\n" + text + L"\r\n");
}

TEST_F(SettingsFileRead, NameIsEverythingBeforeTheFirstEqualsSignIncludingBlanks) {
    LoadText(L"Name =spaced\r\nkey=a=b=c\r\nlower=x\r\nLower=y\r\n");
    EXPECT_EQ(Value(L"Name "), L"spaced");
    EXPECT_EQ(Value(L"Name"), L"<none>");
    EXPECT_EQ(Value(L"key"), L"a=b=c");
    // Names compare by code unit: case matters.
    EXPECT_EQ(Value(L"lower"), L"x");
    EXPECT_EQ(Value(L"Lower"), L"y");
    EXPECT_EQ(Value(L"LOWER"), L"<none>");
}

TEST_F(SettingsFileRead, TrailingBlanksOfALineGoButLeadingBlanksOfTheValueStay) {
    LoadText(L"a= padded \t \r\nb=\"quoted \"  \r\nc=\r\n");
    EXPECT_EQ(Value(L"a"), L" padded");
    EXPECT_EQ(Value(L"b"), L"quoted ");
    EXPECT_EQ(Value(L"c"), L"");
}

TEST_F(SettingsFileRead, ValueKindsSurviveASaveAsTheyWereRead) {
    LoadText(
        L"a=\"abc\r\n"         // unclosed quote: quoted abc
        L"b=\"x \"\" y\"\r\n"  // inner quotes are not escapes
        L"c=\"\"\r\n"
        L"d=\"\r\n"
        L"e=bin:00ff\r\n"
        L"f=Bin:00ff\r\n"      // the binary prefix is case-sensitive
        L"g=bin:\r\n"
        L"h=plain \"text\"\r\n");
    EXPECT_EQ(Value(L"a"), L"abc");
    EXPECT_EQ(Value(L"b"), L"x \"\" y");
    EXPECT_EQ(Value(L"c"), L"");
    EXPECT_EQ(Value(L"d"), L"");
    EXPECT_EQ(Value(L"e"), L"00ff");
    EXPECT_EQ(Value(L"f"), L"Bin:00ff");
    EXPECT_EQ(Value(L"g"), L"");
    EXPECT_EQ(Value(L"h"), L"plain \"text\"");

    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\n"
              L"Global\\Integration=1\r\n"
              L"Global\\SaveSettings=1\r\n"
              L"a=\"abc\"\r\n"
              L"b=\"x \"\" y\"\r\n"
              L"c=\"\"\r\n"
              L"d=\"\"\r\n"
              L"e=bin:00ff\r\n"
              L"f=Bin:00ff\r\n"
              L"g=bin:\r\n"
              L"h=plain \"text\"\r\n");
}

TEST_F(SettingsFileRead, DuplicatesReadAndChangeTheFirstAndAreRemovedTogether) {
    LoadText(L"dup=first\r\nother=1\r\ndup=second\r\n");
    EXPECT_EQ(Value(L"dup"), L"first");

    SetSettingEntry(L"dup", L"changed", SettingKind::Quoted);
    EXPECT_EQ(Value(L"dup"), L"changed");
    std::wstring saved = SaveAndRead();
    EXPECT_NE(saved.find(L"dup=\"changed\"\r\n"), std::wstring::npos) << testing::PrintToString(saved);
    EXPECT_NE(saved.find(L"dup=second\r\n"), std::wstring::npos) << "the second duplicate is kept";

    RemoveSettingEntries(L"dup", false);
    EXPECT_EQ(Value(L"dup"), L"<none>");
    EXPECT_FALSE(AnySettingEntryWithPrefix(L"dup"));
    EXPECT_EQ(Value(L"other"), L"1");
}

TEST_F(SettingsFileRead, SettingAMissingNameAppendsAndAnExactRemovalLeavesLongerNames) {
    LoadText(L"HKCU\\Setup\\Set=1\r\n");
    SetSettingEntry(L"HKCU\\Setup\\Set2", L"2", SettingKind::Plain);
    SetSettingEntry(L"HKCU\\Setup", L"3", SettingKind::Plain);
    EXPECT_EQ(Value(L"HKCU\\Setup\\Set2"), L"2");

    RemoveSettingEntries(L"HKCU\\Setup\\Set", false);
    EXPECT_EQ(Value(L"HKCU\\Setup\\Set"), L"<none>");
    EXPECT_EQ(Value(L"HKCU\\Setup\\Set2"), L"2");
    EXPECT_EQ(Value(L"HKCU\\Setup"), L"3");
}

TEST_F(SettingsFileRead, PrefixRemovalTakesEveryEntryBelowAKeyAndNothingBeside) {
    LoadText(
        L"HKCU\\Setup\\ShellExt=1\r\n"
        L"HKCU\\Setup\\Links\\Desktop=1\r\n"
        L"HKCU\\SetupOld\\X=1\r\n"
        L"HKLM\\Setup\\ShellExt=1\r\n"
        L"HKCU\\Setup\\.zip\\Set=1\r\n");
    EXPECT_TRUE(AnySettingEntryWithPrefix(L"HKCU\\Setup\\Links\\"));
    EXPECT_FALSE(AnySettingEntryWithPrefix(L"HKCU\\Setup\\Links\\Desktop\\"));

    RemoveSettingEntries(L"HKCU\\Setup\\", true);
    EXPECT_FALSE(AnySettingEntryWithPrefix(L"HKCU\\Setup\\"));
    EXPECT_EQ(Value(L"HKCU\\SetupOld\\X"), L"1");
    EXPECT_EQ(Value(L"HKLM\\Setup\\ShellExt"), L"1");
    EXPECT_EQ(Value(L"Global\\Integration"), L"1");
}

TEST_F(SettingsFileRead, GlobalSwitchesAreReadAsNonZeroAndWrittenBackAsPlainDigits) {
    LoadText(L"Global\\Integration=0\r\nGlobal\\SaveSettings=-7\r\nGlobal\\AppData=\"5\"\r\n");
    EXPECT_FALSE(Switches().integration);
    EXPECT_TRUE(Switches().saveSettings);
    EXPECT_TRUE(Switches().appData);
    // Rewriting switches that are all there is no change of its own.
    std::string original = tvxtest::ReadFileBytes(path);
    EXPECT_FALSE(SaveSettingsFile());
    EXPECT_EQ(tvxtest::ReadFileBytes(path), original);
    SetSettingEntry(L"a", L"1", SettingKind::Plain);
    EXPECT_EQ(SaveAndRead(),
              L"Global\\AppData=1\r\n"
              L"Global\\Integration=0\r\n"
              L"Global\\SaveSettings=1\r\n"
              L"a=1\r\n");
}

TEST_F(SettingsFileRead, ASwitchThatIsNotANumberCountsAsZero) {
    LoadText(L"Global\\AppData=off\r\nGlobal\\SaveSettings= 1\r\n");
    EXPECT_FALSE(Switches().appData);
    EXPECT_FALSE(Switches().saveSettings) << "no blanks are skipped before the digits";
    EXPECT_TRUE(Switches().integration);
    EXPECT_EQ(Value(L"Global\\AppData"), L"0");
}

TEST_F(SettingsFileRead, AnEmptyFileStillLoadsAndGainsTheSwitches) {
    Load("");
    EXPECT_EQ(Value(L"Global\\AppData"), L"1");
    EXPECT_EQ(Value(L"Global\\Integration"), L"1");
    EXPECT_EQ(Value(L"Global\\SaveSettings"), L"1");
}

TEST_F(SettingsFileRead, AMissingFileLeavesPortableModeOffAndIsNotRetried) {
    LoadSettingsFileFrom(path.c_str());
    EXPECT_FALSE(SettingsFileLoaded());
    EXPECT_FALSE(MapsToSettingsFile(HKEY_CURRENT_USER, L"Setup"));

    ASSERT_TRUE(tvxtest::WriteFileBytes(path, Utf16Le(L"a=1\r\n")));
    EnsureSettingsFileLoaded();
    LoadSettingsFileFrom(path.c_str());
    EXPECT_FALSE(SettingsFileLoaded()) << "one attempt per run";
    EXPECT_FALSE(SaveSettingsFile());

    ReleaseSettingsFile();
    LoadSettingsFileFrom(path.c_str());
    EXPECT_TRUE(SettingsFileLoaded()) << "releasing starts over";
    EXPECT_EQ(Value(L"a"), L"1");
}

TEST_F(SettingsFileRead, OnlyTheProductKeysOfTheUserAndTheMachineMapToTheFile) {
    LoadText(L"a=1\r\n");
    EXPECT_TRUE(MapsToSettingsFile(kNullRoot, L"Global"));
    EXPECT_TRUE(MapsToSettingsFile(HKEY_CURRENT_USER, L"Setup"));
    EXPECT_TRUE(MapsToSettingsFile(HKEY_CURRENT_USER, L""));
    EXPECT_TRUE(MapsToSettingsFile(HKEY_LOCAL_MACHINE, L"Capabilities"));
    EXPECT_FALSE(MapsToSettingsFile(HKEY_LOCAL_MACHINE, L"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths"));
    EXPECT_FALSE(MapsToSettingsFile(HKEY_CURRENT_USER, L"\\Software\\Classes"));
    EXPECT_FALSE(MapsToSettingsFile(HKEY_CLASSES_ROOT, L".zip"));
    EXPECT_FALSE(MapsToSettingsFile(HKEY_USERS, L"Setup"));
}

TEST_F(SettingsFileRead, ReleaseForgetsEveryEntry) {
    LoadText(L"a=1\r\n");
    ReleaseSettingsFile();
    EXPECT_FALSE(SettingsFileLoaded());
    EXPECT_EQ(FindSettingEntry(L"a"), nullptr);
    EXPECT_FALSE(AnySettingEntryWithPrefix(L""));
    EXPECT_FALSE(SaveSettingsFile());
}

}  // namespace
}  // namespace tvx::settingstest
