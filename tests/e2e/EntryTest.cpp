// The program's run modes as a user or the self-removal batch starts them: the real
// Uninstall.exe under Wine, each test case in a fresh prefix.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "GuiDriver.h"
#include "TestSupport.h"
#include "UninstallScenarioSupport.h"
#include "lang/Language.h"
#include "platform/Owner.h"
#include "resources/ResourceIds.h"

namespace {

using tvxtest::BuildDir;
using tvxtest::Notice;
using tvxtest::Process;
using tvxtest::QuietEnd;
using tvxtest::TempFolder;
using tvxtest::TopLevelWindows;
using tvxtest::WaitForNotice;
using tvxtest::WaitForQuietEnd;
using tvxtest::WaitUntil;

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

using tvxtest::Narrow;
// A program module opened as data, for reading its resources.
class ResourceFile {
public:
    explicit ResourceFile(const std::wstring& path)
        : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    HMODULE get() const { return module_.get(); }
    std::wstring Text(UINT id) const { return tvxtest::StringTableText(id, get()); }
    std::string Data(const wchar_t* name, const wchar_t* type) const {
        HRSRC resource = FindResourceW(get(), name, type);
        if (!resource) return {};
        HGLOBAL loaded = LoadResource(get(), resource);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        return bytes ? std::string(bytes, SizeofResource(get(), resource)) : std::string();
    }

private:
    tvx::UniqueModule module_;
};

// Everything a run could have written to the product's places in the registry: the
// whole of HKCU\Software (but Wine's own key), the machine-wide product entries and
// the names of the classes-root keys.
using RegistryImage = std::map<std::wstring, std::wstring>;

void AddTree(HKEY root, const std::wstring& path, RegistryImage* image, bool recurse = true) {
    tvx::UniqueHkey owned;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, owned.put()) != ERROR_SUCCESS) return;
    const HKEY key = owned.get();
    (*image)[path] = L"<key>";
    wchar_t name[16384];
    BYTE data[8192];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 16384, dataLength = sizeof data, type = 0;
        LONG result = RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) continue;
        (*image)[path + L"|" + name] =
            std::to_wstring(type) + L":" + std::wstring(reinterpret_cast<wchar_t*>(data), dataLength / 2);
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 16384;
        if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        std::wstring child = path.empty() ? name : path + L"\\" + name;
        if (child == L"Software\\Wine") continue;
        if (recurse) {
            AddTree(root, child, image);
        } else {
            (*image)[child] = L"<key>";
        }
    }
}

RegistryImage TakeRegistryImage() {
    RegistryImage image;
    AddTree(HKEY_CURRENT_USER, L"Software", &image);
    AddTree(HKEY_LOCAL_MACHINE, L"Software\\Tervix", &image);
    AddTree(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", &image);
    AddTree(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths", &image);
    AddTree(HKEY_LOCAL_MACHINE, L"Software\\RegisteredApplications", &image);
    AddTree(HKEY_CLASSES_ROOT, L"", &image, false);
    return image;
}

// A copy of the program in an install folder of its own, as the installer leaves it.
class InstalledProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CopyFileW(tvxtest::UninstallExe().c_str(), program().c_str(), FALSE));
    }
    std::wstring program() const { return folder_ / L"Uninstall.exe"; }
    void PlaceResourceLibrary(const wchar_t* variant) {
        std::wstring library = BuildDir() + L"\\tests\\lang\\" + variant + L".dll";
        ASSERT_TRUE(CopyFileW(library.c_str(), (folder_ / L"tvxlng.dll").c_str(), FALSE));
    }
    bool Start(Process* process, const std::wstring& switches, const std::wstring& environment = L"") {
        return process->Start(Quoted(program()) + L" " + switches, folder_.path(), environment);
    }
    long Run(const std::wstring& switches, const std::wstring& environment = L"") {
        return tvxtest::RunAndWait(Quoted(program()) + L" " + switches, 60000, folder_.path(), environment);
    }

    TempFolder folder_{L"Tervix install"};
};

