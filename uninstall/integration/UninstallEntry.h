#pragma once
// The Add/Remove Programs entry "Tervix archiver".

#include <cstddef>

namespace tvx {

// The entry's key below HKEY_LOCAL_MACHINE, as the settings store takes an absolute path.
inline constexpr wchar_t kUninstallEntryKey[] =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver";

// The values that list the product in Installed apps and start its uninstall. Setup
// writes them before anything else, so that whatever it goes on to install can be
// removed from there even when setup is ended half-way. False when the system refused
// the write with access denied: setup then stops before it changes anything.
bool BeginUninstallEntry();
// Every value of the entry; setup writes them once everything is applied.
void WriteUninstallEntry();
// The last thing the uninstall removes, once nothing of the product is left but what
// the next restart deletes.
void RemoveUninstallEntry();
void ComposeDisplayName(wchar_t* buffer, size_t capacity);
// "6.24.1": major, two-digit minor, build.
const wchar_t* ProgramVersionText();

}  // namespace tvx
