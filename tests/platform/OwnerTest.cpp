#include "platform/Owner.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace tvx {
namespace {

TEST(Owner, ClosesRegistryKeyAndEventOnScopeExitAndMove) {
    HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        UniqueHandle event(raw);
        UniqueHandle moved(std::move(event));
        EXPECT_FALSE(event);
        EXPECT_TRUE(moved);
        DWORD flags = 0;
        EXPECT_TRUE(GetHandleInformation(moved.get(), &flags));
    }
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(raw, &flags)) << "the owner must have closed the handle";

    UniqueHkey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
    HKEY released = key.release();
    EXPECT_FALSE(key);
    RegCloseKey(released);
}

}  // namespace
}  // namespace tvx
