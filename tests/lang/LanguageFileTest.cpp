// The language file as translators write it: encodings, the marker, headers, key lines,
// quoting and escapes, and the lookups the program makes afterwards.

#include "lang/Language.h"

#include <gtest/gtest.h>

#include <string>

#include "LangTestFiles.h"
#include "TestSupport.h"

namespace tvx {
namespace {

using tvxtest::ParseBytes;
using tvxtest::Utf16Le;
using tvxtest::Value;
using tvxtest::ValueById;

constexpr char kMarker[] = "***messages***";

std::string Ansi(const std::string& body) { return std::string(kMarker) + "\r\n" + body; }

TEST(LanguageFileEncoding, Utf16WithByteOrderMarkAndDescriptionParsesLikeBareAnsi) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    const std::wstring body =
        L"IDS_BETA \"Beta\"\r\n"
        L":DIALOG SETUPDLG\r\n"
        L"CAPTION \"Tervix-Einrichtung \x00E4\x00F6\x00FC\"\r\n"
        L"IDC_ASSOCZIP ZIP-Archive\r\n";

    std::wstring withHeader = L"Deutsche \x00DC" L"bersetzung, Version 3\r\n***messages***\r\n" + body;
    ParseBytes(sandbox, Utf16Le(withHeader, true));
    ASSERT_EQ(LanguageEntryCount(), 3u);
    EXPECT_EQ(Value("s:IDS_BETA"), L"Beta");
    EXPECT_EQ(Value("$SETUPDLG:CAPTION"), L"Tervix-Einrichtung \x00E4\x00F6\x00FC");
    EXPECT_EQ(ValueById(kKindDialog, 5102, L"SETUPDLG"), L"ZIP-Archive");

    ParseBytes(sandbox, Utf16Le(L"***messages***\r\n" + body, false));
    ASSERT_EQ(LanguageEntryCount(), 3u);
    EXPECT_EQ(Value("$SETUPDLG:CAPTION"), L"Tervix-Einrichtung \x00E4\x00F6\x00FC");

    // The same text in code page 1252 (Wine's ANSI code page here).
    ParseBytes(sandbox, Ansi("IDS_BETA \"Beta\"\r\n:DIALOG SETUPDLG\r\nCAPTION \"Tervix-Einrichtung \xE4\xF6\xFC\"\r\n"
                             "IDC_ASSOCZIP ZIP-Archive\r\n"));
    ASSERT_EQ(LanguageEntryCount(), 3u);
    EXPECT_EQ(Value("$SETUPDLG:CAPTION"), L"Tervix-Einrichtung \x00E4\x00F6\x00FC");
    EXPECT_EQ(ValueById(kKindString, 5140), L"Beta");
}

TEST(LanguageFileEncoding, KeyLinesBeforeTheMarkerAndOnItsLineAreNotRead) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    ParseBytes(sandbox, "IDS_BETA before\r\n***messages*** IDS_32BIT on\r\nIDS_64BIT after\r\n");
    EXPECT_EQ(Value("s:IDS_BETA"), std::nullopt);
    EXPECT_EQ(Value("s:IDS_32BIT"), std::nullopt);
    EXPECT_EQ(Value("s:IDS_64BIT"), L"after");
}

TEST(LanguageFileEncoding, FileWithoutMarkerOrMissingFileGivesNoTexts) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    ParseBytes(sandbox, "**messages**\r\nIDS_BETA x\r\n");
    EXPECT_EQ(LanguageEntryCount(), 0u);
    EXPECT_EQ(ValueById(kKindString, 5140), std::nullopt);

    ReleaseLanguage();
    ParseLanguageFile((sandbox / L"absent.lng").c_str());
    EXPECT_EQ(LanguageEntryCount(), 0u);
    EXPECT_EQ(Value("s:IDS_BETA"), std::nullopt);
}

