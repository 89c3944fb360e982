#pragma once
// Drives tools/FileLocker.exe: another process that holds a file the way Windows
// programs do, so that deleting it fails as it does on a user's machine.

#include <windows.h>

#include <string>

#include "TestSupport.h"

namespace tvxtest {

class FileLocker {
public:
    enum class Mode { LoadAsLibrary, OpenWithoutSharing };

    FileLocker() = default;
    ~FileLocker() { Release(); }
    FileLocker(const FileLocker&) = delete;
    FileLocker& operator=(const FileLocker&) = delete;

    // True once the helper holds the file.
    bool Hold(Mode mode, const std::wstring& path) {
        static LONG counter = 0;
        name_ = L"tvxlock-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(InterlockedIncrement(&counter));
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, (name_ + L"-ready").c_str()));
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, (name_ + L"-stop").c_str()));
        const std::wstring command = L"\"" + BuildDir() + L"\\tools\\FileLocker.exe\" " +
                                     (mode == Mode::LoadAsLibrary ? L"load" : L"open") + L" \"" + path + L"\" " + name_;
        if (!ready_ || !stop_ || !process_.Start(command)) return false;
        HANDLE waits[] = {ready_.get(), process_.handle()};
        return WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }

    // Lets go of the file and waits until the helper has ended.
    void Release() {
        if (stop_) SetEvent(stop_.get());
        if (process_.handle()) process_.Wait(20000);
        ready_.reset();
        stop_.reset();
    }

private:
    std::wstring name_;
    tvx::UniqueHandle ready_;
    tvx::UniqueHandle stop_;
    Process process_;
};

}  // namespace tvxtest
