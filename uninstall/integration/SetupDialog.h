#pragma once
// The integration dialog "SETUPDLG" and the handling every dialog shares.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "integration/SetupChoices.h"
#include "settings/Settings.h"

namespace tvx {

// The setup road: the setup dialog, on OK the stored and applied choices, then the
// completion dialog and the new program group, all for whom the scope says. An install
// for one account is refused for the system account, whose own hive no person uses.
void RunSetup(Scope scope);

// What the setup dialog ends with: 1 applied, 0 cancelled, or this when the account
// was refused the machine-wide writes (already said in a message box).
inline constexpr INT_PTR kSetupRefused = 2;

// Its creation parameter is the Scope of the install, as an integer.
INT_PTR CALLBACK SetupDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// First stage of every dialog procedure: localisation, mirroring, F1. True when the
// message was handled.
bool CommonDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const wchar_t* dialogName,
                         const wchar_t* helpTopic);

void LoadSetupChoices(SetupChoices* choices, Scope scope);
void ApplyInitOptions(const wchar_t* options, SetupChoices* choices);
void ShowChoicesInDialog(HWND dialog, const SetupChoices& choices);
void ReadChoicesFromDialog(HWND dialog, SetupChoices* choices);
void StoreSetupChoices(const SetupChoices& choices);
// Applies the choices to the system for whom the scope says, the uninstall entry's first
// values before anything else (unless msi); false when a machine-wide write was denied.
bool ApplyIntegration(const SetupChoices& choices, wchar_t* groupPath, size_t groupPathSize, Scope scope);

// The program-group folder filled by the last ApplyIntegration (empty if none).
const wchar_t* ProgramGroupPath();
// The chosen types that Windows keeps for another program, found after the choices were
// applied; the completion dialog names them.
const std::vector<std::wstring>& TypesKeptByUserChoice();

}  // namespace tvx
