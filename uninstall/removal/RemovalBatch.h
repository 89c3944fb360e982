#pragma once
// The batch that deletes the program file, and the install folder when the program
// file could not leave it, after the program has ended.

#include <windows.h>

#include <cstdio>

#include "removal/SelfRemoval.h"

namespace tvx {

// Writes "Uninstall_Tvx.Bat" as a new file into the private folder and starts it; once
// the batch has ended, its interpreter deletes it and removes that folder. Without a
// batch, what it would have deleted stays: the run fails and, unless silent, the user
// is told.
void WriteRemovalBatch(const SelfRemoval& removal, const wchar_t* installFolder);
void WriteBatchLine(FILE* file, const wchar_t* line);
// The lines of the batch, in the given code page (the OEM one, which the command
// interpreter reads): the program file is deleted, and then installFolder when given
// (may be null). A path is written so that the interpreter reads back exactly that
// path; the commands that need a path that cannot be written so are left out. False
// when that left out the program file or the install folder, which then stay. With a
// log path, the batch appends what it did to that run log.
bool WriteBatchLines(FILE* file, const wchar_t* programPath, const wchar_t* installFolder, bool silent,
                     const wchar_t* logPath = nullptr, UINT codePage = CP_OEMCP);

}  // namespace tvx
