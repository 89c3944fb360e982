#pragma once
// The resource library "tvxlng.dll", the language folder and the text lookup by
// string id that every other part uses.

#include <windows.h>

#include <cstddef>

namespace tvx {

HMODULE ProgramModule();
// The module every dialog, icon and string is loaded from: the resource library
// while it is loaded, else the program itself.
HMODULE ResourceModule();
// The module to create the dialog template from: the resource library when it holds
// that template, else the program, so that a library with strings only still shows
// every dialog.
HMODULE DialogModule(const wchar_t* templateName);

// The source path, or the same file name in the language folder when that override
// is on and the file exists there. Source and destination may be the same buffer.
void ResolveInLanguageFolder(const wchar_t* source, wchar_t* destination, size_t size);
void LoadResourceLibrary(HMODULE programModule);
void FreeResourceLibrary();
bool HasRtlResource();

// The text for a string id: language file, then resource library, then the program's
// own string table; empty when none has it.
wchar_t* LoadTextInto(UINT id, wchar_t* buffer, size_t size);
// One of eight rotating buffers of 1024 characters; valid until eight further calls.
const wchar_t* LoadText(UINT id);
// Puts the argument of a text in place of its first "%s". A translation is never a
// format: any other "%" stays as it is written.
void InsertArgument(const wchar_t* text, const wchar_t* argument, wchar_t* destination, size_t size);

}  // namespace tvx
