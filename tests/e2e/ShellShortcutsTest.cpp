// Desktop, Start-menu and program-group shortcuts as the shell and an independent
// reader (Debian's lnkinfo, run from inside Wine) see them. Every scenario runs in a
// fresh prefix, from a copy of this program in a sandbox folder that holds stand-ins
// of the shortcut targets.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "LinuxSide.h"
#include "SandboxCopy.h"
#include "ShortcutReader.h"
#include "TestSupport.h"
#include "integration/SetupChoices.h"
#include "integration/Shortcuts.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"

namespace {

using namespace tvxtest;

constexpr wchar_t kIconName[] = L"theme.ico";

using ComScope = tvx::ComSession;

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Reads a shortcut with Debian's lnkinfo. Wine starts the Linux program directly but
// gives no handle to wait on, so the shell renames the finished output into place.
std::map<std::string, std::string> Lnkinfo(const std::wstring& linkPath, const std::wstring& scratchFolder) {
    std::map<std::string, std::string> fields;
    const std::string scratch = Narrow(UnixPathOf(scratchFolder));
    const std::string link = Narrow(UnixPathOf(linkPath));
    if (scratch.empty() || link.empty()) {
        ADD_FAILURE() << "not running under Wine";
        return fields;
    }
    const std::string partial = ShellQuoted(scratch + "/lnkinfo.part");
    const std::string done = scratch + "/lnkinfo.txt";
    DeleteFileW((scratchFolder + L"\\lnkinfo.txt").c_str());
    const std::string script = "/usr/bin/lnkinfo " + ShellQuoted(link) + " >" + partial + " 2>&1; mv " + partial +
                               " " + ShellQuoted(done);
    std::wstring commandLine = L"Z:\\bin\\sh -c \"" + Widen(script) + L"\"";
    Process shell;
    if (!shell.Start(commandLine)) {
        ADD_FAILURE() << "cannot start lnkinfo through /bin/sh";
        return fields;
    }
    WaitUntil([&] { return PathExists(scratchFolder + L"\\lnkinfo.txt"); }, 20000);
    const std::string output = ReadFileBytes(scratchFolder + L"\\lnkinfo.txt");
    EXPECT_NE(output.find("Windows Shortcut information"), std::string::npos) << "lnkinfo said: " << output;
    // Lines read "<tab>Name<tabs>: value".
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        start = end + 1;
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of("\t "));
        name.erase(name.find_last_not_of("\t ") + 1);
        std::string value = colon + 2 <= line.size() ? line.substr(colon + 2) : "";
        if (!fields.count(name)) fields[name] = value;
    }
    return fields;
}

std::vector<std::wstring> Entries(const std::wstring& folder) {
    std::vector<std::wstring> names = tvxtest::FileNames(folder + L"\\*");
    std::sort(names.begin(), names.end());
    return names;
}

tvx::SetupChoices Choices(bool desktop, bool startMenu, bool groups) {
    tvx::SetupChoices choices = {};
    choices.bytes[tvx::kChoiceDesktop] = desktop;
    choices.bytes[tvx::kChoiceStartMenu] = startMenu;
    choices.bytes[tvx::kChoiceProgramGroup] = groups;
    return choices;
}

void PrepareTargets(SandboxCopy& sandbox, bool withManual = true) {
    sandbox.Put(L"Tervix.exe", "MZ");
    sandbox.Put(L"Tervix.chm");
    if (withManual) sandbox.Put(L"Tvx.txt");
    sandbox.Put(L"WhatsNew.txt");
    sandbox.Put(kIconName);
}

std::wstring Here(const std::wstring& name) { return ProgramFolderOfTest() + L"\\" + name; }

std::wstring UserGroup() { return KnownFolder(CSIDL_PROGRAMS) + L"\\Tervix"; }
std::wstring CommonGroup() { return KnownFolder(CSIDL_COMMON_PROGRAMS) + L"\\Tervix"; }

std::vector<std::wstring> FourEntries() {
    std::vector<std::wstring> names = {L"Tervix.lnk", StringTableText(IDS_TERVIXHELP) + L".lnk",
                                       StringTableText(IDS_TVXHELP) + L".lnk", StringTableText(IDS_WHATSNEW) + L".lnk"};
    std::sort(names.begin(), names.end());
    return names;
}

void ExpectLink(const std::wstring& path, const std::wstring& target, const std::wstring& workDir,
                const std::wstring& icon) {
    SCOPED_TRACE(Narrow(path));
    const Shortcut link = ReadShortcut(path);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, target);
    EXPECT_EQ(link.workDir, workDir);
    EXPECT_EQ(link.description, StringTableText(IDS_TERVIXDESC));
    EXPECT_EQ(link.icon, icon);
    EXPECT_EQ(link.iconIndex, 0);
}

}  // namespace

