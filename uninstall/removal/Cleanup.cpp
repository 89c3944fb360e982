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

// Where a product key lies for an install of a scope: in its classes, or below its hive.
enum class Place { Classes, Hive };

struct ProductKey {
    Place place;
    const wchar_t* path;  // as the settings store takes it: relative to "Software\Tervix" unless it starts with "\"
    bool withSubkeys;
    REGSAM view = kNativeView;  // the registry view it is deleted in
};

// In this order; the settings store decides whether the registry or the portable
// settings file is touched. The uninstall entry is not among them: it goes last, after
// the files, so that a run ended before then can be finished from Installed apps. The
// account's product settings follow them (DeleteAccountSettings).
const ProductKey kProductKeys[] = {
    {Place::Classes, L"Tervix", true},
    {Place::Classes, L"Tervix.ZIP", true},
    {Place::Classes, L"Tervix.REV", true},
    {Place::Hive, kAppPathsKey, false},
    // Setup writes the application path for 32-bit programs too; left there it would
    // point them at a deleted program.
    {Place::Hive, kAppPathsKey, false, KEY_WOW64_32KEY},
};

Scope OtherScope(Scope scope) { return scope == Scope::Machine ? Scope::CurrentUser : Scope::Machine; }

// The account's product settings, as the relative "" or the absolute "\Software\Tervix":
// they go with the account's last install of Tervix. An install for the account alone
// keeps the records of names not given back there; a machine-wide one keeps them in
// the machine's own product key.
void DeleteAccountSettings(const wchar_t* key, Scope scope) {
    if (HasInstall(OtherScope(scope))) {
        LogAction(L"kept the account's settings of Tervix: another install of it stays");
        return;
    }
    if (scope == Scope::CurrentUser)
        DeleteProductKey(key, scope);
    else
        DeleteSettingTree(HKEY_CURRENT_USER, key);
}

}  // namespace

void CleanUpRegistryAndShell(Scope scope) {
    // Every choice off: the integration operations below then remove what setup made.
    const SetupChoices nothing = {};
    // A settings file that came beside the program after setup (the installer's preset)
    // may switch integration off: what setup wrote into the registry goes all the same.
    const bool registered = IsRegisteredInstall(scope);
    if (registered) EnableIntegration();

    SecurePreviousOwners(scope);
    AssociateAllTypes(nothing, scope);
    ReleaseRecoveryVolumeType(scope);
    // A choice of Tervix still names a ProgID of the install that stays.
    if (!HasInstall(OtherScope(scope))) RemoveTervixUserChoices();
    NotifyAssociationsChanged();

    // The shell lets go of the extension while its files still exist.
    RegisterShellExtension(true, nothing, scope);
    UpdateShortcuts(nothing, nullptr, 0, nullptr, scope);

    for (const ProductKey& key : kProductKeys) {
        const HKEY root = key.place == Place::Classes ? ClassesRoot(scope) : MachineRoot(scope);
        if (key.withSubkeys) {
            DeleteSettingTree(root, key.path, key.view);
        } else {
            DeleteSettingKey(root, key.path, key.view);
        }
    }
    DeleteAccountSettings(L"", scope);
    // That file also hides the product keys setup wrote into the registry before it came.
    if (registered && SettingsFileLoaded()) {
        DeleteAccountSettings(L"\\Software\\Tervix", scope);
        if (scope == Scope::Machine) DeleteProductKey(L"\\Software\\Tervix", scope);
    }
}

void RemoveIntegration(Scope scope) {
    CleanUpRegistryAndShell(scope);
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
