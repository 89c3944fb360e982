#pragma once
// Translation, resizing and mirroring of dialogs from the language file.

#include <windows.h>

#include <cstddef>

namespace tvx {

bool LookupDialogValue(const wchar_t* dialogName, const wchar_t* word, wchar_t* buffer, size_t size);
bool ReadDialogSize(const wchar_t* dialogName, int* width, int* height);
void LocalizeDialog(HWND dialog, const wchar_t* dialogName, bool isPage);
void ApplyRtlLayout(HWND window);
// Where a window of this size at this place ends up inside a monitor's work area; one
// larger than the area keeps its top-left corner in it.
POINT KeepInsideWorkArea(const RECT& workArea, POINT place, int width, int height);

}  // namespace tvx
