#pragma once
// Runs one of the program's dialogs inside the test process the way the program does
// (modal, on the main thread, from the test program's copy of the templates), while a
// second thread drives it through the GUI driver like a user would.

#include <windows.h>

#include <functional>
#include <thread>

#include "GuiDriver.h"

namespace tvxtest {

// Opens the dialog template `name` with `procedure` and `parameter`; `drive` runs on a
// second thread with the dialog once it is visible (found by `findId`, a control only
// that dialog has). If the dialog is still open after `drive` returns (a failed
// expectation, say), it is cancelled so that the test cannot hang. Returns the
// dialog's result.
inline INT_PTR RunDialog(const wchar_t* name, DLGPROC procedure, LPARAM parameter, int findId,
                         const std::function<void(HWND)>& drive, HWND owner = nullptr) {
    std::thread driver([&] {
        HWND dialog = WaitForOwnDialog(findId);
        if (!dialog) return;
        drive(dialog);
        if (!WaitUntilClosed(dialog, 3000)) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), name, owner, procedure, parameter);
    driver.join();
    return result;
}

// Watches this thread's windows while it lives: whether a dialog was initialised, and
// whether any window was ever shown (a silent run must accept without showing its
// dialog). Only top-level windows count, not the controls, which are created visible.
class DialogWatch {
public:
    DialogWatch();
    ~DialogWatch();
    DialogWatch(const DialogWatch&) = delete;
    DialogWatch& operator=(const DialogWatch&) = delete;
    bool installed() const { return hook_ != nullptr; }
    bool initialised() const { return initialised_; }
    bool shown() const { return shown_; }

private:
    static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_ = nullptr;
    bool initialised_ = false;
    bool shown_ = false;
};

}  // namespace tvxtest
