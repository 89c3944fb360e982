#include "platform/Strings.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "platform/DiskFile.h"

namespace tvx {
namespace {

TEST(BoundedCopies, CutAtTheSizeAndNeverWritePastIt) {
    wchar_t buffer[8];
    wmemset(buffer, L'#', 8);
    CopyText(buffer, L"abcdefghij", 5);
    EXPECT_STREQ(buffer, L"abcd");
    EXPECT_EQ(buffer[5], L'#');

    CopyText(buffer, L"xyz", 1);
    EXPECT_STREQ(buffer, L"");
    EXPECT_EQ(buffer[1], L'b') << "size 1 writes only the terminator";

    buffer[0] = L'q';
    CopyText(buffer, L"xyz", 0);
    EXPECT_EQ(buffer[0], L'q') << "size 0 writes nothing";

    char narrow[6];
    memset(narrow, '#', sizeof narrow);
    CopyNarrow(narrow, "abcdefgh", 4);
    EXPECT_STREQ(narrow, "abc");
    EXPECT_EQ(narrow[4], '#');
}

TEST(BoundedCopies, AppendStopsAtTheSizeAndLeavesAFullDestination) {
    wchar_t buffer[10] = L"abc";
    AppendText(buffer, L"defghijk", 8);
    EXPECT_STREQ(buffer, L"abcdefg");

    // A destination as long as the size (no terminator inside it) stays as it is.
    wchar_t full[6] = {L'a', L'b', L'c', L'd', L'e', L'#'};
    AppendText(full, L"xyz", 5);
    EXPECT_EQ(std::wstring(full, 6), std::wstring(L"abcde#"));

    char narrow[8] = "ab";
    AppendNarrow(narrow, "cdefghij", 6);
    EXPECT_STREQ(narrow, "abcde");
}

TEST(BoundedFormat, WideStringArgumentsAndCutOutput) {
    wchar_t buffer[64];
    FormatText(buffer, 64, L"%s.%u.tmp", L"C:\\dir\\x.dll", 7u);
    EXPECT_STREQ(buffer, L"C:\\dir\\x.dll.7.tmp");
    FormatText(buffer, 64, L"[%ls|%d|%lld]", L"w", -5, 1099511627776LL);
    EXPECT_STREQ(buffer, L"[w|-5|1099511627776]");

    wmemset(buffer, L'#', 64);
    FormatText(buffer, 5, L"%s", L"abcdefgh");
    EXPECT_STREQ(buffer, L"abcd");
    EXPECT_EQ(buffer[5], L'#');
    // Exactly filling the room still ends in a terminator.
    FormatText(buffer, 4, L"%d", 123);
    EXPECT_STREQ(buffer, L"123");

    char narrow[16];
    memset(narrow, '#', sizeof narrow);
    FormatNarrow(narrow, 6, "%s=%d", "key", 12345);
    EXPECT_STREQ(narrow, "key=1");
    EXPECT_EQ(narrow[6], '#');
}

TEST(CodePages, RoundTripThroughTheAnsiCodePageAndTerminateOnOverflow) {
    wchar_t wide[16];
    ASSERT_TRUE(AnsiToWide("caf\xE9", wide, 16));  // 1252 e acute
    EXPECT_STREQ(wide, L"caf\u00E9");
    char narrow[16];
    ASSERT_TRUE(WideToAnsi(L"caf\u00E9", narrow, 16));
    EXPECT_STREQ(narrow, "caf\xE9");

    wmemset(wide, L'#', 16);
    EXPECT_FALSE(AnsiToWide("abcdefgh", wide, 4));
    EXPECT_EQ(wide[3], 0) << "the last element is zeroed even when the text does not fit";
    EXPECT_EQ(wide[4], L'#');
    memset(narrow, '#', sizeof narrow);
    EXPECT_FALSE(WideToAnsi(L"abcdefgh", narrow, 4));
    EXPECT_EQ(narrow[3], 0);
    EXPECT_EQ(narrow[4], '#');
}

TEST(Utf8, RecognisesUtf8Text) {
    auto valid = [](const char* text, size_t count) {
        return IsValidUtf8(reinterpret_cast<const unsigned char*>(text), count);
    };
    EXPECT_TRUE(valid("plain ascii", 11));
    EXPECT_TRUE(valid("caf\xC3\xA9", 5));
    EXPECT_TRUE(valid("\xF0\x9F\x98\x80", 4));
    EXPECT_FALSE(valid("\xFC\x84\x80\x80\x80\x80", 6)) << "six-byte forms are not UTF-8";
    EXPECT_FALSE(valid("a\xFF", 2));
    EXPECT_FALSE(valid("a\xFE\x80\x80\x80\x80\x80\x80", 8));
    EXPECT_FALSE(valid("a\x80", 2)) << "continuation byte in lead position";
    EXPECT_FALSE(valid("ab\xC3", 3)) << "lead byte at the very end";
    EXPECT_FALSE(valid("caf\xE9!", 5)) << "ANSI text is not UTF-8";
}

TEST(Utf8, ConvertsToUtf16WithSurrogatesAndStopsOnBadBytes) {
    wchar_t out[16];
    auto convert = [&](const char* text, size_t size) {
        return Utf8ToWide(reinterpret_cast<const unsigned char*>(text), out, size);
    };
    ASSERT_TRUE(convert("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", 16));
    EXPECT_EQ(std::wstring(out), std::wstring(L"a\u00E9\u20AC\xD83D\xDE00z"));

    out[0] = L'#';
    EXPECT_FALSE(convert("\x80", 16));
    EXPECT_STREQ(out, L"");
    EXPECT_FALSE(convert("ab\xE2\x82", 16)) << "a sequence cut by the terminator";
    EXPECT_STREQ(out, L"ab");
    EXPECT_FALSE(convert("ab\xF8\x80\x80\x80\x80", 16));
    EXPECT_STREQ(out, L"ab");

    // No room: the output is cut, the result stays true.
    EXPECT_TRUE(convert("abcdef", 4));
    EXPECT_STREQ(out, L"abc");
    // A pair that no longer fits is dropped whole.
    EXPECT_TRUE(convert("ab\xF0\x9F\x98\x80", 4));
    EXPECT_STREQ(out, L"ab");
    // Above U+10FFFF: not written, false, and it still takes two places of room.
    EXPECT_FALSE(convert("\xF7\xBF\xBF\xBF" "abc", 4));
    EXPECT_STREQ(out, L"a");
}

TEST(Decimals, ParseFromTheVeryStart) {
    EXPECT_EQ(ParseDecimal(L"-12x"), -12);
    EXPECT_EQ(ParseDecimal(L" 12"), 0);
    EXPECT_EQ(ParseDecimal(L"-"), 0);
    EXPECT_EQ(ParseDecimal(L""), 0);
    EXPECT_EQ(ParseDecimal(L"007"), 7);
    EXPECT_EQ(ParseDecimal(L"+5"), 0);
    EXPECT_EQ(ParseDecimal(L"9223372036854775807"), INT64_MAX);
    EXPECT_EQ(ParseDecimal(L"-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ParseDecimal32(L"4294967297"), 1) << "the 32-bit form truncates";
}

TEST(Decimals, FormatKeepsTheLowestOrderDigitsWhenCut) {
    wchar_t out[32];
    FormatDecimal(-305, out, 32);
    EXPECT_STREQ(out, L"-305");
    FormatDecimal(305, out, 3);
    EXPECT_STREQ(out, L"05");
    FormatDecimal(-305, out, 3);
    EXPECT_STREQ(out, L"-5");
    FormatDecimal(0, out, 32);
    EXPECT_STREQ(out, L"0");
    FormatDecimal(INT64_MIN, out, 32);
    EXPECT_STREQ(out, L"-9223372036854775808");
    out[0] = L'#';
    FormatDecimal(42, out, 1);
    EXPECT_STREQ(out, L"");
}

TEST(Characters, UpperCaseAndComparison) {
    EXPECT_TRUE(IsDigit(L'0'));
    EXPECT_TRUE(IsDigit(L'9'));
    EXPECT_FALSE(IsDigit(L'a'));
    EXPECT_FALSE(IsDigit(L'\u0663')) << "only ASCII digits";
    EXPECT_EQ(AsciiUpper(L'q'), L'Q');
    EXPECT_EQ(AsciiUpper(L'\u00E9'), L'\u00E9');
    EXPECT_EQ(UpperChar(L'\u00E9'), L'\u00C9');
    EXPECT_EQ(UpperChar(L'z'), L'Z');
    EXPECT_EQ(CompareNoCase(L"COMBOBOX", L"combobox"), 0);
    EXPECT_EQ(CompareNoCase(L"\u00C9t\u00E9", L"\u00E9T\u00C9"), 0);
    EXPECT_NE(CompareNoCase(L"combobox", L"combobo"), 0);
    EXPECT_EQ(CompareNoCase(L"a", L"b"), -1);
    EXPECT_EQ(CompareNoCase(L"b", L"a"), 1);
    // Ordinal: a composed letter is not its decomposed spelling, and a soft hyphen counts.
    EXPECT_NE(CompareNoCase(L"\u00C5.zip", L"A\u030A.zip"), 0);
    EXPECT_NE(CompareNoCase(L"Ter\u00ADvix", L"Tervix"), 0);
}

TEST(StringListTest, ReadsBackInOrderIncludingEmptyStrings) {
    StringList list;
    list.AddString(L"first");
    list.AddString(nullptr);
    list.AddString(L"third");
    EXPECT_EQ(list.Count(), 3u);
    const wchar_t* text = nullptr;
    ASSERT_TRUE(list.NextString(&text));
    EXPECT_STREQ(text, L"first");
    ASSERT_TRUE(list.NextString(&text));
    EXPECT_STREQ(text, L"");
    ASSERT_TRUE(list.NextString(&text));
    EXPECT_STREQ(text, L"third");
    EXPECT_FALSE(list.NextString(&text));

    list.Rewind();
    ASSERT_TRUE(list.NextString(&text));
    EXPECT_STREQ(text, L"first");

    // Many strings: growth must keep earlier ones intact.
    for (int i = 0; i < 1000; ++i) {
        wchar_t number[16];
        FormatDecimal(i, number, 16);
        list.AddString(number);
    }
    list.Rewind();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(list.NextString(&text));
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(list.NextString(&text));
        ASSERT_EQ(ParseDecimal(text), i);
    }

    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_FALSE(list.NextString(&text));
}

}  // namespace
}  // namespace tvx
