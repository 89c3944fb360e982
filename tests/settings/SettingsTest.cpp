#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Owner.h"
#include "settings/SettingsFile.h"

namespace tvx {
namespace {

using tvxtest::DeleteRegTree;
using tvxtest::Narrow;
using tvxtest::RegKeyExists;
using tvxtest::RegReadDword;
using tvxtest::RegReadString;
using tvxtest::RegWriteDword;
using tvxtest::RegWriteString;

constexpr REGSAM k32 = KEY_WOW64_32KEY;

// Several test programs share one Wine prefix and may run at the same time, so every
// test works below keys named after its own process and removes them afterwards.
class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        tag_ = L"TvxSettingsTest-" + std::to_wstring(GetCurrentProcessId());
        productKeyExisted_ = RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix");
    }
    void TearDown() override {
        Switches() = PortableSwitches{};
        DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Tervix\\" + tag_);
        DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\" + tag_);
        DeleteRegTree(HKEY_CURRENT_USER, L"Software\\" + tag_);
        DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\" + tag_);
        DeleteRegTree(HKEY_LOCAL_MACHINE, L"Software\\" + tag_, KEY_WOW64_32KEY);
        DeleteRegTree(HKEY_CLASSES_ROOT, tag_);
        DeleteRegTree(HKEY_CURRENT_USER, L"Software\\Classes\\" + tag_);
        DeleteRegTree(HKEY_CLASSES_ROOT, L"CLSID\\" + tag_, KEY_WOW64_32KEY);
        if (!productKeyExisted_) {
            RemoveIfEmpty(HKEY_CURRENT_USER, L"Software\\Tervix");
            RemoveIfEmpty(HKEY_LOCAL_MACHINE, L"Software\\Tervix");
        }
    }
    // The product key is shared with other tests: only remove it when nothing is left in it.
    static void RemoveIfEmpty(HKEY root, const wchar_t* path) {
        UniqueHkey key;
        if (RegOpenKeyExW(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
        DWORD subkeys = 1, values = 1;
        RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        key.reset();
        if (subkeys == 0 && values == 0) RegDeleteKeyW(root, path);
    }
    std::wstring Relative(const std::wstring& rest = L"") const { return rest.empty() ? tag_ : tag_ + L"\\" + rest; }
    std::wstring Absolute(const std::wstring& rest = L"") const {
        return L"\\Software\\" + (rest.empty() ? tag_ : tag_ + L"\\" + rest);
    }

    std::wstring tag_;
    bool productKeyExisted_ = false;
};

TEST_F(SettingsStore, RelativePathsLiveBelowTheProductKeyOfEitherHive) {
    EXPECT_EQ(WriteSettingInt(HKEY_CURRENT_USER, Relative(L"Setup").c_str(), L"ShellExt", 7), ERROR_SUCCESS);
    DWORD stored = 0;
    ASSERT_TRUE(RegReadDword(HKEY_CURRENT_USER, L"Software\\Tervix\\" + tag_ + L"\\Setup", L"ShellExt", &stored));
    EXPECT_EQ(stored, 7u);
    EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, Relative(L"Setup").c_str(), L"ShellExt", 1), 7);
    EXPECT_EQ(ReadUserInt(Relative(L"Setup").c_str(), L"ShellExt", 1), 7);
    // A missing value gives the caller's default.
    EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, Relative(L"Setup").c_str(), L"CascadedMenu", 1), 1);
    EXPECT_EQ(ReadSettingInt(HKEY_CURRENT_USER, Relative(L"Missing").c_str(), L"ShellExt", -5), -5);

    EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, Relative().c_str(), L"Path", L"C:\\Tervix"), ERROR_SUCCESS);
    std::wstring text;
    ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\" + tag_, L"Path", &text));
    EXPECT_EQ(text, L"C:\\Tervix");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\" + tag_ + L"\\Path"));
}

TEST_F(SettingsStore, EmptyRelativePathIsTheProductKeyItself) {
    EXPECT_EQ(WriteUserInt(Relative().c_str(), L"Marker", 1), ERROR_SUCCESS);
    EXPECT_TRUE(SettingKeyExists(HKEY_CURRENT_USER, L""));
    EXPECT_TRUE(SettingKeyExists(HKEY_CURRENT_USER, Relative().c_str()));
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, Relative(L"Nothing").c_str()));
}

