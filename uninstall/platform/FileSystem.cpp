#include "platform/FileSystem.h"

#include <shellapi.h>
#include <share.h>

#include <cwchar>

#include "platform/Paths.h"
#include "platform/Strings.h"

namespace tvx {

namespace {

bool EndsInDotOrBlank(const wchar_t* name) {
    wchar_t last = *LastCharacter(name);
    return last == L'.' || last == L' ';
}

uint64_t Combine(DWORD high, DWORD low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

uint64_t Nanoseconds(const FILETIME& time) {
    return Combine(time.dwHighDateTime, time.dwLowDateTime) * 100;
}

void FillRecord(const wchar_t* mask, const WIN32_FIND_DATAW& data, FoundEntry* record) {
    CopyText(record->fullName, mask, kPathCapacity);
    ReplaceFileName(record->fullName, data.cFileName, kPathCapacity);
    record->size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
    record->attributes = data.dwFileAttributes;
    record->isFolder =
        data.dwFileAttributes != INVALID_FILE_ATTRIBUTES && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    record->isReparsePoint = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // The find data carries the reparse tag in dwReserved0.
    record->isLink = IsLinkReparseTag(data.dwFileAttributes, data.dwReserved0);
    record->lastWriteNs = Nanoseconds(data.ftLastWriteTime);
    record->creationNs = Nanoseconds(data.ftCreationTime);
    record->lastAccessNs = Nanoseconds(data.ftLastAccessTime);
    record->creationTime = data.ftCreationTime;
    record->lastAccessTime = data.ftLastAccessTime;
    record->lastWriteTime = data.ftLastWriteTime;
}

// The error stays in GetLastError().
HANDLE FindFirstLong(const wchar_t* name, WIN32_FIND_DATAW* data) {
    HANDLE find = INVALID_HANDLE_VALUE;
    WithLongPathRetry(name, [&](const wchar_t* n) {
        find = FindFirstFileW(n, data);
        return find != INVALID_HANDLE_VALUE;
    });
    return find;
}

// Folders open only with the backup-semantics flag; no access right is needed to ask
// for the identity.
bool ReadIdentity(const wchar_t* name, BY_HANDLE_FILE_INFORMATION* info) {
    UniqueFileHandle handle;
    WithLongPathRetry(name, [&](const wchar_t* n) {
        handle.reset(CreateFileW(n, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return static_cast<bool>(handle);
    });
    return handle && GetFileInformationByHandle(handle.get(), info);
}

bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

}  // namespace

bool IsLinkReparseTag(DWORD attributes, DWORD tag) {
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    return tag == 0 || IsReparseTagNameSurrogate(tag);
}

bool IsLink(const wchar_t* name, DWORD attributes) {
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(HasWildcards(name) ? INVALID_HANDLE_VALUE : FindFirstLong(name, &data));
    if (find) return IsLinkReparseTag(data.dwFileAttributes, data.dwReserved0);
    // A drive root or a share has no find entry of its own; its handle tells.
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    UniqueHandle file(CreateFileW(name, FILE_READ_ATTRIBUTES, sharing, nullptr, OPEN_EXISTING, flags, nullptr));
    FILE_ATTRIBUTE_TAG_INFO info = {};
    if (!file || !GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &info, sizeof info)) return true;
    return IsLinkReparseTag(attributes, info.ReparseTag);
}

bool DeleteFileLong(const wchar_t* name) {
    return WithLongPathRetry(name, [](const wchar_t* n) { return DeleteFileW(n) != FALSE; });
}

DWORD GetAttributesLong(const wchar_t* name) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    WithLongPathRetry(name, [&](const wchar_t* n) {
        attributes = GetFileAttributesW(n);
        return attributes != INVALID_FILE_ATTRIBUTES;
    });
    return attributes;
}

bool FileExists(const wchar_t* name) {
    return GetAttributesLong(name) != INVALID_FILE_ATTRIBUTES;
}

bool IsSameFile(const wchar_t* a, const wchar_t* b) {
    BY_HANDLE_FILE_INFORMATION first, second;
    return ReadIdentity(a, &first) && ReadIdentity(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

bool ExistsWithWildcards(const wchar_t* name) {
    if (!HasWildcards(name)) return FileExists(name);
    DirectoryScan scan;
    scan.SetMask(name);
    FoundEntry record;
    return scan.Next(&record);
}

bool SetAttributesLong(const wchar_t* name, DWORD attributes) {
    return WithLongPathRetry(name, [=](const wchar_t* n) { return SetFileAttributesW(n, attributes) != FALSE; });
}

bool RemoveFolderLong(const wchar_t* name) {
    return WithLongPathRetry(name, [](const wchar_t* n) { return RemoveDirectoryW(n) != FALSE; });
}

bool MoveFileLong(const wchar_t* from, const wchar_t* to) {
    // MoveFileW would copy to another volume, where a running program's file cannot
    // follow: without the copy flag that fails at once and leaves the file in place.
    return WithLongPathRetry(from, to,
                             [](const wchar_t* a, const wchar_t* b) { return MoveFileExW(a, b, 0) != FALSE; });
}

CreateFolderResult CreateFolder(const wchar_t* name, bool setAttributes, DWORD attributes) {
    // The system strips a trailing dot or blank from a plain name and would create a
    // different folder; only the long form keeps it.
    const bool plainUsable = !EndsInDotOrBlank(name);
    // What stands there already (a folder or a file) was not created here.
    bool existing = false;
    const bool created = WithLongPathRetry(
        name,
        [&](const wchar_t* n) {
            if (CreateDirectoryW(n, nullptr)) return true;
            const DWORD error = GetLastError();
            existing = GetFileAttributesW(n) != INVALID_FILE_ATTRIBUTES;
            SetLastError(error);
            // The long form would only be refused the same way.
            return existing;
        },
        plainUsable);
    if (existing) return CreateFolderResult::Failed;
    if (!created) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? CreateFolderResult::PathMissing
                                                                                : CreateFolderResult::Failed;
    }
    if (setAttributes) SetAttributesLong(name, attributes);
    return CreateFolderResult::Created;
}

uint64_t FreeDiskSpace(const wchar_t* path) {
    wchar_t folder[kPathCapacity];
    FolderPart(path, folder, kPathCapacity);
    ULARGE_INTEGER available, total, totalFree;
    if (!GetDiskFreeSpaceExW(folder[0] != 0 ? folder : nullptr, &available, &total, &totalFree)) return 0;
    // A quota-limited figure above the volume's free space is not to be trusted.
    if (available.HighPart > totalFree.HighPart) return 0;
    return available.QuadPart;
}

bool FindSingle(const wchar_t* name, FoundEntry* record) {
    record->error = false;
    if (HasWildcards(name)) return false;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstLong(name, &data));
    if (!find) return false;
    FillRecord(name, data, record);
    return true;
}

void DirectoryScan::SetMask(const wchar_t* mask) {
    CopyText(mask_, mask, kPathCapacity);
    first_ = true;
    find_.reset();
}

bool DirectoryScan::Next(FoundEntry* record) {
    record->error = false;
    if (mask_[0] == 0) return false;
    WIN32_FIND_DATAW data;
    for (;;) {
        if (first_) {
            first_ = false;
            find_.reset(FindFirstLong(mask_, &data));
            if (!find_) {
                DWORD error = GetLastError();
                // A missing folder or an empty match is the end of the listing; a
                // write-protected or unreadable medium is not.
                record->error =
                    error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_NO_MORE_FILES;
                return false;
            }
        } else {
            if (!find_) return false;
            if (!FindNextFileW(find_.get(), &data)) {
                record->error = GetLastError() != ERROR_NO_MORE_FILES;
                find_.reset();
                return false;
            }
        }
        FillRecord(mask_, data, record);
        if (!IsDotEntry(data.cFileName)) return true;
    }
}

FILE* OpenCrtFile(const wchar_t* name, const wchar_t* mode) {
    FILE* file = nullptr;
    WithLongPathRetry(name, [&](const wchar_t* n) {
        file = _wfsopen(n, mode, _SH_DENYNO);
        return file != nullptr;
    });
    return file;
}

void DeleteFolderTree(const wchar_t* path) {
    DWORD attributes = GetAttributesLong(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return;
    // Deleting through a link or junction would empty the folder it points to.
    if (IsLink(path, attributes)) return;

    // The shell takes a list of names ended by an empty one.
    wchar_t from[kPathCapacity + 1];
    CopyText(from, path, kPathCapacity);
    from[wcslen(from) + 1] = 0;
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    operation.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    SHFileOperationW(&operation);
}

}  // namespace tvx
