#pragma once
// The switches of the command line and the process exit code.

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace tvx {

// The exit codes deployment tools read. Setup and uninstall report only these; the
// file layer's own codes stay inside.
inline constexpr int32_t kExitDone = 0;
inline constexpr int32_t kExitCancelled = 1;
inline constexpr int32_t kExitRefused = 5;
inline constexpr int32_t kExitFailed = 1603;

struct RunOptions {
    wchar_t initString[40];
    bool silent;
    bool msi;
    bool noExplorer;
    int32_t exitCode;
    wchar_t logPath[2048];  // "/log=", empty without
};
// The one process-wide record, zero at start.
RunOptions& Options();

// Copies the next blank-separated argument (quotes group, "" is a literal quote) into
// output (may be null); returns the position behind it, or null when none is left.
const wchar_t* NextArgument(const wchar_t* cursor, wchar_t* output, size_t capacity);
bool IsAsciiLetter(wchar_t c);
int MatchSwitch(const wchar_t* text, const wchar_t* keyword, int n);
void ParseSwitches(bool fromEnvironment, const wchar_t* text, bool* setupRequested, bool* uninstallRequested);

// The exit code of the run: a refusal or failure the run log counted wins over what
// the run itself set (a cancelled dialog).
int32_t FinalExitCode();
const wchar_t* ExitCodeMeaning(int32_t code);

// The notice that the uninstall finished but the program file could not be removed;
// it names the running program's file unless given another place.
void ShowUninstallWarning(const wchar_t* programPath = nullptr);

}  // namespace tvx
