// The setup dialog driven as a user would: created on this thread from the program's
// own template, its boxes read and clicked from a second thread.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <optional>
#include <vector>
#include <string>
#include <thread>

#include "GuiDriver.h"
#include "InProcessDialog.h"
#include "ScenarioSupport.h"
#include "ShortcutReader.h"
#include "TestSupport.h"
#include "integration/SetupDialog.h"
#include "lang/Texts.h"
#include "platform/Account.h"
#include "platform/RunLog.h"
#include "platform/RunOutcome.h"
#include "platform/WindowsVersion.h"
#include "resources/ResourceIds.h"
#include "settings/Settings.h"
#include "startup/RunOptions.h"

namespace tvx {
namespace {

using tvxtest::IsChecked;
using tvxtest::IsControlEnabled;
using tvxtest::PressButton;
using tvxtest::RunSetupDialog;

const std::wstring kProduct = L"Software\\Tervix";

// Association boxes in the order of the archive-type groups, with each group's key.
struct GroupBox {
    int box;
    const wchar_t* key;
};
constexpr GroupBox kGroups[18] = {
    {IDC_ASSOCTVX, L".tvx"}, {IDC_ASSOCZIP, L".zip"},   {IDC_ASSOCCAB, L".cab"},   {IDC_ASSOCARJ, L".arj"},
    {IDC_ASSOCLZ, L".lz"},   {IDC_ASSOCLZH, L".lzh"},   {IDC_ASSOC7Z, L".7z"},     {IDC_ASSOCTAR, L".tar"},
    {IDC_ASSOCGZ, L".gz"},   {IDC_ASSOCUUE, L".uue"},   {IDC_ASSOCBZ2, L".bz2"},   {IDC_ASSOCJAR, L".jar"},
    {IDC_ASSOCISO, L".iso"}, {IDC_ASSOCZ, L".z"},       {IDC_ASSOCXZ, L".xz"},     {IDC_ASSOCZIPX, L".zipx"},
    {IDC_ASSOCZST, L".zst"}, {IDC_ASSOC001, L".001"},
};
struct ChoiceValue {
    int box;
    const wchar_t* key;
    const wchar_t* value;
};
constexpr ChoiceValue kChoiceValues[] = {
    {IDC_LINKDESKTOP, L"Setup\\Links", L"Desktop"},     {IDC_LINKSTARTMENU, L"Setup\\Links", L"StartMenu"},
    {IDC_LINKPROGRAMS, L"Setup\\Links", L"Programs"},   {IDC_SHELLEXT, L"Setup", L"ShellExt"},
    {IDC_SHELLCASCADED, L"Setup", L"CascadedMenu"},     {IDC_SHELLICONS, L"Setup", L"MenuIcons"},
    {IDC_SHELLLEGACYMENU, L"Setup", L"LegacyMenu"},
};

void Store(const std::wstring& key, const wchar_t* value, DWORD data) {
    tvxtest::RegWriteDword(HKEY_CURRENT_USER, kProduct + L"\\" + key, value, data);
}
void StoreGroup(const wchar_t* extension, DWORD set) { Store(std::wstring(L"Setup\\") + extension, L"Set", set); }

DWORD Stored(const std::wstring& key, const wchar_t* value) {
    DWORD data = 99;
    tvxtest::RegReadDword(HKEY_CURRENT_USER, kProduct + L"\\" + key, value, &data);
    return data;
}

std::map<int, bool> CheckStates(HWND dialog) {
    std::map<int, bool> states;
    for (int box = IDC_ASSOCTVX; box <= IDC_SHELLLEGACYMENU; ++box) states[box] = IsChecked(dialog, box);
    return states;
}

class SetupDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        riched_.reset(LoadLibraryW(L"riched20.dll"));
        Options() = RunOptions{};
        ResetRunOutcome();
        PrimeWindowsVersion(false, 0x0A00);
    }
    void TearDown() override {
        ResetWindowsVersionCaches();
        Options() = RunOptions{};
        tvxtest::DeleteRegTree(HKEY_CURRENT_USER, kProduct);
    }
    UniqueModule riched_;
};

