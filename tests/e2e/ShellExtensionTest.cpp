// Shell extension, registered application, application path and the Windows 11 menu
// package, as the registry shows them after setup and after removal. Every scenario
// runs in a fresh prefix, from a copy of this program in a sandbox folder that holds
// the stand-in extension DLLs and installer.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

#include "SandboxCopy.h"
#include "TestSupport.h"
#include "integration/SetupChoices.h"
#include "integration/ShellExtension.h"
#include "integration/Shortcuts.h"
#include "platform/WindowsVersion.h"
#include "settings/Settings.h"

namespace {

using namespace tvxtest;

constexpr wchar_t kClass32[] = L"{6F1C2D40-3A51-4A1B-9C3D-5E6F7A8B9C0D}";
constexpr wchar_t kClass64[] = L"{6F1C2D40-3A64-4A1B-9C3D-5E6F7A8B9C0D}";
constexpr wchar_t kApproved[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervix.exe";
constexpr wchar_t kRegisteredApps[] = L"Software\\RegisteredApplications";
constexpr wchar_t kFileAssociations[] = L"Software\\Tervix\\Capabilities\\FileAssociations";
constexpr DWORD kInstallerCapMs = 20000;

// Every extension Tervix can open, as the user sees them in the setup dialog.
const std::vector<std::wstring> kAllExtensions = {
    L".tvx", L".zip", L".cab", L".arj", L".lz", L".tlz", L".lzh", L".lha", L".7z",  L".tar",
    L".gz",  L".tgz", L".uue", L".xxe", L".uu", L".bz2", L".tbz2", L".bz", L".tbz", L".jar",
    L".iso", L".z",   L".taz", L".xz",  L".txz", L".zipx", L".zst", L".tzst", L".001"};

std::optional<std::wstring> Read(HKEY root, const std::wstring& key, const std::wstring& name = L"", REGSAM view = 0) {
    std::wstring value;
    if (!RegReadString(root, key, name, &value, view)) return std::nullopt;
    return value;
}

tvx::SetupChoices Choices(bool shellExtension, bool legacyMenu = false) {
    tvx::SetupChoices choices = {};
    choices.bytes[tvx::kChoiceShellExtension] = shellExtension ? 1 : 0;
    choices.bytes[tvx::kChoiceLegacyMenu] = legacyMenu ? 1 : 0;
    return choices;
}

// The shell extension on, as Windows 10 shows it.
void ExpectHandlersRegistered(const char* variant, const std::wstring& classId, const std::wstring& handler) {
    SCOPED_TRACE(variant);
    for (const wchar_t* progId : {L"Tervix", L"Tervix.ZIP", L"exefile"}) {
        EXPECT_EQ(Read(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\shellex\\PropertySheetHandlers\\" + classId),
                  L"")
            << "property sheet of " << Narrow(progId);
    }
    for (const wchar_t* target : {L"Folder", L"Drive"}) {
        EXPECT_EQ(Read(HKEY_CLASSES_ROOT, std::wstring(target) + L"\\shellex\\DragDropHandlers\\" + handler), classId);
    }
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kApproved, classId), L"Tervix shell extension");
}

void ExpectContextMenuKeys(bool present, const std::wstring& classId, const std::wstring& handler) {
    const std::optional<std::wstring> empty = present ? std::optional<std::wstring>(L"") : std::nullopt;
    const std::optional<std::wstring> named = present ? std::optional<std::wstring>(classId) : std::nullopt;
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, L"Tervix\\shellex\\ContextMenuHandlers\\" + classId), empty);
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, L"Tervix.ZIP\\shellex\\ContextMenuHandlers\\" + classId), empty);
    for (const wchar_t* target : {L"*", L"Folder", L"lnkfile"}) {
        EXPECT_EQ(Read(HKEY_CLASSES_ROOT, std::wstring(target) + L"\\shellex\\ContextMenuHandlers\\" + handler), named)
            << "context menu of " << Narrow(target);
    }
}

