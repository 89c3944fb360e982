// Setup as a user runs it: the real Uninstall.exe started with "/setup" from its install
// folder, its dialogs answered through the GUI driver, then the new program group in an
// Explorer window unless a switch says otherwise. The ways a setup ends are each watched
// twice: once with Wine's own Explorer, whose window must show the group, and once with
// a recorder registered in this case's fresh prefix as the "open" handler of folders,
// which tells exactly which folder the shell was asked to open.

#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "OpenRecorder.h"
#include "TestSupport.h"
#include "resources/ResourceIds.h"

using namespace tvxtest;

namespace {

enum class Explorer { Wine, Recorder };

std::wstring CommonProgramGroup() { return KnownFolder(CSIDL_COMMON_PROGRAMS) + L"\\Tervix"; }

// The program copied into an install folder of its own. `recordFolders` registers the
// recorder as the handler of folders, so that no Explorer window opens.
class SetupFromInstallFolder : public ::testing::Test {
protected:
    void Install(bool recordFolders) {
        ASSERT_TRUE(CreateDirectoryW(install_.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(UninstallExe().c_str(), (install_ + L"\\Uninstall.exe").c_str(), FALSE));
        // Both classes a folder may be opened through.
        if (recordFolders)
            for (const wchar_t* folderClass : {L"Folder", L"Directory"}) recorder_.RegisterVerb(folderClass, L"open");
    }
    void TearDown() override {
        DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix");
        RemoveTree(CommonProgramGroup());
    }

    // Starts setup from the install folder while the current folder is another one
    // (System32 after an elevation prompt).
    bool Start(Process* setup, const std::wstring& switches) {
        return setup->Start(L"\"" + install_ + L"\\Uninstall.exe\" " + switches, sandbox_.path());
    }
    static HWND WaitForSetupDialog(const Process& setup) {
        return WaitForWindow({.processId = setup.id(), .withId = IDC_SETCONTEXTMENU}, 30000);
    }
    static HWND WaitForCompletion(const Process& setup, DWORD timeoutMs) {
        return WaitForWindow({.processId = setup.id(), .withId = IDC_INSTFOLDER, .withoutId = IDC_SETCONTEXTMENU},
                             timeoutMs);
    }

    // Accepts the setup dialog and then the completion dialog when one is expected,
    // checking that it shows the program's folder whatever the current one; `onDone`
    // gets the completion dialog before its OK. Returns the exit code.
    DWORD RunSetup(const std::wstring& switches, bool expectCompletion = true,
                   const std::function<void(HWND)>& onDone = {}) {
        Process setup;
        EXPECT_TRUE(Start(&setup, switches));
        HWND setupDialog = WaitForSetupDialog(setup);
        EXPECT_NE(setupDialog, nullptr) << "no setup dialog";
        if (!setupDialog) return ~0u;
        // OK applies everything and then the completion dialog takes over: post it.
        PressButton(setupDialog, IDOK, true);

        HWND done = WaitForCompletion(setup, expectCompletion ? 60000 : 3000);
        EXPECT_EQ(done != nullptr, expectCompletion) << "completion dialog";
        if (done) {
            EXPECT_EQ(ControlText(done, IDC_INSTFOLDER), install_);
            if (onDone) onDone(done);
            PressButton(done, IDOK, true);
        }
        DWORD exitCode = ~0u;
        EXPECT_TRUE(setup.Wait(60000, &exitCode)) << "setup waits for input";
        return exitCode;
    }

    TempFolder sandbox_{L"tvxsetup"};
    const std::wstring install_ = sandbox_ / L"Tervix";
    OpenRecorder recorder_{sandbox_ / L"opened.txt"};
};

class InteractiveSetup : public SetupFromInstallFolder, public ::testing::WithParamInterface<Explorer> {
protected:
    void SetUp() override { Install(GetParam() == Explorer::Recorder); }