TEST_F(SetupDialogTest, StartsFromStoredChoicesOverlaidByTheInitString) {
    StoreGroup(L".zip", 0);
    StoreGroup(L".cab", 0);
    StoreGroup(L".jar", 1);  // not ours: offered unchecked whatever was stored
    StoreGroup(L".iso", 1);  // nobody owns it: the stored choice stands
    tvxtest::DeleteRegTree(HKEY_CLASSES_ROOT, L".iso");
    Store(L"Setup\\Links", L"Desktop", 1);
    Store(L"Setup\\Links", L"StartMenu", 0);
    Store(L"Setup\\Links", L"Programs", 0);
    Store(L"Setup", L"ShellExt", 1);
    Store(L"Setup", L"CascadedMenu", 1);
    Store(L"Setup", L"MenuIcons", 0);
    Store(L"Setup", L"LegacyMenu", 1);
    wcscpy(Options().initString, L"d0M1a1");

    std::map<int, bool> states;
    bool legacyEnabled = true;
    const INT_PTR result = RunSetupDialog([&](HWND dialog) {
        states = CheckStates(dialog);
        legacyEnabled = IsControlEnabled(dialog, IDC_SHELLLEGACYMENU);
        PressButton(dialog, IDCANCEL);
    });

    EXPECT_EQ(result, 0);
    std::map<int, bool> expected;
    for (const GroupBox& group : kGroups) expected[group.box] = true;
    expected[IDC_ASSOCZIP] = false;
    expected[IDC_ASSOCCAB] = false;
    expected[IDC_ASSOCJAR] = false;
    expected[IDC_ASSOCTVX] = true;  // "a1" sets the first group
    expected[IDC_LINKDESKTOP] = false;
    expected[IDC_LINKSTARTMENU] = true;
    expected[IDC_LINKPROGRAMS] = false;
    expected[IDC_SHELLEXT] = true;
    expected[IDC_SHELLCASCADED] = true;
    expected[IDC_SHELLICONS] = false;
    expected[IDC_SHELLLEGACYMENU] = true;
    EXPECT_EQ(states, expected);
    EXPECT_FALSE(legacyEnabled) << "the legacy menu exists only on Windows 11";
}

