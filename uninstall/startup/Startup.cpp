#include "startup/Startup.h"

#include <new>
#include <string>

#include "platform/DiskFile.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
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
    // Into the install folder, the program's own (the current folder may be System32
    // after an elevation prompt); an existing file there is kept.
    wchar_t target[kPathCapacity];
    GetProgramFolder(target, kPathCapacity);
    JoinPath(target, L"tervix.ini", target, kPathCapacity);
    if (FileExists(source)) CopyFileW(source, target, TRUE);
}

void RunCatchingExit(const std::function<void()>& job) {
    try {
        job();
    } catch (const TVX_EXIT& error) {
        LogAction(L"stopped by error " + std::to_wstring(error.code));
        ReportAbort(error.code);
    } catch (const std::bad_alloc&) {
        LogAction(L"stopped: out of memory");
        ReportAbort(kExitMemory);
    }
}

}  // namespace tvx
