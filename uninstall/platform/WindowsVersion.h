#pragma once
// Cached Windows version predicates.

#include <windows.h>

#include <cstdint>

namespace tvx {

// Windows 11 is Windows 10 with build 22000 or later whose name (asked of WMI) does not
// say "Windows 10". Needs COM on the calling thread.
bool IsWindows11();
// major * 256 + minor on NT systems, 0x0501 elsewhere.
uint32_t WindowsVersionNumber();
bool OsNameIsWindows10();

// The decision behind IsWindows11, given the reported major version and build and a
// way to ask the system's name. The name is asked only when the build alone cannot
// tell: Windows 10 editions exist with builds in the Windows 11 range.
template <typename AskNameIsWindows10>
bool DecideWindows11(uint32_t major, uint32_t build, AskNameIsWindows10&& osNameIsWindows10) {
    if (major > 10) return true;
    return major == 10 && build >= 22000 && !osNameIsWindows10();
}

// Test seam: fills the caches as if the system had answered so. Wine has no Windows 11
// setting, so the tests prime these instead; the program itself never calls it.
void PrimeWindowsVersion(bool isWindows11, uint32_t versionNumber);
// Forgets both caches, so that the next call asks the system again.
void ResetWindowsVersionCaches();

}  // namespace tvx
