#include "integration/NewMenu.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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

constexpr int32_t kNoRecord = -1;
// The backup values of a "ShellNew" entry. "ShellNew" holds the summary that earlier
// versions wrote and read (a path, "*" for "NullFile", or empty); the complete record
// beside it is marked by "ShellNewKey" and lists every value with its type and data,
// the data as hexadecimal text so that the settings file can hold it as well.
constexpr wchar_t kSummaryValue[] = L"ShellNew";
constexpr wchar_t kKeyExistedValue[] = L"ShellNewKey";
constexpr wchar_t kCountValue[] = L"ShellNewValues";
constexpr const wchar_t* kRecordFields[] = {L"ShellNewName%u", L"ShellNewType%u", L"ShellNewSize%u",
                                            L"ShellNewData%u"};
enum RecordField { kFieldName, kFieldType, kFieldSize, kFieldData };
// Bounds that a damaged record cannot push a restore beyond.
constexpr int32_t kMaxRecordedValues = 1000;
constexpr int32_t kMaxRecordedBytes = 1 << 20;
constexpr size_t kValueNameCapacity = 16384;

void ShellNewKeyOf(const wchar_t* extension, wchar_t* key, size_t size) {
    FormatText(key, size, L"%s\\ShellNew", extension);
}

void FieldName(RecordField field, unsigned index, wchar_t* name, size_t size) {
    FormatText(name, size, kRecordFields[field], index);
}

bool FileHasLength(const wchar_t* path, size_t length) {
    FoundEntry found;
    return FindSingle(path, &found) && !found.isFolder && found.size == length;
}

void TemplatePathOf(const Template& file, wchar_t* path, size_t size) {
    wchar_t folder[kPathCapacity];
    GetProgramFolder(folder, kPathCapacity);
    JoinPath(folder, file.fileName, path, size);
}

bool IsTemplatePath(const wchar_t* text) {
    for (const Template& file : kTemplates) {
        wchar_t path[kPathCapacity];
        TemplatePathOf(file, path, kPathCapacity);
        if (CompareNoCase(text, path) == 0) return true;
    }
    return false;
}

std::wstring TextOf(const RegistryValue& value) {
    std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

bool IsNamed(const RegistryValue& value, const wchar_t* name) { return CompareNoCase(value.name.c_str(), name) == 0; }

// Tervix's entry is the one "FileName" that names a template in the program folder.
bool IsOwnValue(const RegistryValue& value) {
    return IsNamed(value, L"FileName") && (value.type == REG_SZ || value.type == REG_EXPAND_SZ) &&
           IsTemplatePath(TextOf(value).c_str());
}

bool HasOwnValue(const std::vector<RegistryValue>& values) {
    return std::any_of(values.begin(), values.end(), IsOwnValue);
}

// The form earlier versions recorded, kept for them: they read only this value.
std::wstring SummaryOf(const std::vector<RegistryValue>& values) {
    bool nullFile = false;
    for (const RegistryValue& value : values) {
        if (IsNamed(value, L"FileName") && !TextOf(value).empty()) return TextOf(value);
        if (IsNamed(value, L"NullFile")) nullFile = true;
    }
    return nullFile ? L"*" : L"";
}

std::wstring ToHex(const std::vector<BYTE>& data) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (BYTE byte : data) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

void WriteRecordedValue(const wchar_t* backupKey, unsigned index, const RegistryValue& value) {
    wchar_t name[40];
    FieldName(kFieldName, index, name, 40);
    WriteUserString(backupKey, name, value.name.c_str());
    FieldName(kFieldType, index, name, 40);
    WriteUserInt(backupKey, name, static_cast<int32_t>(value.type));
    FieldName(kFieldSize, index, name, 40);
    WriteUserInt(backupKey, name, static_cast<int32_t>(value.data.size()));
    FieldName(kFieldData, index, name, 40);
    WriteUserString(backupKey, name, ToHex(value.data).c_str());
}

bool ReadRecordedValue(const wchar_t* backupKey, unsigned index, RegistryValue* value) {
    wchar_t name[40];
    FieldName(kFieldSize, index, name, 40);
    const int32_t size = ReadUserInt(backupKey, name, kNoRecord);
    if (size < 0 || size > kMaxRecordedBytes) return false;
    FieldName(kFieldType, index, name, 40);
    value->type = static_cast<DWORD>(ReadUserInt(backupKey, name, REG_SZ));
    std::vector<wchar_t> text(kValueNameCapacity);
    FieldName(kFieldName, index, name, 40);
    ReadUserString(backupKey, name, text.data(), L"", text.size());
    value->name = text.data();
    text.assign(2 * static_cast<size_t>(size) + 1, L'\0');
    FieldName(kFieldData, index, name, 40);
    ReadUserString(backupKey, name, text.data(), L"", text.size());
    value->data.clear();
    for (size_t i = 0; i + 1 < text.size() && value->data.size() < static_cast<size_t>(size); i += 2) {
        const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        value->data.push_back(static_cast<BYTE>(high << 4 | low));
    }
    return value->data.size() == static_cast<size_t>(size);
}

// A record of the current layout's kind: the summary only, read as it always was.
void RestoreFromSummary(const wchar_t* key, const wchar_t* backupKey, bool existed) {
    if (!existed) {
        DeleteSettingKey(HKEY_CLASSES_ROOT, key);
        return;
    }
    wchar_t saved[kPathCapacity];
    ReadUserString(backupKey, kSummaryValue, saved, L"", kPathCapacity);
    DeleteSettingValue(HKEY_CLASSES_ROOT, key, L"FileName");
    // A setup of an earlier version could record our own template as the previous entry.
    if (saved[0] == L'*')
        WriteSettingString(HKEY_CLASSES_ROOT, key, L"NullFile", L"");
    else if (saved[0] != L'\0' && !IsTemplatePath(saved))
        WriteSettingString(HKEY_CLASSES_ROOT, key, L"FileName", saved);
}

}  // namespace

