#include "integration/SetupDialog.h"

#include <richedit.h>

#include <iterator>

#include "integration/Associations.h"
#include "integration/Completion.h"
#include "integration/ContextItems.h"
#include "integration/ShellExtension.h"
#include "integration/Shortcuts.h"
#include "integration/UninstallEntry.h"
#include "integration/UserChoice.h"
#include "lang/DialogLocalization.h"
#include "lang/Texts.h"
#include "platform/FileSystem.h"
#include "platform/RunOutcome.h"
#include "platform/Strings.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "settings/Settings.h"
#include "startup/RunOptions.h"
#include "startup/Ui.h"

namespace tvx {
namespace {

constexpr wchar_t kDialogName[] = L"SETUPDLG";
constexpr wchar_t kHelpTopic[] = L"HELPIntegrationSettings";

// Check box of each association byte, in the order of ArchiveTypeTable. The ids are
// older than the table's order: .lz, .z and .xz were added later.
constexpr int kAssociationBoxes[kChoiceAssociationCount] = {
    IDC_ASSOCTVX, IDC_ASSOCZIP, IDC_ASSOCCAB, IDC_ASSOCARJ, IDC_ASSOCLZ,  IDC_ASSOCLZH,
    IDC_ASSOC7Z,  IDC_ASSOCTAR, IDC_ASSOCGZ,  IDC_ASSOCUUE, IDC_ASSOCBZ2, IDC_ASSOCJAR,
    IDC_ASSOCISO, IDC_ASSOCZ,   IDC_ASSOCXZ,  IDC_ASSOCZIPX, IDC_ASSOCZST, IDC_ASSOC001,
};
constexpr int kFirstAssociationBox = IDC_ASSOCTVX;
constexpr int kLastAssociationBox = IDC_ASSOC001;

// The integration choices: byte, check box, settings key and value, default.
struct IntegrationRow {
    int byte;
    int box;
    const wchar_t* key;
    const wchar_t* value;
    int32_t defaultValue;
};
constexpr int kWindows11Default = -1;  // 1 on Windows 11, else 0
constexpr IntegrationRow kIntegrationRows[] = {
    {kChoiceDesktop, IDC_LINKDESKTOP, L"Setup\\Links", L"Desktop", 0},
    {kChoiceStartMenu, IDC_LINKSTARTMENU, L"Setup\\Links", L"StartMenu", 0},
    {kChoiceProgramGroup, IDC_LINKPROGRAMS, L"Setup\\Links", L"Programs", 1},
    {kChoiceShellExtension, IDC_SHELLEXT, L"Setup", L"ShellExt", 1},
    {kChoiceCascaded, IDC_SHELLCASCADED, L"Setup", L"CascadedMenu", kWindows11Default},
    {kChoiceMenuIcons, IDC_SHELLICONS, L"Setup", L"MenuIcons", 1},
    {kChoiceLegacyMenu, IDC_SHELLLEGACYMENU, L"Setup", L"LegacyMenu", 0},
};

// The letters of the "init" option string that set one byte each.
struct InitOption {
    wchar_t letter;
    int byte;
};
constexpr InitOption kInitOptions[] = {
    {L'C', kChoiceCascaded},     {L'D', kChoiceDesktop},        {L'I', kChoiceMenuIcons},
    {L'M', kChoiceStartMenu},    {L'P', kChoiceProgramGroup},   {L'S', kChoiceShellExtension},
};
constexpr int kMaxInitDigits = 20;

constexpr int kJarGroup = 11;
constexpr int kIsoGroup = 12;

// The choices while the dialog is open, and what the process keeps afterwards.
SetupChoices dialogChoices;
wchar_t programGroupPath[kPathCapacity];
std::vector<std::wstring> typesKeptByUserChoice;
bool singleTopNoticeShown = false;

void FirstExtension(int group, wchar_t* extension, size_t size) {
    const wchar_t* cursor = ArchiveTypeTable[group];
    if (!NextExtension(&cursor, extension, size)) extension[0] = L'\0';
}

void ChoiceKeyOf(int group, wchar_t* key, size_t size) {
    wchar_t extension[50];
    FirstExtension(group, extension, 50);
    FormatText(key, size, L"Setup\\%s", extension);
}

bool IsBoxChecked(HWND dialog, int box) { return IsDlgButtonChecked(dialog, box) == BST_CHECKED; }

void ShowHelpText(HWND dialog) {
    wchar_t text[4096];
    CopyText(text, L"   ", 4096);
    for (UINT id = IDS_INSTHELP1; id <= IDS_INSTHELP5; ++id) {
        AppendText(text, L" ", 4096);
        AppendText(text, LoadText(id), 4096);
    }
    AppendText(text, L"\r\n    ", 4096);
    AppendText(text, LoadText(IDS_INSTHELP6), 4096);
    SetDlgItemTextW(dialog, IDC_SETUPHELPTEXT, text);
}

// The scope the dialog was created for, which it keeps with its window.
Scope ScopeOf(HWND dialog) { return static_cast<Scope>(GetWindowLongPtrW(dialog, DWLP_USER)); }

void InitSetupDialog(HWND dialog, LPARAM scope) {
    SetWindowLongPtrW(dialog, DWLP_USER, scope);
    ShowHelpText(dialog);
    LoadSetupChoices(&dialogChoices, ScopeOf(dialog));
    ApplyInitOptions(Options().initString, &dialogChoices);
    ShowChoicesInDialog(dialog, dialogChoices);

    SetForegroundWindow(dialog);
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon()));
    SendDlgItemMessageW(dialog, IDC_SETUPHELPTEXT, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));

    // Unattended: accept at once, so the dialog ends before it is ever shown.
    if (Options().silent) SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// The account may not change the system: say what could not be written, and why.
