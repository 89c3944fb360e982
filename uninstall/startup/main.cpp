// Entry point of Uninstall.exe: prepares the process, reads the switches and runs
// setup, the uninstall, or only the small jobs of the self-removal batch.

#include <windows.h>

#include <string>

#include "integration/SetupDialog.h"
#include "integration/UninstallEntry.h"
#include "lang/Language.h"
#include "lang/Texts.h"
#include "platform/DiskFile.h"
#include "platform/Paths.h"
#include "platform/Owner.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "removal/Cleanup.h"
#include "removal/InstallerHandover.h"
#include "removal/Uninstall.h"
#include "resources/ResourceIds.h"
#include "settings/SettingsFile.h"
#include "startup/RunOptions.h"
#include "startup/SingleRun.h"
#include "startup/Startup.h"
#include "startup/Ui.h"

namespace tvx {
namespace {

constexpr DWORD kSfxCommandCapacity = 1024;

void LogFileMessage(int id, const wchar_t* text) {
    LogAction(L"file message " + std::to_wstring(id) + (text ? L": " + std::wstring(text) : L""));
}

// The first line of a run in the log: who ran what, where, with which rights.
void LogHeader() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(&version);
    bool elevated = false;
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        UniqueHandle owned(token);
        TOKEN_ELEVATION elevation = {};
        DWORD size = 0;
        elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                   elevation.TokenIsElevated != 0;
    }
    LogAction(L"Tervix Uninstall.exe " + std::wstring(ProgramVersionText()) + L"; command line: " + GetCommandLineW() +
              L"; elevated: " + (elevated ? L"yes" : L"no") + L"; Windows " + std::to_wstring(version.dwMajorVersion) +
              L"." + std::to_wstring(version.dwMinorVersion) + L" build " + std::to_wstring(version.dwBuildNumber));
}

void RunJob(HINSTANCE instance) {
    HardenDllSearch(true);
    LoadResourceLibrary(instance);
    LoadLanguage(L"uninstall.lng");
    // OLE for the whole run, given up again however the run ends.
    ComSession ole(ComSession::kOle);
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
    const RunOptions& options = Options();
    // A log that cannot be opened changes nothing else.
    if (options.logPath[0] != L'\0' && OpenRunLog(options.logPath)) LogHeader();
    // The file layer's messages would need a person; they go to the log instead.
    SetMessageHook(LogFileMessage);

    // Windows Installer runs the removal of the integration while the uninstall that
    // handed the job to it waits, so that one holds no claim.
    if (uninstallRequested && HandOverToWindowsInstaller()) return;
    const bool unregisterRequested = options.unregister && !setupRequested;
    if (unregisterRequested && options.unregisterFolder[0] != L'\0') ActForInstallFolder(options.unregisterFolder);
    // Decided here once, from the switch or from where this install is registered, and
    // handed down to every step of the run.
    const Scope scope = ScopeOfInstall(options.currentUser);
    if (setupRequested || uninstallRequested || unregisterRequested)
        LogAction(scope == Scope::CurrentUser ? L"the install is for the running account alone"
                                              : L"the install is for every account of the machine");
    // The batch's own jobs ("wait", "warning") come after its uninstall and are never held back.
    if ((setupRequested || uninstallRequested || unregisterRequested) && !ClaimSingleRun()) {
        TellRunInProgress(setupRequested ? IDS_UNINSTTITLE : IDS_UNINSTALLTVX);
        return;
    }
    if (setupRequested) RunSetup(scope);
    if (uninstallRequested) RunUninstall(scope);
    if (unregisterRequested) RemoveIntegration(scope);
}

int Run(HINSTANCE instance) {
    RunCatchingExit([instance] { RunJob(instance); });
    ReleaseProgramResources();

    SaveSettingsFile();
    ReleaseSettingsFile();
    ReleaseLanguage();
    FreeResourceLibrary();
    const int32_t exitCode = FinalExitCode();
    LogAction(L"exit code " + std::to_wstring(exitCode) + L": " + ExitCodeMeaning(exitCode));
    CloseRunLog();
    return exitCode;
}

}  // namespace
}  // namespace tvx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return tvx::Run(instance); }
