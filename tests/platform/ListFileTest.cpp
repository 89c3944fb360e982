// How "Uninstall.lst" is read: pieces, trimming, blank lines; and which entries stay
// inside the install folder.

#include "platform/ListFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

using Entries = std::vector<std::string>;

Entries ReadList(const std::string& bytes) {
    tvxtest::TempFolder folder(L"tvxlist");
    const std::wstring path = folder / L"Uninstall.lst";
    EXPECT_TRUE(tvxtest::WriteFileBytes(path, bytes));
    const tvx::UniqueCrtFile file(_wfopen(path.c_str(), L"rb"));
    EXPECT_TRUE(file);
    if (!file) return {};
    // Reading starts at the beginning whatever the position of the stream.
    fgetc(file.get());
    return tvx::ReadListEntries(file.get());
}

TEST(ListReading, TrailingBlanksTabsAndCarriageReturnsAreDroppedLeadingBlanksKept) {
    EXPECT_EQ(ReadList("a.txt  \r\n\tb.txt\t \r\n c.txt\r\r\nsub\\d.txt"),
              (Entries{"a.txt", "\tb.txt", " c.txt", "sub\\d.txt"}));
}

TEST(ListReading, EmptyAndBlankLinesAreSkipped) {
    EXPECT_EQ(ReadList("\n\r\n  \t \n\nx\n\n"), (Entries{"x"}));
    EXPECT_EQ(ReadList(""), Entries{});
    EXPECT_EQ(ReadList(" \r\n\r\n"), Entries{});
}

TEST(ListReading, CarriageReturnInsideALineBelongsToTheName) {
    EXPECT_EQ(ReadList("a\rb\r\n"), (Entries{"a\rb"}));
}

TEST(ListReading, LongLinesAreReadInPiecesOf2047Bytes) {
    const std::string longLine = std::string(2047, 'a') + std::string(10, 'b');
    EXPECT_EQ(ReadList(longLine + "\nnext\n"), (Entries{std::string(2047, 'a'), std::string(10, 'b'), "next"}));

    // A line of exactly 2047 bytes leaves its line feed as a piece of its own, which is empty.
    EXPECT_EQ(ReadList(std::string(2047, 'c') + "\nd"), (Entries{std::string(2047, 'c'), "d"}));

    // 2046 bytes and the line feed fill one piece.
    EXPECT_EQ(ReadList(std::string(2046, 'e') + "\nf"), (Entries{std::string(2046, 'e'), "f"}));

    // Trailing blanks are trimmed per piece: blanks that end the first piece go.
    EXPECT_EQ(ReadList(std::string(2040, 'g') + std::string(7, ' ') + "h\n"), (Entries{std::string(2040, 'g'), "h"}));
}

TEST(ListReading, AZeroByteEndsTheName) {
    EXPECT_EQ(ReadList(std::string("ab\0cd\nx\n", 8)), (Entries{"ab", "x"}));
}

TEST(EntriesBelowTheInstallFolder, RelativeNamesAndSubFoldersAreInside) {
    for (const wchar_t* entry : {L"a.txt", L"sub\\a.txt", L"sub/a.txt", L" lead", L"sub\\", L".hidden", L"a..b",
                                 L"sub\\.\\x", L"...x", L"x..."})
        EXPECT_TRUE(tvx::IsEntryBelowFolder(entry)) << entry;
}

TEST(EntriesBelowTheInstallFolder, AbsoluteParentAndStreamNamesAreOutside) {
    for (const wchar_t* entry : {L"", L"..", L"..\\x", L"sub\\..\\..\\x", L"sub/../x", L"sub\\..", L"C:\\x", L"C:x",
                                 L"\\x", L"/x", L"\\\\server\\share\\x", L"\\\\?\\C:\\x", L"a.txt:stream",
                                 L"sub\\...\\x", L"sub\\. .\\x", L".. \\x"})
        EXPECT_FALSE(tvx::IsEntryBelowFolder(entry)) << entry;
}

}  // namespace
