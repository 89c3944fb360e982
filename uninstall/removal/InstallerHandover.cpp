#include "removal/InstallerHandover.h"

#include <windows.h>

#include <iterator>
#include <string>

#include "lang/Texts.h"
#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "removal/RemovalBatch.h"
#include "removal/SelfRemoval.h"
#include "resources/ResourceIds.h"
#include "settings/Settings.h"
#include "startup/RunOptions.h"
#include "startup/Ui.h"

namespace tvx {
namespace {

// Where Windows Installer lists the products it installed for the machine, each under
// its product code, marked "WindowsInstaller" = 1.
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr DWORD kKeyNameCapacity = 256;

bool IsInstallerEntry(HKEY entry) {
    DWORD type = REG_NONE, value = 0, size = sizeof value;
    return RegQueryValueExW(entry, L"WindowsInstaller", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && value == 1;
}

// The running program's file cannot be removed, so it moves into a private folder and a
// copy takes its place: Windows Installer runs that copy to remove the integration and
// then removes it with the other files. Without a private folder or a copy, the file
// stays where it is and Windows Installer leaves it to the restart.
SelfRemoval MoveProgramAside(const wchar_t* programPath) {
    SelfRemoval aside;
    aside.program = programPath;
    wchar_t temp[kPathCapacity] = {};
    const DWORD tempLength = GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
    if (tempLength == 0 || tempLength >= std::size(temp)) return aside;
    // Nor may the install folder be this process's current folder.
    SetCurrentDirectoryW(temp);
    aside.batchFolder = CreatePrivateFolder(temp);
    if (aside.batchFolder.empty()) return aside;

    const std::wstring target = aside.batchFolder + L"\\" + FileNamePart(programPath);
    if (!MoveFileLong(programPath, target.c_str())) {
        LogAction(L"left the program file in the install folder: it cannot move to " + target + L" (error " +
                  std::to_wstring(GetLastError()) + L")");
    } else if (!CopyFileW(target.c_str(), programPath, TRUE)) {
        LogAction(L"left the program file in the install folder: no copy of it could take its place (error " +
                  std::to_wstring(GetLastError()) + L")");
        MoveFileLong(target.c_str(), programPath);
    } else {
        LogAction(L"moved the program file " + std::wstring(programPath) + L" to " + target + L" and put a copy back");
        aside.program = target;
        aside.programMoved = true;
        return aside;
    }
    RemoveFolderLong(aside.batchFolder.c_str());
    aside.batchFolder.clear();
    return aside;
}

// The installer's own command line: the system's msiexec by its full path, quiet when
// this run is. Its removal of the integration appends to this run's log.
std::wstring InstallerCommand(const std::wstring& productCode) {
    wchar_t msiexec[kPathCapacity];
    if (!GetSystemFilePath(L"msiexec.exe", msiexec, kPathCapacity)) return L"";
    std::wstring command = L"\"" + std::wstring(msiexec) + L"\" /x " + productCode;
    if (Options().silent) command += L" /qn";
    if (!RunLogPath().empty()) command += L" TVXLOG=\"" + RunLogPath() + L"\"";
    return command;
}

// Runs the command to its end; false when it could not be started.
bool RunInstaller(std::wstring command, DWORD* exitCode) {
    wchar_t system[kPathCapacity] = {};
    GetSystemDirectoryW(system, kPathCapacity);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (command.empty() ||
        !CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, system, &startup, &started))
        return false;
    UniqueHandle process(started.hProcess), thread(started.hThread);
    LogAction(L"started " + command);
    WaitForSingleObject(process.get(), INFINITE);
    if (!GetExitCodeProcess(process.get(), exitCode)) *exitCode = static_cast<DWORD>(kExitFailed);
    return true;
}

}  // namespace

bool FindInstallerProduct(const wchar_t* installFolder, std::wstring* productCode) {
    UniqueHkey products;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, products.put()) != ERROR_SUCCESS) return false;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kKeyNameCapacity];
        DWORD length = kKeyNameCapacity;
        if (RegEnumKeyExW(products.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        UniqueHkey entry;
        if (RegOpenKeyExW(products.get(), name, 0, KEY_QUERY_VALUE, entry.put()) != ERROR_SUCCESS ||
            !IsInstallerEntry(entry.get()))
            continue;
        std::wstring location;
        if (ReadRegistryString(entry.get(), L"", L"InstallLocation", &location) && !location.empty() &&
            IsSameFile(location.c_str(), installFolder)) {
            *productCode = name;
            return true;
        }
    }
}

bool HandOverToWindowsInstaller() {
    wchar_t programPath[kPathCapacity], installFolder[kPathCapacity];
    GetProgramPath(programPath, kPathCapacity);
    GetProgramFolder(installFolder, kPathCapacity);
    std::wstring productCode;
    if (!FindInstallerProduct(installFolder, &productCode)) return false;
    LogAction(L"the install belongs to the Windows Installer product " + productCode + L", which removes it");

    const SelfRemoval aside = MoveProgramAside(programPath);
    const std::wstring command = InstallerCommand(productCode);
    DWORD exitCode = 0;
    if (RunInstaller(command, &exitCode)) {
        LogAction(L"Windows Installer ended with " + std::to_wstring(exitCode));
        ReportInstallerResult(static_cast<int32_t>(exitCode));
    } else {
        LogFailure(L"start Windows Installer: " + command, GetLastError());
        wchar_t text[1024], caption[256];
        InsertArgument(LoadText(IDS_INSTALLERNOTSTARTED), command.c_str(), text, std::size(text));
        LoadTextInto(IDS_UNINSTALLTVX, caption, std::size(caption));
        ShowMessage(nullptr, text, caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    }
    // The copy in the install folder is Windows Installer's now, whatever it did.
    if (aside.programMoved) WriteRemovalBatch(aside, nullptr);
    return true;
}

}  // namespace tvx
