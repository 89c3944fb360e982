#pragma once
// The switches of the command line.

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace tvx {

struct RunOptions {
    wchar_t initString[40];
    bool silent;
    bool msi;
    bool noExplorer;
    wchar_t logPath[2048];  // "/log=", empty without
    // "/unregister": the integration alone is removed; the files and any Add/Remove
    // entry are an installer's. "/unregister=<folder>" names the install folder it acts
    // on, for a copy of the program that runs elsewhere (Windows Installer's).
    bool unregister;
    wchar_t unregisterFolder[2048];
    // "/currentuser": setup integrates for the running account alone, in its own hive
    // and folders, and needs no administrator rights.
    bool currentUser;
};
// The one process-wide record, zero at start.
RunOptions& Options();

// Copies the next blank-separated argument (quotes group, "" is a literal quote) into
// output (may be null); returns the position behind it, or null when none is left.
const wchar_t* NextArgument(const wchar_t* cursor, wchar_t* output, size_t capacity);
bool IsAsciiLetter(wchar_t c);
int MatchSwitch(const wchar_t* text, const wchar_t* keyword, int n);
void ParseSwitches(bool fromEnvironment, const wchar_t* text, bool* setupRequested, bool* uninstallRequested);

// The notice that the uninstall finished but the program file could not be removed;
// it names the running program's file unless given another place.
void ShowUninstallWarning(const wchar_t* programPath = nullptr);

}  // namespace tvx
