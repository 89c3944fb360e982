#include "integration/Completion.h"

#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "integration/SetupDialog.h"
#include "lang/Texts.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "startup/RunOptions.h"
#include "startup/Ui.h"

namespace tvx {
namespace {

constexpr wchar_t kDialogName[] = L"DONEDLG";
constexpr wchar_t kHelpFileName[] = L"tervix.chm";
constexpr wchar_t kLicenseFileName[] = L"license.txt";
constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC
constexpr UINT kDisplayToc = 1;    // HH_DISPLAY_TOC
// Tervix's page names its value under "RegisteredApplications", in the hive where the
// install wrote it.
constexpr wchar_t kDefaultAppsOfMachineTervix[] = L"ms-settings:defaultapps?registeredAppMachine=Tervix";
constexpr wchar_t kDefaultAppsOfUserTervix[] = L"ms-settings:defaultapps?registeredAppUser=Tervix";
constexpr wchar_t kDefaultApps[] = L"ms-settings:defaultapps";

const wchar_t* DefaultAppsPage(Scope scope) {
    if (!HasDefaultAppsAppPage()) return kDefaultApps;
    return scope == Scope::CurrentUser ? kDefaultAppsOfUserTervix : kDefaultAppsOfMachineTervix;
}

// Loaded on first use and kept for the whole run: the help window belongs to the
// library, and it may still be open when the dialogs have gone.
struct HelpState {
    HMODULE library = nullptr;
    HtmlHelpFunction entry = nullptr;
    wchar_t file[kPathCapacity] = {};
    bool retried = false;
};

HelpState& Help() {
    static HelpState state;
    return state;
}

HtmlHelpFunction helpHook = nullptr;

void HelpFileBesideProgram(const wchar_t* programPath, wchar_t* file) {
    CopyText(file, programPath, kPathCapacity);
    ReplaceFileName(file, kHelpFileName, kPathCapacity);
    ResolveInLanguageFolder(file, file, kPathCapacity);
}

// HtmlHelpW is reached through the ANSI code page on some systems, so a path that
// does not survive the round trip can never open.
bool SurvivesAnsiRoundTrip(const wchar_t* path) {
    char narrow[kPathCapacity * 2] = {};
    wchar_t back[kPathCapacity] = {};
    WideToAnsi(path, narrow, sizeof narrow);
    AnsiToWide(narrow, back, kPathCapacity);
    return wcscmp(back, path) == 0;
}

void OpenThroughShell(HWND owner, const wchar_t* target) {
    ShellExecuteW(owner, L"open", target, nullptr, L"", SW_SHOWNORMAL);
}

void OpenLicense(HWND dialog) {
    // Beside the program, not in the current folder: an elevated start begins in System32.
    wchar_t path[kPathCapacity] = {};
    GetProgramFolder(path, kPathCapacity);
    AppendText(path, L"\\", kPathCapacity);
    AppendText(path, kLicenseFileName, kPathCapacity);
    ResolveInLanguageFolder(path, path, kPathCapacity);
    OpenThroughShell(dialog, path);
}

// A control's place in the dialog's client area, left and right as the reading goes
// (MapWindowPoints mirrors them in a right-to-left dialog), the way SetWindowPos takes it.
RECT PlaceOf(HWND dialog, HWND control) {
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    if (place.left > place.right) std::swap(place.left, place.right);
    return place;
}

void PutAt(HWND control, const RECT& place) {
    SetWindowPos(control, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

LONG WrappedTextHeight(HWND control, const wchar_t* text, LONG width) {
    const WindowDc dc(control);
    const HGDIOBJ previous =
        SelectObject(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const ScopeGuard deselect([&] { SelectObject(dc.get(), previous); });
    RECT needed = {0, 0, width, 0};
    DrawTextW(dc.get(), text, -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return needed.bottom;
}

// Names the types that Windows keeps for another program and offers Default apps. The
// two controls wait hidden where OK stands: showing them moves OK down beside the
// button and makes the dialog taller by as much, so that without them it is unchanged.
void ShowTypesKept(HWND dialog, const std::vector<std::wstring>& types) {
    HWND label = GetDlgItem(dialog, IDC_TYPESKEPT);
    HWND button = GetDlgItem(dialog, IDC_DEFAULTAPPS);
    HWND ok = GetDlgItem(dialog, IDOK);
    // A resource library's template from before these controls keeps its own layout.
    if (types.empty() || !label || !button || !ok) return;
    // Quoted, as Windows names types in its own messages; a line may then break before
    // every one of them.
    std::wstring list;
    for (const std::wstring& type : types) list += (list.empty() ? L"\"" : L", \"") + type + L"\"";
    wchar_t text[kPathCapacity];
    InsertArgument(LoadText(IDS_TYPESKEPT), list.c_str(), text, std::size(text));
    SetWindowTextW(label, text);

    // A long list makes the label taller and pushes the button down.
    RECT place = PlaceOf(dialog, label);
    const LONG needed = WrappedTextHeight(label, text, place.right - place.left);
    const LONG grow = std::max<LONG>(0, needed - (place.bottom - place.top));
    place.bottom += grow;
    PutAt(label, place);
    place = PlaceOf(dialog, button);
    OffsetRect(&place, 0, grow);
    PutAt(button, place);
    const LONG buttonTop = place.top;
    place = PlaceOf(dialog, ok);
    const LONG shift = buttonTop - place.top;
    OffsetRect(&place, 0, shift);
    PutAt(ok, place);

    // Taller by the shift, around the same centre.
    RECT frame;
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, frame.left, std::max<LONG>(0, frame.top - shift / 2), frame.right - frame.left,
                 frame.bottom - frame.top + shift, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(label, SW_SHOWNA);
    ShowWindow(button, SW_SHOWNA);
}

void InitializeDialog(HWND dialog, const CompletionFacts* facts) {
    // The buttons read the facts later, from the dialog's window.
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(facts));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon()));
    SendDlgItemMessageW(dialog, IDC_THANKS, WM_SETFONT, reinterpret_cast<WPARAM>(BoldFont()), FALSE);
    // The program lives in the install folder; the current folder is whatever the
    // starter left (System32 after an elevation prompt).
    wchar_t folder[kPathCapacity] = {};
    GetProgramFolder(folder, kPathCapacity);
    SetDlgItemTextW(dialog, IDC_INSTFOLDER, folder);
    if (facts) ShowTypesKept(dialog, facts->typesKept);
    if (Options().silent) SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

}  // namespace

UINT BuildHelpTarget(const wchar_t* helpFile, const wchar_t* topic, wchar_t* target, size_t size) {
    if (size == 0) return topic ? kDisplayTopic : kDisplayToc;
    CopyText(target, helpFile, size);
    if (!topic) return kDisplayToc;
    AppendText(target, L"::/html/", size);
    AppendText(target, topic, size);
    AppendText(target, L".htm", size);
    return kDisplayTopic;
}

void SetHtmlHelpHook(HtmlHelpFunction hook) { helpHook = hook; }

void ShowHelp(HWND, const wchar_t* topic) {
    // The help window must outlive the dialog that asked for it.
    HWND desktop = GetDesktopWindow();
    HelpState& help = Help();
    if (!help.library) help.library = LoadSystemLibrary(L"hhctrl.ocx");
    if (!help.entry) {
        if (!help.library) return;
        help.entry = reinterpret_cast<HtmlHelpFunction>(
            reinterpret_cast<void*>(GetProcAddress(help.library, "HtmlHelpW")));
        wchar_t program[kPathCapacity] = {};
        GetProgramPath(program, kPathCapacity);
        HelpFileBesideProgram(program, help.file);
        if (!help.entry) return;
    }

    wchar_t target[kHelpTargetCapacity] = {};
    UINT command = BuildHelpTarget(help.file, topic, target, kHelpTargetCapacity);
    HtmlHelpFunction call = helpHook ? helpHook : help.entry;
    if (call(desktop, target, command, 0)) return;

    if (help.retried) return;
    help.retried = true;
    if (SurvivesAnsiRoundTrip(help.file)) return;
    wchar_t program[kPathCapacity] = {};
    wchar_t shortProgram[kPathCapacity] = {};
    GetProgramPath(program, kPathCapacity);
    DWORD length = GetShortPathNameW(program, shortProgram, kPathCapacity);
    if (length == 0 || length >= kPathCapacity) CopyText(shortProgram, program, kPathCapacity);
    HelpFileBesideProgram(shortProgram, help.file);
    ShowHelp(nullptr, topic);
}

INT_PTR CALLBACK CompletionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (CommonDialogMessage(dialog, message, wParam, lParam, kDialogName, nullptr)) return TRUE;
    switch (message) {
        case WM_INITDIALOG:
            InitializeDialog(dialog, reinterpret_cast<const CompletionFacts*>(lParam));
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    EndDialog(dialog, 1);
                    break;
                case IDC_VIEWHELP:
                    ShowHelp(dialog, nullptr);
                    break;
                case IDC_VIEWLICENSE:
                    OpenLicense(dialog);
                    break;
                case IDC_HOMEPAGE:
                    OpenThroughShell(dialog, LoadText(IDS_HOMEURL));
                    break;
                case IDC_DEFAULTAPPS: {
                    const auto* facts = reinterpret_cast<const CompletionFacts*>(GetWindowLongPtrW(dialog, DWLP_USER));
                    OpenThroughShell(dialog, DefaultAppsPage(facts ? facts->scope : Scope::Machine));
                    break;
                }
                default:
                    break;
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace tvx
