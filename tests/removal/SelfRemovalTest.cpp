// The end of the uninstall in-process: the private folder the batch goes into, the
// install folder removed before the program exits, and a batch that nobody else's file
// can stand in for.

#include "removal/SelfRemoval.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "PendingRenames.h"
#include "TestSupport.h"
#include "platform/Account.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "removal/RemovalBatch.h"
#include "startup/RunOptions.h"

namespace {

using tvxtest::PathExists;
using tvxtest::TempPath;
using tvxtest::WaitUntilGone;

// Wine keeps only part of a folder's access list, so what is checked is the descriptor
// the program asks for.
TEST(PrivateFolder, OnlyTheAccountSystemAndAdministratorsGetInAndNothingIsInherited) {
    EXPECT_EQ(tvx::PrivateFolderSecurity(L"S-1-5-21-1-2-3-1001"),
              L"D:P(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    const std::wstring account = tvx::CurrentAccountSid();
    EXPECT_EQ(account.rfind(L"S-1-5-", 0), 0u) << tvxtest::Narrow(account);
    tvx::UniqueLocalMem descriptor;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(tvx::PrivateFolderSecurity(account).c_str(),
                                                                     SDDL_REVISION_1, descriptor.put(), nullptr));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    EXPECT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision) && (control & SE_DACL_PROTECTED));
}

TEST(PrivateFolder, WhatStandsAtTheNameIsRefusedAndEachFolderIsNew) {
    tvxtest::TempFolder sandbox(L"tvxprivate");
    ASSERT_TRUE(CreateDirectoryW((sandbox / L"folder").c_str(), nullptr));
    ASSERT_TRUE(tvxtest::WriteFileBytes(sandbox / L"file", "someone else's"));
    EXPECT_FALSE(tvx::CreatePrivateFolderAt(sandbox / L"folder"));
    EXPECT_FALSE(tvx::CreatePrivateFolderAt(sandbox / L"file"));
    EXPECT_EQ(tvxtest::ReadFileBytes(sandbox / L"file"), "someone else's");

    const std::wstring first = tvx::CreatePrivateFolder(sandbox.path() + L"\\");
    EXPECT_NE(first, tvx::CreatePrivateFolder(sandbox.path() + L"\\"));
    EXPECT_EQ(first.substr(sandbox.path().size() + 1, 13), L"TvxUninstall-");
    EXPECT_EQ(first.size(), sandbox.path().size() + 1 + 13 + 32);
    EXPECT_TRUE(PathExists(first));
}

