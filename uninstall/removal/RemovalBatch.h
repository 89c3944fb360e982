#pragma once
// The batch that removes the program file and the install folder after the program exits.

#include <cstdio>

namespace tvx {

void WriteRemovalBatch(const wchar_t* programPath, const wchar_t* installFolder);
void WriteBatchLine(FILE* file, const wchar_t* line);

}  // namespace tvx