    // Whether the program group was opened in Explorer within timeoutMs; the recorder
    // also checks that it was asked for that folder alone.
    bool ProgramGroupShown(DWORD timeoutMs) {
        if (GetParam() == Explorer::Wine)
            return WaitForWindow({.className = L"ExplorerWClass", .title = L"Tervix"}, timeoutMs) != nullptr;
        const std::vector<std::wstring> lines = recorder_.WaitForLines(1, timeoutMs);
        if (lines.empty()) return false;
        EXPECT_EQ(lines, std::vector<std::wstring>{L"open|" + CommonProgramGroup()});
        return true;
    }
};

TEST_P(InteractiveSetup, AcceptedSetupShowsCompletionThenTheProgramGroup) {
    EXPECT_EQ(RunSetup(L"/setup", true), 0u);
    EXPECT_TRUE(ProgramGroupShown(15000)) << "the program group was not opened";
    EXPECT_TRUE(PathExists(CommonProgramGroup()));
}

TEST_P(InteractiveSetup, NoExplorerSwitchKeepsTheProgramGroupClosed) {
    EXPECT_EQ(RunSetup(L"/setup /noexplorer", true), 0u);
    EXPECT_TRUE(PathExists(CommonProgramGroup())) << "the group was not created, so nothing is shown";
    // The shell starts the handler before setup ends; give it time to show anyway.
    EXPECT_FALSE(ProgramGroupShown(3000));
}

TEST_P(InteractiveSetup, MsiSetupShowsNoCompletionAndNoExplorer) {
    // Ends by itself: there is no completion dialog to answer.
    EXPECT_EQ(RunSetup(L"/setup /msi", false), 0u);
    EXPECT_FALSE(ProgramGroupShown(3000));
}

TEST_P(InteractiveSetup, CancelledSetupShowsNoCompletionAndExitsWithOne) {
    Process setup;
    ASSERT_TRUE(Start(&setup, L"/setup"));
    HWND setupDialog = WaitForSetupDialog(setup);
    ASSERT_NE(setupDialog, nullptr);
    PressButton(setupDialog, IDCANCEL, true);
    DWORD exitCode = ~0u;
    ASSERT_TRUE(setup.Wait(30000, &exitCode)) << "a further dialog followed the cancelled setup";
    EXPECT_EQ(exitCode, 1u);
    EXPECT_FALSE(ProgramGroupShown(3000));
}

TEST_P(InteractiveSetup, SilentSetupShowsNoDialogAndOpensNothing) {
    Process setup;
    ASSERT_TRUE(Start(&setup, L"/setup -s"));
    const QuietEnd end = WaitForQuietEnd(setup, 60000, {.processId = setup.id()});
    EXPECT_EQ(end.shown, nullptr) << "a dialog was shown";
    DWORD exitCode = ~0u;
    ASSERT_TRUE(setup.Wait(60000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    // The choices were applied: the program group exists, but it is not opened.
    EXPECT_TRUE(PathExists(CommonProgramGroup()));
    EXPECT_FALSE(ProgramGroupShown(3000));
}

// Windows keeps ".zip" for the program the user chose there, which only the user can
// change: the completion dialog names it and opens Default apps (Wine says Windows 10,
// which has no page per program). A choice of Tervix, or of a type not chosen, is not
// named. After the user picked Tervix, the uninstall deletes the choices of Tervix only.
class InteractiveSetupTest : public SetupFromInstallFolder {
protected:
    void SetUp() override { Install(true); }
};

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
    EXPECT_EQ(RunSetup(L"/setup -initA110000000000000000", true, [&](HWND done) {
                  EXPECT_TRUE(IsControlVisible(done, IDC_DEFAULTAPPS));
                  const std::wstring text = ControlText(done, IDC_TYPESKEPT);
                  EXPECT_NE(text.find(L".zip"), std::wstring::npos) << text;
                  EXPECT_EQ(text.find(L".tvx"), std::wstring::npos) << text;
                  EXPECT_EQ(text.find(L".tar"), std::wstring::npos) << text;
                  PressButton(done, IDC_DEFAULTAPPS, true);
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

std::string ExplorerName(Explorer explorer) { return explorer == Explorer::Wine ? "WineExplorer" : "Recorder"; }
void PrintTo(Explorer explorer, std::ostream* out) { *out << ExplorerName(explorer); }

INSTANTIATE_TEST_SUITE_P(SeenBy, InteractiveSetup, ::testing::Values(Explorer::Wine, Explorer::Recorder),
                         [](const ::testing::TestParamInfo<Explorer>& info) { return ExplorerName(info.param); });

}  // namespace
