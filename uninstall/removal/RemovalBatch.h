#pragma once
// The batch that removes the program file and the install folder after the program exits.

#include <cstdio>

namespace tvx {

void WriteRemovalBatch(const wchar_t* programPath, const wchar_t* installFolder);
void WriteBatchLine(FILE* file, const wchar_t* line);
// The lines of the batch. A path is written so that the command interpreter, which reads
// the batch in the OEM code page, reads back exactly that path; the commands that need
// a path that cannot be written so are left out. False when that left out the program
// file or the install folder, which then stay.
// With a log path, the batch appends what it did to that run log.
bool WriteBatchLines(FILE* file, const wchar_t* programPath, const wchar_t* installFolder, const wchar_t* batchPath,
                     bool silent, const wchar_t* logPath = nullptr);

}  // namespace tvx
