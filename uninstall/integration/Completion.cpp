#include "integration/Completion.h"

#include <shellapi.h>

#include <cwchar>

#include "integration/SetupDialog.h"
#include "lang/Texts.h"
#include "platform/Paths.h"
#include "platform/Strings.h"
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

void InitializeDialog(HWND dialog) {
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon()));
    SendDlgItemMessageW(dialog, IDC_THANKS, WM_SETFONT, reinterpret_cast<WPARAM>(BoldFont()), FALSE);
    // The program lives in the install folder; the current folder is whatever the
    // starter left (System32 after an elevation prompt).
    wchar_t folder[kPathCapacity] = {};
    GetProgramFolder(folder, kPathCapacity);
    SetDlgItemTextW(dialog, IDC_INSTFOLDER, folder);
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
            InitializeDialog(dialog);
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
                default:
                    break;
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace tvx
