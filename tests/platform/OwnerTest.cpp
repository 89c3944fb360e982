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
    UniqueHkey again(released);
    EXPECT_TRUE(again);
}

// The paired calls that no handle stands for: the second half runs however the scope
// ends, once, and only where the first half was done.
TEST(Owner, GivesBackScopesDeviceContextsAndComSessions) {
    int undone = 0;
    {
        ScopeGuard undo([&] { ++undone; });
        ScopeGuard kept([&] { undone += 10; });
        kept.Dismiss();
    }
    EXPECT_EQ(undone, 1);

    {
        const WindowDc screen(nullptr);
        ASSERT_TRUE(screen);
        EXPECT_GT(GetDeviceCaps(screen.get(), LOGPIXELSY), 0);
    }

    {
        const ComSession ole(ComSession::kOle);
        ASSERT_TRUE(ole.ok());
        // Taken once more on the same thread: given back once more, as COM counts.
        const ComSession com;
        EXPECT_TRUE(com.ok());
    }
    // Everything given back: the thread may take another apartment kind again.
    const HRESULT multithreaded = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(multithreaded, S_OK) << std::hex << multithreaded;
    if (SUCCEEDED(multithreaded)) CoUninitialize();
}

}  // namespace
}  // namespace tvx
