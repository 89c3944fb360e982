#include "integration/PreviousOwners.h"

#include <algorithm>

#include "integration/NewMenu.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace tvx {
namespace {

// Where a record is kept. The lasting place is an absolute path: it never maps to the
// settings file, and the product key's deletion at uninstall spares it while it holds a
// record (DeleteProductKey).
struct Place {
    HKEY root;
    const wchar_t* format;
};
const Place kSettingsPlace = {HKEY_CURRENT_USER, L"Setup\\%s"};
constexpr wchar_t kLastingFormat[] = L"\\Software\\Tervix\\PreviousOwners\\%s";
constexpr wchar_t kLastingRecords[] = L"\\Software\\Tervix\\PreviousOwners";
constexpr wchar_t kLastingRecordsName[] = L"PreviousOwners";

Place LastingPlace(Scope scope) { return {MachineRoot(scope), kLastingFormat}; }

// The places of the scope, in the order a release reads them. The product settings are
// the account's whatever the scope: only a machine-wide install keeps its records there,
// so that those of an install for the account alone never mix with them.
std::vector<Place> PlacesOf(Scope scope) {
    if (scope == Scope::CurrentUser) return {LastingPlace(scope)};
    return {kSettingsPlace, LastingPlace(scope)};
}

constexpr int32_t kNone = -1;
constexpr wchar_t kExistValue[] = L"Exist";
constexpr wchar_t kTypeValue[] = L"Type";
// "ShellNew" holds the summary that earlier versions wrote and read; the complete
// record beside it is marked by "ShellNewKey" and lists every value with its type and
// data, the data as hexadecimal text so that the settings file can hold it as well.
constexpr wchar_t kSummaryValue[] = L"ShellNew";
constexpr wchar_t kKeyExistedValue[] = L"ShellNewKey";
constexpr wchar_t kCountValue[] = L"ShellNewValues";
constexpr const wchar_t* kSingleValues[] = {kExistValue, kTypeValue, kSummaryValue, kKeyExistedValue, kCountValue};
constexpr const wchar_t* kRecordFields[] = {L"ShellNewName%u", L"ShellNewType%u", L"ShellNewSize%u",
                                            L"ShellNewData%u"};
enum RecordField { kFieldName, kFieldType, kFieldSize, kFieldData };
// Bounds that a damaged record cannot push a restore beyond.
constexpr int32_t kMaxRecordedValues = 1000;
constexpr int32_t kMaxRecordedBytes = 1 << 20;
constexpr size_t kValueNameCapacity = 16384;
constexpr size_t kTypeCapacity = 512;

// Records written since the last flush: a flush with nothing to write is skipped.
bool unflushed = false;

std::wstring RecordKey(const Place& place, const wchar_t* name) {
    wchar_t key[160];
    FormatText(key, 160, place.format, name);
    return key;
}

std::wstring FieldName(RecordField field, unsigned index) {
    wchar_t name[40];
    FormatText(name, 40, kRecordFields[field], index);
    return name;
}

int32_t RecordedCount(const Place& place, const std::wstring& key) {
    return std::clamp(ReadSettingInt(place.root, key.c_str(), kCountValue, 0), 0, kMaxRecordedValues);
}

bool IsNamed(const RegistryValue& value, const wchar_t* name) { return CompareNoCase(value.name.c_str(), name) == 0; }

// The form earlier versions recorded, kept for them: they read only this value.
std::wstring SummaryOf(const std::vector<RegistryValue>& values) {
    bool nullFile = false;
    for (const RegistryValue& value : values) {
        if (IsNamed(value, L"FileName") && !value.Text().empty()) return value.Text();
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

bool ReadRecordedValue(const Place& place, const std::wstring& key, unsigned index, RegistryValue* value) {
    const int32_t size = ReadSettingInt(place.root, key.c_str(), FieldName(kFieldSize, index).c_str(), kNone);
    if (size < 0 || size > kMaxRecordedBytes) return false;
    value->type =
        static_cast<DWORD>(ReadSettingInt(place.root, key.c_str(), FieldName(kFieldType, index).c_str(), REG_SZ));
    std::vector<wchar_t> text(kValueNameCapacity);
    ReadSettingString(place.root, key.c_str(), FieldName(kFieldName, index).c_str(), text.data(), L"", text.size());
    value->name = text.data();
    text.assign(2 * static_cast<size_t>(size) + 1, L'\0');
    ReadSettingString(place.root, key.c_str(), FieldName(kFieldData, index).c_str(), text.data(), L"", text.size());
    value->data.clear();
    for (size_t i = 0; i + 1 < text.size() && value->data.size() < static_cast<size_t>(size); i += 2) {
        const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        value->data.push_back(static_cast<BYTE>(high << 4 | low));
    }
    return value->data.size() == static_cast<size_t>(size);
}

bool ReadRecord(const Place& place, const wchar_t* name, PreviousOwner* owner) {
    const std::wstring key = RecordKey(place, name);
    const int32_t exist = ReadSettingInt(place.root, key.c_str(), kExistValue, kNone);
    const int32_t keyExisted = ReadSettingInt(place.root, key.c_str(), kKeyExistedValue, kNone);
    if (exist == kNone && keyExisted == kNone) return false;
    *owner = PreviousOwner{};
    owner->known = exist != kNone;
    owner->existed = exist != 0;
    std::vector<wchar_t> text(kPathCapacity);
    ReadSettingString(place.root, key.c_str(), kTypeValue, text.data(), L"", kTypeCapacity);
    // An older setup could record one of our own ProgIDs: nothing is pointed back at us.
    if (!IsTervixProgId(text.data())) owner->type = text.data();
    ReadSettingString(place.root, key.c_str(), kSummaryValue, text.data(), L"", text.size());
    owner->shellNewSummary = text.data();
    owner->shellNewKey = keyExisted;
    owner->hasShellNew = keyExisted != kNone || !owner->shellNewSummary.empty();
    const int32_t count = RecordedCount(place, key);
    for (int32_t i = 0; i < count; ++i) {
        RegistryValue value;
        if (ReadRecordedValue(place, key, static_cast<unsigned>(i), &value)) owner->shellNewValues.push_back(value);
    }
    return true;
}

void WriteRecord(const Place& place, const wchar_t* name, const PreviousOwner& owner) {
    const std::wstring key = RecordKey(place, name);
    const wchar_t* at = key.c_str();
    if (owner.known) {
        WriteSettingInt(place.root, at, kExistValue, owner.existed ? 1 : 0);
        WriteSettingString(place.root, at, kTypeValue, owner.type.c_str());
    }
    if (!owner.hasShellNew) return;
    WriteSettingString(place.root, at, kSummaryValue, owner.shellNewSummary.c_str());
    if (owner.shellNewKey == kNone) return;
    WriteSettingInt(place.root, at, kKeyExistedValue, owner.shellNewKey);
    WriteSettingInt(place.root, at, kCountValue, static_cast<int32_t>(owner.shellNewValues.size()));
    for (size_t i = 0; i < owner.shellNewValues.size(); ++i) {
        const RegistryValue& value = owner.shellNewValues[i];
        const unsigned index = static_cast<unsigned>(i);
        WriteSettingString(place.root, at, FieldName(kFieldName, index).c_str(), value.name.c_str());
        WriteSettingInt(place.root, at, FieldName(kFieldType, index).c_str(), static_cast<int32_t>(value.type));
        WriteSettingInt(place.root, at, FieldName(kFieldSize, index).c_str(), static_cast<int32_t>(value.data.size()));
        WriteSettingString(place.root, at, FieldName(kFieldData, index).c_str(), ToHex(value.data).c_str());
    }
}

bool SameValues(const std::vector<RegistryValue>& a, const std::vector<RegistryValue>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const RegistryValue& x, const RegistryValue& y) {
        return x.name == y.name && x.type == y.type && x.data == y.data;
    });
}

// Whether the place holds already what WriteRecord would write of owner.
bool Holds(const Place& place, const wchar_t* name, const PreviousOwner& owner) {
    PreviousOwner kept;
    if (!ReadRecord(place, name, &kept)) return false;
    if (owner.known && (!kept.known || kept.existed != owner.existed || kept.type != owner.type)) return false;
    if (!owner.hasShellNew) return true;
    if (kept.shellNewSummary != owner.shellNewSummary || kept.shellNewKey != owner.shellNewKey) return false;
    return owner.shellNewKey == kNone || SameValues(kept.shellNewValues, owner.shellNewValues);
}

void KeepRecord(const wchar_t* name, const PreviousOwner& owner, Scope scope) {
    // With integration off the classes root is not changed, so there is no owner to
    // record; a record made now would describe nothing and mislead a later release.
    if (!IntegrationEnabled()) return;
    // A record kept as it is already is not written again: setup records every name
    // first and the step that takes it asks once more, and each write would call for
    // another flush.
    for (const Place& place : PlacesOf(scope)) {
        if (Holds(place, name, owner)) continue;
        WriteRecord(place, name, owner);
        unflushed = true;
    }
}

// A record that only the product settings hold (a setup of an earlier version wrote
// it) also goes where every later run finds it.
void CopyToLastingPlace(const wchar_t* name, const PreviousOwner& owner, Scope scope) {
    PreviousOwner lasting;
    if (!IntegrationEnabled() || ReadRecord(LastingPlace(scope), name, &lasting)) return;
    WriteRecord(LastingPlace(scope), name, owner);
    unflushed = true;
}

// Fills the "New" menu part of owner from the extension's entry as it is now. While
// Tervix's own entry is in place and an older record exists, the other program took
// back only its type and that record's part is the true one.
void CaptureShellNew(const wchar_t* extension, bool keepOlder, PreviousOwner* owner, Scope scope) {
    wchar_t key[80];
    ShellNewKeyOf(extension, key, 80);
    std::vector<RegistryValue> values;
    const bool keyExists = ReadSettingValues(ClassesRoot(scope), key, &values);
    const bool ownInPlace = std::any_of(values.begin(), values.end(), IsTervixShellNewValue);
    if (ownInPlace && keepOlder) return;
    std::erase_if(values, IsTervixShellNewValue);
    owner->hasShellNew = true;
    owner->shellNewSummary = SummaryOf(values);
    owner->shellNewKey = keyExists && !(ownInPlace && values.empty()) ? 1 : 0;
    owner->shellNewValues = std::move(values);
}

void DeleteSettingsRecord(const wchar_t* name) {
    const std::wstring key = RecordKey(kSettingsPlace, name);
    const HKEY root = kSettingsPlace.root;
    const int32_t count = RecordedCount(kSettingsPlace, key);
    for (int32_t i = 0; i < count; ++i) {
        for (RecordField field : {kFieldName, kFieldType, kFieldSize, kFieldData})
            DeleteSettingValue(root, key.c_str(), FieldName(field, static_cast<unsigned>(i)).c_str());
    }
    for (const wchar_t* value : kSingleValues) DeleteSettingValue(root, key.c_str(), value);
    DeleteSettingKeyIfEmpty(root, key.c_str());
}

}  // namespace

