#include "removal/Uninstall.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "integration/UninstallEntry.h"
#include "lang/Texts.h"
#include "platform/FileSystem.h"
#include "platform/ListFile.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "platform/Strings.h"
#include "removal/Cleanup.h"
#include "removal/RemovalBatch.h"
#include "removal/SelfRemoval.h"
#include "resources/ResourceIds.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "startup/RunOptions.h"
#include "startup/Ui.h"

namespace tvx {
namespace {

constexpr UINT kConfirmFlags = MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND;
constexpr UINT kErrorFlags = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
constexpr UINT kNoticeFlags = MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND;

// "C:\Apps\Tervix\Uninstall.exe" gives "C:\Apps\Tervix"; "C:\Uninstall.exe" gives "C:\".
bool InstallFolderOf(const wchar_t* programPath, wchar_t* folder, size_t size) {
    const wchar_t* backslash = wcsrchr(programPath, L'\\');
    if (!backslash) return false;
    size_t length = static_cast<size_t>(backslash - programPath);
    if (length > 0 && programPath[length - 1] == L':') ++length;
    CopyText(folder, programPath, std::min(size, length + 1));
    return true;
}

}  // namespace

bool RemoveProduct(const wchar_t* plainFolder, const wchar_t* programPath, bool* restartNeeded, Scope scope) {
    wchar_t installFolder[kPathCapacity];
    CopyText(installFolder, plainFolder, std::size(installFolder));
    AppendSeparator(installFolder, std::size(installFolder));

    // Every name below is taken from the install folder, not from the current folder:
    // setting that one fails for a path beyond MAX_PATH, and an elevated start begins
    // in System32.
    wchar_t listPath[kPathCapacity];
    JoinPath(installFolder, kListFileName, listPath, std::size(listPath));
    UniqueCrtFile list(OpenCrtFile(listPath, L"rb"));
    if (!list) {
        const DWORD error = GetLastError();
        LogFailure(L"open the file list " + std::wstring(listPath), error);
        wchar_t text[1024];
        InsertArgument(LoadText(IDS_CANNOTOPENLIST), kListFileName, text, std::size(text));
        ShowMessage(nullptr, text, LoadText(IDS_UNINSTALLTVX), kErrorFlags);
        return false;
    }

    // The resource library goes before the files; its texts are needed after it.
    wchar_t caption[256], notRemovedText[1024];
    LoadTextInto(IDS_NOTREMOVED, notRemovedText, std::size(notRemovedText));
    LoadTextInto(IDS_UNINSTALLTVX, caption, std::size(caption));

    CleanUpRegistryAndShell(scope);
    // On disk before the first file goes: after a power cut the registry must not come
    // back naming files that are gone.
    FlushRegistry();
    FreeResourceLibrary();

    RemoveHelpCaches(installFolder);

    std::vector<std::wstring> notRemoved;
    *restartNeeded = RemoveListedFiles(list.get(), installFolder, programPath, &notRemoved) |
                     RemoveTemplateFiles(&notRemoved) | RemoveSettingsFile(&notRemoved);
    // Saving at exit would bring back the "Tervix.ini" just deleted, and with it the folder.
    SuppressSettingsFileRecreation();

    RemoveWebViewData();

    if (!notRemoved.empty()) {
        // The restart would not finish the job: name what stays instead of promising it.
        // The entry, the list and the program stay too, so that the uninstall can be run
        // again once those files are free.
        ReportOutcome(Outcome::Failed);
        std::wstring names;
        for (const std::wstring& path : notRemoved) names += (names.empty() ? L"" : L"\n") + path;
        wchar_t text[4096];
        InsertArgument(notRemovedText, names.c_str(), text, std::size(text));
        ShowMessage(nullptr, text, caption, kErrorFlags);
        return false;
    }

    // Nothing of the product is left but the program, its list and what the restart
    // deletes: the entry goes, and for good before the list that a rerun would need.
    RemoveUninstallEntry(scope);
    FlushRegistry();
    list.reset();
    if (DeleteFileLong(listPath)) LogAction(L"deleted file " + std::wstring(listPath));
    return true;
}

void RunUninstall(Scope scope) {
    wchar_t programPath[kPathCapacity];
    GetProgramPath(programPath, std::size(programPath));
    // Without its closing separator, as the self-removal takes it.
    wchar_t installFolder[kPathCapacity];
    if (!InstallFolderOf(programPath, installFolder, std::size(installFolder))) {
        // Nothing can be found without the folder: the run ends undone, and says so.
        LogFailure(L"find the install folder of the program " + std::wstring(programPath), ERROR_BAD_PATHNAME);
        return;
    }
    SetCurrentDirectoryW(installFolder);

    if (!Options().silent) {
        // LoadText rotates its buffers; both texts are taken before the call.
        const wchar_t* question = LoadText(IDS_CONTINUEUNINSTALL);
        const wchar_t* caption = LoadText(IDS_UNINSTALLTVX);
        if (ShowMessage(nullptr, question, caption, kConfirmFlags) != IDYES) {
            // Nothing was removed: a deployment tool must not count the product as gone.
            ReportOutcome(Outcome::Cancelled);
            return;
        }
    }

    // Taken before the resource library goes with the files.
    wchar_t restartText[256], caption[256];
    LoadTextInto(IDS_REBOOTREQUIRED, restartText, std::size(restartText));
    LoadTextInto(IDS_UNINSTALLTVX, caption, std::size(caption));
    bool restartNeeded = false;
    if (!RemoveProduct(installFolder, programPath, &restartNeeded, scope)) return;

    // The install folder goes now, before anything is said, so that the notice covers it.
    const SelfRemoval removal = RemoveInstallFolder(programPath, installFolder, restartNeeded);
    if (restartNeeded || removal.folderAtRestart) ShowMessage(nullptr, restartText, caption, kNoticeFlags);
    WriteRemovalBatch(removal, installFolder);
}

}  // namespace tvx
