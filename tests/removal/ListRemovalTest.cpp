// The listed files and folders of an install, removed in-process from a sandbox
// folder: nesting, attributes, locked files, and entries that must not be touched.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileLocker.h"
#include "LinuxSide.h"
#include "PendingRenames.h"
#include "TestSupport.h"
#include "platform/FileSystem.h"
#include "removal/Uninstall.h"

namespace {

using tvxtest::FileLocker;
using tvxtest::Narrow;
using tvxtest::PathExists;
using tvxtest::PendingRenames;

class InstallFolder : public ::testing::Test {
protected:
    InstallFolder() : folder_(L"tvxinst") {
        program_ = folder_ / L"Uninstall.exe";
        tvxtest::WriteFileBytes(program_, "MZ");
    }

    std::wstring Path(const std::wstring& relative) const { return folder_ / relative; }
    void MakeFolder(const std::wstring& relative) { ASSERT_TRUE(CreateDirectoryW(Path(relative).c_str(), nullptr)); }
    void MakeFile(const std::wstring& relative, DWORD attributes = 0) {
        ASSERT_TRUE(tvxtest::WriteFileBytes(Path(relative), "data"));
        if (attributes) SetFileAttributesW(Path(relative).c_str(), attributes);
    }

    // Writes the list and removes its entries the way the uninstall does.
    bool Remove(const std::string& listBytes) {
        EXPECT_TRUE(tvxtest::WriteFileBytes(Path(L"Uninstall.lst"), listBytes));
        const tvx::UniqueCrtFile list(tvx::OpenCrtFile(Path(L"Uninstall.lst").c_str(), L"rb"));
        EXPECT_TRUE(list);
        return list && tvx::RemoveListedFiles(list.get(), (folder_.path() + L"\\").c_str(), program_.c_str());
    }


