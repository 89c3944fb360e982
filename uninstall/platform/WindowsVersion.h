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

// Test seam: fills the caches as if the system had answered so. Wine has no Windows 11
// setting, so the tests prime these instead; the program itself never calls it.
void PrimeWindowsVersion(bool isWindows11, uint32_t versionNumber);
// Forgets both caches, so that the next call asks the system again.
void ResetWindowsVersionCaches();

}  // namespace tvx
