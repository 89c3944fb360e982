// The display name of the Add/Remove Programs entry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "integration/UninstallEntry.h"
#include "resources/ResourceIds.h"

using tvxtest::StringTableText;

TEST(ComposeDisplayName, AppendsVersionBetaNumberAndPlatform) {
    wchar_t name[2048] = L"Tervix";
    tvx::ComposeDisplayName(name, 2048);
    EXPECT_EQ(std::wstring(name),
              L"Tervix 6.24 " + StringTableText(IDS_BETA) + L" 1 (" + StringTableText(IDS_64BIT) + L")");
}

TEST(ComposeDisplayName, EmptyNameGetsNoLeadingBlank) {
    wchar_t name[100] = L"";
    tvx::ComposeDisplayName(name, 100);
    EXPECT_EQ(std::wstring(name), L"6.24 " + StringTableText(IDS_BETA) + L" 1 (" + StringTableText(IDS_64BIT) + L")");
}

TEST(ComposeDisplayName, StopsAtTheBufferCapacity) {
    wchar_t name[16];
    wmemset(name, L'#', 16);
    wcscpy(name, L"Tervix");
    tvx::ComposeDisplayName(name, 14);
    EXPECT_EQ(std::wstring(name), L"Tervix 6.24 " + StringTableText(IDS_BETA).substr(0, 1));
    EXPECT_EQ(name[14], L'#') << "written past the capacity";
}

// Whom an install is for, as a run decides it once at its start: from the switch, or
// from the registration of the program's own folder in the account's hive, so that the
// same command removes a per-user install and a machine-wide one alike.
namespace {

const wchar_t kEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver";
const wchar_t kAppPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe";

enum class Names { Nothing, ThisFolder, ThisFolderShort, AnotherFolder };

class InstallScope : public ::testing::Test {
protected:
    void TearDown() override {
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            for (const wchar_t* key : {kEntry, kAppPath}) tvxtest::DeleteRegTree(hive, key);
    }
    // Registers a folder as setup does: the entry's folder with its closing backslash,
    // the application path's without.
    void Register(HKEY hive, const wchar_t* key, Names names) {
        if (names == Names::Nothing) return;
        std::wstring folder = names == Names::AnotherFolder ? L"C:\\Program Files\\Tervix" : folder_;
        if (names == Names::ThisFolderShort) {
            wchar_t shortForm[MAX_PATH];
            ASSERT_GT(GetShortPathNameW(folder_.c_str(), shortForm, MAX_PATH), 0u);
            folder = shortForm;
        }
        const bool entry = key == kEntry;
        ASSERT_TRUE(tvxtest::RegWriteString(hive, key, entry ? L"InstallLocation" : L"Path",
                                            entry ? folder + L"\\" : folder));
    }
    const std::wstring folder_ = tvxtest::ProgramFolderOfTest();
};

TEST_F(InstallScope, IsTheAccountsWhenAskedForOrWhenTheAccountsOwnRegistrationNamesThisFolder) {
    using tvx::Scope;
    struct Case {
        const char* what;
        bool asked;
        Names userEntry, userAppPath, machineEntry;
        Scope expected;
    };
    const Case cases[] = {
        {"nothing registered", false, Names::Nothing, Names::Nothing, Names::Nothing, Scope::Machine},
        {"asked for", true, Names::Nothing, Names::Nothing, Names::ThisFolder, Scope::CurrentUser},
        {"the account's entry", false, Names::ThisFolder, Names::Nothing, Names::Nothing, Scope::CurrentUser},
        {"the account's application path, short form", false, Names::Nothing, Names::ThisFolderShort,
         Names::Nothing, Scope::CurrentUser},
        {"the machine's entry", false, Names::Nothing, Names::Nothing, Names::ThisFolder, Scope::Machine},
        {"the account's entry names another folder", false, Names::AnotherFolder, Names::AnotherFolder,
         Names::ThisFolder, Scope::Machine},
        {"both name this folder", false, Names::ThisFolder, Names::Nothing, Names::ThisFolder, Scope::CurrentUser},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        ASSERT_NO_FATAL_FAILURE(Register(HKEY_CURRENT_USER, kEntry, c.userEntry));
        ASSERT_NO_FATAL_FAILURE(Register(HKEY_CURRENT_USER, kAppPath, c.userAppPath));
        ASSERT_NO_FATAL_FAILURE(Register(HKEY_LOCAL_MACHINE, kEntry, c.machineEntry));
        EXPECT_EQ(tvx::ScopeOfInstall(c.asked), c.expected);
        EXPECT_EQ(tvx::IsRegisteredInstall(Scope::Machine), c.machineEntry == Names::ThisFolder);
        // An install of a scope in any folder: what the uninstall of the other one spares.
        const bool userInstall = c.userEntry != Names::Nothing || c.userAppPath != Names::Nothing;
        EXPECT_EQ(tvx::HasInstall(Scope::CurrentUser), userInstall);
        EXPECT_EQ(tvx::HasInstall(Scope::Machine), c.machineEntry != Names::Nothing);
    }
}

}  // namespace
