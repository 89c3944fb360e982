// The help file: what ShowHelp hands to HtmlHelpW and its one retry through the short
// path. A stand-in for HtmlHelpW records the calls.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HelpRecorder.h"
#include "SandboxCopy.h"
#include "TestSupport.h"
#include "integration/Completion.h"
#include "platform/WindowsVersion.h"

using namespace tvxtest;

namespace {

class HelpTest : public ::testing::Test {
protected:
    void SetUp() override { tvx::PrimeWindowsVersion(false, 0x0A00); }
    void TearDown() override { tvx::ResetWindowsVersionCaches(); }
    HelpRecorder help_;
};

TEST(HelpTarget, TopicNamesItsPageInsideTheHelpFile) {
    wchar_t target[tvx::kHelpTargetCapacity];
    UINT command = tvx::BuildHelpTarget(L"C:\\Program Files\\Tervix\\tervix.chm", L"HELPIntegrationSettings", target,
                                        tvx::kHelpTargetCapacity);
    EXPECT_EQ(command, 0u);  // HH_DISPLAY_TOPIC
    EXPECT_STREQ(target, L"C:\\Program Files\\Tervix\\tervix.chm::/html/HELPIntegrationSettings.htm");
}

TEST(HelpTarget, WithoutTopicTheFileOpensAtItsContents) {
    wchar_t target[tvx::kHelpTargetCapacity];
    UINT command = tvx::BuildHelpTarget(L"D:\\Tervix\\tervix.chm", nullptr, target, tvx::kHelpTargetCapacity);
    EXPECT_EQ(command, 1u);  // HH_DISPLAY_TOC
    EXPECT_STREQ(target, L"D:\\Tervix\\tervix.chm");
}

TEST(HelpTarget, LongTargetIsCutAt2097Characters) {
    std::wstring file = L"C:\\" + std::wstring(2030, L'x') + L"\\tervix.chm";
    wchar_t target[tvx::kHelpTargetCapacity + 8];
    wmemset(target, L'#', tvx::kHelpTargetCapacity + 8);
    tvx::BuildHelpTarget(file.c_str(), L"HELPContextItems", target, tvx::kHelpTargetCapacity);
    std::wstring expected = (file + L"::/html/HELPContextItems.htm").substr(0, 2097);
    EXPECT_EQ(std::wstring(target), expected);
    EXPECT_EQ(target[tvx::kHelpTargetCapacity], L'#') << "written past the buffer";
}

TEST_F(HelpTest, TopicOpensBesideTheProgramOwnedByTheDesktop) {
    tvx::ShowHelp(nullptr, L"HELPContextItems");
    tvx::ShowHelp(GetDesktopWindow(), nullptr);
    auto seen = help_.Calls();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].caller, GetDesktopWindow());
    EXPECT_EQ(seen[0].target, TopicTarget(L"HELPContextItems"));
    EXPECT_EQ(seen[0].command, 0u);
    EXPECT_EQ(seen[0].data, 0u);
    EXPECT_EQ(seen[1].target, HelpFile());
    EXPECT_EQ(seen[1].command, 1u);
}

TEST_F(HelpTest, FailureOnAPathTheAnsiCodePageHoldsIsNotRetried) {
    help_.Answer(nullptr);
    tvx::ShowHelp(nullptr, L"HELPContextItems");
    tvx::ShowHelp(nullptr, L"HELPContextItems");
    auto seen = help_.Calls();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].target, TopicTarget(L"HELPContextItems"));
}

// Runs only as the child of the next test, from a folder whose name the ANSI code page
// cannot hold; writes what ShowHelp asked for to the file named in TVX_HELP_RECORD.
TEST_F(HelpTest, ChildProcessForTheRetry) {
    wchar_t record[1024] = {};
    if (!GetEnvironmentVariableW(L"TVX_HELP_RECORD", record, 1024)) GTEST_SKIP() << "only run by RetriesOnce...";
    help_.Answer(nullptr);
    tvx::ShowHelp(nullptr, L"HELPContextItems");
    tvx::ShowHelp(nullptr, nullptr);
    std::string out;
    for (const HelpCall& call : help_.Calls()) {
        out += Narrow(std::to_wstring(call.command) + L"|" + call.target + L"\n");
    }
    ASSERT_TRUE(WriteFileBytes(record, out));
}

TEST_F(HelpTest, PathOutsideTheAnsiCodePageIsRetriedOnceThroughTheShortPath) {
    // Greek and Chinese: neither survives code page 1252.
    SandboxCopy copy(L"Hilfe \x03A9\x03BC\x03AD\x03B3\x03B1 \x5E2E\x52A9");
    const std::wstring folder = copy.path();
    const std::wstring record = copy.sandbox() / L"calls.txt";

    ASSERT_TRUE(copy.RunTest("HelpTest.ChildProcessForTheRetry", L"TVX_HELP_RECORD=" + record, 60000));

    wchar_t shortFolder[MAX_PATH * 4] = {};
    ASSERT_NE(GetShortPathNameW(folder.c_str(), shortFolder, MAX_PATH * 4), 0u);
    std::wstring longFile = folder + L"\\tervix.chm";
    std::wstring shortFile = std::wstring(shortFolder) + L"\\tervix.chm";
    ASSERT_NE(shortFile, longFile);
    for (wchar_t c : shortFile) ASSERT_LT(c, 0x80) << "the short form is not plain ASCII";

    // The first failure is retried through the short path; the second call of the run
    // goes to the short path at once and is not retried again.
    std::vector<std::wstring> lines = ReadUtf8Lines(record);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"0|" + longFile + L"::/html/HELPContextItems.htm");
    EXPECT_EQ(lines[1], L"0|" + shortFile + L"::/html/HELPContextItems.htm");
    EXPECT_EQ(lines[2], L"1|" + shortFile);
}

}  // namespace
