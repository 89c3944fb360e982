#pragma once
// Runs one of the program's dialogs inside the test process the way the program does
// (modal, on the main thread, from the test program's copy of the templates), while a second thread drives
// it through the GUI driver like a user would.

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "GuiDriver.h"

namespace tvxtest {

// A visible dialog of this process that has the control `withId` and lacks `withoutId`
// (0: no condition), or null after the timeout.
inline HWND WaitForOwnDialog(int withId, int withoutId = 0, DWORD timeoutMs = 20000) {
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : TopLevelWindows(GetCurrentProcessId(), L"#32770")) {
            if (!IsWindowVisible(window)) continue;
            if (withId && !HasControl(window, withId)) continue;
            if (withoutId && HasControl(window, withoutId)) continue;
            return window;
        }
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(30);
    }
}

// Waits until the window is gone; true when it went within the timeout.
inline bool WaitUntilClosed(HWND window, DWORD timeoutMs = 10000) {
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

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

inline std::wstring DialogItemText(HWND dialog, int id) { return ControlText(dialog, id); }

// The folder of the running test program, without trailing backslash.
inline std::wstring OwnFolder() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

}  // namespace tvxtest
