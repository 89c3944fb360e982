#include "startup/Startup.h"

#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "SandboxCopy.h"
#include "TestSupport.h"
#include "platform/DiskFile.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "startup/SingleRun.h"

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
        current_.emplace(sandbox_ / L"current");
        ASSERT_TRUE(current_->ok());

        productKeyExisted_ = tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix");
        hadAppData_ = tvxtest::RegReadString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"AppData", &oldAppData_);
        ASSERT_TRUE(
            tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"AppData", sandbox_ / L"user"));
        SetEnvironmentVariableW(L"sfxname", (sandbox_ / L"installer\\tervix-setup.exe").c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"sfxname", nullptr);
        current_.reset();
        if (hadAppData_) {
            tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"AppData", oldAppData_);
        } else if (!productKeyExisted_) {
            tvxtest::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix");
        } else {
            tvxtest::RegDeleteValue(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"AppData");
        }
    }
    static std::wstring Installed() { return tvxtest::ProgramFolderOfTest() + L"\\tervix.ini"; }

    tvxtest::TempFolder sandbox_{L"tvxinstaller"};
    std::optional<tvxtest::CurrentFolder> current_;
    bool productKeyExisted_ = false;
    bool hadAppData_ = false;
    std::wstring oldAppData_;
};

TEST_F(InstallerSettings, SettingsBesideTheInstallerAreCopiedIntoTheInstallFolder) {
    if (tvxtest::RanInSandboxCopy()) return;
    ASSERT_TRUE(WriteFileBytes(sandbox_ / L"installer\\tervix.ini", "HKCU\\Setup\\ShellExt=0\r\n"));
    CopyFromInstallerFolder();
    EXPECT_EQ(ReadFileBytes(Installed()), "HKCU\\Setup\\ShellExt=0\r\n");
    EXPECT_FALSE(PathExists(sandbox_ / L"current\\tervix.ini")) << "not into the current folder";
}

TEST_F(InstallerSettings, UsersOwnSettingsAreLeftAlone) {
    if (tvxtest::RanInSandboxCopy()) return;
    ASSERT_TRUE(WriteFileBytes(sandbox_ / L"installer\\tervix.ini", "from the installer"));
    ASSERT_TRUE(WriteFileBytes(sandbox_ / L"user\\tervix.ini", "the user's"));
    CopyFromInstallerFolder();
    EXPECT_FALSE(PathExists(Installed()));
    EXPECT_EQ(ReadFileBytes(sandbox_ / L"user\\tervix.ini"), "the user's");
}

TEST_F(InstallerSettings, AnExistingFileInTheInstallFolderIsNotReplaced) {
    if (tvxtest::RanInSandboxCopy()) return;
    ASSERT_TRUE(WriteFileBytes(sandbox_ / L"installer\\tervix.ini", "from the installer"));
    ASSERT_TRUE(WriteFileBytes(Installed(), "already there"));
    CopyFromInstallerFolder();
    EXPECT_EQ(ReadFileBytes(Installed()), "already there");
}

TEST_F(InstallerSettings, NothingHappensWithoutInstallerOrItsSettings) {
    if (tvxtest::RanInSandboxCopy()) return;
    CopyFromInstallerFolder();
    EXPECT_FALSE(PathExists(Installed())) << "the installer's folder holds no tervix.ini";

    ASSERT_TRUE(WriteFileBytes(sandbox_ / L"installer\\tervix.ini", "from the installer"));
    SetEnvironmentVariableW(L"sfxname", L"");
    CopyFromInstallerFolder();
    SetEnvironmentVariableW(L"sfxname", nullptr);
    CopyFromInstallerFolder();
    EXPECT_FALSE(PathExists(Installed())) << "no installer path, nothing to copy from";
}

