#include "platform/Paths.h"

#include <shlobj.h>

#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Strings.h"

namespace tvx {

namespace {

// Set for a copy of the program that acts for an install elsewhere; empty otherwise.
std::wstring installFolderActedFor;

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The current folder as GetCurrentDirectoryW gives it in 2047 characters, or false.
bool ReadCurrentFolder(wchar_t (&folder)[kPathCapacity]) {
    DWORD length = GetCurrentDirectoryW(kPathCapacity - 1, folder);
    return length != 0 && length <= kPathCapacity - 1;
}

}  // namespace

const wchar_t* FileNamePart(const wchar_t* path) {
    const wchar_t* name = nullptr;
    for (const wchar_t* p = path; *p != 0; ++p) {
        if (IsSeparator(*p)) name = p + 1;
    }
    if (name != nullptr) return name;
    if (path[0] != 0 && path[1] == L':') return path + 2;
    return path;
}

wchar_t* FileNamePart(wchar_t* path) {
    return const_cast<wchar_t*>(FileNamePart(static_cast<const wchar_t*>(path)));
}

// Keeps the separator when cutting it would leave less than a folder: C:\file gives
// C:\ and \file gives \, never the drive-relative C: or an empty path.
void RemoveFileName(wchar_t* path) {
    wchar_t* name = FileNamePart(path);
    ptrdiff_t offset = name - path;
    if (offset >= 2 && !(path[1] == L':' && offset < 4)) --name;
    *name = 0;
}

void ReplaceFileName(wchar_t* path, const wchar_t* newName, size_t size) {
    wchar_t* name = FileNamePart(path);
    size_t offset = static_cast<size_t>(name - path);
    if (offset < size) CopyText(name, newName, size - offset);
}

void FolderPart(const wchar_t* path, wchar_t* output, size_t size) {
    if (size == 0) return;
    size_t length = static_cast<size_t>(FileNamePart(path) - path);
    if (length > size - 1) length = size - 1;
    wmemcpy(output, path, length);
    output[length] = 0;
}

size_t AppendSeparator(wchar_t* path, size_t size) {
    size_t length = wcslen(path);
    if (length != 0 && path[length - 1] != L'\\' && length + 1 < size) {
        path[length] = L'\\';
        path[length + 1] = 0;
    }
    return length;
}

void JoinPath(const wchar_t* folder, const wchar_t* name, wchar_t* output, size_t size) {
    wchar_t joined[kPathCapacity];
    CopyText(joined, folder, kPathCapacity);
    // "C:" alone means the drive's current folder; a separator would turn it into the root.
    bool bareDrive = HasDriveLetter(joined) && joined[2] == 0;
    if (!bareDrive) AppendSeparator(joined, kPathCapacity);
    AppendText(joined, name, kPathCapacity);
    CopyText(output, joined, size);
}

const wchar_t* LastCharacter(const wchar_t* path) {
    size_t length = wcslen(path);
    return length == 0 ? path : path + length - 1;
}

void ActForInstallFolder(const wchar_t* folder) {
    std::wstring& acted = installFolderActedFor;
    wchar_t full[kPathCapacity];
    const DWORD length = folder[0] ? GetFullPathNameW(folder, kPathCapacity, full, nullptr) : 0;
    acted = length > 0 && length < kPathCapacity ? full : folder;
    // Windows Installer ends a folder with a separator ("C:\Apps\Tervix\"); a drive root
    // keeps its own.
    while (acted.size() > 3 && acted.back() == L'\\') acted.pop_back();
}

void GetProgramPath(wchar_t* output, size_t size) {
    // Room for the longest name the system gives out, so the copy below decides the cut.
    std::vector<wchar_t> path(32768);
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length >= path.size()) length = static_cast<DWORD>(path.size() - 1);
    path[length] = 0;
    if (!installFolderActedFor.empty()) {
        JoinPath(installFolderActedFor.c_str(), FileNamePart(path.data()), output, size);
        return;
    }
    CopyText(output, path.data(), size);
}

