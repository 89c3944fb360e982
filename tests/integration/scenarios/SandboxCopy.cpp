// Runs this whole test program from a copy in a sandbox folder of its own. The setup
// code under test writes its template files next to the running program, and the
// build folder must never receive them.
#include <windows.h>

#include <cstdio>
#include <string>

#include "TestSupport.h"

namespace {

constexpr wchar_t kCopyMarker[] = L"TVX_SANDBOX_COPY";

// The command line without its first argument (the program path), as Windows parses it.
const wchar_t* ArgumentsAfterProgram(const wchar_t* commandLine) {
    const wchar_t* p = commandLine;
    bool quoted = false;
    for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p)
        if (*p == L'"') quoted = !quoted;
    return p;
}

// Never run in place: the build folder would receive the files.
DWORD Refuse(const char* step) {
    fprintf(stderr, "cannot %s the test program into a sandbox folder (error %lu)\n", step, GetLastError());
    return 1;
}

// Copies the program into a fresh temporary folder, runs the copy with the same
// arguments and output, and removes the folder again; returns the copy's exit code.
DWORD RunCopy() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const wchar_t* name = wcsrchr(self, L'\\');
    name = name ? name + 1 : self;

    tvxtest::TempFolder sandbox(L"tvxcopy");
    const std::wstring copy = sandbox / name;
    if (!CopyFileW(self, copy.c_str(), FALSE)) return Refuse("copy");
    std::wstring commandLine = L"\"" + copy + L"\"" + ArgumentsAfterProgram(GetCommandLineW());

    SetEnvironmentVariableW(kCopyMarker, L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return Refuse("start");
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

struct RunFromSandboxCopy {
    RunFromSandboxCopy() {
        if (GetEnvironmentVariableW(kCopyMarker, nullptr, 0) != 0) return;
        ExitProcess(RunCopy());
    }
};
RunFromSandboxCopy runFromSandboxCopy;

}  // namespace
