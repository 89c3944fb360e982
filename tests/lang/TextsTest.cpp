#include "lang/Texts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ResourceIds.h"
#include "TestSupport.h"
#include "lang/Language.h"

namespace tvx {
namespace {

std::wstring TestLibrary(const wchar_t* name) { return tvxtest::BuildDir() + L"\\tests\\lang\\" + name + L".dll"; }

// A sandbox that plays the install folder: "Uninstall.dll" stands in for the program
// with its own string table, and a resource library may lie beside it.
class ResourceLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CopyFileW(TestLibrary(L"ProgramStrings").c_str(), (folder_ / L"Uninstall.dll").c_str(), FALSE));
    }
    void TearDown() override {
        ReleaseLanguage();
        FreeResourceLibrary();
        SetRightToLeft(false);
    }
    void PlaceLibrary(const wchar_t* variant) {
        ASSERT_TRUE(CopyFileW(TestLibrary(variant).c_str(), (folder_ / L"tvxlng.dll").c_str(), FALSE));
    }
    void StartProgram() {
        program_.reset(LoadLibraryW((folder_ / L"Uninstall.dll").c_str()));
        ASSERT_TRUE(program_);
        LoadResourceLibrary(program_.get());
    }
    static std::wstring Text(UINT id) { return LoadText(id); }

    tvxtest::TempFolder folder_{L"tvxtexts"};
    UniqueModule program_;
};

// A translation is never a format: only the first "%s" takes the argument.
TEST(InsertArgument, ReplacesTheFirstPercentSAndLeavesEveryOtherPercentAsWritten) {
    struct Row {
        const wchar_t* text;
        const wchar_t* expected;
    };
    const Row rows[] = {
        {L"Cannot open %s.", L"Cannot open Uninstall.lst."},
        {L"%n%x%d 100%% %s %s", L"%n%x%d 100%% Uninstall.lst %s"},
        {L"no place for it", L"no place for it"},
        {L"%ls%", L"%ls%"},
    };
    for (const Row& row : rows) {
        wchar_t text[64];
        InsertArgument(row.text, L"Uninstall.lst", text, 64);
        EXPECT_STREQ(text, row.expected) << row.text;
    }
    wchar_t small[6];
    InsertArgument(L"a %s b", L"long argument", small, 6);
    EXPECT_STREQ(small, L"a lon");
}

TEST_F(ResourceLibrary, WithoutALibraryTextsComeFromTheProgram) {
    StartProgram();
    EXPECT_EQ(ProgramModule(), program_.get());
    EXPECT_EQ(ResourceModule(), program_.get());
    EXPECT_EQ(Text(IDS_UNINSTALLTVX), L"Uninstall Tervix");
    EXPECT_EQ(Text(IDS_HOMEURL), L"https://tervix.example.com/");
    // An id that no table has gives an empty text.
    EXPECT_EQ(Text(IDS_SINGLETOPITEM), L"");
    EXPECT_FALSE(HasRtlResource());
    EXPECT_FALSE(IsRightToLeft());
}

TEST_F(ResourceLibrary, LibraryTextsWinAndMissingOnesComeFromTheProgram) {
    PlaceLibrary(L"TranslatedLibrary");
    StartProgram();
    EXPECT_NE(ResourceModule(), program_.get());
    EXPECT_EQ(ProgramModule(), program_.get());
    EXPECT_EQ(Text(IDS_UNINSTALLTVX), L"Tervix deinstallieren");
    EXPECT_EQ(Text(IDS_UNINSTALLCOMPLETED), L"Tervix wurde entfernt.");
    EXPECT_EQ(Text(IDS_UNINSTALLSHOULDDELETE), L"Please delete %s yourself.");
    EXPECT_EQ(Text(IDS_SINGLETOPITEM), L"");
    // No dialog templates in the library: the dialogs come from the program.
    EXPECT_EQ(DialogModule(L"SETUPDLG"), program_.get());

    wchar_t small[8];
    EXPECT_EQ(LoadTextInto(IDS_UNINSTALLTVX, small, 8), small);
    EXPECT_STREQ(small, L"Tervix ");
}

TEST_F(ResourceLibrary, FreeingTheLibraryReturnsToTheProgramAndReleasesTheFile) {
    PlaceLibrary(L"TranslatedLibrary");
    StartProgram();
    ASSERT_NE(ResourceModule(), program_.get());

    FreeResourceLibrary();
    EXPECT_EQ(ResourceModule(), program_.get());
    EXPECT_EQ(ResourceModule(), ProgramModule());
    EXPECT_EQ(Text(IDS_UNINSTALLTVX), L"Uninstall Tervix");
    // The uninstall frees the library so that its file can be deleted.
    EXPECT_TRUE(DeleteFileW((folder_ / L"tvxlng.dll").c_str())) << GetLastError();

    FreeResourceLibrary();
    EXPECT_EQ(ResourceModule(), program_.get());
}

TEST_F(ResourceLibrary, LoadingAgainReplacesTheLibrary) {
    PlaceLibrary(L"TranslatedLibrary");
    StartProgram();
    FreeResourceLibrary();
    PlaceLibrary(L"RtlLibrary");
    LoadResourceLibrary(program_.get());
    EXPECT_EQ(Text(IDS_UNINSTALLTVX), L"\x05D4\x05E1\x05E8\x05EA Tervix");
}

