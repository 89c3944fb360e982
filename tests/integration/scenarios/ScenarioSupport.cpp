#include "ScenarioSupport.h"

#include "InProcessDialog.h"
#include "TestSupport.h"
#include "integration/SetupDialog.h"
#include "platform/Owner.h"
#include "resources/ResourceIds.h"

namespace tvxtest {

void CaptureKey(HKEY root, const std::wstring& key, RegSnapshot* snapshot) {
    tvx::UniqueHkey handle;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, handle.put()) != ERROR_SUCCESS) return;
    auto& values = (*snapshot)[key];
    for (DWORD index = 0;; ++index) {
        wchar_t name[512];
        DWORD nameLength = 512;
        BYTE data[8192];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(handle.get(), index, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS)
            break;
        RegValue value{type, std::vector<BYTE>(data, data + dataLength)};
        if (type == REG_SZ || type == REG_EXPAND_SZ)
            while (value.data.size() >= 2 && value.data.back() == 0 && value.data[value.data.size() - 2] == 0)
                value.data.resize(value.data.size() - 2);
        values[name] = value;
    }
    std::vector<std::wstring> subkeys;
    for (DWORD index = 0;; ++index) {
        wchar_t name[512];
        DWORD nameLength = 512;
        if (RegEnumKeyExW(handle.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.push_back(name);
    }
    for (const std::wstring& subkey : subkeys) CaptureKey(root, key + L"\\" + subkey, snapshot);
}

namespace {

std::wstring Describe(const RegValue& value) {
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ)
        return L"\"" + std::wstring(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / 2) + L"\"";
    if (value.type == REG_DWORD && value.data.size() == 4)
        return L"dword " + std::to_wstring(*reinterpret_cast<const DWORD*>(value.data.data()));
    return L"type " + std::to_wstring(value.type) + L", " + std::to_wstring(value.data.size()) + L" bytes";
}

std::wstring ValueName(const std::wstring& name) { return name.empty() ? L"(default)" : name; }

}  // namespace

std::vector<std::wstring> Differences(const RegSnapshot& expected, const RegSnapshot& actual) {
    std::vector<std::wstring> lines;
    for (const auto& [key, values] : expected) {
        auto found = actual.find(key);
        if (found == actual.end()) {
            lines.push_back(L"missing key " + key);
            continue;
        }
        for (const auto& [name, value] : values) {
            auto other = found->second.find(name);
            if (other == found->second.end())
                lines.push_back(key + L" " + ValueName(name) + L": missing, expected " + Describe(value));
            else if (!(other->second == value))
                lines.push_back(key + L" " + ValueName(name) + L": " + Describe(other->second) + L", expected " +
                                Describe(value));
        }
        for (const auto& [name, value] : found->second)
            if (!values.count(name)) lines.push_back(key + L" " + ValueName(name) + L": unexpected " + Describe(value));
    }
    for (const auto& [key, values] : actual)
        if (!expected.count(key)) lines.push_back(L"unexpected key " + key);
    return lines;
}

RegValue StringValue(const std::wstring& text) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.data());
    return RegValue{REG_SZ, std::vector<BYTE>(bytes, bytes + text.size() * sizeof(wchar_t))};
}

void SetClassString(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    RegWriteString(HKEY_CLASSES_ROOT, key, name, value);
}

INT_PTR RunSetupDialog(const std::function<void(HWND dialog)>& drive) {
    return RunDialog(L"SETUPDLG", tvx::SetupDialog, 0, IDC_SETCONTEXTMENU, drive);
}

HWND WaitForSecondDialog(HWND dialog, DWORD timeoutMs) {
    return WaitForWindow({.processId = GetCurrentProcessId(), .except = dialog}, timeoutMs);
}

}  // namespace tvxtest
