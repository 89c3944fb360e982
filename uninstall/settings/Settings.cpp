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

std::wstring refusedWriteName;
HKEY refusedRoot = nullptr;
LONG refusalError = ERROR_SUCCESS;

const wchar_t* OrEmpty(const wchar_t* text) { return text ? text : L""; }

bool IsProductHive(HKEY root) { return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE; }

// The account's own classes have no predefined key of their own: this stand-in names
// them until a call reaches the registry, where it is HKEY_CURRENT_USER with its paths
// below "Software\Classes". Never a real handle, so nothing else can take it for one.
const HKEY kUserClasses = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x800000F0)));
constexpr wchar_t kUserClassesPath[] = L"Software\\Classes";

// The hive a root lies in, as the registry functions take it.
HKEY Hive(HKEY root) { return root == kUserClasses ? HKEY_CURRENT_USER : root; }

std::wstring NameOf(HKEY root, const std::wstring& path, REGSAM view) { return RegistryName(Hive(root), path, view); }

void CutTo(std::wstring& text, size_t capacity) {
    if (text.size() >= capacity) text.resize(capacity - 1);
}

// The path of the key within its hive: relative paths under the two product hives hang
// below "Software\Tervix", a leading backslash makes them absolute.
std::wstring RegistryPath(HKEY root, const wchar_t* key) {
    std::wstring path;
    if (root == kUserClasses) {
        path = kUserClassesPath;
        if (key[0] != L'\0') path += L'\\' + std::wstring(key);
    } else if (!IsProductHive(root)) {
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
    if (RegOpenKeyExW(Hive(root), path.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.reset();
    return key;
}

std::wstring ValueName(const wchar_t* name) { return name[0] ? L"value \"" + std::wstring(name) + L"\"" : L"default value"; }

// The refusal the tests inject for writes and deletions below a root; ERROR_SUCCESS
// where there is none.
LONG InjectedRefusal(HKEY root) { return refusedRoot && Hive(root) == refusedRoot ? refusalError : ERROR_SUCCESS; }

LONG SetValue(HKEY root, const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD bytes,
              REGSAM view) {
    const std::wstring path = RegistryPath(root, key);
    // Run as SYSTEM (a deployment tool, a Windows Installer custom action), the current
    // user is the system account: settings kept there would never reach a person.
    if (Hive(root) == HKEY_CURRENT_USER && RunsAsLocalSystem()) {
        LogAction(L"skipped " + NameOf(root, path, view) + L" " + ValueName(name) +
                  L": the system account's own settings, which no person reads");
        return ERROR_SUCCESS;
    }
    UniqueHkey handle;
    LONG result = InjectedRefusal(root);
    if (result == ERROR_SUCCESS)
        result = RegCreateKeyExW(Hive(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | view,
                                 nullptr, handle.put(), nullptr);
    if (result == ERROR_SUCCESS)
        result = RegSetValueExW(handle.get(), name, 0, type, static_cast<const BYTE*>(data), bytes);
    const std::wstring what = NameOf(root, path, view) + L" " + ValueName(name);
    if (result == ERROR_SUCCESS) {
        LogAction(L"wrote " + what);
    } else {
        LogFailure(L"write " + what, static_cast<DWORD>(result));
        if (result == ERROR_ACCESS_DENIED && refusedWriteName.empty())
            refusedWriteName = NameOf(root, path, view);
    }
    return result;
}

bool HasSubkeys(HKEY root, const std::wstring& path, REGSAM view) {
    UniqueHkey key = OpenKey(root, path, KEY_QUERY_VALUE | view);
    DWORD subkeys = 0;
    return key && RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys > 0;
}

// What a failed deletion means for the run: a failure, or for a step that may be
// refused without harm only a line of the log.
enum class Deletion { Required, Allowed };

// A deletion of something that is not there is no failure.
void LogDeletion(const std::wstring& what, LONG result, Deletion deletion = Deletion::Required) {
    if (result == ERROR_SUCCESS)
        LogAction(L"deleted " + what);
    else if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND)
        return;
    else if (deletion == Deletion::Allowed)
        LogNotDone(L"delete " + what, static_cast<DWORD>(result));
    else
        LogFailure(L"delete " + what, static_cast<DWORD>(result));
}

LONG DeleteValue(HKEY root, HKEY key, const wchar_t* name) {
    const LONG refused = InjectedRefusal(root);
    return refused != ERROR_SUCCESS ? refused : RegDeleteValueW(key, name);
}

// The key with its subkeys and values, all in the view given: the system deletes what
// is below it (RegDeleteTreeW on the key opened in that view, which never cuts a name
// and never skips a sibling), then the emptied key itself.
void DeleteRegistryTree(HKEY root, const std::wstring& path, REGSAM view) {
    // Never the whole hive, and nothing to do where nothing is.
    if (path.empty() || !OpenKey(root, path, KEY_QUERY_VALUE | view)) return;
    LONG result = InjectedRefusal(root);
    if (result == ERROR_SUCCESS) {
        UniqueHkey key;
        result = RegOpenKeyExW(Hive(root), path.c_str(), 0,
                               DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | view, key.put());
        if (result == ERROR_SUCCESS) result = RegDeleteTreeW(key.get(), nullptr);
    }
    if (result == ERROR_SUCCESS) result = RegDeleteKeyExW(Hive(root), path.c_str(), view, 0);
    LogDeletion(L"key " + NameOf(root, path, view) + L" with its subkeys", result);
}

// A key deleted where the registry does not hold it: the settings file has no keys of
// its own, so removing one removes everything below it. False when the key lives in the
// registry, which is left to the caller.
bool DeletedOutsideRegistry(HKEY root, const wchar_t* key) {
    switch (RouteOf(root, key)) {
    case Route::SettingsFile:
        RemoveSettingEntries(EntryName(root, key, L"").c_str(), true);
        return true;
    case Route::Nowhere:
        return true;
    case Route::Registry:
        break;
    }
    return false;
}

void DeleteKey(HKEY root, const wchar_t* key, REGSAM view, Deletion deletion) {
    key = OrEmpty(key);
    if (DeletedOutsideRegistry(root, key)) return;
    const std::wstring path = RegistryPath(root, key);
    LONG result = InjectedRefusal(root);
    if (result == ERROR_SUCCESS) result = RegDeleteKeyExW(Hive(root), path.c_str(), view, 0);
    // A key that still holds subkeys (our ShellNew entry, say) is refused on purpose:
    // it stays, and that is no failure.
    if (result == ERROR_ACCESS_DENIED && HasSubkeys(root, path, view)) {
        LogAction(L"kept key " + NameOf(root, path, view) + L": it still has subkeys");
        return;
    }
    LogDeletion(L"key " + NameOf(root, path, view), result, deletion);
}

}  // namespace

HKEY ClassesRoot(Scope scope) { return scope == Scope::CurrentUser ? kUserClasses : HKEY_CLASSES_ROOT; }

HKEY MachineRoot(Scope scope) { return scope == Scope::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

int32_t ReadSettingInt(HKEY root, const wchar_t* key, const wchar_t* name, int32_t defaultValue, REGSAM view) {
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
    UniqueHkey handle = OpenKey(root, RegistryPath(root, key), KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | view);
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
                       const wchar_t* defaultValue, size_t capacity, REGSAM view) {
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
    UniqueHkey handle = OpenKey(root, RegistryPath(root, key), KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | view);
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

LONG WriteSettingInt(HKEY root, const wchar_t* key, const wchar_t* name, int32_t value, REGSAM view) {
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
    return SetValue(root, key, name, REG_DWORD, &data, sizeof data, view);
}

LONG WriteSettingString(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* value, REGSAM view) {
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
    return SetValue(root, key, name, REG_SZ, value, static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)), view);
}

void DeleteSettingValue(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view) {
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
    UniqueHkey handle = OpenKey(root, path, KEY_WRITE | view);
    if (handle)
        LogDeletion(NameOf(root, path, view) + L" " + ValueName(name), DeleteValue(root, handle.get(), name));
}

void DeleteSettingKey(HKEY root, const wchar_t* key, REGSAM view) { DeleteKey(root, key, view, Deletion::Required); }

void DeleteSettingKeyIfAllowed(HKEY root, const wchar_t* key, REGSAM view) {
    DeleteKey(root, key, view, Deletion::Allowed);
}

void DeleteSettingTree(HKEY root, const wchar_t* key, REGSAM view) {
    key = OrEmpty(key);
    if (!DeletedOutsideRegistry(root, key)) DeleteRegistryTree(root, RegistryPath(root, key), view);
}

void DeleteSettingTreeExcept(HKEY root, const wchar_t* key, const wchar_t* kept, REGSAM view) {
    key = OrEmpty(key);
    const std::wstring path = RegistryPath(root, key);
    if (RouteOf(root, key) != Route::Registry || !OpenKey(root, path + L'\\' + kept, KEY_QUERY_VALUE | view)) {
        DeleteSettingTree(root, key, view);
        return;
    }
    UniqueHkey handle = OpenKey(root, path, KEY_READ | KEY_SET_VALUE | view);
    if (!handle) return;
    std::vector<std::wstring> subkeys;
    ReadSettingSubkeys(root, key, &subkeys, view);
    for (const std::wstring& subkey : subkeys)
        if (CompareNoCase(subkey.c_str(), kept) != 0) DeleteRegistryTree(root, path + L'\\' + subkey, view);
    std::vector<RegistryValue> values;
    ReadSettingValues(root, key, &values, view);
    for (const RegistryValue& value : values) {
        const LONG result = DeleteValue(root, handle.get(), value.name.c_str());
        LogDeletion(NameOf(root, path, view) + L" " + ValueName(value.name.c_str()), result);
    }
    LogAction(L"kept key " + NameOf(root, path, view) + L": it still holds " + kept);
}

void DeleteSettingKeyIfEmpty(HKEY root, const wchar_t* key, REGSAM view) {
    key = OrEmpty(key);
    std::vector<RegistryValue> values;
    if (ReadSettingValues(root, key, &values, view) && values.empty() &&
        !HasSubkeys(root, RegistryPath(root, key), view))
        DeleteSettingKey(root, key, view);
}

bool ReadRegistryString(HKEY root, const wchar_t* key, const wchar_t* name, std::wstring* value, REGSAM view) {
    UniqueHkey handle = OpenKey(root, RegistryPath(root, OrEmpty(key)), KEY_QUERY_VALUE | view);
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

bool SettingKeyExists(HKEY root, const wchar_t* key, REGSAM view) {
    key = OrEmpty(key);
    switch (RouteOf(root, key)) {
    case Route::SettingsFile:
        return AnySettingEntryWithPrefix(EntryName(root, key, L"").c_str());
    case Route::Nowhere:
        return false;
    case Route::Registry:
        break;
    }
    return static_cast<bool>(OpenKey(root, RegistryPath(root, key), KEY_QUERY_VALUE | view));
}

std::wstring RegistryValue::Text() const {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

bool ReadSettingValues(HKEY root, const wchar_t* key, std::vector<RegistryValue>* values, REGSAM view) {
    key = OrEmpty(key);
    values->clear();
    if (RouteOf(root, key) != Route::Registry) return false;
    UniqueHkey handle = OpenKey(root, RegistryPath(root, key), KEY_QUERY_VALUE | view);
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

LONG WriteSettingValue(HKEY root, const wchar_t* key, const RegistryValue& value, REGSAM view) {
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
                    static_cast<DWORD>(value.data.size()), view);
}

bool ReadSettingSubkeys(HKEY root, const wchar_t* key, std::vector<std::wstring>* names, REGSAM view) {
    key = OrEmpty(key);
    names->clear();
    if (RouteOf(root, key) != Route::Registry) return false;
    UniqueHkey handle = OpenKey(root, RegistryPath(root, key), KEY_ENUMERATE_SUB_KEYS | view);
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

int32_t ReadUserInt(const wchar_t* key, const wchar_t* name, int32_t defaultValue, REGSAM view) {
    return ReadSettingInt(HKEY_CURRENT_USER, key, name, defaultValue, view);
}

bool ReadUserString(const wchar_t* key, const wchar_t* name, wchar_t* destination, const wchar_t* defaultValue,
                    size_t capacity, REGSAM view) {
    return ReadSettingString(HKEY_CURRENT_USER, key, name, destination, defaultValue, capacity, view);
}

LONG WriteUserInt(const wchar_t* key, const wchar_t* name, int32_t value, REGSAM view) {
    return WriteSettingInt(HKEY_CURRENT_USER, key, name, value, view);
}

LONG WriteUserString(const wchar_t* key, const wchar_t* name, const wchar_t* value, REGSAM view) {
    return WriteSettingString(HKEY_CURRENT_USER, key, name, value, view);
}

void DeleteUserValue(const wchar_t* key, const wchar_t* name, REGSAM view) {
    DeleteSettingValue(HKEY_CURRENT_USER, key, name, view);
}

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
