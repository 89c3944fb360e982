#pragma once
// File-system wrappers. Each one that takes a name tries it as given and, when that
// fails, once more in its long-path form.

#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "platform/Owner.h"

namespace tvx {

bool DeleteFileLong(const wchar_t* name);
DWORD GetAttributesLong(const wchar_t* name);
bool FileExists(const wchar_t* name);
// Whether two names lead to the same file or folder, whatever their form: a short name,
// the "\\?\" form, another path through a junction.
bool IsSameFile(const wchar_t* a, const wchar_t* b);
bool ExistsWithWildcards(const wchar_t* name);
bool SetAttributesLong(const wchar_t* name, DWORD attributes);
// Renames or moves within one volume; never copies, so across volumes it fails
// (ERROR_NOT_SAME_DEVICE) and leaves the file where it was.
bool MoveFileLong(const wchar_t* from, const wchar_t* to);
// Removes an empty folder.
bool RemoveFolderLong(const wchar_t* name);

enum class CreateFolderResult { Created = 0, Failed = 1, PathMissing = 2 };
CreateFolderResult CreateFolder(const wchar_t* name, bool setAttributes = false, DWORD attributes = 0);

uint64_t FreeDiskSpace(const wchar_t* path);

// Whether a reparse point leads elsewhere: only name surrogates do (symbolic links,
// junctions, mount points). Cloud placeholders (OneDrive), compressed (compact /exe,
// Compact OS) and deduplicated files carry the attribute too and are ordinary files
// and folders. A tag that could not be read (0, which no reparse point has) counts as
// a link: nothing is ever removed through one.
bool IsLinkReparseTag(DWORD attributes, DWORD tag);
// The same for the entry at name, whose attributes the caller has read; the tag is
// read only for a reparse point.
bool IsLink(const wchar_t* name, DWORD attributes);

struct FoundEntry {
    wchar_t fullName[2048];
    uint64_t size;
    DWORD attributes;
    bool isFolder;
    bool isReparsePoint;
    bool isLink;  // a reparse point that leads elsewhere (IsLinkReparseTag)
    uint64_t lastWriteNs, creationNs, lastAccessNs;  // nanoseconds since 1601-01-01
    FILETIME creationTime, lastAccessTime, lastWriteTime;
    bool error;  // the scan stopped on a real error, not at the end of the listing
};

bool FindSingle(const wchar_t* name, FoundEntry* record);

// Enumerates a folder mask, skipping "." and "..".
class DirectoryScan {
public:
    void SetMask(const wchar_t* mask);
    bool Next(FoundEntry* record);

private:
    wchar_t mask_[2048] = {};
    bool first_ = false;
    UniqueFindHandle find_;
};

// _wfsopen with the given mode and no sharing restrictions.
FILE* OpenCrtFile(const wchar_t* name, const wchar_t* mode);

// Removes a real directory with everything below it through the shell, without any
// confirmation, progress or error UI. A missing path, a file or a link (IsLink) is left
// alone.
void DeleteFolderTree(const wchar_t* path);

}  // namespace tvx
