#include "startup/SingleRun.h"

#include <iterator>
#include <string>

#include "lang/Texts.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "platform/Strings.h"
#include "resources/ResourceIds.h"
#include "startup/RunOptions.h"
#include "startup/Ui.h"

namespace tvx {
namespace {

// A named mutex exists exactly as long as a process holds it open, so the system lets
// go of it however a run ends, a task kill included. The machine-wide name sees runs
// in other sessions; the session's own name sees runs of accounts that may not create
// machine-wide names. The two names differ: in session 0 both namespaces are one.
constexpr wchar_t kGlobalName[] = L"Global\\Tervix.SetupOrUninstall";
constexpr wchar_t kSessionName[] = L"Local\\Tervix.SetupOrUninstall.Session";

UniqueHandle globalClaim;
UniqueHandle sessionClaim;
bool globalNamesRefused = false;

enum class Claim { Held, Taken, Unavailable };

Claim ClaimName(const wchar_t* name, bool refused, UniqueHandle* held) {
    SetLastError(ERROR_SUCCESS);
    UniqueHandle mutex(refused ? nullptr : CreateMutexW(nullptr, FALSE, name));
    const DWORD error = refused ? ERROR_ACCESS_DENIED : GetLastError();
    if (mutex) {
        if (error == ERROR_ALREADY_EXISTS) return Claim::Taken;
        *held = std::move(mutex);
        return Claim::Held;
    }
    // Refused: either a run of another account holds the name and its object is not
    // ours to open, or this account may not create machine-wide names at all. Only
    // the first leaves a name to find.
    if (error == ERROR_ACCESS_DENIED) {
        UniqueHandle existing(OpenMutexW(SYNCHRONIZE, FALSE, name));
        if (existing || GetLastError() != ERROR_FILE_NOT_FOUND) return Claim::Taken;
    }
    LogAction(L"could not claim " + std::wstring(name) + L": error " + std::to_wstring(error));
    return Claim::Unavailable;
}

std::wstring LongForm(const wchar_t* path) {
    wchar_t full[kPathCapacity];
    const DWORD length = GetLongPathNameW(path, full, kPathCapacity);
    return length > 0 && length < kPathCapacity ? full : path;
}

struct WindowSearch {
    std::wstring program;
    HWND found = nullptr;
};

// The first shown and usable top-level window, in z-order, of another process that
// runs this same program file: the dialog or question a user left open.
BOOL CALLBACK FindRunWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == GetCurrentProcessId() || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t image[kPathCapacity];
    DWORD size = kPathCapacity;
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, image, &size)) return TRUE;
    if (CompareNoCase(LongForm(image).c_str(), search->program.c_str()) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

bool ClaimSingleRun() {
    const Claim global = ClaimName(kGlobalName, globalNamesRefused, &globalClaim);
    const Claim session = global == Claim::Taken ? Claim::Taken : ClaimName(kSessionName, false, &sessionClaim);
    if (global != Claim::Taken && session != Claim::Taken) return true;
    ReleaseSingleRun();
    LogAction(L"another setup or uninstall is running");
    ReportOutcome(Outcome::Busy);
    return false;
}

void TellRunInProgress(UINT captionId) {
    WindowSearch search;
    if (!Options().silent) {
        wchar_t program[kPathCapacity];
        GetProgramPath(program, kPathCapacity);
        search.program = LongForm(program);
        EnumWindows(FindRunWindow, reinterpret_cast<LPARAM>(&search));
    }
    if (search.found) {
        if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
        SetForegroundWindow(search.found);
        LogAction(L"brought the running program's window to the front");
        return;
    }
    // A run without a window of ours (a silent one, or another install's): say so. A
    // silent run only logs it.
    wchar_t caption[256];
    LoadTextInto(captionId, caption, std::size(caption));
    ShowMessage(nullptr, LoadText(IDS_RUNINPROGRESS), caption, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

void RefuseGlobalNames(bool refuse) { globalNamesRefused = refuse; }

void ReleaseSingleRun() {
    globalClaim.reset();
    sessionClaim.reset();
}

}  // namespace tvx