TEST_F(InstalledProgram, WaitSleepsAboutTwoSecondsAndExitsWithZero) {
    ULONGLONG start = GetTickCount64();
    long code = Run(L"/wait");
    ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_EQ(code, 0);
    EXPECT_GE(elapsed, 1900u);
    EXPECT_LT(elapsed, 30000u);
}

TEST_F(InstalledProgram, WarningTellsWhichFileToDeleteAndEndsWhenAnswered) {
    Process process;
    ASSERT_TRUE(Start(&process, L"/warning"));
    Notice notice = WaitForNotice(process.id());
    ASSERT_NE(notice.box, nullptr) << "no notice appeared";

    ResourceFile strings(program());
    std::wstring advice = strings.Text(IDS_UNINSTALLSHOULDDELETE);
    advice.replace(advice.find(L"%s"), 2, program());
    EXPECT_EQ(notice.caption, strings.Text(IDS_UNINSTALLTVX));
    EXPECT_EQ(notice.text, strings.Text(IDS_UNINSTALLCOMPLETED) + L"\n" + advice);
    EXPECT_NE(notice.text.find(program()), std::wstring::npos);
    EXPECT_TRUE(tvxtest::HasControl(notice.box, IDOK));
    EXPECT_FALSE(tvxtest::HasControl(notice.box, IDCANCEL)) << "a notice, not a question";

    DWORD code = 1;
    EXPECT_FALSE(process.Wait(500, &code)) << "the program waits for the user";
    tvxtest::PressButton(notice.box, IDOK, true);
    ASSERT_TRUE(process.Wait(20000, &code));
    EXPECT_EQ(code, 0u);
}

// Run as the test e2e.WelshLocale: Welsh collation takes "ng" as one letter, so a
// linguistic comparison would not find "warning" in "WARNInG".
class WelshLocale : public InstalledProgram {};

TEST_F(WelshLocale, SwitchesInCapitalsMatchWhateverTheCollation) {
    if (tvxtest::LocaleOfRun().empty()) GTEST_SKIP() << "runs as the test e2e.WelshLocale";
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    ASSERT_STREQ(locale, L"cy-GB");
    Process process;
    ASSERT_TRUE(Start(&process, L"/WARNInG"));
    Notice notice = WaitForNotice(process.id());
    ASSERT_NE(notice.box, nullptr) << "the switch was not recognised";
    EXPECT_NE(notice.text.find(program()), std::wstring::npos);
    tvxtest::PressButton(notice.box, IDOK, true);
    DWORD code = 1;
    ASSERT_TRUE(process.Wait(20000, &code));
    EXPECT_EQ(code, 0u);
}

// Nobody watches a silent run, not even the batch's helper: it says nothing and ends.
TEST_F(InstalledProgram, WarningStaysSilentInASilentRun) {
    Process process;
    ASSERT_TRUE(Start(&process, L"-s /warning", L"sfxcmd=setup.exe -s"));
    const QuietEnd end = WaitForQuietEnd(process, 20000, [&] { return TopLevelWindows(process.id(), L"#32770"); });
    ASSERT_EQ(end.shown, nullptr) << "a notice appeared";
    ASSERT_TRUE(end.ended);
    EXPECT_EQ(end.exitCode, 0u);
}

// A library with strings but no dialog templates: the dialogs come from the program.
TEST_F(InstalledProgram, StringsOnlyResourceLibraryStillShowsTheSetupDialog) {
    PlaceResourceLibrary(L"TranslatedLibrary");
    Process process;
    ASSERT_TRUE(Start(&process, L"/setup"));
    HWND dialog = nullptr;
    DWORD early = 0;
    bool endedEarly = false;
    WaitUntil([&] {
        dialog = tvxtest::FindShownWindow({.processId = process.id(), .withId = IDC_SETCONTEXTMENU});
        endedEarly = !dialog && process.Wait(0, &early);
        return dialog || endedEarly;
    }, 30000);
    ASSERT_FALSE(endedEarly) << "ended with " << early << " showing nothing";
    ASSERT_NE(dialog, nullptr);
    tvxtest::PressButton(dialog, IDCANCEL, true);
    DWORD code = 0;
    ASSERT_TRUE(process.Wait(20000, &code));
    EXPECT_EQ(code, 1u);
}

