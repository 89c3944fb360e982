#include "lang/Language.h"

#include "lang/Texts.h"
#include "platform/DiskFile.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace tvx {

namespace {

struct LanguageEntry {
    char* name;      // full key name, at most 49 bytes; both live in the text pool
    wchar_t* value;  // at most 65,536 characters
};

constexpr size_t kMaxNameBytes = 49;
constexpr size_t kMaxValueChars = 65536;
constexpr size_t kKeyScanChars = 99;
// Blocks begin 8,176 bytes apart, as the 8,192-byte blocks overlapping by 16 always
// did, so that the 256 blocks searched cover the same part of a file.
constexpr size_t kBlockStep = 8176;
constexpr int kMaxMarkerBlocks = 256;
constexpr size_t kMaxTextBytes = 0x200000;
constexpr size_t kMaxTextChars = 0x100000;
// The marker line is the first line of the text; everything before it (a byte-order
// mark, a description for humans) is skipped.
constexpr char kMarkerTail[] = "*messages**";  // compared after two "*"
constexpr size_t kMarkerTailLength = 11;
constexpr size_t kNarrowMarkerBytes = 2 + kMarkerTailLength;
constexpr size_t kWideMarkerBytes = 2 * kNarrowMarkerBytes;

// Names and values are copied into large blocks: with Wine's heap, one allocation per
// name and value cost as much as reading and scanning the whole file.
class TextPool {
public:
    ~TextPool() { Release(); }

    void* Allocate(size_t bytes) {
        bytes = (bytes + 1) & ~static_cast<size_t>(1);  // values are UTF-16
        if (bytes > free_) {
            size_t size = std::max(bytes, kChunkBytes);
            auto* chunk = static_cast<char*>(std::malloc(size));
            if (chunk == nullptr) Errors().MemoryError();
            chunks_.Push(chunk);
            next_ = chunk;
            free_ = size;
        }
        void* block = next_;
        next_ += bytes;
        free_ -= bytes;
        return block;
    }

    void Release() {
        for (size_t i = 0; i < chunks_.Length(); ++i) std::free(chunks_[i]);
        chunks_.Clear();
        next_ = nullptr;
        free_ = 0;
    }

private:
    static constexpr size_t kChunkBytes = 256 * 1024;  // more than the longest value
    GrowableArray<char*> chunks_;
    char* next_ = nullptr;
    size_t free_ = 0;
};

class LanguageData {
public:
    ~LanguageData() { Release(); }

    void Release() {
        entries.Clear();
        texts.Release();
        keyIndex.Clear();
        entryIndex.Clear();
        rightToLeft = false;
    }