// Block k starts at k * 8,176 and searches the next 8,176 offsets, so 256 blocks search
// up to 2,093,056; a marker beyond 2,093,072 is never found.
TEST(LanguageFileEncoding, MarkerIsFoundAcrossBlockEdgesButNotPast256Blocks) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    auto fileWithMarkerAt = [](size_t offset) {
        return std::string(offset, 'x') + "\r\n" + Ansi("IDS_BETA found\r\n");
    };
    // Straddles the end of the first block.
    ParseBytes(sandbox, fileWithMarkerAt(8185));
    EXPECT_EQ(Value("s:IDS_BETA"), L"found");
    // Wholly inside the last block searched.
    ParseBytes(sandbox, fileWithMarkerAt(2093072 - 64));
    EXPECT_EQ(Value("s:IDS_BETA"), L"found");
    ParseBytes(sandbox, fileWithMarkerAt(2093072 + 100));
    EXPECT_EQ(LanguageEntryCount(), 0u);

    // UTF-16: a wide marker right at a block edge.
    std::wstring padding(8176 / 2 - 1, L'x');
    ParseBytes(sandbox, Utf16Le(padding + L"\r***messages***\rIDS_BETA wide\r", true));
    EXPECT_EQ(Value("s:IDS_BETA"), L"wide");
    // A wide marker beginning 8,161 to 8,175 bytes into a block, even or odd, runs into
    // the next block.
    for (size_t offset : {8161u, 8168u, 8175u, 8176u + 8170u, 100u * 8176u + 8163u}) {
        ParseBytes(sandbox, std::string(offset, 'x') + Utf16Le(L"***messages***\rIDS_BETA seam\r", false));
        EXPECT_EQ(Value("s:IDS_BETA"), L"seam") << "marker at " << offset;
    }
}

TEST(LanguageFileValues, EmptyAndBlankValuesAreStoredAndFound) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    ParseBytes(sandbox, Ansi("IDS_BETA \r\nIDS_32BIT,\r\nIDS_64BIT\t \t \r\nIDS_TVXHELP \"\"\r\nIDS_WHATSNEW\r\n"));
    EXPECT_EQ(Value("s:IDS_BETA"), L"");
    EXPECT_EQ(Value("s:IDS_32BIT"), L"");
    EXPECT_EQ(ValueById(kKindString, 5142), L"");
    EXPECT_EQ(Value("s:IDS_TVXHELP"), L"");
    // A name alone, without a separator, is no key line.
    EXPECT_EQ(Value("s:IDS_WHATSNEW"), std::nullopt);
    EXPECT_EQ(LanguageEntryCount(), 4u);
}

TEST(LanguageFileValues, QuotesKeepInnerBlanksAndLoneQuotesAreTrimmed) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    ParseBytes(sandbox, Ansi("IDS_BETA   \"two words\"   \r\n"
                             "IDS_32BIT \"  padded  \"\r\n"
                             "IDS_64BIT bare end\"\r\n"
                             "IDS_TVXHELP \"only the start\r\n"
                             "IDS_WHATSNEW   leading and trailing blanks go   \r\n"
                             "IDS_HOMEURL \"inner \"quotes\" stay\"\r\n"));
    EXPECT_EQ(Value("s:IDS_BETA"), L"two words");
    EXPECT_EQ(Value("s:IDS_32BIT"), L"  padded  ");
    EXPECT_EQ(Value("s:IDS_64BIT"), L"bare end");
    EXPECT_EQ(Value("s:IDS_TVXHELP"), L"only the start");
    EXPECT_EQ(Value("s:IDS_WHATSNEW"), L"leading and trailing blanks go");
    EXPECT_EQ(Value("s:IDS_HOMEURL"), L"inner \"quotes\" stay");
}

TEST(LanguageFileValues, EscapesGiveControlCharactersAndOtherBackslashesStay) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    ParseBytes(sandbox, Ansi("IDS_BETA a\\\"b\\\\c\\nd\\re\\tf\\xg\\N\\\r\n"
                             "IDS_32BIT C:\\Program Files\\Tervix\r\n"
                             "IDS_64BIT \"ends in a quote\\\"\"\r\n"
                             "IDS_TVXHELP back\\\\\\n\r\n"));
    EXPECT_EQ(Value("s:IDS_BETA"), L"a\"b\\c\nd\re\tf\\xg\\N\\");
    EXPECT_EQ(Value("s:IDS_32BIT"), L"C:\\Program Files\\Tervix");
    // Only one trailing quote is taken off, so an escaped one before it survives.
    EXPECT_EQ(Value("s:IDS_64BIT"), L"ends in a quote\"");
    EXPECT_EQ(Value("s:IDS_TVXHELP"), L"back\\\n");
}

