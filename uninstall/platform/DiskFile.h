#pragma once
// The file object, the process-wide error state and the growable array. Failures are
// return values; only memory exhaustion and an array over its limit throw TVX_EXIT.

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tvx {

// Carries an exit code out of an operation that cannot go on (memory exhausted).
struct TVX_EXIT {
    int32_t code;
};

// The kinds of error the file layer meets.
enum class FileError { None, Open, Read, Close, Memory };

// The file layer's record of its errors: how many there were and the last one. It
// decides nothing about how the run ends: every error is reported to the run's outcome
// as a failure, and the message hook says what the program does with the messages.
class ErrorState {
public:
    FileError lastError = FileError::None;
    int32_t errorCount = 0;

    void Report(FileError error);
    // Reports the error and ends the operation with TVX_EXIT; the run then ends with
    // the code of an unfinished run (memory: the code of memory exhaustion).
    [[noreturn]] void Stop(FileError error);
    [[noreturn]] void MemoryError();
    // Message ids: 7 out of memory, 10 close error, 11 seek error, 73 4 GiB limit.
    void Message(int id, const wchar_t* argument = nullptr);
};

// The one process-wide error record.
ErrorState& Errors();

// Signature of the message hook; this program installs one that logs every message.
using MessageHook = void (*)(int id, const wchar_t* text);
void SetMessageHook(MessageHook hook);

enum OpenMode : unsigned {
    kOpenReadWrite = 0x1,
    kOpenWriteOnly = 0x2,
    kOpenShareWrite = 0x4,
    kOpenDenyRead = 0x8,
};
enum CreateMode : unsigned {
    kCreateWriteOnly = 0x2,
    kCreateShareRead = 0x10,
    kCreateKeepTrailingDot = 0x20,
};

class DiskFile {
public:
    enum HandleKind : int32_t { kRegular = 0, kStandardStream = 1 };
    enum LastErrorKind : int32_t { kNoError = 0, kNotFound = 1, kReadFailed = 2 };

    DiskFile() = default;
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;
    virtual ~DiskFile();

    virtual bool Open(const wchar_t* name, unsigned mode = 0);
    virtual bool Close();
    virtual int64_t Read(void* buffer, size_t size);
    virtual bool Seek(int64_t offset, int method);
    virtual int64_t Tell();
    virtual bool IsOpened() const { return handle != INVALID_HANDLE_VALUE; }

    bool Create(const wchar_t* name, unsigned mode = 0);
    bool Write(const void* buffer, size_t size);
    bool OpenOrReport(const wchar_t* name);
    int64_t FileLength();
    // Makes the object stand for standard input (reads) and standard output (writes).
    void SetStandardStream();

    HANDLE handle = INVALID_HANDLE_VALUE;
    HandleKind handleKind = kRegular;
    bool newFile = false;
    bool deleteIfUnclosed = true;
    bool reportErrors = true;
    bool preserveAccessTime = false;
    bool shared = false;
    bool stopped = false;
    int64_t streamPosition = 0;
    wchar_t fileName[2048] = {};
    LastErrorKind lastErrorKind = kNoError;

private:
    int64_t DirectRead(void* buffer, size_t size);
};

// Growable array with an optional maximum (0: none). Appending to a full array grows
// the capacity to the larger of capacity + capacity / 4 + 32 and the new length.
// Elements must be trivially copyable.
template <typename T>
class GrowableArray {
public:
    explicit GrowableArray(size_t maximum = 0) : maximum_(maximum) {}
    ~GrowableArray() { std::free(items_); }
    GrowableArray(const GrowableArray&) = delete;
    GrowableArray& operator=(const GrowableArray&) = delete;

    void Add(size_t n) {
        size_t newLength = length_ + n;
        // A length that wraps around asks for more memory than there is.
        if (newLength < length_) Errors().MemoryError();
        // Checked on every append, not only when the capacity grows: a capacity grown
        // past the maximum by an earlier step must not let the length follow it.
        RefuseBeyondMaximum(newLength);
        if (capacity_ < newLength) {
            size_t grown = capacity_ + capacity_ / 4 + 32;
            size_t newCapacity = grown > newLength ? grown : newLength;
            void* p = std::realloc(items_, newCapacity * sizeof(T));
            if (p == nullptr) Errors().MemoryError();
            items_ = static_cast<T*>(p);
            capacity_ = newCapacity;
        }
        length_ = newLength;
    }
    void Push(const T& item) {
        Add(1);
        items_[length_ - 1] = item;
    }
    void Clear() {
        std::free(items_);
        items_ = nullptr;
        length_ = capacity_ = 0;
    }
    void SetLength(size_t n) {
        RefuseBeyondMaximum(n);
        length_ = n <= capacity_ ? n : capacity_;
    }

    T* Data() { return items_; }
    const T* Data() const { return items_; }
    T& operator[](size_t i) { return items_[i]; }
    const T& operator[](size_t i) const { return items_[i]; }
    size_t Length() const { return length_; }
    size_t Capacity() const { return capacity_; }
    size_t Maximum() const { return maximum_; }

private:
    void RefuseBeyondMaximum(size_t length) const {
        if (maximum_ == 0 || length <= maximum_) return;
        wchar_t text[128];
        wsprintfW(text, L"Maximum allowed array size (%u) is exceeded", static_cast<unsigned>(maximum_));
        Errors().Message(0, text);
        Errors().MemoryError();
    }

    T* items_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;
    size_t maximum_ = 0;
};

}  // namespace tvx
