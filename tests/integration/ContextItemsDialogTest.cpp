// The context menu items dialog, opened in-process and driven through the GUI driver.
// Every case runs in a fresh prefix: the dialog reads and writes the user's settings.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "InProcessDialog.h"
#include "SandboxCopy.h"
#include "TestSupport.h"
#include "integration/ContextItems.h"
#include "integration/SetupDialog.h"
#include "lang/Language.h"
#include "platform/RunOutcome.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "startup/RunOptions.h"

using namespace tvxtest;

namespace {

const wchar_t kProductKey[] = L"Software\\Tervix";
const wchar_t kMenuItemsKey[] = L"Software\\Tervix\\Setup\\MenuItems";
const wchar_t kTopItemsKey[] = L"Software\\Tervix\\Setup\\TopMenuItems";

struct Item {
    const wchar_t* name;
    int id;
    DWORD defaultValue;
};

const Item kCommandItems[] = {
    {L"ExtrTo", 101, 1},  {L"ExtrHere", 102, 1}, {L"Extr", 103, 1},       {L"ExtrSep", 104, 1},
    {L"OpenSFX", 105, 1}, {L"OpenArc", 106, 1},  {L"AddTo", 107, 1},      {L"AddArc", 108, 1},
    {L"EmailArc", 109, 1}, {L"EmailOpt", 110, 1}, {L"Test", 111, 0},      {L"Convert", 112, 0},
    {L"NewTVX", 120, 1},  {L"NewZIP", 121, 1},   {L"SFXLocal", 124, 1},   {L"SFXNetwork", 125, 1},
    {L"SFXOther", 126, 1}, {L"DragAdd", 122, 1}, {L"DragExtr", 123, 1},
};
const int kHiddenInTopMode = 12;  // the first twelve command items

const Item kTopItems[] = {
    {L"Extr", 113, 1},    {L"ExtrTo", 114, 0}, {L"ExtrHere", 115, 0},
    {L"ExtrSep", 116, 1}, {L"AddArc", 117, 1}, {L"AddTo", 118, 0},
};

std::map<std::wstring, DWORD> ReadDwords(const wchar_t* key) {
    std::map<std::wstring, DWORD> values;
    tvx::UniqueHkey handle;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, handle.put()) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256, type = 0, data = 0, size = sizeof data;
        LONG status = RegEnumValueW(handle.get(), index, name, &nameLength, nullptr, &type,
                                    reinterpret_cast<BYTE*>(&data), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS && type == REG_DWORD) values[name] = data;
    }
    return values;
}

class ContextItemsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteRegTree(HKEY_CURRENT_USER, kProductKey);
        // Wine reports Windows 10; Windows 11 is primed where a case needs it.
        tvx::PrimeWindowsVersion(false, 0x0A00);
    }
    void TearDown() override {
        DeleteRegTree(HKEY_CURRENT_USER, kProductKey);
        tvx::ResetWindowsVersionCaches();
    }

    static INT_PTR Open(bool cascadedChecked, const std::function<void(HWND)>& drive) {
        return RunDialog(L"SETUPCONTEXTITEMS", tvx::ContextItemsDialog, cascadedChecked ? 1 : 0,
                         IDC_CONTEXTALWAYSARC, drive);
    }

    static void ExpectCommandItemsShown(HWND dialog, bool visible) {
        for (int i = 0; i < kHiddenInTopMode; ++i)
            EXPECT_EQ(IsControlVisible(dialog, kCommandItems[i].id), visible) << kCommandItems[i].name;
        for (int i = kHiddenInTopMode; i < static_cast<int>(std::size(kCommandItems)); ++i)
            EXPECT_TRUE(IsControlVisible(dialog, kCommandItems[i].id)) << kCommandItems[i].name;
    }
    static void ExpectTopItemsShown(HWND dialog, bool visible) {
        for (const Item& item : kTopItems) EXPECT_EQ(IsControlVisible(dialog, item.id), visible) << item.name;
    }
};

