// Translating and resizing real dialogs created from templates, as the setup, completion
// and context-items dialogs are when a language file asks for it.

#include "lang/DialogLocalization.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "LangTestDialogs.h"
#include "GuiDriver.h"
#include "LangTestFiles.h"
#include "TestSupport.h"
#include "lang/Language.h"

namespace tvx {
namespace {

const int kControlIds[] = {IDC_LANGTEST_TEXT, IDC_LANGTEST_CHECK, IDC_LANGTEST_DROPLIST,
                           IDC_LANGTEST_SIMPLE, IDC_LANGTEST_DROPDOWN, IDOK};

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// A modeless dialog from a test template, destroyed at the end of the test.
class TestDialog {
public:
    TestDialog(int templateId, HWND parent = nullptr)
        : window_(CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent, QuietDialogProc,
                                     0)),
          error_(window_ ? 0 : GetLastError()) {}
    ~TestDialog() {
        if (window_) DestroyWindow(window_);
    }
    HWND get() const { return window_; }
    DWORD error() const { return error_; }

private:
    HWND window_;
    DWORD error_;
};

void LoadLanguageText(const tvxtest::TempFolder& sandbox, const std::string& body) {
    tvxtest::ParseBytes(sandbox, "***messages***\r\n" + body);
}

RECT WindowRect(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

// A control's rectangle in its dialog's client coordinates.
RECT ClientRectOf(HWND dialog, int id) {
    RECT r = WindowRect(GetDlgItem(dialog, id));
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int DroppedHeight(HWND combo) {
    RECT d = {};
    SendMessageW(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&d));
    return d.bottom - d.top;
}

struct Layout {
    RECT window;
    RECT client;
    std::map<int, RECT> controls;  // screen coordinates
    std::map<int, RECT> dropped;
};

Layout ReadLayout(HWND dialog) {
    Layout layout;
    layout.window = WindowRect(dialog);
    GetClientRect(dialog, &layout.client);
    for (int id : kControlIds) {
        layout.controls[id] = WindowRect(GetDlgItem(dialog, id));
        RECT d = {};
        SendMessageW(GetDlgItem(dialog, id), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&d));
        layout.dropped[id] = d;
    }
    return layout;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// What a control should become when its dialog is scaled by width and height percent.
struct Expected {
    int x, y, w, h;
};

Expected ExpectedControl(const Layout& before, int id, int width, int height, bool dropDown) {
    const RECT& r = before.window;
    const RECT& k = before.controls.at(id);
    int frameW = (r.right - r.left + 1) - before.client.right;
    int frameH = (r.bottom - r.top + 1) - before.client.bottom;
    int topOffset = frameH - GetSystemMetrics(SM_CYDLGFRAME);
    Expected e;
    e.x = (k.left - frameW / 2 - r.left) * width / 100;
    e.y = (k.top - topOffset - r.top) * height / 100;
    e.w = (k.right - k.left + 1) * width / 100;
    e.h = (k.bottom - k.top + 1) * height / 100;
    if (dropDown) {
        const RECT& d = before.dropped.at(id);
        e.h += (d.bottom - d.top + 1) * height / 100;
    }
    return e;
}

void ExpectControlsScaled(HWND dialog, const Layout& before, int width, int height) {
    for (int id : kControlIds) {
        bool dropDown = id == IDC_LANGTEST_DROPLIST || id == IDC_LANGTEST_DROPDOWN;
        Expected e = ExpectedControl(before, id, width, height, dropDown);
        RECT now = ClientRectOf(dialog, id);
        EXPECT_EQ(now.left, e.x) << "control " << id;
        EXPECT_EQ(now.top, e.y) << "control " << id;
        EXPECT_EQ(now.right - now.left, e.w) << "control " << id;
        if (dropDown) {
            // The closed part keeps the height of its edit field; the height given goes to
            // the dropped-down state, which Windows reports whole and Wine without the
            // closed part.
            int dropped = DroppedHeight(GetDlgItem(dialog, id));
            int closed = now.bottom - now.top;
            EXPECT_TRUE(dropped == e.h || dropped + closed == e.h)
                << "control " << id << ": dropped " << dropped << ", closed " << closed << ", expected " << e.h;
        } else {
            EXPECT_EQ(now.bottom - now.top, e.h) << "control " << id;
        }
    }
}

void ExpectUnscaled(HWND dialog, const Layout& before, const std::string& context) {
    Layout after = ReadLayout(dialog);
    EXPECT_TRUE(SameRect(after.window, before.window)) << context;
    for (int id : kControlIds) {
        EXPECT_TRUE(SameRect(after.controls[id], before.controls.at(id))) << context << " control " << id;
        EXPECT_TRUE(SameRect(after.dropped[id], before.dropped.at(id))) << context << " control " << id;
    }
}

const char kTranslation[] =
    ":DIALOG SETUPDLG\r\n"
    "SIZE 120*110\r\n"
    "CAPTION \"Tervix-Einrichtung\"\r\n"
    "IDC_ASSOCTVX \"Verkn\xFCpfen mit\"\r\n"
    "IDC_ASSOCZIP \"\"\r\n"
    "IDOK Installieren\r\n";

TEST(DialogLocalization, TranslatesTextsAndScalesDialogFromItsTopLeftCorner) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxdlg");
    LoadLanguageText(sandbox, kTranslation);
    TestDialog dialog(IDD_LANGTEST_TOPLEFT);
    ASSERT_NE(dialog.get(), nullptr) << "not created, error " << dialog.error();
    SetWindowPos(dialog.get(), nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Layout before = ReadLayout(dialog.get());
    RECT clientBefore = ClientRectOf(dialog.get(), IDOK);

    LocalizeDialog(dialog.get(), L"SETUPDLG", false);

    EXPECT_EQ(tvxtest::WindowText(dialog.get()), L"Tervix-Einrichtung");
    EXPECT_EQ(tvxtest::ControlText(dialog.get(), IDC_LANGTEST_TEXT), L"Verkn\x00FCpfen mit");
    EXPECT_EQ(tvxtest::ControlText(dialog.get(), IDC_LANGTEST_CHECK), L"");
    EXPECT_EQ(tvxtest::ControlText(dialog.get(), IDOK), L"Installieren");

    const RECT& r = before.window;
    int frameW = (r.right - r.left + 1) - before.client.right;
    int frameH = (r.bottom - r.top + 1) - before.client.bottom;
    RECT now = WindowRect(dialog.get());
    EXPECT_EQ(now.left, 100);
    EXPECT_EQ(now.top, 80);
    EXPECT_EQ(now.right - now.left, before.client.right * 120 / 100 + frameW);
    EXPECT_EQ(now.bottom - now.top, before.client.bottom * 110 / 100 + frameH);
    ExpectControlsScaled(dialog.get(), before, 120, 110);

    // Seen from inside the dialog, the button is where 120 and 110 percent of its old place
    // would put it, within the rounding of the border estimate.
    RECT clientAfter = ClientRectOf(dialog.get(), IDOK);
    EXPECT_NEAR(clientAfter.left, clientBefore.left * 120 / 100, 2);
    EXPECT_NEAR(clientAfter.top, clientBefore.top * 110 / 100, 2);
}

TEST(DialogLocalization, CentredDialogKeepsItsCentreAndNeverLeavesItsMonitor) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxdlg");
    LoadLanguageText(sandbox, kTranslation);
    {
        TestDialog dialog(IDD_LANGTEST_CENTER);
        ASSERT_NE(dialog.get(), nullptr) << "not created, error " << dialog.error();
        SetWindowPos(dialog.get(), nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Layout before = ReadLayout(dialog.get());
        LocalizeDialog(dialog.get(), L"SETUPDLG", false);

        const RECT& r = before.window;
        int newW = before.client.right * 120 / 100 + (r.right - r.left + 1) - before.client.right;
        int newH = before.client.bottom * 110 / 100 + (r.bottom - r.top + 1) - before.client.bottom;
        RECT now = WindowRect(dialog.get());
        EXPECT_EQ(now.left, r.left + ((r.right - r.left + 1) - newW) / 2);
        EXPECT_EQ(now.top, r.top + ((r.bottom - r.top + 1) - newH) / 2);
        EXPECT_EQ(now.right - now.left, newW);
        EXPECT_EQ(now.bottom - now.top, newH);
        EXPECT_NEAR((now.left + now.right) / 2.0, (r.left + r.right) / 2.0, 1.0);
        EXPECT_NEAR((now.top + now.bottom) / 2.0, (r.top + r.bottom) / 2.0, 1.0);
        ExpectControlsScaled(dialog.get(), before, 120, 110);
    }
    {
        LoadLanguageText(sandbox, ":DIALOG SETUPDLG\r\nSIZE 200*250\r\n");
        TestDialog dialog(IDD_LANGTEST_CENTER);
        ASSERT_NE(dialog.get(), nullptr) << "not created, error " << dialog.error();
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(dialog.get(), MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT& work = monitor.rcWork;
        SetWindowPos(dialog.get(), nullptr, work.left + 10, work.top + 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Layout before = ReadLayout(dialog.get());
        LocalizeDialog(dialog.get(), L"SETUPDLG", false);
        RECT now = WindowRect(dialog.get());
        EXPECT_EQ(now.left, work.left);
        EXPECT_EQ(now.top, work.top);
        EXPECT_GT(now.right - now.left, (before.window.right - before.window.left) * 19 / 10);
        ExpectControlsScaled(dialog.get(), before, 200, 250);
    }
}

// Wine has one monitor at the origin; monitors left of and above the primary one have
// negative coordinates, and a dialog there stays there.
TEST(DialogLocalization, WorkAreasWithNegativeCoordinatesKeepTheDialog) {
    struct Case {
        RECT work;
        POINT place, expected;
    } cases[] = {
        {{-1920, 0, 0, 1040}, {-1200, 300}, {-1200, 300}},  // fits: stays
        {{-1920, 0, 0, 1040}, {-300, 900}, {-400, 740}},    // pulled back from the right and the bottom
        {{0, -1080, 1920, -40}, {-50, -1100}, {0, -1080}},  // above the primary one
        {{0, 0, 300, 200}, {50, 50}, {0, 0}},  // larger than the area: its top-left corner shows
    };
    for (const Case& c : cases) {
        POINT got = KeepInsideWorkArea(c.work, c.place, 400, 300);
        EXPECT_EQ(got.x, c.expected.x) << c.place.x << "," << c.place.y;
        EXPECT_EQ(got.y, c.expected.y) << c.place.x << "," << c.place.y;
    }
}

TEST(DialogLocalization, InvalidSizesLeaveEverythingUnscaledButStillTranslate) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxdlg");
    struct Case {
        const char* size;
        int width, height;  // as read, where a value is read at all
    } cases[] = {
        {"100*100", 100, 100}, {"0*110", 0, 110},   {"120*0", 120, 0},   {"-120*110", -120, 110},
        {"120*-5", 120, -5},   {"120* 110", 120, 0}, {" 120*110", 0, 110}, {"120", -1, -1},
        {"120x110", -1, -1},   {"401*110", 401, 110}, {"120*24", 120, 24},
        // Wrapped to 32 bits this would read as 120.
        {"4294967416*110", 2147483647, 110},
    };
    for (const Case& c : cases) {
        LoadLanguageText(sandbox, std::string(":DIALOG SETUPDLG\r\nSIZE \"") + c.size +
                                      "\"\r\nCAPTION Titel\r\nIDOK Weiter\r\n");
        int width = -1;
        int height = -1;
        EXPECT_FALSE(ReadDialogSize(L"SETUPDLG", &width, &height)) << c.size;
        EXPECT_EQ(width, c.width) << c.size;
        EXPECT_EQ(height, c.height) << c.size;

        for (int templateId : {IDD_LANGTEST_TOPLEFT, IDD_LANGTEST_CENTER}) {
            TestDialog dialog(templateId);
            ASSERT_NE(dialog.get(), nullptr) << "not created, error " << dialog.error();
            Layout before = ReadLayout(dialog.get());
            LocalizeDialog(dialog.get(), L"SETUPDLG", false);
            ExpectUnscaled(dialog.get(), before, c.size);
            EXPECT_EQ(tvxtest::WindowText(dialog.get()), L"Titel") << c.size;
            EXPECT_EQ(tvxtest::ControlText(dialog.get(), IDOK), L"Weiter") << c.size;
        }
    }

    LoadLanguageText(sandbox, ":DIALOG SETUPDLG\r\nSIZE 120*110\r\n");
    int width = 0;
    int height = 0;
    EXPECT_TRUE(ReadDialogSize(L"SETUPDLG", &width, &height));
    EXPECT_EQ(width, 120);
    EXPECT_EQ(height, 110);
    EXPECT_FALSE(ReadDialogSize(L"DONEDLG", &width, &height));
    LoadLanguageText(sandbox, ":DIALOG SETUPDLG\r\nSIZE 25*400\r\n");
    EXPECT_TRUE(ReadDialogSize(L"SETUPDLG", &width, &height));
}

TEST(DialogLocalization, PageKeepsItsOwnSizeAndCaptionButScalesItsControls) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxdlg");
    LoadLanguageText(sandbox, kTranslation);
    TestDialog sheet(IDD_LANGTEST_TOPLEFT);
    ASSERT_NE(sheet.get(), nullptr);
    TestDialog page(IDD_LANGTEST_PAGE, sheet.get());
    ASSERT_NE(page.get(), nullptr);
    Layout before = ReadLayout(page.get());

    LocalizeDialog(page.get(), L"SETUPDLG", true);

    EXPECT_TRUE(SameRect(WindowRect(page.get()), before.window));
    EXPECT_EQ(tvxtest::WindowText(page.get()), L"Page caption");
    EXPECT_EQ(tvxtest::ControlText(page.get(), IDOK), L"Installieren");
    ExpectControlsScaled(page.get(), before, 120, 110);
}

TEST(DialogLocalization, KeysOfOneDialogNeverReachAnother) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxdlg");
    LoadLanguageText(sandbox,
                     ":DIALOG SETUPDLG\r\nSIZE 150*150\r\nCAPTION Setup\r\nIDC_ASSOCTVX setup\r\nIDOK SetupOK\r\n"
                     ":DIALOG DONEDLG\r\nIDC_INSTINFOFOLDER done\r\n"
                     ":DIALOG SETUPCONTEXTITEMS\r\nCAPTION Items\r\nIDCANCEL Abbrechen\r\n");
    {
        // "SETUP" is a prefix of "SETUPDLG" but not its dialog.
        TestDialog dialog(IDD_LANGTEST_TOPLEFT);
        Layout before = ReadLayout(dialog.get());
        LocalizeDialog(dialog.get(), L"SETUP", false);
        ExpectUnscaled(dialog.get(), before, "SETUP");
        EXPECT_EQ(tvxtest::WindowText(dialog.get()), L"Template caption");
        EXPECT_EQ(tvxtest::ControlText(dialog.get(), IDC_LANGTEST_TEXT), L"Template text");
        EXPECT_EQ(tvxtest::ControlText(dialog.get(), IDOK), L"OK");
    }
    {
        TestDialog dialog(IDD_LANGTEST_TOPLEFT);
        Layout before = ReadLayout(dialog.get());
        LocalizeDialog(dialog.get(), L"DONEDLG", false);
        ExpectUnscaled(dialog.get(), before, "DONEDLG");
        EXPECT_EQ(tvxtest::WindowText(dialog.get()), L"Template caption");
        EXPECT_EQ(tvxtest::ControlText(dialog.get(), IDC_LANGTEST_TEXT), L"done");
        EXPECT_EQ(tvxtest::ControlText(dialog.get(), IDOK), L"OK");
    }
    {
        TestDialog dialog(IDD_LANGTEST_TOPLEFT);
        Layout before = ReadLayout(dialog.get());
        LocalizeDialog(dialog.get(), L"SETUPCONTEXTITEMS", false);
        ExpectUnscaled(dialog.get(), before, "SETUPCONTEXTITEMS");
        EXPECT_EQ(tvxtest::WindowText(dialog.get()), L"Items");
        EXPECT_EQ(tvxtest::ControlText(dialog.get(), IDC_LANGTEST_TEXT), L"Template text");
    }
}

TEST(DialogLocalization, WithoutLanguageFileDialogsKeepTheirTemplates) {
    tvxtest::LanguageReset reset;
    TestDialog dialog(IDD_LANGTEST_CENTER);
    Layout before = ReadLayout(dialog.get());
    LocalizeDialog(dialog.get(), L"SETUPDLG", false);
    ExpectUnscaled(dialog.get(), before, "no language file");
    EXPECT_EQ(tvxtest::WindowText(dialog.get()), L"Template caption");
    EXPECT_EQ(tvxtest::ControlText(dialog.get(), IDOK), L"OK");
}

TEST(DialogLocalization, RightToLeftLayoutOnlyForRightToLeftLanguages) {
    tvxtest::LanguageReset reset;
    tvxtest::TempFolder sandbox(L"tvxdlg");
    LoadLanguageText(sandbox, ":DIRECTION LTR\r\nIDS_BETA x\r\n");
    {
        TestDialog dialog(IDD_LANGTEST_TOPLEFT);
        LONG style = GetWindowLongW(dialog.get(), GWL_EXSTYLE);
        ApplyRtlLayout(dialog.get());
        EXPECT_EQ(GetWindowLongW(dialog.get(), GWL_EXSTYLE), style);
    }
    LoadLanguageText(sandbox, ":DIRECTION RTL\r\nIDS_BETA x\r\n");
    {
        TestDialog dialog(IDD_LANGTEST_TOPLEFT);
        LONG style = GetWindowLongW(dialog.get(), GWL_EXSTYLE);
        ASSERT_EQ(style & WS_EX_LAYOUTRTL, 0);
        ApplyRtlLayout(dialog.get());
        EXPECT_EQ(GetWindowLongW(dialog.get(), GWL_EXSTYLE), style | WS_EX_LAYOUTRTL);
    }
}

}  // namespace
}  // namespace tvx
