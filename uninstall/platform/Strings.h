#pragma once
// Bounded string copies, code-page and UTF-8 conversions, decimal numbers and
// character helpers. Every size is a count of elements including the terminator; no
// routine writes past it, and each result is terminated whenever the size is at least 1.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvx {

// Buffer capacity used for most paths and texts, terminator included.
inline constexpr size_t kPathCapacity = 2048;

void CopyText(wchar_t* destination, const wchar_t* source, size_t size);
void CopyNarrow(char* destination, const char* source, size_t size);
void AppendText(wchar_t* destination, const wchar_t* source, size_t size);
void AppendNarrow(char* destination, const char* source, size_t size);

// printf-style formatting cut at size - 1 elements and always terminated (size >= 1).
void FormatText(wchar_t* destination, size_t size, const wchar_t* format, ...);
void FormatNarrow(char* destination, size_t size, const char* format, ...);

// System ANSI code page <-> UTF-16. The destination is emptied first and its last
// element is zeroed whatever happens. True when the system call succeeded.
bool AnsiToWide(const char* source, wchar_t* destination, size_t size);
bool WideToAnsi(const wchar_t* source, char* destination, size_t size);

bool IsValidUtf8(const unsigned char* bytes, size_t count);
bool Utf8ToWide(const unsigned char* source, wchar_t* destination, size_t size);

// An optional "-" right at the start, then digits up to the first non-digit.
int64_t ParseDecimal(const wchar_t* text);
int32_t ParseDecimal32(const wchar_t* text);
void FormatDecimal(int64_t value, wchar_t* destination, size_t size);

bool IsDigit(wchar_t c);
wchar_t AsciiUpper(wchar_t c);
wchar_t UpperChar(wchar_t c);
// Ordinal comparison ignoring case (CompareStringOrdinal), whatever the user's locale: -1, 0 or 1.
int CompareNoCase(const wchar_t* a, const wchar_t* b);

// Zero-terminated strings stored back to back, read back in order.
class StringList {
public:
    void AddString(const wchar_t* text);
    bool NextString(const wchar_t** text);
    void Rewind() { position_ = 0; }
    void Clear();
    size_t Count() const { return count_; }

private:
    std::vector<wchar_t> buffer_;
    size_t count_ = 0;
    size_t position_ = 0;
};

}  // namespace tvx
