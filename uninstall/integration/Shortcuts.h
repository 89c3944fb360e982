#pragma once
// Desktop and Start-menu shortcuts and the two "Tervix" program groups.

#include <cstddef>

#include "integration/SetupChoices.h"

namespace tvx {

void UpdateShortcuts(const SetupChoices& choices, wchar_t* groupPathOut, size_t groupPathSize, const wchar_t* icon);
bool CreateShellLink(bool loadExisting, const wchar_t* target, const wchar_t* linkPath, const wchar_t* workDir,
                     const wchar_t* description, const wchar_t* icon, const wchar_t* arguments);
bool GetSpecialFolder(wchar_t* output, size_t size, int csidl);

}  // namespace tvx
