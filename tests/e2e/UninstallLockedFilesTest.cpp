// Files in use at uninstall time, locked the way Windows locks them: a library that
// another program has loaded, and a file that another program holds without sharing.
// Both go at the next restart with their folders, and the user is told once; a new
// install laid down before that restart keeps its files.

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
    ASSERT_TRUE(install.MakeFolder(L"Data"));
    ASSERT_TRUE(install.MakeFile(L"Data\\history.dat"));
    ASSERT_TRUE(install.MakeFile(L"plain.txt"));
    ASSERT_TRUE(install.WriteList("tvxext.dll\nTervix.exe\nData\nData\\history.dat\nplain.txt\nUninstall.exe\n"));
    PendingRenames pending;

    FileLocker shell, mainProgram;
    ASSERT_TRUE(shell.Hold(FileLocker::Mode::LoadAsLibrary, install.Path(L"tvxext.dll")));
    ASSERT_TRUE(mainProgram.Hold(FileLocker::Mode::OpenWithoutSharing, install.Path(L"Data\\history.dat")));

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
    EXPECT_TRUE(PathExists(install.Path(L"Data\\history.dat")));
    EXPECT_FALSE(PathExists(install.Path(L"Tervix.exe")));
    EXPECT_FALSE(PathExists(install.Path(L"plain.txt")));
    EXPECT_EQ(pending.CountDeletionsOf(install.Path(L"tvxext.dll.0.tmp")), 1u);
    EXPECT_GE(pending.CountDeletionsOf(install.Path(L"Data\\history.dat")), 1u);
    // The folders follow their files at the restart.
    EXPECT_EQ(pending.CountDeletionsOf(install.Path(L"Data")), 1u);
    EXPECT_EQ(pending.CountDeletionsOf(install.Folder()), 1u);
    // The program file has left; the folder stays until the restart.
    EXPECT_FALSE(PathExists(install.Program()));
    EXPECT_TRUE(PathExists(install.Folder()));
    EXPECT_TRUE(WaitUntilBatchesGone(20000));

    // A restart cannot delete what is still open.
    shell.Release();
    mainProgram.Release();
    ASSERT_EQ(RunAndWait(L"wineboot.exe -r", 120000), 0);
    EXPECT_FALSE(PathExists(install.Path(L"tvxext.dll.0.tmp")));
    EXPECT_FALSE(PathExists(install.Path(L"Data")));
    EXPECT_FALSE(PathExists(install.Folder()));
}

// A silent run defers without a word. The next version laid into the folder before the
// restart: its setup takes back what was left for the restart, which then deletes
// nothing of it.
TEST(UninstallLockedFiles, SilentRunDefersWithoutNoticeAndAReinstallBeforeTheRestartKeepsItsFiles) {
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
    // Held without sharing, the file could not even be renamed: its own name is scheduled.
    EXPECT_GE(pending.CountDeletionsOf(install.Path(L"history.dat")), 1u);
    EXPECT_EQ(pending.CountDeletionsOf(install.Folder()), 1u);
    EXPECT_FALSE(PathExists(install.Program()));
    EXPECT_TRUE(WaitUntilBatchesGone(20000));
    EXPECT_TRUE(MessageBoxes().empty());
    browser.Release();
    RemoveTree(webView);

    mainProgram.Release();
    ASSERT_TRUE(WriteFileBytes(install.Path(L"history.dat"), "the new version's"));
    ASSERT_TRUE(CopyFileW(UninstallExe().c_str(), install.Program().c_str(), FALSE));
    EXPECT_EQ(RunAndWait(L"\"" + install.Program() + L"\" /setup -s", 60000, install.Folder()), 0);
    EXPECT_EQ(pending.CountDeletionsOf(install.Path(L"history.dat")), 0u);
    EXPECT_EQ(pending.CountDeletionsOf(install.Folder()), 0u);
    ASSERT_EQ(RunAndWait(L"wineboot.exe -r", 120000), 0);
    EXPECT_EQ(ReadFileBytes(install.Path(L"history.dat")), "the new version's");
    EXPECT_TRUE(PathExists(install.Program()));
}

// A program that is still closing holds its file after it has left the install folder:
// the batch's attempts, a second apart, outlast a hold of three and a half seconds.
TEST(UninstallLockedFiles, ProgramHeldPastItsEndGoesAtALaterAttempt) {
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
    EXPECT_FALSE(PathExists(install.Folder()));
    Sleep(3500);
    const std::vector<std::wstring> batchFolders = BatchFolders();
    ASSERT_EQ(batchFolders.size(), 1u);
    ASSERT_TRUE(PathExists(batchFolders[0] + L"\\Uninstall.exe")) << "the hold did not keep the file";
    closing.Release();
    EXPECT_TRUE(WaitUntilBatchesGone(30000)) << "no attempt came after the hold, " << GetTickCount64() - ended
                                             << " ms after the end";
}

}  // namespace
}  // namespace uninstalltest
