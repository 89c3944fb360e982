#pragma once
// Path routines on wide strings in caller buffers (sizes in characters, terminator
// included). "\" and "/" both split a path; only "\" is ever added.

#include <windows.h>

#include <cstddef>

#include "platform/Strings.h"

namespace tvx {

const wchar_t* FileNamePart(const wchar_t* path);
wchar_t* FileNamePart(wchar_t* path);
void RemoveFileName(wchar_t* path);
void ReplaceFileName(wchar_t* path, const wchar_t* newName, size_t size);
void FolderPart(const wchar_t* path, wchar_t* output, size_t size);
size_t AppendSeparator(wchar_t* path, size_t size);
void JoinPath(const wchar_t* folder, const wchar_t* name, wchar_t* output, size_t size);
const wchar_t* LastCharacter(const wchar_t* path);

// Full path of the running program file, and its folder (without trailing separator).
void GetProgramPath(wchar_t* output, size_t size);
void GetProgramFolder(wchar_t* output, size_t size);
// A file of the Windows system folder by its full path, so that nothing of the same
// name elsewhere (the program's folder, the current one) is taken for it; false when
// the system folder cannot be told.
bool GetSystemFilePath(const wchar_t* name, wchar_t* output, size_t size);
// For the rest of the run the program's file counts as lying in folder: a copy of the
// program that runs elsewhere (Windows Installer runs the one in its package to remove
// the integration) then acts on the install in that folder as the program there would.
void ActForInstallFolder(const wchar_t* folder);

bool HasDriveLetter(const wchar_t* path);
bool IsFullPath(const wchar_t* path);
bool HasWildcards(const wchar_t* path);

// The canonical "\\?\" (or "\\?\UNC\") form of a path, full or relative to the current
// folder: "/" becomes "\", "." and ".." components are resolved (never above the drive or
// share), trailing dots and blanks of names are kept. Used only as the second attempt
// of a failed file operation. False when it does not fit in size.
bool MakeLongPathForm(const wchar_t* path, wchar_t* output, size_t size);

// The name a file operation tries first, before its long form: the name itself. A test
// can make every first attempt fail, as a name beyond MAX_PATH does on Windows, so that
// the long-form retries are exercised under Wine, which has no such limit.
const wchar_t* PlainAttemptName(const wchar_t* name);
void FailPlainAttemptsForTest(bool fail);

// Room for the long form of any path: the path itself, "\\?\UNC" and a current folder
// that a relative path is joined to.
inline constexpr size_t kLongPathCapacity = 2 * kPathCapacity + 16;

// Every file operation by name goes through here: the operation runs on the name as
// given and, when it fails, once more on the long form of the name. It returns whether
// it succeeded. GetLastError() tells the error of the last attempt; with no long form
// to try it is the first attempt's. A name that the system would change (a trailing dot
// or blank, which it strips) can skip the first attempt: with no long form either, the
// error is ERROR_INVALID_NAME.
template <typename Operation>
bool WithLongPathRetry(const wchar_t* name, Operation&& operation, bool tryAsGiven = true) {
    if (tryAsGiven && operation(PlainAttemptName(name))) return true;
    const DWORD error = tryAsGiven ? GetLastError() : ERROR_INVALID_NAME;
    wchar_t longForm[kLongPathCapacity];
    if (!MakeLongPathForm(name, longForm, kLongPathCapacity)) {
        SetLastError(error);
        return false;
    }
    return operation(static_cast<const wchar_t*>(longForm));
}

// The same for an operation on two names (a move, a replace): the retry takes both in
// their long form.
template <typename Operation>
bool WithLongPathRetry(const wchar_t* first, const wchar_t* second, Operation&& operation) {
    if (operation(PlainAttemptName(first), PlainAttemptName(second))) return true;
    const DWORD error = GetLastError();
    wchar_t longFirst[kLongPathCapacity], longSecond[kLongPathCapacity];
    if (!MakeLongPathForm(first, longFirst, kLongPathCapacity) ||
        !MakeLongPathForm(second, longSecond, kLongPathCapacity)) {
        SetLastError(error);
        return false;
    }
    return operation(static_cast<const wchar_t*>(longFirst), static_cast<const wchar_t*>(longSecond));
}

void GetUserDataFolder(wchar_t* output, size_t size, bool create);
bool GetRoamingProductFolder(wchar_t* output, size_t size, bool create);
void FindUserFile(const wchar_t* fileName, wchar_t* output, size_t size, bool search, bool create);

}  // namespace tvx
