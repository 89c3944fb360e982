#pragma once
// Path routines on wide strings in caller buffers (sizes in characters, terminator
// included). "\" and "/" both split a path; only "\" is ever added.

#include <windows.h>

#include <cstddef>

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

void GetUserDataFolder(wchar_t* output, size_t size, bool create);
bool GetRoamingProductFolder(wchar_t* output, size_t size, bool create);
void FindUserFile(const wchar_t* fileName, wchar_t* output, size_t size, bool search, bool create);

}  // namespace tvx
