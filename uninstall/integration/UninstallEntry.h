#pragma once
// The Add/Remove Programs entry "Tervix archiver".

#include <cstddef>

#include "settings/Settings.h"

namespace tvx {

// The entry's key below the hive of the scope (HKEY_LOCAL_MACHINE, or the account's own
// for an install for one account, which Installed apps lists for that account alone),
// as the settings store takes an absolute path.
inline constexpr wchar_t kUninstallEntryKey[] =
    L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver";

// The values that list the product in Installed apps and start its uninstall. Setup
// writes them before anything else, so that whatever it goes on to install can be
// removed from there even when setup is ended half-way. False when the system refused
// the write with access denied: setup then stops before it changes anything.
bool BeginUninstallEntry(Scope scope);
// Every value of the entry; setup writes them once everything is applied.
void WriteUninstallEntry(Scope scope);
// The last thing the uninstall removes, once nothing of the product is left but what
// the next restart deletes.
void RemoveUninstallEntry(Scope scope);

// Whether setup of this install wrote into the registry for the scope: the scope's entry
// or application path names this program's folder, in whatever form of its path. The
// registry is asked itself, since a settings file may keep it out of sight.
bool IsRegisteredInstall(Scope scope);
// Whether an install of the scope is on the machine, in any folder: its entry, or the
// application path that every setup writes (Windows Installer's package has an entry
// of its own instead of ours).
bool HasInstall(Scope scope);
// Whom the install in this program's folder is for, decided once at the start of a run
// and handed down from there: the running account alone when setup was asked for that,
// or when the account's own entry or application path names this folder (so that the
// uninstall, started by the same command for either, removes that install and no
// other); otherwise every account of the machine.
Scope ScopeOfInstall(bool currentUserRequested);
void ComposeDisplayName(wchar_t* buffer, size_t capacity);
// "6.24.1": major, two-digit minor, build.
const wchar_t* ProgramVersionText();

}  // namespace tvx
