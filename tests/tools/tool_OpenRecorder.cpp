// Stand-in for whatever the shell would start to open a file, folder or web address:
// tests register it as the "open" command of a class and read back what it was given.
//
//   OpenRecorder.exe <record file> <tag> [<target>]
//
// appends one line "<tag>|<target>" (UTF-8) to the record file.

#include <windows.h>

#include <string>

#include "TestSupport.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    std::wstring line = argv[2];
    line += L"|";
    if (argc > 3) line += argv[3];
    line += L"\n";
    const std::string utf8 = tvxtest::Narrow(line);
    // Several openings may arrive at once; retry while another one holds the file.
    const bool written = tvxtest::WaitUntil([&] {
        const tvx::UniqueFileHandle file(
            CreateFileW(argv[1], FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD count = 0;
        WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &count, nullptr);
        return true;
    }, 2000, 20);
    return written ? 0 : 1;
}
