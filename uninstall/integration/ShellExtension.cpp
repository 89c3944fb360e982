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

constexpr wchar_t kAppPathsKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe";
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
void WriteHandlerKeys(const HandlerKey (&rows)[N], const wchar_t* classId, const wchar_t* handlerName) {
    for (const HandlerKey& row : rows) {
        wchar_t key[kKeyCapacity];
        FormatHandlerKey(row, classId, handlerName, key);
        WriteSettingString(HKEY_CLASSES_ROOT, key, L"", row.formedWith == FormedWith::ClassId ? L"" : classId);
    }
}

template <size_t N>
void DeleteHandlerKeys(const HandlerKey (&rows)[N], const wchar_t* classId, const wchar_t* handlerName) {
    for (const HandlerKey& row : rows) {
        wchar_t key[kKeyCapacity];
        FormatHandlerKey(row, classId, handlerName, key);
        DeleteSettingKey(HKEY_CLASSES_ROOT, key);
    }
}

void ClassKeys(const wchar_t* classId, wchar_t* classKey, wchar_t* serverKey) {
    FormatText(classKey, kKeyCapacity, L"CLSID\\%ls", classId);
    FormatText(serverKey, kKeyCapacity, L"CLSID\\%ls\\InProcServer32", classId);
}

void WriteClassKeys(const wchar_t* classId, const wchar_t* dllPath, REGSAM view) {
    wchar_t classKey[kKeyCapacity];
    wchar_t serverKey[kKeyCapacity];
    ClassKeys(classId, classKey, serverKey);
    WriteSettingString(HKEY_CLASSES_ROOT, classKey, L"", L"Tervix", view);
    WriteSettingString(HKEY_CLASSES_ROOT, serverKey, L"", dllPath, view);
    WriteSettingString(HKEY_CLASSES_ROOT, serverKey, L"ThreadingModel", L"Apartment", view);
}

// Single-key deletions: the subkey has to go before its parent.
void DeleteClassKeys(const wchar_t* classId, REGSAM view) {
    wchar_t classKey[kKeyCapacity];
    wchar_t serverKey[kKeyCapacity];
    ClassKeys(classId, classKey, serverKey);
    DeleteSettingKey(HKEY_CLASSES_ROOT, serverKey, view);
    DeleteSettingKey(HKEY_CLASSES_ROOT, classKey, view);
}

void WriteRegisteredApplication() {
    WriteSettingString(HKEY_LOCAL_MACHINE, kRegisteredAppsKey, L"Tervix", L"Software\\Tervix\\Capabilities");
    WriteSettingString(HKEY_LOCAL_MACHINE, kCapabilitiesKey, L"ApplicationDescription", L"Tervix");
    // Every type Tervix can open is listed, whatever the user associated: the list says
    // what the program is able to handle, not what it owns.
    for (size_t i = 0; i < kArchiveTypeCount; ++i) {
        const wchar_t* progId = i == 1 ? L"Tervix.ZIP" : L"Tervix";
        const wchar_t* cursor = ArchiveTypeTable[i];
        wchar_t extension[50];
        while (NextExtension(&cursor, extension, 50)) {
            WriteSettingString(HKEY_LOCAL_MACHINE, kFileAssociationsKey, extension, progId);
        }
    }
}

bool IsModernWindows() { return WindowsVersionNumber() >= 0x0600; }

}  // namespace

bool RegisterAppPath() {
    wchar_t folder[kPathCapacity];
    wchar_t path[kPathCapacity];
    GetProgramFolder(folder, kPathCapacity);
    JoinPath(folder, L"Tervix.exe", path, kPathCapacity);

    // The first machine-wide write tells whether we may change the system at all.
    if (WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"", path) == ERROR_ACCESS_DENIED) return false;
    WriteSettingString(HKEY_LOCAL_MACHINE, L"", L"exe64", path);
    WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"Path", folder);

    // 32-bit programs look the path up in their own view of the registry.
    WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"", path, KEY_WOW64_32KEY);
    WriteSettingString(HKEY_LOCAL_MACHINE, kAppPathsKey, L"Path", folder, KEY_WOW64_32KEY);
    return true;
}

void RegisterShellExtension(bool remove, const SetupChoices& choices) {
    for (const Variant& variant : kVariants) {
        RegisterShellExtensionVariant(choices, variant.dllName, variant.classId, variant.handlerName, variant.is32);
    }

    if (IsModernWindows()) {
        if (remove) {
            DeleteSettingValue(HKEY_LOCAL_MACHINE, kRegisteredAppsKey, L"Tervix");
            DeleteSettingTree(HKEY_LOCAL_MACHINE, kCapabilitiesKey);
            DeleteMachineProductKey(L"");
        } else {
            WriteRegisteredApplication();
        }
    } else if (remove) {
        DeleteMachineProductKey(L"");
    }

    NotifyAssociationsChanged();
}

void RegisterShellExtensionVariant(const SetupChoices& choices, const wchar_t* dllName, const wchar_t* classId,
                                   const wchar_t* handlerName, bool is32) {
    const bool enable = choices.bytes[kChoiceShellExtension] == 1;
    const REGSAM variantView = is32 ? KEY_WOW64_32KEY : kNativeView;

    if (enable) {
        wchar_t folder[kPathCapacity];
        wchar_t dllPath[kPathCapacity];
        GetProgramFolder(folder, kPathCapacity);
        JoinPath(folder, dllName, dllPath, kPathCapacity);
        // A class pointing at a missing file would make Explorer try to load it on
        // every right-click; the handler keys alone are harmless.
        if (FileExists(dllPath)) WriteClassKeys(classId, dllPath, variantView);
        WriteHandlerKeys(kHandlerKeys, classId, handlerName);
        WriteSettingString(HKEY_LOCAL_MACHINE, kApprovedKey, classId, L"Tervix shell extension");
    } else {
        // Remove the class from both views: an earlier install may have left it in
        // either one.
        DeleteClassKeys(classId, kNativeView);
        DeleteClassKeys(classId, variantView);
        DeleteHandlerKeys(kHandlerKeys, classId, handlerName);
        DeleteSettingValue(HKEY_LOCAL_MACHINE, kApprovedKey, classId);
    }

    const bool windows11 = IsWindows11();
    if (!is32 && windows11) RunMenuPackageInstaller(enable);

    // Windows 11 shows the classic handlers only behind "Show more options"; there the
    // menu package takes their place unless the user asked for the legacy menu.
    if (enable && (!windows11 || choices.bytes[kChoiceLegacyMenu] == 1)) {
        WriteHandlerKeys(kContextMenuKeys, classId, handlerName);
    } else {
        DeleteHandlerKeys(kContextMenuKeys, classId, handlerName);
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
