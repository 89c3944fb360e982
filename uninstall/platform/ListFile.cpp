#include "platform/ListFile.h"

#include <cstring>
#include <string_view>

namespace tvx {
namespace {

// A line is taken in pieces of this many bytes, the way a 2048-byte line buffer reads it.
constexpr size_t kPieceBytes = 2047;

bool IsTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Windows drops trailing dots and blanks from a path component, so ". ." or "..."
// may walk up like ".." does; any component made only of them with two dots counts.
bool IsParentComponent(std::wstring_view component) {
    size_t dots = 0;
    for (wchar_t c : component) {
        if (c == L'.')
            ++dots;
        else if (c != L' ')
            return false;
    }
    return dots >= 2;
}

}  // namespace

std::vector<std::string> ReadListEntries(FILE* list) {
    std::string bytes;
    rewind(list);
    char chunk[65536];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, list)) > 0;) bytes.append(chunk, got);

    std::vector<std::string> entries;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = start;
        while (end < bytes.size() && end - start < kPieceBytes && bytes[end] != '\n') ++end;
        if (end < bytes.size() && bytes[end] == '\n' && end - start < kPieceBytes) ++end;
        // The piece is a C string: a zero byte ends its name.
        std::string piece = bytes.substr(start, end - start);
        piece.resize(strnlen(piece.c_str(), piece.size()));
        while (!piece.empty() && IsTrailingBlank(piece.back())) piece.pop_back();
        if (!piece.empty()) entries.push_back(std::move(piece));
        start = end;
    }
    return entries;
}

bool IsEntryBelowFolder(const std::wstring& entry) {
    if (entry.empty() || IsSeparator(entry[0])) return false;
    if (entry.find(L':') != std::wstring::npos) return false;
    for (size_t start = 0; start <= entry.size();) {
        size_t end = start;
        while (end < entry.size() && !IsSeparator(entry[end])) ++end;
        if (IsParentComponent(std::wstring_view(entry).substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace tvx
