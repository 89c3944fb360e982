// The completion dialog in-process: what it shows, and that "-s" never shows it.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "GuiDriver.h"
#include "InProcessDialog.h"
#include "TestSupport.h"
#include "integration/Completion.h"
#include "resources/ResourceIds.h"
#include "startup/RunOptions.h"
#include "startup/Ui.h"

using namespace tvxtest;

namespace {

class CompletionDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        tvx::Options().silent = false;
        tvx::CreateProgramResources();
    }
    void TearDown() override {
        tvx::Options().silent = false;
        tvx::ReleaseProgramResources();
    }
};

TEST_F(CompletionDialogTest, ShowsTheInstallFolderAndTheThanksInBold) {
    // The program's own folder, whatever the current one (System32 after an elevation prompt).
    const std::wstring install = ProgramFolderOfTest();
    TempFolder sandbox(L"tvxdone");
    CurrentFolder current(sandbox.path());

    INT_PTR result = RunDialog(L"DONEDLG", tvx::CompletionDialog, 0, IDC_INSTFOLDER, [&](HWND dialog) {
        EXPECT_EQ(ControlText(dialog, IDC_INSTFOLDER), install);
        HFONT font = reinterpret_cast<HFONT>(SendDlgItemMessageW(dialog, IDC_THANKS, WM_GETFONT, 0, 0));
        ASSERT_NE(tvx::BoldFont(), nullptr);
        EXPECT_EQ(font, tvx::BoldFont());
        LOGFONTW logFont = {};
        GetObjectW(font, sizeof logFont, &logFont);
        EXPECT_GE(logFont.lfWeight, FW_BOLD);
        EXPECT_NE(reinterpret_cast<HFONT>(SendDlgItemMessageW(dialog, IDC_INSTINFOFOLDER, WM_GETFONT, 0, 0)), font)
            << "only the thank-you text is bold";
        if (tvx::ProgramIcon()) {
            EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0)), tvx::ProgramIcon());
        }
        // The folder can be read and copied, not changed.
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, IDC_INSTFOLDER), GWL_STYLE) & ES_READONLY);
        PressButton(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
}

TEST_F(CompletionDialogTest, ClosingByCancelAlsoEndsWithOne) {
    INT_PTR result = RunDialog(L"DONEDLG", tvx::CompletionDialog, 0, IDC_INSTFOLDER, [](HWND dialog) {
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, 1);
}

TEST_F(CompletionDialogTest, EveryControlIsThere) {
    RunDialog(L"DONEDLG", tvx::CompletionDialog, 0, IDC_INSTFOLDER, [](HWND dialog) {
        for (int id : {5101, 5102, 5103, 5104, 5105, 5106, 5108, 5109, IDOK}) EXPECT_TRUE(HasControl(dialog, id)) << id;
        EXPECT_FALSE(ControlText(dialog, IDC_THANKS).empty());
        PressButton(dialog, IDOK);
    });
}

TEST_F(CompletionDialogTest, SilentRunAcceptsAtOnceWithoutShowingIt) {
    tvx::Options().silent = true;
    DialogWatch watch;
    ASSERT_TRUE(watch.installed());
    // Should the dialog wait for input after all, close it so that the case ends.
    std::atomic<bool> ended{false};
    std::thread rescue([&ended] {
        HWND dialog = nullptr;
        WaitUntil([&] { return ended || (dialog = FindShownWindow({.processId = GetCurrentProcessId(),
                                                                   .withId = IDC_INSTFOLDER})) != nullptr; },
                  5000);
        if (dialog) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), L"DONEDLG", nullptr, tvx::CompletionDialog, 0);
    ended = true;
    rescue.join();
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(watch.shown()) << "the dialog was shown and waited for input";
}

}  // namespace
