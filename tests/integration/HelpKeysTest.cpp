// F1 and the help buttons of the three dialogs reach the help file with the right
// topic. Every case runs in a fresh prefix: F1 is a real key press, which goes to
// whatever window is in front, so no other test's window may be around.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiDriver.h"
#include "HelpRecorder.h"
#include "InProcessDialog.h"
#include "integration/Completion.h"
#include "integration/ContextItems.h"
#include "integration/SetupDialog.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "startup/RunOptions.h"

using namespace tvxtest;

namespace {

class HelpKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        tvx::PrimeWindowsVersion(false, 0x0A00);
        tvx::Options().silent = false;
    }
    void TearDown() override { tvx::ResetWindowsVersionCaches(); }
    HelpRecorder help_;
};

// F1 as a user presses it: a key press on the focused dialog, which the system turns
// into WM_HELP.
void PressF1(HWND dialog, int focusedId) {
    SetForegroundWindow(dialog);
    PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, focusedId)), TRUE);
    SendMessageW(dialog, WM_NULL, 0, 0);
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
    // Let the dialog's loop take the keys before anything else arrives.
    Sleep(300);
    SendMessageW(dialog, WM_NULL, 0, 0);
}

void SendHelpRequest(HWND dialog, int controlId) {
    HELPINFO info = {};
    info.cbSize = sizeof info;
    info.iContextType = HELPINFO_WINDOW;
    info.iCtrlId = controlId;
    info.hItemHandle = GetDlgItem(dialog, controlId);
    SendMessageW(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
}

TEST_F(HelpKeysTest, ContextItemsDialogShowsItsTopicOnF1AndHelp) {
    RunDialog(L"SETUPCONTEXTITEMS", tvx::ContextItemsDialog, 0, IDC_CONTEXTALWAYSARC, [](HWND dialog) {
        PressF1(dialog, IDC_CONTEXTEXTRACT);
        SendHelpRequest(dialog, IDC_CONTEXTTEST);
        PressButton(dialog, IDHELP);
        EXPECT_TRUE(IsWindow(dialog)) << "help closed the dialog";
        PressButton(dialog, IDCANCEL);
    });
    auto seen = HelpRecorder::Calls();
    ASSERT_EQ(seen.size(), 3u);
    for (const HelpCall& call : seen) {
        EXPECT_EQ(call.target, TopicTarget(L"HELPContextItems"));
        EXPECT_EQ(call.command, 0u);
    }
}

TEST_F(HelpKeysTest, CompletionDialogHasNoF1TopicButItsButtonOpensTheContents) {
    INT_PTR result = RunDialog(L"DONEDLG", tvx::CompletionDialog, 0, IDC_INSTFOLDER, [](HWND dialog) {
        PressF1(dialog, IDOK);
        SendHelpRequest(dialog, IDC_INSTFOLDER);
        EXPECT_TRUE(HelpRecorder::Calls().empty()) << "F1 opened help";
        PressButton(dialog, IDC_VIEWHELP);
        EXPECT_TRUE(IsWindow(dialog));
        PressButton(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
    auto seen = HelpRecorder::Calls();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].target, HelpFile());
    EXPECT_EQ(seen[0].command, 1u);
}

TEST_F(HelpKeysTest, SetupDialogShowsItsTopicOnF1AndHelp) {
    // The explanatory text of the setup dialog is a rich-edit control.
    LoadLibraryW(L"riched20.dll");
    RunDialog(L"SETUPDLG", tvx::SetupDialog, 0, IDC_SETCONTEXTMENU, [](HWND dialog) {
        PressF1(dialog, IDC_ASSOCZIP);
        PressButton(dialog, IDHELP);
        PressButton(dialog, IDCANCEL);
    });
    auto seen = HelpRecorder::Calls();
    ASSERT_EQ(seen.size(), 2u);
    for (const HelpCall& call : seen) EXPECT_EQ(call.target, TopicTarget(L"HELPIntegrationSettings"));
}

}  // namespace
