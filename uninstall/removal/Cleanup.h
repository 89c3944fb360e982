#pragma once
// Undoes what setup and the main program wrote into the registry and the shell.

namespace tvx {

void CleanUpRegistryAndShell();

}  // namespace tvx
