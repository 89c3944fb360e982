#include "lang/DialogLocalization.h"

#include "lang/Language.h"
#include "platform/Strings.h"

#include <algorithm>
#include <cstring>

namespace tvx {

namespace {

constexpr size_t kKeyNameChars = 80;
constexpr size_t kTextChars = 1024;
constexpr int kMaxChildren = 512;

// "$" + dialog name + ":" in the ANSI code page, the prefix of the dialog's keys. The
// colon keeps "SETUPDLG" keys away from any dialog whose name merely starts with it.
void DialogPrefix(const wchar_t* dialogName, char* prefix, size_t size) {
    wchar_t wide[kKeyNameChars];
    CopyText(wide, L"$", kKeyNameChars);
    AppendText(wide, dialogName, kKeyNameChars);
    AppendText(wide, L":", kKeyNameChars);
    WideToAnsi(wide, prefix, size);
}

int RectWidth(const RECT& r) { return r.right - r.left + 1; }
int RectHeight(const RECT& r) { return r.bottom - r.top + 1; }

bool IsDropDownCombo(HWND child) {
    wchar_t className[kPathCapacity];
    if (GetClassNameW(child, className, static_cast<int>(kPathCapacity)) == 0) return false;
    if (CompareNoCase(className, L"COMBOBOX") != 0) return false;
    return (GetWindowLongW(child, GWL_STYLE) & 3) != CBS_SIMPLE;
}

void ScaleChildren(HWND dialog, const RECT& dialogRect, int frameW, int topOffset, int width, int height) {
    HWND first = GetWindow(dialog, GW_CHILD);
    HWND child = first;
    for (int count = 0; child != nullptr && count < kMaxChildren; ++count) {
        RECT k;
        if (GetWindowRect(child, &k)) {
            int x = (k.left - frameW / 2 - dialogRect.left) * width / 100;
            int y = (k.top - topOffset - dialogRect.top) * height / 100;
            int w = RectWidth(k) * width / 100;
            int h = RectHeight(k) * height / 100;
            // The window rectangle of a drop-down combo box is only its closed part; its
            // list must grow with the rest or the longer translations get cut.
            if (IsDropDownCombo(child)) {
                RECT dropped = {};
                SendMessageW(child, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
                h += RectHeight(dropped) * height / 100;
            }
            SetWindowPos(child, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOOWNERZORDER);
        }
        child = GetWindow(child, GW_HWNDNEXT);
        if (child == first) break;
    }
}

}  // namespace

bool LookupDialogValue(const wchar_t* dialogName, const wchar_t* word, wchar_t* buffer, size_t size) {
    wchar_t wide[kKeyNameChars];
    CopyText(wide, L"$", kKeyNameChars);
    AppendText(wide, dialogName, kKeyNameChars);
    AppendText(wide, L":", kKeyNameChars);
    AppendText(wide, word, kKeyNameChars);
    char name[kKeyNameChars];
    WideToAnsi(wide, name, sizeof(name));
    return LookupKeyValue(name, buffer, size);
}

bool ReadDialogSize(const wchar_t* dialogName, int* width, int* height) {
    wchar_t value[512];
    if (!LookupDialogValue(dialogName, L"SIZE", value, 512)) return false;
    const wchar_t* asterisk = wcschr(value, L'*');
    if (asterisk == nullptr) return false;
    *width = ParseDecimal32(value);
    *height = ParseDecimal32(asterisk + 1);
    return !(*width == 100 && *height == 100) && *width > 0 && *height > 0;
}

void LocalizeDialog(HWND dialog, const wchar_t* dialogName, bool isPage) {
    char prefix[kKeyNameChars];
    DialogPrefix(dialogName, prefix, sizeof(prefix));
    size_t prefixLength = std::strlen(prefix);
    wchar_t text[kTextChars];
    for (size_t i = 0; i < KnownKeyCount; ++i) {
        const KnownKey& row = KnownKeyTable[i];
        if (row.id == 0 || std::strncmp(row.name, prefix, prefixLength) != 0) continue;
        if (LookupKeyValue(row.name, text, kTextChars)) SetDlgItemTextW(dialog, static_cast<int>(row.id), text);
    }

    int width = 100;
    int height = 100;
    bool valid = ReadDialogSize(dialogName, &width, &height);

    RECT r = {};
    RECT c = {};
    GetWindowRect(dialog, &r);
    GetClientRect(dialog, &c);
    int frameW = RectWidth(r) - c.right;
    int frameH = RectHeight(r) - c.bottom;

    if (!isPage) {
        if (valid) {
            int newW = c.right * width / 100 + frameW;
            int newH = c.bottom * height / 100 + frameH;
            int newLeft = r.left + (RectWidth(r) - newW) / 2;
            int newTop = r.top + (RectHeight(r) - newH) / 2;
            UINT flags = SWP_NOZORDER | SWP_NOOWNERZORDER;
            // Only a centred dialog moves, so that it keeps its centre; any other grows
            // from its top-left corner.
            if ((GetWindowLongW(dialog, GWL_STYLE) & DS_CENTER) == 0) flags |= SWP_NOMOVE;
            SetWindowPos(dialog, nullptr, std::max(newLeft, 0), std::max(newTop, 0), newW, newH, flags);
            GetWindowRect(dialog, &r);
        }
        if (LookupDialogValue(dialogName, L"CAPTION", text, kTextChars)) SetWindowTextW(dialog, text);
    }

    int topOffset = frameH - GetSystemMetrics(SM_CYDLGFRAME);
    if (valid) ScaleChildren(dialog, r, frameW, topOffset, width, height);
}

void ApplyRtlLayout(HWND window) {
    if (!IsRightToLeft()) return;
    LONG style = GetWindowLongW(window, GWL_EXSTYLE);
    SetWindowLongW(window, GWL_EXSTYLE, style | WS_EX_LAYOUTRTL);
}

}  // namespace tvx
