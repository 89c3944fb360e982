#pragma once
// Process-wide helpers that every dialog and message uses.

#include <windows.h>

namespace tvx {

// The one message box routine; adds the right-to-left flags for such languages.
int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);
// length * vertical DPI / 96, truncated toward zero; the DPI is read once.
int ScaleForDpi(int length);
// Loads a library of the Windows system folder by its full path.
HMODULE LoadSystemLibrary(const wchar_t* fileName);
// True, first thing at start-up: libraries are looked for in the system folder alone
// (where the system offers that; elsewhere the current folder at least leaves the
// search). False takes back a library folder set with SetDllDirectoryW.
void HardenDllSearch(bool removeCurrentDirectory);
void ClearRtlReading(HWND window);
// Waits for the process to end, at most timeoutMs, while this thread's windows keep
// receiving their messages; true when it ended.
bool WaitWhileDispatching(HANDLE process, DWORD timeoutMs);

// Created at start-up, released at exit.
void CreateProgramResources();
void ReleaseProgramResources();
HICON ProgramIcon();
HFONT BoldFont();

}  // namespace tvx
