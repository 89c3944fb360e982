// Reports what the version predicates answer in a process of its own, so that a test
// can run it under a Windows version set for this program name alone.
// Exit code: WindowsVersionNumber() in the low 16 bits, IsWindows11() in bit 16 and
// OsNameIsWindows10() in bit 17.
#include <windows.h>
#include <objbase.h>

#include "platform/Owner.h"
#include "platform/WindowsVersion.h"

int main() {
    const tvx::ComSession com;
    DWORD result = tvx::WindowsVersionNumber() & 0xFFFF;
    if (tvx::IsWindows11()) result |= 1u << 16;
    if (tvx::OsNameIsWindows10()) result |= 1u << 17;
    return static_cast<int>(result);
}
