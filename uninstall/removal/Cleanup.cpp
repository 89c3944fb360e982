#include "removal/Cleanup.h"

#include <windows.h>

#include <string>
#include <utility>

#include "integration/Associations.h"
#include "integration/NewMenu.h"
#include "integration/PreviousOwners.h"
#include "integration/SetupChoices.h"
#include "integration/ShellExtension.h"
#include "integration/Shortcuts.h"
#include "integration/UninstallEntry.h"
#include "integration/UserChoice.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "platform/Strings.h"
#include "removal/Uninstall.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"

namespace tvx {
namespace {

constexpr wchar_t kAppPathKey[] = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe";

struct ProductKey {
    HKEY root;
    const wchar_t* path;  // as the settings store takes it: relative to "Software\Tervix" unless it starts with "\"
    bool withSubkeys;
    REGSAM view = kNativeView;  // the registry view it is deleted in
};

// In this order; the settings store decides whether the registry or the portable
// settings file is touched. The uninstall entry is not among them: it goes last, after
// the files, so that a run ended before then can be finished from Installed apps.
const ProductKey kProductKeys[] = {
    {HKEY_CLASSES_ROOT, L"Tervix", true},
    {HKEY_CLASSES_ROOT, L"Tervix.ZIP", true},
    {HKEY_CLASSES_ROOT, L"Tervix.REV", true},
    {HKEY_CURRENT_USER, L"", true},
    {HKEY_LOCAL_MACHINE, kAppPathKey, false},
    // Setup writes the application path for 32-bit programs too; left there it would
    // point them at a deleted program.
    {HKEY_LOCAL_MACHINE, kAppPathKey, false, KEY_WOW64_32KEY},
};

// Whether setup of this install wrote into the system's registry: the uninstall entry
// or the application path names this program's folder, in whatever form of its path.
// The registry is asked itself, since a settings file may keep it out of sight.
bool IsRegisteredInstall() {
    wchar_t folder[kPathCapacity];
    GetProgramFolder(folder, kPathCapacity);
    const std::pair<const wchar_t*, const wchar_t*> anchors[] = {{kUninstallEntryKey, L"InstallLocation"},
                                                                 {kAppPathKey, L"Path"}};
    for (const auto& [key, name] : anchors) {
        std::wstring named;
        if (ReadRegistryString(HKEY_LOCAL_MACHINE, key, name, &named) && IsSameFile(named.c_str(), folder)) return true;
    }
    return false;
}

}  // namespace

void CleanUpRegistryAndShell() {
    // Every choice off: the integration operations below then remove what setup made.
    const SetupChoices nothing = {};
    // A settings file that came beside the program after setup (the installer's preset)
    // may switch integration off: what setup wrote into the registry goes all the same.
    const bool registered = IsRegisteredInstall();
    if (registered) EnableIntegration();

    SecurePreviousOwners();
    AssociateAllTypes(nothing);
    ReleaseRecoveryVolumeType();
    RemoveTervixUserChoices();
    NotifyAssociationsChanged();

    // The shell lets go of the extension while its files still exist.
    RegisterShellExtension(true, nothing);
    UpdateShortcuts(nothing, nullptr, 0, nullptr);

    for (const ProductKey& key : kProductKeys) {
        if (key.withSubkeys) {
            DeleteSettingTree(key.root, key.path, key.view);
        } else {
            DeleteSettingKey(key.root, key.path, key.view);
        }
    }
    // That file also hides the product keys setup wrote into the registry before it came.
    if (registered && SettingsFileLoaded()) {
        DeleteSettingTree(HKEY_CURRENT_USER, L"\\Software\\Tervix");
        DeleteMachineProductKey(L"\\Software\\Tervix");
    }
}

void RemoveIntegration() {
    CleanUpRegistryAndShell();
    FlushRegistry();
    wchar_t folder[kPathCapacity];
    GetProgramFolder(folder, kPathCapacity);
    RemoveHelpCaches(folder);
    // A template that stays keeps the install folder that the installer removes next.
    std::vector<std::wstring> notRemoved;
    RemoveTemplateFiles(&notRemoved);
    if (!notRemoved.empty()) ReportOutcome(Outcome::Failed);
    RemoveWebViewData();
}

void RemoveHelpCaches(const wchar_t* installFolder) {
    for (const wchar_t* helpName : {L"tervix.gid", L"tervix.fts"}) {
        wchar_t helpFile[kPathCapacity];
        JoinPath(installFolder, helpName, helpFile, kPathCapacity);
        SetAttributesLong(helpFile, FILE_ATTRIBUTE_NORMAL);
        DeleteFileLong(helpFile);
    }
}

void RemoveWebViewData() {
    wchar_t tempFolder[kPathCapacity], webViewData[kPathCapacity];
    GetTempFolder(tempFolder, kPathCapacity, false);
    JoinPath(tempFolder, L"Tervix.exe.WebView2", webViewData, kPathCapacity);
    if (FileExists(webViewData)) DeleteFolderTree(webViewData);
}

bool RemoveTemplateFiles(std::vector<std::wstring>* notRemoved) {
    bool restartNeeded = false;
    for (bool isNative : {true, false}) {
        wchar_t path[kPathCapacity];
        if (!HoldsTemplateBytes(isNative, path, kPathCapacity)) continue;
        if (DeleteFileLong(path))
            LogAction(L"deleted file " + std::wstring(path));
        else if (DeferOrName(path, notRemoved))
            restartNeeded = true;
    }
    return restartNeeded;
}

bool RemoveSettingsFile(std::vector<std::wstring>* notRemoved) {
    wchar_t path[kPathCapacity];
    GetProgramFolder(path, kPathCapacity);
    JoinPath(path, kSettingsFileName, path, kPathCapacity);
    const DWORD attributes = GetAttributesLong(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // A read-only or hidden file is the product's all the same.
    SetAttributesLong(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileLong(path)) {
        LogAction(L"deleted file " + std::wstring(path));
        return false;
    }
    return DeferOrName(path, notRemoved);
}

}  // namespace tvx
