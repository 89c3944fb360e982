// Entry point of Uninstall.exe.

#include <windows.h>

namespace {

bool IsWaitSwitch(const wchar_t* commandLine) {
    return wcsstr(commandLine, L"/wait") != nullptr || wcsstr(commandLine, L"-wait") != nullptr;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    if (IsWaitSwitch(commandLine)) Sleep(2000);
    return 0;
}
