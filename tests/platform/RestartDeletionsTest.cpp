// Setup taking back the deletions an earlier uninstall left for the next restart: only
// those in its own install folder, and every other entry of the restart list kept.

#include "platform/RestartDeletions.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PendingRenames.h"
#include "TestSupport.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"

namespace {

TEST(RestartDeletions, SetupCancelsOnlyTheDeletionsInItsOwnFolderAndLogsThem) {
    tvxtest::TempFolder sandbox(L"tvxpending");
    tvxtest::PendingRenames pending(sandbox.path());
    const std::wstring install = sandbox / L"Tervix";
    const std::wstring entries[][2] = {
        {sandbox / L"before.txt", L""},
        {install + L"\\tvxext.dll", L""},                  // cancelled
        {sandbox / L"TERVIX\\sub\\history.dat", L""},      // cancelled: names are not case-sensitive
        {install + L"\\moved.txt", sandbox / L"moved.txt"},  // a rename, not a deletion
        {sandbox / L"Tervix2\\other.dll", L""},            // a neighbour's
        {install, L""},                                    // cancelled: the folder itself
        {sandbox / L"after.txt", L""},
    };
    for (const auto& [from, to] : entries)
        ASSERT_TRUE(MoveFileExW(from.c_str(), to.empty() ? nullptr : to.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT));
    const auto before = pending.Entries();
    ASSERT_EQ(before.size(), std::size(entries));
    tvxtest::TempFolder logs(L"tvxpendinglog");
    ASSERT_TRUE(tvx::OpenRunLog((logs / L"run.log").c_str()));

    EXPECT_TRUE(tvx::CancelRestartDeletionsIn((install + L"\\").c_str()));
    tvx::CloseRunLog();

    EXPECT_EQ(pending.Entries(), (decltype(before){before[0], before[3], before[4], before[6]}));
    std::wstring log;
    for (const std::wstring& line : tvxtest::ReadUtf8Lines(logs / L"run.log")) log += line;
    for (size_t i : {1, 2, 5})
        EXPECT_NE(log.find(L"cancelled the deletion at the next restart of " + entries[i][0] + L"\r"),
                  std::wstring::npos) << i;
    EXPECT_EQ(tvx::RunOutcome(), tvx::Outcome::Done);
}

}  // namespace
