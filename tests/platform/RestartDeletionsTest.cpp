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

bool ScheduleAtRestart(const std::wstring& from, const std::wstring& to = L"") {
    return tvxtest::WriteFileBytes(from, "x") &&
           MoveFileExW(from.c_str(), to.empty() ? nullptr : to.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT);
}

TEST(RestartDeletions, SetupCancelsOnlyTheDeletionsInItsOwnFolderAndLogsThem) {
    tvxtest::TempFolder sandbox(L"tvxpending");
    tvxtest::PendingRenames pending(sandbox.path());
    const std::wstring install = sandbox / L"Tervix";
    for (const wchar_t* folder : {L"Tervix", L"Tervix\\sub", L"Tervix2"})
        ASSERT_TRUE(CreateDirectoryW((sandbox / folder).c_str(), nullptr));
    ASSERT_TRUE(ScheduleAtRestart(sandbox / L"before.txt"));
    ASSERT_TRUE(ScheduleAtRestart(install + L"\\tvxext.dll"));
    ASSERT_TRUE(ScheduleAtRestart(sandbox / L"TERVIX\\sub\\history.dat"));
    ASSERT_TRUE(ScheduleAtRestart(install + L"\\moved.txt", sandbox / L"moved.txt"));  // a rename, not a deletion
    ASSERT_TRUE(ScheduleAtRestart(sandbox / L"Tervix2\\other.dll"));                  // a neighbour's
    ASSERT_TRUE(MoveFileExW(install.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(ScheduleAtRestart(sandbox / L"after.txt"));
    const size_t entriesBefore = pending.Entries().size();
    ASSERT_EQ(pending.Deletions().size(), 6u);
    tvxtest::TempFolder logs(L"tvxpendinglog");
    ASSERT_TRUE(tvx::OpenRunLog((logs / L"run.log").c_str()));

    EXPECT_TRUE(tvx::CancelRestartDeletionsIn((install + L"\\").c_str()));
    tvx::CloseRunLog();

    const std::vector<std::wstring> left = {L"\\??\\" + (sandbox / L"before.txt"),
                                            L"\\??\\" + (sandbox / L"Tervix2\\other.dll"),
                                            L"\\??\\" + (sandbox / L"after.txt")};
    EXPECT_EQ(pending.Deletions(), left);
    EXPECT_EQ(pending.Entries().size(), entriesBefore - 3);
    EXPECT_EQ(pending.Entries()[1].first, L"\\??\\" + install + L"\\moved.txt");
    std::vector<std::wstring> cancelled;
    const std::wstring said = L"cancelled the deletion at the next restart of ";
    for (const std::wstring& line : tvxtest::ReadUtf8Lines(logs / L"run.log")) {
        const size_t at = line.find(said);
        if (at == std::wstring::npos) continue;
        const size_t from = at + said.size();
        cancelled.push_back(line.substr(from, line.find(L'\r') - from));
    }
    EXPECT_EQ(cancelled, (std::vector<std::wstring>{install + L"\\tvxext.dll", sandbox / L"TERVIX\\sub\\history.dat",
                                                    install}));
    EXPECT_EQ(tvx::RunOutcome(), tvx::Outcome::Done);
}

}  // namespace
