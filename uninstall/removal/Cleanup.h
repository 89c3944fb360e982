#pragma once
// Undoes what setup and the main program wrote into the registry and the shell.

#include <string>
#include <vector>

namespace tvx {

void CleanUpRegistryAndShell();
// Deletes the New-menu templates that setup wrote into the program folder, which no
// list names, as long as they still hold the template bytes; true when one of them is
// left for the next restart. One that can be neither deleted nor scheduled is added to
// notRemoved.
bool RemoveTemplateFiles(std::vector<std::wstring>* notRemoved);
// Deletes the settings file "Tervix.ini" beside the program, which the installer's list
// does not name when setup copied it from the installer's folder or the user put it
// there for portable use; true when it is left for the next restart. One that can be
// neither deleted nor scheduled is added to notRemoved.
bool RemoveSettingsFile(std::vector<std::wstring>* notRemoved);

}  // namespace tvx
