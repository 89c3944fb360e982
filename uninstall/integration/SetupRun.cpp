// The setup road around the setup dialog.
#include "integration/SetupDialog.h"

#include <windows.h>
#include <shellapi.h>

#include "integration/Completion.h"
#include "lang/Texts.h"
#include "platform/Account.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/RestartDeletions.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "platform/Strings.h"
#include "resources/ResourceIds.h"
#include "startup/RunOptions.h"
#include "startup/Startup.h"
#include "startup/Ui.h"

namespace tvx {

void RunSetup(Scope scope) {
    // The system account's own hive and folders belong to no person (a deployment tool
    // runs setup so): an install for it alone would reach nobody, and is better refused
    // whole than made half.
    if (scope == Scope::CurrentUser && RunsAsLocalSystem()) {
        LogAction(L"refused to set Tervix up for the system account alone");
        ReportOutcome(Outcome::Refused);
        wchar_t caption[256];
        LoadTextInto(IDS_UNINSTTITLE, caption, std::size(caption));
        ShowMessage(nullptr, LoadText(IDS_NOTFORSYSTEM), caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
        return;
    }

    // The installer has laid the new files down before it starts setup, whether the
    // dialog is then accepted or not: deletions that an earlier uninstall left for the
    // next restart would take them, or the folder, at that restart.
    wchar_t installFolder[kPathCapacity];
    GetProgramFolder(installFolder, std::size(installFolder));
    CancelRestartDeletionsIn(installFolder);

    // A resource library without the template still gets the dialog, from the program.
    const INT_PTR result =
        DialogBoxParamW(DialogModule(L"SETUPDLG"), L"SETUPDLG", nullptr, SetupDialog, static_cast<LPARAM>(scope));
    if (result == -1) {
        LogFailure(L"create the setup dialog", GetLastError());
        return;
    }
    // Cancelled, or refused the rights: nothing is complete, so nothing says so.
    if (result != 1) return;
    LogAction(L"setup applied the choices");

    CopyFromInstallerFolder();
    const RunOptions& options = Options();
    const CompletionFacts facts = {TypesKeptByUserChoice(), scope};
    if (!options.msi && DialogBoxParamW(DialogModule(L"DONEDLG"), L"DONEDLG", nullptr, CompletionDialog,
                                        reinterpret_cast<LPARAM>(&facts)) == -1)
        LogFailure(L"create the completion dialog", GetLastError());

    const wchar_t* group = ProgramGroupPath();
    if (group && group[0] != L'\0' && !options.silent && !options.msi && !options.noExplorer && FileExists(group))
        ShellExecuteW(nullptr, L"open", group, nullptr, L"", SW_SHOWNORMAL);
}

}  // namespace tvx
