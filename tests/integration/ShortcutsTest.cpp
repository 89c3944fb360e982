// Shell links and special folders, in a temporary folder of the test's own.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

#include "TestSupport.h"
#include "integration/Shortcuts.h"

namespace {

using tvxtest::TempFolder;

class ShellLinkTest : public ::testing::Test {
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }

    struct Read {
        bool loaded = false;
        std::wstring target, workDir, description, icon, arguments;
        int iconIndex = -1;
        WORD hotkey = 0;
    };

    static Read ReadLink(const std::wstring& path) {
        Read result;
        IShellLinkW* link = nullptr;
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&link))))
            return result;
        IPersistFile* file = nullptr;
        link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        if (file && SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
            wchar_t text[1024];
            result.loaded = true;
            if (SUCCEEDED(link->GetPath(text, 1024, nullptr, SLGP_RAWPATH))) result.target = text;
            if (SUCCEEDED(link->GetWorkingDirectory(text, 1024))) result.workDir = text;
            if (SUCCEEDED(link->GetDescription(text, 1024))) result.description = text;
            if (SUCCEEDED(link->GetIconLocation(text, 1024, &result.iconIndex))) result.icon = text;
            if (SUCCEEDED(link->GetArguments(text, 1024))) result.arguments = text;
            link->GetHotkey(&result.hotkey);
        }
        if (file) file->Release();
        link->Release();
        return result;
    }

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

    const Read link = ReadLink(linkPath);
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
    {
        IShellLinkW* link = nullptr;
        IPersistFile* file = nullptr;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                               reinterpret_cast<void**>(&link))));
        link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        file->Load(linkPath.c_str(), STGM_READWRITE);
        link->SetHotkey(kHotkey);
        file->Save(linkPath.c_str(), TRUE);
        file->Release();
        link->Release();
    }
    ASSERT_EQ(ReadLink(linkPath).hotkey, kHotkey);

    ASSERT_TRUE(tvx::CreateShellLink(true, target.c_str(), linkPath.c_str(), nullptr, nullptr, nullptr, nullptr));

    const Read link = ReadLink(linkPath);
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
