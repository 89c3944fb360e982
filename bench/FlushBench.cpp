// How often a setup and an uninstall write whole registry hives to the disk: a setup
// that takes every type (the shell extension and a desktop shortcut with them) on a
// machine where other programs own some of those types, then the uninstall after it.
// Each run is counted twice: the RegFlushKey calls that Wine traces, and the "flushed"
// lines of the run's log. Wine writes the traces of every program started here into
// this program's standard error (WINEDEBUG=trace+reg), which scripts/bench-flush.sh sends
// to a file; a run's calls are the lines it added to that file.
//
// FlushBench.exe <Uninstall.exe> <work folder> [trace file]   (under Wine: scripts/bench-flush.sh)

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/Owner.h"

namespace {

using tvx::UniqueFileHandle;
using tvx::UniqueHandle;
using tvx::UniqueHkey;

// Types that other programs own before setup, the way a user's machine has them.
struct Owned {
    const wchar_t* extension;
    const wchar_t* progId;
};
constexpr Owned kOwnedBefore[] = {
    {L".zip", L"CompressedFolder"}, {L".7z", L"Other.7z"}, {L".tar", L"Other.tar"}, {L".iso", L"Burner.iso"},
};

struct Run {
    DWORD exitCode = 0;
    int traced = 0;   // RegFlushKey calls that Wine traced
    int logged = 0;   // "flushed" lines of the run log
};

// A text file from the byte offset on; empty when it cannot be read.
std::string ReadFrom(const std::wstring& path, size_t offset = 0) {
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    std::string text;
    char chunk[65536];
    DWORD got = 0;
    while (file && ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    return offset < text.size() ? text.substr(offset) : std::string();
}

// The lines of a text that hold needle.
int CountLines(const std::string& text, const char* needle) {
    int count = 0;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        count += text.substr(start, end - start).find(needle) != std::string::npos;
    }
    return count;
}

// Runs the program with a run log of its own and counts what it flushed.
bool RunProgram(const std::wstring& program, const std::wstring& switches, const std::wstring& work,
                const std::wstring& trace, const wchar_t* name, Run* run) {
    const std::wstring log = work + L"\\" + name + L".log";
    DeleteFileW(log.c_str());
    const size_t traced = ReadFrom(trace).size();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + program + L"\" " + switches + L" \"/log=" + log + L"\"";
    const std::wstring folder = program.substr(0, program.rfind(L'\\'));
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return false;
    const UniqueHandle thread(process.hThread), started(process.hProcess);
    WaitForSingleObject(started.get(), INFINITE);
    GetExitCodeProcess(started.get(), &run->exitCode);
    run->traced = CountLines(ReadFrom(trace, traced), ":NtFlushKey");
    run->logged = CountLines(ReadFrom(log), " flushed ");
    return true;
}

bool WriteFileText(const std::wstring& path, const std::string& text) {
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void SetClassDefault(const wchar_t* key, const wchar_t* value) {
    UniqueHkey handle;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_WRITE, nullptr, handle.put(), nullptr) ==
        ERROR_SUCCESS)
        RegSetValueExW(handle.get(), L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
}

void Print(const wchar_t* what, const Run& run) {
    wprintf(L"%-52ls %4d RegFlushKey calls  %3d \"flushed\" log lines  exit %lu\n", what, run.traced, run.logged,
            run.exitCode);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const tvx::ScopeGuard freeArguments([argv] { LocalFree(argv); });
    if (argc < 3) {
        fwprintf(stderr, L"usage: FlushBench <Uninstall.exe> <work folder> [trace file]\n");
        return 2;
    }
    const std::wstring trace = argc > 3 ? argv[3] : L"";
    const std::wstring work = argv[2], install = work + L"\\Tervix", program = install + L"\\Uninstall.exe";
    CreateDirectoryW(work.c_str(), nullptr);
    CreateDirectoryW(install.c_str(), nullptr);
    if (!CopyFileW(argv[1], program.c_str(), FALSE) ||
        !WriteFileText(install + L"\\Tervix.exe", "MZ") ||
        !WriteFileText(install + L"\\Uninstall.lst", "Tervix.exe\r\nUninstall.exe\r\nUninstall.lst\r\n")) {
        fwprintf(stderr, L"could not lay out the install in %ls\n", install.c_str());
        return 1;
    }
    for (const Owned& owned : kOwnedBefore) SetClassDefault(owned.extension, owned.progId);

    Run setup, uninstall;
    if (!RunProgram(program, L"-s /setup -initA" + std::wstring(18, L'1') + L"S1D1P0", work, trace, L"setup", &setup) ||
        !RunProgram(program, L"-s", work, trace, L"uninstall", &uninstall)) {
        fwprintf(stderr, L"could not start %ls\n", program.c_str());
        return 1;
    }
    // The batch deletes the moved program after the uninstall has ended.
    for (int i = 0; i < 300 && GetFileAttributesW(install.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);

    if (setup.traced == 0 && uninstall.traced == 0)
        wprintf(L"(no Wine trace: run scripts/bench-flush.sh to count the RegFlushKey calls)\n");
    Print(L"setup of every type (18, shell extension, desktop)", setup);
    Print(L"the uninstall after it", uninstall);
    return setup.exitCode == 0 && uninstall.exitCode == 0 ? 0 : 1;
}
