#pragma once
// Every read, write and deletion of a setting or an integration registry entry goes
// through here. Under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE a key path without a
// leading backslash is relative to "Software\Tervix" (empty: the product key itself);
// a leading backslash makes it absolute within the hive. Other roots take the path as
// given. A null root addresses entries that exist only in the portable settings file.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tvx {

inline constexpr HKEY kNullRoot = nullptr;

// Every call that reaches the registry takes the view it acts in, as the registry's own
// tools do: the native (64-bit) keys, or KEY_WOW64_32KEY for the keys that 32-bit
// programs see. A key is opened, created, enumerated and deleted in that view alike.
inline constexpr REGSAM kNativeView = 0;

// Whom an install is for: every account of the machine, or the running account alone.
// A run decides it once and hands it down with every call that names a place of the
// integration, as it does the view; the store keeps none.
enum class Scope { Machine, CurrentUser };
// The classes of the scope: the machine's classes root, or the account's own classes
// (HKEY_CURRENT_USER\Software\Classes), which Windows lays over it for that account.
// Paths below it are taken as given, as under HKEY_CLASSES_ROOT.
HKEY ClassesRoot(Scope scope);
// Where the scope keeps what Windows reads below HKEY_LOCAL_MACHINE for every account
// (App Paths, registered applications, approved shell extensions, the uninstall entry,
// the product key): that hive, or the account's own, at the same paths.
HKEY MachineRoot(Scope scope);

int32_t ReadSettingInt(HKEY root, const wchar_t* key, const wchar_t* name, int32_t defaultValue,
                       REGSAM view = kNativeView);
bool ReadSettingString(HKEY root, const wchar_t* key, const wchar_t* name, wchar_t* destination,
                       const wchar_t* defaultValue, size_t capacity, REGSAM view = kNativeView);
LONG WriteSettingInt(HKEY root, const wchar_t* key, const wchar_t* name, int32_t value, REGSAM view = kNativeView);
LONG WriteSettingString(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* value,
                        REGSAM view = kNativeView);
void DeleteSettingValue(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view = kNativeView);
void DeleteSettingKey(HKEY root, const wchar_t* key, REGSAM view = kNativeView);
// DeleteSettingKey for a step that may be refused without harm (a user's choice, which
// Windows 10 and 11 protect): what could not be deleted is logged, and the run is no
// less done for it.
void DeleteSettingKeyIfAllowed(HKEY root, const wchar_t* key, REGSAM view = kNativeView);
void DeleteSettingTree(HKEY root, const wchar_t* key, REGSAM view = kNativeView);
// DeleteSettingTree that spares the subkey named kept directly below key, with all it
// holds; when that subkey exists, the key stays too, emptied of everything else.
void DeleteSettingTreeExcept(HKEY root, const wchar_t* key, const wchar_t* kept, REGSAM view = kNativeView);
// Deletes a key that holds neither a value nor a subkey.
void DeleteSettingKeyIfEmpty(HKEY root, const wchar_t* key, REGSAM view = kNativeView);
bool SettingKeyExists(HKEY root, const wchar_t* key, REGSAM view = kNativeView);
// A string as the registry itself holds it, whatever a settings file or its switches
// say; false when there is none.
bool ReadRegistryString(HKEY root, const wchar_t* key, const wchar_t* name, std::wstring* value,
                        REGSAM view = kNativeView);

// A registry value with its own type and raw data, for entries of other programs that
// must come back exactly as they were (binary data, expandable strings).
struct RegistryValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    // The data read as a string, up to its first terminator.
    std::wstring Text() const;
};
// Every value of a registry key in enumeration order; false, with none, when the key
// cannot be opened. The settings file keeps no types: its entries read as none here.
bool ReadSettingValues(HKEY root, const wchar_t* key, std::vector<RegistryValue>* values, REGSAM view = kNativeView);
LONG WriteSettingValue(HKEY root, const wchar_t* key, const RegistryValue& value, REGSAM view = kNativeView);
// The names of a registry key's subkeys; false, with none, when it cannot be opened or
// the registry is not where the key lives.
bool ReadSettingSubkeys(HKEY root, const wchar_t* key, std::vector<std::wstring>* names, REGSAM view = kNativeView);

// Forms with the root fixed to HKEY_CURRENT_USER.
int32_t ReadUserInt(const wchar_t* key, const wchar_t* name, int32_t defaultValue, REGSAM view = kNativeView);
bool ReadUserString(const wchar_t* key, const wchar_t* name, wchar_t* destination, const wchar_t* defaultValue,
                    size_t capacity, REGSAM view = kNativeView);
LONG WriteUserInt(const wchar_t* key, const wchar_t* name, int32_t value, REGSAM view = kNativeView);
LONG WriteUserString(const wchar_t* key, const wchar_t* name, const wchar_t* value, REGSAM view = kNativeView);
void DeleteUserValue(const wchar_t* key, const wchar_t* name, REGSAM view = kNativeView);

// Writes the hives that hold what the program changes (the user's settings and classes,
// the machine's software and system keys) to disk now, each once, not when the system
// gets to it. Expensive (a whole hive is written, and every other program's changes to
// it wait meanwhile): called only before a run does what a registry taken back by a
// power cut would contradict.
void FlushRegistry();

// The registry key of the first write refused with access denied this run, as the
// run log names it ("HKLM\Software\..."); empty when none was.
const std::wstring& RefusedWriteName();
// Seam for the unit tests: every registry write and deletion below the root fails with
// the error before it reaches the registry, as on an account without the rights for it
// or for a key that Windows protects. A null root ends it. Wine enforces no registry
// permissions; the program never calls it.
void RefuseRegistryWrites(HKEY root, LONG error);

// Portable-mode switches; all true until a settings file says otherwise.
bool IntegrationEnabled();
// Switches integration on for the rest of the run, whatever the settings file says: for
// the uninstall of an install whose setup wrote into the registry before a settings file
// came beside the program.
void EnableIntegration();

// The product's temporary folder ("Paths"\"TempFolder", else the system's), ending
// in a backslash unless empty.
void GetTempFolder(wchar_t* destination, size_t capacity, bool allowEmpty);

}  // namespace tvx
