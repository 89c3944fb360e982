#pragma once
// The batch that removes the program file and the install folder after the program exits.

#include <windows.h>

#include <cstdio>

namespace tvx {

void WriteRemovalBatch(const wchar_t* programPath, const wchar_t* installFolder);
void WriteBatchLine(FILE* file, const wchar_t* line);
// The lines of the batch, in the given code page (the OEM one, which the command
// interpreter reads). A path is written so that the interpreter reads back exactly that
// path; the commands that need a path that cannot be written so are left out. False
// when that left out the program file or the install folder, which then stay.
// With a log path, the batch appends what it did to that run log.
bool WriteBatchLines(FILE* file, const wchar_t* programPath, const wchar_t* installFolder, const wchar_t* batchPath,
                     bool silent, const wchar_t* logPath = nullptr, UINT codePage = CP_OEMCP);

}  // namespace tvx
