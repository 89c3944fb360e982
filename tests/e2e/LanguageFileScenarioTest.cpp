// A translator's language file "uninstall.lng" placed beside the real Uninstall.exe:
// its texts reach the notices and dialogs the user sees, its direction mirrors them,
// and its sizes enlarge the dialogs. Each test case runs in a fresh prefix.

#include <gtest/gtest.h>

#include <string>

#include "GuiDriver.h"
#include "TestSupport.h"
#include "resources/ResourceIds.h"

namespace {

using tvxtest::Notice;
using tvxtest::Process;

constexpr int kContextMenuButton = IDC_SETCONTEXTMENU;  // only the setup dialog has it

class TranslatedProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CopyFileW(tvxtest::UninstallExe().c_str(), program().c_str(), FALSE));
    }
    std::wstring program() const { return folder_ / L"Uninstall.exe"; }
    void PlaceLanguageFile(const std::string& bytes) {
        ASSERT_TRUE(tvxtest::WriteFileBytes(folder_ / L"uninstall.lng", bytes));
    }
    bool Start(Process* process, const std::wstring& switches) {
        return process->Start(L"\"" + program() + L"\" " + switches, folder_.path());
    }

    // Starts "/warning" and reads back the notice it shows.
    Notice ShowWarning(Process* process) {
        if (!Start(process, L"/warning")) return {};
        return tvxtest::WaitForNotice(process->id());
    }

    void Dismiss(Process* process, const Notice& notice) {
        tvxtest::PressButton(notice.box, IDOK, true);
        DWORD code = 1;
        EXPECT_TRUE(process->Wait(20000, &code));
        EXPECT_EQ(code, 0u);
    }

    tvxtest::TempFolder folder_{L"Tervix lang"};
};

TEST_F(TranslatedProgram, UnicodeTranslationWithHeaderSpeaksToTheUser) {
    PlaceLanguageFile(tvxtest::Utf16Le(
        L"Deutsche \x00DC" L"bersetzung f\x00FCr Tervix, Stand 2026\r\n"
        L"***messages***\r\n"
        L":DIRECTION LTR\r\n"
        L"IDS_UNINSTALLTVX          \"Tervix entfernen\"\r\n"
        L"IDS_UNINSTALLCOMPLETED    Tervix wurde vollst\x00E4ndig entfernt.\r\n"
        L"IDS_UNINSTALLSHOULDDELETE \"Die Programmdatei lie\x00DF sich nicht l\x00F6schen.\\nBitte l\x00F6schen Sie \\\"%s\\\".\"\r\n"));
    Process process;
    Notice notice = ShowWarning(&process);
    ASSERT_NE(notice.box, nullptr) << "no notice appeared";
    EXPECT_EQ(notice.caption, L"Tervix entfernen");
    EXPECT_EQ(notice.text, L"Tervix wurde vollst\x00E4ndig entfernt.\nDie Programmdatei lie\x00DF sich nicht l\x00F6schen.\n"
                           L"Bitte l\x00F6schen Sie \"" + program() + L"\".");
    EXPECT_FALSE(GetWindowLongW(notice.box, GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    Dismiss(&process, notice);
}

TEST_F(TranslatedProgram, RightToLeftLanguageFileMirrorsTheNotice) {
    PlaceLanguageFile(tvxtest::Utf16Le(
        L"***messages***\r\n"
        L":DIRECTION RTL\r\n"
        L"IDS_UNINSTALLTVX \"\x05D4\x05E1\x05E8\x05EA Tervix\"\r\n"
        L"IDS_UNINSTALLCOMPLETED \"Tervix \x05D4\x05D5\x05E1\x05E8\"\r\n"));
    Process process;
    Notice notice = ShowWarning(&process);
    ASSERT_NE(notice.box, nullptr) << "no notice appeared";
    EXPECT_EQ(notice.caption, L"\x05D4\x05E1\x05E8\x05EA Tervix");
    EXPECT_EQ(notice.text.substr(0, 12), L"Tervix \x05D4\x05D5\x05E1\x05E8\n");
    // The process lays every window out from right to left, the notice included. (The
    // reading-order and alignment flags the box gets leave no trace Wine shows outside
    // the process; the startup tests check them in-process.)
    EXPECT_TRUE(GetWindowLongW(notice.box, GWL_EXSTYLE) & WS_EX_LAYOUTRTL)
        << std::hex << GetWindowLongW(notice.box, GWL_EXSTYLE);
    Dismiss(&process, notice);
}

// The reference file translators start from, used as it is, changes nothing: it holds
// the program's own texts.
TEST_F(TranslatedProgram, EnglishReferenceFileGivesTheProgramsOwnTexts) {
    std::string reference = tvxtest::ReadFileBytes(tvxtest::SourceDir() + L"\\uninstall\\lang\\English.lng");
    ASSERT_FALSE(reference.empty());
    PlaceLanguageFile(reference);
    Process process;
    Notice notice = ShowWarning(&process);
    ASSERT_NE(notice.box, nullptr) << "no notice appeared";
    std::wstring advice = tvxtest::ProgramText(IDS_UNINSTALLSHOULDDELETE);
    advice.replace(advice.find(L"%s"), 2, program());
    EXPECT_EQ(notice.caption, tvxtest::ProgramText(IDS_UNINSTALLTVX));
    EXPECT_EQ(notice.text, tvxtest::ProgramText(IDS_UNINSTALLCOMPLETED) + L"\n" + advice);
    Dismiss(&process, notice);
}

struct SetupDialogLook {
    RECT window = {};
    RECT client = {};
    RECT okButton = {};  // client coordinates
    std::wstring caption;
    std::wstring okText;
    std::wstring zipText;
};

// Opens the setup dialog, reads how it looks, and cancels it.
bool LookAtSetupDialog(const std::wstring& program, const std::wstring& folder, SetupDialogLook* look) {
    Process setup;
    if (!setup.Start(L"\"" + program + L"\" /setup", folder)) return false;
    HWND dialog = tvxtest::WaitForWindow({.processId = setup.id(), .withId = kContextMenuButton}, 30000);
    if (!dialog) return false;
    GetWindowRect(dialog, &look->window);
    GetClientRect(dialog, &look->client);
    GetWindowRect(GetDlgItem(dialog, IDOK), &look->okButton);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&look->okButton), 2);
    look->caption = tvxtest::WindowText(dialog);
    look->okText = tvxtest::ControlText(dialog, IDOK);
    look->zipText = tvxtest::ControlText(dialog, IDC_ASSOCZIP);
    tvxtest::PressButton(dialog, IDCANCEL, true);
    DWORD code = 0;
    return setup.Wait(30000, &code) && code == 1;
}

