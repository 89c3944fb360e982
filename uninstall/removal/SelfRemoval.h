#pragma once
// The end of the uninstall: the program file leaves the install folder for a folder
// of its own, the install folder goes, and what is left is handed to the batch.

#include <string>

namespace tvx {

// The access list of the private folder in SDDL: full access for the account, SYSTEM
// and Administrators, to the folder and everything created in it, and nothing that the
// parent folder would pass on.
std::wstring PrivateFolderSecurity(const std::wstring& accountSid);
// Creates a folder at path with the private access list. False when anything stands
// at that path already: what someone else put there is never opened or used.
bool CreatePrivateFolderAt(const std::wstring& path);
// A new private folder under an unpredictable name below parent (which ends in a
// backslash); empty, and logged, when none could be created.
std::wstring CreatePrivateFolder(const std::wstring& parent);

struct SelfRemoval {
    std::wstring batchFolder;      // the private folder; empty when none could be created
    std::wstring program;          // where the program file is now
    bool programMoved = false;     // out of the install folder into batchFolder
    bool folderAtRestart = false;  // the install folder goes at the next restart
};

// Moves the program file into a new private folder in the temporary folder (possible
// only within one volume), takes the current folder out of the install folder and
// removes that.
// A folder that still holds files deferred to the restart (filesDeferred) or that is in
// use follows at the restart; one that holds files the product does not own stays.
SelfRemoval RemoveInstallFolder(const wchar_t* programPath, const wchar_t* installFolder, bool filesDeferred);

}  // namespace tvx
