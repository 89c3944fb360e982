#include "removal/Uninstall.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/ListFile.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/Strings.h"

namespace tvx {
namespace {

constexpr wchar_t kListName[] = L"Uninstall.lst";
// Full paths of list entries are cut to this many characters.
constexpr size_t kEntryPathLength = kPathCapacity - 1;
constexpr DWORD kAttributesBlockingDelete = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

DWORD restartRefusal = ERROR_SUCCESS;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAbsent(DWORD attributes, DWORD error) {
    return attributes == INVALID_FILE_ATTRIBUTES && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
}

struct ListedEntry {
    std::wstring path;      // install folder + entry, cut at kEntryPathLength
    size_t relativeStart;   // where the part below the install folder begins
    size_t depth;           // components below the install folder
    bool settled = false;   // removed, or never to be touched
};

size_t CountComponents(std::wstring_view relative) {
    size_t count = 0;
    bool inComponent = false;
    for (wchar_t c : relative) {
        if (IsSeparator(c)) {
            inComponent = false;
        } else if (!inComponent) {
            inComponent = true;
            ++count;
        }
    }
    return count;
}

std::vector<ListedEntry> CollectEntries(FILE* list, const wchar_t* installFolder) {
    const std::wstring folder = installFolder;
    std::vector<ListedEntry> entries;
    wchar_t name[kPathCapacity];
    for (const std::string& line : ReadListEntries(list)) {
        AnsiToWide(line.c_str(), name, std::size(name));
        std::wstring path = folder + name;
        if (path.size() > kEntryPathLength) path.resize(kEntryPathLength);
        if (path.size() <= folder.size()) continue;
        std::wstring_view relative = std::wstring_view(path).substr(folder.size());
        if (!IsEntryBelowFolder(std::wstring(relative))) continue;
        entries.push_back({path, folder.size(), CountComponents(relative)});
    }
    return entries;
}

// The attributes with the reparse-point flag kept only for a link: every other reparse
// point (a cloud placeholder, a compressed file) is removed like any other entry.
DWORD LinkAttributes(const wchar_t* path, DWORD attributes) {
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsLink(path, attributes))
        attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
    return attributes;
}

// Attributes of the folders that entries pass through, read at most once per run, with
// the reparse-point flag meaning a link (LinkAttributes).
class FolderAttributes {
public:
    DWORD Get(const std::wstring& path) {
        auto [it, inserted] = known_.try_emplace(path, 0);
        if (inserted) it->second = LinkAttributes(path.c_str(), GetAttributesLong(path.c_str()));
        return it->second;
    }
    const DWORD* Find(const std::wstring& path) const {
        auto it = known_.find(path);
        return it == known_.end() ? nullptr : &it->second;
    }
    void MarkRemoved(const std::wstring& path) {
        auto it = known_.find(path);
        if (it != known_.end()) it->second = INVALID_FILE_ATTRIBUTES;
    }
    void Clear() { known_.clear(); }

private:
    std::unordered_map<std::wstring, DWORD> known_;
};

enum class Route { Open, Missing, ThroughLink };

// Whether the folders between the install folder and the entry's last component are
// real folders. An entry reached through a junction or a symbolic link would delete
// someone else's data and is never touched.
Route CheckRoute(const ListedEntry& entry, FolderAttributes& folders) {
    const std::wstring& path = entry.path;
    size_t last = path.size();
    while (last > entry.relativeStart && IsSeparator(path[last - 1])) --last;
    for (size_t i = entry.relativeStart; i < last; ++i) {
        if (!IsSeparator(path[i]) || i == entry.relativeStart || IsSeparator(path[i - 1])) continue;
        const DWORD attributes = folders.Get(path.substr(0, i));
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Route::Missing;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Route::ThroughLink;
    }
    return Route::Open;
}

bool IsKeptForLater(const wchar_t* path, const wchar_t* programPath) {
    const wchar_t* name = FileNamePart(path);
    return CompareNoCase(name, FileNamePart(programPath)) == 0 || CompareNoCase(name, kListName) == 0;
}

// One run over the entries not yet settled; returns how many it removed.
size_t RemoveOnce(std::vector<ListedEntry>& entries, const std::vector<size_t>& order, const wchar_t* programPath,
                  FolderAttributes& folders, bool* restartNeeded, std::vector<std::wstring>* notRemoved) {
    size_t removed = 0;
    folders.Clear();
    for (size_t index : order) {
        ListedEntry& entry = entries[index];
        if (entry.settled) continue;
        const Route route = CheckRoute(entry, folders);
        if (route == Route::ThroughLink) {
            entry.settled = true;
            continue;
        }
        if (route == Route::Missing) continue;

        const wchar_t* path = entry.path.c_str();
        const DWORD* known = folders.Find(entry.path);
        // Most entries are plain files that go at the first attempt, which makes the
        // attribute query unnecessary: a plain delete changes nothing when it fails, and
        // what follows is then the full sequence.
        if (!known && DeleteFileW(PlainAttemptName(path))) {
            LogAction(L"deleted file " + entry.path);
            ++removed;
            entry.settled = true;
            continue;
        }
        DWORD attributes;
        DWORD error = ERROR_SUCCESS;
        if (known) {
            attributes = *known;
            if (attributes == INVALID_FILE_ATTRIBUTES) error = ERROR_FILE_NOT_FOUND;
        } else {
            attributes = GetAttributesLong(path);
            if (attributes == INVALID_FILE_ATTRIBUTES) error = GetLastError();
            attributes = LinkAttributes(path, attributes);
        }
        if (IsAbsent(attributes, error)) continue;

        const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
        const bool isLink = exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        // A link is removed as itself; resetting its attributes would reach its target.
        if (exists && !isLink && (attributes & kAttributesBlockingDelete))
            SetAttributesLong(path, FILE_ATTRIBUTE_NORMAL);

        if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            if (RemoveFolderLong(path)) {
                LogAction(L"deleted folder " + entry.path);
                ++removed;
                entry.settled = true;
                folders.MarkRemoved(entry.path);
            }
            continue;
        }
        if (DeleteFileLong(path)) {
            LogAction(L"deleted file " + entry.path);
            ++removed;
            entry.settled = true;
            folders.MarkRemoved(entry.path);
            continue;
        }
        if (FileExists(path) && !IsKeptForLater(path, programPath)) {
            // Deferred once: a later run would only schedule it again.
            entry.settled = true;
            if (DeferOrName(path, notRemoved)) *restartNeeded = true;
        }
    }
    return removed;
}