// Where earlier versions wrote their batch, someone else's file waits to be rewritten
// once the uninstall has written it. The uninstall never opens it and never runs it.
TEST(RemovalBatch, BatchStandingAtTheOldFixedNameIsNeitherOpenedNorUsed) {
    tvxtest::TempFolder sandbox(L"tvxhijack");
    const std::wstring oldBatch = TempPath() + L"Uninstall_Tvx.Bat";
    const std::wstring marker = sandbox / L"ran.txt";
    const std::string trap = "echo hijacked > \"" + tvxtest::Narrow(marker) + "\"\r\n";
    // The trap goes again however the test ends: the temporary folder is every test's.
    const tvx::ScopeGuard removeTrap([&] { DeleteFileW(oldBatch.c_str()); });
    ASSERT_TRUE(tvxtest::WriteFileBytes(oldBatch, trap));
    // Held without sharing: any attempt to open it would fail, and the run with it.
    tvx::UniqueFileHandle held(
        CreateFileW(oldBatch.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    tvx::SelfRemoval removal;
    removal.batchFolder = tvx::CreatePrivateFolder(TempPath());
    const tvx::ScopeGuard removeBatchFolder([&] { tvxtest::RemoveTree(removal.batchFolder); });
    ASSERT_FALSE(removal.batchFolder.empty());
    removal.program = removal.batchFolder + L"\\Uninstall.exe";
    removal.programMoved = true;
    ASSERT_TRUE(tvxtest::WriteFileBytes(removal.program, "MZ"));
    tvx::WriteRemovalBatch(removal, (sandbox / L"Tervix").c_str());

    // The batch ran: the program file went, then the batch with its folder.
    EXPECT_TRUE(WaitUntilGone(removal.batchFolder, 30000));
    EXPECT_EQ(tvx::RunOutcome(), tvx::Outcome::Done);
    held.reset();
    EXPECT_EQ(tvxtest::ReadFileBytes(oldBatch), trap);
    EXPECT_FALSE(PathExists(marker));
}

// Without a batch the moved program file stays behind: the run says so and fails.
TEST(RemovalBatch, NoBatchIsAFailureThatIsLoggedAndTold) {
    tvxtest::TempFolder logs(L"tvxnobatch");
    ASSERT_TRUE(tvx::OpenRunLog((logs / L"run.log").c_str()));
    tvx::Options().silent = true;  // the notice goes to the log
    tvx::SelfRemoval removal;
    removal.batchFolder = logs / L"gone";  // a private folder that could not be made
    removal.program = removal.batchFolder + L"\\Uninstall.exe";
    removal.programMoved = true;
    tvx::WriteRemovalBatch(removal, (logs / L"Tervix").c_str());
    tvx::CloseRunLog();

    EXPECT_EQ(tvx::RunOutcome(), tvx::Outcome::Failed);
    std::wstring log;
    for (const std::wstring& line : tvxtest::ReadUtf8Lines(logs / L"run.log")) log += line;
    EXPECT_NE(log.find(L"left what no self-removal batch deletes of " + removal.program), std::wstring::npos);
    EXPECT_NE(log.find(L"message (not shown, silent run): "), std::wstring::npos);
}

// What counts as done: an emptied folder goes at once, even while a file just deleted
// is still open elsewhere for a moment; one kept by the user's own files stays without
// a failure; one kept by files deferred to the restart follows them then.
TEST(InstallFolderRemoval, ProgramLeavesAndTheFolderGoesStaysOrFollowsAtTheRestart) {
    struct Row {
        const wchar_t* leftFile;  // nullptr: nothing but the program file
        bool lingers;             // deleted, but held open for a moment by someone else
        bool filesDeferred;       // what is left waits for the restart
    } const rows[] = {
        {nullptr, false, false},
        {L"scanned.dll", true, false},
        {L"my notes.txt", false, false},
        {L"tvxext.dll.0.tmp", false, true},
    };
    for (const Row& row : rows) {
        tvxtest::TempFolder sandbox(L"tvxself");
        tvxtest::PendingRenames pending(sandbox.path());
        const std::wstring install = sandbox / L"Tervix";
        ASSERT_TRUE(CreateDirectoryW(install.c_str(), nullptr));
        const std::wstring program = install + L"\\Uninstall.exe";
        ASSERT_TRUE(tvxtest::WriteFileBytes(program, "MZ"));
        const std::wstring left = row.leftFile ? install + L"\\" + row.leftFile : L"";
        if (row.leftFile) {
            ASSERT_TRUE(tvxtest::WriteFileBytes(left, "left"));
        }
        if (row.lingers) {
            const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
            tvx::UniqueFileHandle scanner(
                CreateFileW(left.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(scanner);
            ASSERT_TRUE(DeleteFileW(left.c_str()));
            ASSERT_FALSE(RemoveDirectoryW(install.c_str())) << "the deleted file does not linger";
            // Let go after a while, as a scanner does.
            auto letGo = [](void* handle) -> DWORD {
                Sleep(400);
                tvx::UniqueFileHandle owned(handle);
                return 0;
            };
            const tvx::UniqueHandle thread(CreateThread(nullptr, 0, letGo, scanner.get(), 0, nullptr));
            if (thread) scanner.release();
        }

        const tvx::SelfRemoval removal = tvx::RemoveInstallFolder(program.c_str(), install.c_str(), row.filesDeferred);

        EXPECT_TRUE(removal.programMoved && PathExists(removal.batchFolder + L"\\Uninstall.exe"));
        EXPECT_FALSE(PathExists(program));
        EXPECT_EQ(PathExists(install), row.leftFile && !row.lingers);
        EXPECT_EQ(removal.folderAtRestart, row.filesDeferred);
        EXPECT_EQ(pending.CountDeletionsOf(install), row.filesDeferred ? 1u : 0u);
        EXPECT_EQ(tvx::RunOutcome(), tvx::Outcome::Done);
        tvxtest::RemoveTree(removal.batchFolder);
    }
}

}  // namespace
