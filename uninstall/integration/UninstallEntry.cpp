#include "integration/UninstallEntry.h"

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "integration/ShellExtension.h"
#include "lang/Texts.h"
#include "platform/FileSystem.h"
#include "platform/ListFile.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "resources/ResourceIds.h"
#include "settings/Settings.h"

namespace tvx {

namespace {

constexpr int kVersionMajor = 6;
constexpr int kVersionMinor = 24;
constexpr int kBuildNumber = 1;  // also the beta number of the display name

constexpr size_t kPieceCapacity = 100;

// The values by which the registry knows an install and its folder: the one its entry
// names, and the one its application path names (Windows Installer's installs have an
// entry of their own, not ours).
constexpr std::pair<const wchar_t*, const wchar_t*> kAnchors[] = {{kUninstallEntryKey, L"InstallLocation"},
                                                                  {kAppPathsKey, L"Path"}};

LONG WriteEntryString(const wchar_t* name, const wchar_t* value, Scope scope) {
    return WriteSettingString(MachineRoot(scope), kUninstallEntryKey, name, value);
}

void WriteEntryInt(const wchar_t* name, int32_t value, Scope scope) {
    WriteSettingInt(MachineRoot(scope), kUninstallEntryKey, name, value);
}

// A command line for the system to run: the quotes keep a path with blanks from being
// read as a shorter program name followed by arguments.
void QuotedCommand(const wchar_t* path, const wchar_t* arguments, wchar_t* output, size_t size) {
    CopyText(output, L"\"", size);
    AppendText(output, path, size);
    AppendText(output, L"\"", size);
    AppendText(output, arguments, size);
}

LONG WriteDisplayName(Scope scope) {
    wchar_t text[kPathCapacity] = L"Tervix";
    ComposeDisplayName(text, kPathCapacity);
    return WriteEntryString(L"DisplayName", text, scope);
}

// The two commands that start the uninstall, and the folder by which the uninstall knows
// that this install wrote into the registry, and for whom.
void WriteUninstallCommands(const wchar_t* programPath, Scope scope) {
    wchar_t text[kPathCapacity];
    QuotedCommand(programPath, L"", text, kPathCapacity);
    WriteEntryString(L"UninstallString", text, scope);
    QuotedCommand(programPath, L" -s", text, kPathCapacity);
    WriteEntryString(L"QuietUninstallString", text, scope);
    FolderPart(programPath, text, kPathCapacity);
    WriteEntryString(L"InstallLocation", text, scope);
}

// Installed apps shows this as the size: the program file and every file the installer's
// list names, as they are now. Folders and links count nothing, and a file named twice
// (the list names this program too) counts once.
uint32_t InstalledSizeKb(const wchar_t* programPath, const wchar_t* folder) {
    std::set<std::wstring> paths;
    auto add = [&paths](const wchar_t* path) {
        std::wstring key = path;
        CharLowerBuffW(key.data(), static_cast<DWORD>(key.size()));
        paths.insert(key);
    };
    add(programPath);
    wchar_t path[kPathCapacity];
    JoinPath(folder, kListFileName, path, kPathCapacity);
    UniqueCrtFile list(OpenCrtFile(path, L"rb"));
    if (list) {
        for (const std::string& line : ReadListEntries(list.get())) {
            wchar_t name[kPathCapacity];
            AnsiToWide(line.c_str(), name, kPathCapacity);
            if (!IsEntryBelowFolder(name)) continue;
            JoinPath(folder, name, path, kPathCapacity);
            add(path);
        }
    }
    uint64_t bytes = 0;
    for (const std::wstring& file : paths) {
        FoundEntry found;
        if (FindSingle(file.c_str(), &found) && !found.isFolder && !found.isLink) bytes += found.size;
    }
    return static_cast<uint32_t>(std::min<uint64_t>((bytes + 1023) / 1024, UINT32_MAX));
}

}  // namespace

void ComposeDisplayName(wchar_t* buffer, size_t capacity) {
    wchar_t piece[kPieceCapacity];
    if (buffer[0] != L'\0') AppendText(buffer, L" ", capacity);
    FormatText(piece, kPieceCapacity, L"%d.%02d", kVersionMajor, kVersionMinor);
    AppendText(buffer, piece, capacity);
    FormatText(piece, kPieceCapacity, L" %ls %d", LoadText(IDS_BETA), kBuildNumber);
    AppendText(buffer, piece, capacity);
    FormatText(piece, kPieceCapacity, L" (%ls)", LoadText(IDS_64BIT));
    AppendText(buffer, piece, capacity);
}

const wchar_t* ProgramVersionText() {
    static wchar_t text[kPieceCapacity];
    FormatText(text, kPieceCapacity, L"%d.%02d.%d", kVersionMajor, kVersionMinor, kBuildNumber);
    return text;
}

bool BeginUninstallEntry(Scope scope) {
    // The first machine-wide write tells whether we may change the system at all.
    if (WriteDisplayName(scope) == ERROR_ACCESS_DENIED) return false;
    wchar_t programPath[kPathCapacity];
    GetProgramPath(programPath, kPathCapacity);
    WriteUninstallCommands(programPath, scope);
    return true;
}

void WriteUninstallEntry(Scope scope) {
    WriteDisplayName(scope);

    WriteEntryString(L"DisplayVersion", ProgramVersionText(), scope);
    WriteEntryInt(L"VersionMajor", kVersionMajor, scope);
    WriteEntryInt(L"VersionMinor", kVersionMinor, scope);

    wchar_t programPath[kPathCapacity];
    GetProgramPath(programPath, kPathCapacity);
    WriteUninstallCommands(programPath, scope);

    // An icon an earlier install pointed at is kept; "path,index" names no file and is
    // replaced like a missing one.
    wchar_t text[kPathCapacity];
    wchar_t folder[kPathCapacity];
    FolderPart(programPath, folder, kPathCapacity);
    ReadSettingString(MachineRoot(scope), kUninstallEntryKey, L"DisplayIcon", text, L"", kPathCapacity);
    if (text[0] == L'\0' || !FileExists(text)) {
        JoinPath(folder, L"Tervix.exe", text, kPathCapacity);
        WriteEntryString(L"DisplayIcon", text, scope);
    }

    WriteEntryInt(L"NoModify", 1, scope);
    WriteEntryInt(L"NoRepair", 1, scope);
    WriteEntryInt(L"Language", 0, scope);
    WriteEntryString(L"Publisher", L"Norvane Labs", scope);

    WriteEntryInt(L"EstimatedSize", static_cast<int32_t>(InstalledSizeKb(programPath, folder)), scope);
    // The day of the first install: a later setup (a repair, an update) keeps it.
    ReadSettingString(MachineRoot(scope), kUninstallEntryKey, L"InstallDate", text, L"", kPathCapacity);
    if (text[0] == L'\0') {
        SYSTEMTIME today;
        GetLocalTime(&today);
        FormatText(text, kPathCapacity, L"%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
        WriteEntryString(L"InstallDate", text, scope);
    }
    WriteEntryString(L"URLInfoAbout", LoadText(IDS_HOMEURL), scope);
}

void RemoveUninstallEntry(Scope scope) { DeleteSettingKey(MachineRoot(scope), kUninstallEntryKey); }

bool IsRegisteredInstall(Scope scope) {
    wchar_t folder[kPathCapacity];
    GetProgramFolder(folder, kPathCapacity);
    for (const auto& [key, name] : kAnchors) {
        std::wstring named;
        if (ReadRegistryString(MachineRoot(scope), key, name, &named) && IsSameFile(named.c_str(), folder)) return true;
    }
    return false;
}

bool HasInstall(Scope scope) {
    for (const auto& [key, name] : kAnchors) {
        std::wstring named;
        if (ReadRegistryString(MachineRoot(scope), key, name, &named)) return true;
    }
    return false;
}

Scope ScopeOfInstall(bool currentUserRequested) {
    return currentUserRequested || IsRegisteredInstall(Scope::CurrentUser) ? Scope::CurrentUser : Scope::Machine;
}

}  // namespace tvx
