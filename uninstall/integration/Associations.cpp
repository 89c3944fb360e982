#include "integration/Associations.h"

#include <shlobj.h>

#include "integration/NewMenu.h"
#include "integration/PreviousOwners.h"
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

std::wstring DefaultOf(const wchar_t* key, Scope scope) {
    wchar_t current[80];
    ReadSettingString(ClassesRoot(scope), key, L"", current, L"", 80);
    return current;
}

bool HasDefault(const wchar_t* key, const wchar_t* progId, Scope scope) {
    return CompareNoCase(DefaultOf(key, scope).c_str(), progId) == 0;
}

// Calls visit(name) for the first count volume names of the native format: ".t00", ".t01"...
template <typename Visit>
void ForEachVolume(unsigned count, Visit&& visit) {
    for (unsigned number = 0; number < count; ++number) {
        wchar_t volume[16];
        FormatText(volume, 16, L".t%02u", number);
        visit(volume);
    }
}

// Gives name back to the owner recorded, or without a record removes only Tervix's
// default value (and the key, when nothing else is left in it). A key that did not
// exist goes again unless something else has moved in since. True when the default
// value no longer names Tervix.
bool GiveBack(const wchar_t* name, const PreviousOwner* owner, Scope scope) {
    const bool existed = owner && owner->known && owner->existed;
    const wchar_t* previous = existed ? owner->type.c_str() : L"";
    LogAction(L"released " + std::wstring(name) + L", given back to " +
              (previous[0] ? L"\"" + std::wstring(previous) + L"\"" : std::wstring(L"no owner")));
    const HKEY classes = ClassesRoot(scope);
    if (existed) {
        WriteSettingString(classes, name, L"", previous);
    } else {
        DeleteSettingValue(classes, name, L"");
        DeleteSettingKeyIfEmpty(classes, name);
    }
    return !IsTervixProgId(DefaultOf(name, scope).c_str());
}

void Release(const wchar_t* name, const PreviousOwner* owner, Scope scope) {
    SettlePreviousOwner(name, owner, GiveBack(name, owner, scope), scope);
}

void RecordVolumeOwners(Scope scope) {
    ForEachVolume(kVolumesTaken, [scope](const wchar_t* volume) { RecordPreviousOwner(volume, false, scope); });
}

void TakeVolumeNames(Scope scope) {
    ForEachVolume(kVolumesTaken, [scope](const wchar_t* volume) {
        WriteSettingString(ClassesRoot(scope), volume, L"", kNativeProgId);
    });
}

// native is the record of ".tvx": a name that an earlier version took without a record
// of its own follows it, as it always did.
void ReleaseVolumeNames(const PreviousOwner* native, Scope scope) {
    ForEachVolume(kVolumesReleased, [native, scope](const wchar_t* volume) {
        if (!HasDefault(volume, kNativeProgId, scope)) {
            ForgetLastingRecord(volume, scope);
            return;
        }
        PreviousOwner owner;
        if (FindPreviousOwner(volume, &owner, scope) && owner.known)
            Release(volume, &owner, scope);
        else if (native && native->known && native->existed && !native->type.empty())
            WriteSettingString(ClassesRoot(scope), volume, L"", native->type.c_str());
        else
            Release(volume, nullptr, scope);
    });
}

// What taking extension changes, recorded: its type, the volume names of the native
// format, and the "New" menu entry when setup puts its own in place of another's. An
// entry that is not ours may have changed since it was recorded, or been given back to
// its owner by an earlier setup: what it holds now is what returns.
void RecordOwnersOf(const wchar_t* extension, bool isNative, bool newMenu, Scope scope) {
    RecordPreviousOwner(extension, true, scope);
    if (isNative) RecordVolumeOwners(scope);
    if (newMenu && !HasTervixShellNewEntry(extension, scope)) RecordShellNewOwner(extension, scope);
}

bool WantsNewMenu(bool shellExtension, bool isNative, bool isZip) {
    return (isNative || isZip) && IsNewMenuWanted(shellExtension, isNative, isZip);
}

