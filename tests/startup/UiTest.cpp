#include "startup/Ui.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "GuiDriver.h"
#include "TestSupport.h"
#include "lang/Language.h"
#include "lang/Texts.h"

namespace tvx {
namespace {

std::wstring SystemFolder() {
    wchar_t path[MAX_PATH];
    GetSystemDirectoryW(path, MAX_PATH);
    return path;
}

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

// A code-free library that the tests plant where a hijacker would.
std::wstring PlantedLibrary() { return tvxtest::BuildDir() + L"\\tests\\lang\\ProgramStrings.dll"; }

// Works inside a sandbox folder made the current folder, and puts everything back.
class CurrentFolder : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(current_.ok()); }
    void TearDown() override { HardenDllSearch(false); }
    tvxtest::TempFolder folder_{L"tvxdllsearch"};
    tvxtest::CurrentFolder current_{folder_.path()};
};

TEST_F(CurrentFolder, HardeningReplacesAnEarlierLibraryFolder) {
    // Windows then also leaves the current folder out of the search; Wine ignores an
    // empty library folder, so what is checked here is that the call reaches the system.
    tvxtest::TempFolder libraries(L"tvxdlldir");
    ASSERT_TRUE(CopyFileW(PlantedLibrary().c_str(), (libraries / L"tvxplanted.dll").c_str(), FALSE));
    ASSERT_TRUE(SetDllDirectoryW(libraries.path().c_str()));
    UniqueModule planted(LoadLibraryW(L"tvxplanted.dll"));
    ASSERT_TRUE(planted);
    planted.reset();

    HardenDllSearch(true);
    wchar_t folder[MAX_PATH] = {L'#'};
    EXPECT_EQ(GetDllDirectoryW(MAX_PATH, folder), 0u);
    EXPECT_STREQ(folder, L"");
    planted.reset(LoadLibraryW(L"tvxplanted.dll"));
    EXPECT_FALSE(planted) << "the earlier library folder is still searched";

    ASSERT_TRUE(SetDllDirectoryW(libraries.path().c_str()));
    HardenDllSearch(false);
    EXPECT_EQ(GetDllDirectoryW(MAX_PATH, folder), 0u);
}

TEST_F(CurrentFolder, SystemLibrariesComeFromTheSystemFolderOnly) {
    // A look-alike in the current folder must not be taken.
    ASSERT_TRUE(CopyFileW(PlantedLibrary().c_str(), (folder_ / L"riched20.dll").c_str(), FALSE));
    const UniqueModule richEdit(LoadSystemLibrary(L"riched20.dll"));
    ASSERT_TRUE(richEdit);
    EXPECT_EQ(_wcsicmp(ModulePath(richEdit.get()).c_str(), (SystemFolder() + L"\\riched20.dll").c_str()), 0)
        << ModulePath(richEdit.get()).c_str();
    WNDCLASSW richEditClass;
    EXPECT_TRUE(GetClassInfoW(nullptr, L"RichEdit20W", &richEditClass));

    // Only in the current folder: not found.
    ASSERT_TRUE(CopyFileW(PlantedLibrary().c_str(), (folder_ / L"tvxplanted.dll").c_str(), FALSE));
    EXPECT_EQ(LoadSystemLibrary(L"tvxplanted.dll"), nullptr);
}

