// File associations against the real classes root of a fresh Wine prefix, laid out the
// way other programs leave a user's machine: take every type, run setup again, give
// everything back, and compare value by value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiDriver.h"
#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "integration/Associations.h"
#include "integration/NewMenu.h"
#include "integration/PreviousOwners.h"
#include "integration/SetupChoices.h"
#include "integration/UserChoice.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "platform/WindowsVersion.h"

namespace tvx {
namespace {

using tvxtest::CaptureKey;
using tvxtest::ClassDefault;
using tvxtest::Differences;
using tvxtest::RegSnapshot;
using tvxtest::SetClassString;
using tvxtest::StringValue;

std::wstring Volume(int number) {
    wchar_t name[8];
    swprintf(name, 8, L".t%02d", number);
    return name;
}

std::vector<std::wstring> AllExtensions() {
    std::vector<std::wstring> extensions;
    for (size_t i = 0; i < kArchiveTypeCount; ++i) {
        const wchar_t* cursor = ArchiveTypeTable[i];
        wchar_t extension[50];
        while (NextExtension(&cursor, extension, 50)) extensions.push_back(extension);
    }
    return extensions;
}

RegSnapshot CaptureExtensions() {
    RegSnapshot snapshot;
    for (const std::wstring& extension : AllExtensions()) CaptureKey(HKEY_CLASSES_ROOT, extension, &snapshot);
    for (int number = 0; number < 100; ++number) CaptureKey(HKEY_CLASSES_ROOT, Volume(number), &snapshot);
    return snapshot;
}

RegSnapshot CaptureBackups() {
    RegSnapshot snapshot;
    CaptureKey(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup", &snapshot);
    return snapshot;
}

SetupChoices Choices(bool associate, bool shellExtension) {
    SetupChoices choices{};
    for (int i = 0; i < kChoiceAssociationCount; ++i) choices.bytes[i] = associate;
    choices.bytes[kChoiceShellExtension] = shellExtension;
    return choices;
}

// The record in the product settings, or with HKEY_LOCAL_MACHINE the machine's.
std::wstring RecordKey(const std::wstring& extension, HKEY root) {
    return (root == HKEY_CURRENT_USER ? L"Software\\Tervix\\Setup\\" : L"Software\\Tervix\\PreviousOwners\\") +
           extension;
}

std::wstring Backup(const std::wstring& extension, const wchar_t* name, HKEY root = HKEY_CURRENT_USER) {
    std::wstring value;
    return tvxtest::RegReadString(root, RecordKey(extension, root), name, &value) ? value : L"<none>";
}

DWORD BackupExist(const std::wstring& extension, HKEY root = HKEY_CURRENT_USER) {
    DWORD value = 99;
    tvxtest::RegReadDword(root, RecordKey(extension, root), L"Exist", &value);
    return value;
}

class Associations : public ::testing::Test {
protected:
    void TearDown() override {
        RefuseRegistryWrites(nullptr, ERROR_SUCCESS);
        tvxtest::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix");
        tvxtest::DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\Tervix");
    }
    const std::wstring folder_ = tvxtest::ProgramFolderOfTest();
};

TEST_F(Associations, SetupTwiceThenReleaseGivesEveryExtensionBackToItsOwner) {
    // .zip: the system's compressed folders, with a New-menu template of its own.
    SetClassString(L".zip", L"", L"CompressedFolder");
    SetClassString(L".zip", L"Content Type", L"application/x-zip-compressed");
    SetClassString(L".zip\\ShellNew", L"FileName", L"C:\\windows\\ShellNew\\zip.zip");
    SetClassString(L".zip\\ShellNew", L"ItemName", L"Compressed folder");
    SetClassString(L".zip\\OpenWithProgids", L"CompressedFolder", L"");
    // .tar: another archiver with an empty-file New entry; .gz and .tgz: a third one.
    SetClassString(L".tar", L"", L"OtherArc.tar");
    SetClassString(L".tar\\ShellNew", L"NullFile", L"");
    SetClassString(L".gz", L"", L"GzTool");
    SetClassString(L".tgz", L"", L"GzTool");
    // .cab: a key with an empty default value; .7z: a key with no default value at all.
    SetClassString(L".cab", L"", L"");
    SetClassString(L".7z", L"Content Type", L"application/x-7z-compressed");
    // .tvx and its volume names have no key at all.
    tvxtest::DeleteRegTree(HKEY_CLASSES_ROOT, L".tvx");
    const RegSnapshot before = CaptureExtensions();

    AssociateAllTypes(Choices(true, true), Scope::Machine);

    for (const std::wstring& extension : AllExtensions())
        EXPECT_EQ(ClassDefault(extension), extension == L".zip" ? L"Tervix.ZIP" : L"Tervix") << extension;
    EXPECT_EQ(Backup(L".zip", L"Type"), L"CompressedFolder");
    EXPECT_EQ(Backup(L".zip", L"Type", HKEY_LOCAL_MACHINE), L"CompressedFolder") << "where every account finds it";
    EXPECT_EQ(Backup(L".zip", L"ShellNew"), L"C:\\windows\\ShellNew\\zip.zip");
    EXPECT_EQ(BackupExist(L".zip"), 1u);
    EXPECT_EQ(Backup(L".tar", L"ShellNew"), L"*");
    EXPECT_EQ(Backup(L".tgz", L"Type"), L"GzTool") << "every extension of a group is backed up";
    EXPECT_EQ(BackupExist(L".tvx"), 0u);
    EXPECT_EQ(BackupExist(L".cab"), 1u);
    EXPECT_EQ(Backup(L".cab", L"Type"), L"");
    // Only our template entry is left under .zip\ShellNew; .tar's entry is not ours to change.
    RegSnapshot shellNew;
    CaptureKey(HKEY_CLASSES_ROOT, L".zip\\ShellNew", &shellNew);
    EXPECT_EQ(shellNew[L".zip\\ShellNew"].size(), 1u);
    EXPECT_EQ(shellNew[L".zip\\ShellNew"][L"FileName"], StringValue(folder_ + L"\\zipnew.dat"));
    std::wstring tvxTemplate;
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CLASSES_ROOT, L".tvx\\ShellNew", L"FileName", &tvxTemplate));
    EXPECT_EQ(tvxTemplate, folder_ + L"\\tvxnew.dat");
    EXPECT_TRUE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, L".tar\\ShellNew"));

    // A second setup must not take our own entries for the previous owner's. Over an
    // earlier version, which kept the records in the product settings only, it puts
    // them where every account finds them.
    const RegSnapshot firstBackups = CaptureBackups();
    tvxtest::DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\PreviousOwners");
    AssociateAllTypes(Choices(true, true), Scope::Machine);
    EXPECT_EQ(Differences(firstBackups, CaptureBackups()), std::vector<std::wstring>{});
    EXPECT_EQ(Backup(L".tgz", L"Type", HKEY_LOCAL_MACHINE), L"GzTool");
    EXPECT_EQ(BackupExist(Volume(3), HKEY_LOCAL_MACHINE), 0u);

    AssociateAllTypes(Choices(false, false), Scope::Machine);

    RegSnapshot expected = before;
    // Keys that existed without a default value get an empty one; .tvx, which had no
    // key, and the previous New entry of .zip with all its values come back as they were.
    for (auto& [key, values] : expected)
        if (key.find(L'\\') == std::wstring::npos && !values.count(L"")) values[L""] = StringValue(L"");
    EXPECT_EQ(Differences(expected, CaptureExtensions()), std::vector<std::wstring>{});
    // Every type is back, so no record is left but the groups' choices.
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\PreviousOwners"));
    EXPECT_EQ(Backup(L".zip", L"Exist"), L"<none>");
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.tgz"));
}

