// Stand-in for the Windows 11 context-menu package installer. It appends a line
// "start <process id> <arguments>" to "TvxExtInstaller.log" next to itself, sleeps
// for the number of milliseconds written in "TvxExtInstaller.sleep" next to itself
// (none when that file is missing), and then appends "end <process id>".
#include <windows.h>

#include <string>

#include "TestSupport.h"

namespace {

std::wstring NextToMe(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.resize(folder.find_last_of(L'\\') + 1);
    return folder + name;
}

void AppendLine(const std::wstring& line) {
    const std::wstring log = NextToMe(L"TvxExtInstaller.log");
    const std::string previous = tvxtest::ReadFileBytes(log);
    std::string bytes;
    for (wchar_t c : line) bytes += static_cast<char>(c < 0x80 ? c : '?');
    tvxtest::WriteFileBytes(log, previous + bytes + "\r\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring arguments;
    for (int i = 1; i < argc; ++i) arguments += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
    const std::wstring id = std::to_wstring(GetCurrentProcessId());
    AppendLine(L"start " + id + L" " + arguments);

    const std::string sleep = tvxtest::ReadFileBytes(NextToMe(L"TvxExtInstaller.sleep"));
    if (!sleep.empty()) Sleep(static_cast<DWORD>(std::stoul(sleep)));

    AppendLine(L"end " + id);
    return 0;
}
