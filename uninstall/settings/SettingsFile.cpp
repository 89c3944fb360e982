#include "settings/SettingsFile.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/DiskFile.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "settings/Settings.h"
#include "settings/TextFileReader.h"

namespace tvx {
namespace {

constexpr wchar_t kSettingsFileName[] = L"Tervix.ini";
constexpr wchar_t kBinaryPrefix[] = L"bin:";
constexpr size_t kBinaryPrefixLength = 4;

struct SettingEntry {
    std::wstring name;
    std::wstring value;
    SettingKind kind;
};

// Insertion order is kept so that duplicates read from a file resolve to the first one.
struct SettingsCache {
    std::vector<SettingEntry> entries;
    bool loaded = false;
    bool attempted = false;
    bool recreationSuppressed = false;
    wchar_t filePath[kPathCapacity] = {};
};

SettingsCache& Cache() {
    static SettingsCache cache;
    return cache;
}

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool HasPrefix(const std::wstring& text, const wchar_t* prefix, size_t prefixLength) {
    return text.size() >= prefixLength && text.compare(0, prefixLength, prefix, prefixLength) == 0;
}

// Next to the program first, so that a copy of the product on a removable drive
// carries its settings; otherwise the user's "Tervix" data folder, but only when it
// already exists: looking must not leave a folder behind.
void LocateSettingsFile(wchar_t* path, size_t size) {
    GetProgramPath(path, size);
    ReplaceFileName(path, kSettingsFileName, size);
    if (path[0] != L'\0' && FileExists(path)) return;
    path[0] = L'\0';
    wchar_t folder[kPathCapacity];
    if (GetRoamingProductFolder(folder, kPathCapacity, false)) JoinPath(folder, kSettingsFileName, path, size);
    if (path[0] != L'\0' && !FileExists(path)) path[0] = L'\0';
}

void ParseLine(const wchar_t* line, std::vector<SettingEntry>& entries) {
    if (!IsAsciiLetter(line[0])) return;
    const wchar_t* equals = std::wcschr(line, L'=');
    if (equals == nullptr) return;
    SettingEntry entry{std::wstring(line, equals), {}, SettingKind::Plain};
    const wchar_t* value = equals + 1;
    if (value[0] == L'"') {
        entry.kind = SettingKind::Quoted;
        entry.value = value + 1;
        if (!entry.value.empty() && entry.value.back() == L'"') entry.value.pop_back();
    } else if (std::wcsncmp(value, kBinaryPrefix, kBinaryPrefixLength) == 0) {
        entry.kind = SettingKind::Binary;
        entry.value = value + kBinaryPrefixLength;
    } else {
        entry.value = value;
    }
    entries.push_back(std::move(entry));
}

void ReadSwitchesAndWriteBack() {
    PortableSwitches& switches = Switches();
    switches.appData = ReadSettingInt(kNullRoot, L"Global", L"AppData", 1) != 0;
    switches.integration = ReadSettingInt(kNullRoot, L"Global", L"Integration", 1) != 0;
    switches.saveSettings = ReadSettingInt(kNullRoot, L"Global", L"SaveSettings", 1) != 0;
    // Written back so that a saved file always shows the user which switches exist.
    WriteSettingInt(kNullRoot, L"Global", L"AppData", switches.appData ? 1 : 0);
    WriteSettingInt(kNullRoot, L"Global", L"Integration", switches.integration ? 1 : 0);
    WriteSettingInt(kNullRoot, L"Global", L"SaveSettings", switches.saveSettings ? 1 : 0);
}

void LoadFile(const wchar_t* path) {
    SettingsCache& cache = Cache();
    if (cache.attempted) return;
    cache.attempted = true;
    CopyText(cache.filePath, path, kPathCapacity);
    if (cache.filePath[0] == L'\0') return;

    try {
        StringList lines;
        if (!ReadTextFile(cache.filePath, lines)) return;
        const wchar_t* line = nullptr;
        while (lines.NextString(&line)) ParseLine(line, cache.entries);
    } catch (...) {
        // Running out of memory on a huge file must not cost the user every setting:
        // keep what was parsed so far and go on in portable mode.
        Errors().SetCode(kExitMemory);
    }
    cache.loaded = true;
    ReadSwitchesAndWriteBack();
}

void AppendLine(std::wstring& text, const SettingEntry& entry) {
    text += entry.name;
    text += L'=';
    switch (entry.kind) {
        case SettingKind::Quoted:
            text += L'"';
            text += entry.value;
            text += L'"';
            break;
        case SettingKind::Binary:
            text += kBinaryPrefix;
            text += entry.value;
            break;
        default:
            text += entry.value;
            break;
    }
    text += L"\r\n";
}

std::wstring FormatSettingsFile(const std::vector<SettingEntry>& entries) {
    std::vector<const SettingEntry*> sorted;
    sorted.reserve(entries.size());
    for (const SettingEntry& entry : entries) sorted.push_back(&entry);
    // std::wstring compares UTF-16 code units as unsigned values: the ordinal order.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const SettingEntry* a, const SettingEntry* b) { return a->name < b->name; });
    std::wstring text(1, static_cast<wchar_t>(0xFEFF));
    for (const SettingEntry* entry : sorted) AppendLine(text, *entry);
    return text;
}

bool ReplaceFileWith(const wchar_t* source, const wchar_t* target) {
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExW(source, target, kFlags)) return true;
    wchar_t longSource[kPathCapacity];
    wchar_t longTarget[kPathCapacity];
    if (!MakeLongPathForm(source, longSource, kPathCapacity) || !MakeLongPathForm(target, longTarget, kPathCapacity)) {
        return false;
    }
    return MoveFileExW(longSource, longTarget, kFlags) != FALSE;
}

}  // namespace