TEST_F(SettingsStore, LeadingBackslashIsAbsoluteWithinTheHive) {
    EXPECT_EQ(WriteSettingString(HKEY_CURRENT_USER, Absolute(L"Sub").c_str(), L"", L"default value"), ERROR_SUCCESS);
    std::wstring text;
    ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, L"Software\\" + tag_ + L"\\Sub", L"", &text));
    EXPECT_EQ(text, L"default value");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\" + tag_));

    wchar_t buffer[64];
    EXPECT_TRUE(ReadSettingString(HKEY_CURRENT_USER, Absolute(L"Sub").c_str(), L"", buffer, L"none", 64));
    EXPECT_STREQ(buffer, L"default value");
}

TEST_F(SettingsStore, OtherRootsTakeThePathAsGiven) {
    EXPECT_EQ(WriteSettingString(HKEY_CLASSES_ROOT, tag_.c_str(), L"", L"Tervix archive"), ERROR_SUCCESS);
    std::wstring text;
    ASSERT_TRUE(RegReadString(HKEY_CLASSES_ROOT, tag_, L"", &text));
    EXPECT_EQ(text, L"Tervix archive");
    EXPECT_TRUE(SettingKeyExists(HKEY_CLASSES_ROOT, tag_.c_str()));
    DeleteSettingKey(HKEY_CLASSES_ROOT, tag_.c_str());
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, tag_));
}

// An install for the account alone writes where Windows reads it for that account: its
// classes below HKEY_CURRENT_USER\Software\Classes (in either view), the rest at the
// machine's paths in the account's own hive. The machine's keys are never touched.
TEST_F(SettingsStore, TheAccountsScopeMapsTheClassesAndTheMachinesPlacesIntoItsOwnHive) {
    EXPECT_EQ(ClassesRoot(Scope::Machine), HKEY_CLASSES_ROOT);
    EXPECT_EQ(MachineRoot(Scope::Machine), HKEY_LOCAL_MACHINE);
    const HKEY classes = ClassesRoot(Scope::CurrentUser);
    const HKEY hive = MachineRoot(Scope::CurrentUser);
    const std::wstring userClasses = L"Software\\Classes\\" + tag_;
    EXPECT_EQ(WriteSettingString(classes, tag_.c_str(), L"", L"Tervix"), ERROR_SUCCESS);
    EXPECT_EQ(WriteSettingString(classes, (tag_ + L"\\shell").c_str(), L"x", L"y", k32), ERROR_SUCCESS);
    EXPECT_EQ(WriteSettingString(hive, Absolute(L"App Paths").c_str(), L"Path", L"C:\\Tervix"), ERROR_SUCCESS);
    std::wstring text;
    ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, userClasses, L"", &text));
    EXPECT_EQ(text, L"Tervix");
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, userClasses + L"\\shell", k32));
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, L"Software\\" + tag_ + L"\\App Paths", L"Path", &text));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, tag_)) << "the machine's classes";
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\" + tag_));

    wchar_t buffer[32];
    EXPECT_TRUE(ReadSettingString(classes, tag_.c_str(), L"", buffer, L"", 32));
    EXPECT_STREQ(buffer, L"Tervix");
    EXPECT_TRUE(SettingKeyExists(classes, tag_.c_str()));
    std::vector<std::wstring> subkeys;
    EXPECT_TRUE(ReadSettingSubkeys(classes, tag_.c_str(), &subkeys));
    EXPECT_EQ(subkeys, std::vector<std::wstring>{L"shell"});
    DeleteSettingTree(classes, tag_.c_str());
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, userClasses));
    DeleteSettingKey(hive, Absolute(L"App Paths").c_str());
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\" + tag_ + L"\\App Paths"));
}

