#include "lang/DialogLocalization.h"

#include "lang/Language.h"
#include "platform/Strings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

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

constexpr int kMinPercent = 25;
constexpr int kMaxPercent = 400;

// Window coordinates fit an int, but their differences, sums and products with a
// percentage need not: the arithmetic runs in 64 bits and each result is held at the
// int range.
int ToInt(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

int64_t RectWidth(const RECT& r) { return int64_t{r.right} - r.left + 1; }
int64_t RectHeight(const RECT& r) { return int64_t{r.bottom} - r.top + 1; }

// Truncating toward zero, as the scaling always has.
int Scale(int64_t value, int percent) { return ToInt(value * percent / 100); }

// The decimal reading of the language file's numbers, held at the int range, so that
// an overlong number stays out of range instead of wrapping into it.
int ReadPercent(const wchar_t* text) {
    bool negative = *text == L'-';
    if (negative) ++text;
    int64_t value = 0;
    for (; IsDigit(*text); ++text) value = std::min<int64_t>(value * 10 + (*text - L'0'), INT32_MAX);
    return static_cast<int>(negative ? -value : value);
}

bool IsPercent(int value) { return value >= kMinPercent && value <= kMaxPercent; }

bool IsMirrored(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0; }

// A screen rectangle in the dialog's client coordinates. In a mirrored dialog these
// run from its right edge, so left is always the control's leading edge, as
// SetWindowPos takes it; the swap covers systems that leave the pair reversed.
RECT ToClient(HWND dialog, RECT rect) {
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    if (rect.left > rect.right) std::swap(rect.left, rect.right);
    return rect;
}

bool IsDropDownCombo(HWND child) {
    wchar_t className[kPathCapacity];
    if (GetClassNameW(child, className, static_cast<int>(kPathCapacity)) == 0) return false;
    if (CompareNoCase(className, L"COMBOBOX") != 0) return false;
    return (GetWindowLongW(child, GWL_STYLE) & 3) != CBS_SIMPLE;
}

struct ChildPlace {
    HWND window;
    RECT rect;  // window rectangle in the dialog's client coordinates
};

// Read before the dialog changes size: a child's client position is what it keeps
// while its parent grows, whichever edge the layout starts from.
std::vector<ChildPlace> ReadChildren(HWND dialog) {
    std::vector<ChildPlace> children;
    HWND first = GetWindow(dialog, GW_CHILD);
    HWND child = first;
    for (int count = 0; child != nullptr && count < kMaxChildren; ++count) {
        RECT k;
        if (GetWindowRect(child, &k)) children.push_back({child, ToClient(dialog, k)});
        child = GetWindow(child, GW_HWNDNEXT);
        if (child == first) break;
    }
    return children;
}

// Controls have always been scaled from an estimate of the dialog's borders: half the
// frame width on the leading side, the frame height less one dialog frame at the top.
// The estimate is a pixel off at the top; translations sized against it keep their
// pixels, so the places are scaled from the client position plus that difference.
POINT EstimateBias(HWND dialog, const RECT& window, const RECT& client, int frameW, int topOffset) {
    RECT onScreen = client;
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&onScreen), 2);
    if (onScreen.left > onScreen.right) std::swap(onScreen.left, onScreen.right);
    int64_t leading = IsMirrored(dialog) ? int64_t{window.right} - onScreen.right : int64_t{onScreen.left} - window.left;
    return {ToInt(leading - frameW / 2), ToInt(int64_t{onScreen.top} - window.top - topOffset)};
}

void ScaleChildren(const std::vector<ChildPlace>& children, POINT bias, int width, int height) {
    for (const ChildPlace& child : children) {
        const RECT& k = child.rect;
        int x = Scale(int64_t{k.left} + bias.x, width);
        int y = Scale(int64_t{k.top} + bias.y, height);
        int w = Scale(RectWidth(k), width);
        int h = Scale(RectHeight(k), height);
        // The window rectangle of a drop-down combo box is only its closed part; its
        // list must grow with the rest or the longer translations get cut.
        if (IsDropDownCombo(child.window)) {
            RECT dropped = {};
            SendMessageW(child.window, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            h = ToInt(int64_t{h} + Scale(RectHeight(dropped), height));
        }
        SetWindowPos(child.window, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOOWNERZORDER);
    }
}

// The grown dialog stays on the monitor it is on. A monitor left of or above the
// primary one has negative coordinates, so the bounds are that monitor's work area,
// never the screen origin. A dialog larger than the area keeps its top-left corner
// (and the caption) in view.
POINT KeepOnMonitor(HWND dialog, POINT place, int width, int height) {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &info)) return place;
    return KeepInsideWorkArea(info.rcWork, place, width, height);
}

void ResizeDialog(HWND dialog, const RECT& window, const RECT& client, int frameW, int frameH, int width,
                  int height) {
    int newW = ToInt(int64_t{Scale(client.right, width)} + frameW);
    int newH = ToInt(int64_t{Scale(client.bottom, height)} + frameH);
    LONG style = GetWindowLongW(dialog, GWL_STYLE);
    UINT flags = SWP_NOZORDER | SWP_NOOWNERZORDER;
    if (style & WS_CHILD) {
        // A dialog inside another window is placed in its parent's coordinates and
        // grows where it is.
        SetWindowPos(dialog, nullptr, 0, 0, newW, newH, flags | SWP_NOMOVE);
        return;
    }
    // Only a centred dialog moves, so that it keeps its centre; any other grows from
    // its top-left corner unless that would take it off its monitor.
    POINT place = {window.left, window.top};
    if (style & DS_CENTER) {
        place.x = ToInt(window.left + (RectWidth(window) - newW) / 2);
        place.y = ToInt(window.top + (RectHeight(window) - newH) / 2);
    }
    place = KeepOnMonitor(dialog, place, newW, newH);
    SetWindowPos(dialog, nullptr, place.x, place.y, newW, newH, flags);
}

}  // namespace

POINT KeepInsideWorkArea(const RECT& workArea, POINT place, int width, int height) {
    place.x = ToInt(std::max<int64_t>(std::min<int64_t>(place.x, int64_t{workArea.right} - width), workArea.left));
    place.y = ToInt(std::max<int64_t>(std::min<int64_t>(place.y, int64_t{workArea.bottom} - height), workArea.top));
    return place;
}

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
    *width = ReadPercent(value);
    *height = ReadPercent(asterisk + 1);
    if (*width == 100 && *height == 100) return false;
    // Outside these bounds a size is a typing error, not a layout: it is ignored.
    return IsPercent(*width) && IsPercent(*height);
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
    int frameW = ToInt(RectWidth(r) - c.right);
    int frameH = ToInt(RectHeight(r) - c.bottom);
    int topOffset = ToInt(int64_t{frameH} - GetSystemMetrics(SM_CYDLGFRAME));
    std::vector<ChildPlace> children;
    POINT bias = {};
    if (valid) {
        children = ReadChildren(dialog);
        bias = EstimateBias(dialog, r, c, frameW, topOffset);
    }

    if (!isPage) {
        if (valid) ResizeDialog(dialog, r, c, frameW, frameH, width, height);
        if (LookupDialogValue(dialogName, L"CAPTION", text, kTextChars)) SetWindowTextW(dialog, text);
    }
    if (valid) ScaleChildren(children, bias, width, height);
}

void ApplyRtlLayout(HWND window) {
    if (!IsRightToLeft()) return;
    LONG style = GetWindowLongW(window, GWL_EXSTYLE);
    SetWindowLongW(window, GWL_EXSTYLE, style | WS_EX_LAYOUTRTL);
}

}  // namespace tvx