bool IsTervixProgId(const wchar_t* progId) {
    for (const wchar_t* own : {L"Tervix", L"Tervix.ZIP", L"Tervix.REV"})
        if (CompareNoCase(progId, own) == 0) return true;
    return false;
}

void RecordPreviousOwner(const wchar_t* name, bool withShellNew, Scope scope) {
    wchar_t current[kTypeCapacity];
    ReadSettingString(ClassesRoot(scope), name, L"", current, L"", kTypeCapacity);
    PreviousOwner owner;
    const bool older = FindPreviousOwner(name, &owner, scope);
    if (IsTervixProgId(current)) {
        if (older) CopyToLastingPlace(name, owner, scope);
        return;
    }
    owner.known = true;
    owner.existed = SettingKeyExists(ClassesRoot(scope), name);
    owner.type = current;
    if (withShellNew) CaptureShellNew(name, older, &owner, scope);
    KeepRecord(name, owner, scope);
}

void RecordShellNewOwner(const wchar_t* extension, Scope scope) {
    PreviousOwner owner;
    FindPreviousOwner(extension, &owner, scope);
    CaptureShellNew(extension, false, &owner, scope);
    KeepRecord(extension, owner, scope);
}

void FlushPreviousOwners() {
    if (!unflushed) return;
    unflushed = false;
    FlushRegistry();
}

