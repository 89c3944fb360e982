#pragma once
// The uninstall: confirmation, clean-up, the listed files, then the self-removal batch.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "settings/Settings.h"

namespace tvx {

// Removes the install of the scope that this program belongs to.
void RunUninstall(Scope scope);
// Everything between the confirmation and the self-removal: the registry and shell
// clean-up, the listed files and, once nothing of the product is left but the program
// and what the next restart deletes (restartNeeded tells whether anything is), the
// uninstall entry and then the list. False when the self-removal must not follow: the
// list could not be opened, or a file could be neither removed nor scheduled, and the
// entry, the list and the program stay so that the uninstall can be run again.
bool RemoveProduct(const wchar_t* installFolder, const wchar_t* programPath, bool* restartNeeded, Scope scope);
// Removes the entries of the open list file in runs until a run removes nothing;
// returns whether something was left for the next restart. Files that could be
// neither removed nor scheduled are added to notRemoved when given.
bool RemoveListedFiles(FILE* list, const wchar_t* installFolder, const wchar_t* programPath,
                       std::vector<std::wstring>* notRemoved = nullptr);
// Moves a file that cannot be deleted to a free temporary name and schedules it for
// deletion at the next restart; false when the schedule could not be recorded.
bool DeferFileRemoval(const wchar_t* path);
// Defers a file that could not be deleted; one that cannot even be scheduled is logged
// as left and added to notRemoved, when given. True when it was scheduled.
bool DeferOrName(const wchar_t* path, std::vector<std::wstring>* notRemoved);
// Schedules a file or an empty folder for deletion at the next restart.
bool DeleteAtRestart(const wchar_t* path);
// Seam for the unit tests: every schedule for the next restart fails with the error, as
// for an account that may not write the restart list; ERROR_SUCCESS ends it. Wine
// records every schedule. The program never calls it.
void RefuseRestartSchedules(DWORD error);

}  // namespace tvx