TEST_F(SettingsStore, StringReadsAreCutToCapacityAndFallBackToTheDefault) {
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\" + tag_, L"Type", L"Tervix.ZIP"));

    // A text that does not fit is not read at all: the caller gets the default.
    wchar_t buffer[6];
    wmemset(buffer, L'#', 6);
    EXPECT_FALSE(ReadSettingString(HKEY_CURRENT_USER, Relative().c_str(), L"Type", buffer, L"x", 6));
    EXPECT_STREQ(buffer, L"x");
    // One that fills the buffer with its terminator is read whole.
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\" + tag_, L"Short", L"Tervi"));
    EXPECT_TRUE(ReadSettingString(HKEY_CURRENT_USER, Relative().c_str(), L"Short", buffer, L"x", 6));
    EXPECT_STREQ(buffer, L"Tervi");
    // Data stored without a terminator is still terminated inside the buffer.
    UniqueHkey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (L"Software\\Tervix\\" + tag_).c_str(), 0, KEY_WRITE, key.put()), 0);
    RegSetValueExW(key.get(), L"Raw", 0, REG_BINARY, reinterpret_cast<const BYTE*>(L"ABCDEF"), 12);
    key.reset();
    EXPECT_TRUE(ReadSettingString(HKEY_CURRENT_USER, Relative().c_str(), L"Raw", buffer, L"x", 6));
    EXPECT_STREQ(buffer, L"ABCDE");

    wchar_t full[64];
    EXPECT_TRUE(ReadUserString(Relative().c_str(), L"Type", full, L"x", 64));
    EXPECT_STREQ(full, L"Tervix.ZIP");

    EXPECT_FALSE(ReadSettingString(HKEY_CURRENT_USER, Relative().c_str(), L"Missing", full, L"*.iso", 64));
    EXPECT_STREQ(full, L"*.iso");
    EXPECT_FALSE(ReadSettingString(HKEY_CURRENT_USER, Relative(L"NoKey").c_str(), L"Type", full, L"fallback", 64));
    EXPECT_STREQ(full, L"fallback");
    // A default longer than the destination is cut like a stored text.
    EXPECT_FALSE(ReadSettingString(HKEY_CURRENT_USER, Relative().c_str(), L"Missing", buffer, L"123456789", 6));
    EXPECT_STREQ(buffer, L"12345");
}

TEST_F(SettingsStore, IntegersKeepAllThirtyTwoBitsAndIgnoreLongerData) {
    EXPECT_EQ(WriteUserInt(Relative().c_str(), L"Minus", -1), ERROR_SUCCESS);
    DWORD stored = 0;
    ASSERT_TRUE(RegReadDword(HKEY_CURRENT_USER, L"Software\\Tervix\\" + tag_, L"Minus", &stored));
    EXPECT_EQ(stored, 0xFFFFFFFFu);
    EXPECT_EQ(ReadUserInt(Relative().c_str(), L"Minus", 0), -1);

    // The type is not checked, but data longer than four bytes cannot be read as a number.
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\" + tag_, L"Text", L"12345"));
    EXPECT_EQ(ReadUserInt(Relative().c_str(), L"Text", 42), 42);
}

TEST_F(SettingsStore, DeletingValuesAndSingleKeys) {
    ASSERT_EQ(WriteUserInt(Relative(L"Parent\\Child").c_str(), L"A", 1), ERROR_SUCCESS);
    ASSERT_EQ(WriteUserInt(Relative(L"Parent").c_str(), L"B", 2), ERROR_SUCCESS);

    DeleteUserValue(Relative(L"Parent").c_str(), L"B");
    EXPECT_EQ(ReadUserInt(Relative(L"Parent").c_str(), L"B", -1), -1);
    EXPECT_TRUE(SettingKeyExists(HKEY_CURRENT_USER, Relative(L"Parent").c_str()));
    DeleteUserValue(Relative(L"NoSuchKey").c_str(), L"B");

    // A single-key deletion leaves a key that still has subkeys.
    DeleteSettingKey(HKEY_CURRENT_USER, Relative(L"Parent").c_str());
    EXPECT_TRUE(SettingKeyExists(HKEY_CURRENT_USER, Relative(L"Parent\\Child").c_str()));
    DeleteSettingKey(HKEY_CURRENT_USER, Relative(L"Parent\\Child").c_str());
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, Relative(L"Parent\\Child").c_str()));
    DeleteSettingKey(HKEY_CURRENT_USER, Relative(L"Parent").c_str());
    EXPECT_FALSE(SettingKeyExists(HKEY_CURRENT_USER, Relative(L"Parent").c_str()));
}

