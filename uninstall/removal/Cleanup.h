#pragma once
// Undoes what setup and the main program wrote into the registry and the shell.

namespace tvx {

void CleanUpRegistryAndShell();
// Deletes the New-menu templates that setup wrote into the program folder, which no
// list names, as long as they still hold the template bytes; true when one of them is
// left for the next restart.
bool RemoveTemplateFiles();

}  // namespace tvx
