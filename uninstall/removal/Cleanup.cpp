#include "removal/Cleanup.h"

#include <windows.h>
#include <shlobj.h>

#include "integration/SetupChoices.h"
#include "settings/Settings.h"

namespace tvx {
namespace {

struct ProductKey {
    HKEY root;
    const wchar_t* path;  // as the settings store takes it: relative to "Software\Tervix" unless it starts with "\"
    bool withSubkeys;
};

// In this order; the settings store decides whether the registry or the portable
// settings file is touched.
const ProductKey kProductKeys[] = {
    {HKEY_CLASSES_ROOT, L"Tervix", true},
    {HKEY_CLASSES_ROOT, L"Tervix.ZIP", true},
    {HKEY_CLASSES_ROOT, L"Tervix.REV", true},
    {HKEY_CLASSES_ROOT, L".rev", true},
    {HKEY_CURRENT_USER, L"", true},
    {HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver", false},
    {HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe", false},
};

}  // namespace

void CleanUpRegistryAndShell() {
    // Every choice off: the integration operations below then remove what setup made.
    [[maybe_unused]] const SetupChoices nothing = {};

    // File associations go back to their previous owners here (AssociateAllTypes).

    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);

    // The shell extension (RegisterShellExtension with remove) and the shortcuts and
    // program groups (UpdateShortcuts) are removed here, while their files still exist.

    for (const ProductKey& key : kProductKeys) {
        if (key.withSubkeys)
            DeleteSettingTree(key.root, key.path);
        else
            DeleteSettingKey(key.root, key.path);
    }
}

}  // namespace tvx