// Calls visit(extension, associate, shellExtension, isNative, isZip) for every extension
// of the table, in its order.
template <typename Visit>
void ForEachExtension(const SetupChoices& choices, Visit&& visit) {
    const bool shellExtension = choices.bytes[kChoiceShellExtension] != 0;
    for (size_t i = 0; i < kArchiveTypeCount; ++i) {
        const wchar_t* cursor = ArchiveTypeTable[i];
        wchar_t extension[50];
        while (NextExtension(&cursor, extension, 50))
            visit(extension, choices.bytes[i] != 0, shellExtension, i == 0, i == 1);
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

bool IsOwnedExtension(const wchar_t* extension, Scope scope) {
    const std::wstring progId = DefaultOf(extension, scope);
    return CompareNoCase(progId.c_str(), kNativeProgId) == 0 || CompareNoCase(progId.c_str(), kZipProgId) == 0;
}

void AssociateExtension(const wchar_t* extension, bool associate, bool shellExtension, bool isNative, bool isZip,
                        Scope scope) {
    const bool wanted = IsNewMenuWanted(shellExtension, isNative, isZip);
    const bool hasNewMenu = isNative || isZip;

    if (associate) {
        // The records are on the disk before anything of the other programs changes.
        RecordOwnersOf(extension, isNative, wanted && hasNewMenu, scope);
        FlushPreviousOwners();
        WriteSettingString(ClassesRoot(scope), extension, L"", isZip ? kZipProgId : kNativeProgId);
        LogAction(L"took " + std::wstring(extension));
        if (isNative) TakeVolumeNames(scope);
        if (wanted && hasNewMenu) CreateShellNewEntry(extension, isNative, scope);
    }

    PreviousOwner owner;
    const PreviousOwner* recorded = FindPreviousOwner(extension, &owner, scope) ? &owner : nullptr;
    // The volume names have records of their own: those still ours go back even when
    // another program has taken ".tvx" itself in the meantime.
    if (!associate && isNative) ReleaseVolumeNames(recorded, scope);

    // Our "New" menu entry may outlast the type, when another program took back only
    // the type, or a run ended between the two restores.
    const bool ownType = IsOwnedExtension(extension, scope);
    const bool ownEntry = hasNewMenu && HasTervixShellNewEntry(extension, scope);
    if (!ownType && !ownEntry) {
        if (!associate) ForgetLastingRecord(extension, scope);
        return;
    }
    if (associate && wanted) return;
    bool givenBack = true;
    if (!associate && ownType) givenBack = GiveBack(extension, recorded, scope);
    if (hasNewMenu) givenBack = RestoreShellNewEntry(extension, recorded, scope) && givenBack;
    if (associate) return;
    // Our "ShellNew" subkey kept the key of an extension that had none; now it can go.
    if (!(recorded && recorded->known && recorded->existed)) DeleteSettingKeyIfEmpty(ClassesRoot(scope), extension);
    SettlePreviousOwner(extension, recorded, givenBack, scope);
}

void AssociateAllTypes(const SetupChoices& choices, Scope scope) {
    ForEachExtension(choices, [scope](const wchar_t* extension, bool associate, bool shellExtension, bool isNative,
                                      bool isZip) {
        AssociateExtension(extension, associate, shellExtension, isNative, isZip, scope);
    });
}

void RecordPreviousOwners(const SetupChoices& choices, Scope scope) {
    ForEachExtension(choices, [scope](const wchar_t* extension, bool associate, bool shellExtension, bool isNative,
                                      bool isZip) {
        if (associate) RecordOwnersOf(extension, isNative, WantsNewMenu(shellExtension, isNative, isZip), scope);
    });
    RecordPreviousOwner(kRecoveryExtension, false, scope);
    FlushPreviousOwners();
}

void SecurePreviousOwners(Scope scope) {
    // Every extension of the table, whatever was chosen.
    const SetupChoices anyChoices = {};
    ForEachExtension(anyChoices, [scope](const wchar_t* extension, bool, bool, bool, bool) {
        SecurePreviousOwner(extension, scope);
    });
    ForEachVolume(kVolumesReleased, [scope](const wchar_t* volume) { SecurePreviousOwner(volume, scope); });
    SecurePreviousOwner(kRecoveryExtension, scope);
    FlushPreviousOwners();
}

bool RegisterProgIds(Scope scope) {
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

    // Writing to the machine's classes root needs administrative rights; the first
    // refusal tells.
    const HKEY classes = ClassesRoot(scope);
    if (WriteSettingString(classes, L"Tervix", L"", LoadText(IDS_TERVIXARC)) == ERROR_ACCESS_DENIED) return false;

    for (const ProgIdRow& row : kProgIdRows) {
        switch (row.data) {
        case ProgIdData::Text:
            WriteSettingString(classes, row.key, L"", LoadText(row.textId));
            break;
        case ProgIdData::Literal:
            // ".rev" may belong to another program: its owner is recorded as an
            // extension's is, and given back at uninstall.
            RecordPreviousOwner(row.key, false, scope);
            FlushPreviousOwners();
            WriteSettingString(classes, row.key, L"", row.literal);
            break;
        case ProgIdData::OpenCommand:
            WriteSettingString(classes, row.key, L"", openCommand);
            break;
        case ProgIdData::IconFirst:
        case ProgIdData::IconSecond: {
            // An icon chosen by someone else (a theme, the user) survives setup.
            wchar_t current[kPathCapacity];
            ReadSettingString(classes, row.key, L"", current, L"", kPathCapacity);
            if (current[0] == L'\0')
                WriteSettingString(classes, row.key, L"",
                                   row.data == ProgIdData::IconFirst ? iconFirst : iconSecond);
            break;
        }
        }
    }
    NotifyAssociationsChanged();
    return true;
}

void NotifyAssociationsChanged() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST | SHCNF_FLUSHNOWAIT, nullptr, nullptr); }

void ReleaseRecoveryVolumeType(Scope scope) {
    if (!HasDefault(kRecoveryExtension, kRecoveryProgId, scope)) {
        ForgetLastingRecord(kRecoveryExtension, scope);
        return;
    }
    // Without a record (an earlier version kept none) only our default value goes.
    PreviousOwner owner;
    Release(kRecoveryExtension, FindPreviousOwner(kRecoveryExtension, &owner, scope) ? &owner : nullptr, scope);
}

}  // namespace tvx
