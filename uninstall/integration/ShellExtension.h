#pragma once
// Shell extension, registered application, application path and the Windows 11 menu package.

#include "integration/SetupChoices.h"

namespace tvx {

bool RegisterAppPath();
void RegisterShellExtension(bool remove, const SetupChoices& choices);
void RegisterShellExtensionVariant(const SetupChoices& choices, const wchar_t* dllName, const wchar_t* classId,
                                   const wchar_t* handlerName, bool is32);
void RunMenuPackageInstaller(bool install);

}  // namespace tvx
