// Writes both New-menu templates next to this program, as setup does, and prints
// their paths.
#include <cstdio>
#include <initializer_list>

#include "integration/NewMenu.h"

int wmain() {
    for (bool isNative : {true, false}) {
        wchar_t path[2048];
        if (!tvx::WriteTemplateFile(isNative, path, 2048)) return 1;
        wprintf(L"%ls\n", path);
    }
    return 0;
}
