#include "integration/ContextItems.h"

#include <cstddef>
#include <cstdint>

#include "integration/SetupDialog.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "startup/Ui.h"

namespace tvx {
namespace {

struct ContextItem {
    const wchar_t* valueName;
    int controlId;
    int32_t defaultValue;
    bool hiddenInTopMode;
};

// The shell extension reads these values by name; the order is the order they are
// stored in.
constexpr ContextItem ContextItemTable[] = {
    {L"ExtrTo", IDC_CONTEXTEXTRACTTO, 1, true},
    {L"ExtrHere", IDC_CONTEXTEXTRACTHERE, 1, true},
    {L"Extr", IDC_CONTEXTEXTRACT, 1, true},
    {L"ExtrSep", IDC_CONTEXTEXTRACTSEPARATE, 1, true},
    {L"OpenSFX", IDC_CONTEXTOPENSFX, 1, true},
    {L"OpenArc", IDC_CONTEXTOPENARC, 1, true},
    {L"AddTo", IDC_CONTEXTADD, 1, true},
    {L"AddArc", IDC_CONTEXTADDARC, 1, true},
    {L"EmailArc", IDC_CONTEXTEMAILARC, 1, true},
    {L"EmailOpt", IDC_CONTEXTEMAILARCOPT, 1, true},
    {L"Test", IDC_CONTEXTTEST, 0, true},
    {L"Convert", IDC_CONTEXTCONVERT, 0, true},
    {L"NewTVX", IDC_CONTEXTNEWTVX, 1, false},
    {L"NewZIP", IDC_CONTEXTNEWZIP, 1, false},
    {L"SFXLocal", IDC_CONTEXTSFXLOCAL, 1, false},
    {L"SFXNetwork", IDC_CONTEXTSFXNETWORK, 1, false},
    {L"SFXOther", IDC_CONTEXTSFXOTHER, 1, false},
    {L"DragAdd", IDC_CONTEXTDRAGADD, 1, false},
    {L"DragExtr", IDC_CONTEXTDRAGEXTRACT, 1, false},
};

struct TopItem {
    const wchar_t* valueName;
    int controlId;
    int32_t defaultValue;
    int group;
};

// Windows 11 shows these directly in its compact context menu. Items of one group are
// alternatives of each other, which is why only one of them starts checked.
constexpr TopItem TopItemTable[] = {
    {L"Extr", IDC_CONTEXTTOPEXTRACT, 1, 0},
    {L"ExtrTo", IDC_CONTEXTTOPEXTRACTTO, 0, 0},
    {L"ExtrHere", IDC_CONTEXTTOPEXTRACTHERE, 0, 0},
    {L"ExtrSep", IDC_CONTEXTTOPEXTRACTSEPARATE, 1, 1},
    {L"AddArc", IDC_CONTEXTTOPADDARC, 1, 2},
    {L"AddTo", IDC_CONTEXTTOPADD, 0, 2},
};

constexpr wchar_t kDialogName[] = L"SETUPCONTEXTITEMS";
constexpr wchar_t kHelpTopic[] = L"HELPContextItems";
constexpr wchar_t kMenuItemsKey[] = L"Setup\\MenuItems";
constexpr wchar_t kTopMenuItemsKey[] = L"Setup\\TopMenuItems";
constexpr wchar_t kAlwaysArcName[] = L"AlwaysArc";
constexpr wchar_t kAlwaysArcDefault[] = L"*.iso";
constexpr size_t kAlwaysArcCapacity = 1024;

// Set at each opening. In classic mode the top items are not shown, so OK must not
// overwrite what an earlier top-item session stored for them.
bool topItemsHidden = true;

void ShowControl(HWND dialog, int id, bool show) {
    if (HWND control = GetDlgItem(dialog, id)) ShowWindow(control, show ? SW_SHOW : SW_HIDE);
}

void InitializeItems(HWND dialog, bool cascadedChecked) {
    topItemsHidden = cascadedChecked || !IsWindows11();
    if (topItemsHidden) {
        for (const TopItem& item : TopItemTable) ShowControl(dialog, item.controlId, false);
    } else {
        for (const ContextItem& item : ContextItemTable) {
            if (item.hiddenInTopMode) ShowControl(dialog, item.controlId, false);
        }
        int lastCheckedGroup = -1;
        for (const TopItem& item : TopItemTable) {
            bool checked = false;
            if (item.group != lastCheckedGroup) {
                checked = ReadUserInt(kTopMenuItemsKey, item.valueName, item.defaultValue) != 0;
                if (checked) lastCheckedGroup = item.group;
            }
            CheckDlgButton(dialog, item.controlId, checked ? BST_CHECKED : BST_UNCHECKED);
        }
    }
    // Hidden command items are set too: OK stores every one of them from its box.
    for (const ContextItem& item : ContextItemTable) {
        bool checked = ReadUserInt(kMenuItemsKey, item.valueName, item.defaultValue) != 0;
        CheckDlgButton(dialog, item.controlId, checked ? BST_CHECKED : BST_UNCHECKED);
    }

    wchar_t masks[kAlwaysArcCapacity] = {};
    ReadUserString(kMenuItemsKey, kAlwaysArcName, masks, kAlwaysArcDefault, kAlwaysArcCapacity);
    SendDlgItemMessageW(dialog, IDC_CONTEXTALWAYSARC, EM_LIMITTEXT, kAlwaysArcCapacity - 1, 0);
    SetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, masks);
    // File masks read left to right in every language.
    ClearRtlReading(GetDlgItem(dialog, IDC_CONTEXTALWAYSARC));
}

void StoreItems(HWND dialog) {
    for (const ContextItem& item : ContextItemTable) {
        WriteUserInt(kMenuItemsKey, item.valueName, IsDlgButtonChecked(dialog, item.controlId) == BST_CHECKED);
    }
    if (!topItemsHidden) {
        for (const TopItem& item : TopItemTable) {
            WriteUserInt(kTopMenuItemsKey, item.valueName, IsDlgButtonChecked(dialog, item.controlId) == BST_CHECKED);
        }
    }
    wchar_t masks[kAlwaysArcCapacity] = {};
    GetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, masks, static_cast<int>(kAlwaysArcCapacity));
    WriteUserString(kMenuItemsKey, kAlwaysArcName, masks);
    // The setup dialog may still be cancelled; these choices are final already.
    SaveSettingsFile();
}

}  // namespace

INT_PTR CALLBACK ContextItemsDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (CommonDialogMessage(dialog, message, wParam, lParam, kDialogName, kHelpTopic)) return TRUE;
    switch (message) {
        case WM_INITDIALOG:
            InitializeItems(dialog, lParam != 0);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    StoreItems(dialog);
                    EndDialog(dialog, 1);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
                default:
                    break;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace tvx