TEST(LanguageFileValues, LongValuesAreCutAt65536Characters) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    std::string longValue(70000, 'v');
    ParseBytes(sandbox, Ansi("IDS_BETA " + longValue + "\r\nIDS_32BIT next\r\n"));
    auto value = Value("s:IDS_BETA");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->size(), 65536u);
    EXPECT_EQ(Value("s:IDS_32BIT"), L"next");

    // A caller's buffer gets as much as fits, terminated.
    wchar_t small[5] = {L'#', L'#', L'#', L'#', L'#'};
    ASSERT_TRUE(LookupKeyValue("s:IDS_32BIT", small, 5));
    EXPECT_STREQ(small, L"next");
    wchar_t tiny[3];
    ASSERT_TRUE(LookupKeyValue("s:IDS_32BIT", tiny, 3));
    EXPECT_STREQ(tiny, L"ne");
}

TEST(LanguageFileValues, TextPastTheCharacterLimitIsNotRead) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    // ANSI: 2 MB may be read, but only the first 1,048,576 characters are parsed.
    std::string filler = ";" + std::string(1048576 - 10, '-') + "\r\n";
    std::string text = Ansi("IDS_BETA early\r\n" + filler + "IDS_32BIT late\r\n");
    ParseBytes(sandbox, text);
    EXPECT_EQ(Value("s:IDS_BETA"), L"early");
    EXPECT_EQ(Value("s:IDS_32BIT"), std::nullopt);

    // UTF-16: the 2,097,152 bytes read hold 1,048,576 characters.
    std::wstring wideFiller = L";" + std::wstring(1048576 - 10, L'-') + L"\r\n";
    ParseBytes(sandbox, Utf16Le(L"***messages***\r\nIDS_BETA early\r\nIDS_64BIT mid\r\n", false) +
                            Utf16Le(wideFiller + L"IDS_32BIT late\r\n", false));
    EXPECT_EQ(Value("s:IDS_64BIT"), L"mid");
    EXPECT_EQ(Value("s:IDS_32BIT"), std::nullopt);
}

TEST(LanguageFileLines, LinesStartingWithBlanksAreNeverKeysOrHeaders) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    ParseBytes(sandbox, Ansi(" IDS_BETA indented\r\n"
                             "\tIDS_32BIT tabbed\r\n"
                             " :DIALOG SETUPDLG\r\n"
                             "IDS_64BIT still a string\r\n"
                             "; IDS_TVXHELP commented\r\n"
                             "1IDS_HOMEURL digit\r\n"));
    EXPECT_EQ(Value("s:IDS_BETA"), std::nullopt);
    EXPECT_EQ(Value("s:IDS_32BIT"), std::nullopt);
    EXPECT_EQ(Value("s:IDS_64BIT"), L"still a string");
    EXPECT_EQ(Value("s:IDS_TVXHELP"), std::nullopt);
    EXPECT_EQ(LanguageEntryCount(), 1u);
}

TEST(LanguageFileLines, DirectionHeaderIsRightToLeftOnlyForUpperCaseRtl) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    struct Case {
        const char* header;
        bool rightToLeft;
    } cases[] = {
        {":DIRECTION RTL", true},      {":DIRECTION \t RTL  trailing words", true},
        {":DIRECTION rtl", false},     {":DIRECTION LTR", false},
        {":DIRECTION RTLX", false},    {":DIRECTION", false},
        {":direction RTL", false},     {":DIRECTIONS RTL", false},
    };
    for (const Case& c : cases) {
        ReleaseLanguage();
        SetRightToLeft(false);
        ParseBytes(sandbox, Ansi(std::string(c.header) + "\r\nIDS_BETA x\r\n"));
        EXPECT_EQ(IsRightToLeft(), c.rightToLeft) << c.header;
        // The direction never changes where keys go.
        EXPECT_EQ(Value("s:IDS_BETA"), L"x") << c.header;
    }
    // The last direction header wins.
    ParseBytes(sandbox, Ansi(":DIRECTION RTL\r\n:DIRECTION ltr\r\n"));
    EXPECT_FALSE(IsRightToLeft());
}