TEST_F(SettingsStore, ThirtyTwoBitViewLandsInTheWow64Node) {
    EXPECT_EQ(WriteSettingString(HKEY_LOCAL_MACHINE, Absolute().c_str(), L"Path", L"C:\\Tervix\\Tervix.exe", k32),
              ERROR_SUCCESS);
    EXPECT_EQ(WriteSettingString(HKEY_CLASSES_ROOT, (L"CLSID\\" + tag_ + L"\\InProcServer32").c_str(), L"",
                                 L"tvxext32.dll", k32),
              ERROR_SUCCESS);

    std::wstring text;
    ASSERT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\" + tag_, L"Path", &text));
    EXPECT_EQ(text, L"C:\\Tervix\\Tervix.exe");
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\" + tag_));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Wow6432Node\\CLSID\\" + tag_));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + tag_));

    // Reads and the existence test follow the view.
    wchar_t buffer[64];
    EXPECT_TRUE(ReadSettingString(HKEY_LOCAL_MACHINE, Absolute().c_str(), L"Path", buffer, L"", 64, k32));
    EXPECT_STREQ(buffer, L"C:\\Tervix\\Tervix.exe");
    EXPECT_TRUE(SettingKeyExists(HKEY_LOCAL_MACHINE, Absolute().c_str(), k32));
    EXPECT_FALSE(SettingKeyExists(HKEY_LOCAL_MACHINE, Absolute().c_str()));
    EXPECT_FALSE(ReadSettingString(HKEY_LOCAL_MACHINE, Absolute().c_str(), L"Path", buffer, L"", 64));

    // A single-key deletion honours the view.
    DeleteSettingKey(HKEY_CLASSES_ROOT, (L"CLSID\\" + tag_ + L"\\InProcServer32").c_str(), k32);
    DeleteSettingKey(HKEY_CLASSES_ROOT, (L"CLSID\\" + tag_).c_str(), k32);
    DeleteSettingKey(HKEY_LOCAL_MACHINE, Absolute().c_str(), k32);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Wow6432Node\\CLSID\\" + tag_));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\" + tag_));
}

// Twins of one key in both views: every call given the 32-bit view reads, writes and
// deletes the 32-bit twin and leaves the native one as it was.
TEST_F(SettingsStore, EveryCallActsInTheViewItIsGiven) {
    const std::wstring key = L"Software\\" + tag_;
    for (const REGSAM view : {kNativeView, k32}) {
        const wchar_t* which = view == k32 ? L"32-bit" : L"native";
        for (const wchar_t* rest : {L"", L"\\Leaf", L"\\Empty", L"\\Tree\\A\\B", L"\\Spared",
                                    L"\\Spared\\Records", L"\\Spared\\Other"})
            ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, key + rest, L"Which", which, view));
        ASSERT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, key + L"\\Only" + which, L"Which", which, view));
    }
    const auto twin = [&](const std::wstring& rest, REGSAM view) {
        return RegKeyExists(HKEY_LOCAL_MACHINE, key + rest, view);
    };
    const std::wstring in32 = Absolute(), leaf = Absolute(L"Leaf");

    wchar_t text[16];
    EXPECT_TRUE(ReadSettingString(HKEY_LOCAL_MACHINE, in32.c_str(), L"Which", text, L"", 16, k32));
    EXPECT_STREQ(text, L"32-bit");
    std::wstring registry;
    EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, in32.c_str(), L"Which", &registry, k32));
    EXPECT_EQ(registry, L"32-bit");
    std::vector<RegistryValue> values;
    EXPECT_TRUE(ReadSettingValues(HKEY_LOCAL_MACHINE, in32.c_str(), &values, k32));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].Text(), L"32-bit");
    std::vector<std::wstring> subkeys;
    EXPECT_TRUE(ReadSettingSubkeys(HKEY_LOCAL_MACHINE, in32.c_str(), &subkeys, k32));
    EXPECT_NE(std::find(subkeys.begin(), subkeys.end(), L"Only32-bit"), subkeys.end());
    EXPECT_EQ(std::find(subkeys.begin(), subkeys.end(), L"Onlynative"), subkeys.end());
    EXPECT_TRUE(SettingKeyExists(HKEY_LOCAL_MACHINE, Absolute(L"Only32-bit").c_str(), k32));
    EXPECT_FALSE(SettingKeyExists(HKEY_LOCAL_MACHINE, Absolute(L"Onlynative").c_str(), k32));

    EXPECT_EQ(WriteSettingInt(HKEY_LOCAL_MACHINE, leaf.c_str(), L"Number", 32, k32), ERROR_SUCCESS);
    EXPECT_EQ(ReadSettingInt(HKEY_LOCAL_MACHINE, leaf.c_str(), L"Number", -1, k32), 32);
    EXPECT_EQ(ReadSettingInt(HKEY_LOCAL_MACHINE, leaf.c_str(), L"Number", -1), -1);
    EXPECT_EQ(WriteSettingValue(HKEY_LOCAL_MACHINE, leaf.c_str(), values[0], k32), ERROR_SUCCESS);
    std::wstring stored;
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, key + L"\\Leaf", L"Which", &stored));
    EXPECT_EQ(stored, L"native") << "the 32-bit value went into the native key";

    DeleteSettingValue(HKEY_LOCAL_MACHINE, in32.c_str(), L"Which", k32);
    EXPECT_FALSE(RegReadString(HKEY_LOCAL_MACHINE, key, L"Which", &stored, k32));
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, key, L"Which", &stored));
    DeleteSettingValue(HKEY_LOCAL_MACHINE, Absolute(L"Empty").c_str(), L"Which", k32);
    DeleteSettingKeyIfEmpty(HKEY_LOCAL_MACHINE, Absolute(L"Empty").c_str(), k32);
    DeleteSettingKey(HKEY_LOCAL_MACHINE, leaf.c_str(), k32);
    DeleteSettingTree(HKEY_LOCAL_MACHINE, Absolute(L"Tree").c_str(), k32);
    DeleteSettingTreeExcept(HKEY_LOCAL_MACHINE, Absolute(L"Spared").c_str(), L"Records", k32);
    for (const wchar_t* gone : {L"\\Empty", L"\\Leaf", L"\\Tree", L"\\Spared\\Other"}) {
        EXPECT_FALSE(twin(gone, k32)) << Narrow(gone);
        EXPECT_TRUE(twin(gone, kNativeView)) << Narrow(gone);
    }
    EXPECT_TRUE(twin(L"\\Spared\\Records", k32));
    EXPECT_FALSE(RegReadString(HKEY_LOCAL_MACHINE, key + L"\\Spared", L"Which", &stored, k32));
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, key + L"\\Spared", L"Which", &stored));
}

