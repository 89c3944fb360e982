// Entry point of Uninstall.exe: prepares the process, reads the switches and runs
// setup, the uninstall, or only the small jobs of the self-removal batch.

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include "integration/Completion.h"
#include "integration/SetupDialog.h"
#include "lang/Language.h"
#include "lang/Texts.h"
#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "removal/Uninstall.h"
#include "settings/SettingsFile.h"
#include "startup/RunOptions.h"
#include "startup/Startup.h"
#include "startup/Ui.h"

namespace tvx {
namespace {

constexpr DWORD kSfxCommandCapacity = 1024;

void RunSetup() {
    // A dialog that cannot be created (-1) counts as completed, like OK.
    if (DialogBoxParamW(ResourceModule(), L"SETUPDLG", nullptr, SetupDialog, 0) == 0) return;

    CopyFromInstallerFolder();
    const RunOptions& options = Options();
    if (!options.msi) DialogBoxParamW(ResourceModule(), L"DONEDLG", nullptr, CompletionDialog, 0);

    const wchar_t* group = ProgramGroupPath();
    if (group && group[0] != L'\0' && !options.silent && !options.msi && !options.noExplorer && FileExists(group))
        ShellExecuteW(nullptr, L"open", group, nullptr, L"", SW_SHOWNORMAL);
}

int Run(HINSTANCE instance) {
    HardenDllSearch(true);
    LoadResourceLibrary(instance);
    LoadLanguage(L"uninstall.lng");
    HRESULT ole = OleInitialize(nullptr);
    // Kept loaded for the whole run so that dialogs may hold rich-edit controls.
    UniqueModule richEdit(LoadSystemLibrary(L"riched20.dll"));
    CreateProgramResources();

    // The installer passes its own command line; only its -s counts here.
    wchar_t sfxCommand[kSfxCommandCapacity] = {};
    DWORD length = GetEnvironmentVariableW(L"sfxcmd", sfxCommand, kSfxCommandCapacity);
    if (length >= kSfxCommandCapacity) sfxCommand[0] = L'\0';
    bool setupRequested = false;
    bool uninstallRequested = false;
    ParseSwitches(true, sfxCommand, &setupRequested, &uninstallRequested);
    ParseSwitches(false, GetCommandLineW(), &setupRequested, &uninstallRequested);

    if (setupRequested) RunSetup();
    if (uninstallRequested) RunUninstall();

    richEdit.reset();
    if (SUCCEEDED(ole)) OleUninitialize();
    ReleaseProgramResources();

    SaveSettingsFile();
    ReleaseSettingsFile();
    ReleaseLanguage();
    FreeResourceLibrary();
    return Options().exitCode;
}

}  // namespace
}  // namespace tvx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return tvx::Run(instance); }
