#pragma once
// The run log an administrator asks for: UTF-8 lines appended to a file, one per
// action, each with its local time. Without an open log every call does nothing.

#include <windows.h>

#include <string>

namespace tvx {

// Opens (creating when needed) the file for appending; false when it cannot be opened,
// which changes nothing else. A relative path is taken from the current folder now.
bool OpenRunLog(const wchar_t* path);
void CloseRunLog();
// The full path of the open log; empty when there is none.
const std::wstring& RunLogPath();

void LogAction(const std::wstring& text);
// Logs what failed with the Windows error code and the system's message for it, and
// reports it as the run's outcome: access denied as refused, any other error as failed.
void LogFailure(const std::wstring& what, DWORD error);
// The same line for a step that is allowed to fail (a user's choice that Windows
// protects): the log tells what could not be done, and the run's outcome stays as it is.
void LogNotDone(const std::wstring& what, DWORD error);

// "HKLM\Software\Tervix" and the like, with " (32-bit view)" for that view.
std::wstring RegistryName(HKEY root, const std::wstring& path, REGSAM view);

}  // namespace tvx
