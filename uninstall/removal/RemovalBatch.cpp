#include "removal/RemovalBatch.h"

#include <windows.h>

#include <string>

#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "platform/Strings.h"
#include "startup/RunOptions.h"

namespace tvx {
namespace {

constexpr wchar_t kBatchName[] = L"Uninstall_Tvx.Bat";

}  // namespace

void WriteRemovalBatch(const wchar_t* programPath, const wchar_t* installFolder) {
    wchar_t batchPath[kPathCapacity] = {};
    const DWORD tempLength = GetTempPathW(static_cast<DWORD>(std::size(batchPath)), batchPath);
    // Without the temporary folder the batch would land in the install folder and keep it.
    if (tempLength == 0 || tempLength >= std::size(batchPath)) return;
    AppendText(batchPath, kBatchName, std::size(batchPath));

    const bool silent = Options().silent;
    bool everythingNamed;
    {
        UniqueCrtFile batch(OpenCrtFile(batchPath, L"wb"));
        if (!batch) return;
        const std::wstring& log = RunLogPath();
        everythingNamed =
            WriteBatchLines(batch.get(), programPath, installFolder, batchPath, silent, log.empty() ? nullptr : log.c_str());
    }

    wchar_t interpreter[kPathCapacity] = {};
    const DWORD length = GetEnvironmentVariableW(L"COMSPEC", interpreter, static_cast<DWORD>(std::size(interpreter)));
    if (length >= std::size(interpreter)) interpreter[0] = 0;
    // Never cut: a cut command line would name no batch at all.
    std::wstring command = std::wstring(interpreter) + L" /c \"" + batchPath + L"\"";

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    // The interpreter must not hold the install folder as its current folder.
    SetCurrentDirectoryW(L"..");
    PROCESS_INFORMATION started = {};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        UniqueHandle process(started.hProcess), thread(started.hThread);
        LogAction(L"started the self-removal batch " + std::wstring(batchPath));
    } else {
        LogFailure(L"start the self-removal batch " + std::wstring(batchPath), GetLastError());
    }

    // The batch cannot name the program file, so it stays: say so, as the batch would.
    if (!everythingNamed) {
        LogAction(L"left what the self-removal batch cannot name of " + std::wstring(programPath) + L" and " +
                  installFolder);
        ReportOutcome(Outcome::Failed);
        ShowUninstallWarning();
    }
}

}  // namespace tvx
