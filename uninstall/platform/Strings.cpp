#include "platform/Strings.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>

#include "platform/DiskFile.h"

namespace tvx {

namespace {

template <typename Char>
size_t BoundedLength(const Char* text, size_t limit) {
    size_t n = 0;
    while (n < limit && text[n] != 0) ++n;
    return n;
}

template <typename Char>
void CopyBounded(Char* destination, const Char* source, size_t size) {
    if (size == 0) return;
    size_t n = source != nullptr ? BoundedLength(source, size - 1) : 0;
    for (size_t i = 0; i < n; ++i) destination[i] = source[i];
    destination[n] = 0;
}

template <typename Char>
void AppendBounded(Char* destination, const Char* source, size_t size) {
    size_t length = BoundedLength(destination, size);
    if (length < size) CopyBounded(destination + length, source, size - length);
}

int ClampToInt(size_t size) {
    return size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
}

}  // namespace

void CopyText(wchar_t* destination, const wchar_t* source, size_t size) {
    CopyBounded(destination, source, size);
}

void CopyNarrow(char* destination, const char* source, size_t size) {
    CopyBounded(destination, source, size);
}

void AppendText(wchar_t* destination, const wchar_t* source, size_t size) {
    AppendBounded(destination, source, size);
}

void AppendNarrow(char* destination, const char* source, size_t size) {
    AppendBounded(destination, source, size);
}

// The runtime's own _vsn*printf keep the Microsoft meaning of %s (a string of the
// function's own width); MinGW's C99 replacements would read a wide %s as narrow.
// They leave the buffer unterminated when the text fills it, hence the explicit zero,
// and stop anywhere on an argument they cannot convert, hence the cleared buffer.
void FormatText(wchar_t* destination, size_t size, const wchar_t* format, ...) {
    if (size == 0) return;
    wmemset(destination, 0, size);
    va_list arguments;
    va_start(arguments, format);
    _vsnwprintf(destination, size - 1, format, arguments);
    va_end(arguments);
    destination[size - 1] = 0;
}

void FormatNarrow(char* destination, size_t size, const char* format, ...) {
    if (size == 0) return;
    memset(destination, 0, size);
    va_list arguments;
    va_start(arguments, format);
    _vsnprintf(destination, size - 1, format, arguments);
    va_end(arguments);
    destination[size - 1] = 0;
}

bool AnsiToWide(const char* source, wchar_t* destination, size_t size) {
    if (size == 0) return false;
    destination[0] = 0;
    int written = MultiByteToWideChar(CP_ACP, 0, source, -1, destination, ClampToInt(size));
    destination[size - 1] = 0;
    return written != 0;
}

bool WideToAnsi(const wchar_t* source, char* destination, size_t size) {
    if (size == 0) return false;
    destination[0] = 0;
    int written = WideCharToMultiByte(CP_ACP, 0, source, -1, destination, ClampToInt(size), nullptr, nullptr);
    destination[size - 1] = 0;
    return written != 0;
}

// Strictly well-formed UTF-8 only: no overlong forms, no encoded surrogates, nothing
// above U+10FFFF. Text that the decoder would stop at or turn into something else is
// not UTF-8 text, and reading it as such would lose what the user wrote.
bool IsValidUtf8(const unsigned char* bytes, size_t count) {
    size_t i = 0;
    while (i < count) {
        unsigned lead = bytes[i++];
        if (lead < 0x80) continue;
        int trailing;
        // The range the first continuation byte must fall in shuts out the overlong
        // forms (E0, F0), the surrogates (ED) and the values above U+10FFFF (F4).
        unsigned low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            trailing = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            trailing = 2;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            trailing = 3;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        for (int k = 0; k < trailing; ++k, ++i) {
            if (i >= count || bytes[i] < low || bytes[i] > high) return false;
            low = 0x80;
            high = 0xBF;
        }
    }
    return true;
}

bool Utf8ToWide(const unsigned char* source, wchar_t* destination, size_t size) {
    if (size == 0) return false;
    size_t room = size - 1;
    size_t out = 0;
    bool result = true;
    const unsigned char* p = source;
    while (*p != 0) {
        uint32_t value;
        int trailing;
        if (*p < 0x80) {
            value = *p;
            trailing = 0;
        } else if ((*p & 0xE0) == 0xC0) {
            value = *p & 0x1F;
            trailing = 1;
        } else if ((*p & 0xF0) == 0xE0) {
            value = *p & 0x0F;
            trailing = 2;
        } else if ((*p & 0xF8) == 0xF0) {
            value = *p & 0x07;
            trailing = 3;
        } else {
            result = false;
            break;
        }
        ++p;
        bool broken = false;
        for (int k = 0; k < trailing; ++k, ++p) {
            // The terminator is not a continuation byte, so a cut sequence stops here.
            if ((*p & 0xC0) != 0x80) {
                broken = true;
                break;
            }
            value = (value << 6) | (*p & 0x3F);
        }
        if (broken) {
            result = false;
            break;
        }
        if (room == 0) break;
        if (value <= 0xFFFF) {
            destination[out++] = static_cast<wchar_t>(value);
            room -= 1;
            continue;
        }
        if (room < 2) break;
        if (value > 0x10FFFF) {
            result = false;
        } else {
            destination[out++] = static_cast<wchar_t>(0xD800 + ((value - 0x10000) >> 10));
            destination[out++] = static_cast<wchar_t>(0xDC00 + (value & 0x3FF));
        }
        room -= 2;
    }
    destination[out] = 0;
    return result;
}

int64_t ParseDecimal(const wchar_t* text) {
    if (text == nullptr) return 0;
    bool negative = *text == L'-';
    if (negative) ++text;
    // Unsigned arithmetic: an overlong number wraps instead of being undefined.
    uint64_t value = 0;
    while (IsDigit(*text)) value = value * 10 + static_cast<uint64_t>(*text++ - L'0');
    if (negative) value = 0 - value;
    return static_cast<int64_t>(value);
}

int32_t ParseDecimal32(const wchar_t* text) {
    return static_cast<int32_t>(ParseDecimal(text));
}

// A buffer too small keeps the lowest-order digits: callers that cut a number keep
// its changing end.
void FormatDecimal(int64_t value, wchar_t* destination, size_t size) {
    if (size == 0) return;
    bool negative = value < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    wchar_t digits[24];
    size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t room = size - 1;
    size_t out = 0;
    if (negative && room > 0) {
        destination[out++] = L'-';
        --room;
    }
    if (count > room) count = room;
    while (count > 0) destination[out++] = digits[--count];
    destination[out] = 0;
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

wchar_t AsciiUpper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

wchar_t UpperChar(wchar_t c) {
    // A pointer argument whose high word is zero makes CharUpperW convert that one character.
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

int CompareNoCase(const wchar_t* a, const wchar_t* b) {
    // Names and identifiers compare as Windows compares them, by code point after case
    // folding: a locale's collation (Welsh "ng" is one letter) must not change a match.
    int result = CompareStringOrdinal(a != nullptr ? a : L"", -1, b != nullptr ? b : L"", -1, TRUE);
    // 0 is a failed comparison; it must never read as "equal".
    return result == 0 ? -1 : result - 2;
}

void StringList::AddString(const wchar_t* text) {
    if (text == nullptr) text = L"";
    size_t length = wcslen(text) + 1;
    size_t needed = buffer_.size() + length;
    try {
        if (buffer_.capacity() < needed) {
            size_t capacity = buffer_.capacity();
            size_t grown = capacity + capacity / 4 + 32;
            buffer_.reserve(grown > needed ? grown : needed);
        }
        buffer_.insert(buffer_.end(), text, text + length);
    } catch (const std::bad_alloc&) {
        Errors().MemoryError();
    }
    ++count_;
}

bool StringList::NextString(const wchar_t** text) {
    if (position_ >= buffer_.size()) return false;
    *text = buffer_.data() + position_;
    position_ += wcslen(*text) + 1;
    return true;
}

void StringList::Clear() {
    std::vector<wchar_t>().swap(buffer_);
    count_ = 0;
    position_ = 0;
}

}  // namespace tvx
