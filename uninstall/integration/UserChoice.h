#pragma once
// The program a user picked for a type in "Open with" or Default apps. Since Windows 8
// it is kept per user under "...\Explorer\FileExts\<ext>\UserChoice" and wins over the
// classes root, and only the user may set it: nothing here ever writes one.

#include <string>
#include <vector>

#include "integration/SetupChoices.h"

namespace tvx {

// The extensions of the chosen groups, in table order, whose user choice names another
// program's ProgID: they keep opening with it until the user picks Tervix in Default
// apps. Empty before Windows 8. The list, with each ProgID, goes to the run log.
std::vector<std::wstring> FindTypesKeptByUserChoice(const SetupChoices& choices);

// Deletes every user choice that names one of Tervix's ProgIDs, which would name
// nothing after the uninstall; every other one stays.
void RemoveTervixUserChoices();

}  // namespace tvx
