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

// Called by the uninstall once the product's files are gone: writing the settings back
// at exit would re-create a "Tervix.ini" that the list just deleted and keep the
// install folder from being removed.
void SuppressSettingsFileSave();

// Loads the given file in place of the one next to the program or in the user's
// "Tervix" data folder; for tools and tests that work on a file elsewhere. Does
// nothing when a load was already attempted in this run.
void LoadSettingsFileFrom(const wchar_t* path);
// Path of the loaded (or last looked-for) settings file; empty when there is none.
const wchar_t* SettingsFilePath();

}  // namespace tvx
