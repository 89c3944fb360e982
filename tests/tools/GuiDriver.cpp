#include "GuiDriver.h"

namespace tvxtest {
namespace {

struct FindRequest {
    DWORD processId;
    const wchar_t* title;
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
    auto* request = reinterpret_cast<FindRequest*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (request->processId != 0 && owner != request->processId) return TRUE;
    if (request->className) {
        wchar_t name[256];
        if (!GetClassNameW(window, name, 256) || wcscmp(name, request->className) != 0) return TRUE;
    }
    if (request->title && WindowText(window) != request->title) return TRUE;
    request->found.push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className) {
    FindRequest request{processId, nullptr, className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

HWND WaitForWindow(DWORD processId, const wchar_t* title, const wchar_t* className, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        FindRequest request{processId, title, className, {}};
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&request));
        if (!request.found.empty()) return request.found.front();
        if (GetTickCount() - start >= timeoutMs) return nullptr;
        Sleep(50);
    }
}

std::wstring WindowText(HWND window) {
    wchar_t text[4096] = {};
    // WM_GETTEXT through SendMessageTimeout so that a hung window cannot hang the test.
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
    return text;
}

std::wstring ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control ? WindowText(control) : std::wstring();
}

std::wstring MessageBoxText(HWND box) { return ControlText(box, 0xFFFF); }

bool PressButton(HWND dialog, int id, bool post) {
    HWND button = GetDlgItem(dialog, id);
    if (!button) {
        // Message boxes and dialogs also take the command directly (IDOK, IDYES, ...).
        return post ? PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0) != 0
                    : (SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0), true);
    }
    if (post) return PostMessageW(button, BM_CLICK, 0, 0) != 0;
    SendMessageW(button, BM_CLICK, 0, 0);
    return true;
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, bool checked) {
    if (IsChecked(dialog, id) != checked) PressButton(dialog, id);
}

bool IsControlEnabled(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && IsWindowEnabled(control);
}

bool IsControlVisible(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control && (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool HasControl(HWND dialog, int id) { return GetDlgItem(dialog, id) != nullptr; }

}  // namespace tvxtest
