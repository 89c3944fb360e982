#pragma once
// The deletions that Windows carries out at the next restart (the delete entries of
// PendingFileRenameOperations), as far as a new install must take them back.

namespace tvx {

// Takes every deletion of folder itself or of anything below it out of the restart
// list and logs each one; renames and all other entries stay as they are, in their
// order. True when nothing was pending there or the list was rewritten.
bool CancelRestartDeletionsIn(const wchar_t* folder);

}  // namespace tvx
