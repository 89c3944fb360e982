#pragma once
// The uninstall of an install that Windows Installer owns: its files and its Add/Remove
// entry are Windows Installer's, so the product goes through Windows Installer, which
// runs this program's integration removal on the way.

#include <string>

namespace tvx {

// The product code of the Windows Installer product whose Add/Remove entry names the
// folder as its install location (its package sets it); false when no product owns it.
bool FindInstallerProduct(const wchar_t* installFolder, std::wstring* productCode);

// Hands the uninstall to Windows Installer when a product of it owns the program's
// folder: "msiexec /x" with the product code, without its questions and notices when
// silent, waited for, and its result is the run's. The program's file leaves the folder
// first, so that Windows Installer can remove it, and is deleted after the run. False,
// with nothing done, when no product owns the folder.
bool HandOverToWindowsInstaller();

}  // namespace tvx