// A listed folder that keeps a file deferred to the restart follows it then, deepest
// first, so that each is empty by its turn; one that also holds the user's files stays.
void ScheduleFoldersLeft(const std::vector<ListedEntry>& entries, const std::vector<size_t>& order,
                         FolderAttributes& folders) {
    folders.Clear();
    for (size_t index : order) {
        const ListedEntry& entry = entries[index];
        if (entry.settled || CheckRoute(entry, folders) != Route::Open) continue;
        const DWORD attributes = folders.Get(entry.path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            DeleteAtRestart(entry.path.c_str());
    }
}

}  // namespace

bool RemoveListedFiles(FILE* list, const wchar_t* installFolder, const wchar_t* programPath,
                       std::vector<std::wstring>* notRemoved) {
    bool restartNeeded = false;
    std::vector<ListedEntry> entries = CollectEntries(list, installFolder);

    // Contents before their folders, so that one run empties a whole tree whatever the
    // order of the list; the list order is kept among entries of equal depth.
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return entries[a].depth > entries[b].depth; });

    FolderAttributes folders;
    while (RemoveOnce(entries, order, programPath, folders, &restartNeeded, notRemoved) > 0) {
    }
    if (restartNeeded) ScheduleFoldersLeft(entries, order, folders);
    return restartNeeded;
}

bool DeferFileRemoval(const wchar_t* path) {
    wchar_t candidate[kPathCapacity] = {};
    for (unsigned j = 0; j < 1000; ++j) {
        std::wstring name = std::wstring(path) + L"." + std::to_wstring(j) + L".tmp";
        CopyText(candidate, name.c_str(), std::size(candidate));
        if (!FileExists(candidate)) break;
    }
    if (MoveFileLong(path, candidate))
        LogAction(L"renamed " + std::wstring(path) + L" to " + candidate);
    else
        CopyText(candidate, path, std::size(candidate));
    return DeleteAtRestart(candidate);
}

bool DeferOrName(const wchar_t* path, std::vector<std::wstring>* notRemoved) {
    if (DeferFileRemoval(path)) return true;
    LogAction(L"left " + std::wstring(path));
    if (notRemoved) notRemoved->push_back(path);
    return false;
}

bool DeleteAtRestart(const wchar_t* path) {
    const bool scheduled = restartRefusal == ERROR_SUCCESS &&
                           WithLongPathRetry(path, [](const wchar_t* p) {
                               return MoveFileExW(p, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
                           });
    if (scheduled)
        LogAction(L"scheduled for deletion at the next restart: " + std::wstring(path));
    else
        LogFailure(L"schedule for deletion at the next restart " + std::wstring(path),
                   restartRefusal != ERROR_SUCCESS ? restartRefusal : GetLastError());
    return scheduled;
}

void RefuseRestartSchedules(DWORD error) { restartRefusal = error; }

}  // namespace tvx