void ExpectNothingOfVariantLeft(const std::wstring& classId, const std::wstring& handler) {
    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + classId, view)) << "view " << view;
    }
    for (const wchar_t* progId : {L"Tervix", L"Tervix.ZIP", L"exefile"}) {
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT,
                                  std::wstring(progId) + L"\\shellex\\PropertySheetHandlers\\" + classId));
    }
    for (const wchar_t* target : {L"Folder", L"Drive"}) {
        EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::wstring(target) + L"\\shellex\\DragDropHandlers\\" + handler));
    }
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kApproved, classId), std::nullopt);
    ExpectContextMenuKeys(false, classId, handler);
}

struct InstallerRun {
    std::wstring arguments;
    DWORD processId = 0;
    bool ended = false;
};

// What the stand-in installer recorded, one entry per start.
std::vector<InstallerRun> InstallerRuns() {
    std::vector<InstallerRun> runs;
    const std::string log = ReadFileBytes(ProgramFolderOfTest() + L"\\TvxExtInstaller.log");
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find("\r\n", start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        start = end + 2;
        if (line.rfind("start ", 0) == 0) {
            InstallerRun run;
            size_t blank = line.find(' ', 6);
            run.processId = static_cast<DWORD>(std::stoul(line.substr(6, blank - 6)));
            if (blank != std::string::npos) run.arguments.assign(line.begin() + blank + 1, line.end());
            runs.push_back(run);
        } else if (line.rfind("end ", 0) == 0) {
            const DWORD id = static_cast<DWORD>(std::stoul(line.substr(4)));
            for (InstallerRun& run : runs) {
                if (run.processId == id) run.ended = true;
            }
        }
    }
    return runs;
}

// The installer is started through the shell and not waited for when installing:
// give it a moment to write its first line.
std::vector<InstallerRun> WaitForInstallerStart(DWORD timeoutMs = 10000) {
    std::vector<InstallerRun> runs;
    WaitUntil([&] { return !(runs = InstallerRuns()).empty(); }, timeoutMs);
    return runs;
}

void EndInstaller(const InstallerRun& run) {
    const tvx::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, run.processId));
    if (!process) return;
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 5000);
}

std::optional<DWORD> NewContextMenu() {
    DWORD value = 0;
    if (!RegReadDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup", L"NewContextMenu", &value)) return std::nullopt;
    return value;
}

void PrepareExtension(SandboxCopy& sandbox, bool with32 = true) {
    sandbox.Put(L"tvxext.dll");
    if (with32) sandbox.Put(L"tvxext32.dll");
}

void PrepareMenuPackage(SandboxCopy& sandbox, DWORD installerSleepMs) {
    sandbox.Put(L"TvxExtPackage.msix");
    sandbox.PutTool(L"TvxExtInstaller.exe");
    sandbox.Put(L"TvxExtInstaller.sleep", std::to_string(installerSleepMs));
}

}  // namespace