bool FindPreviousOwner(const wchar_t* name, PreviousOwner* owner, Scope scope) {
    for (const Place& place : PlacesOf(scope))
        if (ReadRecord(place, name, owner)) return true;
    *owner = PreviousOwner{};
    return false;
}

void SettlePreviousOwner(const wchar_t* name, const PreviousOwner* owner, bool givenBack, Scope scope) {
    if (givenBack) {
        if (scope == Scope::Machine) DeleteSettingsRecord(name);
        ForgetLastingRecord(name, scope);
        return;
    }
    if (owner) CopyToLastingPlace(name, *owner, scope);
}

void SecurePreviousOwner(const wchar_t* name, Scope scope) {
    PreviousOwner owner;
    if (scope == Scope::Machine && ReadRecord(kSettingsPlace, name, &owner)) CopyToLastingPlace(name, owner, scope);
}

void ForgetLastingRecord(const wchar_t* name, Scope scope) {
    const Place place = LastingPlace(scope);
    const std::wstring key = RecordKey(place, name);
    if (!SettingKeyExists(place.root, key.c_str())) return;
    DeleteSettingKey(place.root, key.c_str());
    DeleteSettingKeyIfEmpty(place.root, kLastingRecords);
}

void DeleteProductKey(const wchar_t* key, Scope scope) {
    DeleteSettingTreeExcept(MachineRoot(scope), key, kLastingRecordsName);
}

}  // namespace tvx