TEST_F(Associations, ARecordGoesOnlyAfterItsTypeWasGivenBack) {
    SetClassString(L".zip", L"", L"CompressedFolder");
    SetClassString(L".zip\\ShellNew", L"NullFile", L"");
    SetClassString(L".zip\\ShellNew", L"ItemName", L"Compressed folder");
    RegSnapshot before;
    CaptureKey(HKEY_CLASSES_ROOT, L".zip", &before);
    AssociateExtension(L".zip", true, true, false, true, Scope::Machine);
    // As an earlier version left it: the record in the product settings only.
    tvxtest::DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\PreviousOwners");

    // A run refused the classes root gives nothing back: our entry and the record stay,
    // the record now also where the uninstall's deletion of the product settings cannot
    // reach it, and the machine's product key goes around the records.
    RefuseRegistryWrites(HKEY_CLASSES_ROOT, ERROR_ACCESS_DENIED);
    AssociateExtension(L".zip", false, false, false, true, Scope::Machine);
    RefuseRegistryWrites(nullptr, ERROR_SUCCESS);
    EXPECT_EQ(ClassDefault(L".zip"), L"Tervix.ZIP");
    std::wstring fileName;
    EXPECT_TRUE(tvxtest::RegReadString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", &fileName));
    EXPECT_EQ(Backup(L".zip", L"Type"), L"CompressedFolder");
    tvxtest::RegWriteString(HKEY_LOCAL_MACHINE, L"Software\\Tervix", L"exe64", L"C:\\Tervix\\Tervix.exe");
    tvxtest::RegWriteString(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\Capabilities", L"ApplicationDescription",
                            L"Tervix");
    DeleteProductKey(L"", Scope::Machine);
    EXPECT_EQ(Backup(L".zip", L"Type", HKEY_LOCAL_MACHINE), L"CompressedFolder");
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\Capabilities"));
    std::wstring program;
    EXPECT_FALSE(tvxtest::RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Tervix", L"exe64", &program));

    // Another account's run, without the product settings, finishes the job; only then
    // do the records go.
    tvxtest::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix");
    AssociateExtension(L".zip", false, false, false, true, Scope::Machine);
    RegSnapshot after;
    CaptureKey(HKEY_CLASSES_ROOT, L".zip", &after);
    EXPECT_EQ(Differences(before, after), std::vector<std::wstring>{});
    EXPECT_EQ(Backup(L".zip", L"Type", HKEY_LOCAL_MACHINE), L"<none>");
    DeleteProductKey(L"", Scope::Machine);
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix"));
}

TEST_F(Associations, WithoutAnyRecordOnlyWhatIsOursGoes) {
    SetClassString(L".lzh", L"", L"Tervix");
    SetClassString(L".lzh", L"Content Type", L"application/x-lzh");
    SetClassString(L".zip", L"", L"Tervix.ZIP");
    SetClassString(L".zip\\ShellNew", L"FileName", folder_ + L"\\zipnew.dat");
    SetClassString(L".zip\\ShellNew", L"ItemName", L"Compressed folder");
    SetClassString(Volume(7), L"", L"Tervix");
    SetClassString(Volume(7), L"Content Type", L"application/x-split");

    AssociateAllTypes(Choices(false, false), Scope::Machine);

    RegSnapshot after;
    for (const std::wstring& key : {std::wstring(L".lzh"), std::wstring(L".zip"), Volume(7)})
        CaptureKey(HKEY_CLASSES_ROOT, key, &after);
    RegSnapshot expected;
    expected[L".lzh"][L"Content Type"] = StringValue(L"application/x-lzh");
    expected[L".zip"];
    expected[L".zip\\ShellNew"][L"ItemName"] = StringValue(L"Compressed folder");
    expected[Volume(7)][L"Content Type"] = StringValue(L"application/x-split");
    EXPECT_EQ(Differences(expected, after), std::vector<std::wstring>{});
}

TEST_F(Associations, OurNewEntryIsKnownInEveryFormOfAnInstallFolder) {
    wchar_t shortForm[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(folder_.c_str(), shortForm, MAX_PATH), 0u);
    ASSERT_NE(folder_, shortForm);
    tvxtest::TempFolder otherInstall(L"Tervix elsewhere"), stranger(L"Other archiver");
    ASSERT_TRUE(tvxtest::WriteFileBytes(otherInstall / L"Tervix.exe", "installed"));
    const struct {
        std::wstring path;
        bool ours;
    } cases[] = {
        {folder_ + L"\\zipnew.dat", true},
        {std::wstring(shortForm) + L"\\ZIPNEW.DAT", true},
        {L"\\\\?\\" + folder_ + L"\\tvxnew.dat", true},
        {otherInstall / L"zipnew.dat", true},
        {stranger / L"zipnew.dat", false},
        {folder_ + L"\\zip.zip", false},
        {L"zipnew.dat", false},  // the system's own ShellNew folder
    };
    for (const auto& c : cases) {
        const BYTE* text = reinterpret_cast<const BYTE*>(c.path.c_str());
        RegistryValue value{L"FileName", REG_SZ, {text, text + (c.path.size() + 1) * sizeof(wchar_t)}};
        EXPECT_EQ(IsTervixShellNewValue(value), c.ours) << c.path;
        value.name = L"IconPath";
        EXPECT_FALSE(IsTervixShellNewValue(value)) << c.path;
    }

    // A setup started through the short form left its entry, and the other program took
    // back only its type: the next setup keeps the record of the real entry.
    SetClassString(L".zip", L"", L"CompressedFolder");
    SetClassString(L".zip\\ShellNew", L"NullFile", L"");
    AssociateExtension(L".zip", true, true, false, true, Scope::Machine);
    SetClassString(L".zip\\ShellNew", L"FileName", std::wstring(shortForm) + L"\\zipnew.dat");
    SetClassString(L".zip", L"", L"CompressedFolder");
    AssociateExtension(L".zip", true, true, false, true, Scope::Machine);
    AssociateExtension(L".zip", false, false, false, true, Scope::Machine);
    RegSnapshot after;
    CaptureKey(HKEY_CLASSES_ROOT, L".zip\\ShellNew", &after);
    RegSnapshot expected;
    expected[L".zip\\ShellNew"][L"NullFile"] = StringValue(L"");
    EXPECT_EQ(Differences(expected, after), std::vector<std::wstring>{});
}

TEST_F(Associations, BackupNamingTervixInAnyCaseIsReleasedAsEmpty) {
    SetClassString(L".arj", L"", L"Tervix");
    tvxtest::RegWriteDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.arj", L"Exist", 1);
    tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.arj", L"Type", L"tErViX");
    SetClassString(L".tvx", L"", L"TERVIX.zip");
    tvxtest::RegWriteDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.tvx", L"Exist", 1);
    tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.tvx", L"Type", L"TERVIX.ZIP");
    for (int number = 0; number < 30; ++number) SetClassString(Volume(number), L"", L"Tervix");

    AssociateAllTypes(Choices(false, false), Scope::Machine);

    EXPECT_EQ(ClassDefault(L".arj"), L"");
    EXPECT_EQ(ClassDefault(L".tvx"), L"");
    // With nothing to point them at, the volume names go.
    for (int number = 0; number < 100; ++number)
        EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, Volume(number))) << number;
}