void GetProgramFolder(wchar_t* output, size_t size) {
    wchar_t path[kPathCapacity];
    GetProgramPath(path, kPathCapacity);
    RemoveFileName(path);
    CopyText(output, path, size);
}

bool GetSystemFilePath(const wchar_t* name, wchar_t* output, size_t size) {
    wchar_t path[kPathCapacity];
    const UINT length = GetSystemDirectoryW(path, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return false;
    JoinPath(path, name, output, size);
    return true;
}

bool HasDriveLetter(const wchar_t* path) {
    wchar_t letter = AsciiUpper(path[0]);
    return letter >= L'A' && letter <= L'Z' && path[1] == L':';
}

bool IsFullPath(const wchar_t* path) {
    if (path[0] == L'\\' && path[1] == L'\\') return true;
    return HasDriveLetter(path) && IsSeparator(path[2]);
}

bool HasWildcards(const wchar_t* path) {
    if (wcsncmp(path, L"\\\\?\\", 4) == 0) path += 4;
    return wcspbrk(path, L"*?") != nullptr;
}

namespace {

// The "\\?\" form is taken literally: the system no longer turns "/" into "\" nor
// drops "." and ".." components, so the path is made canonical here. ".." never
// climbs above the root (a drive or a share), as the system's own rule has it.
void AppendCanonical(std::wstring& result, const wchar_t* rest) {
    const size_t rootLength = result.size();
    const wchar_t* p = rest;
    while (*p != 0) {
        while (IsSeparator(*p)) ++p;
        const wchar_t* start = p;
        while (*p != 0 && !IsSeparator(*p)) ++p;
        const std::wstring_view part(start, static_cast<size_t>(p - start));
        if (part.empty() || part == L".") continue;
        if (part == L"..") {
            size_t cut = result.size();
            if (cut > rootLength) {
                cut = result.find_last_of(L'\\', cut - 2) + 1;
                if (cut < rootLength) cut = rootLength;
            }
            result.resize(cut);
            continue;
        }
        result.append(part);
        result += L'\\';
    }
    // A trailing separator stays only where the path had one (or is the bare root).
    const bool trailing = rest[0] == 0 || IsSeparator(*LastCharacter(rest));
    if (!trailing && result.size() > rootLength && result.back() == L'\\') result.pop_back();
}

// The long form of a full path (drive, UNC share or device path), empty when the path
// is not full.
std::wstring LongFormOfFullPath(const wchar_t* path) {
    std::wstring result;
    const wchar_t* rest;
    if (wcsncmp(path, L"\\\\?\\", 4) == 0) return path;  // already literal
    if (HasDriveLetter(path) && IsSeparator(path[2])) {
        result = std::wstring(L"\\\\?\\") + AsciiUpper(path[0]) + L":\\";
        rest = path + 3;
    } else if (IsSeparator(path[0]) && IsSeparator(path[1])) {
        // "\\.\C:\x" names the device path of a drive; "\\server\share\x" a share.
        const bool device = path[2] == L'.' && IsSeparator(path[3]);
        const wchar_t* p = path + (device ? 4 : 2);
        result = device ? L"\\\\?\\" : L"\\\\?\\UNC\\";
        for (int part = 0; part < (device ? 1 : 2); ++part) {
            while (IsSeparator(*p)) ++p;
            const wchar_t* start = p;
            while (*p != 0 && !IsSeparator(*p)) ++p;
            if (p == start) {
                if (part == 0) return L"";
                break;
            }
            result.append(start, p);
            result += L'\\';
        }
        rest = p;
        // "\\server\share" alone names the share without a separator.
        if (*rest == 0) {
            result.pop_back();
            return result;
        }
    } else {
        return L"";
    }
    AppendCanonical(result, rest);
    return result;
}

}  // namespace

bool MakeLongPathForm(const wchar_t* path, wchar_t* output, size_t size) {
    if (path[0] == 0 || size == 0) return false;
    std::wstring longForm = LongFormOfFullPath(path);
    if (longForm.empty()) {
        wchar_t current[kPathCapacity];
        if (!ReadCurrentFolder(current)) return false;
        std::wstring full;
        if (HasDriveLetter(path) && AsciiUpper(path[0]) != AsciiUpper(current[0])) {
            // "D:x" is relative to the current folder of drive D, which the system keeps.
            wchar_t driveFolder[kPathCapacity];
            const wchar_t drive[3] = {path[0], L':', 0};
            const DWORD length = GetFullPathNameW(drive, kPathCapacity, driveFolder, nullptr);
            if (length == 0 || length >= kPathCapacity) return false;
            full = std::wstring(driveFolder) + L'\\' + (path + 2);
        } else if (HasDriveLetter(path)) {
            full = std::wstring(current) + L'\\' + (path + 2);
        } else if (IsSeparator(path[0])) {
            // Rooted on the current drive or share: its root is the part of the current
            // folder that ".." cannot climb above.
            const std::wstring currentLong = LongFormOfFullPath(current);
            if (currentLong.empty()) return false;
            const bool share = wcsncmp(currentLong.c_str(), L"\\\\?\\UNC\\", 8) == 0;
            size_t rootEnd = 2;  // "C:", or "\\\\server\\share" for a share
            if (share) {
                for (int separators = 0; rootEnd < wcslen(current); ++rootEnd) {
                    if (IsSeparator(current[rootEnd]) && ++separators == 2) break;
                }
            }
            full = std::wstring(current, rootEnd) + path;
        } else {
            full = std::wstring(current) + L'\\' + path;
        }
        longForm = LongFormOfFullPath(full.c_str());
        if (longForm.empty()) return false;
    }
    if (longForm.size() >= size) return false;
    CopyText(output, longForm.c_str(), size);
    return true;
}

namespace {
bool failPlainAttempts = false;
}  // namespace

const wchar_t* PlainAttemptName(const wchar_t* name) {
    // An empty name fails every file operation with "path not found".
    return failPlainAttempts ? L"" : name;
}

void FailPlainAttemptsForTest(bool fail) { failPlainAttempts = fail; }

bool GetRoamingProductFolder(wchar_t* output, size_t size, bool create) {
    if (size == 0) return false;
    output[0] = 0;
    UniquePidl items;
    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, items.put())) && items &&
        !SHGetPathFromIDListW(items.get(), folder))
        folder[0] = 0;
    if (folder[0] == 0) return false;
    CopyText(output, folder, size);
    AppendSeparator(output, size);
    AppendText(output, L"Tervix", size);
    if (FileExists(output)) return true;
    if (!create) return false;
    return CreateFolder(output) == CreateFolderResult::Created;
}

