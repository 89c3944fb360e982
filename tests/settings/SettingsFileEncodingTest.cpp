// The text-file reader behind "Tervix.ini": how it decides on an encoding, how it
// splits lines, and its options for other callers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SettingsFileTestSupport.h"
#include "TestSupport.h"
#include "platform/DiskFile.h"
#include "platform/RunOutcome.h"
#include "settings/SettingsFile.h"
#include "settings/TextFileReader.h"

namespace tvx::settingstest {
namespace {

class TextFileReading : public ::testing::Test {
protected:
    std::vector<std::wstring> Read(const std::string& bytes, const TextReadOptions& options = {},
                                   bool* whole = nullptr) {
        EXPECT_TRUE(tvxtest::WriteFileBytes(path, bytes));
        StringList list;
        EXPECT_TRUE(ReadTextFile(path.c_str(), list, options, whole));
        std::vector<std::wstring> lines;
        const wchar_t* line = nullptr;
        while (list.NextString(&line)) lines.push_back(line);
        return lines;
    }
    TextEncoding Detect(const std::string& bytes) {
        return DetectTextEncoding(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }
    using Lines = std::vector<std::wstring>;

    tvxtest::TempFolder folder{L"tvxtext"};
    std::wstring path = folder / L"text.txt";
};

TEST_F(TextFileReading, Utf8WithMarkAndAWellFormedBodyIsDecodedAsUtf8) {
    // "é" and U+1F600 (a surrogate pair in UTF-16).
    std::string bytes = "\xEF\xBB\xBF" "caf\xC3\xA9\r\nsmile=\xF0\x9F\x98\x80\r\n";
    EXPECT_EQ(Detect(bytes), TextEncoding::Utf8);
    EXPECT_EQ(Read(bytes), (Lines{L"caf\u00E9", L"smile=\U0001F600"}));
}

TEST_F(TextFileReading, Utf8MarkWithABrokenBodyFallsBackToAnsi) {
    // A lead byte at the very end lacks its continuation byte.
    std::string bytes = "\xEF\xBB\xBF" "a=caf\xC3\xA9\r\nb=\xC3";
    EXPECT_EQ(Detect(bytes), TextEncoding::Ansi);
    // Code page 1252: the mark shows as three characters and each byte is one character.
    EXPECT_EQ(Read(bytes), (Lines{L"\u00EF\u00BB\u00BF" L"a=caf\u00C3\u00A9", L"b=\u00C3"}));

    EXPECT_EQ(Detect("\xEF\xBB\xBF" "\xFF"), TextEncoding::Ansi) << "0xFF is never a UTF-8 lead byte";
    EXPECT_EQ(Detect("\xEF\xBB\xBF" "\x80" "a"), TextEncoding::Ansi) << "continuation byte in lead position";
    EXPECT_EQ(Detect("\xEF\xBB\xBF"), TextEncoding::Ansi) << "a mark alone is not longer than 3 bytes";
    EXPECT_EQ(Detect("\xEF\xBB\xBF" "a"), TextEncoding::Utf8);
}

TEST_F(TextFileReading, WithoutAMarkTheBytesDecide) {
    struct Case { std::string bytes; TextEncoding expected; const char* what; };
    const Case kCases[] = {
        {"D:\\M\xC3\xBCller\r\n", TextEncoding::Utf8, "well-formed UTF-8"},
        {"\xF4\x8F\xBF\xBF \xED\x9F\xBF \xEF\xBF\xBD", TextEncoding::Utf8, "U+10FFFF, U+D7FF, U+FFFD"},
        {"a=1\r\n", TextEncoding::Ansi, "ASCII alone"},
        {"D:\\M\xFCller", TextEncoding::Ansi, "code page 1252"},
        {"\xC3\xBC \xC0\xAF", TextEncoding::Ansi, "an overlong two-byte form"},
        {"\xC3\xBC \xE0\x80\xAF", TextEncoding::Ansi, "an overlong three-byte form"},
        {"\xC3\xBC \xF0\x80\x80\xAF", TextEncoding::Ansi, "an overlong four-byte form"},
        {"\xC3\xBC \xED\xA0\x80", TextEncoding::Ansi, "an encoded surrogate"},
        {"\xC3\xBC \xF4\x90\x80\x80", TextEncoding::Ansi, "above U+10FFFF"},
        {"\xC3\xBC \xF8\x88\x80\x80\x80", TextEncoding::Ansi, "a five-byte form"},
        {"\xC3\xBC \xC3", TextEncoding::Ansi, "a cut sequence"},
        {Utf16Le(L"Global\\Integration=0\r\n", false), TextEncoding::Utf16, "UTF-16 LE"},
        {Utf16Be(L"Global\\Integration=0\r\n", false), TextEncoding::Utf16BigEndian, "UTF-16 BE"},
        {Utf16Le(L"a=\u4E00\r\n", false), TextEncoding::Utf16, "LE with a zero low byte"},
        {std::string("a=1\0b=2\r\n", 9), TextEncoding::Ansi, "one stray zero byte"},
        {std::string("a\0", 2), TextEncoding::Utf16, "one unit"},
    };
    for (const Case& c : kCases) EXPECT_EQ(Detect(c.bytes), c.expected) << c.what;
    EXPECT_EQ(Read("D:\\M\xC3\xBCller"), (Lines{L"D:\\M\u00FCller"}));
    EXPECT_EQ(Read(Utf16Be(L"a=\u00FC\r\nb=2", false)), (Lines{L"a=\u00FC", L"b=2"}));
}

TEST_F(TextFileReading, ReadWholeTellsWhetherEveryByteBecameText) {
    struct Case { std::string bytes; bool whole; Lines lines; const char* what; };
    const Case kCases[] = {
        {"a=1\r\nb=2", true, {L"a=1", L"b=2"}, "ANSI"},
        {std::string("a=1\r\nb\0=2\r\nc=3", 14), false, {L"a=1", L"b"}, "a zero byte ends ANSI text"},
        {Utf16Le(std::wstring(L"a=1\r\n\0b=2", 9)), false, {L"a=1"}, "a zero unit ends UTF-16 text"},
        {Utf16Le(L"a=1") + "\n", true, {L"a=1"}, "an odd line break at the end is no loss"},
        {Utf16Le(L"a=1") + "x", false, {L"a=1"}, "an odd byte at the end is"},
        {std::string("\xEF\xBB\xBF" "a=\xC3\xBC\0b", 9), false, {L"a=\u00FC"}, "a zero byte ends UTF-8 text"},
    };
    for (const Case& c : kCases) {
        bool whole = !c.whole;
        EXPECT_EQ(Read(c.bytes, {}, &whole), c.lines) << c.what;
        EXPECT_EQ(whole, c.whole) << c.what;
    }

    // A read error after some data, as the file object reports it, is not the end.
    struct FailingSecondRead : DiskFile {
        int64_t Read(void* buffer, size_t size) override {
            if (calls++ == 0) return DiskFile::Read(buffer, size);
            lastErrorKind = kReadFailed;
            return 0;
        }
        int calls = 0;
    } failing;
    ASSERT_TRUE(tvxtest::WriteFileBytes(path, "a=1\r\nb=2"));
    ASSERT_TRUE(failing.Open(path.c_str()));
    StringList lines;
    bool whole = true;
    ReadOpenedTextFile(failing, lines, {}, &whole);
    EXPECT_FALSE(whole);
    EXPECT_EQ(lines.Count(), 2u) << "what was read before it is used";
}

TEST_F(TextFileReading, Utf16LittleAndBigEndianWithMarkAreDecoded) {
    std::wstring text = L"a=\u00E9\u4E2D\r\nb=2";
    EXPECT_EQ(Detect(Utf16Le(text)), TextEncoding::Utf16);
    EXPECT_EQ(Detect(Utf16Be(text)), TextEncoding::Utf16BigEndian);
    EXPECT_EQ(Read(Utf16Le(text)), (Lines{L"a=\u00E9\u4E2D", L"b=2"}));
    EXPECT_EQ(Read(Utf16Be(text)), (Lines{L"a=\u00E9\u4E2D", L"b=2"}));
}

TEST_F(TextFileReading, Utf16MarkFollowedOnlyByHighCharactersIsReadAsAnsi) {
    // CJK text on one line without a line break: every high byte is 0x4E or above.
    std::string cjk = Utf16Le(L"\u4E2D\u6587\u6587\u4EF6");
    EXPECT_EQ(Detect(cjk), TextEncoding::Ansi);
    std::vector<std::wstring> lines = Read(cjk);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 2), L"\u00FF\u00FE") << "the mark is read as two ANSI characters";
    EXPECT_EQ(lines[0].size(), 10u);

