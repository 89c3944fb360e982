// The "init" option string and the splitting of the archive-type table: logic that
// decides which boxes the setup dialog starts with and which extensions it touches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "integration/Associations.h"
#include "integration/SetupDialog.h"

namespace tvx {
namespace {

// A record as the settings might leave it: every association on, desktop off, start
// menu off, program group on, shell extension on, cascaded off, icons on, legacy off.
SetupChoices StoredChoices() {
    SetupChoices choices{};
    for (int i = 0; i < kChoiceAssociationCount; ++i) choices.bytes[i] = 1;
    choices.bytes[kChoiceProgramGroup] = 1;
    choices.bytes[kChoiceShellExtension] = 1;
    choices.bytes[kChoiceMenuIcons] = 1;
    return choices;
}

std::vector<int> ChangedBytes(const SetupChoices& before, const SetupChoices& after) {
    std::vector<int> changed;
    for (int i = 0; i < 28; ++i)
        if (before.bytes[i] != after.bytes[i]) changed.push_back(i);
    return changed;
}

SetupChoices Applied(const wchar_t* options) {
    SetupChoices choices = StoredChoices();
    ApplyInitOptions(options, &choices);
    return choices;
}

TEST(InitOptions, OnlyTvxDesktopOnShellOffLeavesEveryOtherBoxAsStored) {
    SetupChoices choices = Applied((L"A1" + std::wstring(17, L'0') + L"D1S0").c_str());
    EXPECT_EQ(choices.bytes[0], 1);
    for (int i = 1; i < kChoiceAssociationCount; ++i) EXPECT_EQ(choices.bytes[i], 0) << "group " << i;
    EXPECT_EQ(choices.bytes[kChoiceDesktop], 1);
    EXPECT_EQ(choices.bytes[kChoiceShellExtension], 0);
    std::vector<int> expected;
    for (int i = 1; i < kChoiceAssociationCount; ++i) expected.push_back(i);
    expected.push_back(kChoiceDesktop);
    expected.push_back(kChoiceShellExtension);
    EXPECT_EQ(ChangedBytes(StoredChoices(), choices), expected);
}

TEST(InitOptions, ShortDigitRunChangesOnlyTheLeadingGroups) {
    EXPECT_EQ(ChangedBytes(StoredChoices(), Applied(L"A01")), (std::vector<int>{0}));
    // Any digit other than 1 clears, and the run ends at the first non-digit.
    EXPECT_EQ(ChangedBytes(StoredChoices(), Applied(L"A1290M1")), (std::vector<int>{1, 2, 3, kChoiceStartMenu}));
}

TEST(InitOptions, LetterRightAfterAStartsTheNextItem) {
    EXPECT_EQ(ChangedBytes(StoredChoices(), Applied(L"AD1")), (std::vector<int>{kChoiceDesktop}));
}

TEST(InitOptions, DigitRunStopsAfterTwentyDigitsAndTheRestIsTheNextItem) {
    // Twenty zeros reach the two unused bytes 18 and 19; the 21st character "1" is then
    // an unknown item that swallows "D", so "1" after it is unknown too and swallows "1".
    SetupChoices start = StoredChoices();
    start.bytes[18] = 1;
    start.bytes[19] = 1;
    SetupChoices choices = start;
    ApplyInitOptions((L"A" + std::wstring(20, L'0') + L"1D11").c_str(), &choices);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(choices.bytes[i], 0) << "byte " << i;
    EXPECT_EQ(choices.bytes[kChoiceDesktop], 0) << "the item after the run starts at the 21st digit";

    choices = start;
    ApplyInitOptions((L"A" + std::wstring(20, L'0') + L"D1").c_str(), &choices);
    EXPECT_EQ(choices.bytes[kChoiceDesktop], 1);
}

TEST(InitOptions, UnknownLettersAreSkippedWithTheirValueAndCaseDoesNotMatter) {
    EXPECT_EQ(ChangedBytes(StoredChoices(), Applied(L"X1s0")), (std::vector<int>{kChoiceShellExtension}));
    EXPECT_EQ(ChangedBytes(StoredChoices(), Applied(L"c1d1i0m1p0")),
              (std::vector<int>{kChoiceDesktop, kChoiceStartMenu, kChoiceProgramGroup, kChoiceCascaded,
                                kChoiceMenuIcons}));
    // A value other than "1" clears the box.
    EXPECT_EQ(ChangedBytes(StoredChoices(), Applied(L"Py")), (std::vector<int>{kChoiceProgramGroup}));
}

TEST(InitOptions, LetterWithoutValueEndsParsing) {
    EXPECT_EQ(ChangedBytes(StoredChoices(), Applied(L"D1S")), (std::vector<int>{kChoiceDesktop}));
    EXPECT_EQ(ChangedBytes(StoredChoices(), Applied(L"")), std::vector<int>{});
    // Nothing can reach the legacy-menu byte.
    EXPECT_EQ(ChangedBytes(StoredChoices(), Applied(L"L1")), std::vector<int>{});
}

std::vector<std::wstring> Split(const wchar_t* entry) {
    std::vector<std::wstring> parts;
    wchar_t extension[50];
    const wchar_t* cursor = entry;
    while (NextExtension(&cursor, extension, 50)) parts.push_back(extension);
    return parts;
}

TEST(ArchiveTypes, EveryGroupSplitsIntoItsExtensionsInOrder) {
    std::vector<std::wstring> all;
    for (size_t i = 0; i < kArchiveTypeCount; ++i)
        for (const std::wstring& part : Split(ArchiveTypeTable[i])) all.push_back(part);
    const std::vector<std::wstring> expected = {
        L".tvx", L".zip", L".cab", L".arj", L".lz",  L".tlz", L".lzh",  L".lha", L".7z",  L".tar",
        L".gz",  L".tgz", L".uue", L".xxe", L".uu",  L".bz2", L".tbz2", L".bz",  L".tbz", L".jar",
        L".iso", L".z",   L".taz", L".xz",  L".txz", L".zipx", L".zst", L".tzst", L".001",
    };
    EXPECT_EQ(all, expected);
    EXPECT_EQ(Split(ArchiveTypeTable[0]), std::vector<std::wstring>{L".tvx"});
    EXPECT_EQ(Split(ArchiveTypeTable[1]), std::vector<std::wstring>{L".zip"});
}

TEST(ArchiveTypes, ExtensionLongerThanTheWorkingBufferIsCutIntoPieces) {
    const std::wstring longName = L"." + std::wstring(59, L'a');
    const std::vector<std::wstring> parts = Split((longName + L".b").c_str());
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0], longName.substr(0, 49));
    EXPECT_EQ(parts[1], longName.substr(49));
    EXPECT_EQ(parts[2], L".b");
    EXPECT_TRUE(Split(L"").empty());
}

}  // namespace
}  // namespace tvx
