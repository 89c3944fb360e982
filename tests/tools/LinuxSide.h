#pragma once
// Wine's own way to reach the Linux side: the Unix name of a Windows path, and links
// made there, which Windows programs under Wine can neither make nor remove.

#include <windows.h>

#include <string>

#include "TestSupport.h"

namespace tvxtest {

// The Unix name of a Windows path; its last part need not exist yet.
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

// A Linux symbolic link to a folder, made for a test and removed after it. Windows
// programs see it as a folder with FILE_ATTRIBUTE_REPARSE_POINT, like a junction.
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
