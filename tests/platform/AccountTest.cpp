// Which account the program runs as: only the system's own counts as LocalSystem, and
// the test account of Wine is an ordinary one.
#include "platform/Account.h"

#include <gtest/gtest.h>

#include <string>

namespace tvx {
namespace {

TEST(Account, OnlyTheSystemsOwnAccountIsLocalSystem) {
    struct Row {
        const wchar_t* sid;
        bool localSystem;
    };
    const Row rows[] = {
        {L"S-1-5-18", true},
        {L"S-1-5-19", false},  // LocalService
        {L"S-1-5-20", false},  // NetworkService
        {L"S-1-5-32-544", false},  // Administrators, a group
        {L"S-1-5-21-1004336348-1177238915-682003330-500", false},
        {L"S-1-5-180", false},
        {L"S-1-5-18-1", false},
        {L"", false},
    };
    for (const Row& row : rows) EXPECT_EQ(IsLocalSystemSid(row.sid), row.localSystem) << row.sid;
}

TEST(Account, TheTestAccountIsNoLocalSystemUnlessTreatedAsOne) {
    EXPECT_EQ(CurrentAccountSid().rfind(L"S-1-5-21-", 0), 0u);
    EXPECT_FALSE(RunsAsLocalSystem());
    TreatAsLocalSystem(true);
    EXPECT_TRUE(RunsAsLocalSystem());
    TreatAsLocalSystem(false);
    EXPECT_FALSE(RunsAsLocalSystem());
}

}  // namespace
}  // namespace tvx