    tvxtest::TempFolder folder_;
    PendingRenames pending_{folder_.path()};
    std::wstring program_;
};

TEST_F(InstallFolder, NestedTreeListedFoldersFirstGoesWhollyInOneCall) {
    MakeFolder(L"sub");
    MakeFolder(L"sub\\deep");
    MakeFolder(L"sub\\deep\\deeper");
    MakeFile(L"top.txt");
    MakeFile(L"sub\\readonly.txt", FILE_ATTRIBUTE_READONLY);
    MakeFile(L"sub\\deep\\hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeFile(L"sub\\deep\\deeper\\x.dat");
    MakeFile(L" lead.txt");
    SetFileAttributesW(Path(L"sub\\deep").c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_FALSE(Remove("sub\r\nsub\\deep   \nsub/deep/deeper\t\r\n\ntop.txt \t\r\r\n"
                        "sub\\readonly.txt\nsub\\deep\\hidden.txt\nsub\\deep\\deeper\\x.dat\n lead.txt"));

    for (const wchar_t* gone : {L"sub", L"top.txt", L" lead.txt"}) EXPECT_FALSE(PathExists(Path(gone))) << gone;
    EXPECT_TRUE(PathExists(program_));
    EXPECT_EQ(pending_.AddedDeletions(), 0u);
}

TEST_F(InstallFolder, FolderWithUnlistedFilesStaysAndNothingIsDeferred) {
    MakeFolder(L"data");
    MakeFile(L"data\\listed.txt");
    MakeFile(L"data\\users-own.txt");

    EXPECT_FALSE(Remove("data\ndata\\listed.txt\nmissing.txt\nmissing\\deeper.txt\n"));

    EXPECT_FALSE(PathExists(Path(L"data\\listed.txt")));
    EXPECT_TRUE(PathExists(Path(L"data\\users-own.txt")));
}

TEST_F(InstallFolder, ProgramFileAndListFileAreLeftForLaterWithoutRestart) {
    // The running program's file cannot be deleted; hold it as the system would.
    FileLocker running;
    ASSERT_TRUE(running.Hold(FileLocker::Mode::OpenWithoutSharing, program_));

    EXPECT_FALSE(Remove("UNINSTALL.EXE\nUninstall.lst\n"));

    EXPECT_TRUE(PathExists(program_));
    EXPECT_TRUE(PathExists(Path(L"Uninstall.lst")));
    EXPECT_FALSE(PathExists(program_ + L".0.tmp"));
    EXPECT_EQ(pending_.CountDeletionsOf(program_), 0u);
    EXPECT_EQ(pending_.CountDeletionsOf(Path(L"Uninstall.lst")), 0u);
}

TEST_F(InstallFolder, LoadedLibraryMovesToTheNextFreeNumberAndGoesAtRestart) {
    ASSERT_TRUE(CopyFileW((tvxtest::BuildDir() + L"\\tools\\FileLocker.exe").c_str(), Path(L"x.dll").c_str(), FALSE));
    MakeFile(L"x.dll.0.tmp");
    FileLocker user;
    ASSERT_TRUE(user.Hold(FileLocker::Mode::LoadAsLibrary, Path(L"x.dll")));
    ASSERT_FALSE(DeleteFileW(Path(L"x.dll").c_str()));

    EXPECT_TRUE(Remove("x.dll\n"));

    EXPECT_FALSE(PathExists(Path(L"x.dll")));
    EXPECT_TRUE(PathExists(Path(L"x.dll.0.tmp")));
    EXPECT_TRUE(PathExists(Path(L"x.dll.1.tmp")));
    EXPECT_EQ(pending_.CountDeletionsOf(Path(L"x.dll.1.tmp")), 1u);
    EXPECT_EQ(pending_.CountDeletionsOf(Path(L"x.dll.0.tmp")), 0u);
    EXPECT_EQ(pending_.AddedDeletions(), 1u);
}

TEST_F(InstallFolder, FileOpenWithoutSharingIsScheduledUnderItsOwnName) {
    MakeFile(L"busy.dat");
    MakeFolder(L"sub");
    MakeFile(L"sub\\other.txt");
    FileLocker user;
    ASSERT_TRUE(user.Hold(FileLocker::Mode::OpenWithoutSharing, Path(L"busy.dat")));

    EXPECT_TRUE(Remove("busy.dat\nsub\nsub\\other.txt\n"));

    EXPECT_TRUE(PathExists(Path(L"busy.dat")));
    EXPECT_FALSE(PathExists(Path(L"busy.dat.0.tmp")));
    EXPECT_FALSE(PathExists(Path(L"sub")));
    EXPECT_GE(pending_.CountDeletionsOf(Path(L"busy.dat")), 1u);
}

TEST_F(InstallFolder, WhenEveryTemporaryNameIsTakenTheFileIsScheduledUnderItsOwnName) {
    ASSERT_TRUE(CopyFileW((tvxtest::BuildDir() + L"\\tools\\FileLocker.exe").c_str(), Path(L"x.dll").c_str(), FALSE));
    for (int j = 0; j < 1000; ++j) MakeFile(L"x.dll." + std::to_wstring(j) + L".tmp");
    FileLocker user;
    ASSERT_TRUE(user.Hold(FileLocker::Mode::LoadAsLibrary, Path(L"x.dll")));

    tvx::DeferFileRemoval(Path(L"x.dll").c_str());

    // The last name, x.dll.999.tmp, is taken, so the move fails and the file stays.
    EXPECT_TRUE(PathExists(Path(L"x.dll")));
    EXPECT_EQ(tvxtest::ReadFileBytes(Path(L"x.dll.999.tmp")), "data");
    EXPECT_EQ(pending_.CountDeletionsOf(Path(L"x.dll")), 1u);
    EXPECT_EQ(pending_.AddedDeletions(), 1u);
}

TEST_F(InstallFolder, EntriesReachingOutsideAreNeverTouched) {
    tvxtest::TempFolder outside(L"tvxoutside");
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt", L"d.txt"})
        ASSERT_TRUE(tvxtest::WriteFileBytes(outside / name, "user data"));
    MakeFolder(L"sub");
    const std::string outsideName = Narrow(outside.path().substr(outside.path().rfind(L'\\') + 1));
    tvxtest::LinuxSymlink link;
    ASSERT_TRUE(link.Make(outside.path(), Path(L"linked")));

    EXPECT_FALSE(Remove("..\\" + outsideName + "\\a.txt\n" + Narrow(outside / L"b.txt") + "\nsub\\..\\..\\" +
                        outsideName + "\\c.txt\nlinked\\d.txt\nlinked\\\nlinked\nsub\n"));

    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt", L"d.txt"})
        EXPECT_TRUE(PathExists(outside / name)) << name;
    EXPECT_FALSE(PathExists(Path(L"sub")));
    EXPECT_EQ(pending_.AddedDeletions(), 0u);
}

TEST_F(InstallFolder, EmptyListRemovesNothing) {
    MakeFile(L"kept.txt");
    EXPECT_FALSE(Remove(" \r\n\r\n\t\n"));
    EXPECT_TRUE(PathExists(Path(L"kept.txt")));
}

}  // namespace
