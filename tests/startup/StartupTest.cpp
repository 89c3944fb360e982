#include "startup/Startup.h"

#include <gtest/gtest.h>

#include <string>

#include "../e2e/ShellSandbox.h"
#include "TestSupport.h"

namespace tvx {
namespace {

using tvxtest::PathExists;
using tvxtest::ReadFileBytes;
using tvxtest::WriteFileBytes;

// After setup, a "tervix.ini" shipped beside the installer is copied into the install
// folder (the program's own), unless the user already has settings of their own. Each
// case runs in a copy of this test program in a sandbox folder, which stands for the
// install folder. The sandbox holds a current folder elsewhere (as System32 is after an
// elevation prompt), the installer's folder and the user's data folder (pointed to by
// "Paths"\"AppData").
class InstallerSettings : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"current", L"installer", L"user"})
            ASSERT_TRUE(CreateDirectoryW((sandbox_ / name).c_str(), nullptr));
        wchar_t previous[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, previous);
        previousFolder_ = previous;
        ASSERT_TRUE(SetCurrentDirectoryW((sandbox_ / L"current").c_str()));

        productKeyExisted_ = tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix");
        hadAppData_ = tvxtest::RegReadString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"AppData", &oldAppData_);
        ASSERT_TRUE(
            tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"AppData", sandbox_ / L"user"));
        SetEnvironmentVariableW(L"sfxname", (sandbox_ / L"installer\\tervix-setup.exe").c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"sfxname", nullptr);
        SetCurrentDirectoryW(previousFolder_.c_str());
        if (hadAppData_) {
            tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"AppData", oldAppData_);
        } else if (!productKeyExisted_) {
            tvxtest::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix");
        } else {
            HKEY key;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
                RegDeleteValueW(key, L"AppData");
                RegCloseKey(key);
            }
        }
    }
    static std::wstring Installed() { return tvxtest::ProgramFolderOfTest() + L"\\tervix.ini"; }
    // True in the outer run, which has run the case in the copy.
    static bool RanInCopy() {
        if (tvxtest::RunningInSandboxCopy()) return false;
        tvxtest::SandboxCopy copy;
        EXPECT_TRUE(copy.RunCurrentTest());
        return true;
    }

    tvxtest::TempFolder sandbox_{L"tvxinstaller"};
    std::wstring previousFolder_;
    bool productKeyExisted_ = false;
    bool hadAppData_ = false;
    std::wstring oldAppData_;
};

TEST_F(InstallerSettings, SettingsBesideTheInstallerAreCopiedIntoTheInstallFolder) {
    if (RanInCopy()) return;
    ASSERT_TRUE(WriteFileBytes(sandbox_ / L"installer\\tervix.ini", "HKCU\\Setup\\ShellExt=0\r\n"));
    CopyFromInstallerFolder();
    EXPECT_EQ(ReadFileBytes(Installed()), "HKCU\\Setup\\ShellExt=0\r\n");
    EXPECT_FALSE(PathExists(sandbox_ / L"current\\tervix.ini")) << "not into the current folder";
}

TEST_F(InstallerSettings, UsersOwnSettingsAreLeftAlone) {
    if (RanInCopy()) return;
    ASSERT_TRUE(WriteFileBytes(sandbox_ / L"installer\\tervix.ini", "from the installer"));
    ASSERT_TRUE(WriteFileBytes(sandbox_ / L"user\\tervix.ini", "the user's"));
    CopyFromInstallerFolder();
    EXPECT_FALSE(PathExists(Installed()));
    EXPECT_EQ(ReadFileBytes(sandbox_ / L"user\\tervix.ini"), "the user's");
}

TEST_F(InstallerSettings, AnExistingFileInTheInstallFolderIsNotReplaced) {
    if (RanInCopy()) return;
    ASSERT_TRUE(WriteFileBytes(sandbox_ / L"installer\\tervix.ini", "from the installer"));
    ASSERT_TRUE(WriteFileBytes(Installed(), "already there"));
    CopyFromInstallerFolder();
    EXPECT_EQ(ReadFileBytes(Installed()), "already there");
}

TEST_F(InstallerSettings, NothingHappensWithoutInstallerOrItsSettings) {
    if (RanInCopy()) return;
    CopyFromInstallerFolder();
    EXPECT_FALSE(PathExists(Installed())) << "the installer's folder holds no tervix.ini";

    ASSERT_TRUE(WriteFileBytes(sandbox_ / L"installer\\tervix.ini", "from the installer"));
    SetEnvironmentVariableW(L"sfxname", L"");
    CopyFromInstallerFolder();
    SetEnvironmentVariableW(L"sfxname", nullptr);
    CopyFromInstallerFolder();
    EXPECT_FALSE(PathExists(Installed())) << "no installer path, nothing to copy from";
}

}  // namespace
}  // namespace tvx
