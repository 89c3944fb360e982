// Stand-in for the context menu items dialog, which is not built yet: the setup
// dialog's button opens it and it closes at once. It goes when the dialog lands.
#include "integration/ContextItems.h"

namespace tvx {

INT_PTR CALLBACK ContextItemsDialog(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) EndDialog(dialog, 0);
    return FALSE;
}

}  // namespace tvx
