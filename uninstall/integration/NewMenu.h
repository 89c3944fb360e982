#pragma once
// "New" menu entries of ".tvx" and ".zip", backed by template files in the program folder.

#include <cstddef>

namespace tvx {

bool IsNewMenuWanted(bool shellExtension, bool isNative, bool isZip);
// The key below the product key that records the previous owner of a class-root name
// (an extension or a volume name): "Setup\.zip" and the like.
void BackupKeyOf(const wchar_t* extension, wchar_t* key, size_t size);
// Records the "ShellNew" entry of an extension in its backup key, every value with its
// type and data. Tervix's own template entry is never recorded as a previous owner's:
// while it is in place and an older record exists, that record is kept.
void RecordShellNew(const wchar_t* extension, const wchar_t* backupKey, bool hasOlderRecord);
void CreateShellNewEntry(const wchar_t* extension, bool isNative);
// Gives the entry back to its previous owner, when Tervix's template entry is in place.
void RestoreShellNewEntry(const wchar_t* extension, bool existed);
// Writes the template file when it is missing or of the wrong length; returns its path.
bool WriteTemplateFile(bool isNative, wchar_t* path, size_t size);
// Whether the template file in the program folder still holds the bytes setup writes;
// its path goes to path either way.
bool HoldsTemplateBytes(bool isNative, wchar_t* path, size_t size);
// A single-key delete of a classes-root key that holds no value; one with subkeys stays.
void DeleteClassKeyIfEmpty(const wchar_t* key);

}  // namespace tvx
