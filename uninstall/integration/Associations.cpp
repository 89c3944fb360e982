#include "integration/Associations.h"

#include <shlobj.h>

#include "integration/NewMenu.h"
#include "lang/Texts.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/Strings.h"
#include "resources/ResourceIds.h"
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
constexpr wchar_t kRecoveryProgId[] = L"Tervix.REV";
constexpr wchar_t kRecoveryExtension[] = L".rev";
// Volume names of a multi-volume native archive: ".t00" onwards. Taking the format
// claims the first thirty, each with a record of its own; giving it back looks at a
// hundred, the most a volume set ever had, and touches only those that are ours.
constexpr unsigned kVolumesTaken = 30;
constexpr unsigned kVolumesReleased = 100;
// "Exist" read with this default tells that no record was ever written.
constexpr int32_t kNoRecord = -1;

bool IsTervixProgId(const wchar_t* progId) {
    return CompareNoCase(progId, kNativeProgId) == 0 || CompareNoCase(progId, kZipProgId) == 0;
}

// Any of our ProgIDs: never recorded as a previous owner, never given back to.
bool IsOwnType(const wchar_t* progId) { return IsTervixProgId(progId) || CompareNoCase(progId, kRecoveryProgId) == 0; }

bool HasDefault(const wchar_t* key, const wchar_t* progId) {
    wchar_t current[80];
    ReadSettingString(HKEY_CLASSES_ROOT, key, L"", current, L"", 80);
    return CompareNoCase(current, progId) == 0;
}

void VolumeName(unsigned number, wchar_t* name, size_t size) { FormatText(name, size, L".t%02u", number); }

bool HasRecord(const wchar_t* backupKey) { return ReadUserInt(backupKey, L"Exist", kNoRecord) != kNoRecord; }

// Records whether the class key existed and its default value (the previous ProgID).
// A default that is one of ours was not another program's: the older record stays.
void RecordOwner(const wchar_t* name, const wchar_t* backupKey) {
    wchar_t previous[512];
    ReadSettingString(HKEY_CLASSES_ROOT, name, L"", previous, L"", 512);
    if (IsOwnType(previous)) return;
    WriteUserInt(backupKey, L"Exist", SettingKeyExists(HKEY_CLASSES_ROOT, name) ? 1 : 0);
    WriteUserString(backupKey, L"Type", previous);
}

// The previous owner as recorded; one of our own ProgIDs (left by an older setup)
// reads as empty, so that nothing is ever pointed back at us.
void RecordedType(const wchar_t* backupKey, wchar_t* previous, size_t size) {
    ReadUserString(backupKey, L"Type", previous, L"", size);
    if (IsOwnType(previous)) previous[0] = L'\0';
}

// A key that did not exist goes again unless something else has moved in since.
void GiveBack(const wchar_t* name, bool existed, const wchar_t* previous) {
    LogAction(L"released " + std::wstring(name) + L", given back to " +
              (existed && previous[0] ? L"\"" + std::wstring(previous) + L"\"" : std::wstring(L"no owner")));
    if (existed) {
        WriteSettingString(HKEY_CLASSES_ROOT, name, L"", previous);
        return;
    }
    DeleteSettingValue(HKEY_CLASSES_ROOT, name, L"");
    DeleteClassKeyIfEmpty(name);
}

// Records who owned the extension before Tervix takes it, so that a release can give
// it back exactly.
void BackUpOwner(const wchar_t* extension) {
    wchar_t key[80];
    BackupKeyOf(extension, key, 80);
    const bool hadRecord = HasRecord(key);
    RecordOwner(extension, key);
    RecordShellNew(extension, key, hadRecord);
}

void TakeVolumeNames() {
    for (unsigned number = 0; number < kVolumesTaken; ++number) {
        wchar_t volume[16], key[80];
        VolumeName(number, volume, 16);
        BackupKeyOf(volume, key, 80);
        if (!HasDefault(volume, kNativeProgId)) RecordOwner(volume, key);
        WriteSettingString(HKEY_CLASSES_ROOT, volume, L"", kNativeProgId);
    }
}

// nativeExisted and nativePrevious come from the record of ".tvx": a name that an
// earlier version took without a record of its own follows them, as it always did.
void ReleaseVolumeNames(bool nativeExisted, const wchar_t* nativePrevious) {
    for (unsigned number = 0; number < kVolumesReleased; ++number) {
        wchar_t volume[16], key[80];
        VolumeName(number, volume, 16);
        if (!HasDefault(volume, kNativeProgId)) continue;
        BackupKeyOf(volume, key, 80);
        const int32_t exist = ReadUserInt(key, L"Exist", kNoRecord);
        if (exist != kNoRecord) {
            wchar_t previous[512];
            RecordedType(key, previous, 512);
            GiveBack(volume, exist != 0, previous);
        } else if (nativeExisted && nativePrevious[0] != L'\0') {
            WriteSettingString(HKEY_CLASSES_ROOT, volume, L"", nativePrevious);
        } else {
            DeleteSettingKey(HKEY_CLASSES_ROOT, volume);
        }
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
    {kRecoveryExtension, ProgIdData::Literal, 0, kRecoveryProgId},
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
        if (isNative) TakeVolumeNames();
        if (wanted && (isNative || isZip)) CreateShellNewEntry(extension, isNative);
    }

    wchar_t backupKey[80];
    BackupKeyOf(extension, backupKey, 80);
    const bool existed = ReadUserInt(backupKey, L"Exist", 1) != 0;
    wchar_t previous[512];
    RecordedType(backupKey, previous, 512);
    // The volume names have records of their own: those still ours go back even when
    // another program has taken ".tvx" itself in the meantime.
    if (!associate && isNative) ReleaseVolumeNames(existed, previous);

    if (!IsOwnedExtension(extension)) return;
    if (associate && wanted) return;
    if (!associate) GiveBack(extension, existed, previous);
    if (isNative || isZip) RestoreShellNewEntry(extension, existed);
    // Our "ShellNew" subkey kept the key of an extension that had none; now it can go.
    if (!associate && !existed) DeleteClassKeyIfEmpty(extension);
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
        case ProgIdData::Literal: {
            // ".rev" may belong to another program: its owner is recorded as an
            // extension's is, and given back at uninstall.
            wchar_t backupKey[80];
            BackupKeyOf(row.key, backupKey, 80);
            RecordOwner(row.key, backupKey);
            WriteSettingString(HKEY_CLASSES_ROOT, row.key, L"", row.literal);
            break;
        }
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
    NotifyAssociationsChanged();
    return true;
}

void NotifyAssociationsChanged() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST | SHCNF_FLUSHNOWAIT, nullptr, nullptr); }

void ReleaseRecoveryVolumeType() {
    if (!HasDefault(kRecoveryExtension, kRecoveryProgId)) return;
    wchar_t backupKey[80];
    BackupKeyOf(kRecoveryExtension, backupKey, 80);
    // An earlier version kept no record: the key goes as it always did, but only as far
    // as nothing of another program lives in it.
    const int32_t exist = ReadUserInt(backupKey, L"Exist", kNoRecord);
    wchar_t previous[512];
    RecordedType(backupKey, previous, 512);
    GiveBack(kRecoveryExtension, exist != kNoRecord && exist != 0, previous);
}

}  // namespace tvx
