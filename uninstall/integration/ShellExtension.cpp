#include "integration/ShellExtension.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "integration/Associations.h"
#include "integration/PreviousOwners.h"
#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/Strings.h"
#include "platform/WindowsVersion.h"
#include "settings/Settings.h"
#include "startup/RunOptions.h"
#include "startup/Ui.h"

namespace tvx {

namespace {

constexpr wchar_t kApprovedKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr wchar_t kRegisteredAppsKey[] = L"\\Software\\RegisteredApplications";
// Absolute paths: Windows reads the key that "RegisteredApplications" names from the
// registry, so in portable mode it must not go into the settings file with the
// product's own settings.
constexpr wchar_t kCapabilitiesKey[] = L"\\Software\\Tervix\\Capabilities";
constexpr wchar_t kFileAssociationsKey[] = L"\\Software\\Tervix\\Capabilities\\FileAssociations";
constexpr wchar_t kPackageFile[] = L"TvxExtPackage.msix";
constexpr wchar_t kInstallerFile[] = L"TvxExtInstaller.exe";
constexpr DWORD kInstallerWaitMs = 20000;

struct Variant {
    const wchar_t* dllName;
    const wchar_t* classId;
    const wchar_t* handlerName;
    bool is32;
};

// The 32-bit variant goes first so that the 64-bit one has the last word on the keys
// both of them write (the drop handlers).
constexpr Variant kVariants[] = {
    {L"tvxext32.dll", L"{6F1C2D40-3A51-4A1B-9C3D-5E6F7A8B9C0D}", L"Tervix32", true},
    {L"tvxext.dll", L"{6F1C2D40-3A64-4A1B-9C3D-5E6F7A8B9C0D}", L"Tervix", false},
};

// What fills the "%s" of a handler key. Keys named by the class id carry an empty
// default value; the others point at the class id.
enum class FormedWith { ClassId, HandlerName, Nothing };

struct HandlerKey {
    const wchar_t* format;
    FormedWith formedWith;
};

constexpr HandlerKey kHandlerKeys[] = {
    {L"Tervix\\shellex\\PropertySheetHandlers\\%ls", FormedWith::ClassId},
    {L"Tervix.ZIP\\shellex\\PropertySheetHandlers\\%ls", FormedWith::ClassId},
    {L"exefile\\shellex\\PropertySheetHandlers\\%ls", FormedWith::ClassId},
    {L"Tervix\\shellex\\DropHandler", FormedWith::Nothing},
    {L"Tervix.ZIP\\shellex\\DropHandler", FormedWith::Nothing},
    {L"Folder\\shellex\\DragDropHandlers\\%ls", FormedWith::HandlerName},
    {L"Drive\\shellex\\DragDropHandlers\\%ls", FormedWith::HandlerName},
};

constexpr HandlerKey kContextMenuKeys[] = {
    {L"Tervix\\shellex\\ContextMenuHandlers\\%ls", FormedWith::ClassId},
    {L"Tervix.ZIP\\shellex\\ContextMenuHandlers\\%ls", FormedWith::ClassId},
    {L"*\\shellex\\ContextMenuHandlers\\%ls", FormedWith::HandlerName},
    {L"Folder\\shellex\\ContextMenuHandlers\\%ls", FormedWith::HandlerName},
    {L"lnkfile\\shellex\\ContextMenuHandlers\\%ls", FormedWith::HandlerName},
};

constexpr size_t kKeyCapacity = 512;

void FormatHandlerKey(const HandlerKey& row, const wchar_t* classId, const wchar_t* handlerName, wchar_t* key) {
    const wchar_t* argument = row.formedWith == FormedWith::HandlerName ? handlerName : classId;
    FormatText(key, kKeyCapacity, row.format, argument);
}

template <size_t N>
void WriteHandlerKeys(const HandlerKey (&rows)[N], const wchar_t* classId, const wchar_t* handlerName, Scope scope) {
    for (const HandlerKey& row : rows) {
        wchar_t key[kKeyCapacity];
        FormatHandlerKey(row, classId, handlerName, key);
        WriteSettingString(ClassesRoot(scope), key, L"", row.formedWith == FormedWith::ClassId ? L"" : classId);
    }
}

template <size_t N>
void DeleteHandlerKeys(const HandlerKey (&rows)[N], const wchar_t* classId, const wchar_t* handlerName, Scope scope) {
    for (const HandlerKey& row : rows) {
        wchar_t key[kKeyCapacity];
        FormatHandlerKey(row, classId, handlerName, key);
        DeleteSettingKey(ClassesRoot(scope), key);
    }
}

void ClassKeys(const wchar_t* classId, wchar_t* classKey, wchar_t* serverKey) {
    FormatText(classKey, kKeyCapacity, L"CLSID\\%ls", classId);
    FormatText(serverKey, kKeyCapacity, L"CLSID\\%ls\\InProcServer32", classId);
}

void WriteClassKeys(const wchar_t* classId, const wchar_t* dllPath, REGSAM view, Scope scope) {
    wchar_t classKey[kKeyCapacity];
    wchar_t serverKey[kKeyCapacity];
    ClassKeys(classId, classKey, serverKey);
    const HKEY classes = ClassesRoot(scope);
    WriteSettingString(classes, classKey, L"", L"Tervix", view);
    WriteSettingString(classes, serverKey, L"", dllPath, view);
    WriteSettingString(classes, serverKey, L"ThreadingModel", L"Apartment", view);
}

// Single-key deletions: the subkey has to go before its parent.
void DeleteClassKeys(const wchar_t* classId, REGSAM view, Scope scope) {
    wchar_t classKey[kKeyCapacity];
    wchar_t serverKey[kKeyCapacity];
    ClassKeys(classId, classKey, serverKey);
    DeleteSettingKey(ClassesRoot(scope), serverKey, view);
    DeleteSettingKey(ClassesRoot(scope), classKey, view);
}

// The path in the value is relative to the hive that holds the value: Windows reads a
// registered application of the account's own hive from that hive.
void WriteRegisteredApplication(Scope scope) {
    const HKEY hive = MachineRoot(scope);
    WriteSettingString(hive, kRegisteredAppsKey, L"Tervix", L"Software\\Tervix\\Capabilities");
    WriteSettingString(hive, kCapabilitiesKey, L"ApplicationDescription", L"Tervix");
    // Every type Tervix can open is listed, whatever the user associated: the list says
    // what the program is able to handle, not what it owns.
    for (size_t i = 0; i < kArchiveTypeCount; ++i) {
        const wchar_t* progId = i == 1 ? L"Tervix.ZIP" : L"Tervix";
        const wchar_t* cursor = ArchiveTypeTable[i];
        wchar_t extension[50];
        while (NextExtension(&cursor, extension, 50)) {
            WriteSettingString(hive, kFileAssociationsKey, extension, progId);
        }
    }
}

bool IsModernWindows() { return WindowsVersionNumber() >= 0x0600; }

// What setup wrote into the product key of the scope. The machine's holds nothing else
// (but the records of names not given back); the account's own is its settings key as
// well, which is the uninstall's to delete with the settings.
void RemoveProductKeyValues(Scope scope) {
    if (scope == Scope::Machine) {
        DeleteProductKey(L"", scope);
        return;
    }
    DeleteSettingValue(MachineRoot(scope), L"", L"exe64");
    DeleteSettingTree(MachineRoot(scope), kCapabilitiesKey);
}

}  // namespace

bool RegisterAppPath(Scope scope) {
    wchar_t folder[kPathCapacity];
    wchar_t path[kPathCapacity];
    GetProgramFolder(folder, kPathCapacity);
    JoinPath(folder, L"Tervix.exe", path, kPathCapacity);

    // The first machine-wide write tells whether we may change the system at all.
    const HKEY hive = MachineRoot(scope);
    if (WriteSettingString(hive, kAppPathsKey, L"", path) == ERROR_ACCESS_DENIED) return false;
    WriteSettingString(hive, L"", L"exe64", path);
    WriteSettingString(hive, kAppPathsKey, L"Path", folder);

    // 32-bit programs look the path up in their own view of the registry.
    WriteSettingString(hive, kAppPathsKey, L"", path, KEY_WOW64_32KEY);
    WriteSettingString(hive, kAppPathsKey, L"Path", folder, KEY_WOW64_32KEY);
    return true;
}

void RegisterShellExtension(bool remove, const SetupChoices& choices, Scope scope) {
    for (const Variant& variant : kVariants) {
        RegisterShellExtensionVariant(choices, variant.dllName, variant.classId, variant.handlerName, variant.is32,
                                      scope);
    }

    if (IsModernWindows()) {
        if (remove) {
            DeleteSettingValue(MachineRoot(scope), kRegisteredAppsKey, L"Tervix");
            DeleteSettingTree(MachineRoot(scope), kCapabilitiesKey);
            RemoveProductKeyValues(scope);
        } else {
            WriteRegisteredApplication(scope);
        }
    } else if (remove) {
        RemoveProductKeyValues(scope);
    }

    NotifyAssociationsChanged();
}

void RegisterShellExtensionVariant(const SetupChoices& choices, const wchar_t* dllName, const wchar_t* classId,
                                   const wchar_t* handlerName, bool is32, Scope scope) {
    const bool enable = choices.bytes[kChoiceShellExtension] == 1;
    const REGSAM variantView = is32 ? KEY_WOW64_32KEY : kNativeView;

    if (enable) {
        wchar_t folder[kPathCapacity];
        wchar_t dllPath[kPathCapacity];
        GetProgramFolder(folder, kPathCapacity);
        JoinPath(folder, dllName, dllPath, kPathCapacity);
        // A class pointing at a missing file would make Explorer try to load it on
        // every right-click; the handler keys alone are harmless.
        if (FileExists(dllPath)) WriteClassKeys(classId, dllPath, variantView, scope);
        WriteHandlerKeys(kHandlerKeys, classId, handlerName, scope);
        WriteSettingString(MachineRoot(scope), kApprovedKey, classId, L"Tervix shell extension");
    } else {
        // Remove the class from both views: an earlier install may have left it in
        // either one.
        DeleteClassKeys(classId, kNativeView, scope);
        DeleteClassKeys(classId, variantView, scope);
        DeleteHandlerKeys(kHandlerKeys, classId, handlerName, scope);
        DeleteSettingValue(MachineRoot(scope), kApprovedKey, classId);
    }

    const bool windows11 = IsWindows11();
    if (!is32 && windows11) RunMenuPackageInstaller(enable);

    // Windows 11 shows the classic handlers only behind "Show more options"; there the
    // menu package takes their place unless the user asked for the legacy menu.
    if (enable && (!windows11 || choices.bytes[kChoiceLegacyMenu] == 1)) {
        WriteHandlerKeys(kContextMenuKeys, classId, handlerName, scope);
    } else {
        DeleteHandlerKeys(kContextMenuKeys, classId, handlerName, scope);
    }
}

void RunMenuPackageInstaller(bool install) {
    if (!IntegrationEnabled()) return;

    wchar_t folder[kPathCapacity];
    wchar_t package[kPathCapacity];
    wchar_t installer[kPathCapacity];
    GetProgramFolder(folder, kPathCapacity);
    JoinPath(folder, kPackageFile, package, kPathCapacity);
    JoinPath(folder, kInstallerFile, installer, kPathCapacity);
    if (!FileExists(package) || !FileExists(installer)) return;

    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    // No error box and no download-zone question: an unattended run has nobody to answer.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS | (install ? 0 : SEE_MASK_NOCLOSEPROCESS);
    info.lpFile = installer;
    info.lpParameters = install ? L"-install" : L"-Uninstall";
    info.nShow = Options().silent ? SW_HIDE : SW_SHOWNORMAL;
    // The package must be gone before the files it points at are deleted, but a hung
    // installer must not hold up the uninstall for ever; meanwhile the dialog goes on
    // answering, so that Windows does not call it hung.
    if (ShellExecuteExW(&info)) {
        LogAction(std::wstring(L"started ") + installer + L" " + info.lpParameters);
        UniqueHandle process(info.hProcess);
        if (process && !WaitWhileDispatching(process.get(), kInstallerWaitMs))
            LogAction(L"the menu-package installer is still running; going on without it");
    } else {
        LogFailure(std::wstring(L"start ") + installer, GetLastError());
    }

    WriteUserInt(L"Setup", L"NewContextMenu", install ? 1 : 0);
}

}  // namespace tvx
