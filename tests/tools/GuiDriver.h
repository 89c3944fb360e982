#pragma once
// A small GUI driver: finds the windows of another process (or of this one) and
// presses their buttons, the way a user would.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace tvxtest {

// What a window looked for must be. Only shown top-level windows count: a dialog or
// message box is listed a moment before it has its controls and is visible.
struct WindowQuery {
    DWORD processId = 0;                   // 0: any process
    const wchar_t* className = L"#32770";  // dialogs and message boxes; null: any class
    const wchar_t* title = nullptr;        // the caption; null: any
    int withId = 0;                        // a control it has (0: no condition)
    int withoutId = 0;                     // a control it lacks (0: no condition); the
                                           // program's dialogs share one range of ids
    HWND except = nullptr;                 // a window that does not count, such as a box
                                           // just answered that lingers a moment
    bool withText = false;                 // a message box only once its text is in place
    const wchar_t* message = nullptr;      // a message box with this text; null: any
};
// The first window that answers the query, or null.
HWND FindShownWindow(const WindowQuery& query);
// Waits up to timeoutMs for one.
HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs = 20000);
// A shown dialog of this process that has the control `withId` and lacks `withoutId`.
inline HWND WaitForOwnDialog(int withId, int withoutId = 0, DWORD timeoutMs = 20000) {
    return WaitForWindow({.processId = GetCurrentProcessId(), .withId = withId, .withoutId = withoutId}, timeoutMs);
}
// Waits until the window is gone; true when it went within the timeout.
bool WaitUntilClosed(HWND window, DWORD timeoutMs = 10000);

// Every top-level window of the process, optionally of one class.
std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className = nullptr);

std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int id);
// The message text of a standard message box (its static control 0xFFFF).
std::wstring MessageBoxText(HWND box);

// A message box of the process as the user reads it, once it is shown with its text;
// box is null when none came in time.
struct Notice {
    HWND box = nullptr;
    std::wstring caption;
    std::wstring text;
};
Notice WaitForNotice(DWORD processId, DWORD timeoutMs = 20000);

// How a run that must show nothing (a silent run, a refused one) ended: whether it ended
// in time, its exit code, and the first window it had instead (null when none).
struct QuietEnd {
    bool ended = false;
    DWORD exitCode = ~0u;
    HWND shown = nullptr;
};
// Waits up to timeoutMs for the process to end while `unwanted` lists no window; stops
// at the first one it lists. A window that only flashes up wants a short interval.
QuietEnd WaitForQuietEnd(Process& process, DWORD timeoutMs, const std::function<std::vector<HWND>()>& unwanted,
                         DWORD intervalMs = 50);
// The same, for a shown window that answers the query.
QuietEnd WaitForQuietEnd(Process& process, DWORD timeoutMs, const WindowQuery& unwanted, DWORD intervalMs = 50);

// Clicks a button (or check box) as a user would: BM_CLICK, sent so that it is done
// when the call returns. Posts instead when post is true (for buttons that start a
// nested modal loop).
bool PressButton(HWND dialog, int id, bool post = false);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
bool IsControlEnabled(HWND dialog, int id);
bool IsControlVisible(HWND dialog, int id);
bool HasControl(HWND dialog, int id);

}  // namespace tvxtest