TEST_F(ResourceLibrary, RtlDialogMakesTheLanguageRightToLeft) {
    PlaceLibrary(L"RtlLibrary");
    StartProgram();
    EXPECT_FALSE(IsRightToLeft());
    EXPECT_TRUE(HasRtlResource());
    EXPECT_TRUE(IsRightToLeft());
    EXPECT_EQ(DialogModule(L"RTL"), ResourceModule()) << "a template the library holds comes from it";
    EXPECT_EQ(Text(IDS_UNINSTALLTVX), L"\x05D4\x05E1\x05E8\x05EA Tervix");
    EXPECT_EQ(Text(IDS_BETA), L"beta");
}

TEST_F(ResourceLibrary, TranslatedLibraryWithoutRtlDialogKeepsLeftToRight) {
    PlaceLibrary(L"TranslatedLibrary");
    StartProgram();
    EXPECT_FALSE(HasRtlResource());
    EXPECT_FALSE(IsRightToLeft());
}

TEST_F(ResourceLibrary, NinthTextOverwritesTheFirst) {
    PlaceLibrary(L"TranslatedLibrary");
    StartProgram();
    const UINT ids[9] = {IDS_UNINSTALLTVX, IDS_UNINSTALLCOMPLETED, IDS_UNINSTALLSHOULDDELETE,
                         IDS_HOMEURL,      IDS_BETA,               IDS_32BIT,
                         IDS_64BIT,        IDS_WHATSNEW,           IDS_TERVIXARC};
    const wchar_t* results[9];
    for (int i = 0; i < 9; ++i) results[i] = LoadText(ids[i]);

    std::set<const wchar_t*> distinct(results, results + 8);
    EXPECT_EQ(distinct.size(), 8u) << "eight calls in a row use eight buffers";
    EXPECT_STREQ(results[1], L"Tervix wurde entfernt.");
    EXPECT_STREQ(results[7], L"What's New");
    EXPECT_EQ(results[8], results[0]);
    EXPECT_STREQ(results[0], L"Tervix archive");
}

TEST_F(ResourceLibrary, LanguageFileEntriesWinOverBothModulesEvenWhenEmpty) {
    PlaceLibrary(L"TranslatedLibrary");
    StartProgram();
    std::wstring file = folder_ / L"uninstall.lng";
    ASSERT_TRUE(tvxtest::WriteFileBytes(file, "Tervix language file\r\n***messages***\r\n:STRINGS\r\n"
                                              "IDS_UNINSTALLTVX \"Tervix entfernen\"\r\n"
                                              "IDS_UNINSTALLCOMPLETED \"\"\r\n"
                                              "IDS_HOMEURL \"https://tervix.example.org/de/\"\r\n"));
    ParseLanguageFile(file.c_str());

    EXPECT_EQ(Text(IDS_UNINSTALLTVX), L"Tervix entfernen") << "file before library";
    EXPECT_EQ(Text(IDS_HOMEURL), L"https://tervix.example.org/de/") << "file before program";
    EXPECT_EQ(Text(IDS_UNINSTALLCOMPLETED), L"") << "an empty translation is still the translation";
    EXPECT_EQ(Text(IDS_BETA), L"Beta") << "not in the file: the library";
    EXPECT_EQ(Text(IDS_UNINSTALLSHOULDDELETE), L"Please delete %s yourself.") << "in neither: the program";
    ReleaseLanguage();
    EXPECT_EQ(Text(IDS_UNINSTALLTVX), L"Tervix deinstallieren");
}

TEST_F(ResourceLibrary, LanguageFolderOverrideIsSwitchedOff) {
    // Even with a language folder configured that holds a library, the one beside the
    // program is used: this build has the override switched off.
    tvxtest::TempFolder languages(L"tvxlngfolder");
    ASSERT_TRUE(CopyFileW(TestLibrary(L"TranslatedLibrary").c_str(), (languages / L"tvxlng.dll").c_str(), FALSE));
    const bool hadKey = tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\General");
    std::wstring oldFolder;
    const bool hadValue =
        tvxtest::RegReadString(HKEY_CURRENT_USER, L"Software\\Tervix\\General", L"LanguageFolder", &oldFolder);
    // Other test programs share the prefix: the setting goes back as it was, however this ends.
    const ScopeGuard restore([&] {
        if (hadValue) {
            tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\General", L"LanguageFolder", oldFolder);
        } else if (hadKey) {
            tvxtest::RegDeleteValue(HKEY_CURRENT_USER, L"Software\\Tervix\\General", L"LanguageFolder");
        } else {
            tvxtest::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix\\General");
            // The product key goes only if nothing else is left in it.
            UniqueHkey product;
            if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tervix", 0, KEY_READ, product.put()) != ERROR_SUCCESS)
                return;
            DWORD subkeys = 1, values = 1;
            RegQueryInfoKeyW(product.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr);
            product.reset();
            if (subkeys == 0 && values == 0) RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Tervix");
        }
    });
    ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\General", L"LanguageFolder",
                                        languages.path()));

    StartProgram();
    EXPECT_EQ(ResourceModule(), program_.get());

    std::wstring source = folder_ / L"uninstall.lng";
    wchar_t resolved[2048];
    ResolveInLanguageFolder(source.c_str(), resolved, 2048);
    EXPECT_EQ(std::wstring(resolved), source);
    wchar_t inPlace[2048];
    wcscpy(inPlace, (folder_ / L"tvxlng.dll").c_str());
    ResolveInLanguageFolder(inPlace, inPlace, 2048);
    EXPECT_EQ(std::wstring(inPlace), folder_ / L"tvxlng.dll");
    wchar_t cut[6];
    ResolveInLanguageFolder(L"C:\\Tervix\\uninstall.lng", cut, 6);
    EXPECT_STREQ(cut, L"C:\\Te");
}

}  // namespace
}  // namespace tvx
