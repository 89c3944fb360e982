#include "removal/SelfRemoval.h"

#include <windows.h>
#include <bcrypt.h>
#include <sddl.h>

#include <iterator>

#include "platform/Account.h"
#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/Strings.h"
#include "removal/Uninstall.h"
#include "startup/Ui.h"

namespace tvx {
namespace {

constexpr wchar_t kPrivateFolderPrefix[] = L"TvxUninstall-";
constexpr int kNameAttempts = 16;
constexpr int kFolderAttempts = 6;
constexpr DWORD kFolderPauseMs = 200;

// 128 random bits in hex: nobody can guess the name to create something there first.
// The generator's library is no KnownDLL: it comes from the system folder by its full
// path, never from beside the program, where anyone who may write there could plant one.
bool RandomName(std::wstring* name) {
    using GenerateRandom = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, PUCHAR, ULONG, ULONG);
    const UniqueModule library(LoadSystemLibrary(L"bcrypt.dll"));
    FARPROC address = library ? GetProcAddress(library.get(), "BCryptGenRandom") : nullptr;
    if (!address) return false;
    const auto generate = reinterpret_cast<GenerateRandom>(reinterpret_cast<void*>(address));
    unsigned char bytes[16];
    if (!BCRYPT_SUCCESS(generate(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) return false;
    *name = kPrivateFolderPrefix;
    for (unsigned char byte : bytes) {
        *name += L"0123456789abcdef"[byte >> 4];
        *name += L"0123456789abcdef"[byte & 15];
    }
    return true;
}

bool IsDriveRoot(const wchar_t* folder) { return *LastCharacter(folder) == L'\\'; }

// A file just deleted stays in its folder until the last handle to it is closed (a
// virus scanner's, the search indexer's): a few more tries, a fifth of a second apart.
// The error of the last try stays in GetLastError().
bool RemoveEmptiedFolder(const wchar_t* folder) {
    for (int attempt = 1;; ++attempt) {
        if (RemoveFolderLong(folder)) return true;
        const DWORD error = GetLastError();
        if (attempt == kFolderAttempts || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            SetLastError(error);
            return false;
        }
        Sleep(kFolderPauseMs);
    }
}

}  // namespace

std::wstring PrivateFolderSecurity(const std::wstring& accountSid) {
    // "P" keeps the parent's entries out: a temporary folder open to every user passes
    // on entries that would open this folder too.
    return L"D:P(A;OICI;FA;;;" + accountSid + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
}

bool CreatePrivateFolderAt(const std::wstring& path) {
    const std::wstring account = CurrentAccountSid();
    if (account.empty()) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(PrivateFolderSecurity(account).c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    UniqueLocalMem ownedDescriptor(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    // Fails with ERROR_ALREADY_EXISTS for a folder, a file or a link standing there.
    return CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

std::wstring CreatePrivateFolder(const std::wstring& parent) {
    DWORD error = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts && error == ERROR_ALREADY_EXISTS; ++attempt) {
        std::wstring name;
        if (!RandomName(&name)) {
            error = ERROR_GEN_FAILURE;
            break;
        }
        const std::wstring folder = parent + name;
        if (CreatePrivateFolderAt(folder)) {
            LogAction(L"created the private folder " + folder);
            return folder;
        }
        error = GetLastError();
    }
    LogFailure(L"create a private folder in " + parent, error);
    return L"";
}

SelfRemoval RemoveInstallFolder(const wchar_t* programPath, const wchar_t* installFolder, bool filesDeferred) {
    SelfRemoval removal;
    removal.program = programPath;
    wchar_t temp[kPathCapacity] = {};
    const DWORD tempLength = GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
    if (tempLength == 0 || tempLength >= std::size(temp)) {
        LogFailure(L"find the temporary folder", tempLength == 0 ? GetLastError() : ERROR_BUFFER_OVERFLOW);
    } else {
        removal.batchFolder = CreatePrivateFolder(temp);
        // Windows keeps a folder that is some process's current folder.
        SetCurrentDirectoryW(temp);
    }

    if (!removal.batchFolder.empty()) {
        const std::wstring target = removal.batchFolder + L"\\" + FileNamePart(programPath);
        // A running program's file can be renamed within its volume, not copied to another.
        if (MoveFileLong(programPath, target.c_str())) {
            LogAction(L"moved the program file " + std::wstring(programPath) + L" to " + target);
            removal.program = target;
            removal.programMoved = true;
        } else {
            LogAction(L"left the program file to the self-removal batch: it cannot move to " + target + L" (error " +
                      std::to_wstring(GetLastError()) + L")");
        }
    }

    bool atRestart = false;
    if (IsDriveRoot(installFolder)) {
        // A drive root is nobody's to remove.
    } else if (!removal.programMoved) {
        // The batch empties the folder after the program has ended; deferred files keep
        // it until the restart.
        atRestart = filesDeferred;
    } else if (filesDeferred ? RemoveFolderLong(installFolder) : RemoveEmptiedFolder(installFolder)) {
        LogAction(L"deleted the install folder " + std::wstring(installFolder));
    } else {
        const DWORD error = GetLastError();
        if (error == ERROR_DIR_NOT_EMPTY) {
            // Neither is a failure: files deferred to the restart keep the folder until
            // then; anything else left was not listed (the user's own files, kept with
            // their folder) or could not be removed, which the run has counted already.
            if (filesDeferred)
                atRestart = true;
            else
                LogAction(L"left the install folder " + std::wstring(installFolder) + L": files remain in it");
        } else if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            LogAction(L"could not delete the install folder " + std::wstring(installFolder) + L" now (error " +
                      std::to_wstring(error) + L")");
            atRestart = true;
        }
    }
    // Whether the run is silent or not: an emptied folder must not stay for good.
    if (atRestart) removal.folderAtRestart = DeleteAtRestart(installFolder);
    return removal;
}

}  // namespace tvx