TEST(ClearRtlReading, OnlyRightToLeftLanguagesLoseTheReadingOrderStyle) {
    HWND edit = CreateWindowExW(WS_EX_RTLREADING, L"EDIT", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    SetRightToLeft(false);
    ClearRtlReading(edit);
    EXPECT_TRUE(GetWindowLongW(edit, GWL_EXSTYLE) & WS_EX_RTLREADING);
    SetRightToLeft(true);
    ClearRtlReading(edit);
    EXPECT_FALSE(GetWindowLongW(edit, GWL_EXSTYLE) & WS_EX_RTLREADING);
    SetRightToLeft(false);
    DestroyWindow(edit);
}

TEST(ProgramResources, BoldFontIsScaledMsShellDlgBold) {
    CreateProgramResources();
    ASSERT_NE(BoldFont(), nullptr);
    LOGFONTW font = {};
    ASSERT_TRUE(GetObjectW(BoldFont(), sizeof font, &font));
    EXPECT_EQ(font.lfHeight, ScaleForDpi(-12));
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_FALSE(font.lfItalic);
    EXPECT_FALSE(font.lfUnderline);
    EXPECT_STREQ(font.lfFaceName, L"MS Shell Dlg");
    ReleaseProgramResources();
    EXPECT_EQ(BoldFont(), nullptr);
}

// The dialogs' icon comes from the resource library, else from the program itself.
class ProgramIconSource : public ::testing::Test {
protected:
    void TearDown() override {
        ReleaseProgramResources();
        FreeResourceLibrary();
    }
    void Start(const wchar_t* library) {
        ASSERT_TRUE(CopyFileW(PlantedLibrary().c_str(), (folder_ / L"Uninstall.dll").c_str(), FALSE));
        if (library) {
            std::wstring source = tvxtest::BuildDir() + L"\\tests\\lang\\" + library + L".dll";
            ASSERT_TRUE(CopyFileW(source.c_str(), (folder_ / L"tvxlng.dll").c_str(), FALSE));
        }
        program_.reset(LoadLibraryW((folder_ / L"Uninstall.dll").c_str()));
        ASSERT_TRUE(program_);
        LoadResourceLibrary(program_.get());
        CreateProgramResources();
    }
    tvxtest::TempFolder folder_{L"tvxicon"};
    UniqueModule program_;
};

TEST_F(ProgramIconSource, ProgramsOwnIconWithoutALibrary) {
    Start(nullptr);
    ICONINFO info = {};
    ASSERT_NE(ProgramIcon(), nullptr);
    ASSERT_TRUE(GetIconInfo(ProgramIcon(), &info));
    const UniqueGdiObject color(info.hbmColor), mask(info.hbmMask);
    EXPECT_TRUE(info.fIcon);
}

TEST_F(ProgramIconSource, LibraryWithoutAnIconBorrowsTheProgramsOwn) {
    Start(L"TranslatedLibrary");
    ASSERT_NE(ResourceModule(), ProgramModule());
    EXPECT_NE(ProgramIcon(), nullptr);
}

// Shows a message box on this thread while a second thread reads and answers it. A
// hook on this thread sees the box's WM_INITDIALOG, whose parameter is the
// MSGBOXPARAMSW that MessageBoxW built from our flags.
struct SeenBox {
    std::wstring text;
    DWORD style = 0;
    bool found = false;
};

DWORD initialisedBoxStyle = 0;

LRESULT CALLBACK WatchBoxInit(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && call->lParam) {
        const MSGBOXPARAMSW* params = reinterpret_cast<const MSGBOXPARAMSW*>(call->lParam);
        if (params->cbSize == sizeof(MSGBOXPARAMSW)) initialisedBoxStyle = params->dwStyle;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int ShowAndAnswer(const wchar_t* caption, UINT flags, SeenBox* seen) {
    std::thread driver([caption, seen] {
        const DWORD process = GetCurrentProcessId();
        HWND box = tvxtest::WaitForWindow({.processId = process, .title = caption, .withText = true}, 10000);
        if (!box) return;
        seen->found = true;
        seen->text = tvxtest::MessageBoxText(box);
        tvxtest::PressButton(box, IDNO, true);
    });
    initialisedBoxStyle = 0;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, WatchBoxInit, nullptr, GetCurrentThreadId());
    int pressed = ShowMessage(nullptr, L"Remove Tervix?", caption, flags);
    UnhookWindowsHookEx(hook);
    driver.join();
    seen->style = initialisedBoxStyle;
    return pressed;
}

TEST(ShowMessage, RightToLeftLanguagesGetRightAlignedRtlBoxes) {
    SetRightToLeft(false);
    SeenBox plain;
    EXPECT_EQ(ShowAndAnswer(L"tvx ltr box", MB_YESNO | MB_ICONQUESTION, &plain), IDNO);
    ASSERT_TRUE(plain.found);
    EXPECT_EQ(plain.text, L"Remove Tervix?");
    ASSERT_NE(plain.style, 0u) << "the box's parameters were not seen";
    EXPECT_EQ(plain.style, static_cast<DWORD>(MB_YESNO | MB_ICONQUESTION));

    SetRightToLeft(true);
    SeenBox rtl;
    EXPECT_EQ(ShowAndAnswer(L"tvx rtl box", MB_YESNO | MB_ICONQUESTION, &rtl), IDNO);
    SetRightToLeft(false);
    ASSERT_TRUE(rtl.found);
    EXPECT_EQ(rtl.text, L"Remove Tervix?");
    EXPECT_EQ(rtl.style, static_cast<DWORD>(MB_YESNO | MB_ICONQUESTION | MB_RTLREADING | MB_RIGHT));
}

}  // namespace
}  // namespace tvx
