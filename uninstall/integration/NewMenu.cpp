#include "integration/NewMenu.h"

#include <cstdio>

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

void ShellNewKeyOf(const wchar_t* extension, wchar_t* key, size_t size) {
    FormatText(key, size, L"%s\\ShellNew", extension);
}

bool FileHasLength(const wchar_t* path, size_t length) {
    FoundEntry found;
    return FindSingle(path, &found) && !found.isFolder && found.size == length;
}

}  // namespace

bool IsNewMenuWanted(bool shellExtension, bool isNative, bool isZip) {
    if (!shellExtension) return false;
    if (isNative && ReadUserInt(L"Setup\\MenuItems", L"NewTVX", 1) == 0) return false;
    if (isZip && ReadUserInt(L"Setup\\MenuItems", L"NewZIP", 1) == 0) return false;
    return true;
}

void CaptureShellNew(const wchar_t* extension, wchar_t* backup, size_t size) {
    wchar_t key[80];
    ShellNewKeyOf(extension, key, 80);
    wchar_t fileName[kPathCapacity];
    ReadSettingString(HKEY_CLASSES_ROOT, key, L"FileName", fileName, L"", kPathCapacity);
    if (fileName[0] != L'\0') {
        CopyText(backup, fileName, size);
        return;
    }
    // "NullFile" is empty by nature: only whether it can be read matters.
    wchar_t nullFile[10];
    CopyText(backup, ReadSettingString(HKEY_CLASSES_ROOT, key, L"NullFile", nullFile, L"", 10) ? L"*" : L"", size);
}

bool WriteTemplateFile(bool isNative, wchar_t* path, size_t size) {
    const Template& file = kTemplates[isNative ? 1 : 0];
    wchar_t folder[kPathCapacity];
    GetProgramFolder(folder, kPathCapacity);
    JoinPath(folder, file.fileName, path, size);

    // A file of the right length is left alone, whatever it holds.
    if (FileHasLength(path, file.length)) return true;
    file.image[0] = leadBytes[file.lead];
    UniqueCrtFile stream(OpenCrtFile(path, L"wb"));
    if (!stream) return false;
    return fwrite(file.image, 1, file.length, stream.get()) == file.length;
}

void CreateShellNewEntry(const wchar_t* extension, bool isNative) {
    wchar_t key[80];
    ShellNewKeyOf(extension, key, 80);
    DeleteSettingKey(HKEY_CLASSES_ROOT, key);
    wchar_t path[kPathCapacity];
    WriteTemplateFile(isNative, path, kPathCapacity);
    WriteSettingString(HKEY_CLASSES_ROOT, key, L"FileName", path);
}

void RestoreShellNewEntry(const wchar_t* extension, bool existed) {
    wchar_t key[80];
    ShellNewKeyOf(extension, key, 80);
    if (!existed) {
        DeleteSettingKey(HKEY_CLASSES_ROOT, key);
        return;
    }
    wchar_t backupKey[80];
    FormatText(backupKey, 80, L"Setup\\%s", extension);
    wchar_t saved[kPathCapacity];
    ReadUserString(backupKey, L"ShellNew", saved, L"", kPathCapacity);
    DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"FileName");
    if (saved[0] == L'*')
        WriteSettingString(HKEY_CLASSES_ROOT, key, L"NullFile", L"");
    else if (saved[0] != L'\0')
        WriteSettingString(HKEY_CLASSES_ROOT, key, L"FileName", saved);
}

}  // namespace tvx