TEST_F(ContextItemsDialogTest, DefaultStateOnWindows10IsClassicAndOkStoresTheDefaults) {
    INT_PTR result = Open(false, [](HWND dialog) {
        ExpectCommandItemsShown(dialog, true);
        ExpectTopItemsShown(dialog, false);
        for (const Item& item : kCommandItems) EXPECT_EQ(IsChecked(dialog, item.id), item.defaultValue == 1) << item.name;
        EXPECT_EQ(ControlText(dialog, IDC_CONTEXTALWAYSARC), L"*.iso");
        PressButton(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);

    auto stored = ReadDwords(kMenuItemsKey);
    ASSERT_EQ(stored.size(), std::size(kCommandItems));
    for (const Item& item : kCommandItems) EXPECT_EQ(stored[item.name], item.defaultValue) << item.name;
    std::wstring masks;
    ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, kMenuItemsKey, L"AlwaysArc", &masks));
    EXPECT_EQ(masks, L"*.iso");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kTopItemsKey)) << "classic mode wrote top items";
}

TEST_F(ContextItemsDialogTest, DefaultTopItemsAreOnePerGroup) {
    tvx::PrimeWindowsVersion(true, 0x0A00);
    Open(false, [](HWND dialog) {
        ExpectCommandItemsShown(dialog, false);
        ExpectTopItemsShown(dialog, true);
        for (const Item& item : kTopItems) EXPECT_EQ(IsChecked(dialog, item.id), item.defaultValue == 1) << item.name;
        PressButton(dialog, IDCANCEL);
    });
}

TEST_F(ContextItemsDialogTest, StoredValuesAreShownAndCancelStoresNothing) {
    RegWriteDword(HKEY_CURRENT_USER, kMenuItemsKey, L"ExtrTo", 0);
    RegWriteDword(HKEY_CURRENT_USER, kMenuItemsKey, L"Test", 1);
    RegWriteDword(HKEY_CURRENT_USER, kMenuItemsKey, L"Convert", 7);  // any non-zero value is on
    RegWriteDword(HKEY_CURRENT_USER, kMenuItemsKey, L"DragExtr", 0);
    RegWriteString(HKEY_CURRENT_USER, kMenuItemsKey, L"AlwaysArc", L"*.img;*.vhd");

    INT_PTR result = Open(false, [](HWND dialog) {
        EXPECT_FALSE(IsChecked(dialog, IDC_CONTEXTEXTRACTTO));
        EXPECT_TRUE(IsChecked(dialog, IDC_CONTEXTTEST));
        EXPECT_TRUE(IsChecked(dialog, IDC_CONTEXTCONVERT));
        EXPECT_FALSE(IsChecked(dialog, IDC_CONTEXTDRAGEXTRACT));
        EXPECT_TRUE(IsChecked(dialog, IDC_CONTEXTEXTRACTHERE));
        EXPECT_EQ(ControlText(dialog, IDC_CONTEXTALWAYSARC), L"*.img;*.vhd");
        // Change everything a user could, then think better of it.
        SetChecked(dialog, IDC_CONTEXTEXTRACTTO, true);
        SetChecked(dialog, IDC_CONTEXTNEWZIP, false);
        SetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, L"*.bin");
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, 0);

    auto stored = ReadDwords(kMenuItemsKey);
    EXPECT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored[L"ExtrTo"], 0u);
    EXPECT_EQ(stored[L"Convert"], 7u);
    std::wstring masks;
    RegReadString(HKEY_CURRENT_USER, kMenuItemsKey, L"AlwaysArc", &masks);
    EXPECT_EQ(masks, L"*.img;*.vhd");
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kTopItemsKey));
}

TEST_F(ContextItemsDialogTest, CancelOnAFreshSystemCreatesNoKey) {
    Open(false, [](HWND dialog) {
        SetChecked(dialog, IDC_CONTEXTTEST, true);
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kMenuItemsKey));
}

TEST_F(ContextItemsDialogTest, ClassicModeLeavesStoredTopItemsUntouched) {
    RegWriteDword(HKEY_CURRENT_USER, kTopItemsKey, L"Extr", 0);
    RegWriteDword(HKEY_CURRENT_USER, kTopItemsKey, L"ExtrTo", 1);
    RegWriteDword(HKEY_CURRENT_USER, kTopItemsKey, L"AddTo", 1);

    // Windows 10, and Windows 11 with cascaded menus: both classic.
    for (bool windows11 : {false, true}) {
        tvx::PrimeWindowsVersion(windows11, 0x0A00);
        INT_PTR result = Open(windows11, [](HWND dialog) {
            ExpectTopItemsShown(dialog, false);
            ExpectCommandItemsShown(dialog, true);
            SetChecked(dialog, IDC_CONTEXTTEST, true);
            PressButton(dialog, IDOK);
        });
        EXPECT_EQ(result, 1);
        auto top = ReadDwords(kTopItemsKey);
        EXPECT_EQ(top, (std::map<std::wstring, DWORD>{{L"Extr", 0}, {L"ExtrTo", 1}, {L"AddTo", 1}}))
            << "Windows 11: " << windows11;
        EXPECT_EQ(ReadDwords(kMenuItemsKey)[L"Test"], 1u);
    }
}