void ShowRightsNeeded(HWND dialog) {
    wchar_t text[1024];
    wchar_t caption[256];
    InsertArgument(LoadText(IDS_NEEDADMIN), RefusedWriteName().c_str(), text, std::size(text));
    LoadTextInto(IDS_UNINSTTITLE, caption, std::size(caption));
    ShowMessage(dialog, text, caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void AcceptChoices(HWND dialog) {
    ReadChoicesFromDialog(dialog, &dialogChoices);
    // The apply step may wait for the menu-package installer while the dialog's
    // messages flow: no second OK may start it again.
    EnableWindow(dialog, FALSE);
    StoreSetupChoices(dialogChoices);
    // The choices are stored first: a failed apply step leaves them for the next run.
    const Scope scope = ScopeOf(dialog);
    const bool applied = ApplyIntegration(dialogChoices, programGroupPath, kPathCapacity, scope);
    if (applied) {
        if (!Options().msi) WriteUninstallEntry(scope);
        // Old versions associated .ace; hand it back to its previous owner if we still own it.
        AssociateExtension(L".ace", false, false, false, false, scope);
        typesKeptByUserChoice = FindTypesKeptByUserChoice(dialogChoices);
    }
    // On disk before setup says how it went: a power cut after that must not take back
    // what the user was told is done.
    FlushRegistry();
    if (!applied) {
        // The refused write has already been reported where it was made.
        ShowRightsNeeded(dialog);
        EndDialog(dialog, kSetupRefused);
        return;
    }
    EndDialog(dialog, 1);
}

void ToggleAllAssociations(HWND dialog) {
    bool anyClear = false;
    for (int box = kFirstAssociationBox; box <= kLastAssociationBox && !anyClear; ++box)
        anyClear = GetDlgItem(dialog, box) != nullptr && !IsBoxChecked(dialog, box);
    for (int box = kFirstAssociationBox; box <= kLastAssociationBox; ++box)
        CheckDlgButton(dialog, box, anyClear ? BST_CHECKED : BST_UNCHECKED);
}

void CascadedBoxClicked(HWND dialog) {
    if (singleTopNoticeShown || !IsWindows11() || IsBoxChecked(dialog, IDC_SHELLCASCADED)) return;
    singleTopNoticeShown = true;
    wchar_t text[1024];
    wchar_t caption[256];
    LoadTextInto(IDS_SINGLETOPITEM, text, 1024);
    LoadTextInto(IDS_UNINSTTITLE, caption, 256);
    ShowMessage(dialog, text, caption, MB_ICONINFORMATION);
}

bool OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK:
        AcceptChoices(dialog);
        return true;
    case IDCANCEL:
        ReportOutcome(Outcome::Cancelled);
        EndDialog(dialog, 0);
        return true;
    case IDC_SHELLEXT:
        ReadChoicesFromDialog(dialog, &dialogChoices);
        ShowChoicesInDialog(dialog, dialogChoices);
        return true;
    case IDC_SHELLCASCADED:
        CascadedBoxClicked(dialog);
        return true;
    case IDC_ASSOCALL:
        ToggleAllAssociations(dialog);
        return true;
    case IDC_SETCONTEXTMENU:
        DialogBoxParamW(DialogModule(L"SETUPCONTEXTITEMS"), L"SETUPCONTEXTITEMS", dialog, ContextItemsDialog,
                        IsBoxChecked(dialog, IDC_SHELLCASCADED) ? 1 : 0);
        return true;
    default:
        return false;
    }
}

}  // namespace

bool CommonDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM, const wchar_t* dialogName,
                         const wchar_t* helpTopic) {
    switch (message) {
    case WM_SETFONT:
        // Arrives before the controls exist, so that they are created mirrored as well.
        ApplyRtlLayout(dialog);
        return false;
    case WM_INITDIALOG:
        LocalizeDialog(dialog, dialogName, false);
        return false;
    case WM_HELP:
        if (helpTopic) ShowHelp(dialog, helpTopic);
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDHELP && helpTopic) ShowHelp(dialog, helpTopic);
        return false;
    default:
        return false;
    }
}

INT_PTR CALLBACK SetupDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (CommonDialogMessage(dialog, message, wParam, lParam, kDialogName, kHelpTopic)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        InitSetupDialog(dialog, lParam);
        return TRUE;
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam)) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