TEST(ShellExtensionWindows10, SetupRegistersBothVariantsAndTheApplication) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareExtension(copy); PrepareMenuPackage(copy, 0); })) return;
    tvx::PrimeWindowsVersion(false, 0x0A00);
    const std::wstring folder = ProgramFolderOfTest();

    tvx::RegisterShellExtension(false, Choices(true), tvx::Scope::Machine);

    // Each class lives in its own view: the 32-bit one where 32-bit Explorer looks.
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass64), L"Tervix");
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass64 + L"\\InProcServer32"),
              folder + L"\\tvxext.dll");
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass64 + L"\\InProcServer32", L"ThreadingModel"),
              L"Apartment");
    const std::wstring wow = std::wstring(L"Software\\Classes\\Wow6432Node\\CLSID\\") + kClass32;
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, wow), L"Tervix");
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, wow + L"\\InProcServer32"), folder + L"\\tvxext32.dll");
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, wow + L"\\InProcServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass32));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass64, KEY_WOW64_32KEY));

    ExpectHandlersRegistered("32-bit", kClass32, L"Tervix32");
    ExpectHandlersRegistered("64-bit", kClass64, L"Tervix");
    // Both variants write the drop handlers; the 64-bit one, registered last, wins.
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, L"Tervix\\shellex\\DropHandler"), kClass64);
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, L"Tervix.ZIP\\shellex\\DropHandler"), kClass64);
    ExpectContextMenuKeys(true, kClass32, L"Tervix32");
    ExpectContextMenuKeys(true, kClass64, L"Tervix");

    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kRegisteredApps, L"Tervix"), L"Software\\Tervix\\Capabilities");
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\Capabilities", L"ApplicationDescription"), L"Tervix");
    for (const std::wstring& extension : kAllExtensions) {
        EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kFileAssociations, extension),
                  extension == L".zip" ? L"Tervix.ZIP" : L"Tervix")
            << Narrow(extension);
    }
    tvx::UniqueHkey key;
    DWORD valueCount = 0;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFileAssociations, 0, KEY_READ, key.put()), ERROR_SUCCESS);
    RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount, nullptr, nullptr,
                     nullptr, nullptr);
    EXPECT_EQ(valueCount, kAllExtensions.size());

    // The menu package belongs to Windows 11 only.
    Sleep(500);
    EXPECT_TRUE(InstallerRuns().empty());
    EXPECT_EQ(NewContextMenu(), std::nullopt);
}

TEST(ShellExtensionWindows10, RemovalLeavesNothingOfOursAndKeepsOthers) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareExtension(copy); })) return;
    tvx::PrimeWindowsVersion(false, 0x0A00);
    // Another program's handlers and entries next to ours.
    RegWriteString(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\OtherTool", L"", L"{other}");
    RegWriteString(HKEY_CLASSES_ROOT, L"Folder\\shellex\\DragDropHandlers\\OtherTool", L"", L"{other}");
    RegWriteString(HKEY_LOCAL_MACHINE, kApproved, L"{other}", L"Other shell extension");
    RegWriteString(HKEY_LOCAL_MACHINE, kRegisteredApps, L"OtherTool", L"Software\\OtherTool\\Capabilities");

    ASSERT_TRUE(tvx::RegisterAppPath(tvx::Scope::Machine));
    tvx::RegisterShellExtension(false, Choices(true), tvx::Scope::Machine);
    ASSERT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\Capabilities"));

    tvx::RegisterShellExtension(true, Choices(false), tvx::Scope::Machine);

    ExpectNothingOfVariantLeft(kClass32, L"Tervix32");
    ExpectNothingOfVariantLeft(kClass64, L"Tervix");
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"Tervix\\shellex\\DropHandler"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"Tervix.ZIP\\shellex\\DropHandler"));
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kRegisteredApps, L"Tervix"), std::nullopt);
    // The machine-wide product key goes with everything in it, "exe64" included.
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix"));

    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\OtherTool"), L"{other}");
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, L"Folder\\shellex\\DragDropHandlers\\OtherTool"), L"{other}");
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kApproved, L"{other}"), L"Other shell extension");
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kRegisteredApps, L"OtherTool"), L"Software\\OtherTool\\Capabilities");
}

TEST(ShellExtensionWindows10, Missing32BitLibraryKeepsItsHandlersButNoClass) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareExtension(copy, false); })) return;
    tvx::PrimeWindowsVersion(false, 0x0A00);

    tvx::RegisterShellExtension(false, Choices(true), tvx::Scope::Machine);

    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass32, KEY_WOW64_32KEY));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass32));
    EXPECT_EQ(Read(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass64 + L"\\InProcServer32"),
              ProgramFolderOfTest() + L"\\tvxext.dll");
    ExpectHandlersRegistered("32-bit", kClass32, L"Tervix32");
    ExpectContextMenuKeys(true, kClass32, L"Tervix32");
}

