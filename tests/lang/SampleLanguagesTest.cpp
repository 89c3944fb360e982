// The sample translations in tests/data, read by the program's own parser: each
// is complete (a dialog that misses a key would show English in the middle of
// German), knows no key the program does not, and says what it is meant to
// show: the German one enlarges every dialog, the Hebrew one is right to left
// and widens every dialog as well.

#include "lang/Language.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "LangTestFiles.h"
#include "TestSupport.h"
#include "lang/DialogLocalization.h"

namespace tvx {
namespace {

struct SampleFile {
    const wchar_t* name;
    bool rightToLeft;
    bool enlarges;
};

void PrintTo(const SampleFile& file, std::ostream* out) {
    std::wstring name = file.name;
    *out << tvxtest::Narrow(name);
}

class SampleLanguage : public ::testing::TestWithParam<SampleFile> {
protected:
    void SetUp() override {
        path_ = tvxtest::SourceDir() + L"\\tests\\data\\" + GetParam().name;
        ParseLanguageFile(path_.c_str());
        ASSERT_GT(LanguageEntryCount(), 0u) << "cannot read " << tvxtest::Narrow(path_);
    }

    tvxtest::LanguageReset reset_;
    std::wstring path_;
};

TEST_P(SampleLanguage, TranslatesEveryKnownKeyOnce) {
    std::set<std::string> known;
    for (size_t i = 0; i < KnownKeyCount; ++i) {
        known.insert(KnownKeyTable[i].name);
        auto value = tvxtest::Value(KnownKeyTable[i].name);
        ASSERT_TRUE(value.has_value()) << KnownKeyTable[i].name << " is missing";
        EXPECT_FALSE(value->empty()) << KnownKeyTable[i].name << " is empty";
    }
    std::set<std::string> seen;
    for (size_t i = 0; i < LanguageEntryCount(); ++i) {
        std::string name = LanguageEntryName(i);
        EXPECT_TRUE(known.count(name)) << name << " is not a key the program knows";
        EXPECT_TRUE(seen.insert(name).second) << name << " is given twice";
    }
    // Lookups by id reach the same texts, as the program's string lookup does.
    EXPECT_EQ(tvxtest::ValueById(kKindString, 5106), tvxtest::Value("s:IDS_UNINSTALLTVX"));
    EXPECT_EQ(tvxtest::ValueById(kKindDialog, 5128, L"SETUPDLG"), tvxtest::Value("$SETUPDLG:IDC_SETCONTEXTMENU"));
}

TEST_P(SampleLanguage, HasItsDirectionAndSizes) {
    EXPECT_EQ(IsRightToLeft(), GetParam().rightToLeft);
    for (const wchar_t* dialog : {L"SETUPDLG", L"SETUPCONTEXTITEMS", L"DONEDLG"}) {
        int width = 0;
        int height = 0;
        bool valid = ReadDialogSize(dialog, &width, &height);
        EXPECT_EQ(valid, GetParam().enlarges) << std::string(dialog, dialog + wcslen(dialog));
        if (GetParam().enlarges) {
            EXPECT_GT(width, 100);
            EXPECT_GE(height, 100);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, SampleLanguage,
                         ::testing::Values(SampleFile{L"German.lng", false, true},
                                           SampleFile{L"Hebrew.lng", true, true}),
                         [](const ::testing::TestParamInfo<SampleFile>& info) {
                             std::wstring name = info.param.name;
                             return std::string(name.begin(), name.begin() + name.find(L'.'));
                         });

}  // namespace
}  // namespace tvx