TEST_F(ContextItemsDialogTest, TopItemModeHidesCommandItemsYetStoresThemUnchanged) {
    tvx::PrimeWindowsVersion(true, 0x0A00);
    RegWriteDword(HKEY_CURRENT_USER, kMenuItemsKey, L"ExtrTo", 0);
    RegWriteDword(HKEY_CURRENT_USER, kMenuItemsKey, L"Test", 1);
    RegWriteDword(HKEY_CURRENT_USER, kMenuItemsKey, L"NewZIP", 0);

    INT_PTR result = Open(false, [](HWND dialog) {
        ExpectCommandItemsShown(dialog, false);
        ExpectTopItemsShown(dialog, true);
        SetChecked(dialog, IDC_CONTEXTTOPADD, true);
        SetChecked(dialog, IDC_CONTEXTTOPEXTRACTSEPARATE, false);
        SetChecked(dialog, IDC_CONTEXTNEWTVX, false);
        PressButton(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);

    auto stored = ReadDwords(kMenuItemsKey);
    ASSERT_EQ(stored.size(), std::size(kCommandItems));
    for (const Item& item : kCommandItems) {
        DWORD expected = item.defaultValue;
        if (std::wstring(item.name) == L"ExtrTo" || std::wstring(item.name) == L"NewZIP" ||
            std::wstring(item.name) == L"NewTVX")
            expected = 0;
        if (std::wstring(item.name) == L"Test") expected = 1;
        EXPECT_EQ(stored[item.name], expected) << item.name;
    }
    auto top = ReadDwords(kTopItemsKey);
    EXPECT_EQ(top, (std::map<std::wstring, DWORD>{{L"Extr", 1}, {L"ExtrTo", 0}, {L"ExtrHere", 0},
                                                   {L"ExtrSep", 0}, {L"AddArc", 1}, {L"AddTo", 1}}));
}

TEST_F(ContextItemsDialogTest, OnlyTheFirstStoredItemOfAGroupStartsChecked) {
    tvx::PrimeWindowsVersion(true, 0x0A00);
    struct Case {
        DWORD extr, extrTo, extrHere;
        bool shownExtr, shownExtrTo, shownExtrHere;
    };
    const Case cases[] = {
        {1, 1, 1, true, false, false},
        {0, 1, 1, false, true, false},
        {0, 0, 1, false, false, true},
        {0, 0, 0, false, false, false},
    };
    for (const Case& c : cases) {
        RegWriteDword(HKEY_CURRENT_USER, kTopItemsKey, L"Extr", c.extr);
        RegWriteDword(HKEY_CURRENT_USER, kTopItemsKey, L"ExtrTo", c.extrTo);
        RegWriteDword(HKEY_CURRENT_USER, kTopItemsKey, L"ExtrHere", c.extrHere);
        RegWriteDword(HKEY_CURRENT_USER, kTopItemsKey, L"AddArc", 0);
        RegWriteDword(HKEY_CURRENT_USER, kTopItemsKey, L"AddTo", 1);
        Open(false, [&c](HWND dialog) {
            SCOPED_TRACE(testing::Message() << "stored " << c.extr << c.extrTo << c.extrHere);
            EXPECT_EQ(IsChecked(dialog, IDC_CONTEXTTOPEXTRACT), c.shownExtr);
            EXPECT_EQ(IsChecked(dialog, IDC_CONTEXTTOPEXTRACTTO), c.shownExtrTo);
            EXPECT_EQ(IsChecked(dialog, IDC_CONTEXTTOPEXTRACTHERE), c.shownExtrHere);
            // Groups are independent: the separate-folders group keeps its default.
            EXPECT_TRUE(IsChecked(dialog, IDC_CONTEXTTOPEXTRACTSEPARATE));
            EXPECT_FALSE(IsChecked(dialog, IDC_CONTEXTTOPADDARC));
            EXPECT_TRUE(IsChecked(dialog, IDC_CONTEXTTOPADD));
            PressButton(dialog, IDCANCEL);
        });
    }
}

TEST_F(ContextItemsDialogTest, TopItemsAreIndependentBoxesOnceShown) {
    tvx::PrimeWindowsVersion(true, 0x0A00);
    Open(false, [](HWND dialog) {
        // Two items of one group, and none of another: the user may choose so.
        SetChecked(dialog, IDC_CONTEXTTOPEXTRACTTO, true);
        SetChecked(dialog, IDC_CONTEXTTOPADDARC, false);
        EXPECT_TRUE(IsChecked(dialog, IDC_CONTEXTTOPEXTRACT));
        PressButton(dialog, IDOK);
    });
    auto top = ReadDwords(kTopItemsKey);
    EXPECT_EQ(top[L"Extr"], 1u);
    EXPECT_EQ(top[L"ExtrTo"], 1u);
    EXPECT_EQ(top[L"AddArc"], 0u);
    EXPECT_EQ(top[L"AddTo"], 0u);
}

TEST_F(ContextItemsDialogTest, EmptiedAlwaysArcIsStoredEmptyAndStaysEmpty) {
    RegWriteString(HKEY_CURRENT_USER, kMenuItemsKey, L"AlwaysArc", L"*.iso;*.img");
    Open(false, [](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, L"");
        PressButton(dialog, IDOK);
    });
    std::wstring masks = L"unread";
    ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, kMenuItemsKey, L"AlwaysArc", &masks));
    EXPECT_EQ(masks, L"");

    // The default applies only while the value is missing.
    Open(false, [](HWND dialog) {
        EXPECT_EQ(ControlText(dialog, IDC_CONTEXTALWAYSARC), L"");
        PressButton(dialog, IDCANCEL);
    });
}

