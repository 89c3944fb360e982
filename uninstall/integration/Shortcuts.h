#pragma once
// Desktop and Start-menu shortcuts and the two "Tervix" program groups.

#include <cstddef>

#include "integration/SetupChoices.h"
#include "settings/Settings.h"

namespace tvx {

// A machine-wide install puts its shortcuts on the all-users desktop and Start menu and
// into both program groups, and leaves the account's own to an install for the account
// alone when there is one; an install for the account alone uses the account's own
// desktop, "Programs" folder and program group, and never the all-users folders.
void UpdateShortcuts(const SetupChoices& choices, wchar_t* groupPathOut, size_t groupPathSize, const wchar_t* icon,
                     Scope scope);
bool CreateShellLink(bool loadExisting, const wchar_t* target, const wchar_t* linkPath, const wchar_t* workDir,
                     const wchar_t* description, const wchar_t* icon, const wchar_t* arguments);
bool GetSpecialFolder(wchar_t* output, size_t size, int csidl);

}  // namespace tvx
