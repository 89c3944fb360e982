#pragma once
// The Add/Remove Programs entry "Tervix archiver".

#include <cstddef>

namespace tvx {

void WriteUninstallEntry();
void ComposeDisplayName(wchar_t* buffer, size_t capacity);
// "6.24.1": major, two-digit minor, build.
const wchar_t* ProgramVersionText();

}  // namespace tvx
