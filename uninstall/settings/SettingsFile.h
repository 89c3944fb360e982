#pragma once
// The portable settings file "Tervix.ini": when present, the settings under the
// product key live in it instead of the registry.

#include <windows.h>

#include <cstddef>

namespace tvx {

// The settings file's name, beside the program or in the user's "Tervix" data folder.
inline constexpr wchar_t kSettingsFileName[] = L"Tervix.ini";

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

// Called by the uninstall once the listed files are gone: from then on a save only
// replaces a settings file that still exists. Writing a deleted one back at exit would
// re-create a "Tervix.ini" that the list just removed and keep the install folder from
// being removed; a file the list did not name (one in the user's data folder, say) is
// still written, without the user's settings that the uninstall deleted from it.
void SuppressSettingsFileRecreation();

// Loads the given file in place of the one next to the program or in the user's
// "Tervix" data folder; for tools and tests that work on a file elsewhere. Does
// nothing when a load was already attempted in this run.
void LoadSettingsFileFrom(const wchar_t* path);
// Path of the loaded (or last looked-for) settings file; empty when there is none.
const wchar_t* SettingsFilePath();

}  // namespace tvx