    // Positions of KnownKeyTable rows ordered by kind prefix, then id.
    GrowableArray<int64_t> keyIndex;
    GrowableArray<LanguageEntry> entries;
    // Positions of entries ordered by name.
    GrowableArray<int64_t> entryIndex;
    bool rightToLeft = false;
    TextPool texts;  // every entry's name and value
};

LanguageData data;

// The part of a key name before its first colon: "s", "$SETUPDLG", "@MENU".
std::string_view KindPrefix(const char* name) {
    std::string_view view(name);
    return view.substr(0, view.find(':'));
}

bool KnownKeyLess(int64_t a, int64_t b) {
    const KnownKey& rowA = KnownKeyTable[a];
    const KnownKey& rowB = KnownKeyTable[b];
    int order = KindPrefix(rowA.name).compare(KindPrefix(rowB.name));
    if (order != 0) return order < 0;
    return rowA.id < rowB.id;
}

void BuildKeyIndex() {
    data.keyIndex.Clear();
    for (size_t i = 0; i < KnownKeyCount; ++i) data.keyIndex.Push(static_cast<int64_t>(i));
    std::sort(data.keyIndex.Data(), data.keyIndex.Data() + data.keyIndex.Length(), KnownKeyLess);
}

// Byte-wise like strcmp, but inline: the sort of the entry index makes some hundred
// thousand comparisons of names that share their first dozen bytes.
int CompareNames(const char* a, const char* b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

void BuildEntryIndex() {
    data.entryIndex.Clear();
    for (size_t i = 0; i < data.entries.Length(); ++i) data.entryIndex.Push(static_cast<int64_t>(i));
    std::sort(data.entryIndex.Data(), data.entryIndex.Data() + data.entryIndex.Length(),
              [](int64_t a, int64_t b) { return CompareNames(data.entries[a].name, data.entries[b].name) < 0; });
}

char* DuplicateNarrow(const char* text) {
    size_t bytes = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(data.texts.Allocate(bytes));
    std::memcpy(copy, text, bytes);
    return copy;
}

wchar_t* DuplicateWide(const wchar_t* text, size_t length) {
    auto* copy = static_cast<wchar_t*>(data.texts.Allocate((length + 1) * sizeof(wchar_t)));
    std::memcpy(copy, text, length * sizeof(wchar_t));
    copy[length] = 0;
    return copy;
}

// Owns a malloc'd block; the text buffers are large and their failure is not fatal.
template <typename T>
struct HeapBlock {
    explicit HeapBlock(size_t count) : items(static_cast<T*>(std::malloc(count * sizeof(T)))) {}
    ~HeapBlock() { std::free(items); }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    T* items;
};

enum class TextKind { kNone, kAnsi, kWide };

bool IsNarrowMarker(const unsigned char* bytes) {
    if (bytes[0] != '*' || bytes[1] != '*') return false;
    return std::memcmp(bytes + 2, kMarkerTail, kMarkerTailLength) == 0;
}

bool IsWideMarker(const unsigned char* bytes) {
    auto unit = [bytes](size_t index) { return static_cast<unsigned>(bytes[2 * index] | bytes[2 * index + 1] << 8); };
    if (unit(0) != '*' || unit(1) != '*') return false;
    for (size_t i = 0; i < kMarkerTailLength; ++i) {
        if (unit(2 + i) != static_cast<unsigned char>(kMarkerTail[i])) return false;
    }
    return true;
}

// Finds the marker line within the first 256 blocks; its offset is where the text starts.
// Each block searches the offsets [block start, block start + step) and reads far enough
// past them for the longer, UTF-16 marker to be whole, so that a marker on the seam of
// two blocks is found wherever it begins.
TextKind FindTextStart(DiskFile& file, int64_t* start) {
    unsigned char block[kBlockStep + kWideMarkerBytes - 1];
    int64_t blockStart = 0;
    for (int blockNumber = 0; blockNumber < kMaxMarkerBlocks; ++blockNumber) {
        if (!file.Seek(blockStart, FILE_BEGIN)) return TextKind::kNone;
        int64_t got = file.Read(block, sizeof(block));
        if (got <= 0) return TextKind::kNone;
        size_t n = static_cast<size_t>(got);
        // At the end of the file the last few offsets belong to no later block.
        size_t searched = n < sizeof(block) ? n : kBlockStep;
        for (size_t j = 0; j < searched; ++j) {
            if (j + kNarrowMarkerBytes <= n && IsNarrowMarker(block + j)) {
                *start = blockStart + static_cast<int64_t>(j);
                return TextKind::kAnsi;
            }
            if (j + kWideMarkerBytes <= n && IsWideMarker(block + j)) {
                *start = blockStart + static_cast<int64_t>(j);
                return TextKind::kWide;
            }
        }
        if (n < sizeof(block)) return TextKind::kNone;
        blockStart += static_cast<int64_t>(kBlockStep);
    }
    return TextKind::kNone;
}

bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n'; }
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Section headers: ":STRINGS", ":DIALOG name", ":MENU name", ":DIRECTION RTL".
enum class Header { kNone, kStrings, kDialog, kMenu, kDirection };

Header MatchHeader(const wchar_t* text, const wchar_t** after) {
    struct Word {
        const wchar_t* word;
        Header header;
    };
    static constexpr Word kWords[] = {
        {L"STRINGS", Header::kStrings},
        {L"DIALOG", Header::kDialog},
        {L"MENU", Header::kMenu},
        {L"DIRECTION", Header::kDirection},
    };
    for (const Word& w : kWords) {
        size_t length = wcslen(w.word);
        if (wcsncmp(text, w.word, length) == 0 && text[length] <= 32) {
            *after = text + length;
            return w.header;
        }
    }
    return Header::kNone;
}

class Parser {
public:
    Parser(const wchar_t* text, wchar_t* value) : text_(text), value_(value) {}

    // Line by line: the head of a line decides whether it is a header or a key line, the
    // rest runs to the next carriage return or line feed. The first line (the marker's)
    // has no head.
    void Run() {
        CopyNarrow(prefix_, "s:", sizeof(prefix_));
        size_t i = 0;
        bool lineStart = false;
        for (;;) {
            if (lineStart) i = LineHead(i);
            i = ValueRun(i);
            FinishLine();
            if (text_[i] == 0) break;
            ++i;
            lineStart = true;
        }
    }

private:
    size_t SkipToLineEnd(size_t i) const {
        while (text_[i] != 0 && !IsLineEnd(text_[i])) ++i;
        return i;
    }

    void ApplyHeader(Header header, const wchar_t* after) {
        if (header == Header::kStrings) {
            CopyNarrow(prefix_, "s:", sizeof(prefix_));
            return;
        }
        while (IsBlank(*after)) ++after;
        wchar_t argument[kKeyScanChars + 1];
        size_t length = 0;
        while (length < kKeyScanChars && after[length] > 32) {
            argument[length] = after[length];
            ++length;
        }
        argument[length] = 0;
        char narrow[kKeyScanChars + 1];
        WideToAnsi(argument, narrow, sizeof(narrow));
        if (header == Header::kDialog) {
            FormatNarrow(prefix_, sizeof(prefix_), "$%s:", narrow);
        } else if (header == Header::kMenu) {
            FormatNarrow(prefix_, sizeof(prefix_), "@%s:", narrow);
        } else {
            data.rightToLeft = std::strcmp(narrow, "RTL") == 0;
        }
    }

    // A key line: a name, then a blank, tab or comma. The search for the separator
    // stays on the line, so a bare name never swallows the line after it.
    bool StartKey(size_t i, size_t* valueStart) {
        size_t length = 0;
        while (length < kKeyScanChars) {
            wchar_t c = text_[i + length];
            if (c == 0 || IsLineEnd(c)) return false;
            if (c == L' ' || c == L'\t' || c == L',') break;
            ++length;
        }
        if (length == kKeyScanChars) return false;
        wchar_t key[kKeyScanChars + 1];
        std::wmemcpy(key, text_ + i, length);
        key[length] = 0;
        char narrowKey[kKeyScanChars + 1];
        WideToAnsi(key, narrowKey, sizeof(narrowKey));
        char fullName[kKeyScanChars + 1];
        CopyNarrow(fullName, prefix_, sizeof(fullName));
        AppendNarrow(fullName, narrowKey, sizeof(fullName));
        CopyNarrow(pendingKey_, fullName, sizeof(pendingKey_));
        keyPending_ = true;
        valueLength_ = 0;
        size_t position = i + length + 1;
        while (IsBlank(text_[position])) ++position;
        *valueStart = position;
        return true;
    }

    size_t LineHead(size_t i) {
        if (text_[i] == L':') {
            const wchar_t* after = nullptr;
            Header header = MatchHeader(text_ + i + 1, &after);
            if (header != Header::kNone) {
                ApplyHeader(header, after);
                return SkipToLineEnd(after - text_);
            }
        } else if (IsAsciiLetter(text_[i])) {
            size_t valueStart = 0;
            if (StartKey(i, &valueStart)) return valueStart;
        }
        return i;
    }

    // The value characters up to the line end, with escapes; returns the line end.
    size_t ValueRun(size_t i) {
        if (!keyPending_) return SkipToLineEnd(i);
        size_t length = valueLength_;
        for (;;) {
            wchar_t c = text_[i];
            if (c == 0 || IsLineEnd(c)) break;
            ++i;
            if (c == L'\\') {
                switch (text_[i]) {
                    case L'"': c = L'"'; ++i; break;
                    case L'\\': ++i; break;
                    case L'n': c = L'\n'; ++i; break;
                    case L'r': c = L'\r'; ++i; break;
                    case L't': c = L'\t'; ++i; break;
                    default: break;
                }
            }
            if (length < kMaxValueChars) value_[length++] = c;
        }
        valueLength_ = length;
        return i;
    }

    void FinishLine() {
        if (keyPending_) {
            size_t end = valueLength_;
            while (end > 0 && IsBlank(value_[end - 1])) --end;
            if (end > 0 && value_[end - 1] == L'"') --end;
            size_t begin = 0;
            if (end > 0 && value_[0] == L'"') begin = 1;
            data.entries.Push({DuplicateNarrow(pendingKey_), DuplicateWide(value_ + begin, end - begin)});
        }
        keyPending_ = false;
        pendingKey_[0] = 0;
        valueLength_ = 0;
    }

    const wchar_t* text_;
    wchar_t* value_;  // kMaxValueChars characters
    size_t valueLength_ = 0;
    char prefix_[kKeyScanChars + 1] = {};
    char pendingKey_[kMaxNameBytes + 1] = {};
    bool keyPending_ = false;
};

// Reads the text after the marker as UTF-16, zero-terminated and cut at the character
// limit; null when the buffers cannot be had.
wchar_t* ReadText(DiskFile& file, int64_t start, TextKind kind, HeapBlock<unsigned char>& bytes,
                  HeapBlock<wchar_t>& converted) {
    if (bytes.items == nullptr) return nullptr;
    if (!file.Seek(start, FILE_BEGIN)) return nullptr;
    int64_t got = file.Read(bytes.items, kMaxTextBytes);
    size_t count = got > 0 ? static_cast<size_t>(got) : 0;
    wchar_t* text = nullptr;
    size_t chars = 0;
    if (kind == TextKind::kWide) {
        text = reinterpret_cast<wchar_t*>(bytes.items);
        chars = count / 2;
    } else {
        bytes.items[count] = 0;
        if (converted.items == nullptr) return nullptr;
        AnsiToWide(reinterpret_cast<const char*>(bytes.items), converted.items, count + 1);
        text = converted.items;
        chars = count;
    }
    text[std::min(chars, kMaxTextChars)] = 0;
    return text;
}

}  // namespace

void ParseLanguageFile(const wchar_t* path) {
    wchar_t fullPath[kPathCapacity];
    if (wcschr(path, L'\\') == nullptr) {
        wchar_t folder[kPathCapacity];
        GetProgramFolder(folder, kPathCapacity);
        JoinPath(folder, path, fullPath, kPathCapacity);
    } else {
        CopyText(fullPath, path, kPathCapacity);
    }

    DiskFile file;
    file.reportErrors = false;
    if (!file.Open(fullPath, kOpenShareWrite)) return;

    // Entries of an earlier parse go, so the indexes always describe one file.
    data.entries.Clear();
    data.texts.Release();
    data.entryIndex.Clear();
    BuildKeyIndex();

    int64_t start = 0;
    TextKind kind = FindTextStart(file, &start);
    if (kind == TextKind::kNone) return;

    // One byte more than the limit leaves room for the terminator of either kind; the
    // wide kind is read in place, the ANSI kind needs a character per byte.
    HeapBlock<unsigned char> bytes(kMaxTextBytes + 2);
    HeapBlock<wchar_t> converted(kind == TextKind::kAnsi ? kMaxTextBytes + 1 : 0);
    const wchar_t* text = ReadText(file, start, kind, bytes, converted);
    file.Close();
    if (text == nullptr) return;

    HeapBlock<wchar_t> value(kMaxValueChars);
    if (value.items == nullptr) return;
    Parser(text, value.items).Run();
    BuildEntryIndex();
}

void LoadLanguage(const wchar_t* fileName) {
    wchar_t path[kPathCapacity];
    ResolveInLanguageFolder(fileName, path, kPathCapacity);
    ParseLanguageFile(path);
    if (HasRtlResource()) data.rightToLeft = true;
    if (data.rightToLeft) SetProcessDefaultLayout(LAYOUT_RTL);
}

bool LookupKeyValue(const char* name, wchar_t* buffer, size_t size) {
    if (data.entries.Length() == 0 || data.entryIndex.Length() == 0) return false;
    const int64_t* begin = data.entryIndex.Data();
    const int64_t* end = begin + data.entryIndex.Length();
    const int64_t* found = std::lower_bound(
        begin, end, name, [](int64_t position, const char* key) { return CompareNames(data.entries[position].name, key) < 0; });
    if (found == end || CompareNames(data.entries[*found].name, name) != 0) return false;
    CopyText(buffer, data.entries[*found].value, size);
    return true;
}

bool LookupById(int kind, uint32_t id, const wchar_t* container, wchar_t* buffer, size_t size) {
    if (data.entries.Length() == 0 || data.keyIndex.Length() == 0) return false;
    char prefix[80];
    if (kind == kKindString) {
        CopyNarrow(prefix, "s", sizeof(prefix));
    } else if (kind == kKindDialog || kind == kKindMenu) {
        char narrowContainer[80];
        WideToAnsi(container != nullptr ? container : L"", narrowContainer, sizeof(narrowContainer));
        FormatNarrow(prefix, sizeof(prefix), kind == kKindDialog ? "$%s" : "@%s", narrowContainer);
    } else {
        return false;
    }

    std::string_view wanted(prefix);
    const int64_t* begin = data.keyIndex.Data();
    const int64_t* end = begin + data.keyIndex.Length();
    const int64_t* found = std::lower_bound(begin, end, id, [wanted](int64_t position, uint32_t key) {
        const KnownKey& row = KnownKeyTable[position];
        int order = KindPrefix(row.name).compare(wanted);
        if (order != 0) return order < 0;
        return row.id < key;
    });
    if (found == end) return false;
    const KnownKey& row = KnownKeyTable[*found];
    if (KindPrefix(row.name) != wanted || row.id != id) return false;

    char name[80];
    CopyNarrow(name, row.name, sizeof(name));
    return LookupKeyValue(name, buffer, size);
}

bool IsRightToLeft() { return data.rightToLeft; }

void SetRightToLeft(bool value) { data.rightToLeft = value; }

void ReleaseLanguage() { data.Release(); }

size_t LanguageEntryCount() { return data.entries.Length(); }

const char* LanguageEntryName(size_t index) {
    return index < data.entries.Length() ? data.entries[index].name : nullptr;
}

}  // namespace tvx
