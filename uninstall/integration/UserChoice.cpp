#include "integration/UserChoice.h"

#include "integration/Associations.h"
#include "integration/PreviousOwners.h"
#include "platform/RunLog.h"
#include "platform/Strings.h"
#include "platform/WindowsVersion.h"
#include "settings/Settings.h"

namespace tvx {
namespace {

constexpr wchar_t kFileExtsKey[] = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";
constexpr size_t kProgIdCapacity = 512;
constexpr uint32_t kWindows8 = 0x0602;

std::wstring UserChoiceKey(const std::wstring& extension) {
    return std::wstring(kFileExtsKey) + L"\\" + extension + L"\\UserChoice";
}

// Empty when the user chose nothing for the extension.
std::wstring UserChoiceOf(const std::wstring& extension) {
    wchar_t progId[kProgIdCapacity];
    ReadSettingString(HKEY_CURRENT_USER, UserChoiceKey(extension).c_str(), L"ProgId", progId, L"", kProgIdCapacity);
    return progId;
}

}  // namespace

std::vector<std::wstring> FindTypesKeptByUserChoice(const SetupChoices& choices) {
    std::vector<std::wstring> kept;
    if (WindowsVersionNumber() < kWindows8) return kept;
    std::wstring logged;
    for (size_t group = 0; group < kArchiveTypeCount; ++group) {
        if (!choices.bytes[group]) continue;
        const wchar_t* cursor = ArchiveTypeTable[group];
        wchar_t extension[50];
        while (NextExtension(&cursor, extension, 50)) {
            const std::wstring progId = UserChoiceOf(extension);
            if (progId.empty() || IsTervixProgId(progId.c_str())) continue;
            kept.push_back(extension);
            logged += (logged.empty() ? L"" : L", ") + kept.back() + L" (" + progId + L")";
        }
    }
    if (!kept.empty())
        LogAction(L"Windows keeps these types for the program the user chose until the user picks Tervix in "
                  L"Default apps: " + logged);
    return kept;
}

void RemoveTervixUserChoices() {
    std::vector<std::wstring> extensions;
    ReadSettingSubkeys(HKEY_CURRENT_USER, kFileExtsKey, &extensions);
    for (const std::wstring& extension : extensions) {
        // Windows 10 and 11 protect the key of a user's choice: where it is refused, the
        // choice stays the user's to change in Default apps, and the uninstall is no less done.
        if (IsTervixProgId(UserChoiceOf(extension).c_str()))
            DeleteSettingKeyIfAllowed(HKEY_CURRENT_USER, UserChoiceKey(extension).c_str());
    }
}

}  // namespace tvx
