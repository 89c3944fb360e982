#include "settings/SettingsFile.h"

// Portable mode is not built yet: no settings file is ever found, so every setting
// goes to the registry and the switches keep their defaults.

namespace tvx {

PortableSwitches& Switches() {
    static PortableSwitches switches;
    return switches;
}

void EnsureSettingsFileLoaded() {}

bool SettingsFileLoaded() { return false; }

bool MapsToSettingsFile(HKEY, const wchar_t*) { return false; }

const wchar_t* FindSettingEntry(const wchar_t*) { return nullptr; }

void SetSettingEntry(const wchar_t*, const wchar_t*, SettingKind) {}

void RemoveSettingEntries(const wchar_t*, bool) {}

bool AnySettingEntryWithPrefix(const wchar_t*) { return false; }

bool SaveSettingsFile() { return false; }

void ReleaseSettingsFile() {}

}  // namespace tvx
