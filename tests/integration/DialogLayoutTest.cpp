// The three dialogs as a user sees them, in English, in a translation whose
// longer words enlarge the dialogs, and right to left, enlarged too (a mirrored
// dialog grows from its right edge): every control inside the
// dialog and readable, nothing on top of anything else, one keyboard letter per
// control, a default button, and a tab order that follows the layout. The
// dialogs are created in-process from the program's templates with the
// program's own dialog procedures.
//
// ctest runs these at the prefix's resolution (96 DPI) and once more, as
// integration.DialogLayoutAt144Dpi, in a fresh prefix set to 144 DPI.

#include <gtest/gtest.h>

#include <richedit.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "GuiDriver.h"
#include "InProcessDialog.h"
#include "TestSupport.h"
#include "integration/Completion.h"
#include "integration/ContextItems.h"
#include "integration/SetupDialog.h"
#include "lang/DialogLocalization.h"
#include "lang/Language.h"
#include "platform/Owner.h"
#include "platform/RunOutcome.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "startup/RunOptions.h"
#include "startup/Ui.h"

using namespace tvxtest;

namespace {

// Pixels of touch that the percentage scaling may leave between neighbours.
constexpr int kTouch = 1;

struct Sample {
    const char* name;
    const wchar_t* file;  // below tests\data; null: the program's own English texts
};
const Sample kSamples[] = {
    {"English", nullptr},
    {"German", L"German.lng"},
    {"Hebrew", L"Hebrew.lng"},
};

enum class Mode { Setup, ItemsClassic, ItemsTopItems, Completion, CompletionTypesKept };
struct DialogCase {
    const char* name;
    const wchar_t* resource;
    Mode mode;
};
const DialogCase kDialogs[] = {
    {"Setup", L"SETUPDLG", Mode::Setup},
    {"ItemsClassic", L"SETUPCONTEXTITEMS", Mode::ItemsClassic},
    {"ItemsTopItems", L"SETUPCONTEXTITEMS", Mode::ItemsTopItems},
    {"Completion", L"DONEDLG", Mode::Completion},
    {"CompletionTypesKept", L"DONEDLG", Mode::CompletionTypesKept},
};

// Enough types that the text needs more lines than the template gives it.
const tvx::CompletionFacts kTypesKept = {{L".zip", L".7z", L".tar", L".gz", L".tgz", L".bz2", L".tbz2", L".bz",
                                          L".tbz", L".xz", L".txz", L".zst", L".tzst", L".iso"}};

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// What a control is, as far as layout and keyboard go.
enum class Kind { CheckBox, PushButton, GroupBox, Label, Edit, Other };

Kind KindOf(HWND control) {
    std::wstring className = ClassOf(control);
    LONG style = GetWindowLongW(control, GWL_STYLE);
    if (_wcsicmp(className.c_str(), L"Button") == 0) {
        switch (style & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return Kind::CheckBox;
        case BS_GROUPBOX:
            return Kind::GroupBox;
        default:
            return Kind::PushButton;
        }
    }
    if (_wcsicmp(className.c_str(), L"Static") == 0) return Kind::Label;
    if (_wcsicmp(className.c_str(), L"Edit") == 0 || _wcsnicmp(className.c_str(), L"RichEdit", 8) == 0)
        return Kind::Edit;
    return Kind::Other;
}

struct Control {
    HWND window;
    int id;
    Kind kind;
    RECT rect;  // dialog client coordinates, reading direction: mirrored in a
                // right-to-left dialog
    std::wstring text;
    bool tabStop;
};

std::string Describe(const Control& control) {
    std::ostringstream out;
    out << control.id;
    if (!control.text.empty()) out << " \"" << Narrow(control.text) << "\"";
    out << " [" << control.rect.left << "," << control.rect.top << "-" << control.rect.right << ","
        << control.rect.bottom << "]";
    return out.str();
}

// The visible children in z-order (the order Tab walks), with their rectangles
// relative to the client area. MapWindowPoints mirrors the rectangle in a
// right-to-left dialog, so "left" is always where reading starts.
std::vector<Control> VisibleControls(HWND dialog) {
    std::vector<Control> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & WS_VISIBLE) == 0) continue;
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        if (rect.left > rect.right) std::swap(rect.left, rect.right);
        controls.push_back(
            {child, GetDlgCtrlID(child), KindOf(child), rect, WindowText(child), (style & WS_TABSTOP) != 0});
    }
    return controls;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left - kTouch && inner.top >= outer.top - kTouch &&
           inner.right <= outer.right + kTouch && inner.bottom <= outer.bottom + kTouch;
}

