// The display name of the Add/Remove Programs entry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "integration/UninstallEntry.h"
#include "resources/ResourceIds.h"

using tvxtest::StringTableText;

TEST(ComposeDisplayName, AppendsVersionBetaNumberAndPlatform) {
    wchar_t name[2048] = L"Tervix";
    tvx::ComposeDisplayName(name, 2048);
    EXPECT_EQ(std::wstring(name),
              L"Tervix 6.24 " + StringTableText(IDS_BETA) + L" 1 (" + StringTableText(IDS_64BIT) + L")");
}

TEST(ComposeDisplayName, EmptyNameGetsNoLeadingBlank) {
    wchar_t name[100] = L"";
    tvx::ComposeDisplayName(name, 100);
    EXPECT_EQ(std::wstring(name), L"6.24 " + StringTableText(IDS_BETA) + L" 1 (" + StringTableText(IDS_64BIT) + L")");
}

TEST(ComposeDisplayName, StopsAtTheBufferCapacity) {
    wchar_t name[16];
    wmemset(name, L'#', 16);
    wcscpy(name, L"Tervix");
    tvx::ComposeDisplayName(name, 14);
    EXPECT_EQ(std::wstring(name), L"Tervix 6.24 " + StringTableText(IDS_BETA).substr(0, 1));
    EXPECT_EQ(name[14], L'#') << "written past the capacity";
}
