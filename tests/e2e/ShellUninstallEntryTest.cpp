// The Add/Remove Programs entry as the registry and Wine's own "uninstaller" tool
// see it. Each scenario runs in a fresh prefix; the in-process ones from a copy of this
// program in a sandbox folder, since the entry names the running program.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "FileLocker.h"
#include "GuiDriver.h"
#include "SandboxCopy.h"
#include "TestSupport.h"
#include "UninstallScenarioSupport.h"
#include "integration/UninstallEntry.h"
#include "platform/RunLog.h"
#include "removal/Uninstall.h"
#include "resources/ResourceIds.h"
#include "startup/RunOptions.h"

namespace {

using namespace tvxtest;

constexpr wchar_t kEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver";

std::wstring ExpectedDisplayName() {
    return L"Tervix 6.24 " + StringTableText(IDS_BETA) + L" 1 (" + StringTableText(IDS_64BIT) + L")";
}

std::optional<std::wstring> EntryString(const wchar_t* name) {
    std::wstring value;
    if (!RegReadString(HKEY_LOCAL_MACHINE, kEntry, name, &value)) return std::nullopt;
    return value;
}

std::optional<DWORD> EntryDword(const wchar_t* name) {
    DWORD value = 0;
    if (!RegReadDword(HKEY_LOCAL_MACHINE, kEntry, name, &value)) return std::nullopt;
    return value;
}

// Runs a command with its output in a file; returns that output.
std::string RunForOutput(const std::wstring& commandLine, const std::wstring& outputFile) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    tvx::UniqueFileHandle output(
        CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    if (!output) return "";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION info = {};
    std::wstring line = commandLine;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        const tvx::UniqueHandle thread(info.hThread), process(info.hProcess);
        WaitForSingleObject(process.get(), 60000);
    }
    output.reset();
    return ReadFileBytes(outputFile);
}

// How many entries of the system's list carry our name.
size_t ListedTimes(const std::string& list, const std::wstring& displayName) {
    const std::string line = "Tervix archiver|||" + Narrow(displayName);
    size_t count = 0;
    for (size_t at = list.find(line); at != std::string::npos; at = list.find(line, at + 1)) ++count;
    return count;
}

}  // namespace

TEST(ShellUninstallEntry, SetupWritesTheEntryTheSystemLists) {
    if (RanInSandboxCopy()) return;
    const std::wstring folder = ProgramFolderOfTest();
    const std::wstring program = ProgramOfTest();

    tvx::WriteUninstallEntry(tvx::Scope::Machine);

    EXPECT_EQ(EntryString(L"DisplayName"), ExpectedDisplayName());
    EXPECT_EQ(EntryString(L"DisplayVersion"), L"6.24.1");
    EXPECT_EQ(EntryDword(L"VersionMajor"), 6u);
    EXPECT_EQ(EntryDword(L"VersionMinor"), 24u);
    // Quoted, so that a folder with blanks cannot be read as a shorter program name.
    EXPECT_EQ(EntryString(L"UninstallString"), L"\"" + program + L"\"");
    EXPECT_EQ(EntryString(L"QuietUninstallString"), L"\"" + program + L"\" -s");
    EXPECT_EQ(EntryString(L"DisplayIcon"), folder + L"\\Tervix.exe");
    EXPECT_EQ(EntryString(L"InstallLocation"), folder + L"\\");
    EXPECT_EQ(EntryDword(L"NoModify"), 1u);
    EXPECT_EQ(EntryDword(L"NoRepair"), 1u);
    EXPECT_EQ(EntryDword(L"Language"), 0u);
    EXPECT_EQ(EntryString(L"Publisher"), L"Norvane Labs");

    const std::string list = RunForOutput(L"uninstaller.exe --list", folder + L"\\list.txt");
    EXPECT_EQ(ListedTimes(list, ExpectedDisplayName()), 1u) << list;
}

TEST(ShellUninstallEntry, SecondSetupKeepsOneEntryAndAnExistingIcon) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { copy.Put(L"custom.ico"); })) return;
    const std::wstring folder = ProgramFolderOfTest();
    tvx::WriteUninstallEntry(tvx::Scope::Machine);
    // An earlier install chose an icon file that still exists.
    RegWriteString(HKEY_LOCAL_MACHINE, kEntry, L"DisplayIcon", folder + L"\\custom.ico");

    tvx::WriteUninstallEntry(tvx::Scope::Machine);

    EXPECT_EQ(EntryString(L"DisplayIcon"), folder + L"\\custom.ico");
    EXPECT_EQ(EntryString(L"DisplayName"), ExpectedDisplayName());
    const std::string list = RunForOutput(L"uninstaller.exe --list", folder + L"\\list.txt");
    EXPECT_EQ(ListedTimes(list, ExpectedDisplayName()), 1u) << list;
}

TEST(ShellUninstallEntry, IconWithAnIndexOrMissingFileIsReplaced) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { copy.Put(L"Tervix.exe", "MZ"); })) return;
    const std::wstring folder = ProgramFolderOfTest();
    const std::wstring ours = folder + L"\\Tervix.exe";

    RegWriteString(HKEY_LOCAL_MACHINE, kEntry, L"DisplayIcon", ours + L",0");
    tvx::WriteUninstallEntry(tvx::Scope::Machine);
    EXPECT_EQ(EntryString(L"DisplayIcon"), ours);

    RegWriteString(HKEY_LOCAL_MACHINE, kEntry, L"DisplayIcon", folder + L"\\gone.ico");
    tvx::WriteUninstallEntry(tvx::Scope::Machine);
    EXPECT_EQ(EntryString(L"DisplayIcon"), ours);
}

