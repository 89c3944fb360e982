#pragma once
// Undoes what setup and the main program wrote into the registry and the shell.

#include <string>
#include <vector>

#include "settings/Settings.h"

namespace tvx {

// Removes the integration of the install of the scope, and nothing of an install of the
// other scope beside it: the account's product settings and its own shortcuts and
// choices of Tervix stay while such an install keeps using them.
void CleanUpRegistryAndShell(Scope scope);
// The integration alone, for an install whose files and Add/Remove entry are an
// installer's (Windows Installer removes them after this): the registry and shell
// clean-up, the templates setup wrote, the help viewer's caches and the main program's
// browser data. No listed file, no entry, neither the program nor its folder.
void RemoveIntegration(Scope scope);
// The files the help viewer writes beside the help file.
void RemoveHelpCaches(const wchar_t* installFolder);
// The main program's WebView2 data in the temporary folder.
void RemoveWebViewData();
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