// One outcome per run, whoever reports it: what the administrator must do (run with
// rights) tells most, a plain failure next, and either outranks a cancel that came
// after it; another run in progress means nothing was done at all.
TEST(RunOutcome, ReportsRankedIntoOneExitCode) {
    struct Case {
        std::vector<Outcome> reported;
        int32_t exitCode;
    };
    const Case cases[] = {
        {{}, kExitDone},
        {{Outcome::Done}, kExitDone},
        {{Outcome::Cancelled}, kExitCancelled},
        {{Outcome::Failed, Outcome::Cancelled}, kExitFailed},
        {{Outcome::Refused, Outcome::Failed}, kExitRefused},
        {{Outcome::Failed, Outcome::Refused, Outcome::Done}, kExitRefused},
        {{Outcome::Busy, Outcome::Refused}, kExitBusy},
    };
    for (const Case& c : cases) {
        ResetRunOutcome();
        for (Outcome outcome : c.reported) ReportOutcome(outcome);
        EXPECT_EQ(FinalExitCode(), c.exitCode) << c.reported.size() << " reports";
    }

    // The file layer and the run log report to the same place; what a step may leave
    // undone is only logged.
    ResetRunOutcome();
    Errors().Report(FileError::Read);
    EXPECT_EQ(FinalExitCode(), kExitFailed);
    ResetRunOutcome();
    LogFailure(L"write something", ERROR_ACCESS_DENIED);
    EXPECT_EQ(FinalExitCode(), kExitRefused);
    ResetRunOutcome();
    LogNotDone(L"delete something protected", ERROR_ACCESS_DENIED);
    EXPECT_EQ(FinalExitCode(), kExitDone);
    ResetRunOutcome();
    Errors() = ErrorState();
}

// An error that nothing handled (an array over its limit, memory exhaustion) ends the
// run with its own code, after the log has said so, instead of aborting the process.
TEST(RunOutcome, AnUnhandledErrorEndsTheRunWithItsOwnCode) {
    tvxtest::TempFolder folder;
    const std::wstring log = folder / L"run.log";
    ASSERT_TRUE(OpenRunLog(log.c_str()));
    ResetRunOutcome();
    bool after = false;
    RunCatchingExit([&] {
        ReportOutcome(Outcome::Refused);
        GrowableArray<int> limited(2);
        limited.Add(3);
        after = true;
    });
    RunCatchingExit([] { throw std::bad_alloc(); });
    RunCatchingExit([] { Errors().Stop(FileError::Open); });
    CloseRunLog();
    EXPECT_FALSE(after);
    EXPECT_EQ(FinalExitCode(), kExitMemory) << "the first error that ended the run decides";
    const std::vector<std::wstring> lines = tvxtest::ReadUtf8Lines(log);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find(L"stopped by error 8"), std::wstring::npos);
    EXPECT_NE(lines[1].find(L"stopped: out of memory"), std::wstring::npos);
    EXPECT_NE(lines[2].find(L"stopped by error 1603"), std::wstring::npos) << "an open that must not fail, failed";
    ResetRunOutcome();
    Errors() = ErrorState();
}

// One run at a time, also for an account that may not create machine-wide names: its
// claim falls back to the session's own name, which every other run sees as well. The
// batch's own jobs are never held back.
TEST(SingleRun, ClaimFallsBackToTheSessionWhereMachineWideNamesAreRefused) {
    // A copy without a list: a run that is not held back fails to read it and changes nothing.
    tvxtest::TempFolder folder(L"tvxsingle");
    const std::wstring program = L"\"" + (folder / L"Uninstall.exe") + L"\"";
    ASSERT_TRUE(CopyFileW(tvxtest::UninstallExe().c_str(), (folder / L"Uninstall.exe").c_str(), FALSE));

    RefuseGlobalNames(true);
    EXPECT_TRUE(ClaimSingleRun());
    RefuseGlobalNames(false);
    EXPECT_EQ(tvxtest::RunAndWait(program + L" -s", 60000, folder.path()), kExitBusy);
    EXPECT_EQ(tvxtest::RunAndWait(program + L" /wait", 60000, folder.path()), kExitDone);
    ReleaseSingleRun();
    EXPECT_EQ(tvxtest::RunAndWait(program + L" -s", 60000, folder.path()), kExitFailed);
}

}  // namespace
}  // namespace tvx
