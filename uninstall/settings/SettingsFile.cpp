#include "settings/SettingsFile.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/DiskFile.h"
#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "settings/Settings.h"
#include "settings/TextFileReader.h"

namespace tvx {
namespace {

constexpr wchar_t kBinaryPrefix[] = L"bin:";
constexpr size_t kBinaryPrefixLength = 4;

struct SettingEntry {
    std::wstring name;
    std::wstring value;
    SettingKind kind;
    // The user's lines that stood directly above this entry in the file (comments,
    // section lines, blank lines), each ended by CR LF. They move with the entry when
    // the entries are sorted on a save.
    std::wstring linesAbove;
    bool fromFile = false;
};

// Insertion order is kept so that duplicates read from a file resolve to the first one.
struct SettingsCache {
    std::vector<SettingEntry> entries;
    // The user's lines after the last entry; they stay last.
    std::wstring linesBelow;
    bool loaded = false;
    bool attempted = false;
    bool recreationSuppressed = false;
    // Every byte of the file became text. A file read only in part is never written
    // back: the save would cut off what was not read.
    bool readWhole = false;
    // An entry was set to something new or removed since the load or the last save.
    bool changed = false;
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

// False for a line that holds no entry; such a line is kept as the user wrote it.
bool ParseEntry(const wchar_t* raw, SettingEntry& entry) {
    std::wstring line = raw;
    while (!line.empty() && (line.back() == L' ' || line.back() == L'\t')) line.pop_back();
    if (!IsAsciiLetter(line[0])) return false;
    size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) return false;
    entry = SettingEntry{line.substr(0, equals), {}, SettingKind::Plain, {}, true};
    const wchar_t* value = line.c_str() + equals + 1;
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
    return true;
}

void ParseLines(StringList& lines, SettingsCache& cache) {
    std::wstring pending;
    const wchar_t* line = nullptr;
    while (lines.NextString(&line)) {
        SettingEntry entry;
        if (!ParseEntry(line, entry)) {
            pending += line;
            pending += L"\r\n";
            continue;
        }
        entry.linesAbove = std::move(pending);
        pending.clear();
        cache.entries.push_back(std::move(entry));
    }
    cache.linesBelow = std::move(pending);
}

void ReadSwitchesAndWriteBack() {
    PortableSwitches& switches = Switches();
    bool missing = FindSettingEntry(L"Global\\AppData") == nullptr ||
                   FindSettingEntry(L"Global\\Integration") == nullptr ||
                   FindSettingEntry(L"Global\\SaveSettings") == nullptr;
    switches.appData = ReadSettingInt(kNullRoot, L"Global", L"AppData", 1) != 0;
    switches.integration = ReadSettingInt(kNullRoot, L"Global", L"Integration", 1) != 0;
    switches.saveSettings = ReadSettingInt(kNullRoot, L"Global", L"SaveSettings", 1) != 0;
    // Written back so that a saved file always shows the user which switches exist.
    WriteSettingInt(kNullRoot, L"Global", L"AppData", switches.appData ? 1 : 0);
    WriteSettingInt(kNullRoot, L"Global", L"Integration", switches.integration ? 1 : 0);
    WriteSettingInt(kNullRoot, L"Global", L"SaveSettings", switches.saveSettings ? 1 : 0);
    // Only a missing switch is a reason to save: a run that sets nothing else leaves a
    // file that already shows all three as the user wrote it.
    Cache().changed = missing;
}

void LoadFile(const wchar_t* path) {
    SettingsCache& cache = Cache();
    if (cache.attempted) return;
    cache.attempted = true;
    CopyText(cache.filePath, path, kPathCapacity);
    if (cache.filePath[0] == L'\0') return;

    try {
        StringList lines;
        TextReadOptions options;
        options.keepEveryLine = true;
        bool whole = false;
        if (!ReadTextFile(cache.filePath, lines, options, &whole)) return;
        cache.readWhole = whole;
        ParseLines(lines, cache);
    } catch (...) {
        // Running out of memory on a huge file must not cost the user every setting:
        // keep what was parsed so far and go on in portable mode, without ever saving.
        cache.readWhole = false;
        Errors().Report(FileError::Memory);
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

std::wstring FormatSettingsFile(const SettingsCache& cache) {
    const std::vector<SettingEntry>& entries = cache.entries;
    std::vector<const SettingEntry*> sorted;
    sorted.reserve(entries.size());
    for (const SettingEntry& entry : entries) sorted.push_back(&entry);
    // std::wstring compares UTF-16 code units as unsigned values: the ordinal order.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const SettingEntry* a, const SettingEntry* b) { return a->name < b->name; });
    std::wstring text(1, static_cast<wchar_t>(0xFEFF));
    for (const SettingEntry* entry : sorted) {
        text += entry->linesAbove;
        AppendLine(text, *entry);
    }
    text += cache.linesBelow;
    return text;
}

// A name in the same folder and of the same length as the real one, so that it fits
// wherever the real path fits: the file name's first characters become "~", "~1",
// "~2" and so on. Those characters have no case, so a candidate equals the real name
// only when it is the real name; a name that is already taken is passed over.
bool MakeTemporaryPath(const wchar_t* path, wchar_t* temporary, size_t size) {
    CopyText(temporary, path, size);
    wchar_t* name = FileNamePart(temporary);
    const wchar_t* realName = FileNamePart(path);
    size_t length = std::wcslen(name);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        wchar_t marker[4];
        FormatText(marker, 4, attempt == 0 ? L"~" : L"~%u", attempt);
        size_t markerLength = std::wcslen(marker);
        if (markerLength > length) return false;
        std::wmemcpy(name, realName, length);
        std::wmemcpy(name, marker, markerLength);
        if (std::wcscmp(temporary, path) != 0 && !FileExists(temporary)) return true;
    }
    return false;
}

// The new contents are on the disk, not only in the system's cache, before they take
// the real file's place: a power cut just after the replace must not leave an empty
// file under the real name.
bool WriteDurably(const wchar_t* temporary, const std::wstring& text) {
    DiskFile file;
    if (!file.Create(temporary, kCreateShareRead)) return false;
    // The object deletes a file it created and that was never closed.
    if (!file.Write(text.data(), text.size() * sizeof(wchar_t))) return false;
    if (!FlushFileBuffers(file.handle)) return false;
    if (!file.Close()) {
        DeleteFileLong(temporary);
        return false;
    }
    return true;
}

bool ReplaceOnce(const wchar_t* temporary, const wchar_t* target) {
    // A file deleted since it was loaded is simply put back.
    if (GetFileAttributesW(target) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND) {
        return MoveFileExW(temporary, target, MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    // A file held open without sharing (an editor, a virus scanner) cannot be replaced.
    // Asking first spares Wine's ReplaceFileW, which leaves a file of its own behind in
    // the folder when it fails.
    UniqueFileHandle probe(CreateFileW(target, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
    if (!probe) return false;
    probe.reset();
    // ReplaceFileW keeps the real file's security, creation time and short name, which
    // a rename over it would lose.
    if (ReplaceFileW(target, temporary, nullptr, 0, nullptr, nullptr)) return true;
    // Without a backup name this error means that the old file is already gone and the
    // new one still has its temporary name: the rename is finished by hand.
    return GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT &&
           MoveFileExW(temporary, target, MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool ReplaceWithTemporary(const wchar_t* temporary, const wchar_t* target) {
    return WithLongPathRetry(temporary, target, ReplaceOnce);
}

// Windows' ReplaceFileW keeps the attributes of the file it replaces, Wine's drops the
// hidden one: a file the user hid or marked as a system file must not come back
// visible, whichever system runs the save.
void CarryAttributes(const wchar_t* path, DWORD original) {
    constexpr DWORD kCarried = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    constexpr DWORD kSettable = kCarried | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;
    DWORD now = GetAttributesLong(path);
    if (now == INVALID_FILE_ATTRIBUTES || (now & kCarried) == (original & kCarried)) return;
    DWORD wanted = ((now & ~kCarried) | (original & kCarried)) & kSettable;
    SetAttributesLong(path, wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
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
    SettingsCache& cache = Cache();
    const wchar_t* text = value != nullptr ? value : L"";
    for (SettingEntry& entry : cache.entries) {
        if (entry.name == name) {
            // Setting what is already there is no change: the file is not rewritten for it.
            if (entry.value == text && entry.kind == kind) return;
            entry.value = text;
            entry.kind = kind;
            cache.changed = true;
            return;
        }
    }
    cache.entries.push_back(SettingEntry{name, text, kind, {}, false});
    cache.changed = true;
}

// The user's lines above a removed entry stay in the file: they go to the entry that
// followed it in the file, or below the last entry.
void RemoveSettingEntries(const wchar_t* name, bool prefix) {
    SettingsCache& cache = Cache();
    size_t length = std::wcslen(name);
    std::vector<SettingEntry> kept;
    std::wstring orphaned;
    for (SettingEntry& entry : cache.entries) {
        if (prefix ? HasPrefix(entry.name, name, length) : entry.name == name) {
            orphaned += entry.linesAbove;
            cache.changed = true;
            continue;
        }
        if (!orphaned.empty() && entry.fromFile) {
            entry.linesAbove.insert(0, orphaned);
            orphaned.clear();
        }
        kept.push_back(std::move(entry));
    }
    if (kept.size() == cache.entries.size()) return;
    cache.linesBelow.insert(0, orphaned);
    cache.entries = std::move(kept);
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
    // With nothing set or removed the file stays byte for byte as the user left it; a
    // file read only in part stays whole on the disk.
    if (!cache.changed || !cache.readWhole) return false;
    if (cache.recreationSuppressed && !FileExists(cache.filePath)) return false;

    // A user who made the file read-only wants it kept as it is. Windows refuses to
    // replace such a file, but not every system that runs this program does.
    DWORD attributes = GetAttributesLong(cache.filePath);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;

    wchar_t temporary[kPathCapacity];
    if (!MakeTemporaryPath(cache.filePath, temporary, kPathCapacity)) return false;
    if (!WriteDurably(temporary, FormatSettingsFile(cache))) return false;
    if (!ReplaceWithTemporary(temporary, cache.filePath)) {
        // With the real file gone the temporary one holds the only copy of the settings.
        if (FileExists(cache.filePath)) DeleteFileLong(temporary);
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) CarryAttributes(cache.filePath, attributes);
    cache.changed = false;
    return true;
}

void ReleaseSettingsFile() {
    SettingsCache& cache = Cache();
    cache.entries.clear();
    cache.entries.shrink_to_fit();
    cache.linesBelow.clear();
    cache.readWhole = false;
    cache.changed = false;
    cache.loaded = false;
    cache.attempted = false;
    cache.recreationSuppressed = false;
    cache.filePath[0] = L'\0';
}

void SuppressSettingsFileRecreation() { Cache().recreationSuppressed = true; }

}  // namespace tvx