TEST_F(TranslatedProgram, SetupDialogIsTranslatedAndEnlargedAroundItsCentre) {
    SetupDialogLook plain;
    ASSERT_TRUE(LookAtSetupDialog(program(), folder_.path(), &plain));

    PlaceLanguageFile(
        "***messages***\r\n"
        ":DIALOG SETUPDLG\r\n"
        "SIZE 120*110\r\n"
        "CAPTION \"Tervix-Einrichtung\"\r\n"
        "IDOK \"&Installieren\"\r\n"
        "IDC_ASSOCZIP \"ZIP-Archive\"\r\n"
        ":DIALOG DONEDLG\r\n"
        "IDOK \"Fertig\"\r\n");
    SetupDialogLook translated;
    ASSERT_TRUE(LookAtSetupDialog(program(), folder_.path(), &translated));

    EXPECT_EQ(translated.caption, L"Tervix-Einrichtung");
    EXPECT_EQ(translated.okText, L"&Installieren");
    EXPECT_EQ(translated.zipText, L"ZIP-Archive");
    EXPECT_NE(plain.okText, translated.okText);

    // The client area grows by the percentages (the frame estimate adds a pixel).
    EXPECT_NEAR(translated.client.right, plain.client.right * 120 / 100, 2);
    EXPECT_NEAR(translated.client.bottom, plain.client.bottom * 110 / 100, 2);
    // The dialog is centred, so it keeps its centre.
    EXPECT_NEAR(translated.window.left + translated.window.right, plain.window.left + plain.window.right, 3);
    EXPECT_NEAR(translated.window.top + translated.window.bottom, plain.window.top + plain.window.bottom, 3);
    // Controls move and grow with it.
    EXPECT_NEAR(translated.okButton.left, plain.okButton.left * 120 / 100, 3);
    EXPECT_NEAR(translated.okButton.top, plain.okButton.top * 110 / 100, 3);
    EXPECT_NEAR(translated.okButton.right - translated.okButton.left,
                (plain.okButton.right - plain.okButton.left) * 120 / 100, 2);
}

}  // namespace
