// Only the system's own account counts as LocalSystem; Wine's test account is an ordinary
// one, which the seam can make look like it.
#include "platform/Account.h"

#include <gtest/gtest.h>

namespace tvx {
namespace {

TEST(Account, OnlyTheSystemsOwnAccountIsLocalSystem) {
    EXPECT_TRUE(IsLocalSystemSid(L"S-1-5-18"));
    // LocalService, NetworkService, the Administrators group, an administrator, look-alikes.
    for (const wchar_t* sid : {L"S-1-5-19", L"S-1-5-20", L"S-1-5-32-544", L"S-1-5-21-1004336348-1177238915-500",
                               L"S-1-5-180", L"S-1-5-18-1", L""})
        EXPECT_FALSE(IsLocalSystemSid(sid)) << sid;

    EXPECT_EQ(CurrentAccountSid().rfind(L"S-1-5-21-", 0), 0u);
    EXPECT_FALSE(RunsAsLocalSystem());
    TreatAsLocalSystem(true);
    EXPECT_TRUE(RunsAsLocalSystem());
    TreatAsLocalSystem(false);
    EXPECT_FALSE(RunsAsLocalSystem());
}

}  // namespace
}  // namespace tvx