TEST_F(SettingsStore, TreeDeletionRemovesADeepAndWideTreeAndNothingBeside) {
    // Wide: 8 x 8 x 8 keys with a value in each; deep: a chain of 24 levels.
    const std::wstring base = L"Software\\" + tag_ + L"\\Tree";
    for (int a = 0; a < 8; ++a) {
        for (int b = 0; b < 8; ++b) {
            for (int c = 0; c < 8; ++c) {
                std::wstring path = base + L"\\k" + std::to_wstring(a) + L"\\k" + std::to_wstring(b) + L"\\k" +
                                    std::to_wstring(c);
                ASSERT_TRUE(RegWriteDword(HKEY_CURRENT_USER, path, L"v", 1));
            }
        }
    }
    // Names of the longest length a key may have, deep enough to pass any path cut.
    const std::wstring longName(255, L'n');
    ASSERT_TRUE(RegWriteDword(HKEY_CURRENT_USER, base + L"\\" + longName + L"\\" + longName, L"v", 1));
    std::wstring chain = base + L"\\deep";
    for (int level = 0; level < 24; ++level) chain += L"\\level" + std::to_wstring(level);
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, chain, L"", L"bottom"));
    ASSERT_TRUE(RegWriteDword(HKEY_CURRENT_USER, L"Software\\" + tag_ + L"\\Beside", L"keep", 1));
    ASSERT_TRUE(RegWriteDword(HKEY_CURRENT_USER, L"Software\\" + tag_ + L"\\TreeSibling", L"keep", 1));

    DeleteSettingTree(HKEY_CURRENT_USER, Absolute(L"Tree").c_str());

    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, base));
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\" + tag_ + L"\\Beside"));
    EXPECT_TRUE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\" + tag_ + L"\\TreeSibling"));

    // Relative paths go below the product key like every other operation.
    ASSERT_EQ(WriteUserInt(Relative(L"Setup\\.zip").c_str(), L"Set", 1), ERROR_SUCCESS);
    ASSERT_EQ(WriteUserInt(Relative(L"Setup\\Links").c_str(), L"Desktop", 1), ERROR_SUCCESS);
    DeleteSettingTree(HKEY_CURRENT_USER, Relative().c_str());
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\" + tag_));
    // Nothing there: nothing to do, and no harm done.
    DeleteSettingTree(HKEY_CURRENT_USER, Relative().c_str());
}

