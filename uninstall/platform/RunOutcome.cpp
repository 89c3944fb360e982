#include "platform/RunOutcome.h"

namespace tvx {
namespace {

Outcome worst = Outcome::Done;
bool aborted = false;
int32_t abortCode = 0;
bool handedOver = false;
int32_t installerCode = 0;

}  // namespace

void ReportOutcome(Outcome outcome) {
    if (static_cast<int>(outcome) > static_cast<int>(worst)) worst = outcome;
}

void ReportAbort(int32_t code) {
    if (aborted) return;
    aborted = true;
    abortCode = code;
}

void ReportInstallerResult(int32_t code) {
    handedOver = true;
    installerCode = code;
}

Outcome RunOutcome() { return worst; }

int32_t FinalExitCode() {
    if (aborted) return abortCode;
    if (handedOver) return installerCode;
    switch (worst) {
    case Outcome::Done:
        return kExitDone;
    case Outcome::Cancelled:
        return kExitCancelled;
    case Outcome::Failed:
        return kExitFailed;
    case Outcome::Refused:
        return kExitRefused;
    case Outcome::Busy:
        return kExitBusy;
    }
    return kExitFailed;
}

const wchar_t* ExitCodeMeaning(int32_t code) {
    switch (code) {
    case kExitDone:
        return L"done";
    case kExitCancelled:
        return L"cancelled";
    case kExitRefused:
        return L"refused: administrator rights are needed";
    case kExitFailed:
        return L"failed: work was left undone";
    case kExitBusy:
        return L"another setup or uninstall is running; nothing was changed";
    case kExitMemory:
        return L"ended early: out of memory";
    case kExitUserExit:
        return L"cancelled at Windows Installer";
    case kExitRestartStarted:
        return L"done; Windows Installer restarts the system";
    case kExitRestartNeeded:
        return L"done; a restart completes it";
    default:
        return L"ended early by an error";
    }
}

void ResetRunOutcome() {
    worst = Outcome::Done;
    aborted = false;
    abortCode = 0;
    handedOver = false;
    installerCode = 0;
}

}  // namespace tvx