bool Overlap(const RECT& a, const RECT& b) {
    int w = std::min(a.right, b.right) - std::max(a.left, b.left);
    int h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > kTouch && h > kTouch;
}

// The letter that Alt and the letter reaches, upper-cased; 0 without one.
wchar_t Mnemonic(const std::wstring& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] == L'&') {
            ++i;
            continue;
        }
        // CharUpperW takes a single character in the low word of its pointer
        // argument.
        ULONG_PTR upper =
            reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<wchar_t*>(static_cast<ULONG_PTR>(text[i + 1]))));
        return static_cast<wchar_t>(upper & 0xFFFF);
    }
    return 0;
}

std::wstring WithoutMnemonic(const std::wstring& text) {
    std::wstring plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    return plain;
}

// The size the text needs in the control's own font, as DrawText lays it out.
SIZE TextExtent(HWND control, const std::wstring& text, UINT flags, int width = 0) {
    const tvx::WindowDc dc(control);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    const HGDIOBJ previous =
        SelectObject(dc.get(), font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT));
    const tvx::ScopeGuard deselect([&] { SelectObject(dc.get(), previous); });
    RECT rect = {0, 0, width, 0};
    DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &rect, flags | DT_CALCRECT);
    return {Width(rect), Height(rect)};
}

// Whether the control shows all of its text. Check boxes need their box and the
// gap before the text; buttons their edges; a group box the indent of its
// caption; labels wrap, so what they need is height.
std::string TextProblem(const Control& control, int dpi) {
    if (control.text.empty()) return "";
    const int scale = dpi;  // the extras below are measured at 96 DPI
    SIZE single = TextExtent(control.window, control.text, DT_SINGLELINE);
    int available = Width(control.rect);
    int needed = 0;
    switch (control.kind) {
    case Kind::CheckBox:
        needed = single.cx + GetSystemMetrics(SM_CXMENUCHECK) + 4 * scale / 96;
        break;
    case Kind::PushButton:
        needed = single.cx + 8 * scale / 96;
        break;
    case Kind::GroupBox:
        needed = single.cx + 16 * scale / 96;
        break;
    case Kind::Label: {
        if (GetWindowLongW(control.window, GWL_STYLE) & SS_ICON) return "";
        SIZE wrapped = TextExtent(control.window, control.text, DT_WORDBREAK, available);
        if (wrapped.cx > available) return "a word is wider than the label (" + std::to_string(wrapped.cx) + " px)";
        if (wrapped.cy > Height(control.rect))
            return "the text needs " + std::to_string(wrapped.cy) + " px of height, the label has " +
                   std::to_string(Height(control.rect));
        return "";
    }
    default:
        return "";
    }
    if (needed > available)
        return "the text needs " + std::to_string(needed) + " px, the control is " + std::to_string(available) +
               " px wide";
    if (single.cy > Height(control.rect) + kTouch)
        return "the text is " + std::to_string(single.cy) + " px high, the control " +
               std::to_string(Height(control.rect));
    return "";
}

