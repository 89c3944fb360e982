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
        ready_ = CreateEventW(nullptr, TRUE, FALSE, (name_ + L"-ready").c_str());
        stop_ = CreateEventW(nullptr, TRUE, FALSE, (name_ + L"-stop").c_str());
        const std::wstring command = L"\"" + BuildDir() + L"\\tools\\FileLocker.exe\" " +
                                     (mode == Mode::LoadAsLibrary ? L"load" : L"open") + L" \"" + path + L"\" " + name_;
        if (!ready_ || !stop_ || !process_.Start(command)) return false;
        HANDLE waits[] = {ready_, process_.handle()};
        return WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }

    // Lets go of the file and waits until the helper has ended.
    void Release() {
        if (stop_) SetEvent(stop_);
        if (process_.handle()) process_.Wait(20000);
        for (HANDLE* event : {&ready_, &stop_}) {
            if (*event) CloseHandle(*event);
            *event = nullptr;
        }
    }

private:
    std::wstring name_;
    HANDLE ready_ = nullptr;
    HANDLE stop_ = nullptr;
    Process process_;
};

// Wine's own way to reach the Linux side: the Unix name of a Windows path, and
// starting a Linux program. A symbolic link made there shows to Windows programs
// as a folder with FILE_ATTRIBUTE_REPARSE_POINT, like a junction.
inline std::wstring UnixPathOf(const std::wstring& windowsPath) {
    using Convert = char*(CDECL*)(const wchar_t*);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return {};
    char* unixPath = convert(windowsPath.c_str());
    if (!unixPath) return {};
    const std::wstring wide = Widen(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    return wide;
}

// A Linux symbolic link to a folder, made for a test and removed after it (Windows
// programs under Wine can neither make nor remove one).
class LinuxSymlink {
public:
    LinuxSymlink() = default;
    ~LinuxSymlink() {
        if (unixLink_.empty()) return;
        RunAndWait(L"Z:\\bin\\rm -f \"" + unixLink_ + L"\"", 20000);
        WaitUntilGone(link_, 5000);
    }
    LinuxSymlink(const LinuxSymlink&) = delete;
    LinuxSymlink& operator=(const LinuxSymlink&) = delete;

    // True when Windows then sees link as a reparse point.
    bool Make(const std::wstring& target, const std::wstring& link) {
        const std::wstring unixTarget = UnixPathOf(target);
        unixLink_ = UnixPathOf(link);
        link_ = link;
        if (unixTarget.empty() || unixLink_.empty()) return false;
        RunAndWait(L"Z:\\bin\\ln -s \"" + unixTarget + L"\" \"" + unixLink_ + L"\"", 20000);
        // Wine may report the Linux program's end before it has done its work.
        return WaitUntil([&] {
            const DWORD attributes = GetFileAttributesW(link.c_str());
            return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        }, 5000, 25);
    }

private:
    std::wstring unixLink_;
    std::wstring link_;
};

}  // namespace tvxtest
