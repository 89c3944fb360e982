// A library planted beside a program under the name of a system library (bcrypt.dll,
// uxtheme.dll). Each process that loads it appends its program's path to
// "<this file's name>.ran" in the folder that TVX_PLANT_MARKS names. It hands out
// bcrypt's random numbers, so that a program importing them still runs to its end.

#include <windows.h>
#include <ntsecapi.h>

#include <cwchar>
#include <string>

#include "platform/Owner.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*) {
    wchar_t folder[MAX_PATH], own[MAX_PATH], program[MAX_PATH];
    const DWORD named =
        reason == DLL_PROCESS_ATTACH ? GetEnvironmentVariableW(L"TVX_PLANT_MARKS", folder, MAX_PATH) : 0;
    if (named == 0 || named >= MAX_PATH) return TRUE;
    GetModuleFileNameW(self, own, MAX_PATH);
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring mark = std::wstring(folder) + (wcsrchr(own, L'\\') ? wcsrchr(own, L'\\') : own) + L".ran";
    const tvx::UniqueFileHandle file(CreateFileW(mark.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (file) WriteFile(file.get(), program, length * sizeof(wchar_t), &written, nullptr);
    return TRUE;
}

extern "C" __declspec(dllexport) LONG WINAPI BCryptGenRandom(void*, unsigned char* buffer, ULONG size, ULONG) {
    return RtlGenRandom(buffer, size) ? 0 : static_cast<LONG>(0xC0000001L);
}