void LoadSetupChoices(SetupChoices* choices, Scope scope) {
    *choices = SetupChoices{};
    for (int group = 0; group < kChoiceAssociationCount; ++group) {
        wchar_t key[80];
        ChoiceKeyOf(group, key, 80);
        choices->bytes[group] = ReadUserInt(key, L"Set", 1) != 0;
    }

    // .jar files are usually Java programs: offered only when we already own them. An
    // .iso that another program (a burner, the system) opens stays with it.
    for (int group : {kJarGroup, kIsoGroup}) {
        wchar_t extension[50];
        FirstExtension(group, extension, 50);
        if (IsOwnedExtension(extension, scope)) continue;
        wchar_t owner[80];
        ReadSettingString(HKEY_CLASSES_ROOT, extension, L"", owner, L"", 80);
        if (group == kJarGroup || owner[0] != L'\0') choices->bytes[group] = 0;
    }

    for (const IntegrationRow& row : kIntegrationRows) {
        const int32_t defaultValue = row.defaultValue == kWindows11Default ? (IsWindows11() ? 1 : 0) : row.defaultValue;
        choices->bytes[row.byte] = ReadUserInt(row.key, row.value, defaultValue) != 0;
    }
    choices->bytes[kChoiceAlwaysZero] = 0;

    // Until the Windows 11 menu package is installed, Explorer shows only our cascaded
    // submenu there, so the flat menu cannot be offered yet.
    if (IsWindows11() && ReadUserInt(L"Setup", L"NewContextMenu", 0) == 0) choices->bytes[kChoiceCascaded] = 1;
}

void ApplyInitOptions(const wchar_t* options, SetupChoices* choices) {
    const wchar_t* p = options;
    while (*p != L'\0') {
        const wchar_t letter = AsciiUpper(*p);
        if (letter == L'A') {
            ++p;
            for (int digit = 0; digit < kMaxInitDigits && *p >= L'0' && *p <= L'9'; ++digit, ++p)
                choices->bytes[digit] = *p == L'1';
            continue;
        }
        if (p[1] == L'\0') break;
        for (const InitOption& option : kInitOptions) {
            if (option.letter == letter) choices->bytes[option.byte] = p[1] == L'1';
        }
        p += 2;
    }
}

void ShowChoicesInDialog(HWND dialog, const SetupChoices& choices) {
    for (int group = 0; group < kChoiceAssociationCount; ++group)
        CheckDlgButton(dialog, kAssociationBoxes[group], choices.bytes[group] ? BST_CHECKED : BST_UNCHECKED);
    for (const IntegrationRow& row : kIntegrationRows)
        CheckDlgButton(dialog, row.box, choices.bytes[row.byte] ? BST_CHECKED : BST_UNCHECKED);

    const bool shellExtension = choices.bytes[kChoiceShellExtension] != 0;
    EnableWindow(GetDlgItem(dialog, IDC_SHELLCASCADED), shellExtension);
    EnableWindow(GetDlgItem(dialog, IDC_SHELLICONS), shellExtension);
    // Only Windows 11 has a new context menu to fall back from.
    EnableWindow(GetDlgItem(dialog, IDC_SHELLLEGACYMENU), shellExtension && IsWindows11());
}

void ReadChoicesFromDialog(HWND dialog, SetupChoices* choices) {
    for (int group = 0; group < kChoiceAssociationCount; ++group)
        choices->bytes[group] = IsBoxChecked(dialog, kAssociationBoxes[group]);
    for (const IntegrationRow& row : kIntegrationRows) choices->bytes[row.byte] = IsBoxChecked(dialog, row.box);
    choices->bytes[kChoiceAlwaysZero] = 0;
}

void StoreSetupChoices(const SetupChoices& choices) {
    for (int group = 0; group < kChoiceAssociationCount; ++group) {
        wchar_t key[80];
        ChoiceKeyOf(group, key, 80);
        WriteUserInt(key, L"Set", choices.bytes[group] ? 1 : 0);
    }
    for (const IntegrationRow& row : kIntegrationRows)
        WriteUserInt(row.key, row.value, choices.bytes[row.byte] ? 1 : 0);
}

bool ApplyIntegration(const SetupChoices& choices, wchar_t* groupPath, size_t groupPathSize, Scope scope) {
    // The entry comes first: from here on, whatever setup installs can be removed from
    // Installed apps, even when setup is ended half-way.
    if (!Options().msi && !BeginUninstallEntry(scope)) return false;
    if (!RegisterAppPath(scope)) return false;
    RegisterShellExtension(false, choices, scope);
    RecordPreviousOwners(choices, scope);
    AssociateAllTypes(choices, scope);
    if (!RegisterProgIds(scope)) return false;

    wchar_t icon[kPathCapacity];
    ReadUserString(L"Interface\\Themes", L"ShellExtIcon", icon, L"", kPathCapacity);
    const bool hasIcon = icon[0] != L'\0' && FileExists(icon);
    UpdateShortcuts(choices, groupPath, groupPathSize, hasIcon ? icon : nullptr, scope);
    return true;
}

const wchar_t* ProgramGroupPath() { return programGroupPath; }

const std::vector<std::wstring>& TypesKeptByUserChoice() { return typesKeptByUserChoice; }

}  // namespace tvx