TEST_F(Associations, DeselectingTypesOwnedBySomeoneElseTouchesNothing) {
    SetClassString(L".tar", L"", L"OtherArc.tar");
    SetClassString(L".tar\\ShellNew", L"FileName", L"C:\\other\\tar.tar");
    SetClassString(L".zip", L"", L"CompressedFolder");
    SetClassString(L".zip\\ShellNew", L"NullFile", L"");
    // In the .gz group only .tgz is ours; .gz keeps its owner.
    SetClassString(L".gz", L"", L"GzTool");
    SetClassString(L".tgz", L"", L"Tervix");
    tvxtest::RegWriteDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.tgz", L"Exist", 1);
    tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.tgz", L"Type", L"TgzTool");
    RegSnapshot before;
    for (const wchar_t* key : {L".tar", L".zip", L".gz"}) CaptureKey(HKEY_CLASSES_ROOT, key, &before);

    AssociateAllTypes(Choices(false, true), Scope::Machine);

    RegSnapshot after;
    for (const wchar_t* key : {L".tar", L".zip", L".gz"}) CaptureKey(HKEY_CLASSES_ROOT, key, &after);
    EXPECT_EQ(Differences(before, after), std::vector<std::wstring>{});
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.tar"))
        << "no backup for a type we never took";
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.zip"));
    EXPECT_EQ(ClassDefault(L".tgz"), L"TgzTool");
}