TEST(ShellExtensionWindows10, ApplicationPathInBothViews) {
    if (RanInSandboxCopy()) return;
    const std::wstring folder = ProgramFolderOfTest();
    // Else the 32-bit view would show the 64-bit entry under Wine.
    ASSERT_TRUE(tvxtest::SeparateAppPathsViews());

    EXPECT_TRUE(tvx::RegisterAppPath(tvx::Scope::Machine));

    for (REGSAM view : {REGSAM(0), REGSAM(KEY_WOW64_32KEY)}) {
        EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kAppPaths, L"", view), folder + L"\\Tervix.exe") << "view " << view;
        EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kAppPaths, L"Path", view), folder) << "view " << view;
    }
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
                                                    L"App Paths\\Tervix.exe")),
              folder + L"\\Tervix.exe");
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, L"Software\\Tervix", L"exe64"), folder + L"\\Tervix.exe");
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix", KEY_WOW64_32KEY));
}

TEST(ShellExtensionBeforeVista, NoRegisteredApplicationButRemovalClearsTheMachineKey) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareExtension(copy); })) return;
    tvx::PrimeWindowsVersion(false, 0x0502);

    ASSERT_TRUE(tvx::RegisterAppPath(tvx::Scope::Machine));
    tvx::RegisterShellExtension(false, Choices(true), tvx::Scope::Machine);

    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kRegisteredApps, L"Tervix"), std::nullopt);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix\\Capabilities"));
    // The extension itself is the same as on newer systems.
    ExpectHandlersRegistered("64-bit", kClass64, L"Tervix");
    ExpectContextMenuKeys(true, kClass64, L"Tervix");
    ASSERT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix"));

    tvx::RegisterShellExtension(true, Choices(false), tvx::Scope::Machine);

    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Tervix"));
    ExpectNothingOfVariantLeft(kClass64, L"Tervix");
    ExpectNothingOfVariantLeft(kClass32, L"Tervix32");
}

TEST(ShellExtensionWindows11, WithoutLegacyMenuInstallsThePackageInsteadOfTheMenuHandlers) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareExtension(copy); PrepareMenuPackage(copy, 8000); })) return;
    tvx::PrimeWindowsVersion(true, 0x0A00);
    // What an earlier setup with the legacy menu left behind.
    tvx::RegisterShellExtension(false, Choices(true, true), tvx::Scope::Machine);
    ExpectContextMenuKeys(true, kClass64, L"Tervix");
    for (const InstallerRun& run : WaitForInstallerStart()) EndInstaller(run);
    DeleteFileW((ProgramFolderOfTest() + L"\\TvxExtInstaller.log").c_str());

    tvx::RegisterShellExtension(false, Choices(true, false), tvx::Scope::Machine);

    // Installing does not wait: the installer is still busy when the call returns.
    std::vector<InstallerRun> runs = WaitForInstallerStart();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments, L"-install");
    EXPECT_FALSE(runs[0].ended);
    EXPECT_EQ(NewContextMenu(), 1u);
    ExpectContextMenuKeys(false, kClass32, L"Tervix32");
    ExpectContextMenuKeys(false, kClass64, L"Tervix");
    ExpectHandlersRegistered("64-bit", kClass64, L"Tervix");
    EndInstaller(runs[0]);
}

TEST(ShellExtensionWindows11, WithLegacyMenuKeepsTheMenuHandlersToo) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareExtension(copy); PrepareMenuPackage(copy, 0); })) return;
    tvx::PrimeWindowsVersion(true, 0x0A00);

    tvx::RegisterShellExtension(false, Choices(true, true), tvx::Scope::Machine);

    std::vector<InstallerRun> runs = WaitForInstallerStart();
    ASSERT_EQ(runs.size(), 1u) << "only the 64-bit variant starts the installer";
    EXPECT_EQ(runs[0].arguments, L"-install");
    EXPECT_EQ(NewContextMenu(), 1u);
    ExpectContextMenuKeys(true, kClass32, L"Tervix32");
    ExpectContextMenuKeys(true, kClass64, L"Tervix");
}