TEST_F(SettingsStore, WithIntegrationOffTheRegistryIsLeftAlone) {
    ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, tag_, L"", L"existing"));
    Switches().integration = false;
    EXPECT_FALSE(IntegrationEnabled());

    EXPECT_EQ(WriteSettingString(HKEY_CLASSES_ROOT, tag_.c_str(), L"", L"changed"), ERROR_SUCCESS);
    EXPECT_EQ(WriteSettingInt(HKEY_CLASSES_ROOT, (tag_ + L"\\New").c_str(), L"n", 3), ERROR_SUCCESS);
    EXPECT_FALSE(SettingKeyExists(HKEY_CLASSES_ROOT, tag_.c_str()));
    wchar_t buffer[32];
    EXPECT_TRUE(ReadSettingString(HKEY_CLASSES_ROOT, tag_.c_str(), L"", buffer, L"default", 32));
    EXPECT_STREQ(buffer, L"default");
    EXPECT_EQ(ReadSettingInt(HKEY_CLASSES_ROOT, tag_.c_str(), L"", 9), 9);
    DeleteSettingTree(HKEY_CLASSES_ROOT, tag_.c_str());
    DeleteSettingValue(HKEY_CLASSES_ROOT, tag_.c_str(), L"");

    Switches().integration = true;
    std::wstring text;
    ASSERT_TRUE(RegReadString(HKEY_CLASSES_ROOT, tag_, L"", &text));
    EXPECT_EQ(text, L"existing");
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, tag_ + L"\\New"));
}

TEST_F(SettingsStore, WithoutASettingsFileEverythingGoesToTheRegistry) {
    EXPECT_TRUE(IntegrationEnabled());
    EXPECT_FALSE(MapsToSettingsFile(HKEY_CURRENT_USER, L"Setup"));
    EXPECT_FALSE(MapsToSettingsFile(kNullRoot, L"Global"));
    // The null root names no hive: reads give the default, writes fail.
    EXPECT_EQ(ReadSettingInt(kNullRoot, L"Global", L"Integration", 1), 1);
    EXPECT_NE(WriteSettingInt(kNullRoot, L"Global", L"Integration", 0), ERROR_SUCCESS);
}

// The product's temporary folder: the configured one when it exists, else the system's.
class TempFolderSetting : public SettingsStore {
protected:
    void SetUp() override {
        SettingsStore::SetUp();
        hadValue_ = RegReadString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"TempFolder", &oldValue_);
        wchar_t system[MAX_PATH];
        GetTempPathW(MAX_PATH, system);
        systemTemp_ = system;
    }
    void TearDown() override {
        if (hadValue_) {
            RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"TempFolder", oldValue_);
        } else {
            tvxtest::RegDeleteValue(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"TempFolder");
            RemoveIfEmpty(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths");
        }
        SetEnvironmentVariableW(L"TVXTESTTEMP", nullptr);
        SettingsStore::TearDown();
    }
    void Configure(const std::wstring& value) {
        ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"TempFolder", value));
    }
    std::wstring Get(bool allowEmpty, size_t capacity = 2048) {
        std::wstring buffer(capacity, L'#');
        GetTempFolder(buffer.data(), capacity, allowEmpty);
        return buffer.c_str();
    }

    bool hadValue_ = false;
    std::wstring oldValue_;
    std::wstring systemTemp_;
};

TEST_F(TempFolderSetting, ConfiguredFolderThatExistsIsUsedWithATrailingBackslash) {
    tvxtest::TempFolder folder(L"tvxtemp-setting");
    Configure(folder.path());
    EXPECT_EQ(Get(false), folder.path() + L"\\");
    Configure(folder.path() + L"\\");
    EXPECT_EQ(Get(true), folder.path() + L"\\");
}

TEST_F(TempFolderSetting, EnvironmentVariablesAreExpanded) {
    tvxtest::TempFolder folder(L"tvxtemp-env");
    SetEnvironmentVariableW(L"TVXTESTTEMP", folder.path().c_str());
    Configure(L"%TVXTESTTEMP%");
    EXPECT_EQ(Get(false), folder.path() + L"\\");
}

TEST_F(TempFolderSetting, MissingFolderFallsBackToTheSystemTemporaryFolder) {
    Configure(systemTemp_ + L"tvx-no-such-folder-" + tag_);
    EXPECT_EQ(Get(false), systemTemp_);
    EXPECT_EQ(Get(true), systemTemp_);
}

TEST_F(TempFolderSetting, EmptySettingIsKeptOnlyWhenAllowed) {
    Configure(L"");
    EXPECT_EQ(Get(true), L"");
    EXPECT_EQ(Get(false), systemTemp_);
}

TEST_F(TempFolderSetting, NoSettingGivesTheSystemTemporaryFolder) {
    tvxtest::RegDeleteValue(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"TempFolder");
    EXPECT_EQ(Get(true), L"");
    EXPECT_EQ(Get(false), systemTemp_);
    ASSERT_EQ(systemTemp_.back(), L'\\');
}

}  // namespace
}  // namespace tvx