TEST_F(Associations, VolumeNamesAreTakenWithRecordsAndOnlyOursAreGivenBack) {
    SetClassString(L".tvx", L"", L"OldTvx");
    SetClassString(Volume(5), L"", L"Splitter");
    SetClassString(Volume(6), L"", L"Splitter");
    SetClassString(Volume(45), L"", L"Splitter");
    SetClassString(Volume(64), L"", L"");
    // Taken by an earlier version, which kept no record of the volume names.
    SetClassString(Volume(70), L"", L"Tervix");

    AssociateExtension(L".tvx", true, false, true, false, Scope::Machine);
    for (int number = 0; number < 30; ++number) EXPECT_EQ(ClassDefault(Volume(number)), L"Tervix") << number;
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, Volume(30)));
    EXPECT_EQ(Backup(Volume(5), L"Type"), L"Splitter");
    EXPECT_EQ(BackupExist(Volume(5)), 1u);
    EXPECT_EQ(BackupExist(Volume(7)), 0u);
    // Between two setups another program takes one name back; the next setup records
    // it, and leaves the records of names still ours alone.
    SetClassString(Volume(6), L"", L"Joiner");
    AssociateExtension(L".tvx", true, false, true, false, Scope::Machine);
    EXPECT_EQ(Backup(Volume(5), L"Type"), L"Splitter");
    EXPECT_EQ(Backup(Volume(6), L"Type"), L"Joiner");

    AssociateExtension(L".tvx", false, false, true, false, Scope::Machine);
    EXPECT_EQ(ClassDefault(L".tvx"), L"OldTvx");
    for (int number = 0; number < 100; ++number) {
        const wchar_t* expected = number == 5 || number == 45 ? L"Splitter"
                                  : number == 6               ? L"Joiner"
                                  : number == 64              ? L""
                                  : number == 70              ? L"OldTvx"
                                                              : L"<none>";
        EXPECT_EQ(ClassDefault(Volume(number)), expected) << number;
    }
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, Volume(0)));

    // When .tvx had no key before, releasing it removes every volume name it took.
    tvxtest::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix");
    tvxtest::DeleteRegTree(HKEY_CLASSES_ROOT, L".tvx");
    AssociateExtension(L".tvx", true, false, true, false, Scope::Machine);
    AssociateExtension(L".tvx", false, false, true, false, Scope::Machine);
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, L".tvx"));
    for (int number = 0; number < 30; ++number)
        EXPECT_EQ(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, Volume(number)), number == 5 || number == 6) << number;
}

