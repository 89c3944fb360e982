#pragma once
// The portable settings file "Tervix.ini": when present, the settings under the
// product key live in it instead of the registry.

#include <windows.h>

#include <cstddef>

namespace tvx {

enum class SettingKind { Plain = 0, Quoted = 1, Binary = 2 };

struct PortableSwitches {
    bool appData = true;
    bool integration = true;
    bool saveSettings = true;
};
// The process-wide switches (Global\AppData, Global\Integration, Global\SaveSettings).
PortableSwitches& Switches();

void EnsureSettingsFileLoaded();
bool SettingsFileLoaded();
bool MapsToSettingsFile(HKEY root, const wchar_t* key);
// Value of the first entry with this name, or null.
const wchar_t* FindSettingEntry(const wchar_t* name);
void SetSettingEntry(const wchar_t* name, const wchar_t* value, SettingKind kind);
void RemoveSettingEntries(const wchar_t* name, bool prefix);
bool AnySettingEntryWithPrefix(const wchar_t* name);
bool SaveSettingsFile();
void ReleaseSettingsFile();

}  // namespace tvx