void BackupKeyOf(const wchar_t* extension, wchar_t* key, size_t size) {
    FormatText(key, size, L"Setup\\%s", extension);
}

bool IsNewMenuWanted(bool shellExtension, bool isNative, bool isZip) {
    if (!shellExtension) return false;
    if (isNative && ReadUserInt(L"Setup\\MenuItems", L"NewTVX", 1) == 0) return false;
    if (isZip && ReadUserInt(L"Setup\\MenuItems", L"NewZIP", 1) == 0) return false;
    return true;
}

void RecordShellNew(const wchar_t* extension, const wchar_t* backupKey, bool hasOlderRecord) {
    wchar_t key[80];
    ShellNewKeyOf(extension, key, 80);
    std::vector<RegistryValue> values;
    const bool keyExists = ReadSettingValues(HKEY_CLASSES_ROOT, key, &values);
    const bool ownInPlace = HasOwnValue(values);
    // The other program took back only its type: the entry is still ours, and the
    // record made when we took it is the true one.
    if (ownInPlace && hasOlderRecord) return;
    std::erase_if(values, IsOwnValue);

    WriteUserString(backupKey, kSummaryValue, SummaryOf(values).c_str());
    WriteUserInt(backupKey, kKeyExistedValue, keyExists && !(ownInPlace && values.empty()) ? 1 : 0);
    WriteUserInt(backupKey, kCountValue, static_cast<int32_t>(values.size()));
    for (size_t i = 0; i < values.size(); ++i) WriteRecordedValue(backupKey, static_cast<unsigned>(i), values[i]);
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

void CreateShellNewEntry(const wchar_t* extension, bool isNative) {
    wchar_t key[80];
    ShellNewKeyOf(extension, key, 80);
    std::vector<RegistryValue> values;
    ReadSettingValues(HKEY_CLASSES_ROOT, key, &values);
    // An entry that is not ours may have changed since it was recorded, or been
    // given back to its owner by an earlier setup: what it holds now is what returns.
    if (!HasOwnValue(values)) {
        wchar_t backupKey[80];
        BackupKeyOf(extension, backupKey, 80);
        RecordShellNew(extension, backupKey, false);
    }
    // The values go one by one: a key delete would fail on subkeys of another program
    // and leave its values beside ours.
    for (const RegistryValue& value : values) DeleteSettingValue(HKEY_CLASSES_ROOT, key, value.name.c_str());
    wchar_t path[kPathCapacity];
    WriteTemplateFile(isNative, path, kPathCapacity);
    WriteSettingString(HKEY_CLASSES_ROOT, key, L"FileName", path);
}

void RestoreShellNewEntry(const wchar_t* extension, bool existed) {
    wchar_t key[80];
    ShellNewKeyOf(extension, key, 80);
    std::vector<RegistryValue> values;
    ReadSettingValues(HKEY_CLASSES_ROOT, key, &values);
    // Whatever is there now is someone else's, or was given back already.
    if (!HasOwnValue(values)) return;
    wchar_t backupKey[80];
    BackupKeyOf(extension, backupKey, 80);
    const int32_t keyExisted = ReadUserInt(backupKey, kKeyExistedValue, kNoRecord);
    if (keyExisted == kNoRecord) {
        RestoreFromSummary(key, backupKey, existed);
        return;
    }
    for (const RegistryValue& value : values)
        if (IsOwnValue(value)) DeleteSettingValue(HKEY_CLASSES_ROOT, key, value.name.c_str());
    if (keyExisted == 0) {
        DeleteClassKeyIfEmpty(key);
        return;
    }
    const int32_t count = std::min(ReadUserInt(backupKey, kCountValue, 0), kMaxRecordedValues);
    for (int32_t i = 0; i < count; ++i) {
        RegistryValue value;
        if (ReadRecordedValue(backupKey, static_cast<unsigned>(i), &value))
            WriteSettingValue(HKEY_CLASSES_ROOT, key, value);
    }
}

void DeleteClassKeyIfEmpty(const wchar_t* key) {
    std::vector<RegistryValue> values;
    if (ReadSettingValues(HKEY_CLASSES_ROOT, key, &values) && values.empty()) DeleteSettingKey(HKEY_CLASSES_ROOT, key);
}

}  // namespace tvx
