#include "platform/RestartDeletions.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/Owner.h"
#include "platform/RunLog.h"

namespace tvx {
namespace {

constexpr wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";
constexpr wchar_t kNtPrefix[] = L"\\??\\";

// The name the restart list uses for a path: "C:\x" is "\??\C:\x", "\\server\share" is
// "\??\UNC\server\share", and a "\\?\" form only changes its prefix.
std::wstring NtName(std::wstring path) {
    while (path.size() > 1 && path.back() == L'\\') path.pop_back();
    if (path.rfind(L"\\\\?\\", 0) == 0) return kNtPrefix + path.substr(4);
    if (path.rfind(L"\\\\", 0) == 0) return kNtPrefix + (L"UNC\\" + path.substr(2));
    return kNtPrefix + path;
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool IsInFolder(const std::wstring& name, const std::wstring& folder) {
    if (name.size() < folder.size() || !EqualNoCase(std::wstring_view(name).substr(0, folder.size()), folder))
        return false;
    return name.size() == folder.size() || name[folder.size()] == L'\\';
}

// The strings of a multi-string value. Empty strings count: a deletion is a source
// followed by an empty target, so the list cannot stop at the first empty string. The
// terminator that ends the list reads as one more empty string when it leaves one over.
std::vector<std::wstring> SplitStrings(const std::vector<wchar_t>& data) {
    std::vector<std::wstring> strings;
    for (size_t start = 0; start < data.size();) {
        size_t stop = start;
        while (stop < data.size() && data[stop] != L'\0') ++stop;
        strings.emplace_back(data.data() + start, stop - start);
        start = stop + 1;
    }
    if (strings.size() % 2 == 1 && strings.back().empty()) strings.pop_back();
    return strings;
}

bool ReadList(HKEY key, std::vector<wchar_t>* data) {
    DWORD size = 0, type = 0;
    LONG result = RegQueryValueExW(key, kPendingValue, nullptr, &type, nullptr, &size);
    while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        data->assign(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(data->size() * sizeof(wchar_t));
        result = RegQueryValueExW(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(data->data()), &got);
        if (result == ERROR_SUCCESS) {
            data->resize(got / sizeof(wchar_t));
            return type == REG_MULTI_SZ;
        }
        size = got;
    }
    return false;
}

}  // namespace

bool CancelRestartDeletionsIn(const wchar_t* folder) {
    // Read first, write only when something has to go: a run without the rights to
    // write the list meets no refusal when there is nothing to take out.
    std::vector<wchar_t> data;
    {
        UniqueHkey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS ||
            !ReadList(key.get(), &data))
            return true;
    }

    const std::wstring ownFolder = NtName(folder);
    const std::vector<std::wstring> strings = SplitStrings(data);
    std::vector<wchar_t> kept;
    std::vector<std::wstring> cancelled;
    for (size_t i = 0; i < strings.size(); i += 2) {
        const bool isPair = i + 1 < strings.size();
        if (isPair && strings[i + 1].empty() && IsInFolder(strings[i], ownFolder)) {
            cancelled.push_back(strings[i]);
            continue;
        }
        for (size_t j = i; j < i + (isPair ? 2 : 1); ++j)
            kept.insert(kept.end(), strings[j].c_str(), strings[j].c_str() + strings[j].size() + 1);
    }
    if (cancelled.empty()) return true;

    kept.push_back(L'\0');
    UniqueHkey key;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.put());
    if (result == ERROR_SUCCESS)
        result = kept.size() == 1 ? RegDeleteValueW(key.get(), kPendingValue)
                                  : RegSetValueExW(key.get(), kPendingValue, 0, REG_MULTI_SZ,
                                                   reinterpret_cast<const BYTE*>(kept.data()),
                                                   static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    if (result != ERROR_SUCCESS) {
        LogFailure(L"cancel the deletions at the next restart in " + std::wstring(folder), static_cast<DWORD>(result));
        return false;
    }
    for (const std::wstring& name : cancelled)
        LogAction(L"cancelled the deletion at the next restart of " + name.substr(std::size(kNtPrefix) - 1));
    return true;
}

}  // namespace tvx