TEST_F(ContextItemsDialogTest, LongMaskListIsCutAt1023Characters) {
    Open(false, [](HWND dialog) {
        std::wstring masks;
        while (masks.size() < 1100) masks += L"*.abc;";
        SetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, masks.c_str());
        PressButton(dialog, IDOK);
    });
    std::wstring masks;
    ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, kMenuItemsKey, L"AlwaysArc", &masks));
    EXPECT_EQ(masks.size(), 1023u);
    EXPECT_EQ(masks.substr(0, 12), L"*.abc;*.abc;");
}

// The template: what a user sees in either mode is tidy and reachable by keyboard.
std::vector<HWND> VisibleControls(HWND dialog) {
    std::vector<HWND> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) controls.push_back(child);
    return controls;
}

RECT ClientRectOf(HWND dialog, HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

bool IsGroupBox(HWND control) { return (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX; }

void CheckLayout(HWND dialog) {
    RECT client;
    GetClientRect(dialog, &client);
    std::vector<HWND> controls = VisibleControls(dialog);
    std::set<wchar_t> mnemonics;
    for (HWND control : controls) {
        int id = GetDlgCtrlID(control);
        RECT rect = ClientRectOf(dialog, control);
        EXPECT_TRUE(Inside(rect, client)) << "control " << id << " leaves the dialog";
        std::wstring text = WindowText(control);
        size_t amp = text.find(L'&');
        if (amp != std::wstring::npos && amp + 1 < text.size()) {
            EXPECT_TRUE(mnemonics.insert(towupper(text[amp + 1])).second)
                << "mnemonic of control " << id << " is taken";
        }
        for (HWND other : controls) {
            if (other == control || IsGroupBox(control) || IsGroupBox(other)) continue;
            RECT overlap;
            RECT otherRect = ClientRectOf(dialog, other);
            EXPECT_FALSE(IntersectRect(&overlap, &rect, &otherRect))
                << "controls " << id << " and " << GetDlgCtrlID(other) << " overlap";
        }
    }
    auto expectIn = [dialog](int group, std::initializer_list<int> ids) {
        RECT box = ClientRectOf(dialog, GetDlgItem(dialog, group));
        for (int id : ids) {
            HWND item = GetDlgItem(dialog, id);
            if (!(GetWindowLongW(item, GWL_STYLE) & WS_VISIBLE)) continue;
            EXPECT_TRUE(Inside(ClientRectOf(dialog, item), box)) << id << " is not inside group " << group;
        }
    };
    expectIn(IDC_CONTEXTMENUITEMS, {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117, 118});
    expectIn(IDC_CONTEXTNEWMENU, {IDC_CONTEXTNEWTVX, IDC_CONTEXTNEWZIP});
    expectIn(IDC_CONTEXTDROPMENU, {IDC_CONTEXTDRAGADD, IDC_CONTEXTDRAGEXTRACT});
    expectIn(IDC_CONTEXTSFXARCHIVES, {IDC_CONTEXTSFXLOCAL, IDC_CONTEXTSFXNETWORK, IDC_CONTEXTSFXOTHER});
    RECT label = ClientRectOf(dialog, GetDlgItem(dialog, IDC_CONTEXTALWAYSARCTITLE));
    RECT edit = ClientRectOf(dialog, GetDlgItem(dialog, IDC_CONTEXTALWAYSARC));
    EXPECT_LE(label.bottom, edit.top);
    EXPECT_LT(edit.top - label.bottom, 10);
    // The label's mnemonic reaches the edit field: it is the next control in tab order.
    EXPECT_EQ(GetWindow(GetDlgItem(dialog, IDC_CONTEXTALWAYSARCTITLE), GW_HWNDNEXT),
              GetDlgItem(dialog, IDC_CONTEXTALWAYSARC));
}

TEST_F(ContextItemsDialogTest, EveryControlIsThereAndBothModesAreTidy) {
    for (bool windows11 : {false, true}) {
        tvx::PrimeWindowsVersion(windows11, 0x0A00);
        Open(false, [](HWND dialog) {
            for (int id : {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117,
                           118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, IDOK, IDCANCEL, IDHELP})
                EXPECT_TRUE(HasControl(dialog, id)) << id;
            for (int id = 101; id <= 126; ++id) {
                if (id == IDC_CONTEXTNEWMENU) continue;
                LONG style = GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & BS_TYPEMASK;
                EXPECT_TRUE(style == BS_AUTOCHECKBOX || style == BS_CHECKBOX) << id << " is not a check box";
            }
            CheckLayout(dialog);
            PressButton(dialog, IDCANCEL);
        });
    }
}

// Opened from the setup dialog's button, as users reach it.
class FromSetupDialogTest : public ContextItemsDialogTest {
protected:
    void SetUp() override {
        ContextItemsDialogTest::SetUp();
        // The explanatory text of the setup dialog is a rich-edit control.
        LoadLibraryW(L"riched20.dll");
        tvx::Options().silent = false;
        tvx::ResetRunOutcome();
    }
};

TEST_F(FromSetupDialogTest, ConfirmedItemsStayStoredWhenSetupIsCancelled) {
    INT_PTR result = RunDialog(L"SETUPDLG", tvx::SetupDialog, 0, IDC_SETCONTEXTMENU, [](HWND setup) {
        // The button starts a nested modal loop: post it.
        PressButton(setup, IDC_SETCONTEXTMENU, true);
        HWND items = WaitForOwnDialog(IDC_CONTEXTALWAYSARC);
        ASSERT_NE(items, nullptr) << "the button did not open the items dialog";
        EXPECT_EQ(GetWindow(items, GW_OWNER), setup);
        SetChecked(items, IDC_CONTEXTTEST, true);
        SetChecked(items, IDC_CONTEXTDRAGADD, false);
        SetDlgItemTextW(items, IDC_CONTEXTALWAYSARC, L"*.img");
        PressButton(items, IDOK);
        EXPECT_TRUE(WaitUntilClosed(items));
        PressButton(setup, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(tvx::RunOutcome(), tvx::Outcome::Cancelled);

    auto stored = ReadDwords(kMenuItemsKey);
    EXPECT_EQ(stored.size(), std::size(kCommandItems));
    EXPECT_EQ(stored[L"Test"], 1u);
    EXPECT_EQ(stored[L"DragAdd"], 0u);
    std::wstring masks;
    RegReadString(HKEY_CURRENT_USER, kMenuItemsKey, L"AlwaysArc", &masks);
    EXPECT_EQ(masks, L"*.img");
    // The setup dialog's own choices were not stored.
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup\\.tvx"));
}

TEST_F(FromSetupDialogTest, TheCascadedBoxDecidesTheModeOnWindows11) {
    tvx::PrimeWindowsVersion(true, 0x0A00);
    RunDialog(L"SETUPDLG", tvx::SetupDialog, 0, IDC_SETCONTEXTMENU, [](HWND setup) {
        for (bool cascaded : {true, false}) {
            // Set the box without clicking it, which would bring up the Windows 11 notice.
            CheckDlgButton(setup, IDC_SHELLCASCADED, cascaded ? BST_CHECKED : BST_UNCHECKED);
            PressButton(setup, IDC_SETCONTEXTMENU, true);
            HWND items = WaitForOwnDialog(IDC_CONTEXTALWAYSARC);
            ASSERT_NE(items, nullptr);
            EXPECT_EQ(IsControlVisible(items, IDC_CONTEXTTOPEXTRACT), !cascaded) << "cascaded " << cascaded;
            EXPECT_EQ(IsControlVisible(items, IDC_CONTEXTEXTRACT), cascaded) << "cascaded " << cascaded;
            PressButton(items, IDCANCEL);
            EXPECT_TRUE(WaitUntilClosed(items));
        }
        PressButton(setup, IDCANCEL);
    });
}

// A translation for a right-to-left language gives its controls right-to-left reading,
// the way a translated template in the resource library does.
HHOOK creationHook = nullptr;

LRESULT CALLBACK ReadRightToLeft(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == WM_CREATE && (GetWindowLongW(message->hwnd, GWL_STYLE) & WS_CHILD))
        SetWindowLongW(message->hwnd, GWL_EXSTYLE, GetWindowLongW(message->hwnd, GWL_EXSTYLE) | WS_EX_RTLREADING);
    return CallNextHookEx(creationHook, code, wParam, lParam);
}

TEST_F(ContextItemsDialogTest, MasksReadLeftToRightInARightToLeftLanguage) {
    tvx::SetRightToLeft(true);
    creationHook = SetWindowsHookExW(WH_CALLWNDPROC, ReadRightToLeft, nullptr, GetCurrentThreadId());
    ASSERT_NE(creationHook, nullptr);
    Open(false, [](HWND dialog) {
        EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) << "the dialog is not mirrored";
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, IDC_CONTEXTTEST), GWL_EXSTYLE) & WS_EX_RTLREADING);
        EXPECT_FALSE(GetWindowLongW(GetDlgItem(dialog, IDC_CONTEXTALWAYSARC), GWL_EXSTYLE) & WS_EX_RTLREADING);
        EXPECT_EQ(ControlText(dialog, IDC_CONTEXTALWAYSARC), L"*.iso");
        PressButton(dialog, IDCANCEL);
    });
    UnhookWindowsHookEx(creationHook);
    tvx::SetRightToLeft(false);
}

