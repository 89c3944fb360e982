#include "platform/DiskFile.h"

#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/RunOutcome.h"
#include "platform/Strings.h"

namespace tvx {

namespace {

// Until the program installs its hook, messages of the file layer go nowhere; a message
// never ends an operation.
void DiscardMessage(int, const wchar_t*) {}

MessageHook messageHook = DiscardMessage;

ErrorState errorState;

enum MessageId : int {
    kMessageOutOfMemory = 7,
    kMessageCloseError = 10,
    kMessageSeekError = 11,
    kMessage4GiBLimit = 73,
};

bool EndsInDotOrBlank(const wchar_t* name) {
    wchar_t last = *LastCharacter(name);
    return last == L'.' || last == L' ';
}

DWORD ClampToDword(size_t size) {
    return size > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<DWORD>(size);
}

}  // namespace

ErrorState& Errors() {
    return errorState;
}

void SetMessageHook(MessageHook hook) {
    messageHook = hook != nullptr ? hook : DiscardMessage;
}

void ErrorState::Report(FileError error) {
    lastError = error;
    ++errorCount;
    ReportOutcome(Outcome::Failed);
}

void ErrorState::Stop(FileError error) {
    Report(error);
    throw TVX_EXIT{error == FileError::Memory ? kExitMemory : kExitFailed};
}

void ErrorState::MemoryError() {
    Message(kMessageOutOfMemory);
    Stop(FileError::Memory);
}

void ErrorState::Message(int id, const wchar_t* argument) {
    messageHook(id, argument);
}

DiskFile::~DiskFile() {
    if (handle == INVALID_HANDLE_VALUE) return;
    if (newFile && handleKind == kRegular) {
        // A created file still open here was never finished: it must not be left
        // behind looking complete.
        CloseKernelHandle(handle);
        handle = INVALID_HANDLE_VALUE;
        if (deleteIfUnclosed) DeleteFileLong(fileName);
        return;
    }
    DiskFile::Close();
}

bool DiskFile::Open(const wchar_t* name, unsigned mode) {
    lastErrorKind = kNoError;
    DWORD access = (mode & kOpenWriteOnly) != 0 ? 0 : GENERIC_READ;
    if ((mode & (kOpenReadWrite | kOpenWriteOnly)) != 0) access |= GENERIC_WRITE;
    if (preserveAccessTime) access |= FILE_WRITE_ATTRIBUTES;
    DWORD share = (mode & kOpenDenyRead) != 0 ? 0 : FILE_SHARE_READ;
    if ((mode & kOpenShareWrite) != 0 || shared) share |= FILE_SHARE_WRITE;

    HANDLE opened = INVALID_HANDLE_VALUE;
    DWORD firstError = ERROR_SUCCESS;
    const bool found = WithLongPathRetry(name, [&](const wchar_t* n) {
        opened = CreateFileW(n, access, share, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (opened == INVALID_HANDLE_VALUE && firstError == ERROR_SUCCESS) firstError = GetLastError();
        return opened != INVALID_HANDLE_VALUE;
    });
    if (!found) {
        // "Not found" from either attempt is what callers look for; any other failure is
        // told by the name as given.
        const DWORD error = GetLastError() == ERROR_FILE_NOT_FOUND ? ERROR_FILE_NOT_FOUND : firstError;
        if (error == ERROR_FILE_NOT_FOUND) lastErrorKind = kNotFound;
        SetLastError(error);
        return false;
    }
    if (preserveAccessTime) {
        // All ones tells the system to leave the last-access time as it is.
        FILETIME keep = {0xFFFFFFFF, 0xFFFFFFFF};
        SetFileTime(opened, nullptr, &keep, nullptr);
    }
    if (IsOpened()) Close();
    handle = opened;
    CopyText(fileName, name, kPathCapacity);
    stopped = false;
    handleKind = kRegular;
    newFile = false;
    streamPosition = 0;
    return true;
}

bool DiskFile::Create(const wchar_t* name, unsigned mode) {
    DWORD access = (mode & kCreateWriteOnly) != 0 ? GENERIC_WRITE : GENERIC_READ | GENERIC_WRITE;
    DWORD share = (mode & kCreateShareRead) != 0 || shared ? FILE_SHARE_READ : 0;
    HANDLE created = INVALID_HANDLE_VALUE;
    // Windows refuses to create over a hidden or system file unless those attributes
    // are asked for again, and the file keeps them.
    const DWORD existing = GetAttributesLong(name);
    const DWORD kept = existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) == 0
                           ? existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)
                           : 0;
    // The system strips a trailing dot or blank from a plain name; unless the caller
    // wants exactly that, only the long form creates the name as given.
    const bool asGiven = (mode & kCreateKeepTrailingDot) != 0 || !EndsInDotOrBlank(name);
    const bool made = WithLongPathRetry(
        name,
        [&](const wchar_t* n) {
            created = CreateFileW(n, access, share, nullptr, CREATE_ALWAYS, kept, nullptr);
            return created != INVALID_HANDLE_VALUE;
        },
        asGiven);
    if (!made) return false;
    if (IsOpened()) Close();
    handle = created;
    newFile = true;
    handleKind = kRegular;
    stopped = false;
    streamPosition = 0;
    CopyText(fileName, name, kPathCapacity);
    return true;
}

bool DiskFile::Close() {
    bool closed = true;
    if (handle != INVALID_HANDLE_VALUE && handleKind == kRegular) closed = CloseKernelHandle(handle);
    handle = INVALID_HANDLE_VALUE;
    if (!closed && reportErrors) {
        Errors().Message(kMessageCloseError, fileName);
        Errors().Report(FileError::Close);
    }
    return closed;
}

