#include "settings/Settings.h"

#include <cwchar>
#include <string>
#include <vector>

#include "platform/Account.h"
#include "platform/Owner.h"
#include "platform/RunLog.h"
#include "platform/Strings.h"
#include "settings/SettingsFile.h"

namespace tvx {
namespace {

// Capacities of the composed names, terminator included. A longer name is cut here,
// never passed on whole.
constexpr size_t kRegistryPathCapacity = 512;
constexpr size_t kEntryNameCapacity = 1024;
constexpr size_t kTempFolderCapacity = 2048;
// A key name has at most 255 characters, so every subkey fits.
constexpr DWORD kSubkeyNameCapacity = 256;

REGSAM registryView = 0;
std::wstring refusedWriteName;
HKEY refusedRoot = nullptr;
LONG refusalError = ERROR_SUCCESS;

const wchar_t* OrEmpty(const wchar_t* text) { return text ? text : L""; }

bool IsProductHive(HKEY root) { return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE; }

void CutTo(std::wstring& text, size_t capacity) {
    if (text.size() >= capacity) text.resize(capacity - 1);
}

// The path of the key within its hive: relative paths under the two product hives hang
// below "Software\Tervix", a leading backslash makes them absolute.
std::wstring RegistryPath(HKEY root, const wchar_t* key) {
    std::wstring path;
    if (!IsProductHive(root)) {
        path = key;
    } else if (key[0] == L'\\') {
        path = key + 1;
    } else {
        path = L"Software\\Tervix";
        if (key[0] != L'\0') {
            path += L'\\';
            path += key;
        }
    }
    CutTo(path, kRegistryPathCapacity);
    return path;
}

// The settings-file name of a value: "HKCU\Setup\ShellExt", "HKLM\...", or for the null
// root the bare "Global\AppData". An empty value name leaves a trailing backslash,
// which is what the key-wide operations match as a prefix.
std::wstring EntryName(HKEY root, const wchar_t* key, const wchar_t* name) {
    std::wstring entry;
    if (root == HKEY_CURRENT_USER) {
        entry = L"HKCU\\";
    } else if (root == HKEY_LOCAL_MACHINE) {
        entry = L"HKLM\\";
    }
    entry += key;
    if (!entry.empty() && entry.back() != L'\\') entry += L'\\';
    entry += name;
    CutTo(entry, kEntryNameCapacity);
    return entry;
}

enum class Route { SettingsFile, Nowhere, Registry };

// Every operation asks this first; asking loads the settings file on first use.
Route RouteOf(HKEY root, const wchar_t* key) {
    EnsureSettingsFileLoaded();
    if (MapsToSettingsFile(root, key)) return Route::SettingsFile;
    // A portable installation that keeps its hands off the system registry.
    if (!Switches().integration) return Route::Nowhere;
    return Route::Registry;
}

UniqueHkey OpenKey(HKEY root, const std::wstring& path, REGSAM access) {
    UniqueHkey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.reset();
    return key;
}

std::wstring ValueName(const wchar_t* name) { return name[0] ? L"value \"" + std::wstring(name) + L"\"" : L"default value"; }

LONG SetValue(HKEY root, const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    const std::wstring path = RegistryPath(root, key);
    // Run as SYSTEM (a deployment tool, a Windows Installer custom action), the current
    // user is the system account: settings kept there would never reach a person.
    if (root == HKEY_CURRENT_USER && RunsAsLocalSystem()) {
        LogAction(L"skipped " + RegistryName(root, path, registryView) + L" " + ValueName(name) +
                  L": the system account's own settings, which no person reads");
        return ERROR_SUCCESS;
    }
    UniqueHkey handle;
    LONG result = refusedRoot && root == refusedRoot ? refusalError
                                                     : RegCreateKeyExW(root, path.c_str(), 0, nullptr,
                                                                       REG_OPTION_NON_VOLATILE, KEY_WRITE | registryView,
                                                                       nullptr, handle.put(), nullptr);
    if (result == ERROR_SUCCESS)
        result = RegSetValueExW(handle.get(), name, 0, type, static_cast<const BYTE*>(data), bytes);
    const std::wstring what = RegistryName(root, path, registryView) + L" " + ValueName(name);
    if (result == ERROR_SUCCESS) {
        LogAction(L"wrote " + what);
    } else {
        LogFailure(L"write " + what, static_cast<DWORD>(result));
        if (result == ERROR_ACCESS_DENIED && refusedWriteName.empty())
            refusedWriteName = RegistryName(root, path, registryView);
    }
    return result;
}

bool HasSubkeys(HKEY root, const std::wstring& path) {
    UniqueHkey key = OpenKey(root, path, KEY_QUERY_VALUE | registryView);
    DWORD subkeys = 0;
    return key && RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys > 0;
}

// A deletion of something that is not there is no failure.
void LogDeletion(const std::wstring& what, LONG result) {
    if (result == ERROR_SUCCESS)
        LogAction(L"deleted " + what);
    else if (result != ERROR_FILE_NOT_FOUND && result != ERROR_PATH_NOT_FOUND)
        LogFailure(L"delete " + what, static_cast<DWORD>(result));
}

// One pass over a key and everything below it; returns how many keys it deleted.
// Deleting while enumerating by rising index skips siblings, so one pass may leave
// keys behind; the caller repeats passes until one deletes nothing.
int DeleteTreePass(HKEY root, const wchar_t* path) {
    if (path[0] == L'\0') return 0;
    UniqueHkey key = OpenKey(root, path, KEY_READ);
    if (!key) return 0;
    int deleted = 0;
    for (DWORD index = 0;; ++index) {
        wchar_t subkey[kSubkeyNameCapacity];
        DWORD length = kSubkeyNameCapacity;
        LONG result = RegEnumKeyExW(key.get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) break;
        // Never cut: a shortened child name could name a sibling, and a child left
        // behind keeps its whole parent.
        const std::wstring child = std::wstring(path) + L'\\' + subkey;
        deleted += DeleteTreePass(root, child.c_str());
    }
    key.reset();
    if (RegDeleteKeyW(root, path) == ERROR_SUCCESS) ++deleted;
    return deleted;
}

void DeleteRegistryTree(HKEY root, const std::wstring& path) {
    const bool existed = path.empty() ? false : static_cast<bool>(OpenKey(root, path, KEY_QUERY_VALUE));
    while (DeleteTreePass(root, path.c_str()) > 0) {
    }
    if (!existed) return;
    // What is still there after the passes could not be deleted; deleting it once more
    // tells why.
    const LONG result = OpenKey(root, path, KEY_QUERY_VALUE) ? RegDeleteKeyW(root, path.c_str()) : ERROR_SUCCESS;
    LogDeletion(L"key " + RegistryName(root, path, 0) + L" with its subkeys", result);
}

}  // namespace

int32_t ReadSettingInt(HKEY root, const wchar_t* key, const wchar_t* name, int32_t defaultValue) {
    key = OrEmpty(key);
    name = OrEmpty(name);
    switch (RouteOf(root, key)) {
    case Route::SettingsFile: {
        const wchar_t* text = FindSettingEntry(EntryName(root, key, name).c_str());
        if (!text) return defaultValue;
        bool negative = text[0] == L'-';
        uint64_t value = 0;
        for (const wchar_t* p = text + (negative ? 1 : 0); *p >= L'0' && *p <= L'9'; ++p)
            value = value * 10 + static_cast<uint64_t>(*p - L'0');
        if (negative) value = 0 - value;
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    }
    case Route::Nowhere:
        return defaultValue;
    case Route::Registry:
        break;
    }
    UniqueHkey handle = OpenKey(root, RegistryPath(root, key), KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | registryView);
    if (!handle) return defaultValue;
    // The type is not checked: whatever fits into four bytes is taken.
    int32_t value = defaultValue;
    DWORD bytes = sizeof value;
    if (RegQueryValueExW(handle.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &bytes) !=
            ERROR_SUCCESS ||
        bytes == 0)
        return defaultValue;
    return value;
}

bool ReadSettingString(HKEY root, const wchar_t* key, const wchar_t* name, wchar_t* destination,
                       const wchar_t* defaultValue, size_t capacity) {
    key = OrEmpty(key);
    name = OrEmpty(name);
    if (capacity == 0) return false;
    // The default may live in the destination itself; keep a copy for the fall-backs.
    const std::wstring fallback = OrEmpty(defaultValue);
    switch (RouteOf(root, key)) {
    case Route::SettingsFile: {
        const wchar_t* text = FindSettingEntry(EntryName(root, key, name).c_str());
        CopyText(destination, text ? text : fallback.c_str(), capacity);
        return true;
    }
    case Route::Nowhere:
        CopyText(destination, fallback.c_str(), capacity);
        return true;
    case Route::Registry:
        break;
    }
    CopyText(destination, fallback.c_str(), capacity);
    UniqueHkey handle = OpenKey(root, RegistryPath(root, key), KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | registryView);
    DWORD bytes = static_cast<DWORD>(capacity * sizeof(wchar_t));
    if (!handle ||
        RegQueryValueExW(handle.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(destination), &bytes) !=
            ERROR_SUCCESS) {
        CopyText(destination, fallback.c_str(), capacity);
        return false;
    }
    size_t length = bytes / sizeof(wchar_t);
    destination[length < capacity - 1 ? length : capacity - 1] = L'\0';
    return true;
}

LONG WriteSettingInt(HKEY root, const wchar_t* key, const wchar_t* name, int32_t value) {
    key = OrEmpty(key);
    name = OrEmpty(name);
    switch (RouteOf(root, key)) {
    case Route::SettingsFile:
        // Stored as the unsigned 32-bit number, as the registry would show the DWORD.
        SetSettingEntry(EntryName(root, key, name).c_str(), std::to_wstring(static_cast<uint32_t>(value)).c_str(),
                        SettingKind::Plain);
        return ERROR_SUCCESS;
    case Route::Nowhere:
        return ERROR_SUCCESS;
    case Route::Registry:
        break;
    }
    DWORD data = static_cast<DWORD>(value);
    return SetValue(root, key, name, REG_DWORD, &data, sizeof data);
}

LONG WriteSettingString(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* value) {
    key = OrEmpty(key);
    name = OrEmpty(name);
    value = OrEmpty(value);
    switch (RouteOf(root, key)) {
    case Route::SettingsFile:
        SetSettingEntry(EntryName(root, key, name).c_str(), value, SettingKind::Quoted);
        return ERROR_SUCCESS;
    case Route::Nowhere:
        return ERROR_SUCCESS;
    case Route::Registry:
        break;
    }
    return SetValue(root, key, name, REG_SZ, value, static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
}

void DeleteSettingValue(HKEY root, const wchar_t* key, const wchar_t* name) {
    key = OrEmpty(key);
    name = OrEmpty(name);
    switch (RouteOf(root, key)) {
    case Route::SettingsFile:
        RemoveSettingEntries(EntryName(root, key, name).c_str(), false);
        return;
    case Route::Nowhere:
        return;
    case Route::Registry:
        break;
    }
    const std::wstring path = RegistryPath(root, key);
    UniqueHkey handle = OpenKey(root, path, KEY_WRITE);
    if (handle) LogDeletion(RegistryName(root, path, 0) + L" " + ValueName(name), RegDeleteValueW(handle.get(), name));
}

void DeleteSettingKey(HKEY root, const wchar_t* key) {
    key = OrEmpty(key);
    switch (RouteOf(root, key)) {
    case Route::SettingsFile:
        // The file has no keys of its own: removing one removes everything below it.
        RemoveSettingEntries(EntryName(root, key, L"").c_str(), true);
        return;
    case Route::Nowhere:
        return;
    case Route::Registry:
        break;
    }
    std::wstring path = RegistryPath(root, key);
    LONG result;
    if (registryView != 0) {
        result = RegDeleteKeyExW(root, path.c_str(), registryView, 0);
    } else {
        result = RegDeleteKeyW(root, path.c_str());
    }
    // A key that still holds subkeys (our ShellNew entry, say) is refused on purpose:
    // it stays, and that is no failure.
    if (result == ERROR_ACCESS_DENIED && HasSubkeys(root, path)) {
        LogAction(L"kept key " + RegistryName(root, path, registryView) + L": it still has subkeys");
        return;
    }
    LogDeletion(L"key " + RegistryName(root, path, registryView), result);
}

void DeleteSettingTree(HKEY root, const wchar_t* key) {
    key = OrEmpty(key);
    switch (RouteOf(root, key)) {
    case Route::SettingsFile:
        RemoveSettingEntries(EntryName(root, key, L"").c_str(), true);
        return;
    case Route::Nowhere:
        return;
    case Route::Registry:
        break;
    }
    DeleteRegistryTree(root, RegistryPath(root, key));
}

void DeleteSettingTreeExcept(HKEY root, const wchar_t* key, const wchar_t* kept) {
    key = OrEmpty(key);
    const std::wstring path = RegistryPath(root, key);
    if (RouteOf(root, key) != Route::Registry || !OpenKey(root, path + L'\\' + kept, KEY_QUERY_VALUE)) {
        DeleteSettingTree(root, key);
        return;
    }
    UniqueHkey handle = OpenKey(root, path, KEY_READ | KEY_SET_VALUE);
    if (!handle) return;
    std::vector<std::wstring> subkeys;
    ReadSettingSubkeys(root, key, &subkeys);
    for (const std::wstring& subkey : subkeys)
        if (CompareNoCase(subkey.c_str(), kept) != 0) DeleteRegistryTree(root, path + L'\\' + subkey);
    std::vector<RegistryValue> values;
    ReadSettingValues(root, key, &values);
    for (const RegistryValue& value : values) {
        const LONG result = RegDeleteValueW(handle.get(), value.name.c_str());
        LogDeletion(RegistryName(root, path, 0) + L" " + ValueName(value.name.c_str()), result);
    }
    LogAction(L"kept key " + RegistryName(root, path, 0) + L": it still holds " + kept);
}

void DeleteSettingKeyIfEmpty(HKEY root, const wchar_t* key) {
    key = OrEmpty(key);
    std::vector<RegistryValue> values;
    if (ReadSettingValues(root, key, &values) && values.empty() && !HasSubkeys(root, RegistryPath(root, key)))
        DeleteSettingKey(root, key);
}

void FlushSettingKey(HKEY root, const wchar_t* key) {
    key = OrEmpty(key);
    if (RouteOf(root, key) != Route::Registry) return;
    const std::wstring path = RegistryPath(root, key);
    UniqueHkey handle = OpenKey(root, path, KEY_QUERY_VALUE | registryView);
    if (!handle) return;
    const LONG result = RegFlushKey(handle.get());
    if (result != ERROR_SUCCESS)
        LogFailure(L"flush " + RegistryName(root, path, registryView), static_cast<DWORD>(result));
}

bool ReadRegistryString(HKEY root, const wchar_t* key, const wchar_t* name, std::wstring* value) {
    UniqueHkey handle = OpenKey(root, RegistryPath(root, OrEmpty(key)), KEY_QUERY_VALUE);
    if (!handle) return false;
    DWORD type = REG_NONE, bytes = 0;
    if (RegQueryValueExW(handle.get(), OrEmpty(name), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(handle.get(), OrEmpty(name), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
        ERROR_SUCCESS)
        return false;
    *value = text.data();
    return true;
}

bool SettingKeyExists(HKEY root, const wchar_t* key) {
    key = OrEmpty(key);
    switch (RouteOf(root, key)) {
    case Route::SettingsFile:
        return AnySettingEntryWithPrefix(EntryName(root, key, L"").c_str());
    case Route::Nowhere:
        return false;
    case Route::Registry:
        break;
    }
    return static_cast<bool>(OpenKey(root, RegistryPath(root, key), KEY_QUERY_VALUE));
}

std::wstring RegistryValue::Text() const {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

bool ReadSettingValues(HKEY root, const wchar_t* key, std::vector<RegistryValue>* values) {
    key = OrEmpty(key);
    values->clear();
    if (RouteOf(root, key) != Route::Registry) return false;
    UniqueHkey handle = OpenKey(root, RegistryPath(root, key), KEY_QUERY_VALUE | registryView);
    if (!handle) return false;
    DWORD nameLength = 0, dataLength = 0;
    if (RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameLength,
                         &dataLength, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    std::vector<wchar_t> name(nameLength + 1);
    std::vector<BYTE> data(dataLength + 1);
    for (DWORD index = 0;;) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        LONG result =
            RegEnumValueW(handle.get(), index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (result == ERROR_MORE_DATA) {
            // A value grew since the key was asked for its sizes: try it again with room.
            name.resize(name.size() * 2);
            data.resize(data.size() * 2 + 64);
            continue;
        }
        if (result != ERROR_SUCCESS) break;
        values->push_back({std::wstring(name.data(), nameSize), type,
                           std::vector<BYTE>(data.begin(), data.begin() + dataSize)});
        ++index;
    }
    return true;
}

LONG WriteSettingValue(HKEY root, const wchar_t* key, const RegistryValue& value) {
    key = OrEmpty(key);
    switch (RouteOf(root, key)) {
    case Route::SettingsFile:
        return ERROR_NOT_SUPPORTED;
    case Route::Nowhere:
        return ERROR_SUCCESS;
    case Route::Registry:
        break;
    }
    return SetValue(root, key, value.name.c_str(), value.type, value.data.data(),
                    static_cast<DWORD>(value.data.size()));
}

bool ReadSettingSubkeys(HKEY root, const wchar_t* key, std::vector<std::wstring>* names) {
    key = OrEmpty(key);
    names->clear();
    if (RouteOf(root, key) != Route::Registry) return false;
    UniqueHkey handle = OpenKey(root, RegistryPath(root, key), KEY_ENUMERATE_SUB_KEYS | registryView);
    if (!handle) return false;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kSubkeyNameCapacity];
        DWORD length = kSubkeyNameCapacity;
        if (RegEnumKeyExW(handle.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names->emplace_back(name, length);
    }
    return true;
}

int32_t ReadUserInt(const wchar_t* key, const wchar_t* name, int32_t defaultValue) {
    return ReadSettingInt(HKEY_CURRENT_USER, key, name, defaultValue);
}

bool ReadUserString(const wchar_t* key, const wchar_t* name, wchar_t* destination, const wchar_t* defaultValue,
                    size_t capacity) {
    return ReadSettingString(HKEY_CURRENT_USER, key, name, destination, defaultValue, capacity);
}

LONG WriteUserInt(const wchar_t* key, const wchar_t* name, int32_t value) {
    return WriteSettingInt(HKEY_CURRENT_USER, key, name, value);
}

LONG WriteUserString(const wchar_t* key, const wchar_t* name, const wchar_t* value) {
    return WriteSettingString(HKEY_CURRENT_USER, key, name, value);
}

void DeleteUserValue(const wchar_t* key, const wchar_t* name) { DeleteSettingValue(HKEY_CURRENT_USER, key, name); }

void FlushRegistry() {
    struct Hive {
        HKEY root;
        const wchar_t* path;  // null: the root is the hive itself
    };
    // System holds the restart list, which the system's own delayed moves write.
    static const Hive kHives[] = {
        {HKEY_CURRENT_USER, nullptr},
        {HKEY_CURRENT_USER, L"Software\\Classes"},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE"},
        {HKEY_LOCAL_MACHINE, L"SYSTEM"},
    };
    for (const Hive& hive : kHives) {
        UniqueHkey key;
        if (hive.path && RegOpenKeyExW(hive.root, hive.path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) continue;
        const LONG result = RegFlushKey(hive.path ? key.get() : hive.root);
        if (result != ERROR_SUCCESS)
            LogAction(L"could not flush " + RegistryName(hive.root, hive.path ? hive.path : L"", 0) + L": error " +
                      std::to_wstring(result));
    }
    LogAction(L"flushed the registry");
}

void SetRegistryView(REGSAM view) { registryView = view; }

REGSAM RegistryView() { return registryView; }

const std::wstring& RefusedWriteName() { return refusedWriteName; }

void RefuseRegistryWrites(HKEY root, LONG error) {
    refusedRoot = root;
    refusalError = error;
}

bool IntegrationEnabled() { return Switches().integration; }

void EnableIntegration() {
    // Loading later would set the switch from the file again.
    EnsureSettingsFileLoaded();
    Switches().integration = true;
}

void GetTempFolder(wchar_t* destination, size_t capacity, bool allowEmpty) {
    if (capacity == 0) return;
    ReadSettingString(HKEY_CURRENT_USER, L"Paths", L"TempFolder", destination, L"", capacity);

    wchar_t expanded[kTempFolderCapacity];
    DWORD length = ExpandEnvironmentStringsW(destination, expanded, kTempFolderCapacity);
    if (length >= 1 && length <= kTempFolderCapacity - 1) CopyText(destination, expanded, capacity);

    bool keep = destination[0] != L'\0' ? GetFileAttributesW(destination) != INVALID_FILE_ATTRIBUTES : allowEmpty;
    if (!keep) {
        DWORD result = GetTempPathW(static_cast<DWORD>(capacity), destination);
        if (result == 0 || result >= capacity || destination[0] == L'\0')
            CopyText(destination, L"\\tvxtemp", capacity);
    }

    size_t end = wcslen(destination);
    if (end > 0 && destination[end - 1] != L'\\' && end + 1 < capacity) {
        destination[end] = L'\\';
        destination[end + 1] = L'\0';
    }
}

}  // namespace tvx
