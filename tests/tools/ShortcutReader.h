#pragma once
// Shortcut files read back through the shell's own IShellLinkW, the way Explorer sees
// them, and the one change a user makes to them by hand: a hot key. COM must be
// initialised on the calling thread.

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <string>

#include "platform/Owner.h"

namespace tvxtest {

struct Shortcut {
    bool loaded = false;
    std::wstring target, workDir, description, icon, arguments;
    int iconIndex = -1;
    WORD hotkey = 0;
};

namespace shortcutdetail {

// Opens the shortcut file into a shell link and hands both to `use`; false when it
// could not be opened.
template <typename Use>
bool WithShellLink(const std::wstring& path, DWORD mode, Use use) {
    tvx::ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())))
        return false;
    tvx::ComPtr<IPersistFile> file;
    return SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void())) &&
           SUCCEEDED(file->Load(path.c_str(), mode)) && use(link.get(), file.get());
}

}  // namespace shortcutdetail

inline Shortcut ReadShortcut(const std::wstring& path) {
    Shortcut shortcut;
    shortcut.loaded = shortcutdetail::WithShellLink(path, STGM_READ, [&](IShellLinkW* link, IPersistFile*) {
        wchar_t text[2048];
        if (SUCCEEDED(link->GetPath(text, 2048, nullptr, SLGP_RAWPATH))) shortcut.target = text;
        if (SUCCEEDED(link->GetWorkingDirectory(text, 2048))) shortcut.workDir = text;
        if (SUCCEEDED(link->GetDescription(text, 2048))) shortcut.description = text;
        if (SUCCEEDED(link->GetIconLocation(text, 2048, &shortcut.iconIndex))) shortcut.icon = text;
        if (SUCCEEDED(link->GetArguments(text, 2048))) shortcut.arguments = text;
        link->GetHotkey(&shortcut.hotkey);
        return true;
    });
    return shortcut;
}

// Gives the shortcut a hot key and saves it, as its properties page does.
inline bool SetShortcutHotkey(const std::wstring& path, WORD hotkey) {
    return shortcutdetail::WithShellLink(path, STGM_READWRITE, [&](IShellLinkW* link, IPersistFile* file) {
        return SUCCEEDED(link->SetHotkey(hotkey)) && SUCCEEDED(file->Save(path.c_str(), TRUE));
    });
}

}  // namespace tvxtest
