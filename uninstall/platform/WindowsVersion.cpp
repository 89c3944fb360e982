#include "platform/WindowsVersion.h"

#include <wbemidl.h>

#include <cwchar>

#include "platform/Owner.h"

namespace tvx {

namespace {

constexpr long kQueryTimeoutMs = 5000;

struct Windows11Cache {
    bool known = false;
    bool value = false;
};

struct VersionCache {
    int32_t platformId = -1;
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    uint32_t revision = 0;
};

Windows11Cache windows11Cache;
VersionCache versionCache;

OSVERSIONINFOW ReadVersion() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    GetVersionExW(&info);
    return info;
}

const VersionCache& Version() {
    if (versionCache.platformId == -1) {
        OSVERSIONINFOW info = ReadVersion();
        versionCache.platformId = static_cast<int32_t>(info.dwPlatformId);
        versionCache.major = info.dwMajorVersion;
        versionCache.minor = info.dwMinorVersion;
        versionCache.build = info.dwBuildNumber;
        // The number of the monthly update is kept only in the registry; Windows before 10 has none.
        DWORD revision = 0;
        DWORD size = sizeof revision;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", L"UBR",
                         RRF_RT_REG_DWORD, nullptr, &revision, &size) == ERROR_SUCCESS)
            versionCache.revision = revision;
    }
    return versionCache;
}

}  // namespace

bool IsWindows11() {
    if (windows11Cache.known) return windows11Cache.value;
    OSVERSIONINFOW info = ReadVersion();
    windows11Cache.value = DecideWindows11(info.dwMajorVersion, info.dwBuildNumber, OsNameIsWindows10);
    windows11Cache.known = true;
    return windows11Cache.value;
}

uint32_t WindowsVersionNumber() {
    const VersionCache& version = Version();
    if (version.platformId != VER_PLATFORM_WIN32_NT) return 0x0501;
    return version.major * 256 + version.minor;
}

bool HasDefaultAppsAppPage() {
    const VersionCache& version = Version();
    return DecideDefaultAppsAppPage(version.build, version.revision);
}

bool OsNameIsWindows10() {
    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.put_void()))) {
        return false;
    }
    ComPtr<IWbemServices> services;
    UniqueBstr space(SysAllocString(L"ROOT\\CIMV2"));
    // A WMI service that does not answer must not hold up an unattended setup: the
    // connection gives up after its maximum wait, and the query below after a few
    // seconds. Then the name counts as unknown and the build number alone decides.
    if (!space || FAILED(locator->ConnectServer(space.get(), nullptr, nullptr, nullptr, WBEM_FLAG_CONNECT_USE_MAX_WAIT,
                                                nullptr, nullptr, services.put()))) {
        return false;
    }
    if (FAILED(CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                 RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE))) {
        return false;
    }
    UniqueBstr language(SysAllocString(L"WQL"));
    UniqueBstr query(SysAllocString(L"SELECT * FROM Win32_OperatingSystem"));
    ComPtr<IEnumWbemClassObject> objects;
    if (!language || !query ||
        FAILED(services->ExecQuery(language.get(), query.get(),
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                   objects.put()))) {
        return false;
    }
    bool isWindows10 = false;
    for (;;) {
        ComPtr<IWbemClassObject> object;
        ULONG returned = 0;
        HRESULT hr = objects->Next(kQueryTimeoutMs, 1, object.put(), &returned);
        if (FAILED(hr) || hr == WBEM_S_TIMEDOUT || returned == 0 || !object) break;
        ScopedVariant name;
        if (SUCCEEDED(object->Get(L"Name", 0, name.get(), nullptr, nullptr)) && name->vt == VT_BSTR &&
            name->bstrVal != nullptr && wcsstr(name->bstrVal, L"Windows 10") != nullptr) {
            isWindows10 = true;
        }
    }
    return isWindows10;
}

void PrimeWindowsVersion(bool isWindows11, uint32_t versionNumber, uint32_t build, uint32_t revision) {
    windows11Cache.known = true;
    windows11Cache.value = isWindows11;
    versionCache.platformId = VER_PLATFORM_WIN32_NT;
    versionCache.major = versionNumber >> 8;
    versionCache.minor = versionNumber & 0xFF;
    versionCache.build = build;
    versionCache.revision = revision;
}

void ResetWindowsVersionCaches() {
    windows11Cache = Windows11Cache();
    versionCache = VersionCache();
}

}  // namespace tvx
