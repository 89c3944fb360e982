#pragma once
// The restart list of Windows (PendingFileRenameOperations): what a test scheduled for
// deletion at the next restart, and putting the list back as it was.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/Owner.h"

namespace tvxtest {

inline const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
inline const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

// The shared prefix keeps its restart list: what a test schedules is taken back.
class PendingRenames {
public:
    // With a folder (tests sharing one prefix, maybe at the same time) only the entries
    // below it count and are taken out at the end; without one (a fresh prefix) the whole
    // list counts and is put back as it was.
    explicit PendingRenames(std::wstring folder = L"") : scope_(std::move(folder)) {
        existed_ = Read(&saved_);
        savedDeletions_ = Deletions().size();
    }
    ~PendingRenames() {
        tvx::UniqueHkey owned;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, owned.put()) != ERROR_SUCCESS) return;
        const HKEY key = owned.get();
        if (!scope_.empty()) {
            std::vector<std::wstring> strings = Strings(), kept;
            for (size_t i = 0; i + 1 < strings.size(); i += 2) {
                if (InScope(strings[i])) continue;
                kept.push_back(strings[i]);
                kept.push_back(strings[i + 1]);
            }
            std::vector<wchar_t> data;
            for (const auto& text : kept) data.insert(data.end(), text.c_str(), text.c_str() + text.size() + 1);
            data.push_back(0);
            if (kept.empty())
                RegDeleteValueW(key, kPendingValue);
            else
                RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size() * sizeof(wchar_t)));
        } else if (existed_) {
            RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, saved_.data(), static_cast<DWORD>(saved_.size()));
        } else {
            RegDeleteValueW(key, kPendingValue);
        }
    }
    // The entries (source and target) that count, in the list's order.
    std::vector<std::pair<std::wstring, std::wstring>> Entries() const {
        std::vector<std::wstring> strings = Strings();
        std::vector<std::pair<std::wstring, std::wstring>> entries;
        for (size_t i = 0; i + 1 < strings.size(); i += 2)
            if (!strings[i].empty() && (scope_.empty() || InScope(strings[i])))
                entries.emplace_back(strings[i], strings[i + 1]);
        return entries;
    }
    // The names scheduled for deletion (those with an empty target).
    std::vector<std::wstring> Deletions() const {
        std::vector<std::wstring> deletions;
        for (const auto& [source, target] : Entries())
            if (target.empty()) deletions.push_back(source);
        return deletions;
    }
    size_t AddedDeletions() const { return Deletions().size() - (scope_.empty() ? savedDeletions_ : 0); }
    size_t CountDeletionsOf(const std::wstring& path) const {
        size_t count = 0;
        for (const auto& name : Deletions()) count += _wcsicmp(name.c_str(), (L"\\??\\" + path).c_str()) == 0;
        return count;
    }

private:
    // Source and target names in pairs.
    static std::vector<std::wstring> Strings() {
        std::vector<BYTE> bytes;
        std::vector<std::wstring> strings;
        if (!Read(&bytes)) return strings;
        bytes.resize(bytes.size() + 2 * sizeof(wchar_t), 0);
        const wchar_t* text = reinterpret_cast<const wchar_t*>(bytes.data());
        const size_t count = bytes.size() / sizeof(wchar_t) - 2;
        for (size_t i = 0; i < count;) {
            std::wstring s(text + i);
            i += s.size() + 1;
            strings.push_back(s);
        }
        return strings;
    }
    bool InScope(const std::wstring& name) const {
        const std::wstring prefix = L"\\??\\" + scope_ + L"\\";
        return _wcsnicmp(name.c_str(), prefix.c_str(), prefix.size()) == 0;
    }
    static bool Read(std::vector<BYTE>* bytes) {
        tvx::UniqueHkey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
            return false;
        DWORD size = 0, type = 0;
        LONG result = RegQueryValueExW(key.get(), kPendingValue, nullptr, &type, nullptr, &size);
        if (result == ERROR_SUCCESS) {
            bytes->assign(size + 4, 0);
            result = RegQueryValueExW(key.get(), kPendingValue, nullptr, &type, bytes->data(), &size);
            bytes->resize(size);
        }
        return result == ERROR_SUCCESS;
    }
    std::wstring scope_;
    std::vector<BYTE> saved_;
    bool existed_ = false;
    size_t savedDeletions_ = 0;
};

}  // namespace tvxtest