TEST(LanguageFileLines, HeadersChooseTheSectionOfTheKeysBelowThem) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    ParseBytes(sandbox, Ansi("IDS_BETA first\r\n"
                             ":DIALOG SETUPDLG  rest of the header is ignored\r\n"
                             "IDC_ASSOCZIP  \"ZIP archives\"\r\n"
                             "IDOK,Install\r\n"
                             ":DIALOG SETUPCONTEXTITEMS\r\n"
                             "IDOK Fine\r\n"
                             ":UNKNOWN SECTION\r\n"
                             "IDCANCEL Stop\r\n"
                             ":MENU MAINMENU\r\n"
                             "IDM_OPEN Open\r\n"
                             ":STRINGS\r\n"
                             "IDS_32BIT second\r\n"
                             ":STRINGSX\r\n"
                             "IDS_64BIT third\r\n"));
    EXPECT_EQ(Value("s:IDS_BETA"), L"first");
    EXPECT_EQ(Value("$SETUPDLG:IDC_ASSOCZIP"), L"ZIP archives");
    EXPECT_EQ(ValueById(kKindDialog, 5102, L"SETUPDLG"), L"ZIP archives");
    EXPECT_EQ(ValueById(kKindDialog, 1, L"SETUPDLG"), L"Install");
    EXPECT_EQ(ValueById(kKindDialog, 1, L"SETUPCONTEXTITEMS"), L"Fine");
    // An unknown header is an ordinary line: the section stays.
    EXPECT_EQ(ValueById(kKindDialog, 2, L"SETUPCONTEXTITEMS"), L"Stop");
    EXPECT_EQ(Value("@MAINMENU:IDM_OPEN"), L"Open");
    EXPECT_EQ(ValueById(kKindString, 5141), L"second");
    EXPECT_EQ(ValueById(kKindString, 5142), L"third");
    EXPECT_EQ(Value("s:IDC_ASSOCZIP"), std::nullopt);
}

TEST(LanguageFileLines, LastLineWithoutLineEndIsStored) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    ParseBytes(sandbox, Ansi("IDS_32BIT one\r\nIDS_BETA \"last\""));
    EXPECT_EQ(Value("s:IDS_BETA"), L"last");
    ParseBytes(sandbox, Utf16Le(L"***messages***\nIDS_BETA wide last", true));
    EXPECT_EQ(Value("s:IDS_BETA"), L"wide last");
}

TEST(LanguageFileLines, CarriageReturnsLineFeedsAndBothEndLinesAlike) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    for (const char* end : {"\r\n", "\n", "\r", "\n\r", "\r\n\r\n"}) {
        std::string e = end;
        ParseBytes(sandbox, std::string(kMarker) + e + "IDS_BETA one" + e + ":DIALOG DONEDLG" + e + "IDOK two" + e +
                                "IDC_THANKS" + e + "IDC_HOMEPAGE three");
        EXPECT_EQ(Value("s:IDS_BETA"), L"one");
        EXPECT_EQ(ValueById(kKindDialog, 1, L"DONEDLG"), L"two");
        EXPECT_EQ(ValueById(kKindDialog, 5108, L"DONEDLG"), L"three");
        EXPECT_EQ(LanguageEntryCount(), 3u);
    }
}

TEST(LanguageFileLines, LongKeysAreCutAndKeysWithoutSeparatorInReachAreIgnored) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    std::string key98 = "K" + std::string(97, 'k');
    std::string key99 = "K" + std::string(98, 'k');
    ParseBytes(sandbox, Ansi(key98 + " kept\r\n" + key99 + " dropped\r\nIDS_BETA ok\r\n"));
    ASSERT_EQ(LanguageEntryCount(), 2u);
    std::string stored = LanguageEntryName(0);
    EXPECT_EQ(stored, ("s:" + key98).substr(0, 49));
    EXPECT_EQ(Value(stored.c_str()), L"kept");
    EXPECT_EQ(Value("s:IDS_BETA"), L"ok");
}