TEST_F(InstalledProgram, TranslatedResourceLibrarySpeaksToTheUser) {
    PlaceResourceLibrary(L"TranslatedLibrary");
    Process process;
    ASSERT_TRUE(Start(&process, L"/warning"));
    Notice notice = WaitForNotice(process.id());
    ASSERT_NE(notice.box, nullptr);
    EXPECT_EQ(notice.caption, L"Tervix deinstallieren");
    // The library has no text for the second line: that one is the program's own.
    ResourceFile strings(program());
    std::wstring advice = strings.Text(IDS_UNINSTALLSHOULDDELETE);
    advice.replace(advice.find(L"%s"), 2, program());
    EXPECT_EQ(notice.text, L"Tervix wurde entfernt.\n" + advice);
    tvxtest::PressButton(notice.box, IDOK, true);
    EXPECT_TRUE(process.Wait(20000));
}

TEST_F(InstalledProgram, RightToLeftLibraryMirrorsTheNotice) {
    PlaceResourceLibrary(L"RtlLibrary");
    Process process;
    ASSERT_TRUE(Start(&process, L"/warning"));
    Notice notice = WaitForNotice(process.id());
    ASSERT_NE(notice.box, nullptr);
    EXPECT_EQ(notice.caption, L"\x05D4\x05E1\x05E8\x05EA Tervix");
    // The whole process lays its windows out from right to left.
    EXPECT_TRUE(GetWindowLongW(notice.box, GWL_EXSTYLE) & WS_EX_LAYOUTRTL)
        << std::hex << GetWindowLongW(notice.box, GWL_EXSTYLE);
    tvxtest::PressButton(notice.box, IDOK, true);
    EXPECT_TRUE(process.Wait(20000));
}

// Windows looks for a library that is not one of its KnownDLLs in the program's folder
// first, and an install folder may be open to other users. Wine does so for the names
// its DllOverrides give "native,builtin" (the registry's form of WINEDLLOVERRIDES, which
// a running program cannot hand on to those it starts). Libraries planted there under
// the names of system ones never run in a silent setup or uninstall.
TEST_F(InstalledProgram, LibrariesPlantedBesideTheProgramNeverRun) {
    const TempFolder marks(L"tvxmarks");
    const wchar_t* const planted[] = {L"bcrypt", L"uxtheme"};
    const wchar_t kOverrides[] = L"Software\\Wine\\DllOverrides";
    const tvx::ScopeGuard searchAsWine([&] {
        for (const wchar_t* name : planted) tvxtest::RegDeleteValue(HKEY_CURRENT_USER, kOverrides, name);
    });
    for (const wchar_t* name : planted) {
        ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, kOverrides, name, L"native,builtin"));
        ASSERT_TRUE(CopyFileW((BuildDir() + L"\\tools\\PlantedLibrary.dll").c_str(),
                              (folder_ / (name + std::wstring(L".dll"))).c_str(), FALSE));
    }
    const std::wstring environment = L"TVX_PLANT_MARKS=" + marks.path();
    const auto mark = [&](const wchar_t* name) { return marks / (name + std::wstring(L".dll.ran")); };

    // Searched this way, a program that loads them by name gets the planted ones.
    const std::wstring loader = folder_ / L"LibraryLoader.exe";
    ASSERT_TRUE(CopyFileW((BuildDir() + L"\\tools\\LibraryLoader.exe").c_str(), loader.c_str(), FALSE));
    ASSERT_EQ(tvxtest::RunAndWait(Quoted(loader) + L" bcrypt.dll uxtheme.dll", 60000, folder_.path(), environment), 0);
    for (const wchar_t* name : planted) {
        ASSERT_TRUE(tvxtest::PathExists(mark(name))) << Narrow(name) << " is not searched beside the program";
        ASSERT_TRUE(DeleteFileW(mark(name).c_str()));
    }

    EXPECT_EQ(Run(L"-s /setup -initA1" + std::wstring(17, L'0') + L"S1D1P0", environment), 0);
    ASSERT_TRUE(tvxtest::WriteFileBytes(folder_ / L"Uninstall.lst", "Uninstall.exe\r\nUninstall.lst\r\n"));
    EXPECT_EQ(Run(L"-s", environment), 0);
    EXPECT_FALSE(tvxtest::PathExists(folder_ / L"Uninstall.exe"));
    EXPECT_TRUE(uninstalltest::WaitUntilBatchesGone(30000));
    for (const wchar_t* name : planted)
        EXPECT_FALSE(tvxtest::PathExists(mark(name)))
            << Narrow(name) << " ran in " << Narrow(tvxtest::Utf16LeText(tvxtest::ReadFileBytes(mark(name))));
}

