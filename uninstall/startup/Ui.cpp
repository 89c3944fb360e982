#include "startup/Ui.h"

#include <cstdint>

#include "lang/Language.h"
#include "lang/Texts.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace tvx {
namespace {

// The screen's vertical resolution, read on first use; 0 until it could be read.
int verticalDpi = 0;

HICON programIcon = nullptr;
UniqueGdiObject boldFont;

}  // namespace

int ShowMessage(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
    if (IsRightToLeft()) flags |= MB_RTLREADING | MB_RIGHT;
    return MessageBoxW(owner, text, caption, flags);
}

int ScaleForDpi(int length) {
    if (verticalDpi == 0) {
        if (HDC screen = GetDC(nullptr)) {
            verticalDpi = GetDeviceCaps(screen, LOGPIXELSY);
            ReleaseDC(nullptr, screen);
        }
    }
    // Plain integer division truncates toward zero; MulDiv would round (-11 at 120 DPI
    // is -13 here, -14 there), and the dialogs are laid out for the truncated sizes.
    return static_cast<int>(static_cast<int64_t>(length) * verticalDpi / 96);
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
    wchar_t path[kPathCapacity];
    UINT length = GetSystemDirectoryW(path, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return nullptr;
    AppendSeparator(path, kPathCapacity);
    AppendText(path, fileName, kPathCapacity);
    return LoadLibraryW(path);
}

void HardenDllSearch(bool removeCurrentDirectory) {
    // Looked up at run time: systems before XP SP1 have no such function.
    using SetDllDirectoryFunction = BOOL(WINAPI*)(const wchar_t*);
    FARPROC address = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDllDirectoryW");
    if (!address) return;
    auto setDllDirectory = reinterpret_cast<SetDllDirectoryFunction>(reinterpret_cast<void*>(address));
    setDllDirectory(removeCurrentDirectory ? L"" : nullptr);
}

void ClearRtlReading(HWND window) {
    if (!IsRightToLeft()) return;
    LONG style = GetWindowLongW(window, GWL_EXSTYLE);
    SetWindowLongW(window, GWL_EXSTYLE, style & ~WS_EX_RTLREADING);
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