TEST_F(Associations, RecordsOfTheCurrentLayoutAreReadAsBefore) {
    // Records that the previous version wrote: "Exist", "Type" and the "ShellNew" summary,
    // with our template entry in place under .zip.
    const std::wstring ownTemplate = folder_ + L"\\zipnew.dat";
    struct Case {
        DWORD exist;
        std::wstring summary;
        const wchar_t* name;  // the value expected under .zip\ShellNew, or null for none
        const wchar_t* data;
    } cases[] = {
        {1, L"C:\\old\\zip.zip", L"FileName", L"C:\\old\\zip.zip"},
        {1, L"*", L"NullFile", L""},
        {1, ownTemplate, nullptr, nullptr},  // an earlier setup recorded our own entry
        {0, L"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SetClassString(L".zip", L"", L"Tervix.ZIP");
        SetClassString(L".zip\\ShellNew", L"FileName", ownTemplate);
        const std::wstring backup = L"Software\\Tervix\\Setup\\.zip";
        tvxtest::RegWriteDword(HKEY_CURRENT_USER, backup, L"Exist", c.exist);
        tvxtest::RegWriteString(HKEY_CURRENT_USER, backup, L"Type", c.exist ? L"OldZip" : L"");
        tvxtest::RegWriteString(HKEY_CURRENT_USER, backup, L"ShellNew", c.summary);

        AssociateExtension(L".zip", false, false, false, true, Scope::Machine);

        RegSnapshot after;
        CaptureKey(HKEY_CLASSES_ROOT, L".zip", &after);
        RegSnapshot expected;
        if (c.exist) expected[L".zip"][L""] = StringValue(L"OldZip");
        if (c.exist) expected[L".zip\\ShellNew"];
        if (c.name) expected[L".zip\\ShellNew"][c.name] = StringValue(c.data);
        EXPECT_EQ(Differences(expected, after), std::vector<std::wstring>{}) << "case " << &c - cases;
        tvxtest::DeleteRegTree(HKEY_CLASSES_ROOT, L".zip");
        tvxtest::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix");
    }
}

TEST_F(Associations, NewMenuEntryFollowsTheShellExtensionAndTheItemSettings) {
    SetClassString(L".zip", L"", L"CompressedFolder");
    SetClassString(L".zip\\ShellNew", L"NullFile", L"");
    tvxtest::DeleteRegTree(HKEY_CLASSES_ROOT, L".tvx");
    tvxtest::RegWriteDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\MenuItems", L"NewZIP", 0);

    // Shell extension on but the ZIP entry switched off: .zip is ours, its New entry is
    // the previous owner's; .tvx gets our template.
    AssociateAllTypes(Choices(true, true), Scope::Machine);
    EXPECT_EQ(ClassDefault(L".zip"), L"Tervix.ZIP");
    RegSnapshot zipNew;
    CaptureKey(HKEY_CLASSES_ROOT, L".zip\\ShellNew", &zipNew);
    EXPECT_EQ(zipNew[L".zip\\ShellNew"].size(), 1u);
    EXPECT_EQ(zipNew[L".zip\\ShellNew"][L"NullFile"], StringValue(L""));
    EXPECT_FALSE(tvxtest::PathExists(folder_ + L"\\zipnew.dat"));
    EXPECT_TRUE(tvxtest::PathExists(folder_ + L"\\tvxnew.dat"));

    // Shell extension off: neither keeps our entry although both stay associated; .tvx,
    // which had no key before, loses its ShellNew key.
    AssociateAllTypes(Choices(true, false), Scope::Machine);
    EXPECT_EQ(ClassDefault(L".tvx"), L"Tervix");
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CLASSES_ROOT, L".tvx\\ShellNew"));
    std::wstring fileName;
    EXPECT_FALSE(tvxtest::RegReadString(HKEY_CLASSES_ROOT, L".zip\\ShellNew", L"FileName", &fileName));

    // Back on with the ZIP entry allowed: our template replaces the NullFile entry.
    tvxtest::RegWriteDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\MenuItems", L"NewZIP", 1);
    AssociateAllTypes(Choices(true, true), Scope::Machine);
    zipNew.clear();
    CaptureKey(HKEY_CLASSES_ROOT, L".zip\\ShellNew", &zipNew);
    EXPECT_EQ(zipNew[L".zip\\ShellNew"].size(), 1u);
    EXPECT_EQ(zipNew[L".zip\\ShellNew"][L"FileName"], StringValue(folder_ + L"\\zipnew.dat"));
    EXPECT_EQ(tvxtest::ReadFileBytes(folder_ + L"\\zipnew.dat").size(), 22u);
}

