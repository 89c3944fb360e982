#pragma once
// The completion dialog "DONEDLG" and the help file.

#include <windows.h>

namespace tvx {

INT_PTR CALLBACK CompletionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Opens "tervix.chm" at the topic, or at its contents without one.
void ShowHelp(HWND owner, const wchar_t* topic);

}  // namespace tvx