TEST(ShellShortcuts, SetupCreatesDesktopStartMenuAndBothGroups) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareTargets(copy); })) return;
    ComScope com;
    tvx::PrimeWindowsVersion(false, 0x0A00);
    const std::wstring icon = Here(kIconName);
    const std::wstring target = Here(L"Tervix.exe");
    const std::wstring desktop = KnownFolder(CSIDL_DESKTOPDIRECTORY);
    wchar_t groupPath[2048] = L"";

    tvx::UpdateShortcuts(Choices(true, true, true), groupPath, 2048, icon.c_str(), tvx::Scope::Machine);

    // Nobody had a shortcut on their own desktop, so it goes to everybody's.
    EXPECT_FALSE(PathExists(desktop + L"\\Tervix.lnk"));
    const std::wstring desktopLink = KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Tervix.lnk";
    ExpectLink(desktopLink, target, L"", icon);
    const std::wstring startLink = KnownFolder(CSIDL_COMMON_STARTMENU) + L"\\Tervix.lnk";
    ExpectLink(startLink, target, desktop, icon);

    for (const std::wstring& group : {UserGroup(), CommonGroup()}) {
        SCOPED_TRACE(Narrow(group));
        EXPECT_EQ(Entries(group), FourEntries());
        ExpectLink(group + L"\\Tervix.lnk", target, desktop, icon);
        ExpectLink(group + L"\\" + StringTableText(IDS_TERVIXHELP) + L".lnk", Here(L"Tervix.chm"), desktop, L"");
        ExpectLink(group + L"\\" + StringTableText(IDS_TVXHELP) + L".lnk", Here(L"Tvx.txt"), desktop, L"");
        ExpectLink(group + L"\\" + StringTableText(IDS_WHATSNEW) + L".lnk", Here(StringTableText(IDS_WHATSNEWNAME)),
                   desktop, L"");
    }
    EXPECT_EQ(std::wstring(groupPath), CommonGroup()) << "the group opened after setup is everybody's";

    // An independent reader of the file format agrees.
    const std::wstring scratch = ProgramFolderOfTest();
    std::map<std::string, std::string> fields = Lnkinfo(desktopLink, scratch);
    EXPECT_EQ(fields["Local path"], Narrow(target));
    EXPECT_EQ(fields["Description"], Narrow(StringTableText(IDS_TERVIXDESC)));
    EXPECT_EQ(fields["Icon location"], Narrow(icon));
    EXPECT_EQ(fields.count("Working directory"), 0u);
    fields = Lnkinfo(startLink, scratch);
    EXPECT_EQ(fields["Local path"], Narrow(target));
    EXPECT_EQ(fields["Working directory"], Narrow(desktop));
    fields = Lnkinfo(CommonGroup() + L"\\" + StringTableText(IDS_TERVIXHELP) + L".lnk", scratch);
    EXPECT_EQ(fields["Local path"], Narrow(Here(L"Tervix.chm")));
    EXPECT_EQ(fields["Working directory"], Narrow(desktop));
    EXPECT_EQ(fields["Description"], Narrow(StringTableText(IDS_TERVIXDESC)));
    EXPECT_EQ(fields["Icon location"], "");
}

TEST(ShellShortcuts, GroupIsRebuiltButAFolderInItSurvives) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareTargets(copy, false); })) return;
    ComScope com;
    tvx::PrimeWindowsVersion(false, 0x0A00);
    for (const std::wstring& group : {UserGroup(), CommonGroup()}) {
        CreateDirectoryW(group.c_str(), nullptr);
        WriteFileBytes(group + L"\\Old Tool.lnk", "stale");
        CreateDirectoryW((group + L"\\Mine").c_str(), nullptr);
        WriteFileBytes(group + L"\\Mine\\notes.txt", "kept");
    }

    tvx::UpdateShortcuts(Choices(false, false, true), nullptr, 0, nullptr, tvx::Scope::Machine);

    // "Tvx.txt" is not installed, so its entry is left out.
    std::vector<std::wstring> expected = {L"Mine", L"Tervix.lnk", StringTableText(IDS_TERVIXHELP) + L".lnk",
                                          StringTableText(IDS_WHATSNEW) + L".lnk"};
    std::sort(expected.begin(), expected.end());
    for (const std::wstring& group : {UserGroup(), CommonGroup()}) {
        SCOPED_TRACE(Narrow(group));
        EXPECT_EQ(Entries(group), expected);
        EXPECT_EQ(ReadFileBytes(group + L"\\Mine\\notes.txt"), "kept");
        // Without a theme icon the target's own icon shows.
        EXPECT_EQ(ReadShortcut(group + L"\\Tervix.lnk").icon, L"");
    }
}

