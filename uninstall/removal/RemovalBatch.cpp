#include "removal/RemovalBatch.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <string>

#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "platform/Strings.h"
#include "startup/RunOptions.h"

namespace tvx {
namespace {

constexpr wchar_t kBatchName[] = L"Uninstall_Tvx.Bat";

// Created new, never opened: whatever stands at the name already, whoever put it there,
// is not ours to write or to run. The error stays in GetLastError().
FILE* CreateNewFile(const wchar_t* path) {
    UniqueFileHandle handle(
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return nullptr;
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) return nullptr;
    handle.release();
    FILE* file = _wfdopen(descriptor, L"wb");
    if (!file) _close(descriptor);
    return file;
}

bool StartBatch(const std::wstring& batchPath, const std::wstring& batchFolder) {
    // The system's own interpreter, whatever COMSPEC names: that variable is anyone's to
    // set for an uninstall that may run elevated.
    wchar_t interpreter[kPathCapacity];
    if (!GetSystemFilePath(L"cmd.exe", interpreter, std::size(interpreter))) {
        LogFailure(L"find the command interpreter for the self-removal batch " + batchPath, GetLastError());
        return false;
    }
    // The batch cannot remove its own file and folder: the interpreter may hold the file
    // open while it runs it. The interpreter does that once the batch has ended, from a
    // command line that needs no code page. "/d": no AutoRun command runs along.
    // Never cut: a cut command line would name no batch at all.
    const std::wstring batch = L"\"" + batchPath + L"\"";
    std::wstring command = L"\"" + std::wstring(interpreter) + L"\" /d /c \"" + batch + L" & del " + batch +
                           L" & rd \"" + batchFolder + L"\"\"";
    // The interpreter works from the folder above its own, never from the install folder.
    wchar_t workFolder[kPathCapacity];
    FolderPart(batchFolder.c_str(), workFolder, std::size(workFolder));

    // No console window, and none of our handles: the batch outlives the program, and a
    // handle it inherited (the run log, a file of the install folder) would stay open.
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(interpreter, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, workFolder,
                        &startup, &started)) {
        LogFailure(L"start the self-removal batch " + batchPath, GetLastError());
        return false;
    }
    UniqueHandle process(started.hProcess), thread(started.hThread);
    LogAction(L"started the self-removal batch " + batchPath);
    return true;
}

}  // namespace

void WriteRemovalBatch(const SelfRemoval& removal, const wchar_t* installFolder) {
    // The batch removes the install folder only when the program file could not leave it.
    const wchar_t* folderLeft = removal.programMoved ? nullptr : installFolder;
    bool everythingNamed = false;
    bool started = false;
    if (!removal.batchFolder.empty()) {
        const std::wstring batchPath = removal.batchFolder + L"\\" + kBatchName;
        UniqueCrtFile batch(CreateNewFile(batchPath.c_str()));
        if (batch) {
            const std::wstring& log = RunLogPath();
            everythingNamed = WriteBatchLines(batch.get(), removal.program.c_str(), folderLeft, Options().silent,
                                              log.empty() ? nullptr : log.c_str());
            batch.reset();
            LogAction(L"wrote the self-removal batch " + batchPath);
            started = StartBatch(batchPath, removal.batchFolder);
        } else {
            LogFailure(L"create the self-removal batch " + batchPath, GetLastError());
        }
    }

    // What no batch removes stays: say so, as the batch would.
    if (!started || !everythingNamed) {
        LogAction(L"left what no self-removal batch deletes of " + removal.program +
                  (folderLeft ? L" and " + std::wstring(folderLeft) : L""));
        ReportOutcome(Outcome::Failed);
        ShowUninstallWarning(removal.program.c_str());
    }
}

}  // namespace tvx
