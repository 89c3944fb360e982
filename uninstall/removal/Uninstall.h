#pragma once
// The uninstall: confirmation, clean-up, the listed files, then the self-removal batch.

#include <cstdio>
#include <string>
#include <vector>

namespace tvx {

void RunUninstall();
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

}  // namespace tvx
