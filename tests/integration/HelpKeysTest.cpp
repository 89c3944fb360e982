// F1 and the help buttons of the three dialogs reach the help file with the right
// topic. Every case runs in a fresh prefix: F1 is a real key press, which goes to
// whatever window is in front, so no other test's window may be around.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "InProcessDialog.h"
#include "TestSupport.h"
#include "integration/Completion.h"
#include "integration/ContextItems.h"
#include "integration/SetupDialog.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "startup/RunOptions.h"

using namespace tvxtest;

namespace {

struct HelpCall {
    std::wstring target;
    UINT command;
};

std::mutex callsLock;
std::vector<HelpCall> calls;

HWND WINAPI RecordHelp(HWND, const wchar_t* target, UINT command, DWORD_PTR) {
    std::lock_guard<std::mutex> lock(callsLock);
    calls.push_back({target ? target : L"", command});
    return GetDesktopWindow();
}

std::vector<HelpCall> Calls() {
    std::lock_guard<std::mutex> lock(callsLock);
    return calls;
}

std::wstring HelpFile() { return ProgramFolderOfTest() + L"\\tervix.chm"; }
std::wstring TopicTarget(const std::wstring& topic) { return HelpFile() + L"::/html/" + topic + L".htm"; }

class HelpKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        tvx::SetHtmlHelpHook(RecordHelp);
        tvx::PrimeWindowsVersion(false, 0x0A00);
        tvx::Options().silent = false;
    }
    void TearDown() override {
        tvx::SetHtmlHelpHook(nullptr);
        tvx::ResetWindowsVersionCaches();
    }
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
    auto seen = Calls();
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
        EXPECT_TRUE(Calls().empty()) << "F1 opened help";
        PressButton(dialog, IDC_VIEWHELP);
        EXPECT_TRUE(IsWindow(dialog));
        PressButton(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
    auto seen = Calls();
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
    auto seen = Calls();
    ASSERT_EQ(seen.size(), 2u);
    for (const HelpCall& call : seen) EXPECT_EQ(call.target, TopicTarget(L"HELPIntegrationSettings"));
}

}  // namespace
