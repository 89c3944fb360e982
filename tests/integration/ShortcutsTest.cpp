// Shell links and special folders, in a temporary folder of the test's own.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "ShortcutReader.h"
#include "TestSupport.h"
#include "integration/Shortcuts.h"

namespace {

using tvxtest::TempFolder;

class ShellLinkTest : public ::testing::Test {
protected:
    const tvx::ComSession com_;
    TempFolder folder_{L"tvxlinks"};
};

}  // namespace

TEST_F(ShellLinkTest, SavesEveryGivenProperty) {
    const std::wstring target = folder_ / L"Tervix.exe";
    const std::wstring icon = folder_ / L"theme.ico";
    const std::wstring linkPath = folder_ / L"Tervix.lnk";
    tvxtest::WriteFileBytes(target, "MZ");

    ASSERT_TRUE(tvx::CreateShellLink(true, target.c_str(), linkPath.c_str(), folder_.path().c_str(), L"Archiver",
                                     icon.c_str(), L"-x"));

    const tvxtest::Shortcut link = tvxtest::ReadShortcut(linkPath);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, target);
    EXPECT_EQ(link.workDir, folder_.path());
    EXPECT_EQ(link.description, L"Archiver");
    EXPECT_EQ(link.icon, icon);
    EXPECT_EQ(link.iconIndex, 0);
    EXPECT_EQ(link.arguments, L"-x");
}

TEST_F(ShellLinkTest, RefreshKeepsWhatItDoesNotSetAndClearsTheIcon) {
    const WORD kHotkey = MAKEWORD('T', HOTKEYF_CONTROL | HOTKEYF_ALT);
    const std::wstring target = folder_ / L"Tervix.exe";
    const std::wstring linkPath = folder_ / L"Tervix.lnk";
    ASSERT_TRUE(tvx::CreateShellLink(true, L"C:\\old\\Tervix.exe", linkPath.c_str(), L"C:\\old", L"Old",
                                     L"C:\\old\\icon.ico", L"-old"));
    ASSERT_TRUE(tvxtest::SetShortcutHotkey(linkPath, kHotkey));
    ASSERT_EQ(tvxtest::ReadShortcut(linkPath).hotkey, kHotkey);

    ASSERT_TRUE(tvx::CreateShellLink(true, target.c_str(), linkPath.c_str(), nullptr, nullptr, nullptr, nullptr));

    const tvxtest::Shortcut link = tvxtest::ReadShortcut(linkPath);
    EXPECT_EQ(link.target, target);
    EXPECT_EQ(link.icon, L"") << "without an icon the target's own one must show";
    EXPECT_EQ(link.hotkey, kHotkey);
    // What the call leaves out stays as the shortcut had it.
    EXPECT_EQ(link.description, L"Old");
    EXPECT_EQ(link.arguments, L"-old");
    EXPECT_EQ(link.workDir, L"C:\\old");
}

TEST_F(ShellLinkTest, MissingFolderFailsTheSave) {
    const std::wstring linkPath = folder_ / L"no such folder\\Tervix.lnk";
    EXPECT_FALSE(tvx::CreateShellLink(true, L"C:\\x.exe", linkPath.c_str(), nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(tvxtest::PathExists(linkPath));
}

TEST(SpecialFolder, NamesKnownFoldersAndMarksUnknownOnes) {
    wchar_t path[2048];
    ASSERT_TRUE(tvx::GetSpecialFolder(path, 2048, CSIDL_COMMON_PROGRAMS));
    EXPECT_TRUE(tvxtest::PathExists(path));

    // A buffer the folder query could overrun is never handed to it.
    wchar_t small[259];
    EXPECT_FALSE(tvx::GetSpecialFolder(small, 259, CSIDL_COMMON_PROGRAMS));
    EXPECT_EQ(std::wstring(small), L"unknown_folder");

    EXPECT_FALSE(tvx::GetSpecialFolder(path, 2048, 0x7F));
    EXPECT_EQ(std::wstring(path), L"unknown_folder");

    wchar_t tiny[8];
    EXPECT_FALSE(tvx::GetSpecialFolder(tiny, 8, CSIDL_COMMON_PROGRAMS));
    EXPECT_EQ(std::wstring(tiny), L"unknown");
}