// Everything a program can check of a dialog's look; each problem as one line.
// A scaled dialog (a "SIZE" in the language file) may have its controls a pixel
// or two higher than the plain percentage would put them: the scaling counts
// the window frame one pixel larger than it is.
std::vector<std::string> LayoutProblems(HWND dialog, int dpi, bool scaled = false) {
    std::vector<std::string> problems;
    auto problem = [&](const std::string& text) { problems.push_back(text); };

    RECT client;
    GetClientRect(dialog, &client);
    std::vector<Control> controls = VisibleControls(dialog);
    if (controls.empty()) problem("no visible control");

    // Inside the client area, and readable.
    for (const Control& c : controls) {
        if (!Contains(client, c.rect) || Width(c.rect) <= 0 || Height(c.rect) <= 0)
            problem(Describe(c) + " lies outside the client area [0,0-" + std::to_string(client.right) + "," +
                    std::to_string(client.bottom) + "]");
        std::string text = TextProblem(c, dpi);
        if (!text.empty()) problem(Describe(c) + ": " + text);
    }

    // Nothing on top of anything else; a group box holds controls wholly, below
    // its caption.
    for (size_t i = 0; i < controls.size(); ++i) {
        for (size_t j = i + 1; j < controls.size(); ++j) {
            const Control* a = &controls[i];
            const Control* b = &controls[j];
            if (!Overlap(a->rect, b->rect)) continue;
            if (b->kind == Kind::GroupBox && Contains(b->rect, a->rect)) std::swap(a, b);
            if (a->kind == Kind::GroupBox && Contains(a->rect, b->rect)) {
                int caption = TextExtent(a->window, a->text.empty() ? L"X" : a->text, DT_SINGLELINE).cy;
                if (b->rect.top < a->rect.top + caption - kTouch)
                    problem(Describe(*b) + " covers the caption of the group " + Describe(*a));
                continue;
            }
            problem(Describe(*a) + " overlaps " + Describe(*b));
        }
    }

    // The same margin on both sides and at top and bottom.
    RECT used = {client.right, client.bottom, 0, 0};
    for (const Control& c : controls) {
        used.left = std::min(used.left, c.rect.left);
        used.top = std::min(used.top, c.rect.top);
        used.right = std::max(used.right, c.rect.right);
        used.bottom = std::max(used.bottom, c.rect.bottom);
    }
    if (!controls.empty()) {
        if (std::abs(used.left - (client.right - used.right)) > 2)
            problem("margins differ: left " + std::to_string(used.left) + " px, right " +
                    std::to_string(client.right - used.right) + " px");
        if (std::abs(used.top - (client.bottom - used.bottom)) > (scaled ? 3 : 2))
            problem("margins differ: top " + std::to_string(used.top) + " px, bottom " +
                    std::to_string(client.bottom - used.bottom) + " px");
    }

    // Keyboard letters: one on every check box and button but OK and Cancel, none
    // twice.
    std::map<wchar_t, const Control*> letters;
    for (const Control& c : controls) {
        wchar_t letter = Mnemonic(c.text);
        bool needsOne = (c.kind == Kind::CheckBox || c.kind == Kind::PushButton) && c.id != IDOK && c.id != IDCANCEL;
        if (needsOne && letter == 0) problem(Describe(c) + " has no keyboard letter");
        if (letter == 0 || c.kind == Kind::GroupBox) continue;
        auto [it, inserted] = letters.emplace(letter, &c);
        if (!inserted) problem(Describe(c) + " uses the keyboard letter of " + Describe(*it->second));
    }

    // Screen readers read a check box by its text: it must say something, and not
    // what another box says.
    std::map<std::wstring, const Control*> labels;
    for (const Control& c : controls) {
        if (c.kind != Kind::CheckBox) continue;
        std::wstring label = WithoutMnemonic(c.text);
        if (std::none_of(label.begin(), label.end(), [](wchar_t ch) { return IsCharAlphaNumericW(ch); }))
            problem(Describe(c) + " has no readable label");
        else if (!labels.emplace(label, &c).second)
            problem(Describe(c) + " reads the same as " + Describe(*labels[label]));
    }

    // One default button, OK, so that Enter accepts.
    int defaults = 0;
    for (const Control& c : controls) {
        if (c.kind == Kind::PushButton && (GetWindowLongW(c.window, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            ++defaults;
            if (c.id != IDOK) problem(Describe(c) + " is a default button");
        }
    }
    if (defaults != 1) problem(std::to_string(defaults) + " default buttons");
    LRESULT defId = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    if (HIWORD(defId) != DC_HASDEFID || LOWORD(defId) != IDOK) problem("OK is not the dialog's default");

    // Everything a user can operate is a tab stop (the help text too, so that it
    // can be read without a mouse), and Tab walks the controls as they are read:
    // a whole group before the next, down a column or on to the right, or to a
    // new line below all that came before.
    for (const Control& c : controls) {
        bool operable = c.kind == Kind::CheckBox || c.kind == Kind::PushButton || c.kind == Kind::Edit;
        if (operable && !c.tabStop) problem(Describe(c) + " cannot be reached with Tab");
    }
    auto groupOf = [&](const Control& c) -> const Control* {
        const Control* found = nullptr;
        for (const Control& g : controls)
            if (g.kind == Kind::GroupBox && &g != &c && Contains(g.rect, c.rect) &&
                (!found || Width(g.rect) * Height(g.rect) < Width(found->rect) * Height(found->rect)))
                found = &g;
        return found;
    };
    std::vector<const Control*> order;
    for (const Control& c : controls)
        if (c.tabStop && c.kind != Kind::GroupBox) order.push_back(&c);
    std::vector<const Control*> groupsLeft;
    int bottomSoFar = 0;       // of everything Tab has visited
    int groupBottomSoFar = 0;  // of the controls visited in the current group
    for (size_t i = 0; i < order.size(); ++i) {
        const Control* group = groupOf(*order[i]);
        const Control* previousGroup = i > 0 ? groupOf(*order[i - 1]) : nullptr;
        bool sameGroup = i > 0 && group && group == previousGroup;
        if (i > 0) {
            if (group != previousGroup && previousGroup) groupsLeft.push_back(previousGroup);
            if (group && std::find(groupsLeft.begin(), groupsLeft.end(), group) != groupsLeft.end())
                problem("Tab comes back into the group " + Describe(*group) + " at " + Describe(*order[i]));
            // Within a group its controls are compared, between groups the groups.
            RECT a = order[i - 1]->rect;
            RECT b = order[i]->rect;
            if (!sameGroup) {
                if (previousGroup) a = previousGroup->rect;
                if (group) b = group->rect;
            }
            bool toTheRight = b.left >= a.right - kTouch;
            bool downTheColumn = b.top >= a.bottom - kTouch && b.left < a.right && a.left < b.right;
            bool newLine = b.top >= (sameGroup ? groupBottomSoFar : bottomSoFar) - kTouch;
            if (!toTheRight && !downTheColumn && !newLine)
                problem("Tab goes from " + Describe(*order[i - 1]) + " back to " + Describe(*order[i]));
        }
        groupBottomSoFar = sameGroup ? std::max<int>(groupBottomSoFar, order[i]->rect.bottom) : order[i]->rect.bottom;
        bottomSoFar = std::max<int>(bottomSoFar, (group ? group->rect : order[i]->rect).bottom);
    }
    return problems;
}

int ScreenDpi() {
    const tvx::WindowDc screen(nullptr);
    return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

// One sample language loaded the way the program loads its language file, and
// gone again at the end.
class SampleLanguage {
public:
    explicit SampleLanguage(const Sample& sample) {
        tvx::ReleaseLanguage();
        if (sample.file == nullptr) return;
        path_ = SourceDir() + L"\\tests\\data\\" + sample.file;
        tvx::ParseLanguageFile(path_.c_str());
        if (tvx::IsRightToLeft()) SetProcessDefaultLayout(LAYOUT_RTL);
    }
    ~SampleLanguage() {
        SetProcessDefaultLayout(0);
        tvx::ReleaseLanguage();
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// Creates the dialog with the program's own procedure, as the program opens it.
HWND CreateProductDialog(const DialogCase& dialog) {
    switch (dialog.mode) {
    case Mode::Setup:
        return CreateDialogParamW(GetModuleHandleW(nullptr), dialog.resource, nullptr, tvx::SetupDialog, 0);
    case Mode::ItemsClassic:
        return CreateDialogParamW(GetModuleHandleW(nullptr), dialog.resource, nullptr, tvx::ContextItemsDialog, 1);
    case Mode::ItemsTopItems:
        // Windows 11 without cascaded menus shows the six top items instead.
        return CreateDialogParamW(GetModuleHandleW(nullptr), dialog.resource, nullptr, tvx::ContextItemsDialog, 0);
    case Mode::Completion:
        return CreateDialogParamW(GetModuleHandleW(nullptr), dialog.resource, nullptr, tvx::CompletionDialog, 0);
    case Mode::CompletionTypesKept:
        return CreateDialogParamW(GetModuleHandleW(nullptr), dialog.resource, nullptr, tvx::CompletionDialog,
                                  reinterpret_cast<LPARAM>(&kTypesKept));
    }
    return nullptr;
}

class DialogLayout : public ::testing::TestWithParam<std::tuple<Sample, DialogCase>> {
protected:
    void SetUp() override {
        richEdit_.reset(LoadLibraryW(L"riched20.dll"));
        tvx::Options().silent = false;
        tvx::PrimeWindowsVersion(std::get<1>(GetParam()).mode == Mode::ItemsTopItems, 0x0A00);
        tvx::CreateProgramResources();
    }
    void TearDown() override {
        tvx::ReleaseProgramResources();
        tvx::ResetWindowsVersionCaches();
        tvx::ResetRunOutcome();
    }

private:
    tvx::UniqueModule richEdit_;
};

TEST_P(DialogLayout, EveryControlVisibleAlignedAndReachable) {
    const auto& [sample, dialogCase] = GetParam();
    SampleLanguage language(sample);
    if (sample.file) {
        ASSERT_GT(tvx::LanguageEntryCount(), 0u) << "cannot read " << Narrow(language.path());
    }

    HWND dialog = CreateProductDialog(dialogCase);
    ASSERT_NE(dialog, nullptr) << "error " << GetLastError();

    // The sample really is in the dialog: its caption, its direction and its
    // size.
    wchar_t caption[1024];
    if (tvx::LookupDialogValue(dialogCase.resource, L"CAPTION", caption, 1024)) {
        EXPECT_EQ(WindowText(dialog), caption);
    }
    bool mirrored = (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    EXPECT_EQ(mirrored, tvx::IsRightToLeft());
    int width = 0;
    int height = 0;
    bool scaled = tvx::ReadDialogSize(dialogCase.resource, &width, &height);
    EXPECT_EQ(scaled, sample.file != nullptr) << "both samples resize every dialog";

    for (const std::string& problem : LayoutProblems(dialog, ScreenDpi(), scaled)) ADD_FAILURE() << problem;
    DestroyWindow(dialog);
}

void PrintTo(const Sample& sample, std::ostream* out) { *out << sample.name; }
void PrintTo(const DialogCase& dialog, std::ostream* out) { *out << dialog.name; }

std::string CaseName(const ::testing::TestParamInfo<std::tuple<Sample, DialogCase>>& info) {
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(AllSamples, DialogLayout,
                         ::testing::Combine(::testing::ValuesIn(kSamples), ::testing::ValuesIn(kDialogs)), CaseName);

// Enter and Esc from wherever the focus is: Esc always cancels; Enter presses the
// focused button, and from anywhere else (a check box, the folder field, the help text)
// the default button, OK. A minimal procedure that only localises and ends the dialog
// with the command it receives stands in for the program's, so that nothing is applied.
const wchar_t* keyboardDialogName = nullptr;

INT_PTR CALLBACK KeyboardProbe(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (tvx::CommonDialogMessage(dialog, message, wParam, lParam, keyboardDialogName, nullptr)) return TRUE;
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        HWND control = GetDlgItem(dialog, LOWORD(wParam));
        bool checkBox = control && KindOf(control) == Kind::CheckBox;
        if (!checkBox) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// Opens the dialog, puts the focus on the control and presses the key; the dialog's
// result, or kKeyIgnored when the key did not end it.
constexpr INT_PTR kKeyIgnored = 0xFFFF;

INT_PTR PressKeyOn(const wchar_t* resource, int findId, int controlId, WPARAM key) {
    keyboardDialogName = resource;
    std::thread driver([&] {
        HWND dialog = WaitForOwnDialog(findId);
        if (!dialog) return;
        // Other test programs share the desktop and may hold the foreground: the dialog
        // takes it back, and the key goes out once the focus is on the control.
        HWND target = GetDlgItem(dialog, controlId);
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        WaitUntil([&] {
            SetForegroundWindow(dialog);
            PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
            Sleep(20);
            return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus == target;
        }, 5000, 20);
        HWND focus = GetDlgItem(dialog, controlId);
        PostMessageW(focus, WM_KEYDOWN, key, 1);
        PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
        if (!WaitUntilClosed(dialog, 10000)) PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kKeyIgnored, BN_CLICKED), 0);
    });
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), resource, nullptr, KeyboardProbe, 0);
    driver.join();
    return result;
}

class DialogKeyboard : public ::testing::TestWithParam<std::tuple<Sample, DialogCase>> {
protected:
    void SetUp() override { richEdit_.reset(LoadLibraryW(L"riched20.dll")); }

private:
    tvx::UniqueModule richEdit_;
};

TEST_P(DialogKeyboard, EnterAcceptsAndEscCancelsFromEveryControl) {
    const auto& [sample, dialogCase] = GetParam();
    SampleLanguage language(sample);
    const int findId = dialogCase.mode == Mode::Setup        ? IDC_SETCONTEXTMENU
                       : dialogCase.mode == Mode::Completion ? IDC_VIEWHELP
                                                             : IDC_CONTEXTALWAYSARC;

    // The tab stops and what they are, from a quiet copy of the dialog.
    keyboardDialogName = dialogCase.resource;
    HWND probe = CreateDialogParamW(GetModuleHandleW(nullptr), dialogCase.resource, nullptr, KeyboardProbe, 0);
    ASSERT_NE(probe, nullptr);
    std::vector<std::pair<int, Kind>> stops;
    for (const Control& c : VisibleControls(probe))
        if (c.tabStop && IsWindowEnabled(c.window)) stops.emplace_back(c.id, c.kind);
    DestroyWindow(probe);
    ASSERT_FALSE(stops.empty());

    for (const auto& [id, kind] : stops) {
        INT_PTR expected = kind == Kind::PushButton ? id : IDOK;
        EXPECT_EQ(PressKeyOn(dialogCase.resource, findId, id, VK_RETURN), expected) << "Enter on control " << id;
        EXPECT_EQ(PressKeyOn(dialogCase.resource, findId, id, VK_ESCAPE), IDCANCEL) << "Esc on control " << id;
    }
}

// The German sample only changes texts and sizes; the keys go the same way there.
const Sample kKeyboardSamples[] = {kSamples[0], kSamples[2]};
const DialogCase kKeyboardDialogs[] = {kDialogs[0], kDialogs[1], kDialogs[3]};
INSTANTIATE_TEST_SUITE_P(EnglishAndRightToLeft, DialogKeyboard,
                         ::testing::Combine(::testing::ValuesIn(kKeyboardSamples),
                                            ::testing::ValuesIn(kKeyboardDialogs)),
                         CaseName);

// The check itself: it must see the faults it is there for.
class LayoutCheck : public ::testing::Test {
protected:
    void SetUp() override {
        richEdit_.reset(LoadLibraryW(L"riched20.dll"));
        tvx::Options().silent = false;
        tvx::PrimeWindowsVersion(false, 0x0A00);
        dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr), L"DONEDLG", nullptr, tvx::CompletionDialog, 0);
        ASSERT_NE(dialog_, nullptr);
        ASSERT_TRUE(LayoutProblems(dialog_, ScreenDpi()).empty());
    }
    void TearDown() override {
        if (dialog_) DestroyWindow(dialog_);
        tvx::ResetWindowsVersionCaches();
    }
    bool Reports(const std::string& part) {
        for (const std::string& problem : LayoutProblems(dialog_, ScreenDpi()))
            if (problem.find(part) != std::string::npos) return true;
        return false;
    }
    void MoveControl(int id, int dx, int dy, int dw = 0) {
        HWND control = GetDlgItem(dialog_, id);
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&rect), 2);
        SetWindowPos(control, nullptr, rect.left + dx, rect.top + dy, Width(rect) + dw, Height(rect),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }

    HWND dialog_ = nullptr;

private:
    tvx::UniqueModule richEdit_;
};

TEST_F(LayoutCheck, SeesAControlPushedOutOfTheDialog) {
    RECT client;
    GetClientRect(dialog_, &client);
    MoveControl(IDOK, client.right, 0);
    EXPECT_TRUE(Reports("outside the client area"));
}

TEST_F(LayoutCheck, SeesOverlapButForgivesAOnePixelTouch) {
    RECT help;
    RECT license;
    GetWindowRect(GetDlgItem(dialog_, IDC_VIEWHELP), &help);
    GetWindowRect(GetDlgItem(dialog_, IDC_VIEWLICENSE), &license);
    int gap = license.left - help.right;
    MoveControl(IDC_VIEWHELP, 0, 0, gap + 1);
    EXPECT_FALSE(Reports("overlaps"));
    MoveControl(IDC_VIEWHELP, 0, 0, 4);
    EXPECT_TRUE(Reports("overlaps"));
}

TEST_F(LayoutCheck, SeesCutTextMissingAndDoubledLettersAndTabGoingBack) {
    SetDlgItemTextW(dialog_, IDC_VIEWHELP, L"&Read the complete manual of Tervix with every command");
    EXPECT_TRUE(Reports("the text needs"));
    SetDlgItemTextW(dialog_, IDC_VIEWHELP, L"Help");
    EXPECT_TRUE(Reports("has no keyboard letter"));
    SetDlgItemTextW(dialog_, IDC_VIEWHELP, L"&Licence");
    EXPECT_TRUE(Reports("uses the keyboard letter"));
    SetDlgItemTextW(dialog_, IDC_VIEWHELP, L"&Help");
    // OK first in the tab order, although it is read last.
    SetWindowPos(GetDlgItem(dialog_, IDOK), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_TRUE(Reports("Tab goes from"));
}

TEST(LayoutCheckOfGroups, SeesAControlOnItsGroupsCaptionAndTabLeavingAndReenteringAGroup) {
    tvx::PrimeWindowsVersion(false, 0x0A00);
    HWND dialog =
        CreateDialogParamW(GetModuleHandleW(nullptr), L"SETUPCONTEXTITEMS", nullptr, tvx::ContextItemsDialog, 1);
    ASSERT_NE(dialog, nullptr);
    auto reports = [&](const std::string& part) {
        for (const std::string& problem : LayoutProblems(dialog, ScreenDpi()))
            if (problem.find(part) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(LayoutProblems(dialog, ScreenDpi()).empty());

    // The drag-and-drop items visited between the two New-menu items.
    HWND second = GetDlgItem(dialog, IDC_CONTEXTNEWZIP);
    SetWindowPos(second, GetDlgItem(dialog, IDC_CONTEXTDRAGEXTRACT), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_TRUE(reports("Tab comes back into the group"));

    // The first New-menu item moved up onto the caption of its group.
    RECT group;
    RECT item;
    GetWindowRect(GetDlgItem(dialog, IDC_CONTEXTNEWMENU), &group);
    GetWindowRect(GetDlgItem(dialog, IDC_CONTEXTNEWTVX), &item);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&group), 2);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&item), 2);
    SetWindowPos(GetDlgItem(dialog, IDC_CONTEXTNEWTVX), nullptr, item.left, group.top + 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(reports("covers the caption of the group"));

    DestroyWindow(dialog);
    tvx::ResetWindowsVersionCaches();
}

// The resolution the layout was checked at: the prefix's own (96), or what the
// ctest entry for high resolution set (TVX_EXPECT_DPI).
TEST(DialogLayoutResolution, IsTheOneAskedFor) {
    const char* expected = getenv("TVX_EXPECT_DPI");
    EXPECT_EQ(ScreenDpi(), expected ? atoi(expected) : 96);
}

}  // namespace
