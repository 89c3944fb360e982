// Install paths the batch must name exactly, and list entries that point outside the
// install: only what belongs to the install is removed.

#include "LinuxSide.h"
#include "PendingRenames.h"
#include "UninstallScenarioSupport.h"

namespace uninstalltest {
namespace {

// A temporary folder on another volume: Wine's drive Z: reaches /dev/shm, a file
// system of its own, which every prefix on the machine shares.
struct OtherVolumeTemp {
    const std::wstring folder = L"Z:\\dev\\shm\\tvx-temp-" + std::to_wstring(GetTickCount64()) + L"-" +
                                std::to_wstring(GetCurrentProcessId());
    const bool made = CreateDirectoryW(folder.c_str(), nullptr) != FALSE;
    ~OtherVolumeTemp() {
        if (made) RemoveTree(folder);
    }
};

// With the temporary folder on another volume the program file cannot leave the
// install folder: the batch removes both after the program has ended, and must name
// the odd path exactly.
TEST(UninstallOddPaths, FolderWithBlanksPercentAndAccentIsRemovedByTheBatch) {
    const OtherVolumeTemp otherVolume;
    if (!otherVolume.made) GTEST_SKIP() << "no second volume";
    const std::wstring temp = otherVolume.folder + L"\\";
    // "%" would start a variable in the batch, "é" differs between the ANSI and OEM code pages.
    SampleInstall install(L"C:\\Apps 100% \u00e9\\Tervix \u00e9%x%");
    ASSERT_TRUE(install.MakeFolder(L"Sub 1%"));
    ASSERT_TRUE(install.MakeFile(L"Sub 1%\\a.txt"));
    ASSERT_TRUE(install.MakeFile(L"Tervix.exe"));
    ASSERT_TRUE(install.WriteList("Sub 1%\nSub 1%\\a.txt\nTervix.exe\n"));
    // A sibling that an unescaped batch line could hit instead.
    ASSERT_TRUE(CreateDirectoryW(L"C:\\Apps 100% \u00e9\\Tervix", nullptr));
    ASSERT_TRUE(WriteFileBytes(L"C:\\Apps 100% \u00e9\\Tervix\\Uninstall.exe", "someone else's"));
    TempFolder logs(L"tvx logs");

    Process uninstall;
    ASSERT_TRUE(
        install.Start(&uninstall, L"-s \"/log=" + (logs / L"run.log") + L"\"", L"TMP=" + temp + L"\nTEMP=" + temp));
    DWORD exitCode = 1;
    ASSERT_TRUE(uninstall.Wait(60000, &exitCode));
    EXPECT_EQ(exitCode, 0u);

    EXPECT_TRUE(WaitUntilGone(install.Folder(), 20000)) << "install folder still there";
    EXPECT_TRUE(WaitUntilBatchesGone(20000, temp)) << "batch still there";
    EXPECT_TRUE(PathExists(L"C:\\Apps 100% \u00e9\\Tervix\\Uninstall.exe"));
    bool leftToTheBatch = false;
    for (const std::wstring& line : ReadUtf8Lines(logs / L"run.log"))
        leftToTheBatch |= line.find(L"left the program file to the self-removal batch") != std::wstring::npos;
    EXPECT_TRUE(leftToTheBatch) << "the program file moved: the volumes are not apart";
    RemoveTree(L"C:\\Apps 100% \u00e9");
}

TEST(UninstallOddPaths, EntriesPointingOutsideTheInstallAreLeftAlone) {
    SampleInstall install(L"C:\\Program Files\\Tervix");
    TempFolder userData(L"userdata");
    for (const wchar_t* name : {L"parent.txt", L"absolute.txt", L"linked.txt"})
        ASSERT_TRUE(WriteFileBytes(userData / name, "the user's own"));
    ASSERT_TRUE(WriteFileBytes(L"C:\\Program Files\\next-door.txt", "another product"));
    ASSERT_TRUE(install.MakeFolder(L"Themes"));
    ASSERT_TRUE(install.MakeFile(L"Themes\\dark.thm"));
    ASSERT_TRUE(install.MakeFile(L"Tervix.exe"));
    // The user replaced a sub-folder of the install by a link to their own data.
    LinuxSymlink link;
    ASSERT_TRUE(link.Make(userData.path(), install.Path(L"Backups")));
    std::string absolute(userData.path().begin(), userData.path().end());
    ASSERT_TRUE(install.WriteList("..\\next-door.txt\n" + absolute + "\\absolute.txt\nThemes\\..\\..\\next-door.txt\n"
                                  "Backups\\linked.txt\nBackups\nThemes\nThemes\\dark.thm\nTervix.exe\n"));
    PendingRenames pending;

    Process uninstall;
    ASSERT_TRUE(install.Start(&uninstall, L"-s"));
    DWORD exitCode = 1;
    ASSERT_TRUE(uninstall.Wait(60000, &exitCode));
    EXPECT_EQ(exitCode, 0u);

    for (const wchar_t* name : {L"parent.txt", L"absolute.txt", L"linked.txt"})
        EXPECT_TRUE(PathExists(userData / name)) << name;
    EXPECT_TRUE(PathExists(L"C:\\Program Files\\next-door.txt"));
    EXPECT_FALSE(PathExists(install.Path(L"Themes")));
    EXPECT_FALSE(PathExists(install.Path(L"Tervix.exe")));
    EXPECT_FALSE(PathExists(install.Program()));
    EXPECT_EQ(pending.AddedDeletions(), 0u);
    DeleteFileW(L"C:\\Program Files\\next-door.txt");
}

}  // namespace
}  // namespace uninstalltest
