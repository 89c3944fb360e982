// DpiProbe.exe: reports what the program's DPI scaling gives in this process, as the
// exit code (a signed number). "DpiProbe <length>" returns ScaleForDpi(length);
// "DpiProbe font" returns the height of the bold font the program creates.
#include <windows.h>

#include <cwchar>
#include <cwctype>

#include "startup/Ui.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 0x7FFFFFFF;
    if (wcscmp(argv[1], L"font") == 0) {
        tvx::CreateProgramResources();
        LOGFONTW font = {};
        if (!tvx::BoldFont() || !GetObjectW(tvx::BoldFont(), sizeof font, &font)) return 0x7FFFFFFF;
        tvx::ReleaseProgramResources();
        return font.lfHeight;
    }
    return tvx::ScaleForDpi(_wtoi(argv[1]));
}
