// Loads each library named on its command line by its bare name, as Windows' own code
// does with a library that is not one of its KnownDLLs:
//   LibraryLoader <name.dll>...
// Exits with 0 when every one loaded, 2 when one did not, 1 without a name.

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 1;
    for (int i = 1; i < argc; ++i)
        if (!LoadLibraryW(argv[i])) return 2;
    return 0;
}
