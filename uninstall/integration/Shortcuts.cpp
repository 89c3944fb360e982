#include "integration/Shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "integration/UninstallEntry.h"
#include "lang/Texts.h"
#include "platform/Account.h"
#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/Strings.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "settings/Settings.h"

namespace tvx {

namespace {

constexpr wchar_t kLinkName[] = L"Tervix.lnk";
constexpr wchar_t kGroupName[] = L"Tervix";
constexpr wchar_t kUnknownFolder[] = L"unknown_folder";

// Entries of a program group, in the order they are created. A name or target of 0
// comes from the string table.
struct GroupEntry {
    const wchar_t* name;
    UINT nameId;
    const wchar_t* target;
    UINT targetId;
    bool themeIcon;
};

constexpr GroupEntry kGroupEntries[] = {
    {L"Tervix", 0, L"Tervix.exe", 0, true},
    {nullptr, IDS_TERVIXHELP, L"Tervix.chm", 0, false},
    {nullptr, IDS_TVXHELP, L"Tvx.txt", 0, false},
    {nullptr, IDS_WHATSNEW, nullptr, IDS_WHATSNEWNAME, false},
};

// A translated entry name becomes a file name; characters that a file name cannot
// hold would make the shortcut impossible to save.
void MakeFileName(wchar_t* name) {
    for (wchar_t* c = name; *c; ++c) {
        if (*c < 0x20 || wcschr(L"\\/:*?\"<>|", *c)) *c = L'_';
    }
}

// "folder\name" with the separator always added (a bare drive included), cut at the
// buffer's capacity.
void AppendName(const wchar_t* folder, const wchar_t* name, wchar_t* output, size_t size) {
    CopyText(output, folder, size);
    AppendSeparator(output, size);
    AppendText(output, name, size);
}

// Old entries go so that a renamed or dropped shortcut does not linger; folders the
// user put into the group are theirs and stay.
void DeleteGroupFiles(const wchar_t* folder) {
    wchar_t mask[kPathCapacity];
    AppendName(folder, L"*", mask, kPathCapacity);
    DirectoryScan scan;
    scan.SetMask(mask);
    FoundEntry entry;
    while (scan.Next(&entry)) {
        if (!entry.isFolder) DeleteFileLong(entry.fullName);
    }
}

void CreateGroupEntries(const wchar_t* group, const wchar_t* programFolder, const wchar_t* workDir,
                        const wchar_t* icon) {
    const wchar_t* description = LoadText(IDS_TERVIXDESC);
    for (const GroupEntry& entry : kGroupEntries) {
        wchar_t name[MAX_PATH];
        wchar_t targetName[MAX_PATH];
        if (entry.name) {
            CopyText(name, entry.name, MAX_PATH);
        } else {
            LoadTextInto(entry.nameId, name, MAX_PATH);
        }
        MakeFileName(name);
        AppendText(name, L".lnk", MAX_PATH);
        if (entry.target) {
            CopyText(targetName, entry.target, MAX_PATH);
        } else {
            LoadTextInto(entry.targetId, targetName, MAX_PATH);
        }

        wchar_t linkPath[kPathCapacity];
        wchar_t targetPath[kPathCapacity];
        JoinPath(group, name, linkPath, kPathCapacity);
        JoinPath(programFolder, targetName, targetPath, kPathCapacity);
        if (!FileExists(targetPath)) continue;
        CreateShellLink(true, targetPath, linkPath, workDir, description, entry.themeIcon ? icon : nullptr, nullptr);
    }
}

// Recreates a program group from scratch. Its path is reported when given a buffer
// and the folder exists.
void RebuildGroup(const wchar_t* group, const wchar_t* programFolder, const wchar_t* workDir, const wchar_t* icon,
                  wchar_t* groupPathOut, size_t groupPathSize) {
    if (FileExists(group)) DeleteGroupFiles(group);
    CreateFolder(group);
    if (groupPathOut && FileExists(group)) CopyText(groupPathOut, group, groupPathSize);
    CreateGroupEntries(group, programFolder, workDir, icon);
}

}  // namespace

bool GetSpecialFolder(wchar_t* output, size_t size, int csidl) {
    if (size > 259 && SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, output))) return true;
    CopyText(output, kUnknownFolder, size);
    return false;
}

bool CreateShellLink(bool loadExisting, const wchar_t* target, const wchar_t* linkPath, const wchar_t* workDir,
                     const wchar_t* description, const wchar_t* icon, const wchar_t* arguments) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()))) {
        return false;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))) return false;

    // Loading first keeps what the user changed on an existing shortcut (hot key, window
    // state); a shortcut that does not exist yet simply fails to load.
    if (loadExisting) file->Load(linkPath, STGM_READWRITE);

    link->SetPath(target);
    if (description) link->SetDescription(description);
    link->SetIconLocation(icon ? icon : L"", 0);
    if (arguments) link->SetArguments(arguments);
    if (workDir) link->SetWorkingDirectory(workDir);
    const HRESULT saved = file->Save(linkPath, TRUE);
    if (SUCCEEDED(saved))
        LogAction(L"wrote shortcut " + std::wstring(linkPath));
    else
        LogFailure(L"write shortcut " + std::wstring(linkPath), static_cast<DWORD>(saved));
    return SUCCEEDED(saved);
}

