#pragma once
// The context menu items dialog "SETUPCONTEXTITEMS".

#include <windows.h>

namespace tvx {

// lParam: non-zero when the setup dialog's cascaded-menu box is checked.
INT_PTR CALLBACK ContextItemsDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tvx