TEST_F(Associations, ProgIdsKeepACustomIconAndFillMissingOnes) {
    SetClassString(L"Tervix\\DefaultIcon", L"", L"C:\\themes\\archive.ico,3");
    SetClassString(L"Tervix.ZIP\\DefaultIcon", L"", L"");
    tvxtest::DeleteRegTree(HKEY_CLASSES_ROOT, L"Tervix.REV");

    ASSERT_TRUE(RegisterProgIds(Scope::Machine));

    const std::wstring program = folder_ + L"\\Tervix.exe";
    const std::wstring open = L"\"" + program + L"\" \"%1\"";
    EXPECT_EQ(ClassDefault(L"Tervix\\DefaultIcon"), L"C:\\themes\\archive.ico,3");
    EXPECT_EQ(ClassDefault(L"Tervix.ZIP\\DefaultIcon"), program + L",0");
    EXPECT_EQ(ClassDefault(L"Tervix.REV\\DefaultIcon"), program + L",1");
    for (const wchar_t* progId : {L"Tervix", L"Tervix.ZIP", L"Tervix.REV"})
        EXPECT_EQ(ClassDefault(std::wstring(progId) + L"\\shell\\open\\command"), open) << progId;
    EXPECT_EQ(ClassDefault(L".rev"), L"Tervix.REV");
    EXPECT_EQ(ClassDefault(L"Tervix"), L"Tervix archive");
    EXPECT_EQ(ClassDefault(L"Tervix.ZIP"), L"ZIP archive");
    EXPECT_EQ(ClassDefault(L"Tervix.REV"), L"Tervix recovery volume");
}

