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

// Whether Settings opens Default apps at one program's page when asked with
// "ms-settings:defaultapps?registeredAppMachine=<name>", given the build and its update
// revision ("UBR"). Microsoft's guide to launching the Default Apps settings page names
// Windows 11 21H2 and 22H2 from their 2023-04 cumulative update (22000.1817 and
// 22621.1555; the 22H2 variants up to 22630 share its revisions) and 23H2 (22631) or
// later. Windows 10 has no such page: older systems get Default apps itself.
constexpr bool DecideDefaultAppsAppPage(uint32_t build, uint32_t revision) {
    if (build >= 22631) return true;
    if (build >= 22621) return revision >= 1555;
    return build == 22000 && revision >= 1817;
}
// The same for this system.
bool HasDefaultAppsAppPage();

// Test seam: fills the caches as if the system had answered so. Wine has no Windows 11
// setting, so the tests prime these instead; the program itself never calls it.
void PrimeWindowsVersion(bool isWindows11, uint32_t versionNumber, uint32_t build = 0, uint32_t revision = 0);
// Forgets both caches, so that the next call asks the system again.
void ResetWindowsVersionCaches();

}  // namespace tvx