PortableSwitches& Switches() {
    static PortableSwitches switches;
    return switches;
}

void EnsureSettingsFileLoaded() {
    if (Cache().attempted) return;
    wchar_t path[kPathCapacity];
    LocateSettingsFile(path, kPathCapacity);
    LoadFile(path);
}

void LoadSettingsFileFrom(const wchar_t* path) { LoadFile(path != nullptr ? path : L""); }

bool SettingsFileLoaded() { return Cache().loaded; }

const wchar_t* SettingsFilePath() { return Cache().filePath; }

bool MapsToSettingsFile(HKEY root, const wchar_t* key) {
    EnsureSettingsFileLoaded();
    if (!Cache().loaded) return false;
    if (root != kNullRoot && root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE) return false;
    return key == nullptr || key[0] != L'\\';
}

const wchar_t* FindSettingEntry(const wchar_t* name) {
    for (const SettingEntry& entry : Cache().entries) {
        if (entry.name == name) return entry.value.c_str();
    }
    return nullptr;
}

void SetSettingEntry(const wchar_t* name, const wchar_t* value, SettingKind kind) {
    std::vector<SettingEntry>& entries = Cache().entries;
    const wchar_t* text = value != nullptr ? value : L"";
    for (SettingEntry& entry : entries) {
        if (entry.name == name) {
            entry.value = text;
            entry.kind = kind;
            return;
        }
    }
    entries.push_back(SettingEntry{name, text, kind});
}

void RemoveSettingEntries(const wchar_t* name, bool prefix) {
    size_t length = std::wcslen(name);
    std::erase_if(Cache().entries, [&](const SettingEntry& entry) {
        return prefix ? HasPrefix(entry.name, name, length) : entry.name == name;
    });
}

bool AnySettingEntryWithPrefix(const wchar_t* name) {
    size_t length = std::wcslen(name);
    const std::vector<SettingEntry>& entries = Cache().entries;
    return std::any_of(entries.begin(), entries.end(),
                       [&](const SettingEntry& entry) { return HasPrefix(entry.name, name, length); });
}

// The new contents go to a file beside the old one and replace it only once they are
// completely on disk: a crash or a full disk half-way must not leave a truncated file
// in place of the user's settings.
bool SaveSettingsFile() {
    SettingsCache& cache = Cache();
    if (!cache.loaded || !Switches().saveSettings) return false;
    if (cache.recreationSuppressed && !FileExists(cache.filePath)) return false;

    // A user who made the file read-only wants it kept as it is. Windows refuses to
    // replace such a file, but not every system that runs this program does.
    DWORD attributes = GetAttributesLong(cache.filePath);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;

    std::wstring text = FormatSettingsFile(cache.entries);
    wchar_t temporary[kPathCapacity];
    CopyText(temporary, cache.filePath, kPathCapacity);
    AppendText(temporary, L".tmp", kPathCapacity);

    DiskFile file;
    if (!file.Create(temporary, kCreateShareRead)) return false;
    // A file that is not completely written is deleted when the object goes.
    if (!file.Write(text.data(), text.size() * sizeof(wchar_t))) return false;
    if (!file.Close()) {
        DeleteFileLong(temporary);
        return false;
    }
    if (!ReplaceFileWith(temporary, cache.filePath)) {
        DeleteFileLong(temporary);
        return false;
    }
    return true;
}

void ReleaseSettingsFile() {
    SettingsCache& cache = Cache();
    cache.entries.clear();
    cache.entries.shrink_to_fit();
    cache.loaded = false;
    cache.attempted = false;
    cache.recreationSuppressed = false;
    cache.filePath[0] = L'\0';
}

void SuppressSettingsFileRecreation() { Cache().recreationSuppressed = true; }

}  // namespace tvx
