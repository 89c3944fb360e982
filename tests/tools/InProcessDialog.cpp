#include "InProcessDialog.h"

namespace tvxtest {
namespace {

// The watch of this thread: a hook procedure has no parameter of its own.
thread_local DialogWatch* activeWatch = nullptr;

bool IsTopLevel(HWND window) { return !(GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD); }

}  // namespace

DialogWatch::DialogWatch() {
    activeWatch = this;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, Watch, nullptr, GetCurrentThreadId());
}

DialogWatch::~DialogWatch() {
    if (hook_) UnhookWindowsHookEx(hook_);
    activeWatch = nullptr;
}

LRESULT CALLBACK DialogWatch::Watch(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && activeWatch && IsTopLevel(message->hwnd)) {
        if (message->message == WM_INITDIALOG) activeWatch->initialised_ = true;
        if ((message->message == WM_SHOWWINDOW && message->wParam) ||
            (message->message == WM_WINDOWPOSCHANGING &&
             (reinterpret_cast<const WINDOWPOS*>(message->lParam)->flags & SWP_SHOWWINDOW)))
            activeWatch->shown_ = true;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace tvxtest
