#include "GuiDriver.h"

#include "TestSupport.h"

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

HWND FindShownWindow(const WindowQuery& query) {
    FindRequest request{query.processId, query.title, query.className, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&request));
    for (HWND window : request.found) {
        if (window == query.except || !IsWindowVisible(window)) continue;
        if (query.withId && !HasControl(window, query.withId)) continue;
        if (query.withoutId && HasControl(window, query.withoutId)) continue;
        if (query.withText && MessageBoxText(window).empty()) continue;
        if (query.message && MessageBoxText(window) != query.message) continue;
        return window;
    }
    return nullptr;
}

HWND WaitForWindow(const WindowQuery& query, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindShownWindow(query)) != nullptr; }, timeoutMs);
    return found;
}

bool WaitUntilClosed(HWND window, DWORD timeoutMs) {
    return WaitUntil([&] { return !IsWindow(window); }, timeoutMs, 20);
}

Notice WaitForNotice(DWORD processId, DWORD timeoutMs) {
    Notice notice;
    notice.box = WaitForWindow({.processId = processId, .withText = true}, timeoutMs);
    if (notice.box) {
        notice.caption = WindowText(notice.box);
        notice.text = MessageBoxText(notice.box);
    }
    return notice;
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

QuietEnd WaitForQuietEnd(Process& process, DWORD timeoutMs, const std::function<std::vector<HWND>()>& unwanted,
                         DWORD intervalMs) {
    QuietEnd end;
    WaitUntil([&] {
        const std::vector<HWND> windows = unwanted();
        if (!windows.empty()) end.shown = windows.front();
        end.ended = !end.shown && process.Wait(0, &end.exitCode);
        return end.shown || end.ended;
    }, timeoutMs, intervalMs);
    return end;
}

QuietEnd WaitForQuietEnd(Process& process, DWORD timeoutMs, const WindowQuery& unwanted, DWORD intervalMs) {
    const auto shownWindows = [&] {
        HWND shown = FindShownWindow(unwanted);
        return shown ? std::vector<HWND>{shown} : std::vector<HWND>{};
    };
    return WaitForQuietEnd(process, timeoutMs, shownWindows, intervalMs);
}

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