TEST(ShellExtensionWindows11, RemovalWaitsForTheInstaller) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareExtension(copy); PrepareMenuPackage(copy, 3000); })) return;
    tvx::PrimeWindowsVersion(true, 0x0A00);

    tvx::RegisterShellExtension(true, Choices(false), tvx::Scope::Machine);

    std::vector<InstallerRun> runs = InstallerRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments, L"-Uninstall");
    EXPECT_TRUE(runs[0].ended) << "the removal went on before the installer had finished";
    EXPECT_EQ(NewContextMenu(), 0u);
}

TEST(ShellExtensionWindows11, RemovalGivesAHungInstallerTwentySeconds) {
    if (RanInSandboxCopy([](SandboxCopy& copy) { PrepareExtension(copy); PrepareMenuPackage(copy, 120000); })) return;
    tvx::PrimeWindowsVersion(true, 0x0A00);

    const DWORD begin = GetTickCount();
    tvx::RunMenuPackageInstaller(false);
    const DWORD elapsed = GetTickCount() - begin;

    EXPECT_GE(elapsed, kInstallerCapMs - 500);
    EXPECT_LT(elapsed, kInstallerCapMs + 40000);
    std::vector<InstallerRun> runs = InstallerRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].arguments, L"-Uninstall");
    EXPECT_FALSE(runs[0].ended);
    EXPECT_EQ(NewContextMenu(), 0u);
    EndInstaller(runs[0]);
}

TEST(ShellExtensionWindows11, MissingPackageSkipsTheInstaller) {
    const auto prepare = [](SandboxCopy& copy) {
        PrepareExtension(copy);
        copy.PutTool(L"TvxExtInstaller.exe");
    };
    if (RanInSandboxCopy(prepare)) return;
    tvx::PrimeWindowsVersion(true, 0x0A00);
    RegWriteDword(HKEY_CURRENT_USER, L"Software\\Tervix\\Setup", L"NewContextMenu", 1);

    tvx::RegisterShellExtension(true, Choices(false), tvx::Scope::Machine);

    Sleep(500);
    EXPECT_TRUE(InstallerRuns().empty());
    EXPECT_EQ(NewContextMenu(), 1u) << "the last request must stay as it was";
    ExpectNothingOfVariantLeft(kClass64, L"Tervix");
}

// A portable copy whose settings file switches integration off changes nothing in the
// system: no class or handler keys, no installer start, no shortcuts.
TEST(ShellIntegrationOff, PortableCopyLeavesTheSystemAlone) {
    const auto prepare = [](SandboxCopy& copy) {
        PrepareExtension(copy);
        PrepareMenuPackage(copy, 0);
        copy.Put(L"Tervix.exe", "MZ");
        copy.Put(L"Tervix.ini", "Global\\Integration=0\r\nGlobal\\SaveSettings=0\r\n");
    };
    if (RanInSandboxCopy(prepare)) return;
    tvx::PrimeWindowsVersion(true, 0x0A00);
    const tvx::ComSession com;
    // As in the program, the stored choices are read before anything is applied; that
    // is what loads the settings file.
    tvx::ReadUserInt(L"Setup", L"ShellExt", 1);
    ASSERT_FALSE(tvx::IntegrationEnabled()) << "the settings file was not found next to the program";
    tvx::SetupChoices all = {};
    for (uint8_t& byte : all.bytes) byte = 1;

    tvx::RegisterShellExtension(false, all, tvx::Scope::Machine);
    tvx::UpdateShortcuts(all, nullptr, 0, nullptr, tvx::Scope::Machine);

    Sleep(500);
    EXPECT_TRUE(InstallerRuns().empty());
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kClass64));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\Tervix"));
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kApproved, kClass64), std::nullopt);
    EXPECT_EQ(NewContextMenu(), std::nullopt);
    EXPECT_FALSE(PathExists(KnownFolder(CSIDL_COMMON_PROGRAMS) + L"\\Tervix"));
}