TEST(ShellShortcuts, UsersOwnDesktopShortcutIsRefreshedInPlace) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareTargets(copy); })) return;
    ComScope com;
    tvx::PrimeWindowsVersion(false, 0x0A00);
    const std::wstring userLink = KnownFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Tervix.lnk";
    const std::wstring commonLink = KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Tervix.lnk";
    const std::wstring oldTarget = Here(L"Tervix.chm");
    // The user's shortcut from an earlier version, given a hot key of their own.
    ASSERT_TRUE(tvx::CreateShellLink(false, oldTarget.c_str(), userLink.c_str(), nullptr, L"old", nullptr, nullptr));
    ASSERT_TRUE(SetShortcutHotkey(userLink, MAKEWORD('T', HOTKEYF_CONTROL | HOTKEYF_ALT)));
    ASSERT_TRUE(tvx::CreateShellLink(false, oldTarget.c_str(), commonLink.c_str(), nullptr, L"all", nullptr, nullptr));
    const std::string commonBefore = ReadFileBytes(commonLink);

    tvx::UpdateShortcuts(Choices(true, false, false), nullptr, 0, Here(kIconName).c_str(), tvx::Scope::Machine);

    const Shortcut refreshed = ReadShortcut(userLink);
    EXPECT_EQ(refreshed.target, Here(L"Tervix.exe"));
    EXPECT_EQ(refreshed.description, StringTableText(IDS_TERVIXDESC));
    EXPECT_EQ(refreshed.icon, Here(kIconName));
    EXPECT_EQ(refreshed.hotkey, MAKEWORD('T', HOTKEYF_CONTROL | HOTKEYF_ALT)) << "the user's hot key was lost";
    EXPECT_EQ(ReadFileBytes(commonLink), commonBefore);
    EXPECT_EQ(Lnkinfo(userLink, ProgramFolderOfTest())["Local path"], Narrow(Here(L"Tervix.exe")));

    // Deselected: the user's shortcut goes first, everybody's on the next run.
    tvx::UpdateShortcuts(Choices(false, false, false), nullptr, 0, nullptr, tvx::Scope::Machine);
    EXPECT_FALSE(PathExists(userLink));
    EXPECT_TRUE(PathExists(commonLink));
    tvx::UpdateShortcuts(Choices(false, false, false), nullptr, 0, nullptr, tvx::Scope::Machine);
    EXPECT_FALSE(PathExists(commonLink));
}

TEST(ShellShortcuts, RemovalWithNoChoicesLeavesNoShortcutOrGroup) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareTargets(copy); })) return;
    ComScope com;
    tvx::PrimeWindowsVersion(false, 0x0A00);
    tvx::UpdateShortcuts(Choices(true, true, true), nullptr, 0, nullptr, tvx::Scope::Machine);
    CreateDirectoryW((CommonGroup() + L"\\Mine").c_str(), nullptr);
    ASSERT_EQ(Entries(UserGroup()).size(), 4u);

    tvx::SetupChoices none = {};
    tvx::UpdateShortcuts(none, nullptr, 0, nullptr, tvx::Scope::Machine);

    EXPECT_FALSE(PathExists(UserGroup()));
    EXPECT_FALSE(PathExists(CommonGroup()));
    EXPECT_FALSE(PathExists(KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Tervix.lnk"));
    EXPECT_FALSE(PathExists(KnownFolder(CSIDL_COMMON_STARTMENU) + L"\\Tervix.lnk"));
    // The targets themselves are not the shortcuts' business.
    EXPECT_TRUE(PathExists(Here(L"Tervix.exe")));
}

TEST(ShellShortcuts, BeforeVistaTheStartMenuShortcutIsTheUsers) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareTargets(copy); })) return;
    ComScope com;
    tvx::PrimeWindowsVersion(false, 0x0502);

    tvx::UpdateShortcuts(Choices(false, true, false), nullptr, 0, nullptr, tvx::Scope::Machine);

    EXPECT_TRUE(ReadShortcut(KnownFolder(CSIDL_STARTMENU) + L"\\Tervix.lnk").loaded);
    EXPECT_FALSE(PathExists(KnownFolder(CSIDL_COMMON_STARTMENU) + L"\\Tervix.lnk"));
}