// Started without switches the program is the uninstaller; it asks first.
TEST_F(InstalledProgram, NoSwitchAsksBeforeUninstalling) {
    ASSERT_TRUE(tvxtest::WriteFileBytes(folder_ / L"Uninstall.lst", "Uninstall.exe\r\n"));
    Process process;
    ASSERT_TRUE(Start(&process, L""));
    Notice question = WaitForNotice(process.id());
    ASSERT_NE(question.box, nullptr);
    ResourceFile strings(program());
    EXPECT_EQ(question.caption, strings.Text(IDS_UNINSTALLTVX));
    EXPECT_EQ(question.text, strings.Text(IDS_CONTINUEUNINSTALL));
    EXPECT_TRUE(tvxtest::HasControl(question.box, IDYES));
    tvxtest::PressButton(question.box, IDNO, true);
    DWORD code = 0;
    ASSERT_TRUE(process.Wait(20000, &code));
    EXPECT_EQ(code, 1u) << "answering No is no removal";
    EXPECT_TRUE(tvxtest::PathExists(folder_ / L"Uninstall.lst")) << "answering No changes nothing";
}

// "-s" from the command line or from the installer's sfxcmd skips the question; without
// a list file the uninstall then stops, says so only in its exit code, and ends alone.
TEST_F(InstalledProgram, SilentSwitchFromEitherSourceSkipsTheQuestion) {
    for (const auto& [switches, environment] :
         {std::pair<std::wstring, std::wstring>{L"-s", L""}, {L"", L"sfxcmd=tervix-setup.exe -s"}}) {
        Process process;
        ASSERT_TRUE(Start(&process, switches, environment));
        const QuietEnd end = WaitForQuietEnd(process, 20000, [&] { return TopLevelWindows(process.id(), L"#32770"); });
        ASSERT_EQ(end.shown, nullptr) << "a box although silent";
        ASSERT_TRUE(end.ended);
        EXPECT_EQ(end.exitCode, 1603u);
    }
}