namespace {

void DeleteShortcut(const wchar_t* link) {
    if (DeleteFileLong(link)) LogAction(L"deleted shortcut " + std::wstring(link));
}

void DeleteGroup(const wchar_t* group) {
    if (!FileExists(group)) return;
    DeleteFolderTree(group);
    if (FileExists(group))
        LogAction(L"left program group " + std::wstring(group));
    else
        LogAction(L"deleted program group " + std::wstring(group));
}

}  // namespace

void UpdateShortcuts(const SetupChoices& choices, wchar_t* groupPathOut, size_t groupPathSize, const wchar_t* icon,
                     Scope scope) {
    if (!IntegrationEnabled()) return;

    wchar_t programFolder[kPathCapacity];
    wchar_t target[kPathCapacity];
    GetProgramFolder(programFolder, kPathCapacity);
    JoinPath(programFolder, L"Tervix.exe", target, kPathCapacity);
    const bool modern = WindowsVersionNumber() >= 0x0600;
    const wchar_t* description = LoadText(IDS_TERVIXDESC);
    const bool forAccount = scope == Scope::CurrentUser;
    // The account's own shortcuts are those of its own install, when it has one: a
    // machine-wide install beside it neither rewrites nor deletes them.
    const bool accountFolders = forAccount || !HasInstall(Scope::CurrentUser);

    // Desktop: a shortcut the user already has on their own desktop is kept there;
    // otherwise it belongs on the all-users desktop.
    wchar_t userDesktop[kPathCapacity];
    wchar_t userLink[kPathCapacity] = L"";
    const bool userDesktopKnown = GetSpecialFolder(userDesktop, kPathCapacity, CSIDL_DESKTOPDIRECTORY);
    if (userDesktopKnown) {
        JoinPath(userDesktop, kLinkName, userLink, kPathCapacity);
    } else if (!modern) {
        return;
    }
    wchar_t commonDesktop[kPathCapacity];
    wchar_t commonLink[kPathCapacity];
    GetSpecialFolder(commonDesktop, kPathCapacity, CSIDL_COMMON_DESKTOPDIRECTORY);
    JoinPath(commonDesktop, kLinkName, commonLink, kPathCapacity);
    const bool onUserDesktop = forAccount || (accountFolders && userLink[0] && FileExists(userLink));
    const wchar_t* desktopLink = onUserDesktop ? userLink : commonLink;
    if (desktopLink[0] == L'\0') {
        LogAction(L"skipped the desktop shortcut: the account has no desktop folder of its own");
    } else if (choices.bytes[kChoiceDesktop] == 0) {
        DeleteShortcut(desktopLink);
    } else {
        CreateShellLink(true, target, desktopLink, nullptr, description, icon, nullptr);
    }

    // Run as SYSTEM (a deployment tool, a Windows Installer custom action), the user's
    // folders are the system account's: no person works in its desktop or sees its
    // program group.
    const bool systemAccount = RunsAsLocalSystem();
    const wchar_t* workDir = systemAccount ? nullptr : userDesktop;

    // The account's Start menu shows what its "Programs" folder holds.
    wchar_t startMenu[kPathCapacity];
    wchar_t startLink[kPathCapacity];
    GetSpecialFolder(startMenu, kPathCapacity,
                     forAccount ? CSIDL_PROGRAMS : (modern ? CSIDL_COMMON_STARTMENU : CSIDL_STARTMENU));
    AppendName(startMenu, kLinkName, startLink, kPathCapacity);
    if (choices.bytes[kChoiceStartMenu] == 0) {
        DeleteShortcut(startLink);
    } else {
        CreateShellLink(true, target, startLink, workDir, description, icon, nullptr);
    }

    const bool groups = choices.bytes[kChoiceProgramGroup] != 0;

    wchar_t programs[kPathCapacity];
    wchar_t userGroup[kPathCapacity];
    GetSpecialFolder(programs, kPathCapacity, CSIDL_PROGRAMS);
    AppendName(programs, kGroupName, userGroup, kPathCapacity);
    if (!accountFolders) {
        LogAction(L"left the program group " + std::wstring(userGroup) + L" to the account's own install");
    } else if (!groups) {
        DeleteGroup(userGroup);
    } else if (systemAccount) {
        LogAction(L"skipped the program group " + std::wstring(userGroup) +
                  L": the system account's own Start menu, which no person sees");
    } else {
        if (groupPathOut) CopyText(groupPathOut, userGroup, groupPathSize);
        RebuildGroup(userGroup, programFolder, workDir, icon, nullptr, 0);
    }

    wchar_t commonPrograms[kPathCapacity];
    if (forAccount || !GetSpecialFolder(commonPrograms, kPathCapacity, CSIDL_COMMON_PROGRAMS)) return;
    wchar_t commonGroup[kPathCapacity];
    AppendName(commonPrograms, kGroupName, commonGroup, kPathCapacity);
    if (!groups) {
        DeleteGroup(commonGroup);
        return;
    }
    // The all-users group is the one to show after setup, when it could be made.
    RebuildGroup(commonGroup, programFolder, workDir, icon, groupPathOut, groupPathSize);
}

}  // namespace tvx
