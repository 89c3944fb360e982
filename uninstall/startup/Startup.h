#pragma once
// Start-up helpers that the entry point calls around the setup road.

namespace tvx {

// Copies "tervix.ini" from the installer's folder after a completed setup dialog.
void CopyFromInstallerFolder();

}  // namespace tvx
