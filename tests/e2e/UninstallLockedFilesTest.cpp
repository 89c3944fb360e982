// Files in use at uninstall time, locked the way Windows locks them: a library that
// another program has loaded, and a file that another program holds without sharing.
// Both go at the next restart, and the user is told once.

#include "FileLocker.h"
#include "PendingRenames.h"
#include "UninstallScenarioSupport.h"
#include "resources/ResourceIds.h"

namespace uninstalltest {
namespace {

TEST(UninstallLockedFiles, LockedFilesGoAtRestartAfterOneNotice) {
    SampleInstall install(L"C:\\Program Files\\Tervix");
    ASSERT_TRUE(CopyFileW((BuildDir() + L"\\tools\\FileLocker.exe").c_str(), install.Path(L"tvxext.dll").c_str(), FALSE));
    ASSERT_TRUE(install.MakeFile(L"Tervix.exe"));
    ASSERT_TRUE(install.MakeFile(L"history.dat"));
    ASSERT_TRUE(install.MakeFile(L"plain.txt"));
    ASSERT_TRUE(install.WriteList("tvxext.dll\nTervix.exe\nhistory.dat\nplain.txt\nUninstall.exe\n"));
    PendingRenames pending;

    FileLocker shell, mainProgram;
    ASSERT_TRUE(shell.Hold(FileLocker::Mode::LoadAsLibrary, install.Path(L"tvxext.dll")));
    ASSERT_TRUE(mainProgram.Hold(FileLocker::Mode::OpenWithoutSharing, install.Path(L"history.dat")));

    Process uninstall;
    ASSERT_TRUE(install.Start(&uninstall));
    HWND question = WaitForSecondDialog(uninstall.id(), 20000);
    ASSERT_NE(question, nullptr);
    ASSERT_TRUE(PressButton(question, IDYES));

    HWND notice = WaitForSecondDialog(uninstall.id(), 60000, question);
    ASSERT_NE(notice, nullptr);
    ASSERT_FALSE(ProgramText(IDS_REBOOTREQUIRED).empty());
    EXPECT_EQ(MessageBoxText(notice), ProgramText(IDS_REBOOTREQUIRED));
    EXPECT_EQ(WindowText(notice), ProgramText(IDS_UNINSTALLTVX));
    ASSERT_TRUE(PressButton(notice, IDOK));
    // The question may linger a moment; any other box is a second notice.
    const QuietEnd end = WaitForQuietEnd(uninstall, 30000, [&] {
        std::vector<HWND> others = BoxesOtherThan(uninstall.id(), notice);
        std::erase(others, question);
        return others;
    });
    ASSERT_EQ(end.shown, nullptr) << "a second notice: " << Narrow(MessageBoxText(end.shown));
    EXPECT_EQ(end.exitCode, 0u);

    // The loaded library could only be renamed; the held file not even that.
    EXPECT_FALSE(PathExists(install.Path(L"tvxext.dll")));
    EXPECT_TRUE(PathExists(install.Path(L"tvxext.dll.0.tmp")));
    EXPECT_TRUE(PathExists(install.Path(L"history.dat")));
    EXPECT_FALSE(PathExists(install.Path(L"Tervix.exe")));
    EXPECT_FALSE(PathExists(install.Path(L"plain.txt")));
    EXPECT_EQ(pending.CountDeletionsOf(install.Path(L"tvxext.dll.0.tmp")), 1u);
    EXPECT_GE(pending.CountDeletionsOf(install.Path(L"history.dat")), 1u);
    // An install folder named "Tervix" follows its files at the restart.
    EXPECT_EQ(pending.CountDeletionsOf(install.Folder()), 1u);
    // The batch removes the program file; the folder stays until the restart.
    EXPECT_TRUE(WaitUntilGone(install.Program(), 20000));
    EXPECT_TRUE(WaitUntilGone(BatchPath(), 20000));
    EXPECT_TRUE(PathExists(install.Folder()));

    // A restart cannot delete what is still open.
    shell.Release();
    mainProgram.Release();
    ASSERT_EQ(RunAndWait(L"wineboot.exe -r", 120000), 0);
    EXPECT_FALSE(PathExists(install.Path(L"tvxext.dll.0.tmp")));
    EXPECT_FALSE(PathExists(install.Path(L"history.dat")));
    EXPECT_FALSE(PathExists(install.Folder()));
}

TEST(UninstallLockedFiles, SilentRunDefersWithoutNoticeAndKeepsTheFolderOutOfTheRestartList) {
    SampleInstall install(L"C:\\Program Files\\Tervix");
    ASSERT_TRUE(install.MakeFile(L"history.dat"));
    ASSERT_TRUE(install.MakeFile(L"Tervix.exe"));
    ASSERT_TRUE(install.WriteList("history.dat\nTervix.exe\n"));
    PendingRenames pending;
    FileLocker mainProgram;
    ASSERT_TRUE(mainProgram.Hold(FileLocker::Mode::OpenWithoutSharing, install.Path(L"history.dat")));
    // The shell's tree delete of the WebView2 data meets a held file too; nothing may
    // bring up a box in a silent run.
    const std::wstring webView = TempPath() + L"Tervix.exe.WebView2";
    ASSERT_TRUE(CreateDirectoryW(webView.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(webView + L"\\lock", "held"));
    FileLocker browser;
    ASSERT_TRUE(browser.Hold(FileLocker::Mode::OpenWithoutSharing, webView + L"\\lock"));

    Process uninstall;
    ASSERT_TRUE(install.Start(&uninstall, L"-s"));
    const QuietEnd end = WaitForQuietEnd(uninstall, 60000, MessageBoxes);
    ASSERT_EQ(end.shown, nullptr) << Narrow(MessageBoxText(end.shown));
    EXPECT_EQ(end.exitCode, 0u);

    EXPECT_FALSE(PathExists(install.Path(L"Tervix.exe")));
    EXPECT_GE(pending.CountDeletionsOf(install.Path(L"history.dat")), 1u);
    EXPECT_EQ(pending.CountDeletionsOf(install.Folder()), 0u);
    EXPECT_TRUE(WaitUntilGone(install.Program(), 20000));
    EXPECT_TRUE(MessageBoxes().empty());
    browser.Release();
    RemoveTree(webView);
}

// A program that is still closing holds its file after the batch's two-second wait:
// the five attempts, a second apart, outlast a hold of three and a half seconds.
TEST(UninstallLockedFiles, ProgramHeldPastTheWaitGoesAtALaterAttempt) {
    SampleInstall install(L"C:\\Program Files\\Tervix");
    ASSERT_TRUE(install.WriteList("Uninstall.exe\n"));
    FileLocker closing;
    ASSERT_TRUE(closing.Hold(FileLocker::Mode::LoadAsLibrary, install.Program()));

    Process uninstall;
    ASSERT_TRUE(install.Start(&uninstall, L"-s"));
    DWORD exitCode = 1;
    ASSERT_TRUE(uninstall.Wait(60000, &exitCode));
    const ULONGLONG ended = GetTickCount64();
    EXPECT_EQ(exitCode, 0u);
    Sleep(3500);
    ASSERT_TRUE(PathExists(install.Program())) << "the hold did not keep the file";
    closing.Release();
    EXPECT_TRUE(WaitUntilGone(install.Folder(), 30000)) << "no attempt came after the hold, "
                                                        << GetTickCount64() - ended << " ms after the end";
    EXPECT_TRUE(WaitUntilGone(BatchPath(), 20000));
}

}  // namespace
}  // namespace uninstalltest
