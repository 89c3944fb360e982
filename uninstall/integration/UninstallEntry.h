#pragma once
// The Add/Remove Programs entry "Tervix archiver".

#include <cstddef>

namespace tvx {

void WriteUninstallEntry();
void ComposeDisplayName(wchar_t* buffer, size_t capacity);

}  // namespace tvx
