// Holds a file the way a running program does, until told to let go:
//   FileLocker load <path> <name>   maps the file as a library (deleting is refused, renaming works)
//   FileLocker open <path> <name>   opens it without any sharing (deleting and renaming are refused)
// Sets the event "<name>-ready" once the file is held, then waits for "<name>-stop".
// Exits with 0 after the stop, 2 when the file could not be held, 1 on bad arguments.

#include <windows.h>

#include <string>

#include "platform/Owner.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 1;
    const std::wstring mode = argv[1];
    const wchar_t* path = argv[2];
    const std::wstring name = argv[3];

    tvx::UniqueModule library;
    tvx::UniqueFileHandle file;
    if (mode == L"load") {
        library.reset(LoadLibraryExW(path, nullptr, DONT_RESOLVE_DLL_REFERENCES));
        if (!library) return 2;
    } else if (mode == L"open") {
        file.reset(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file) return 2;
    } else {
        return 1;
    }

    const tvx::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, (name + L"-ready").c_str()));
    const tvx::UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, (name + L"-stop").c_str()));
    if (!ready || !stop) return 2;
    SetEvent(ready.get());
    WaitForSingleObject(stop.get(), INFINITE);
    return 0;
}
