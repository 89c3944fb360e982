#pragma once
// A sample install of Tervix in a fresh prefix, the real Uninstall.exe started in it,
// and the checks the uninstall scenarios share.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "TestSupport.h"

namespace uninstalltest {

using namespace tvxtest;

// The keys that the uninstall deletes, as the registry shows them.
struct ProductKey {
    HKEY root;
    const wchar_t* path;
};
inline const ProductKey kProductKeys[] = {
    {HKEY_CLASSES_ROOT, L"Tervix"},
    {HKEY_CLASSES_ROOT, L"Tervix.ZIP"},
    {HKEY_CLASSES_ROOT, L"Tervix.REV"},
    {HKEY_CLASSES_ROOT, L".rev"},
    {HKEY_CURRENT_USER, L"Software\\Tervix"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe"},
};

inline void WriteProductKeys(Caller caller = Caller::current()) {
    const CallerTrace trace(caller);
    // ".rev" is given back only while it still names our recovery-volume ProgID.
    for (const ProductKey& key : kProductKeys) {
        const wchar_t* value = wcscmp(key.path, L".rev") == 0 ? L"Tervix.REV" : L"Tervix";
        ASSERT_TRUE(RegWriteString(key.root, key.path, L"", value));
    }
    ASSERT_TRUE(RegWriteString(HKEY_CLASSES_ROOT, L"Tervix\\shell\\open\\command", L"", L"Tervix.exe \"%1\""));
    ASSERT_TRUE(RegWriteDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Interface", L"WrittenByMainProgram", 1));
}

inline void DeleteProductKeys() {
    for (const ProductKey& key : kProductKeys) DeleteRegTree(key.root, key.path);
}

inline int ProductKeysLeft() {
    int left = 0;
    for (const ProductKey& key : kProductKeys) left += RegKeyExists(key.root, key.path);
    return left;
}

// Everything machine-wide that an install for one account leaves as it is: the machine's
// software keys (its classes root among them, and their 32-bit view), and what the
// all-users desktop and Start menu hold. Wine's own keys, which change as programs run,
// are left out.
struct MachineWide {
    RegistryDump registry;
    std::map<std::wstring, std::string> desktop, startMenu;
    bool operator==(const MachineWide&) const = default;
};
inline MachineWide MachineWideNow() {
    MachineWide now;
    RegistryDump all;
    DumpRegistry(HKEY_LOCAL_MACHINE, L"Software", &all);
    for (const auto& [name, value] : all) {
        if (name.rfind(L"Software\\Wine", 0) != 0 &&
            name.rfind(L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Perflib", 0) != 0)
            now.registry[name] = value;
    }
    now.desktop = FilesBelow(KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY));
    now.startMenu = FilesBelow(KnownFolder(CSIDL_COMMON_STARTMENU));
    return now;
}
inline std::string DescribeChanges(const MachineWide& before, const MachineWide& after) {
    std::wstring text = tvxtest::DescribeChanges(before.registry, after.registry);
    if (before.desktop != after.desktop) text += L"the all-users desktop changed\n";
    if (before.startMenu != after.startMenu) text += L"the all-users Start menu changed\n";
    return Narrow(text);
}

// Installed apps' entries whose name begins with "Tervix", each as "name|version|publisher|
// install location|no modify|Windows Installer's|".
inline std::vector<std::wstring> TervixEntries() {
    const std::wstring uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    std::vector<std::wstring> entries;
    tvx::UniqueHkey products;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstall.c_str(), 0, KEY_READ, products.put());
    wchar_t name[256];
    for (DWORD i = 0, n = 256; RegEnumKeyExW(products.get(), i, name, &n, nullptr, nullptr, nullptr, nullptr) == 0;
         n = 256, ++i) {
        const std::wstring key = uninstall + name;
        std::wstring entry, text;
        for (const wchar_t* value : {L"DisplayName", L"DisplayVersion", L"Publisher", L"InstallLocation"})
            entry += (RegReadString(HKEY_LOCAL_MACHINE, key, value, &text) ? text : L"") + L"|";
        for (const wchar_t* value : {L"NoModify", L"WindowsInstaller"}) {
            DWORD number = 0;
            entry += std::to_wstring(RegReadDword(HKEY_LOCAL_MACHINE, key, value, &number) ? number : 0) + L"|";
        }
        if (entry.rfind(L"Tervix", 0) == 0) entries.push_back(entry);
    }
    return entries;
}

// Where an install for the running account alone goes, as the setup program offers it.
inline std::wstring AccountInstallFolder() { return KnownFolder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\Tervix"; }

// The private folders that uninstalls made for their batches in a temporary folder.
inline std::vector<std::wstring> BatchFolders(const std::wstring& temp = TempPath()) {
    std::vector<std::wstring> folders;
    for (const std::wstring& name : FileNames(temp + L"TvxUninstall-*")) folders.push_back(temp + name);
    return folders;
}

// Waits until every batch has removed itself with its folder; false at the deadline.
inline bool WaitUntilBatchesGone(DWORD timeoutMs, const std::wstring& temp = TempPath()) {
    return WaitUntil([&] { return BatchFolders(temp).empty(); }, timeoutMs, 100);
}

// An install folder holding a copy of the program and whatever a test puts there;
// whatever the uninstall leaves is removed at the end.
class SampleInstall {
public:
    explicit SampleInstall(const std::wstring& folder) : folder_(folder) {
        CreateDirectoryW(folder_.substr(0, folder_.rfind(L'\\')).c_str(), nullptr);
        CreateDirectoryW(folder_.c_str(), nullptr);
        CopyFileW(UninstallExe().c_str(), Program().c_str(), FALSE);
    }
    ~SampleInstall() {
        RemoveTree(folder_);
        for (const std::wstring& batchFolder : BatchFolders()) RemoveTree(batchFolder);
    }
    SampleInstall(const SampleInstall&) = delete;
    SampleInstall& operator=(const SampleInstall&) = delete;

    const std::wstring& Folder() const { return folder_; }
    std::wstring Program() const { return folder_ + L"\\Uninstall.exe"; }
    std::wstring Path(const std::wstring& relative) const { return folder_ + L"\\" + relative; }

    bool MakeFolder(const std::wstring& relative) { return CreateDirectoryW(Path(relative).c_str(), nullptr) != FALSE; }
    bool MakeFile(const std::wstring& relative, DWORD attributes = 0) {
        if (!WriteFileBytes(Path(relative), "contents")) return false;
        return !attributes || SetFileAttributesW(Path(relative).c_str(), attributes);
    }
    bool WriteList(const std::string& bytes) { return WriteFileBytes(Path(L"Uninstall.lst"), bytes); }

    bool Start(Process* process, const std::wstring& arguments = L"", const std::wstring& environment = L"") const {
        return process->Start(L"\"" + Program() + L"\"" + (arguments.empty() ? L"" : L" " + arguments), folder_,
                              environment);
    }

private:
    std::wstring folder_;
};

// Message boxes of any process; the uninstall shows no other kind of window.
inline std::vector<HWND> MessageBoxes() { return TopLevelWindows(0, L"#32770"); }

// The message boxes of a process apart from one that was just answered (it lingers
// until its modal loop has ended).
inline std::vector<HWND> BoxesOtherThan(DWORD processId, HWND answered) {
    std::vector<HWND> others;
    for (HWND box : TopLevelWindows(processId, L"#32770"))
        if (box != answered) others.push_back(box);
    return others;
}

// Waits for a message box of the process (other than one just answered) that is shown
// and has its text: a box is listed as a window before its controls exist.
inline HWND WaitForSecondDialog(DWORD processId, DWORD timeoutMs, HWND answered = nullptr) {
    return WaitForWindow({.processId = processId, .except = answered, .withText = true}, timeoutMs);
}

}  // namespace uninstalltest
