// Damaged and hostile language files: the parser must never crash, hang or write past
// its buffers, and what it stores must stay within its limits. Seeded, so a failure
// repeats; the seed and round are printed with it.

#include "lang/Language.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "LangTestFiles.h"
#include "TestSupport.h"

namespace tvx {
namespace {

using tvxtest::Utf16Le;

const char kSample[] =
    "Sample language\r\n***messages***\r\n:DIRECTION RTL\r\n"
    "IDS_BETA \"Beta \\\"x\\\" \\n\"\r\nIDS_32BIT, 32 Bit\r\n"
    ":DIALOG SETUPDLG\r\nSIZE 120*110\r\nCAPTION \"Einrichtung\"\r\nIDC_ASSOCZIP ZIP\r\n"
    ":MENU M\r\nIDM_X x\r\n:STRINGS\r\nIDS_64BIT \"64\"";

std::string Mutate(std::string bytes, std::mt19937& random) {
    std::uniform_int_distribution<int> byteValue(0, 255);
    int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
        size_t at = random() % bytes.size();
        switch (random() % 6) {
            case 0: bytes[at] = static_cast<char>(byteValue(random)); break;
            case 1: bytes[at] ^= static_cast<char>(1 << (random() % 8)); break;
            case 2: bytes.erase(at, 1 + random() % 4); break;
            case 3: bytes.insert(at, 1, "\r\n\\\": \t,*\0"[random() % 10]); break;
            case 4: bytes.resize(at); break;  // truncated, often to an odd length
            case 5: bytes.insert(at, bytes.substr(random() % bytes.size(), 1 + random() % 16)); break;
        }
    }
    return bytes;
}

std::wstring RandomWideLine(std::mt19937& random) {
    static const wchar_t kPieces[][12] = {L"IDS_BETA", L":DIALOG", L":MENU", L":STRINGS", L":DIRECTION", L" RTL",
                                          L"\"", L"\\", L"\\n", L"\t", L",", L"\r", L"\n", L"\r\n", L"SETUPDLG",
                                          L"\xD800", L"\xDC00", L"\xFFFF", L"\x00E9", L"IDOK"};
    std::wstring line;
    int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) line += kPieces[random() % std::size(kPieces)];
    return line;
}

std::string RandomFile(std::mt19937& random) {
    switch (random() % 6) {
        case 0: {  // random bytes around an ANSI marker
            std::string bytes = std::string("***messages***");
            size_t n = random() % 600;
            for (size_t i = 0; i < n; ++i) bytes += static_cast<char>(random() % 256);
            return bytes;
        }
        case 1: {  // UTF-16 with lone surrogates, no line end at the end, odd tail
            std::wstring text = L"***messages***";
            int lines = static_cast<int>(random() % 30);
            for (int i = 0; i < lines; ++i) text += RandomWideLine(random);
            std::string bytes = Utf16Le(text, random() % 2 == 0);
            if (random() % 2) bytes += static_cast<char>(random() % 256);
            return bytes;
        }
        case 2: {  // keys and headers of 90 to 110 characters
            std::string bytes = "***messages***\n";
            int lines = 1 + static_cast<int>(random() % 10);
            for (int i = 0; i < lines; ++i) {
                bytes += (random() % 3 == 0) ? (random() % 2 ? ":DIALOG " : ":MENU ") : "";
                bytes += std::string(90 + random() % 21, static_cast<char>('A' + random() % 26));
                bytes += (random() % 2) ? " value\n" : "\n";
            }
            return bytes;
        }
        case 3: {  // no line ends at all
            std::string bytes = "***messages***IDS_BETA ";
            bytes += std::string(random() % 5000, 'n');
            return bytes;
        }
        case 4: return Mutate(kSample, random);
        default: return Mutate(std::string(kSample).substr(0, random() % sizeof(kSample)), random);
    }
}

void CheckStoredEntries(const std::string& context) {
    static wchar_t value[70000];
    for (size_t i = 0; i < LanguageEntryCount(); ++i) {
        const char* name = LanguageEntryName(i);
        ASSERT_NE(name, nullptr) << context;
        ASSERT_LE(std::strlen(name), 49u) << context;
        // Values are found by their name and are never longer than the limit.
        value[65536] = L'#';
        value[65537] = L'#';
        ASSERT_TRUE(LookupKeyValue(name, value, std::size(value))) << context;
        ASSERT_LE(wcslen(value), 65536u) << context;
    }
    wchar_t small[8];
    for (size_t i = 0; i < KnownKeyCount; ++i) {
        LookupKeyValue(KnownKeyTable[i].name, small, std::size(small));
        LookupById(kKindString, KnownKeyTable[i].id, nullptr, small, std::size(small));
        LookupById(kKindDialog, KnownKeyTable[i].id, L"SETUPDLG", small, std::size(small));
    }
}

TEST(LanguageFileRobustness, ThousandsOfDamagedFilesNeverBreakTheParser) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxfuzz");
    const unsigned seed = 20261208;
    std::mt19937 random(seed);
    size_t filesWithEntries = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string bytes = RandomFile(random);
        tvxtest::ParseBytes(sandbox, bytes, L"fuzz.lng");
        if (LanguageEntryCount() > 0) ++filesWithEntries;
        CheckStoredEntries("seed " + std::to_string(seed) + " round " + std::to_string(round));
        if (HasFatalFailure()) return;
    }
    // The run must have reached the key handling, not only the marker search.
    EXPECT_GT(filesWithEntries, 600u);
}

TEST(LanguageFileRobustness, HugeValuesKeysAndSizesStayWithinLimits) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxfuzz");
    std::mt19937 random(7);
    // Values past 65,536 characters, escapes split at the cut, and a file at the 2 MB read limit.
    std::wstring text = L"\xFEFF***messages***\r\n";
    for (int i = 0; i < 14; ++i) {
        text += L"IDS_BETA" + std::to_wstring(i) + L" \"";
        size_t length = 65530 + random() % 20;
        for (size_t j = 0; j < length; ++j) text += (j % 7 == 0) ? L'\\' : static_cast<wchar_t>(L'a' + j % 26);
        text += L"\"\r\n";
        text += std::wstring(99, L'K') + L" x\r\n" + std::wstring(98, L'Q') + L"," + L"y\r\n";
    }
    std::string bytes = Utf16Le(text, false);
    bytes.resize(2097152 + 1001, 'z');  // past the read limit, odd length
    tvxtest::ParseBytes(sandbox, bytes, L"huge.lng");
    EXPECT_GE(LanguageEntryCount(), 14u);
    CheckStoredEntries("huge file");
}

}  // namespace
}  // namespace tvx
