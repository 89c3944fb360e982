#pragma once
// Shell extension, registered application, application path and the Windows 11 menu package.

#include "integration/SetupChoices.h"
#include "settings/Settings.h"

namespace tvx {

// The application path's key, absolute below the hive of the scope (see MachineRoot).
inline constexpr wchar_t kAppPathsKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe";

// Each writes in the places of the scope: the class keys in its classes (ClassesRoot),
// the rest below its hive (MachineRoot), where Windows reads them for whom it serves.
bool RegisterAppPath(Scope scope);
void RegisterShellExtension(bool remove, const SetupChoices& choices, Scope scope);
void RegisterShellExtensionVariant(const SetupChoices& choices, const wchar_t* dllName, const wchar_t* classId,
                                   const wchar_t* handlerName, bool is32, Scope scope);
void RunMenuPackageInstaller(bool install);

}  // namespace tvx
