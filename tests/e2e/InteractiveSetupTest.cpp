// Setup as a user runs it: the real Uninstall.exe started with "/setup", its dialogs
// answered through the GUI driver, and the program group opened in Explorer at the
// end. Explorer is a stand-in here: the recorder registered as the "open" handler of
// folders in this case's fresh prefix.

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <vector>

#include "GuiDriver.h"
#include "OpenRecorder.h"
#include "TestSupport.h"

using namespace tvxtest;

namespace {

constexpr int kContextMenuButton = 5128;  // only the setup dialog has it
constexpr int kInstallFolderField = 5102;  // the completion dialog's folder

HWND WaitForDialog(DWORD processId, int withId, int withoutId, DWORD timeoutMs = 30000) {
    return WaitForWindow({.processId = processId, .withId = withId, .withoutId = withoutId}, timeoutMs);
}

std::wstring CommonProgramGroup() {
    wchar_t folder[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, folder);
    return std::wstring(folder) + L"\\Tervix";
}

class InteractiveSetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        install_ = sandbox_ / L"Tervix";
        ASSERT_TRUE(CreateDirectoryW(install_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(UninstallExe().c_str(), (install_ + L"\\Uninstall.exe").c_str(), FALSE));
        // Both classes a folder may be opened through.
        for (const wchar_t* folderClass : {L"Folder", L"Directory"}) recorder_.RegisterVerb(folderClass, L"open");
    }
    void TearDown() override {
        DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix");
        RemoveTree(CommonProgramGroup());
    }

    // Starts setup from the install folder, accepts the setup dialog and then the
    // completion dialog, checking that the latter shows the program's folder whatever
    // the current one (System32 after an elevation prompt). Returns the exit code.
    DWORD RunInteractiveSetup(const std::wstring& switches) {
        Process setup;
        EXPECT_TRUE(setup.Start(L"\"" + install_ + L"\\Uninstall.exe\" " + switches, sandbox_.path()));
        HWND setupDialog = WaitForDialog(setup.id(), kContextMenuButton, 0);
        EXPECT_NE(setupDialog, nullptr) << "no setup dialog";
        if (!setupDialog) return ~0u;
        // OK applies everything and then the completion dialog takes over: post it.
        PressButton(setupDialog, IDOK, true);

        HWND done = WaitForDialog(setup.id(), kInstallFolderField, kContextMenuButton);
        EXPECT_NE(done, nullptr) << "no completion dialog";
        if (!done) return ~0u;
        EXPECT_EQ(ControlText(done, kInstallFolderField), install_);
        PressButton(done, IDOK, true);

        DWORD exitCode = ~0u;
        EXPECT_TRUE(setup.Wait(30000, &exitCode)) << "setup did not end";
        return exitCode;
    }

    TempFolder sandbox_{L"tvxsetup"};
    std::wstring install_;
    OpenRecorder recorder_{sandbox_ / L"opened.txt"};
};

TEST_F(InteractiveSetupTest, SetupDialogThenCompletionThenTheProgramGroupInExplorer) {
    EXPECT_EQ(RunInteractiveSetup(L"/setup"), 0u);
    std::vector<std::wstring> lines = recorder_.WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u) << "the program group was not opened";
    EXPECT_EQ(lines[0], L"open|" + CommonProgramGroup());
    EXPECT_TRUE(PathExists(CommonProgramGroup()));
}

TEST_F(InteractiveSetupTest, NoExplorerSwitchKeepsTheProgramGroupClosed) {
    EXPECT_EQ(RunInteractiveSetup(L"/setup /noexplorer"), 0u);
    EXPECT_TRUE(PathExists(CommonProgramGroup())) << "the group was not created, so nothing is shown";
    // The shell starts the handler before setup ends; give it time to write anyway.
    EXPECT_TRUE(recorder_.WaitForLines(1, 2000).empty());
}

TEST_F(InteractiveSetupTest, SilentSetupShowsNoDialogAndOpensNothing) {
    Process setup;
    ASSERT_TRUE(setup.Start(L"\"" + UninstallExe() + L"\" /setup -s", install_));
    DWORD exitCode = ~0u;
    bool anyVisible = false;
    WaitUntil([&] { return (anyVisible = FindShownWindow({.processId = setup.id()}) != nullptr) || setup.Wait(0, &exitCode); },
              60000);
    EXPECT_FALSE(anyVisible) << "a dialog was shown";
    ASSERT_TRUE(setup.Wait(60000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    // The choices were applied: the program group exists, but it is not opened.
    EXPECT_TRUE(PathExists(CommonProgramGroup()));
    EXPECT_TRUE(recorder_.WaitForLines(1, 2000).empty());
}

TEST_F(InteractiveSetupTest, MsiSetupHasNoCompletionDialogAndOpensNothing) {
    Process setup;
    ASSERT_TRUE(setup.Start(L"\"" + UninstallExe() + L"\" /setup /msi", install_));
    HWND setupDialog = WaitForDialog(setup.id(), kContextMenuButton, 0);
    ASSERT_NE(setupDialog, nullptr);
    PressButton(setupDialog, IDOK, true);
    DWORD exitCode = ~0u;
    // Ends by itself: there is no completion dialog to answer.
    ASSERT_TRUE(setup.Wait(30000, &exitCode)) << "setup waits for input";
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(recorder_.WaitForLines(1, 2000).empty());
}

TEST_F(InteractiveSetupTest, CancelledSetupShowsNoCompletionDialog) {
    Process setup;
    ASSERT_TRUE(setup.Start(L"\"" + UninstallExe() + L"\" /setup", install_));
    HWND setupDialog = WaitForDialog(setup.id(), kContextMenuButton, 0);
    ASSERT_NE(setupDialog, nullptr);
    PressButton(setupDialog, IDCANCEL, true);
    DWORD exitCode = ~0u;
    ASSERT_TRUE(setup.Wait(30000, &exitCode)) << "setup waits for input";
    EXPECT_EQ(exitCode, 1u);
    EXPECT_TRUE(recorder_.WaitForLines(1, 2000).empty());
}

}  // namespace