// Portable mode: with "Tervix.ini" next to the program the choices live in that file,
// and OK writes it at once rather than at the end of the run.
TEST_F(ContextItemsDialogTest, PortableChildProcess) {
    wchar_t flag[8] = {};
    if (!GetEnvironmentVariableW(L"TVX_PORTABLE_CHILD", flag, 8)) GTEST_SKIP() << "only run by the portable case";
    Open(false, [](HWND dialog) {
        EXPECT_EQ(ControlText(dialog, IDC_CONTEXTALWAYSARC), L"*.img");
        EXPECT_FALSE(IsChecked(dialog, IDC_CONTEXTSFXOTHER));
        SetChecked(dialog, IDC_CONTEXTTEST, true);
        SetDlgItemTextW(dialog, IDC_CONTEXTALWAYSARC, L"*.img;*.bin");
        PressButton(dialog, IDOK);
    });
}

TEST_F(ContextItemsDialogTest, OkWritesThePortableSettingsFileAtOnce) {
    SandboxCopy copy;
    const std::wstring ini = copy / L"Tervix.ini";
    ASSERT_TRUE(WriteFileBytes(ini, "HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.img\"\r\n"
                                    "HKCU\\Setup\\MenuItems\\SFXOther=0\r\n"));

    // The copy never saves the settings file itself: what is in it afterwards, the
    // dialog wrote.
    ASSERT_TRUE(copy.RunTest("ContextItemsDialogTest.PortableChildProcess", L"TVX_PORTABLE_CHILD=1", 60000));

    std::string bytes = ReadFileBytes(ini);
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE")) << "the file was not written back";
    const std::wstring text = Utf16LeText(bytes);
    EXPECT_NE(text.find(L"HKCU\\Setup\\MenuItems\\Test=1\r\n"), std::wstring::npos) << "Test";
    EXPECT_NE(text.find(L"HKCU\\Setup\\MenuItems\\SFXOther=0\r\n"), std::wstring::npos) << "SFXOther";
    EXPECT_NE(text.find(L"HKCU\\Setup\\MenuItems\\AlwaysArc=\"*.img;*.bin\"\r\n"), std::wstring::npos) << "AlwaysArc";
    EXPECT_FALSE(RegKeyExists(HKEY_CURRENT_USER, kMenuItemsKey)) << "portable choices went to the registry";
}

}  // namespace