    // The same text with a line break is UTF-16: CR's high byte is 0x00.
    EXPECT_EQ(Detect(Utf16Le(L"\u4E2D\u6587\r\n")), TextEncoding::Utf16);
    // High bytes 0x0A and 0x0D do not count (U+0A00 and U+0D00 ranges alone).
    EXPECT_EQ(Detect(Utf16Le(L"\u0A05\u0D05")), TextEncoding::Ansi);
    EXPECT_EQ(Detect(Utf16Le(L"\u0905")), TextEncoding::Utf16);
    EXPECT_EQ(Detect(Utf16Be(L"\u4E2D\u6587")), TextEncoding::Ansi);
    EXPECT_EQ(Detect("\xFF\xFE"), TextEncoding::Ansi) << "a mark alone is not longer than 2 bytes";
}

TEST_F(TextFileReading, PlainBytesAreReadInTheAnsiCodePage) {
    EXPECT_EQ(Read("na\xEFve=\x80"), (Lines{L"na\u00EFve=\u20AC"}));
}

TEST_F(TextFileReading, ForcedEncodingsOverrideDetection) {
    TextReadOptions oem;
    oem.encoding = TextEncoding::Oem;
    // Code page 437: 0x82 is "é", 0x9C is "£".
    EXPECT_EQ(Read("caf\x82 \x9C", oem), (Lines{L"caf\u00E9 \u00A3"}));

    TextReadOptions utf16;
    utf16.encoding = TextEncoding::Utf16;
    // No mark: little-endian from the first byte; an odd last byte is dropped.
    EXPECT_EQ(Read(Utf16Le(L"\u4E2D=1", false) + "x", utf16), (Lines{L"\u4E2D=1"}));
    EXPECT_EQ(Read(Utf16Le(L"\u4E2D\u6587"), utf16), (Lines{L"\u4E2D\u6587"}));

    TextReadOptions utf8;
    utf8.encoding = TextEncoding::Utf8;
    EXPECT_EQ(Read("caf\xC3\xA9", utf8), (Lines{L"caf\u00E9"}));

    TextReadOptions ansi;
    ansi.encoding = TextEncoding::Ansi;
    EXPECT_EQ(Read("\xEF\xBB\xBF" "a", ansi), (Lines{L"\u00EF\u00BB\u00BF" L"a"}));
}

TEST_F(TextFileReading, LinesSplitAtAnyRunOfLineBreaksAndLoseTrailingBlanksOnly) {
    EXPECT_EQ(Read("one\r\n\r\n\n\rtwo \t\n  three\rfour\r\n \t \r\n"),
              (Lines{L"one", L"two", L"  three", L"four"}));
    EXPECT_EQ(Read(""), Lines{});
    EXPECT_EQ(Read("\r\n\r\n"), Lines{});
}

TEST_F(TextFileReading, OptionsForOtherCallersShapeEachLine) {
    TextReadOptions options;
    options.stripSurroundingQuotes = true;
    options.cutAtDoubleSlash = true;
    options.expandEnvironment = true;
    ASSERT_TRUE(SetEnvironmentVariableW(L"TVX_READER_TEST", L"C:\\Expanded"));
    EXPECT_EQ(Read("\"quoted\"\r\n\"half\r\nkeep // cut away\r\n// only a comment\r\n"
                   "%TVX_READER_TEST%\\x\r\nnot %TVX_READER_TEST%\r\n",
                   options),
              (Lines{L"quoted", L"\"half", L"keep", L"C:\\Expanded\\x", L"not %TVX_READER_TEST%"}));
    SetEnvironmentVariableW(L"TVX_READER_TEST", nullptr);

    EXPECT_EQ(Read("\"quoted\" // c\r\n"), (Lines{L"\"quoted\" // c"})) << "all options are off by default";
}

TEST_F(TextFileReading, AMissingFileIsAFailureAndOptionallyFatal) {
    StringList list;
    std::wstring missing = folder / L"missing.txt";
    EXPECT_FALSE(ReadTextFile(missing.c_str(), list));
    EXPECT_EQ(list.Count(), 0u);

    TextReadOptions fatal;
    fatal.failedOpenIsFatal = true;
    try {
        ReadTextFile(missing.c_str(), list, fatal);
        ADD_FAILURE() << "a fatal open failure must throw";
    } catch (const TVX_EXIT& exit) {
        EXPECT_EQ(exit.code, kExitFailed);
        EXPECT_EQ(Errors().lastError, FileError::Open);
    }
    Errors() = ErrorState();
    ResetRunOutcome();
}

TEST_F(TextFileReading, AFileLargerThanOneReadStepIsReadWhole) {
    std::string bytes;
    for (int i = 0; i < 3000; ++i) bytes += "line" + std::to_string(i) + "\r\n";
    std::vector<std::wstring> lines = Read(bytes);
    ASSERT_EQ(lines.size(), 3000u);
    EXPECT_EQ(lines.front(), L"line0");
    EXPECT_EQ(lines.back(), L"line2999");
}

// The same decisions seen through the settings file.
using SettingsFileEncoding = SettingsFileTest;

TEST_F(SettingsFileEncoding, AUtf8FileWithMarkLoadsItsText) {
    Load("\xEF\xBB\xBF" "HKCU\\Paths\\TempFolder=\"C:\\Temp\\caf\xC3\xA9\"\r\n");
    EXPECT_EQ(Value(L"HKCU\\Paths\\TempFolder"), L"C:\\Temp\\caf\u00E9");
}

TEST_F(SettingsFileEncoding, AnAnsiFileLoadsAndIsSavedAsUtf16) {
    Load("HKCU\\Paths\\TempFolder=\"C:\\Temp\\caf\xE9\"\r\n");
    EXPECT_EQ(Value(L"HKCU\\Paths\\TempFolder"), L"C:\\Temp\\caf\u00E9");
    std::wstring saved = SaveAndRead();
    EXPECT_NE(saved.find(L"HKCU\\Paths\\TempFolder=\"C:\\Temp\\caf\u00E9\"\r\n"), std::wstring::npos);
}

TEST_F(SettingsFileEncoding, AUtf8MarkOnABrokenBodyHidesTheFirstLine) {
    // Read as ANSI, the first line starts with the mark's characters and is ignored.
    Load("\xEF\xBB\xBF" "first=1\r\nsecond=\xC3\r\n");
    EXPECT_EQ(Value(L"first"), L"<none>");
    EXPECT_EQ(Value(L"second"), L"\u00C3");
}

TEST_F(SettingsFileEncoding, ABigEndianFileLoads) {
    Load(Utf16Be(L"HKCU\\Setup\\ShellExt=0\r\n"));
    EXPECT_EQ(Value(L"HKCU\\Setup\\ShellExt"), L"0");
}

TEST_F(SettingsFileEncoding, AUtf16FileWithoutAMarkLoadsWhole) {
    Load(Utf16Le(L"Global\\Integration=0\r\nHKCU\\Setup\\ShellExt=0\r\n", false));
    EXPECT_FALSE(Switches().integration);
    EXPECT_EQ(Value(L"HKCU\\Setup\\ShellExt"), L"0");
}

}  // namespace
}  // namespace tvx::settingstest
