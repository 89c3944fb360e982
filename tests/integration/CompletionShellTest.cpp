// The completion dialog's licence and home-page buttons open through the shell. A
// stand-in program, registered in this case's fresh prefix as the handler of ".txt"
// files and of web addresses, records the verb and the target the shell gave it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiDriver.h"
#include "InProcessDialog.h"
#include "OpenRecorder.h"
#include "SandboxCopy.h"
#include "TestSupport.h"
#include "integration/Completion.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "startup/RunOptions.h"

using namespace tvxtest;

namespace {

// The licence lies beside the program: the case runs in a copy of this test program in
// a sandbox folder, which stands for the install folder, from a current folder elsewhere.
// On Windows 11 from its update of April 2023, Default apps opens at Tervix's own page,
// the one of the registration in the hive the install wrote it to.
TEST(CompletionShell, LicenceHomePageAndDefaultAppsOpenThroughTheShell) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { copy.Put(L"license.txt", "Licence\r\n"); })) return;
    TempFolder sandbox(L"tvxshell");
    const std::wstring install = ProgramFolderOfTest();

    OpenRecorder recorder(sandbox / L"opened.txt");
    RegWriteString(HKEY_CLASSES_ROOT, L".txt", L"", L"txtfile");
    for (const wchar_t* verb : {L"open", L"print", L"edit"}) recorder.RegisterVerb(L"txtfile", verb);
    for (const wchar_t* scheme : {L"http", L"https"}) recorder.RegisterVerb(scheme, L"open");
    recorder.RegisterScheme(L"ms-settings");
    tvx::PrimeWindowsVersion(true, 0x0A00, 22631);
    const tvx::CompletionFacts facts = {{L".zip"}, tvx::Scope::Machine};

    tvx::Options().silent = false;

    std::vector<std::wstring> lines;
    CurrentFolder current(sandbox.path());
    RunDialog(L"DONEDLG", tvx::CompletionDialog, reinterpret_cast<LPARAM>(&facts), IDC_INSTFOLDER, [&](HWND dialog) {
        PressButton(dialog, IDC_VIEWLICENSE);
        lines = recorder.WaitForLines(1);
        PressButton(dialog, IDC_HOMEPAGE);
        lines = recorder.WaitForLines(2);
        PressButton(dialog, IDC_DEFAULTAPPS);
        lines = recorder.WaitForLines(3);
        EXPECT_TRUE(IsWindow(dialog)) << "a button closed the dialog";
        PressButton(dialog, IDOK);
    });
    // An install for the account alone is registered in the account's own hive.
    const tvx::CompletionFacts own = {{L".zip"}, tvx::Scope::CurrentUser};
    RunDialog(L"DONEDLG", tvx::CompletionDialog, reinterpret_cast<LPARAM>(&own), IDC_INSTFOLDER, [&](HWND dialog) {
        PressButton(dialog, IDC_DEFAULTAPPS);
        lines = recorder.WaitForLines(4);
        PressButton(dialog, IDOK);
    });
    tvx::ResetWindowsVersionCaches();

    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"open|" + install + L"\\license.txt");
    EXPECT_EQ(lines[1], L"open|https://www.tervix.example.com/");
    EXPECT_EQ(lines[2], L"open|ms-settings:defaultapps?registeredAppMachine=Tervix");
    EXPECT_EQ(lines[3], L"open|ms-settings:defaultapps?registeredAppUser=Tervix");
    // The registrations go with this case's prefix.
}

}  // namespace