// The uninstall removes the entry only after the files, and the list last. A file that
// can be neither removed nor scheduled for the restart keeps both for the next run.
TEST(ShellUninstallEntry, UninstallRemovesTheEntryAfterTheFilesAndTheListLast) {
    const auto prepare = [](SandboxCopy& copy) {
        for (const wchar_t* name : {L"Tervix.exe", L"history.dat"}) copy.Put(name);
        const std::wstring self = copy.program().substr(copy.path().size() + 1);
        copy.Put(L"Uninstall.lst", "Tervix.exe\r\nhistory.dat\r\n" + Narrow(self) + "\r\nUninstall.lst\r\n");
    };
    if (RanInSandboxCopy(prepare)) return;
    const std::wstring folder = ProgramFolderOfTest(), program = ProgramOfTest();
    bool restartNeeded = true;
    tvx::Options().silent = true;
    tvx::WriteUninstallEntry(tvx::Scope::Machine);
    {
        // The main program holds its file, and the account may not write the restart list.
        FileLocker mainProgram;
        ASSERT_TRUE(mainProgram.Hold(FileLocker::Mode::OpenWithoutSharing, folder + L"\\history.dat"));
        tvx::RefuseRestartSchedules(ERROR_ACCESS_DENIED);
        EXPECT_FALSE(tvx::RemoveProduct(folder.c_str(), program.c_str(), &restartNeeded, tvx::Scope::Machine));
        tvx::RefuseRestartSchedules(ERROR_SUCCESS);
    }
    EXPECT_FALSE(PathExists(folder + L"\\Tervix.exe"));
    EXPECT_TRUE(PathExists(folder + L"\\Uninstall.lst") && RegKeyExists(HKEY_LOCAL_MACHINE, kEntry));

    TempFolder logs(L"tvxlog");
    ASSERT_TRUE(tvx::OpenRunLog((logs / L"uninstall.log").c_str()));
    EXPECT_TRUE(tvx::RemoveProduct(folder.c_str(), program.c_str(), &restartNeeded, tvx::Scope::Machine));
    tvx::CloseRunLog();
    const std::wstring entryGone = L"deleted key HKLM\\" + std::wstring(kEntry);
    std::vector<std::wstring> order;
    for (std::wstring line : ReadUtf8Lines(logs / L"uninstall.log")) {
        line = line.substr(20, line.find_last_not_of(L'\r') - 19);  // without time and line end
        if (line.rfind(L"deleted file ", 0) == 0 || line == L"flushed the registry" || line == entryGone)
            order.push_back(line);
    }
    EXPECT_EQ(order, (std::vector<std::wstring>{L"flushed the registry", L"deleted file " + folder + L"\\history.dat",
                                                entryGone, L"flushed the registry",
                                                L"deleted file " + folder + L"\\Uninstall.lst"}));
}

// The real program in an install folder whose path has a blank, as setup leaves it.
class ShellUninstallEntryProgram : public ::testing::Test {
protected:
    ShellUninstallEntryProgram() : install_(L"C:\\Program Files\\Tervix") {
        install_.MakeFile(L"Tervix.exe");
        install_.WriteList("Tervix.exe\r\nUninstall.exe\r\nUninstall.lst\r\ntvxnew.dat\r\nzipnew.dat\r\n");
    }

    long RunProgram(const std::wstring& switches) {
        return RunAndWait(L"\"" + install_.Program() + L"\" " + switches, 120000, install_.Folder());
    }

    std::string List() { return RunForOutput(L"uninstaller.exe --list", scratch_ / L"list.txt"); }

    uninstalltest::SampleInstall install_;
    TempFolder scratch_{L"tvxentry"};
};

TEST_F(ShellUninstallEntryProgram, SetupTwiceLeavesOneEntry) {
    ASSERT_EQ(RunProgram(L"/setup -s"), 0);
    ASSERT_EQ(RunProgram(L"/setup -s"), 0);

    EXPECT_EQ(ListedTimes(List(), ExpectedDisplayName()), 1u);
    EXPECT_EQ(EntryString(L"UninstallString"), L"\"" + install_.Program() + L"\"");
    EXPECT_EQ(EntryString(L"DisplayIcon"), install_.Path(L"Tervix.exe"));
    EXPECT_EQ(EntryString(L"InstallLocation"), install_.Folder() + L"\\");
}

TEST_F(ShellUninstallEntryProgram, MsiSetupWritesNoEntry) {
    ASSERT_EQ(RunProgram(L"/setup -s /msi"), 0);

    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kEntry));
    EXPECT_EQ(ListedTimes(List(), ExpectedDisplayName()), 0u);
    // The rest of setup did run.
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe"));
}

TEST_F(ShellUninstallEntryProgram, SystemsUninstallerStartsTheUninstall) {
    ASSERT_EQ(RunProgram(L"/setup -s"), 0);
    ASSERT_EQ(ListedTimes(List(), ExpectedDisplayName()), 1u);

    Process remover;
    ASSERT_TRUE(remover.Start(L"uninstaller.exe --remove \"Tervix archiver\""));
    // The question comes from the program the entry names, not from the tool.
    const std::wstring expected = ProgramText(IDS_CONTINUEUNINSTALL);
    HWND question = WaitForWindow({.message = expected.c_str()}, 30000);
    ASSERT_NE(question, nullptr) << "the uninstall did not ask";
    ASSERT_TRUE(PressButton(question, IDYES));

    EXPECT_TRUE(uninstalltest::WaitUntilGone(install_.Folder(), 60000)) << "the product is still installed";
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kEntry));
    EXPECT_EQ(ListedTimes(List(), ExpectedDisplayName()), 0u);
    remover.Wait(30000);
}
