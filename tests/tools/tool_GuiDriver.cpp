// GuiDriver.exe: the GUI driver of the tests, for scripts. Finds a visible top-level
// window of any process in the prefix and acts on it:
//   GuiDriver wait  <window>              waits for it; prints its rectangle
//   GuiDriver rect  <window>              prints its rectangle: left top width height
//   GuiDriver press <window> --id <n>     clicks control n (posted, so that a button that
//                                         opens a modal dialog does not block the driver)
//   GuiDriver text  <window>              prints its caption and each control's id, class,
//                                         rectangle and text, one a line (UTF-8)
// <window> is any of --title <caption>, --class <class>, --has <id> (it has control id),
// --without <id> (it has not), --timeout <ms> (default 20000). Exit code 0 when done,
// 1 on bad arguments, 2 when no such window appeared in time.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "GuiDriver.h"
#include "TestSupport.h"

namespace {

void PrintUtf8(const std::wstring& text) {
    const std::string bytes = tvxtest::Narrow(text);
    fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void PrintRect(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void PrintControls(HWND window) {
    PrintUtf8(L"caption " + tvxtest::WindowText(window) + L"\n");
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[256] = {};
        GetClassNameW(child, className, 256);
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        wchar_t line[512];
        swprintf(line, 512, L"%d %ls %ld %ld %ld %ld%ls ", GetDlgCtrlID(child), className, rect.left, rect.top,
                 rect.right - rect.left, rect.bottom - rect.top, IsWindowVisible(child) ? L"" : L" hidden");
        PrintUtf8(line + tvxtest::WindowText(child) + L"\n");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 1;
    const std::wstring command = argv[1];
    tvxtest::WindowQuery query{.className = nullptr};
    DWORD timeoutMs = 20000;
    int id = 0;
    for (int i = 2; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (i + 1 >= argc) return 1;
        const wchar_t* value = argv[++i];
        if (option == L"--title") {
            query.title = value;
        } else if (option == L"--class") {
            query.className = value;
        } else if (option == L"--has") {
            query.withId = _wtoi(value);
        } else if (option == L"--without") {
            query.withoutId = _wtoi(value);
        } else if (option == L"--timeout") {
            timeoutMs = static_cast<DWORD>(_wtoi(value));
        } else if (option == L"--id") {
            id = _wtoi(value);
        } else {
            return 1;
        }
    }
    if (command != L"wait" && command != L"rect" && command != L"press" && command != L"text") return 1;
    if (command == L"press" && id == 0) return 1;

    HWND window = tvxtest::WaitForWindow(query, timeoutMs);
    if (!window) return 2;
    if (command == L"press") {
        // The command itself, not a click: a click holds the mouse capture while the
        // dialog it opens runs, and under X that dialog is then never drawn.
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    } else if (command == L"text") {
        PrintControls(window);
    } else {
        PrintRect(window);
    }
    return 0;
}