TEST(LanguageLookup, IdsAreFoundOnlyUnderTheirOwnKindAndDialog) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    // 5101 is a string, a setup control and a completion control.
    ParseBytes(sandbox, Ansi("IDS_UNINSTTITLE title\r\n"
                             "IDS_NOTAKNOWNKEY stored but never asked for\r\n"
                             ":DIALOG SETUPDLG\r\nIDC_ASSOCTVX tvx\r\n"
                             ":DIALOG DONEDLG\r\nIDC_INSTINFOFOLDER folder\r\n"));
    EXPECT_EQ(ValueById(kKindString, 5101), L"title");
    EXPECT_EQ(ValueById(kKindDialog, 5101, L"SETUPDLG"), L"tvx");
    EXPECT_EQ(ValueById(kKindDialog, 5101, L"DONEDLG"), L"folder");
    EXPECT_EQ(ValueById(kKindDialog, 5101, L"SETUP"), std::nullopt);
    EXPECT_EQ(ValueById(kKindDialog, 5101, L"SETUPCONTEXTITEMS"), std::nullopt);
    EXPECT_EQ(ValueById(kKindMenu, 5101, L"SETUPDLG"), std::nullopt);
    EXPECT_EQ(ValueById(kKindString, 5102), std::nullopt);
    EXPECT_EQ(ValueById(kKindString, 0), std::nullopt);
    EXPECT_EQ(ValueById(7, 5101), std::nullopt);
    EXPECT_EQ(Value("s:IDS_NOTAKNOWNKEY"), L"stored but never asked for");
    EXPECT_EQ(Value("s:IDS_NOTAKNOWNKE"), std::nullopt);
}

TEST(LanguageLookup, EveryKnownKeyIsReachableByItsId) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    // One value per row, written under the right header, as the key name itself.
    std::string body;
    std::string section;
    for (size_t i = 0; i < KnownKeyCount; ++i) {
        std::string name = KnownKeyTable[i].name;
        size_t colon = name.find(':');
        std::string kind = name.substr(0, colon);
        if (kind != section) {
            body += kind == "s" ? ":STRINGS\r\n" : ":DIALOG " + kind.substr(1) + "\r\n";
            section = kind;
        }
        body += name.substr(colon + 1) + " \"" + name + "\"\r\n";
    }
    ParseBytes(sandbox, Ansi(body));
    ASSERT_EQ(LanguageEntryCount(), KnownKeyCount);
    for (size_t i = 0; i < KnownKeyCount; ++i) {
        const KnownKey& row = KnownKeyTable[i];
        std::string name = row.name;
        std::wstring expected(name.begin(), name.end());
        EXPECT_EQ(Value(row.name), expected);
        if (row.id == 0) continue;
        std::string kind = name.substr(0, name.find(':'));
        std::wstring dialog(kind.begin() + 1, kind.end());
        auto found = kind == "s" ? ValueById(kKindString, row.id) : ValueById(kKindDialog, row.id, dialog.c_str());
        EXPECT_EQ(found, expected) << name;
    }
}

TEST(LanguageLookup, NothingIsFoundBeforeAFileIsParsed) {
    tvxtest::LanguageReset reset;
    wchar_t buffer[16] = L"unchanged";
    EXPECT_FALSE(LookupKeyValue("s:IDS_BETA", buffer, 16));
    EXPECT_FALSE(LookupById(kKindString, 5140, nullptr, buffer, 16));
    EXPECT_STREQ(buffer, L"unchanged");
    EXPECT_FALSE(IsRightToLeft());
}

TEST(LanguageLoad, RightToLeftLanguageMirrorsTheProcessLayout) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxlang");
    std::wstring path = sandbox / L"uninstall.lng";
    tvxtest::WriteFileBytes(path, Ansi("IDS_BETA x\r\n"));
    SetProcessDefaultLayout(0);
    LoadLanguage(path.c_str());
    EXPECT_EQ(Value("s:IDS_BETA"), L"x");
    EXPECT_FALSE(IsRightToLeft());
    DWORD layout = 99;
    ASSERT_TRUE(GetProcessDefaultLayout(&layout));
    EXPECT_EQ(layout, 0u);

    ReleaseLanguage();
    tvxtest::WriteFileBytes(path, Ansi(":DIRECTION RTL\r\nIDS_BETA y\r\n"));
    LoadLanguage(path.c_str());
    EXPECT_TRUE(IsRightToLeft());
    ASSERT_TRUE(GetProcessDefaultLayout(&layout));
    EXPECT_EQ(layout, static_cast<DWORD>(LAYOUT_RTL));
    SetProcessDefaultLayout(0);
}

}  // namespace
}  // namespace tvx