TEST_F(Associations, AceIsGivenBackOnlyWhenItIsStillOurs) {
    SetClassString(L".ace", L"", L"Tervix");
    tvxtest::RegWriteDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.ace", L"Exist", 1);
    tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.ace", L"Type", L"WinAce");
    AssociateExtension(L".ace", false, false, false, false, Scope::Machine);
    EXPECT_EQ(ClassDefault(L".ace"), L"WinAce");

    tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.ace", L"Type", L"Stale");
    AssociateExtension(L".ace", false, false, false, false, Scope::Machine);
    EXPECT_EQ(ClassDefault(L".ace"), L"WinAce");
}

// Windows 7 keeps no choice that wins over the classes root: no type is named there.
// (The choice goes with this case's prefix.)
TEST_F(Associations, TypesKeptByAUserChoiceAreNamedFromWindows8On) {
    tvxtest::RegWriteString(HKEY_CURRENT_USER,
                            L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.tgz\\UserChoice",
                            L"ProgId", L"OtherGz");
    PrimeWindowsVersion(false, 0x0601);
    EXPECT_TRUE(FindTypesKeptByUserChoice(Choices(true, false)).empty());
    PrimeWindowsVersion(false, 0x0602);
    EXPECT_EQ(FindTypesKeptByUserChoice(Choices(true, false)), std::vector<std::wstring>{L".tgz"});
    ResetWindowsVersionCaches();
}

// Before the uninstall gives anything back, a record that only the product settings
// hold (an earlier version kept it there alone) is copied to where the release keeps
// what it cannot give back, and put on the disk.
TEST_F(Associations, RecordsOnlyTheProductSettingsHoldAreSecuredBeforeAnyRelease) {
    SetClassString(L".zip", L"", L"CompressedFolder");
    AssociateExtension(L".zip", true, false, false, true, Scope::Machine);
    tvxtest::DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\PreviousOwners");
    const tvxtest::TempFolder logs(L"tvxsecure");
    ASSERT_TRUE(OpenRunLog((logs / L"run.log").c_str()));
    SecurePreviousOwners(Scope::Machine);
    CloseRunLog();

    EXPECT_EQ(Backup(L".zip", L"Type", HKEY_LOCAL_MACHINE), L"CompressedFolder");
    const std::vector<std::wstring> lines = tvxtest::ReadUtf8Lines(logs / L"run.log");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find(L"flushed the registry"), std::wstring::npos);
    EXPECT_EQ(ClassDefault(L".zip"), L"Tervix.ZIP") << "nothing is given back yet";
}

// Windows 10 and 11 protect the key of a user's choice. Where the uninstall may not
// delete one that names Tervix, its log says so, and the run is no less done.
TEST_F(Associations, AChoiceWindowsProtectsIsLoggedAndTheUninstallIsStillDone) {
    const std::wstring choice = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.zip\\UserChoice";
    ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, choice, L"ProgId", L"Tervix.ZIP"));
    const tvxtest::TempFolder logs(L"tvxchoice");
    ASSERT_TRUE(OpenRunLog((logs / L"run.log").c_str()));
    ResetRunOutcome();
    RefuseRegistryWrites(HKEY_CURRENT_USER, ERROR_ACCESS_DENIED);
    RemoveTervixUserChoices();
    RefuseRegistryWrites(nullptr, ERROR_SUCCESS);
    CloseRunLog();

    EXPECT_EQ(FinalExitCode(), kExitDone);
    EXPECT_TRUE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, choice));
    std::wstring log;
    for (const std::wstring& line : tvxtest::ReadUtf8Lines(logs / L"run.log")) log += line;
    EXPECT_NE(log.find(L"could not delete key HKCU\\" + choice + L": error 5"), std::wstring::npos)
        << tvxtest::Narrow(log);
    ResetRunOutcome();
}

}  // namespace
}  // namespace tvx
