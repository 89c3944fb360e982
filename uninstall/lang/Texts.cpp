#include "lang/Texts.h"

#include <cwchar>
#include <string>

#include "lang/Language.h"
#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace tvx {
namespace {

constexpr size_t kTextCapacity = 1024;
constexpr int kTextBufferCount = 8;

// Build switch for taking the language file and the resource library from a separate
// language folder ("General"\"LanguageFolder"). Released builds carry it switched off;
// turning it on means changing the digit to 1.
constexpr wchar_t kLanguageFolderSwitch[] = L"LngFolder0";

HMODULE programModule = nullptr;
UniqueModule resourceLibrary;

wchar_t textBuffers[kTextBufferCount][kTextCapacity];
int lastTextBuffer = 0;

bool LanguageFolderSwitchOn() { return wcschr(kLanguageFolderSwitch, L'1') != nullptr; }

bool IsDataFileCapable() {
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return false;
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return false;
    return version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.wServicePackMajor >= 2);
}

}  // namespace

HMODULE ProgramModule() { return programModule ? programModule : GetModuleHandleW(nullptr); }

HMODULE ResourceModule() { return resourceLibrary ? resourceLibrary.get() : ProgramModule(); }

HMODULE DialogModule(const wchar_t* templateName) {
    if (resourceLibrary && FindResourceW(resourceLibrary.get(), templateName, RT_DIALOG)) return resourceLibrary.get();
    return ProgramModule();
}

void ResolveInLanguageFolder(const wchar_t* source, wchar_t* destination, size_t size) {
    if (size == 0) return;
    if (source != destination) CopyText(destination, source, size);
    if (!LanguageFolderSwitchOn()) return;

    UniqueHkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tervix\\General", 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    // The folder may take what the file's own path leaves of a full-size path.
    size_t sourceLength = wcslen(source);
    if (sourceLength >= kPathCapacity - 1) return;
    std::wstring folder(kPathCapacity - 1 - sourceLength, L'\0');
    DWORD bytes = static_cast<DWORD>(folder.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), L"LanguageFolder", nullptr, nullptr, reinterpret_cast<BYTE*>(folder.data()),
                         &bytes) != ERROR_SUCCESS)
        return;
    folder.resize(wcsnlen(folder.c_str(), folder.size()));

    wchar_t candidate[kPathCapacity];
    DWORD length = ExpandEnvironmentStringsW(folder.c_str(), candidate, kPathCapacity);
    if (length == 0 || length > kPathCapacity) return;
    std::wstring path = candidate;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    path += FileNamePart(source);
    if (path.size() >= kPathCapacity) return;
    if (FileExists(path.c_str())) CopyText(destination, path.c_str(), size);
}

void LoadResourceLibrary(HMODULE module) {
    FreeResourceLibrary();
    programModule = module;

    wchar_t path[kPathCapacity] = {};
    DWORD length = GetModuleFileNameW(module, path, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return;
    ReplaceFileName(path, L"tvxlng.dll", kPathCapacity);
    ResolveInLanguageFolder(path, path, kPathCapacity);

    // As a data file none of the library's code runs; only systems too old for that
    // flag load it as an ordinary library.
    if (IsDataFileCapable()) {
        resourceLibrary.reset(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    } else {
        resourceLibrary.reset(LoadLibraryW(path));
    }
}

void FreeResourceLibrary() { resourceLibrary.reset(); }

bool HasRtlResource() {
    if (!FindResourceW(ResourceModule(), L"RTL", RT_DIALOG)) return false;
    SetRightToLeft(true);
    return true;
}

wchar_t* LoadTextInto(UINT id, wchar_t* buffer, size_t size) {
    if (size == 0) return buffer;
    buffer[0] = L'\0';
    // An entry of the language file wins even when its text is empty.
    if (LookupById(kKindString, id, nullptr, buffer, size)) return buffer;
    int capacity = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    if (LoadStringW(ResourceModule(), id, buffer, capacity) > 0) return buffer;
    if (ResourceModule() != ProgramModule() && LoadStringW(ProgramModule(), id, buffer, capacity) > 0) return buffer;
    buffer[0] = L'\0';
    return buffer;
}

const wchar_t* LoadText(UINT id) {
    lastTextBuffer = (lastTextBuffer + 1) % kTextBufferCount;
    return LoadTextInto(id, textBuffers[lastTextBuffer], kTextCapacity);
}

void InsertArgument(const wchar_t* text, const wchar_t* argument, wchar_t* destination, size_t size) {
    std::wstring result = text;
    const size_t at = result.find(L"%s");
    if (at != std::wstring::npos) result.replace(at, 2, argument);
    CopyText(destination, result.c_str(), size);
}

}  // namespace tvx
