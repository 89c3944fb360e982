// A library that someone planted beside a program under the name of a system library
// (bcrypt.dll, uxtheme.dll). Whenever a process loads it, it appends the path of that
// process's program to "<its own file name>.ran" in the folder that TVX_PLANT_MARKS
// names. It hands out bcrypt's random numbers, so that a program importing them still
// runs to its end with it.

#include <windows.h>
#include <ntsecapi.h>

#include <cwchar>
#include <string>

#include "platform/Owner.h"

namespace {

void LeaveMark(HMODULE self) {
    wchar_t folder[MAX_PATH], own[MAX_PATH], program[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"TVX_PLANT_MARKS", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    GetModuleFileNameW(self, own, MAX_PATH);
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const wchar_t* name = wcsrchr(own, L'\\');
    const std::wstring mark = std::wstring(folder) + L"\\" + (name ? name + 1 : own) + L".ran";
    const std::wstring line = std::wstring(program) + L"\r\n";
    const tvx::UniqueFileHandle file(CreateFileW(mark.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (file) WriteFile(file.get(), line.c_str(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) LeaveMark(self);
    return TRUE;
}

extern "C" __declspec(dllexport) LONG WINAPI BCryptGenRandom(void*, unsigned char* buffer, ULONG size, ULONG) {
    return RtlGenRandom(buffer, size) ? 0 : static_cast<LONG>(0xC0000001L);
}
