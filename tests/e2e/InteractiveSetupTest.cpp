// Setup as a user runs it: the real Uninstall.exe started with "/setup", its dialogs
// answered through the GUI driver, and the program group opened in Explorer at the
// end. Explorer is a stand-in here: the recorder registered as the "open" handler of
// folders in this case's fresh prefix.

#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "OpenRecorder.h"
#include "TestSupport.h"

using namespace tvxtest;

namespace {

constexpr int kContextMenuButton = 5128;  // only the setup dialog has it
constexpr int kInstallFolderField = 5102;  // the completion dialog's folder
constexpr int kTypesKeptText = 5110;
constexpr int kDefaultAppsButton = 5111;

HWND WaitForDialog(DWORD processId, int withId, int withoutId, DWORD timeoutMs = 30000) {
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : TopLevelWindows(processId, L"#32770")) {
            if (!IsWindowVisible(window) || !HasControl(window, withId)) continue;
            if (withoutId && HasControl(window, withoutId)) continue;
            return window;
        }
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(50);
    }
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
    // the current one (System32 after an elevation prompt); `onDone` gets the completion
    // dialog before its OK. Returns the exit code.
    DWORD RunInteractiveSetup(const std::wstring& switches, const std::function<void(HWND)>& onDone = {}) {
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
        if (onDone) onDone(done);
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

// Windows keeps ".zip" for the program the user chose there, which only the user can
// change: the completion dialog names it and opens Default apps (Wine says Windows 10,
// which has no page per program). A choice of Tervix, or of a type not chosen, is not
// named. After the user picked Tervix, the uninstall deletes the choices of Tervix only.
TEST_F(InteractiveSetupTest, TypeKeptForAnotherProgramIsNamedAndItsChoiceOfTervixGoesAtUninstall) {
    const std::wstring choices = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
    auto choose = [&](const wchar_t* type, const wchar_t* progId) {
        ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, choices + type + L"\\UserChoice", L"ProgId", progId));
    };
    choose(L".zip", L"OtherZip.Archive");
    choose(L".tvx", L"tervix");
    choose(L".tar", L"OtherTar.File");
    recorder_.RegisterScheme(L"ms-settings");

    std::vector<std::wstring> lines;
    EXPECT_EQ(RunInteractiveSetup(L"/setup -initA110000000000000000", [&](HWND done) {
                  EXPECT_TRUE(IsControlVisible(done, kDefaultAppsButton));
                  const std::wstring text = ControlText(done, kTypesKeptText);
                  EXPECT_NE(text.find(L".zip"), std::wstring::npos) << text;
                  EXPECT_EQ(text.find(L".tvx"), std::wstring::npos) << text;
                  EXPECT_EQ(text.find(L".tar"), std::wstring::npos) << text;
                  PressButton(done, kDefaultAppsButton, true);
                  lines = recorder_.WaitForLines(1);
              }),
              0u);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], L"open|ms-settings:defaultapps");
    std::wstring progId;
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, choices + L".zip\\UserChoice", L"ProgId", &progId));
    EXPECT_EQ(progId, L"OtherZip.Archive") << "setup changed the user's choice";

    choose(L".zip", L"Tervix.ZIP");
    ASSERT_TRUE(WriteFileBytes(install_ + L"\\Uninstall.lst", "Uninstall.exe\r\nUninstall.lst\r\n"));
    ASSERT_EQ(RunAndWait(L"\"" + install_ + L"\\Uninstall.exe\" -s", 120000, install_), 0);
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, choices + L".zip\\UserChoice"));
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, choices + L".tvx\\UserChoice"));
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, choices + L".tar\\UserChoice", L"ProgId", &progId));
    EXPECT_EQ(progId, L"OtherTar.File");
    // The choices and the scheme go with this case's prefix.
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
    DWORD start = GetTickCount();
    while (!setup.Wait(50, &exitCode) && GetTickCount() - start < 60000) {
        for (HWND window : TopLevelWindows(setup.id(), L"#32770"))
            if (IsWindowVisible(window)) anyVisible = true;
        if (anyVisible) break;
    }
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
