#include "startup/RunOptions.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/RunOutcome.h"

namespace tvx {
namespace {

std::vector<std::wstring> Arguments(const wchar_t* text, size_t capacity = 1024) {
    std::vector<std::wstring> result;
    std::vector<wchar_t> buffer(capacity);
    for (const wchar_t* cursor = text; (cursor = NextArgument(cursor, buffer.data(), capacity)) != nullptr;)
        result.emplace_back(buffer.data());
    return result;
}

TEST(NextArgument, BlanksAndTabsSeparateAndQuotesGroup) {
    EXPECT_EQ(Arguments(L"  Uninstall.exe\t/setup   -s  "),
              (std::vector<std::wstring>{L"Uninstall.exe", L"/setup", L"-s"}));
    EXPECT_EQ(Arguments(L"\"C:\\Program Files\\Tervix\\Uninstall.exe\" -init\"1 2\""),
              (std::vector<std::wstring>{L"C:\\Program Files\\Tervix\\Uninstall.exe", L"-init1 2"}));
    EXPECT_TRUE(Arguments(L"").empty());
    EXPECT_TRUE(Arguments(L" \t ").empty());
    EXPECT_EQ(NextArgument(nullptr, nullptr, 0), nullptr);
}

TEST(NextArgument, DoubledQuoteIsALiteralQuote) {
    // "a""b" gives the three characters a, quotation mark, b.
    EXPECT_EQ(Arguments(L"\"a\"\"b\""), (std::vector<std::wstring>{L"a\"b"}));
    EXPECT_EQ(Arguments(L"x\"\"y z"), (std::vector<std::wstring>{L"x\"y", L"z"}));
    EXPECT_EQ(Arguments(L"\"\""), (std::vector<std::wstring>{L"\""}));
}

TEST(NextArgument, UnterminatedQuoteRunsToTheEnd) {
    EXPECT_EQ(Arguments(L"-init\"a b\tc"), (std::vector<std::wstring>{L"-inita b\tc"}));
}

TEST(NextArgument, LongArgumentsAreCutButConsumedWhole) {
    EXPECT_EQ(Arguments(L"abcdefgh next", 4), (std::vector<std::wstring>{L"abc", L"nex"}));
    wchar_t one[1] = {L'#'};
    const wchar_t* text = L"abc def";
    const wchar_t* cursor = NextArgument(text, one, 1);
    EXPECT_EQ(one[0], L'\0');
    EXPECT_EQ(cursor, text + 3) << "the cursor stops on the blank behind the argument";
    EXPECT_EQ(NextArgument(cursor, nullptr, 0), text + 7) << "no output buffer: the argument is only skipped";
    EXPECT_EQ(NextArgument(text + 7, one, 1), nullptr);
}

TEST(IsAsciiLetter, OnlyTheFiftyTwoLatinLetters) {
    for (wchar_t c : {L'A', L'Z', L'a', L'z', L'm'}) EXPECT_TRUE(IsAsciiLetter(c)) << static_cast<int>(c);
    for (wchar_t c : {L'@', L'[', L'`', L'{', L'0', L'1', L'\0', L' ', L'\x00E9', L'\x0130'})
        EXPECT_FALSE(IsAsciiLetter(c)) << static_cast<int>(c);
}

TEST(MatchSwitch, ComparesOnlyTheFirstCharactersIgnoringCase) {
    EXPECT_EQ(MatchSwitch(L"SETUP", L"setup", 5), 0);
    EXPECT_EQ(MatchSwitch(L"setupx", L"setup", 5), 0);
    EXPECT_EQ(MatchSwitch(L"NoEx", L"noexplorer", 4), 0);
    EXPECT_EQ(MatchSwitch(L"noexplorer", L"noexplorer", 4), 0);
    // A shorter text takes part with its terminator.
    EXPECT_NE(MatchSwitch(L"set", L"setup", 5), 0);
    EXPECT_NE(MatchSwitch(L"noe", L"noexplorer", 4), 0);
    EXPECT_NE(MatchSwitch(L"warn", L"wait", 4), 0);
    // Code point by code point: no letter stands in for another spelling of it. The
    // whole switch is compared: a comparison that ignored the soft hyphen would call
    // the five characters "wait".
    EXPECT_NE(MatchSwitch(L"w\u00ADait", L"wait", 5), 0);
    EXPECT_LT(MatchSwitch(L"abc", L"abd", 3), 0);
    EXPECT_GT(MatchSwitch(L"abd", L"abc", 3), 0);
}

// One run of the program's two switch passes: "sfxcmd" first, then the command line.
struct RunMode {
    bool setup = false;
    bool uninstall = false;
};

class Switches : public ::testing::Test {
protected:
    void SetUp() override {
        Options() = RunOptions{};
        ResetRunOutcome();
    }
    void TearDown() override { Options() = RunOptions{}; }
    static RunMode Parse(const wchar_t* commandLine, const wchar_t* sfxcmd = L"") {
        RunMode run;
        ParseSwitches(true, sfxcmd, &run.setup, &run.uninstall);
        EXPECT_FALSE(run.uninstall) << "the sfxcmd pass never asks for the uninstall";
        ParseSwitches(false, commandLine, &run.setup, &run.uninstall);
        return run;
    }
    // Each command line, with the installer's own beside it, leaves the switch off.
    using CommandLines = std::initializer_list<std::pair<const wchar_t*, const wchar_t*>>;
    static void ExpectLeftOff(bool RunOptions::*flag, CommandLines cases) {
        for (const auto& [commandLine, sfxcmd] : cases) {
            Options() = RunOptions{};
            Parse(commandLine, sfxcmd);
            EXPECT_FALSE(Options().*flag) << commandLine << " | sfxcmd=" << sfxcmd;
        }
    }
};

TEST_F(Switches, NoSwitchOrOnlySilentRunsTheUninstall) {
    RunMode run = Parse(L"\"C:\\Program Files\\Tervix\\Uninstall.exe\"");
    EXPECT_TRUE(run.uninstall);
    EXPECT_FALSE(run.setup);
    EXPECT_FALSE(Options().silent);

    run = Parse(L"\"C:\\Program Files\\Tervix\\Uninstall.exe\" -s");
    EXPECT_TRUE(run.uninstall);
    EXPECT_TRUE(Options().silent);

    run = Parse(L"Uninstall.exe /S1");
    EXPECT_TRUE(run.uninstall);
    EXPECT_TRUE(Options().silent);
}

TEST_F(Switches, SetupWithSilentFromEitherSource) {
    RunMode run = Parse(L"Uninstall.exe /setup -s");
    EXPECT_TRUE(run.setup);
    EXPECT_FALSE(run.uninstall);
    EXPECT_TRUE(Options().silent);

    Options() = RunOptions{};
    run = Parse(L"Uninstall.exe /setup", L"tervix-setup.exe -s -d\"C:\\Program Files\\Tervix\"");
    EXPECT_TRUE(run.setup);
    EXPECT_TRUE(Options().silent);
}

TEST_F(Switches, SwitchesInSfxcmdOtherThanSilentDoNothing) {
    RunMode run = Parse(L"Uninstall.exe", L"installer.exe /setup /msi /noexplorer -initabc");
    EXPECT_FALSE(run.setup);
    EXPECT_TRUE(run.uninstall) << "only the command line decides the job";
    EXPECT_FALSE(Options().msi);
    EXPECT_FALSE(Options().noExplorer);
    EXPECT_STREQ(Options().initString, L"");
}

TEST_F(Switches, LogSwitchIsNotCountedTakesQuotedPathsAndOnlyFromTheCommandLine) {
    RunMode run = Parse(L"Uninstall.exe -s /LOG=\"C:\\My Logs\\run.log\"", L"setup.exe /log=C:\\installer.log");
    EXPECT_TRUE(run.uninstall) << "-s /log= is still the silent uninstall";
    EXPECT_TRUE(Options().silent);
    EXPECT_STREQ(Options().logPath, L"C:\\My Logs\\run.log");

    Options() = RunOptions{};
    run = Parse(L"Uninstall.exe \"/log=C:\\a b.log\" /setup");
    EXPECT_TRUE(run.setup);
    EXPECT_FALSE(run.uninstall);
    EXPECT_STREQ(Options().logPath, L"C:\\a b.log");
}

TEST_F(Switches, SilentNeedsANonLetterAfterTheS) {
    // "-setup", "-sx" and "-silent" are not the silent switch; they are counted.
    RunMode run = Parse(L"Uninstall.exe -sx");
    EXPECT_FALSE(Options().silent);
    EXPECT_FALSE(run.uninstall);
    run = Parse(L"Uninstall.exe -silent");
    EXPECT_FALSE(Options().silent);
    run = Parse(L"Uninstall.exe -s- /s.");
    EXPECT_TRUE(Options().silent);
    EXPECT_TRUE(run.uninstall);
}

TEST_F(Switches, KeywordsMatchByTheirLeadingCharacters) {
    RunMode run = Parse(L"Uninstall.exe -SETUPX /noex /MSIX");
    EXPECT_TRUE(run.setup);
    EXPECT_TRUE(Options().noExplorer);
    EXPECT_TRUE(Options().msi);
    EXPECT_FALSE(Options().silent);
}

TEST_F(Switches, MsiOrAnUnknownSwitchAloneDoesNothing) {
    RunMode run = Parse(L"Uninstall.exe /msi");
    EXPECT_FALSE(run.setup);
    EXPECT_FALSE(run.uninstall);
    EXPECT_TRUE(Options().msi);

    Options() = RunOptions{};
    run = Parse(L"Uninstall.exe /frobnicate");
    EXPECT_FALSE(run.setup);
    EXPECT_FALSE(run.uninstall);
    EXPECT_EQ(FinalExitCode(), kExitDone);

    run = Parse(L"Uninstall.exe -");
    EXPECT_FALSE(run.uninstall) << "a lone dash is a switch too";
}

TEST_F(Switches, InitKeepsAtMostThirtyNineCharacters) {
    Parse(L"Uninstall.exe /setup -init1110000000000000000000000000000000000000000000XYZ");
    EXPECT_EQ(std::wstring(Options().initString), L"111000000000000000000000000000000000000");
    EXPECT_EQ(wcslen(Options().initString), 39u);

    Parse(L"Uninstall.exe /setup \"-INIT 1 0\"");
    EXPECT_STREQ(Options().initString, L" 1 0");
    Parse(L"Uninstall.exe /setup -init");
    EXPECT_STREQ(Options().initString, L"");
}

TEST_F(Switches, UnregisterIsAJobOfItsOwnMatchedOnlyWholeAndMayNameTheInstallFolder) {
    RunMode run = Parse(L"Uninstall.exe /unregister -s");
    EXPECT_TRUE(Options().unregister && Options().silent);
    EXPECT_FALSE(run.setup || run.uninstall || Options().msi || Options().noExplorer);
    EXPECT_STREQ(Options().unregisterFolder, L"");

    Options() = RunOptions{};
    Parse(L"msi3c53.tmp \"/UNREGISTER=C:\\Program Files\\Tervix\\\" -s");
    EXPECT_TRUE(Options().unregister);
    EXPECT_STREQ(Options().unregisterFolder, L"C:\\Program Files\\Tervix\\");

    // Neither a shortened form, nor a switch that only begins alike, nor the installer's.
    ExpectLeftOff(&RunOptions::unregister,
                  {{L"Uninstall.exe /unreg", L""}, {L"Uninstall.exe /unregiste", L""}, {L"Uninstall.exe /currentuser", L""},
                   {L"Uninstall.exe", L"setup.exe /unregister"}});
}

TEST_F(Switches, CurrentUserIsMatchedOnlyWholeFromTheCommandLineAndAloneStartsNothing) {
    RunMode run = Parse(L"Uninstall.exe /setup /CurrentUser -s -initA1");
    EXPECT_TRUE(run.setup && Options().currentUser && Options().silent);
    EXPECT_STREQ(Options().initString, L"A1");

    Options() = RunOptions{};
    run = Parse(L"Uninstall.exe -currentuser");
    EXPECT_TRUE(Options().currentUser);
    EXPECT_FALSE(run.setup || run.uninstall || Options().silent || Options().msi || Options().unregister)
        << "counted like /msi, and no other switch";

    // Neither a shortened form, nor another switch, nor the installer's command line.
    ExpectLeftOff(&RunOptions::currentUser,
                  {{L"Uninstall.exe /current", L""}, {L"Uninstall.exe /currentuse", L""}, {L"Uninstall.exe /c", L""},
                   {L"Uninstall.exe /setup /unregister /noexplorer /msi", L""},
                   {L"Uninstall.exe /setup", L"setup.exe /CURRENTUSER"}});
}

TEST_F(Switches, PlainWordsAreIgnored) {
    RunMode run = Parse(L"Uninstall.exe setup msi C:\\-x");
    EXPECT_TRUE(run.uninstall);
    EXPECT_FALSE(Options().msi);
}

}  // namespace
}  // namespace tvx
