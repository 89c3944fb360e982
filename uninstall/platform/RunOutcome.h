#pragma once
// How a run ends. Every folder reports here what went wrong, or that the user said no;
// the entry point turns the result into the process exit code, and nothing else
// writes one.

#include <cstdint>

namespace tvx {

// The exit codes deployment tools read; setup and uninstall end with only these.
inline constexpr int32_t kExitDone = 0;
inline constexpr int32_t kExitCancelled = 1;
inline constexpr int32_t kExitRefused = 5;
inline constexpr int32_t kExitFailed = 1603;
// Another setup or uninstall was running: nothing was changed, try again later.
inline constexpr int32_t kExitBusy = 1618;
// Ended early: memory ran out (or an array outgrew its limit) part-way.
inline constexpr int32_t kExitMemory = 8;
// Windows Installer's own results that an uninstall handed to it may end with.
inline constexpr int32_t kExitUserExit = 1602;
inline constexpr int32_t kExitRestartStarted = 1641;
inline constexpr int32_t kExitRestartNeeded = 3010;

// From least to most telling: a refusal says what to do (run with rights), so it
// outranks a plain failure, and either outranks a cancel, which stopped a run that
// had already gone wrong. A run that found another one in progress did nothing at all.
enum class Outcome { Done, Cancelled, Failed, Refused, Busy };

void ReportOutcome(Outcome outcome);
// The run handed its job to Windows Installer, whose result is the run's exit code.
void ReportInstallerResult(int32_t code);
// An error that nothing handled ended the run; its code is the exit code.
void ReportAbort(int32_t code);
Outcome RunOutcome();
// The exit code of the run so far.
int32_t FinalExitCode();
const wchar_t* ExitCodeMeaning(int32_t code);
// Forgets everything reported; for the tests, which run many runs in one process.
void ResetRunOutcome();

}  // namespace tvx
