#pragma once
// The uninstall: confirmation, clean-up, the listed files, then the self-removal batch.

#include <cstdio>

namespace tvx {

void RunUninstall();
// Removes the entries of the open list file in runs until a run removes nothing;
// returns whether something was left for the next restart.
bool RemoveListedFiles(FILE* list, const wchar_t* installFolder, const wchar_t* programPath);
// Moves a file that cannot be deleted to a free temporary name and schedules it for
// deletion at the next restart.
void DeferFileRemoval(const wchar_t* path);
// Schedules a file or an empty folder for deletion at the next restart.
bool DeleteAtRestart(const wchar_t* path);

}  // namespace tvx
