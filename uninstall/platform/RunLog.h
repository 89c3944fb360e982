#pragma once
// The run log an administrator asks for: UTF-8 lines appended to a file, one per
// action, each with its local time. Without an open log every call does nothing. The
// log also keeps the worst failure of the run, which decides the exit code.

#include <windows.h>

#include <string>

namespace tvx {

enum class RunFailure { None, Failed, Refused };

// Opens (creating when needed) the file for appending; false when it cannot be opened,
// which changes nothing else. A relative path is taken from the current folder now.
bool OpenRunLog(const wchar_t* path);
void CloseRunLog();
// The full path of the open log; empty when there is none.
const std::wstring& RunLogPath();

void LogAction(const std::wstring& text);
// Logs what failed with the Windows error code and the system's message for it, and
// counts it for the exit code: access denied as refused, any other error as failed.
void LogFailure(const std::wstring& what, DWORD error);
// Counts a failure that has no Windows error code of its own.
void NoteRunFailure(RunFailure failure);
RunFailure WorstRunFailure();

// "HKLM\Software\Tervix" and the like, with " (32-bit view)" for that view.
std::wstring RegistryName(HKEY root, const std::wstring& path, REGSAM view);

}  // namespace tvx