void GetUserDataFolder(wchar_t* output, size_t size, bool create) {
    if (size == 0) return;
    output[0] = 0;
    UniqueHkey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", 0, KEY_QUERY_VALUE, key.put()) ==
        ERROR_SUCCESS) {
        // The request is limited to size bytes, half the buffer, as the settings have
        // always been read; a longer value does not fit and is ignored.
        DWORD type = 0;
        DWORD bytes = size > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<DWORD>(size);
        LSTATUS status =
            RegQueryValueExW(key.get(), L"AppData", nullptr, &type, reinterpret_cast<BYTE*>(output), &bytes);
        if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            size_t characters = bytes / sizeof(wchar_t);
            output[characters < size ? characters : size - 1] = 0;
        } else {
            output[0] = 0;
        }
    }
    if (output[0] != 0 && FileExists(output)) return;
    if (GetRoamingProductFolder(output, size, create)) return;
    GetProgramFolder(output, size);
}

void FindUserFile(const wchar_t* fileName, wchar_t* output, size_t size, bool search, bool create) {
    wchar_t folder[kPathCapacity];
    GetUserDataFolder(folder, kPathCapacity, create);
    JoinPath(folder, fileName, output, size);
    if (!search || ExistsWithWildcards(output)) return;
    GetProgramFolder(folder, kPathCapacity);
    JoinPath(folder, fileName, output, size);
}

}  // namespace tvx
