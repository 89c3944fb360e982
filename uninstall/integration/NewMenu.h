#pragma once
// "New" menu entries of ".tvx" and ".zip", backed by template files in the program folder.

#include <cstddef>

#include "settings/Settings.h"

namespace tvx {

struct PreviousOwner;
struct RegistryValue;

bool IsNewMenuWanted(bool shellExtension, bool isNative, bool isZip);
// The key of an extension's "New" menu entry: ".zip" gives ".zip\\ShellNew".
void ShellNewKeyOf(const wchar_t* extension, wchar_t* key, size_t size);
// Tervix's own entry: a "FileName" that names one of the template files in this
// program's folder or in another install folder of Tervix, in whatever form of the
// path (short names, "\\?\"), so that it is never taken for another program's.
bool IsTervixShellNewValue(const RegistryValue& value);
// The entries below are those in the classes of the scope.
bool HasTervixShellNewEntry(const wchar_t* extension, Scope scope);
// Puts Tervix's entry in place of whatever is there; the owner of that must have been
// recorded first.
void CreateShellNewEntry(const wchar_t* extension, bool isNative, Scope scope);
// Gives the entry back to its previous owner (none when nothing was recorded: then
// only Tervix's own values go), when Tervix's entry is in place. True when nothing of
// Tervix's entry is left and every recorded value was written back.
bool RestoreShellNewEntry(const wchar_t* extension, const PreviousOwner* owner, Scope scope);
// Writes the template file when it is missing or of the wrong length; returns its path.
bool WriteTemplateFile(bool isNative, wchar_t* path, size_t size);
// Whether the template file in the program folder still holds the bytes setup writes;
// its path goes to path either way.
bool HoldsTemplateBytes(bool isNative, wchar_t* path, size_t size);

}  // namespace tvx
