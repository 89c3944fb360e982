#include "startup/Ui.h"

#include <cstdint>
#include <string>

#include "lang/Language.h"
#include "lang/Texts.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/Strings.h"
#include "startup/RunOptions.h"

namespace tvx {
namespace {

// The screen's vertical resolution, read on first use; 0 until it could be read.
int verticalDpi = 0;

HICON programIcon = nullptr;
UniqueGdiObject boldFont;

}  // namespace

int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
    std::wstring logged = text ? text : L"";
    for (wchar_t& c : logged)
        if (c == L'\r' || c == L'\n') c = L' ';
    // Nobody watches a silent run: the message goes to the log only, and the run goes
    // on as if the first button had been pressed.
    if (Options().silent) {
        LogAction(L"message (not shown, silent run): " + logged);
        const UINT type = flags & MB_TYPEMASK;
        return type == MB_YESNO || type == MB_YESNOCANCEL ? IDYES : IDOK;
    }
    LogAction(L"message: " + logged);
    if (IsRightToLeft()) flags |= MB_RTLREADING | MB_RIGHT;
    return MessageBoxW(owner, text, caption, flags);
}

int ScaleForDpi(int length) {
    if (verticalDpi == 0) {
        const WindowDc screen(nullptr);
        if (screen) verticalDpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    }
    // Plain integer division truncates toward zero; MulDiv would round (-11 at 120 DPI
    // is -13 here, -14 there), and the dialogs are laid out for the truncated sizes.
    return static_cast<int>(static_cast<int64_t>(length) * verticalDpi / 96);
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
    wchar_t path[kPathCapacity];
    if (!GetSystemFilePath(fileName, path, kPathCapacity)) return nullptr;
    return LoadLibraryW(path);
}

void HardenDllSearch(bool removeCurrentDirectory) {
    // Looked up at run time: Windows 7 has them only with its update KB2533623.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (removeCurrentDirectory) {
        // Every library that is not one of Windows' KnownDLLs (bcrypt.dll, uxtheme.dll,
        // which the common controls load) would otherwise be looked for in the program's
        // folder first, where anyone who may write there can plant one. From here on the
        // system folder alone is searched, for our loads and for those of every library
        // in the process.
        using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
        if (FARPROC address = GetProcAddress(kernel, "SetDefaultDllDirectories"))
            reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(address))(
                LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Where that is missing, the current folder at least leaves the search.
    using SetDllDirectoryFunction = BOOL(WINAPI*)(const wchar_t*);
    FARPROC address = GetProcAddress(kernel, "SetDllDirectoryW");
    if (!address) return;
    auto setDllDirectory = reinterpret_cast<SetDllDirectoryFunction>(reinterpret_cast<void*>(address));
    setDllDirectory(removeCurrentDirectory ? L"" : nullptr);
}

void ClearRtlReading(HWND window) {
    if (!IsRightToLeft()) return;
    LONG style = GetWindowLongW(window, GWL_EXSTYLE);
    SetWindowLongW(window, GWL_EXSTYLE, style & ~WS_EX_RTLREADING);
}

bool WaitWhileDispatching(HANDLE process, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        const DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            // A quit request belongs to the loop further out; leave it for that one.
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

void CreateProgramResources() {
    programIcon = LoadIconW(ResourceModule(), L"TVXICON");
    // A resource library without an icon of its own borrows the program's.
    if (!programIcon && ResourceModule() != ProgramModule()) programIcon = LoadIconW(ProgramModule(), L"TVXICON");

    boldFont.reset(CreateFontW(ScaleForDpi(-12), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Shell Dlg"));
}

void ReleaseProgramResources() {
    boldFont.reset();
    // Icons from LoadIconW are shared with the module and are never destroyed.
    programIcon = nullptr;
}

HICON ProgramIcon() { return programIcon; }

HFONT BoldFont() { return static_cast<HFONT>(boldFont.get()); }

}  // namespace tvx
