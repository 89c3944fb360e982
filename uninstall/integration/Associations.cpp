#include "integration/Associations.h"

#include <shlobj.h>

#include "integration/NewMenu.h"
#include "lang/Texts.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "resources/ResourceIds.h"
#include "platform/RunLog.h"
#include "settings/Settings.h"

namespace tvx {

const wchar_t* const ArchiveTypeTable[18] = {
    L".tvx", L".zip",   L".cab",    L".arj",        L".lz.tlz",          L".lzh.lha",
    L".7z",  L".tar",   L".gz.tgz", L".uue.xxe.uu", L".bz2.tbz2.bz.tbz", L".jar",
    L".iso", L".z.taz", L".xz.txz", L".zipx",       L".zst.tzst",        L".001",
};

namespace {

constexpr wchar_t kNativeProgId[] = L"Tervix";
constexpr wchar_t kZipProgId[] = L"Tervix.ZIP";
// Volume names of a multi-volume native archive: ".t00" onwards. Taking the format
// claims the first thirty; giving it back sweeps a hundred, the most a volume set
// ever had.
constexpr unsigned kVolumesTaken = 30;
constexpr unsigned kVolumesReleased = 100;

bool IsTervixProgId(const wchar_t* progId) {
    return CompareNoCase(progId, kNativeProgId) == 0 || CompareNoCase(progId, kZipProgId) == 0;
}

void BackupKeyOf(const wchar_t* extension, wchar_t* key, size_t size) {
    FormatText(key, size, L"Setup\\%s", extension);
}

void VolumeName(unsigned number, wchar_t* name, size_t size) { FormatText(name, size, L".t%02u", number); }

// Records who owned the extension before Tervix takes it, so that a release can give
// it back exactly.
void BackUpOwner(const wchar_t* extension) {
    wchar_t previous[512];
    ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", previous, L"", 512);
    wchar_t shellNew[kPathCapacity];
    CaptureShellNew(extension, shellNew, kPathCapacity);
    const bool existed = SettingKeyExists(HKEY_CLASSES_ROOT, extension);

    wchar_t key[80];
    BackupKeyOf(extension, key, 80);
    WriteUserInt(key, L"Exist", existed ? 1 : 0);
    WriteUserString(key, L"Type", previous);
    WriteUserString(key, L"ShellNew", shellNew);
}

void ReleaseExtension(const wchar_t* extension, const wchar_t* backupKey, bool existed, bool isNative) {
    wchar_t previous[512];
    ReadUserString(backupKey, L"Type", previous, L"", 512);
    // A backup that names Tervix itself (left by an older setup) must never point the
    // type back at us.
    if (IsTervixProgId(previous)) previous[0] = L'\0';
    LogAction(L"released " + std::wstring(extension) + L", given back to " +
              (existed && previous[0] ? L"\"" + std::wstring(previous) + L"\"" : std::wstring(L"no owner")));

    if (existed) {
        WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", previous);
    } else {
        // The delete leaves the key in place when it still has subkeys, such as our
        // own ShellNew entry; the value is emptied first for that case.
        WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", L"");
        DeleteSettingKey(HKEY_CLASSES_ROOT, extension);
    }
    if (!isNative) return;
    for (unsigned number = 0; number < kVolumesReleased; ++number) {
        wchar_t volume[16];
        VolumeName(number, volume, 16);
        if (existed && previous[0] != L'\0')
            WriteSettingString(HKEY_CLASSES_ROOT, volume, L"", previous);
        else
            DeleteSettingKey(HKEY_CLASSES_ROOT, volume);
    }
}

// The rows of the three ProgIDs and ".rev", in the order they are written.
enum class ProgIdData { Text, OpenCommand, IconFirst, IconSecond, Literal };
struct ProgIdRow {
    const wchar_t* key;
    ProgIdData data;
    UINT textId;               // for Text
    const wchar_t* literal;    // for Literal
};
constexpr ProgIdRow kProgIdRows[] = {
    {L"Tervix\\shell\\open\\command", ProgIdData::OpenCommand, 0, nullptr},
    {L"Tervix\\DefaultIcon", ProgIdData::IconFirst, 0, nullptr},
    {L"Tervix.ZIP", ProgIdData::Text, IDS_TERVIXZIPARC, nullptr},
    {L"Tervix.ZIP\\shell\\open\\command", ProgIdData::OpenCommand, 0, nullptr},
    {L"Tervix.ZIP\\DefaultIcon", ProgIdData::IconFirst, 0, nullptr},
    {L".rev", ProgIdData::Literal, 0, L"Tervix.REV"},
    {L"Tervix.REV", ProgIdData::Text, IDS_TVXRECVOL, nullptr},
    {L"Tervix.REV\\shell\\open\\command", ProgIdData::OpenCommand, 0, nullptr},
    {L"Tervix.REV\\DefaultIcon", ProgIdData::IconSecond, 0, nullptr},
};

}  // namespace

bool NextExtension(const wchar_t** cursor, wchar_t* output, size_t size) {
    const wchar_t* rest = *cursor;
    if (rest == nullptr || *rest == L'\0') return false;
    wchar_t work[50];
    CopyText(work, rest, 50);
    // Cut at the next "." after the first character: ".gz.tgz" gives ".gz".
    for (wchar_t* c = work + 1; *c != L'\0'; ++c) {
        if (*c == L'.') {
            *c = L'\0';
            break;
        }
    }
    *cursor = rest + wcslen(work);
    CopyText(output, work, size);
    return true;
}

bool IsOwnedExtension(const wchar_t* extension) {
    wchar_t progId[80];
    ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", progId, L"", 80);
    return IsTervixProgId(progId);
}

void AssociateExtension(const wchar_t* extension, bool associate, bool shellExtension, bool isNative, bool isZip) {
    const bool wanted = IsNewMenuWanted(shellExtension, isNative, isZip);

    if (associate) {
        // An extension we already own keeps the backup of its real previous owner.
        if (!IsOwnedExtension(extension)) BackUpOwner(extension);
        WriteSettingString(HKEY_CLASSES_ROOT, extension, L"", isZip ? kZipProgId : kNativeProgId);
        LogAction(L"took " + std::wstring(extension));
        if (isNative) {
            for (unsigned number = 0; number < kVolumesTaken; ++number) {
                wchar_t volume[16];
                VolumeName(number, volume, 16);
                WriteSettingString(HKEY_CLASSES_ROOT, volume, L"", kNativeProgId);
            }
        }
        if (wanted && (isNative || isZip)) CreateShellNewEntry(extension, isNative);
    }

    if (!IsOwnedExtension(extension)) return;
    if (associate && wanted) return;

    wchar_t backupKey[80];
    BackupKeyOf(extension, backupKey, 80);
    const bool existed = ReadUserInt(backupKey, L"Exist", 1) != 0;
    if (!associate) ReleaseExtension(extension, backupKey, existed, isNative);
    if (!isNative && !isZip) return;
    RestoreShellNewEntry(extension, existed);
}

void AssociateAllTypes(const SetupChoices& choices) {
    const bool shellExtension = choices.bytes[kChoiceShellExtension] != 0;
    for (size_t i = 0; i < kArchiveTypeCount; ++i) {
        const wchar_t* cursor = ArchiveTypeTable[i];
        wchar_t extension[50];
        while (NextExtension(&cursor, extension, 50))
            AssociateExtension(extension, choices.bytes[i] != 0, shellExtension, i == 0, i == 1);
    }
}

bool RegisterProgIds() {
    wchar_t folder[kPathCapacity];
    GetProgramFolder(folder, kPathCapacity);
    wchar_t program[kPathCapacity];
    JoinPath(folder, L"Tervix.exe", program, kPathCapacity);
    wchar_t openCommand[kPathCapacity];
    FormatText(openCommand, kPathCapacity, L"\"%s\" \"%%1\"", program);
    wchar_t iconFirst[kPathCapacity];
    FormatText(iconFirst, kPathCapacity, L"%s,0", program);
    wchar_t iconSecond[kPathCapacity];
    FormatText(iconSecond, kPathCapacity, L"%s,1", program);

    // Writing to the classes root needs administrative rights; the first refusal tells.
    if (WriteSettingString(HKEY_CLASSES_ROOT, L"Tervix", L"", LoadText(IDS_TERVIXARC)) == ERROR_ACCESS_DENIED)
        return false;

    for (const ProgIdRow& row : kProgIdRows) {
        switch (row.data) {
        case ProgIdData::Text:
            WriteSettingString(HKEY_CLASSES_ROOT, row.key, L"", LoadText(row.textId));
            break;
        case ProgIdData::Literal:
            WriteSettingString(HKEY_CLASSES_ROOT, row.key, L"", row.literal);
            break;
        case ProgIdData::OpenCommand:
            WriteSettingString(HKEY_CLASSES_ROOT, row.key, L"", openCommand);
            break;
        case ProgIdData::IconFirst:
        case ProgIdData::IconSecond: {
            // An icon chosen by someone else (a theme, the user) survives setup.
            wchar_t current[kPathCapacity];
            ReadSettingString(HKEY_CLASSES_ROOT, row.key, L"", current, L"", kPathCapacity);
            if (current[0] == L'\0')
                WriteSettingString(HKEY_CLASSES_ROOT, row.key, L"",
                                   row.data == ProgIdData::IconFirst ? iconFirst : iconSecond);
            break;
        }
        }
    }
    SHChangeNotify(SHCNE_ASSOCCHANGED, 0, nullptr, nullptr);
    return true;
}

}  // namespace tvx
