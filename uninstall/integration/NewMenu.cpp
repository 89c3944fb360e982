#include "integration/NewMenu.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "integration/PreviousOwners.h"
#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "settings/Settings.h"

namespace tvx {
namespace {

// The empty archives that Explorer's New menu copies. Both are kept with their first
// byte zero and completed only when a template file is written: a program file that
// holds a complete archive signature is taken for an archive by scanners and by
// Tervix itself.
unsigned char nativeImage[24] = {
    0x00, 0x76, 0x78, 0x21, 0x1A, 0x07, 0x01, 0x00,  // signature, first byte completed at run time
    0xC1, 0xDF, 0x5F, 0x56,                          // CRC-32 of the archive header
    0x03, 0x01, 0x04, 0x00,                          // archive header
    0x1D, 0x77, 0x56, 0x51,                          // CRC-32 of the end-of-archive header
    0x03, 0x05, 0x04, 0x00,                          // end-of-archive header
};
unsigned char zipImage[22] = {
    0x00, 0x4B, 0x05, 0x06,  // end-of-central-directory signature, first byte completed at run time
};

// Read through volatile so that the optimiser cannot fold the completed byte back
// into a constant copy of the whole signature.
volatile unsigned char leadBytes[2] = {0x50, 0x54};

struct Template {
    const wchar_t* fileName;
    unsigned char* image;
    size_t length;
    int lead;  // index into leadBytes
};
const Template kTemplates[2] = {
    {L"zipnew.dat", zipImage, sizeof zipImage, 0},
    {L"tvxnew.dat", nativeImage, sizeof nativeImage, 1},
};

bool FileHasLength(const wchar_t* path, size_t length) {
    FoundEntry found;
    return FindSingle(path, &found) && !found.isFolder && found.size == length;
}

void TemplatePathOf(const Template& file, wchar_t* path, size_t size) {
    wchar_t folder[kPathCapacity];
    GetProgramFolder(folder, kPathCapacity);
    JoinPath(folder, file.fileName, path, size);
}

// This program's folder, whichever form of its path names it, or the folder of another
// install: the one that holds Tervix's main program.
bool IsTervixFolder(const wchar_t* folder) {
    wchar_t own[kPathCapacity];
    GetProgramFolder(own, kPathCapacity);
    if (IsSameFile(folder, own)) return true;
    wchar_t program[kPathCapacity];
    JoinPath(folder, L"Tervix.exe", program, kPathCapacity);
    return FileExists(program);
}

bool IsTemplatePath(const wchar_t* text) {
    wchar_t path[kPathCapacity];
    const DWORD length = ExpandEnvironmentStringsW(text, path, kPathCapacity);
    if (length == 0 || length > kPathCapacity) CopyText(path, text, kPathCapacity);
    // A bare name means the system's own "ShellNew" folder, never ours.
    if (!IsFullPath(path)) return false;
    const wchar_t* name = FileNamePart(path);
    if (std::none_of(std::begin(kTemplates), std::end(kTemplates),
                     [&](const Template& file) { return CompareNoCase(name, file.fileName) == 0; }))
        return false;
    wchar_t folder[kPathCapacity];
    FolderPart(path, folder, kPathCapacity);
    return IsTervixFolder(folder);
}

bool HasOwnValue(const std::vector<RegistryValue>& values) {
    return std::any_of(values.begin(), values.end(), IsTervixShellNewValue);
}

// A record of the layout earlier versions wrote: the summary only, read as it always was.
bool RestoreFromSummary(const wchar_t* key, const PreviousOwner& owner, HKEY classes) {
    const std::wstring& saved = owner.shellNewSummary;
    if (saved[0] == L'*') return WriteSettingString(classes, key, L"NullFile", L"") == ERROR_SUCCESS;
    // A setup of an earlier version could record our own template as the previous entry.
    if (saved.empty() || IsTemplatePath(saved.c_str())) return true;
    return WriteSettingString(classes, key, L"FileName", saved.c_str()) == ERROR_SUCCESS;
}

}  // namespace

void ShellNewKeyOf(const wchar_t* extension, wchar_t* key, size_t size) {
    FormatText(key, size, L"%s\\ShellNew", extension);
}

bool IsNewMenuWanted(bool shellExtension, bool isNative, bool isZip) {
    if (!shellExtension) return false;
    if (isNative && ReadUserInt(L"Setup\\MenuItems", L"NewTVX", 1) == 0) return false;
    if (isZip && ReadUserInt(L"Setup\\MenuItems", L"NewZIP", 1) == 0) return false;
    return true;
}

bool IsTervixShellNewValue(const RegistryValue& value) {
    return CompareNoCase(value.name.c_str(), L"FileName") == 0 &&
           (value.type == REG_SZ || value.type == REG_EXPAND_SZ) && IsTemplatePath(value.Text().c_str());
}

bool HasTervixShellNewEntry(const wchar_t* extension, Scope scope) {
    wchar_t key[80];
    ShellNewKeyOf(extension, key, 80);
    std::vector<RegistryValue> values;
    ReadSettingValues(ClassesRoot(scope), key, &values);
    return HasOwnValue(values);
}

bool WriteTemplateFile(bool isNative, wchar_t* path, size_t size) {
    const Template& file = kTemplates[isNative ? 1 : 0];
    TemplatePathOf(file, path, size);

    // A file of the right length is left alone, whatever it holds.
    if (FileHasLength(path, file.length)) return true;
    file.image[0] = leadBytes[file.lead];
    UniqueCrtFile stream(OpenCrtFile(path, L"wb"));
    if (!stream) return false;
    return fwrite(file.image, 1, file.length, stream.get()) == file.length;
}

bool HoldsTemplateBytes(bool isNative, wchar_t* path, size_t size) {
    const Template& file = kTemplates[isNative ? 1 : 0];
    TemplatePathOf(file, path, size);
    if (!FileHasLength(path, file.length)) return false;
    UniqueCrtFile stream(OpenCrtFile(path, L"rb"));
    unsigned char bytes[32];
    if (!stream || fread(bytes, 1, file.length, stream.get()) != file.length) return false;
    return bytes[0] == leadBytes[file.lead] && memcmp(bytes + 1, file.image + 1, file.length - 1) == 0;
}

void CreateShellNewEntry(const wchar_t* extension, bool isNative, Scope scope) {
    wchar_t key[80];
    ShellNewKeyOf(extension, key, 80);
    const HKEY classes = ClassesRoot(scope);
    // Its owner is recorded before the type is taken (see AssociateExtension).
    std::vector<RegistryValue> values;
    ReadSettingValues(classes, key, &values);
    // The values go one by one: a key delete would fail on subkeys of another program
    // and leave its values beside ours.
    for (const RegistryValue& value : values) DeleteSettingValue(classes, key, value.name.c_str());
    wchar_t path[kPathCapacity];
    WriteTemplateFile(isNative, path, kPathCapacity);
    WriteSettingString(classes, key, L"FileName", path);
}

bool RestoreShellNewEntry(const wchar_t* extension, const PreviousOwner* owner, Scope scope) {
    wchar_t key[80];
    ShellNewKeyOf(extension, key, 80);
    const HKEY classes = ClassesRoot(scope);
    // Whatever is there now is someone else's, or was given back already.
    if (!HasTervixShellNewEntry(extension, scope)) return true;
    // The owner's values go back first and ours go only after that has worked: while
    // our entry is in place, the next run knows that this one is still to be done.
    const bool withValues = owner && owner->shellNewKey == 1;
    const bool fromSummary = owner && owner->shellNewKey == -1 && owner->known && owner->existed;
    bool written = true;
    if (withValues) {
        for (const RegistryValue& value : owner->shellNewValues)
            written = WriteSettingValue(classes, key, value) == ERROR_SUCCESS && written;
    } else if (fromSummary) {
        written = RestoreFromSummary(key, *owner, classes);
    }
    if (!written) return false;
    std::vector<RegistryValue> values;
    ReadSettingValues(classes, key, &values);
    for (const RegistryValue& value : values)
        if (IsTervixShellNewValue(value)) DeleteSettingValue(classes, key, value.name.c_str());
    // No key before Tervix's entry, or nothing known of it: whatever another program
    // put there since stays.
    if (!withValues && !fromSummary) DeleteSettingKeyIfEmpty(classes, key);
    return !HasTervixShellNewEntry(extension, scope);
}

}  // namespace tvx