// A translation is the user's file: its format may hold specifiers that the program
// has no argument for, and its texts may be longer than the notice holds.
TEST_F(InstalledProgram, TranslatedNoticeIsSafeFromItsFormatAndBounded) {
    ASSERT_TRUE(tvxtest::WriteFileBytes(folder_ / L"uninstall.lng",
                                        "***messages***\r\n"
                                        "IDS_UNINSTALLTVX \"Tervix entfernen\"\r\n"
                                        "IDS_UNINSTALLCOMPLETED \"Fertig.\"\r\n"
                                        "IDS_UNINSTALLSHOULDDELETE "
                                        "\"Bitte %d loeschen: %s (100%% sicher) %s %x\"\r\n"));
    Process process;
    ASSERT_TRUE(Start(&process, L"/warning"));
    Notice notice = WaitForNotice(process.id());
    ASSERT_NE(notice.box, nullptr);
    EXPECT_EQ(notice.caption, L"Tervix entfernen");
    // Only the first "%s" takes the path; every other "%" shows as the translator wrote it.
    EXPECT_EQ(notice.text, L"Fertig.\nBitte %d loeschen: " + program() + L" (100%% sicher) %s %x");
    tvxtest::PressButton(notice.box, IDOK, true);
    DWORD code = 1;
    ASSERT_TRUE(process.Wait(20000, &code));
    EXPECT_EQ(code, 0u);

    ASSERT_TRUE(tvxtest::WriteFileBytes(folder_ / L"uninstall.lng",
                                        "***messages***\r\nIDS_UNINSTALLCOMPLETED \"Fertig.\"\r\n"
                                        "IDS_UNINSTALLSHOULDDELETE \"%s " + std::string(700, 'x') + "\"\r\n"));
    Process longer;
    ASSERT_TRUE(Start(&longer, L"/warning"));
    notice = WaitForNotice(longer.id());
    ASSERT_NE(notice.box, nullptr);
    std::wstring expected = L"Fertig.\n" + program() + L" " + std::wstring(700, L'x');
    EXPECT_EQ(notice.text, expected.substr(0, 511)) << "the notice holds at most 511 characters";
    tvxtest::PressButton(notice.box, IDOK, true);
    EXPECT_TRUE(longer.Wait(20000));
}

// After a completed setup, settings shipped beside the installer archive become the
// install folder's, unless the user already keeps settings of their own.
class SetupFromInstaller : public InstalledProgram {
protected:
    void SetUp() override {
        InstalledProgram::SetUp();
        ASSERT_TRUE(tvxtest::WriteFileBytes(installer_ / L"tervix.ini", "HKCU\\Setup\\ShellExt=0\r\n"));
    }
    long RunSilentSetup() {
        return Run(L"/setup -s /msi", L"sfxname=" + (installer_ / L"tervix-setup.exe"));
    }
    TempFolder installer_{L"Tervix download"};
};

TEST_F(SetupFromInstaller, InstallerSettingsAreCopiedIntoTheInstallFolder) {
    EXPECT_EQ(RunSilentSetup(), 0);
    EXPECT_EQ(tvxtest::ReadFileBytes(folder_ / L"tervix.ini"), "HKCU\\Setup\\ShellExt=0\r\n");
}

TEST_F(SetupFromInstaller, UsersOwnSettingsKeepTheInstallersAway) {
    wchar_t appData[MAX_PATH];
    ASSERT_NE(GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH), 0u);
    std::wstring userFolder = std::wstring(appData) + L"\\Tervix";
    ASSERT_TRUE(CreateDirectoryW(userFolder.c_str(), nullptr));
    // That file is the user's portable settings; it forbids being written back, so it
    // must come out of the run as it went in.
    ASSERT_TRUE(tvxtest::WriteFileBytes(userFolder + L"\\tervix.ini", "Global\\SaveSettings=0\r\n"));

    EXPECT_EQ(RunSilentSetup(), 0);
    EXPECT_FALSE(tvxtest::PathExists(folder_ / L"tervix.ini"));
    EXPECT_EQ(tvxtest::ReadFileBytes(userFolder + L"\\tervix.ini"), "Global\\SaveSettings=0\r\n");
}

