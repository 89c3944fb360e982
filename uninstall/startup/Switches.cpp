#include "startup/RunOptions.h"

#include <cwchar>
#include <iterator>
#include <string>

#include "lang/Texts.h"
#include "platform/Paths.h"
#include "platform/RunLog.h"
#include "platform/Strings.h"
#include "resources/ResourceIds.h"
#include "startup/Ui.h"

namespace tvx {
namespace {

constexpr size_t kArgumentCapacity = 1024;
constexpr size_t kWarningCapacity = 512;
constexpr DWORD kWaitMilliseconds = 2000;

enum class SwitchAction { Setup, Msi, Init, Wait, NoExplorer, Warning, Unregister, CurrentUser };

struct SwitchRow {
    const wchar_t* keyword;
    int compared;  // only this many characters count, so "-setupx" is "setup"
    SwitchAction action;
};

// In the order they are tried; the first match wins.
constexpr SwitchRow kSwitchTable[] = {
    {L"setup", 5, SwitchAction::Setup},      {L"msi", 3, SwitchAction::Msi},
    {L"init", 4, SwitchAction::Init},        {L"wait", 4, SwitchAction::Wait},
    {L"noexplorer", 4, SwitchAction::NoExplorer}, {L"warning", 7, SwitchAction::Warning},
    // The whole word: a shortened switch must not take an install apart. No other
    // keyword begins like it, nor does it begin like another.
    {L"unregister", 10, SwitchAction::Unregister},
    // The whole word as well, and for the same reasons.
    {L"currentuser", 11, SwitchAction::CurrentUser},
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

RunOptions& Options() {
    static RunOptions options{};
    return options;
}

const wchar_t* NextArgument(const wchar_t* cursor, wchar_t* output, size_t capacity) {
    if (output && capacity > 0) output[0] = L'\0';
    if (!cursor) return nullptr;
    while (IsBlank(*cursor)) ++cursor;
    if (*cursor == L'\0') return nullptr;

    bool quoted = false;
    size_t count = 0;
    for (; *cursor != L'\0'; ++cursor) {
        wchar_t c = *cursor;
        if (!quoted && IsBlank(c)) break;
        if (c == L'"') {
            if (cursor[1] != L'"') {
                quoted = !quoted;
                continue;
            }
            ++cursor;  // "" stands for one quotation mark, inside quotes or out
        }
        if (output && count + 1 < capacity) output[count++] = c;
    }
    if (output && capacity > 0) output[count] = L'\0';
    return cursor;
}

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

int MatchSwitch(const wchar_t* text, const wchar_t* keyword, int n) {
    int textLength = static_cast<int>(wcsnlen(text, static_cast<size_t>(n)));
    int keywordLength = static_cast<int>(wcsnlen(keyword, static_cast<size_t>(n)));
    // Ordinal: a switch is an identifier, and a locale that joins letters ("ng" in
    // Welsh) would otherwise refuse "/warninG".
    int result = CompareStringOrdinal(text, textLength, keyword, keywordLength, TRUE);
    return result == 0 ? -1 : result - CSTR_EQUAL;
}

void ParseSwitches(bool fromEnvironment, const wchar_t* text, bool* setupRequested, bool* uninstallRequested) {
    RunOptions& options = Options();
    wchar_t argument[kArgumentCapacity];
    int counted = 0;
    for (const wchar_t* cursor = text; (cursor = NextArgument(cursor, argument, kArgumentCapacity)) != nullptr;) {
        // Plain words, such as the program path that opens the command line.
        if (argument[0] != L'-' && argument[0] != L'/') continue;
        // -s, /S, -s1 ... make the run silent, from either source; -setup does not.
        if (AsciiUpper(argument[1]) == L'S' && !IsAsciiLetter(argument[2])) {
            options.silent = true;
            continue;
        }
        // "/log=<file>" counts as no switch, so "-s /log=x" is still a silent uninstall.
        if (MatchSwitch(argument + 1, L"log=", 4) == 0) {
            if (!fromEnvironment) CopyText(options.logPath, argument + 5, std::size(options.logPath));
            continue;
        }
        ++counted;
        // The installer's own command line may hold its other switches: they are no
        // orders to us.
        if (fromEnvironment) continue;

        const wchar_t* name = argument + 1;
        for (const SwitchRow& row : kSwitchTable) {
            if (MatchSwitch(name, row.keyword, row.compared) != 0) continue;
            switch (row.action) {
            case SwitchAction::Setup:
                if (setupRequested) *setupRequested = true;
                break;
            case SwitchAction::Msi:
                options.msi = true;
                break;
            case SwitchAction::Init:
                CopyText(options.initString, argument + 5, sizeof options.initString / sizeof(wchar_t));
                break;
            case SwitchAction::Wait:
                // Gives the process that started us time to end before its file is deleted.
                Sleep(kWaitMilliseconds);
                break;
            case SwitchAction::NoExplorer:
                options.noExplorer = true;
                break;
            case SwitchAction::Warning:
                ShowUninstallWarning();
                break;
            case SwitchAction::Unregister:
                options.unregister = true;
                if (name[row.compared] == L'=')
                    CopyText(options.unregisterFolder, name + row.compared + 1, std::size(options.unregisterFolder));
                break;
            case SwitchAction::CurrentUser:
                options.currentUser = true;
                break;
            }
            break;
        }
    }
    if (uninstallRequested) *uninstallRequested = !fromEnvironment && counted == 0;
}

void ShowUninstallWarning(const wchar_t* programPath) {
    wchar_t runningPath[kPathCapacity];
    if (!programPath) {
        GetProgramPath(runningPath, kPathCapacity);
        programPath = runningPath;
    }

    wchar_t text[kWarningCapacity];
    CopyText(text, LoadText(IDS_UNINSTALLCOMPLETED), kWarningCapacity);
    AppendText(text, L"\n", kWarningCapacity);
    wchar_t advice[kWarningCapacity];
    InsertArgument(LoadText(IDS_UNINSTALLSHOULDDELETE), programPath, advice, kWarningCapacity);
    AppendText(text, advice, kWarningCapacity);

    wchar_t caption[256];
    LoadTextInto(IDS_UNINSTALLTVX, caption, 256);
    ShowMessage(nullptr, text, caption, MB_ICONINFORMATION | MB_SETFOREGROUND);
}

}  // namespace tvx