int64_t DiskFile::DirectRead(void* buffer, size_t size) {
    HANDLE source = handleKind == kStandardStream ? GetStdHandle(STD_INPUT_HANDLE) : handle;
    DWORD read = 0;
    if (ReadFile(source, buffer, ClampToDword(size), &read, nullptr)) return read;
    DWORD error = GetLastError();
    DWORD type = GetFileType(source);
    // Consoles and pipes refuse large single reads.
    if ((type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) && size > 20000) return DirectRead(buffer, 20000);
    if (handleKind == kStandardStream && error == ERROR_BROKEN_PIPE) return 0;
    // Network files can report a lock violation for large reads that smaller ones pass.
    if (handleKind == kRegular && size > 32768 && error == ERROR_LOCK_VIOLATION) return DirectRead(buffer, 32768);
    return -1;
}

int64_t DiskFile::Read(void* buffer, size_t size) {
    if (stopped) return 0;
    int64_t total = DirectRead(buffer, size);
    if (total == -1) {
        lastErrorKind = kReadFailed;
        if (!reportErrors || handleKind != kRegular) return -1;
        Errors().Report(FileError::Read);
        stopped = true;
        return 0;
    }
    if (handleKind == kStandardStream) {
        // A pipe hands out what it has; keep reading until the request is met or it ends.
        int64_t got = total;
        while (got > 0 && static_cast<size_t>(total) < size) {
            got = DirectRead(static_cast<char*>(buffer) + total, size - static_cast<size_t>(total));
            if (got > 0) total += got;
        }
    }
    if (total > 0) streamPosition += total;
    return total;
}

bool DiskFile::Write(const void* buffer, size_t size) {
    if (size == 0) return true;
    HANDLE target = handleKind == kStandardStream ? GetStdHandle(STD_OUTPUT_HANDLE) : handle;
    bool written = true;
    if (handleKind != kRegular) {
        // Consoles refuse large single writes.
        const char* p = static_cast<const char*>(buffer);
        for (size_t done = 0; done < size && written;) {
            DWORD piece = ClampToDword(size - done > 16384 ? 16384 : size - done);
            DWORD count = 0;
            written = WriteFile(target, p + done, piece, &count, nullptr) && count == piece;
            done += piece;
        }
    } else {
        DWORD count = 0;
        written = size <= 0xFFFFFFFF && WriteFile(target, buffer, static_cast<DWORD>(size), &count, nullptr) &&
                  count == size;
    }
    if (!written && reportErrors && handleKind == kRegular) {
        DWORD error = GetLastError();
        uint64_t freeSpace = FreeDiskSpace(fileName);
        SetLastError(error);
        // With room on the volume, a failure across the 4 GiB mark means a file system
        // (FAT32) that cannot hold larger files.
        int64_t position = Tell();
        int64_t length = static_cast<int64_t>(size);
        if (freeSpace > size && position - length <= 0xFFFFFFFFLL && position + length > 0xFFFFFFFFLL) {
            Errors().Message(kMessage4GiBLimit, fileName);
        }
    }
    return written;
}

bool DiskFile::Seek(int64_t offset, int method) {
    if (handle == INVALID_HANDLE_VALUE) return false;
    bool moved = true;
    if (handleKind == kRegular) {
        if (offset < 0 && method == FILE_CURRENT) {
            offset += Tell();
            method = FILE_BEGIN;
        } else if (offset < 0 && method == FILE_END) {
            offset += FileLength();
            method = FILE_BEGIN;
        }
        LARGE_INTEGER distance;
        distance.QuadPart = offset;
        SetLastError(NO_ERROR);
        DWORD low = SetFilePointer(handle, static_cast<LONG>(distance.LowPart), &distance.HighPart,
                                   static_cast<DWORD>(method));
        moved = !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
    } else {
        // A stream only goes forward: skip by reading.
        int64_t distance = -1;
        if (method == FILE_CURRENT) distance = offset;
        if (method == FILE_BEGIN && offset >= streamPosition) distance = offset - streamPosition;
        if (method == FILE_END) distance = INT64_MAX;
        moved = distance >= 0;
        char discard[4096];
        while (moved && distance > 0) {
            int64_t got = Read(discard, distance > 4096 ? 4096 : static_cast<size_t>(distance));
            if (got <= 0) {
                moved = method == FILE_END;
                break;
            }
            distance -= got;
        }
    }
    if (!moved && reportErrors) Errors().Message(kMessageSeekError, fileName);
    return moved;
}

int64_t DiskFile::Tell() {
    if (handleKind == kStandardStream) return streamPosition;
    LONG high = 0;
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(handle, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        if (reportErrors) Errors().Message(kMessageSeekError, fileName);
        return -1;
    }
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low);
}

bool DiskFile::OpenOrReport(const wchar_t* name) {
    if (Open(name, 0)) return true;
    Errors().Report(FileError::Open);
    return false;
}

int64_t DiskFile::FileLength() {
    int64_t saved = Tell();
    Seek(0, FILE_END);
    int64_t length = Tell();
    Seek(saved, FILE_BEGIN);
    return length;
}

void DiskFile::SetStandardStream() {
    if (IsOpened()) Close();
    handleKind = kStandardStream;
    handle = GetStdHandle(STD_INPUT_HANDLE);
    newFile = false;
    stopped = false;
    streamPosition = 0;
}

}  // namespace tvx
