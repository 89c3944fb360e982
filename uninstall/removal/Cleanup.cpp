#include "removal/Cleanup.h"

#include <windows.h>
#include <shlobj.h>

#include "integration/Associations.h"
#include "integration/NewMenu.h"
#include "integration/SetupChoices.h"
#include "integration/ShellExtension.h"
#include "integration/Shortcuts.h"
#include "integration/UserChoice.h"
#include "platform/FileSystem.h"
#include "platform/RunLog.h"
#include "platform/Strings.h"
#include "removal/Uninstall.h"
#include "settings/Settings.h"

namespace tvx {
namespace {

struct ProductKey {
    HKEY root;
    const wchar_t* path;  // as the settings store takes it: relative to "Software\Tervix" unless it starts with "\"
    bool withSubkeys;
    REGSAM view = 0;  // single keys only: the registry view they are deleted in
};

// In this order; the settings store decides whether the registry or the portable
// settings file is touched.
const ProductKey kProductKeys[] = {
    {HKEY_CLASSES_ROOT, L"Tervix", true},
    {HKEY_CLASSES_ROOT, L"Tervix.ZIP", true},
    {HKEY_CLASSES_ROOT, L"Tervix.REV", true},
    {HKEY_CURRENT_USER, L"", true},
    {HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver", false},
    {HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe", false},
    // Setup writes the application path for 32-bit programs too; left there it would
    // point them at a deleted program.
    {HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe", false,
     KEY_WOW64_32KEY},
};

}  // namespace

void CleanUpRegistryAndShell() {
    // Every choice off: the integration operations below then remove what setup made.
    const SetupChoices nothing = {};

    AssociateAllTypes(nothing);
    ReleaseRecoveryVolumeType();
    RemoveTervixUserChoices();
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);

    // The shell lets go of the extension while its files still exist.
    RegisterShellExtension(true, nothing);
    UpdateShortcuts(nothing, nullptr, 0, nullptr);

    for (const ProductKey& key : kProductKeys) {
        if (key.withSubkeys) {
            DeleteSettingTree(key.root, key.path);
        } else {
            SetRegistryView(key.view);
            DeleteSettingKey(key.root, key.path);
            SetRegistryView(0);
        }
    }
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

}  // namespace tvx
