#pragma once
// The language file "uninstall.lng": translations of every text by key, loaded once.

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace tvx {

struct KnownKey {
    const char* name;  // kind prefix, colon, key: "s:IDS_BETA", "$SETUPDLG:IDC_ASSOCZIP"
    uint32_t id;       // string id or control id; 0 for SIZE and CAPTION
};
// Every key the program asks for, in the fixed order.
extern const KnownKey KnownKeyTable[];
extern const size_t KnownKeyCount;

enum LookupKind { kKindString = 0, kKindDialog = 1, kKindMenu = 2 };

void LoadLanguage(const wchar_t* fileName);
void ParseLanguageFile(const wchar_t* path);
bool LookupKeyValue(const char* name, wchar_t* buffer, size_t size);
bool LookupById(int kind, uint32_t id, const wchar_t* container, wchar_t* buffer, size_t size);
bool IsRightToLeft();
void SetRightToLeft(bool value);
// Frees every entry (process exit, and tests).
void ReleaseLanguage();

// The stored entries in file order: for the reference-file check and the tests.
size_t LanguageEntryCount();
const char* LanguageEntryName(size_t index);

}  // namespace tvx
