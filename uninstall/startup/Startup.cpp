#include "startup/Startup.h"

#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace tvx {

void CopyFromInstallerFolder() {
    // Settings the user already has are never replaced by the installer's.
    wchar_t userFolder[kPathCapacity];
    GetUserDataFolder(userFolder, kPathCapacity, false);
    wchar_t userFile[kPathCapacity];
    JoinPath(userFolder, L"tervix.ini", userFile, kPathCapacity);
    if (FileExists(userFile)) return;

    // "sfxname" is the full path of the installer archive that started setup.
    wchar_t source[kPathCapacity] = {};
    DWORD length = GetEnvironmentVariableW(L"sfxname", source, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) return;
    ReplaceFileName(source, L"tervix.ini", kPathCapacity);
    // The current folder is the install folder; an existing file there is kept.
    if (FileExists(source)) CopyFileW(source, L"tervix.ini", TRUE);
}

}  // namespace tvx