TEST_F(SetupDialogTest, JarIsOfferedWhenOursAndIsoIsNotWhenSomeoneElseHasIt) {
    tvxtest::RegWriteString(HKEY_CLASSES_ROOT, L".jar", L"", L"tervix");
    tvxtest::RegWriteString(HKEY_CLASSES_ROOT, L".iso", L"", L"Burner.Image");
    std::map<int, bool> states;
    RunSetupDialog([&](HWND dialog) {
        states = CheckStates(dialog);
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_TRUE(states[IDC_ASSOCJAR]);
    EXPECT_FALSE(states[IDC_ASSOCISO]);
    EXPECT_TRUE(states[IDC_ASSOCTAR]) << "groups default to associated";
    tvxtest::DeleteRegTree(HKEY_CLASSES_ROOT, L".jar");
    tvxtest::DeleteRegTree(HKEY_CLASSES_ROOT, L".iso");
}

TEST_F(SetupDialogTest, OnWindows11CascadedStartsCheckedUntilTheNewMenuIsInstalled) {
    PrimeWindowsVersion(true, 0x0A00);
    Store(L"Setup", L"CascadedMenu", 0);
    bool cascaded = false;
    bool legacyEnabled = false;
    RunSetupDialog([&](HWND dialog) {
        cascaded = IsChecked(dialog, IDC_SHELLCASCADED);
        legacyEnabled = IsControlEnabled(dialog, IDC_SHELLLEGACYMENU);
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_TRUE(cascaded) << "no NewContextMenu value yet";
    EXPECT_TRUE(legacyEnabled);

    Store(L"Setup", L"NewContextMenu", 1);
    RunSetupDialog([&](HWND dialog) {
        cascaded = IsChecked(dialog, IDC_SHELLCASCADED);
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_FALSE(cascaded) << "with the menu package installed the stored choice stands";
}

TEST_F(SetupDialogTest, ToggleButtonChecksAllWhenAnyIsClearElseClearsAll) {
    StoreGroup(L".7z", 0);
    int checkedAfter[3] = {};
    RunSetupDialog([&](HWND dialog) {
        for (int& count : checkedAfter) {
            PressButton(dialog, IDC_ASSOCALL);
            for (const GroupBox& group : kGroups) count += IsChecked(dialog, group.box);
        }
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(checkedAfter[0], 18);
    EXPECT_EQ(checkedAfter[1], 0);
    EXPECT_EQ(checkedAfter[2], 18);
}

TEST_F(SetupDialogTest, ShellExtensionBoxEnablesItsDependants) {
    PrimeWindowsVersion(true, 0x0A00);
    Store(L"Setup", L"NewContextMenu", 1);
    std::map<int, bool> whenOff;
    std::map<int, bool> whenOn;
    RunSetupDialog([&](HWND dialog) {
        PressButton(dialog, IDC_SHELLEXT);
        for (int box : {IDC_SHELLCASCADED, IDC_SHELLICONS, IDC_SHELLLEGACYMENU})
            whenOff[box] = IsControlEnabled(dialog, box);
        PressButton(dialog, IDC_SHELLEXT);
        for (int box : {IDC_SHELLCASCADED, IDC_SHELLICONS, IDC_SHELLLEGACYMENU})
            whenOn[box] = IsControlEnabled(dialog, box);
        PressButton(dialog, IDCANCEL);
    });
    for (int box : {IDC_SHELLCASCADED, IDC_SHELLICONS, IDC_SHELLLEGACYMENU}) {
        EXPECT_FALSE(whenOff[box]) << box;
        EXPECT_TRUE(whenOn[box]) << box;
    }
}

TEST_F(SetupDialogTest, ClearingCascadedOnWindows11ShowsTheNoticeOnce) {
    PrimeWindowsVersion(true, 0x0A00);
    Store(L"Setup", L"NewContextMenu", 1);
    Store(L"Setup", L"CascadedMenu", 1);
    std::wstring firstText;
    std::wstring firstCaption;
    bool secondNotice = true;
    RunSetupDialog([&](HWND dialog) {
        // Posted: the notice runs a modal loop inside the click.
        PressButton(dialog, IDC_SHELLCASCADED, true);
        if (HWND box = tvxtest::WaitForSecondDialog(dialog, 5000)) {
            firstText = tvxtest::MessageBoxText(box);
            firstCaption = tvxtest::WindowText(box);
            PressButton(box, IDOK);
        }
        PressButton(dialog, IDC_SHELLCASCADED);  // checked again: no notice
        PressButton(dialog, IDC_SHELLCASCADED, true);
        HWND again = tvxtest::WaitForSecondDialog(dialog, 1500);
        secondNotice = again != nullptr;
        if (again) PressButton(again, IDOK);
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_NE(firstText.find(L"Windows 11"), std::wstring::npos) << "notice text: " << firstText;
    EXPECT_EQ(firstCaption, L"Tervix Setup");
    EXPECT_FALSE(secondNotice);
}

TEST_F(SetupDialogTest, ClearingCascadedBeforeWindows11ShowsNoNotice) {
    Store(L"Setup", L"CascadedMenu", 1);
    bool notice = true;
    RunSetupDialog([&](HWND dialog) {
        PressButton(dialog, IDC_SHELLCASCADED, true);
        HWND box = tvxtest::WaitForSecondDialog(dialog, 1500);
        notice = box != nullptr;
        if (box) PressButton(box, IDOK);
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_FALSE(notice);
}

TEST_F(SetupDialogTest, CancelStoresNothingAndGivesExitCodeOne) {
    StoreGroup(L".zip", 0);
    Store(L"Setup", L"ShellExt", 1);
    tvxtest::RegSnapshot before;
    tvxtest::CaptureKey(HKEY_CURRENT_USER, kProduct, &before);
    const INT_PTR result = RunSetupDialog([&](HWND dialog) {
        PressButton(dialog, IDC_ASSOCALL);
        PressButton(dialog, IDC_SHELLEXT);
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(RunOutcome(), Outcome::Cancelled);
    tvxtest::RegSnapshot after;
    tvxtest::CaptureKey(HKEY_CURRENT_USER, kProduct, &after);
    EXPECT_EQ(tvxtest::Differences(before, after), std::vector<std::wstring>{});
    EXPECT_EQ(tvxtest::ClassDefault(L".tvx"), L"<none>") << "nothing applied";
}

TEST_F(SetupDialogTest, ItemsButtonOpensTheItemsDialogForTheCascadedStateAndItsOkSurvivesCancel) {
    PrimeWindowsVersion(true, 0x0A00);
    Store(L"Setup", L"NewContextMenu", 1);
    Store(L"Setup", L"CascadedMenu", 0);
    bool opened[2] = {};
    bool topItemsShown[2] = {true, true};
    const INT_PTR result = RunSetupDialog([&](HWND dialog) {
        for (int round = 0; round < 2; ++round) {
            // Posted: the items dialog runs its own modal loop inside the click.
            PressButton(dialog, IDC_SETCONTEXTMENU, true);
            HWND items = tvxtest::WaitForSecondDialog(dialog, 5000);
            opened[round] = items != nullptr;
            if (!items) return;
            topItemsShown[round] = tvxtest::IsControlVisible(items, IDC_CONTEXTTOPEXTRACT);
            // The first visit confirms its choices, the second is cancelled.
            PressButton(items, round == 0 ? IDOK : IDCANCEL);
            tvxtest::WaitUntilClosed(items, 5000);
            if (round == 0) PressButton(dialog, IDC_SHELLCASCADED);  // checking it shows no notice
        }
        PressButton(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(opened[0]);
    EXPECT_TRUE(opened[1]);
    EXPECT_TRUE(topItemsShown[0]) << "flat Windows 11 menu: the top items are offered";
    EXPECT_FALSE(topItemsShown[1]) << "cascaded menu: no top items";
    EXPECT_TRUE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, kProduct + L"\\Setup\\MenuItems"))
        << "what the items dialog confirmed stays, although setup was cancelled";
    EXPECT_EQ(Stored(L"Setup", L"CascadedMenu"), 0u) << "the setup dialog itself stored nothing";
}

TEST_F(SetupDialogTest, OkStoresEveryChoiceAndAppliesIt) {
    // An old association of .ace that every OK hands back.
    tvxtest::RegWriteString(HKEY_CLASSES_ROOT, L".ace", L"", L"Tervix");
    tvxtest::RegWriteDword(HKEY_CURRENT_USER, kProduct + L"\\Setup\\.ace", L"Exist", 1);
    tvxtest::RegWriteString(HKEY_CURRENT_USER, kProduct + L"\\Setup\\.ace", L"Type", L"WinAce");
    // Every other group on, the rest alternating, so that a swapped box or value shows.
    std::map<int, bool> wanted;
    for (int i = 0; i < 18; ++i) wanted[kGroups[i].box] = i % 2 == 0;
    const bool integration[] = {true, false, true, true, false, true, false};
    for (size_t i = 0; i < std::size(kChoiceValues); ++i) wanted[kChoiceValues[i].box] = integration[i];

    const INT_PTR result = RunSetupDialog([&](HWND dialog) {
        for (const auto& [box, checked] : wanted) tvxtest::SetChecked(dialog, box, checked);
        PressButton(dialog, IDOK);
    });

    EXPECT_EQ(result, 1);
    EXPECT_EQ(RunOutcome(), Outcome::Done);
    for (const GroupBox& group : kGroups)
        EXPECT_EQ(Stored(std::wstring(L"Setup\\") + group.key, L"Set"), wanted[group.box] ? 1u : 0u) << group.key;
    for (const ChoiceValue& choice : kChoiceValues)
        EXPECT_EQ(Stored(choice.key, choice.value), wanted[choice.box] ? 1u : 0u) << choice.value;
    // Applied: the checked groups are ours, the cleared ones are not, .ace is given back.
    EXPECT_EQ(tvxtest::ClassDefault(L".tvx"), L"Tervix");
    EXPECT_EQ(tvxtest::ClassDefault(L".cab"), L"Tervix");
    EXPECT_NE(tvxtest::ClassDefault(L".zip"), L"Tervix.ZIP");
    EXPECT_EQ(tvxtest::ClassDefault(L"Tervix.REV"), L"Tervix recovery volume");
    EXPECT_EQ(tvxtest::ClassDefault(L".ace"), L"WinAce");
    EXPECT_TRUE(tvxtest::PathExists(tvxtest::ProgramFolderOfTest() + L"\\tvxnew.dat"));
}

struct Control {
    int id;
    HWND window;
    LONG style;
    RECT rect;  // in dialog client coordinates
    std::wstring text;
};

BOOL CALLBACK CollectControl(HWND window, LPARAM lParam) {
    auto* controls = reinterpret_cast<std::vector<Control>*>(lParam);
    Control control{GetDlgCtrlID(window), window, static_cast<LONG>(GetWindowLongPtrW(window, GWL_STYLE)), {},
                    tvxtest::WindowText(window)};
    GetWindowRect(window, &control.rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&control.rect), 2);
    controls->push_back(control);
    return TRUE;
}

bool IsGroupBox(const Control& control) { return (control.style & BS_TYPEMASK) == BS_GROUPBOX; }
bool IsButtonLike(const Control& control) {
    const LONG type = control.style & BS_TYPEMASK;
    return !IsGroupBox(control) && control.id != IDC_SETUPHELPTEXT &&
           (type == BS_AUTOCHECKBOX || type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}
bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST_F(SetupDialogTest, EveryControlFitsItsGroupAndHasAMnemonicOfItsOwn) {
    std::vector<Control> controls;
    RECT client{};
    std::vector<std::wstring> problems;
    RunSetupDialog([&](HWND dialog) {
        GetClientRect(dialog, &client);
        EnumChildWindows(dialog, CollectControl, reinterpret_cast<LPARAM>(&controls));
        // Text extents in the dialog's own font, as the user reads them.
        for (const Control& control : controls) {
            if (!IsButtonLike(control)) continue;
            std::wstring shown;
            for (wchar_t c : control.text)
                if (c != L'&') shown += c;
            const WindowDc dc(control.window);
            const HGDIOBJ old =
                SelectObject(dc.get(), reinterpret_cast<HFONT>(SendMessageW(control.window, WM_GETFONT, 0, 0)));
            const ScopeGuard deselect([&] { SelectObject(dc.get(), old); });
            SIZE extent{};
            GetTextExtentPoint32W(dc.get(), shown.c_str(), static_cast<int>(shown.size()), &extent);
            const bool isCheckBox = (control.style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
            const LONG room = control.rect.right - control.rect.left -
                              (isCheckBox ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 8);
            if (extent.cx <= 0) problems.push_back(L"cannot measure " + control.text);
            if (extent.cx > room)
                problems.push_back(L"text of " + std::to_wstring(control.id) + L" is cut: " + control.text);
        }
        PressButton(dialog, IDCANCEL);
    });
    ASSERT_EQ(controls.size(), 34u) << "18 types, 7 choices, 3 groups, 5 buttons and the explanation";

    std::map<wchar_t, int> mnemonics;
    std::map<int, RECT> groups;
    for (const Control& control : controls) {
        if (IsGroupBox(control)) groups[control.id] = control.rect;
        if (!Inside(control.rect, client)) problems.push_back(L"outside the dialog: " + std::to_wstring(control.id));
        if (!IsButtonLike(control)) continue;
        const size_t amp = control.text.find(L'&');
        if (amp == std::wstring::npos || amp + 1 >= control.text.size()) {
            problems.push_back(L"no mnemonic: " + control.text);
            continue;
        }
        const wchar_t key = towupper(control.text[amp + 1]);
        if (mnemonics.count(key))
            problems.push_back(L"mnemonic of " + control.text + L" repeats " + std::to_wstring(mnemonics[key]));
        mnemonics[key] = control.id;
    }
    for (size_t i = 0; i < controls.size(); ++i)
        for (size_t j = i + 1; j < controls.size(); ++j) {
            RECT overlap;
            if (!IsGroupBox(controls[i]) && !IsGroupBox(controls[j]) &&
                IntersectRect(&overlap, &controls[i].rect, &controls[j].rect))
                problems.push_back(L"overlap: " + std::to_wstring(controls[i].id) + L" and " +
                                   std::to_wstring(controls[j].id));
        }
    for (const Control& control : controls) {
        int group = 0;
        if (control.id >= IDC_ASSOCTVX && control.id <= IDC_ASSOC001) group = IDC_ASSOCWITH;
        if (control.id == IDC_ASSOCALL) group = IDC_ASSOCWITH;
        if (control.id >= IDC_LINKDESKTOP && control.id <= IDC_LINKPROGRAMS) group = IDC_INTEGRATIONINTERFACE;
        if ((control.id >= IDC_SHELLEXT && control.id <= IDC_SHELLLEGACYMENU) || control.id == IDC_SETCONTEXTMENU)
            group = IDC_SHELLINTEGRATION;
        if (group && !Inside(control.rect, groups[group]))
            problems.push_back(L"outside its group: " + std::to_wstring(control.id));
    }
    EXPECT_EQ(problems, std::vector<std::wstring>{});
    // The explanation is a read-only rich-edit control that the keyboard reaches.
    auto help = std::find_if(controls.begin(), controls.end(),
                             [](const Control& c) { return c.id == IDC_SETUPHELPTEXT; });
    ASSERT_NE(help, controls.end());
    EXPECT_TRUE(help->style & ES_READONLY);
    EXPECT_TRUE(help->style & WS_TABSTOP);
    EXPECT_NE(help->text.find(L"archive types"), std::wstring::npos) << help->text;
}

TEST_F(SetupDialogTest, SilentSetupAcceptsWithoutEverShowingTheDialog) {
    Options().silent = true;
    wcscpy(Options().initString, L"A01D1");
    INT_PTR result = 0;
    bool initialised = false;
    bool shown = true;
    {
        tvxtest::DialogWatch watch;
        ASSERT_TRUE(watch.installed());
        result = DialogBoxParamW(GetModuleHandleW(nullptr), L"SETUPDLG", nullptr, SetupDialog, 0);
        initialised = watch.initialised();
        shown = watch.shown();
    }

    EXPECT_EQ(result, 1);
    EXPECT_TRUE(initialised);
    EXPECT_FALSE(shown);
    EXPECT_EQ(Stored(L"Setup\\.tvx", L"Set"), 0u);
    EXPECT_EQ(Stored(L"Setup\\.zip", L"Set"), 1u);
    EXPECT_EQ(Stored(L"Setup\\Links", L"Desktop"), 1u);
    EXPECT_EQ(tvxtest::ClassDefault(L".zip"), L"Tervix.ZIP");
}

// Deployment tools and Windows Installer run setup as SYSTEM, whose own profile no
// person uses. Wine runs everything as one administrator: the account is injected.
TEST_F(SetupDialogTest, AsLocalSystemNothingGoesIntoTheSystemAccountsOwnProfile) {
    tvxtest::TempFolder logs(L"tvxsystem");
    const std::wstring log = logs / L"run.log";
    ASSERT_TRUE(OpenRunLog(log.c_str()));
    // Shortcuts are written and read through the shell's COM objects.
    std::optional<ComSession> com(std::in_place);
    ASSERT_TRUE(com->ok());
    TreatAsLocalSystem(true);
    Options().silent = true;
    Options().msi = true;
    wcscpy(Options().initString, L"A01D1M1P1");
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), L"SETUPDLG", nullptr, SetupDialog, 0);
    TreatAsLocalSystem(false);
    CloseRunLog();

    EXPECT_EQ(result, 1);
    EXPECT_EQ(tvxtest::ClassDefault(L".zip"), L"Tervix.ZIP");
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, kProduct)) << "no choice is stored for the system account";
    EXPECT_TRUE(tvxtest::RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\PreviousOwners\\.zip"))
        << ".zip's previous owner is kept where the uninstall finds it";
    const std::wstring group = L"\\Tervix";
    EXPECT_FALSE(tvxtest::PathExists(tvxtest::KnownFolder(CSIDL_PROGRAMS) + group));
    EXPECT_TRUE(tvxtest::PathExists(tvxtest::KnownFolder(CSIDL_COMMON_PROGRAMS) + group));
    const std::wstring startMenu = tvxtest::KnownFolder(CSIDL_COMMON_STARTMENU);
    const tvxtest::Shortcut start = tvxtest::ReadShortcut(startMenu + L"\\Tervix.lnk");
    EXPECT_TRUE(start.loaded);
    EXPECT_EQ(start.workDir, L"") << "no person can work in the system account's desktop";
    com.reset();

    const std::vector<std::wstring> lines = tvxtest::ReadUtf8Lines(log);
    auto logged = [&](const std::wstring& text) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::wstring& line) { return line.find(text) != std::wstring::npos; });
    };
    EXPECT_TRUE(logged(L"skipped HKCU\\Software\\Tervix\\Setup\\.zip value \"Set\": the system account's own"));
    EXPECT_TRUE(logged(L"skipped the program group " + tvxtest::KnownFolder(CSIDL_PROGRAMS) + group));
    EXPECT_FALSE(logged(L"wrote HKCU\\"));
}

}  // namespace
}  // namespace tvx

namespace tvx {
namespace {

// The system account's own hive and folders reach no person: an install for it alone
// is refused before anything is written or shown, and says so (only in the log, when
// silent, as a deployment tool runs it).
TEST_F(SetupDialogTest, ForTheAccountAloneAsLocalSystemIsRefusedBeforeAnythingIsWritten) {
    tvxtest::TempFolder logs(L"tvxsystem");
    const std::wstring log = logs / L"run.log";
    ASSERT_TRUE(OpenRunLog(log.c_str()));
    TreatAsLocalSystem(true);
    Options().silent = true;
    wcscpy(Options().initString, L"A01D1");
    RunSetup(Scope::CurrentUser);
    TreatAsLocalSystem(false);
    CloseRunLog();

    EXPECT_EQ(FinalExitCode(), kExitRefused);
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, kProduct));
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\.zip"));
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER,
                                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver"));
    const std::vector<std::wstring> lines = tvxtest::ReadUtf8Lines(log);
    const std::wstring said = L"message (not shown, silent run): " + std::wstring(LoadText(IDS_NOTFORSYSTEM));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [&](const std::wstring& line) { return line.find(said) != std::wstring::npos; }));
}

// Wine lets every account write everywhere, so the refusal a standard user meets is
// injected where the settings store writes the registry.
TEST_F(SetupDialogTest, RefusedMachineWriteIsNamedNeedsRightsShowsNoCompletionAndExitsFive) {
    RefuseRegistryWrites(HKEY_LOCAL_MACHINE, ERROR_ACCESS_DENIED);
    std::wstring message;
    bool completionShown = false;
    std::thread user([&] {
        HWND dialog = tvxtest::WaitForOwnDialog(IDC_SETCONTEXTMENU);
        if (!dialog) return;
        PressButton(dialog, IDOK, true);
        const DWORD process = GetCurrentProcessId();
        HWND box = tvxtest::WaitForWindow({.processId = process, .except = dialog, .withText = true});
        if (!box) return;
        message = tvxtest::MessageBoxText(box);
        PressButton(box, IDOK, true);
        tvxtest::WaitUntilClosed(box, 5000);
        // A completion dialog would follow at once; end it so that the test cannot hang.
        HWND next = tvxtest::WaitForWindow({.processId = process, .except = dialog}, 2000);
        completionShown = next != nullptr;
        if (next) PostMessageW(next, WM_COMMAND, IDOK, 0);
    });
    RunSetup(Scope::Machine);
    user.join();
    RefuseRegistryWrites(nullptr, ERROR_SUCCESS);

    // The uninstall entry is the first machine-wide write: refused, nothing else follows.
    wchar_t expected[1024];
    InsertArgument(LoadText(IDS_NEEDADMIN),
                   L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver", expected, 1024);
    EXPECT_EQ(message, expected);
    EXPECT_NE(message.find(L"dministrator"), std::wstring::npos);
    EXPECT_FALSE(completionShown);
    EXPECT_EQ(FinalExitCode(), kExitRefused);
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_LOCAL_MACHINE,
                                       L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tervix archiver"));
    EXPECT_NE(tvxtest::ClassDefault(L".zip"), L"Tervix.ZIP") << "an association came before the refusal";
    EXPECT_EQ(Stored(L"Setup", L"ShellExt"), 1u) << "the choices are stored for the next run";
}

}  // namespace
}  // namespace tvx
