#pragma once
// "New" menu entries of ".tvx" and ".zip", backed by template files in the program folder.

#include <cstddef>

namespace tvx {

bool IsNewMenuWanted(bool shellExtension, bool isNative, bool isZip);
// The previous "ShellNew" entry of an extension in its backup form: a path, "*" for
// "NullFile", or empty.
void CaptureShellNew(const wchar_t* extension, wchar_t* backup, size_t size);
void CreateShellNewEntry(const wchar_t* extension, bool isNative);
void RestoreShellNewEntry(const wchar_t* extension, bool existed);
// Writes the template file when it is missing or of the wrong length; returns its path.
bool WriteTemplateFile(bool isNative, wchar_t* path, size_t size);

}  // namespace tvx
