#pragma once
// Writing language files the way translators save them, and reading back what the
// program stored from them.

#include <windows.h>

#include <optional>
#include <string>

#include "TestSupport.h"
#include "lang/Language.h"

namespace tvxtest {

// Writes the bytes as a language file in the sandbox and parses it into a fresh
// language state.
inline void ParseBytes(const TempFolder& sandbox, const std::string& bytes, const wchar_t* name = L"uninstall.lng") {
    std::wstring path = sandbox / name;
    WriteFileBytes(path, bytes);
    tvx::ReleaseLanguage();
    tvx::ParseLanguageFile(path.c_str());
}

inline std::optional<std::wstring> Value(const char* name) {
    static wchar_t buffer[65536 + 16];
    if (!tvx::LookupKeyValue(name, buffer, sizeof(buffer) / sizeof(buffer[0]))) return std::nullopt;
    return std::wstring(buffer);
}

inline std::optional<std::wstring> ValueById(int kind, uint32_t id, const wchar_t* container = nullptr) {
    wchar_t buffer[1024];
    if (!tvx::LookupById(kind, id, container, buffer, 1024)) return std::nullopt;
    return std::wstring(buffer);
}

// Releases the language state when a test ends, whatever it loaded.
struct LanguageReset {
    LanguageReset() { tvx::ReleaseLanguage(); }
    ~LanguageReset() { tvx::ReleaseLanguage(); }
};

}  // namespace tvxtest
