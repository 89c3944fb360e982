#include "settings/TextFileReader.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "platform/DiskFile.h"
#include "platform/Paths.h"

namespace tvx {
namespace {

constexpr size_t kReadStep = 4096;

bool StartsWith(const unsigned char* data, size_t size, const unsigned char* mark, size_t markSize) {
    return size >= markSize && std::memcmp(data, mark, markSize) == 0;
}

constexpr unsigned char kUtf8Mark[] = {0xEF, 0xBB, 0xBF};
constexpr unsigned char kUtf16LeMark[] = {0xFF, 0xFE};
constexpr unsigned char kUtf16BeMark[] = {0xFE, 0xFF};

// False after a read error: a failed read looks like the end of the file otherwise.
bool ReadWholeFile(DiskFile& file, GrowableArray<unsigned char>& data) {
    for (;;) {
        size_t before = data.Length();
        data.Add(kReadStep);
        int64_t got = file.Read(data.Data() + before, kReadStep);
        if (got <= 0) {
            data.SetLength(before);
            return got == 0 && file.lastErrorKind != DiskFile::kReadFailed;
        }
        data.SetLength(before + static_cast<size_t>(got));
    }
}

bool HoldsZeroByte(const unsigned char* data, size_t size) {
    return size != 0 && std::memchr(data, 0, size) != nullptr;
}

// Without a mark, UTF-16 shows in its zero bytes: the names of a settings file are ASCII,
// so most units have a zero high byte, while ANSI and UTF-8 text has no zero bytes at
// all. A stray zero or two must not turn such text into CJK characters: the zero bytes
// have to be on one side of at least half of the byte pairs. Detect means no verdict.
TextEncoding Utf16ByZeroBytes(const unsigned char* data, size_t size) {
    size_t units = size / 2;
    size_t zeroFirst = 0;
    size_t zeroSecond = 0;
    for (size_t i = 0; i < units; ++i) {
        if (data[2 * i] == 0) ++zeroFirst;
        if (data[2 * i + 1] == 0) ++zeroSecond;
    }
    size_t needed = (units + 1) / 2;
    if (zeroSecond >= needed && zeroSecond > 2 * zeroFirst) return TextEncoding::Utf16;
    if (zeroFirst >= needed && zeroFirst > 2 * zeroSecond) return TextEncoding::Utf16BigEndian;
    return TextEncoding::Detect;
}

bool HoldsMultiByteSequence(const unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (data[i] >= 0x80) return true;
    }
    return false;
}

// ANSI and OEM text: the bytes up to the first zero, through the system code pages.
// True when that was every byte.
bool DecodeNarrow(GrowableArray<unsigned char>& data, bool oem, GrowableArray<wchar_t>& text) {
    bool whole = !HoldsZeroByte(data.Data(), data.Length());
    data.Push(0);
    char* narrow = reinterpret_cast<char*>(data.Data());
    if (oem) OemToCharA(narrow, narrow);
    // A single-byte or double-byte code page never yields more UTF-16 units than bytes.
    size_t capacity = std::strlen(narrow) + 1;
    text.Add(capacity);
    return AnsiToWide(narrow, text.Data(), capacity) && whole;
}

// True when every unit is text: no zero unit, and no odd last byte other than a line
// break that an editor appended.
bool DecodeUtf16(const unsigned char* data, size_t size, bool bigEndian, GrowableArray<wchar_t>& text) {
    if (StartsWith(data, size, kUtf16LeMark, 2)) {
        bigEndian = false;
        data += 2;
        size -= 2;
    } else if (StartsWith(data, size, kUtf16BeMark, 2)) {
        bigEndian = true;
        data += 2;
        size -= 2;
    }
    size_t units = size / 2;
    text.Add(units + 1);
    wchar_t* out = text.Data();
    for (size_t i = 0; i < units; ++i) {
        unsigned first = data[2 * i];
        unsigned second = data[2 * i + 1];
        out[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    out[units] = L'\0';
    bool whole = size % 2 == 0 || data[size - 1] == '\r' || data[size - 1] == '\n';
    for (size_t i = 0; i < units && whole; ++i) whole = out[i] != L'\0';
    return whole;
}

bool DecodeUtf8(GrowableArray<unsigned char>& data, GrowableArray<wchar_t>& text) {
    size_t skip = StartsWith(data.Data(), data.Length(), kUtf8Mark, 3) ? 3 : 0;
    const unsigned char* body = data.Data() + skip;
    size_t bodySize = data.Length() - skip;
    // A zero byte ends the text; a malformed sequence ends the decoder.
    bool whole = !HoldsZeroByte(body, bodySize) && IsValidUtf8(body, bodySize);
    data.Push(0);
    // Every byte gives at most one UTF-16 unit; four-byte forms give two.
    size_t capacity = data.Length() - skip;
    text.Add(capacity);
    return Utf8ToWide(data.Data() + skip, text.Data(), capacity) && whole;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

void TrimTrailingBlanks(std::wstring& line) {
    size_t end = line.size();
    while (end > 0 && IsBlank(line[end - 1])) --end;
    line.resize(end);
}

void ApplyLineOptions(std::wstring& line, const TextReadOptions& options) {
    if (options.cutAtDoubleSlash) {
        size_t comment = line.find(L"//");
        if (comment != std::wstring::npos) {
            line.resize(comment);
            TrimTrailingBlanks(line);
        }
    }
    if (options.stripSurroundingQuotes && line.size() >= 2 && line.front() == L'"' && line.back() == L'"') {
        line = line.substr(1, line.size() - 2);
    }
    if (options.expandEnvironment && !line.empty() && line[0] == L'%') {
        wchar_t expanded[kPathCapacity];
        DWORD length = ExpandEnvironmentStringsW(line.c_str(), expanded, static_cast<DWORD>(kPathCapacity));
        if (length >= 1 && length <= kPathCapacity - 1) line = expanded;
    }
}

void SplitLines(const wchar_t* text, StringList& lines, const TextReadOptions& options) {
    const wchar_t* p = text;
    while (*p != L'\0') {
        const wchar_t* end = p;
        while (*end != L'\0' && *end != L'\r' && *end != L'\n') ++end;
        std::wstring line(p, end);
        if (!options.keepEveryLine) TrimTrailingBlanks(line);
        ApplyLineOptions(line, options);
        if (options.keepEveryLine) {
            lines.AddString(line.c_str());
            if (end[0] == L'\r' && end[1] == L'\n') ++end;
            if (*end != L'\0') ++end;
        } else {
            if (!line.empty()) lines.AddString(line.c_str());
            while (*end == L'\r' || *end == L'\n') ++end;
        }
        p = end;
    }
}

}  // namespace

TextEncoding DetectTextEncoding(const unsigned char* data, size_t size) {
    if (StartsWith(data, size, kUtf8Mark, 3)) {
        return size > 3 && IsValidUtf8(data + 3, size - 3) ? TextEncoding::Utf8 : TextEncoding::Ansi;
    }
    // The high byte of each unit is the second byte in little-endian order, the first
    // in big-endian order. Text in scripts above U+1FFF alone has none in the control
    // range and is more likely an ANSI file that happens to start with FF FE.
    size_t firstHigh = 0;
    TextEncoding marked = TextEncoding::Utf16;
    if (StartsWith(data, size, kUtf16LeMark, 2)) firstHigh = 3;
    if (StartsWith(data, size, kUtf16BeMark, 2)) {
        firstHigh = 2;
        marked = TextEncoding::Utf16BigEndian;
    }
    if (firstHigh != 0) {
        for (size_t i = firstHigh; i < size; i += 2) {
            unsigned char high = data[i];
            if (high < 0x20 && high != 0x0A && high != 0x0D) return marked;
        }
        return TextEncoding::Ansi;
    }
    TextEncoding byZeros = Utf16ByZeroBytes(data, size);
    if (byZeros != TextEncoding::Detect) return byZeros;
    // Plain ASCII reads the same either way; only a multi-byte sequence makes it UTF-8.
    if (HoldsMultiByteSequence(data, size) && IsValidUtf8(data, size)) return TextEncoding::Utf8;
    return TextEncoding::Ansi;
}

bool ReadTextFile(const wchar_t* name, StringList& lines, const TextReadOptions& options, bool* readWhole) {
    DiskFile file;
    if (name == nullptr || name[0] == L'\0') {
        file.SetStandardStream();
    } else {
        wchar_t found[kPathCapacity];
        const wchar_t* path = name;
        if (options.searchStandardFolders) {
            FindUserFile(name, found, kPathCapacity, true, false);
            path = found;
        }
        if (!file.Open(path, 0)) {
            if (options.failedOpenIsFatal) Errors().Stop(FileError::Open);
            return false;
        }
    }
    ReadOpenedTextFile(file, lines, options, readWhole);
    return true;
}

void ReadOpenedTextFile(DiskFile& file, StringList& lines, const TextReadOptions& options, bool* readWhole) {
    GrowableArray<unsigned char> data;
    bool whole = ReadWholeFile(file, data);
    file.Close();

    TextEncoding encoding = options.encoding;
    if (encoding == TextEncoding::Detect) encoding = DetectTextEncoding(data.Data(), data.Length());

    GrowableArray<wchar_t> text;
    bool decoded = false;
    switch (encoding) {
        case TextEncoding::Utf16:
        case TextEncoding::Utf16BigEndian:
            decoded = DecodeUtf16(data.Data(), data.Length(), encoding == TextEncoding::Utf16BigEndian, text);
            break;
        case TextEncoding::Utf8:
            decoded = DecodeUtf8(data, text);
            break;
        case TextEncoding::Oem:
            decoded = DecodeNarrow(data, true, text);
            break;
        default:
            decoded = DecodeNarrow(data, false, text);
            break;
    }
    if (readWhole != nullptr) *readWhole = whole && decoded;
    SplitLines(text.Data(), lines, options);
}

}  // namespace tvx