TEST_F(InstalledProgram, MsiAloneOrAnUnknownSwitchDoesNothing) {
    RegistryImage before = TakeRegistryImage();
    EXPECT_EQ(Run(L"/msi"), 0);
    EXPECT_EQ(Run(L"/frobnicate"), 0);
    EXPECT_EQ(Run(L"/noexplorer -init1111"), 0);
    // The installer's switches are no orders: setup only starts from the command line.
    EXPECT_EQ(Run(L"/noexplorer", L"sfxcmd=tervix-setup.exe /setup -s"), 0);
    RegistryImage after = TakeRegistryImage();

    for (const auto& [name, value] : after) {
        auto found = before.find(name);
        EXPECT_TRUE(found != before.end() && found->second == value) << "written: " << Narrow(name);
    }
    for (const auto& [name, value] : before)
        EXPECT_TRUE(after.count(name)) << "removed: " << Narrow(name);
    EXPECT_FALSE(tvxtest::RegKeyExists(HKEY_CURRENT_USER, L"Software\\Tervix"));
    EXPECT_TRUE(tvxtest::PathExists(program())) << "nothing was uninstalled";
}

// The program file carries everything it needs to show itself without a library.
TEST(ProgramFile, CarriesManifestIconAndEveryText) {
    ResourceFile exe(tvxtest::UninstallExe());
    ASSERT_NE(exe.get(), nullptr);

    std::string manifest = exe.Data(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_FALSE(manifest.empty()) << "no RT_MANIFEST 1";
    EXPECT_NE(manifest.find("processorArchitecture=\"amd64\""), std::string::npos);
    EXPECT_NE(manifest.find("level=\"highestAvailable\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
    for (const char* os : {"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(manifest.find(os), std::string::npos) << os;

    std::string group = exe.Data(L"TVXICON", MAKEINTRESOURCEW(14));
    ASSERT_GE(group.size(), 6u) << "no TVXICON";
    int count = static_cast<unsigned char>(group[4]) | static_cast<unsigned char>(group[5]) << 8;
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::map<int, bool> sizes;
    for (int i = 0; i < count; ++i) {
        const unsigned char* entry = reinterpret_cast<const unsigned char*>(group.data()) + 6 + 14 * i;
        sizes[entry[0]] = true;
        int id = entry[12] | entry[13] << 8;
        EXPECT_FALSE(exe.Data(MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(3)).empty()) << "icon image " << id;
    }
    EXPECT_TRUE(sizes[16] && sizes[32] && sizes[48]);

    int strings = 0;
    for (size_t i = 0; i < tvx::KnownKeyCount; ++i) {
        const tvx::KnownKey& key = tvx::KnownKeyTable[i];
        if (strncmp(key.name, "s:", 2) != 0) continue;
        ++strings;
        EXPECT_FALSE(exe.Text(key.id).empty()) << key.name << " has no text";
    }
    EXPECT_EQ(strings, 34);
}

// The program's DPI scaling as the bold font and the dialogs get it, at the resolution
// the user set (Wine's LogPixels, read by every new process).
class ScreenResolution : public ::testing::Test {
protected:
    static long Probe(const std::wstring& argument) {
        long code = tvxtest::RunAndWait(Quoted(BuildDir() + L"\\tools\\DpiProbe.exe") + L" " + argument, 30000);
        return static_cast<int32_t>(static_cast<uint32_t>(code));
    }
    static void SetResolution(DWORD dpi) {
        ASSERT_TRUE(tvxtest::RegWriteDword(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", dpi));
    }
};

TEST_F(ScreenResolution, DefaultResolutionKeepsLengths) {
    EXPECT_EQ(Probe(L"-12"), -12);
    EXPECT_EQ(Probe(L"font"), -12);
}

TEST_F(ScreenResolution, LengthsScaleAndTruncateTowardZero) {
    SetResolution(144);
    EXPECT_EQ(Probe(L"-12"), -18);
    EXPECT_EQ(Probe(L"7"), 10);
    EXPECT_EQ(Probe(L"font"), -18);

    SetResolution(120);
    EXPECT_EQ(Probe(L"-12"), -15);
    // -13.75: truncated, where MulDiv would round to -14.
    EXPECT_EQ(Probe(L"-11"), -13);
    EXPECT_EQ(MulDiv(-11, 120, 96), -14);
    EXPECT_EQ(Probe(L"11"), 13);
}

}  // namespace
