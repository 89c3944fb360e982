#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <utility>

#include "TestSupport.h"
#include "platform/FileSystem.h"
#include "platform/Owner.h"
#include "platform/Strings.h"

namespace tvx {
namespace {

using tvxtest::CurrentFolder;

std::wstring LongForm(const wchar_t* path, size_t size = kPathCapacity) {
    wchar_t out[kPathCapacity * 2];
    if (!MakeLongPathForm(path, out, size)) return L"<false>";
    return out;
}

std::wstring Removed(const wchar_t* path) {
    wchar_t buffer[64];
    CopyText(buffer, path, 64);
    RemoveFileName(buffer);
    return buffer;
}

std::wstring Joined(const wchar_t* folder, const wchar_t* name, size_t size = kPathCapacity) {
    wchar_t out[kPathCapacity];
    JoinPath(folder, name, out, size);
    return out;
}

TEST(PathParts, NameAndFolderOfEveryShape) {
    EXPECT_STREQ(FileNamePart(L"C:\\dir\\file.txt"), L"file.txt");
    EXPECT_STREQ(FileNamePart(L"C:/dir/sub/x"), L"x");
    EXPECT_STREQ(FileNamePart(L"C:file"), L"file");
    EXPECT_STREQ(FileNamePart(L"file"), L"file");
    EXPECT_STREQ(FileNamePart(L"C:\\dir\\"), L"");
    EXPECT_STREQ(FileNamePart(L""), L"");

    EXPECT_EQ(Removed(L"C:\\dir\\file"), L"C:\\dir");
    EXPECT_EQ(Removed(L"C:\\file"), L"C:\\");
    EXPECT_EQ(Removed(L"C:file"), L"C:");
    EXPECT_EQ(Removed(L"\\file"), L"\\");
    EXPECT_EQ(Removed(L"file"), L"");
    EXPECT_EQ(Removed(L"a\\b"), L"a");
    EXPECT_EQ(Removed(L"\\\\server\\share\\x"), L"\\\\server\\share");

    wchar_t folder[8];
    FolderPart(L"C:\\dir\\file", folder, 8);
    EXPECT_STREQ(folder, L"C:\\dir\\");
    FolderPart(L"C:\\directory\\file", folder, 5);
    EXPECT_STREQ(folder, L"C:\\d");
    FolderPart(L"C:file", folder, 8);
    EXPECT_STREQ(folder, L"C:");
    folder[0] = L'#';
    FolderPart(L"C:\\dir\\file", folder, 0);
    EXPECT_EQ(folder[0], L'#');

    wchar_t path[16] = L"C:\\dir\\old.txt";
    ReplaceFileName(path, L"newer.name", 16);
    EXPECT_STREQ(path, L"C:\\dir\\newer.na") << "the new name is cut at the buffer's end";

    EXPECT_STREQ(LastCharacter(L"abc"), L"c");
    const wchar_t* empty = L"";
    EXPECT_EQ(LastCharacter(empty), empty);
}

TEST(PathParts, SeparatorsAndJoining) {
    wchar_t path[8] = L"C:/a/";
    EXPECT_EQ(AppendSeparator(path, 8), 5u);
    EXPECT_STREQ(path, L"C:/a/\\") << "only a backslash counts as already there";
    wchar_t rooted[8] = L"C:\\";
    AppendSeparator(rooted, 8);
    EXPECT_STREQ(rooted, L"C:\\");
    wchar_t empty[4] = L"";
    AppendSeparator(empty, 4);
    EXPECT_STREQ(empty, L"");
    wchar_t tight[4] = L"abc";
    AppendSeparator(tight, 4);
    EXPECT_STREQ(tight, L"abc") << "no room for the separator and the terminator";

    EXPECT_EQ(Joined(L"C:", L"x"), L"C:x");
    EXPECT_EQ(Joined(L"C:\\", L"x"), L"C:\\x");
    EXPECT_EQ(Joined(L"C:\\a", L"x"), L"C:\\a\\x");
    EXPECT_EQ(Joined(L"", L"x"), L"x");
    EXPECT_EQ(Joined(L"C:\\a", L"xyz", 7), L"C:\\a\\x");
}

TEST(PathParts, Classification) {
    EXPECT_TRUE(HasDriveLetter(L"c:"));
    EXPECT_TRUE(HasDriveLetter(L"Z:\\x"));
    EXPECT_FALSE(HasDriveLetter(L"1:\\x"));
    EXPECT_FALSE(HasDriveLetter(L"\\\\?\\C:\\x"));

    EXPECT_TRUE(IsFullPath(L"C:\\x"));
    EXPECT_TRUE(IsFullPath(L"c:/x"));
    EXPECT_TRUE(IsFullPath(L"\\\\server\\share"));
    EXPECT_FALSE(IsFullPath(L"C:x"));
    EXPECT_FALSE(IsFullPath(L"\\x"));
    EXPECT_FALSE(IsFullPath(L"x\\y"));

    EXPECT_TRUE(HasWildcards(L"C:\\dir\\*.txt"));
    EXPECT_TRUE(HasWildcards(L"C:\\dir\\a?c"));
    EXPECT_FALSE(HasWildcards(L"\\\\?\\C:\\dir\\file"));
    EXPECT_TRUE(HasWildcards(L"\\\\?\\C:\\dir\\*"));
    EXPECT_FALSE(HasWildcards(L"C:\\dir\\file"));
}

TEST(LongPathForm, FullAndNetworkPathsAndTheirSizeLimits) {
    EXPECT_EQ(LongForm(L"C:\\dir\\file.txt"), L"\\\\?\\C:\\dir\\file.txt");
    size_t n = wcslen(L"C:\\dir\\file.txt");
    EXPECT_EQ(LongForm(L"C:\\dir\\file.txt", n + 4), L"<false>");
    EXPECT_EQ(LongForm(L"C:\\dir\\file.txt", n + 5), L"\\\\?\\C:\\dir\\file.txt");

    EXPECT_EQ(LongForm(L"\\\\server\\share"), L"\\\\?\\UNC\\server\\share");
    n = wcslen(L"\\\\server\\share");
    EXPECT_EQ(LongForm(L"\\\\server\\share", n + 6), L"<false>");
    EXPECT_EQ(LongForm(L"\\\\server\\share", n + 7), L"\\\\?\\UNC\\server\\share");

    EXPECT_EQ(LongForm(L""), L"<false>");

    // The literal form must be canonical: the system resolves nothing in it.
    const struct {
        const wchar_t* path;
        const wchar_t* longForm;
    } rows[] = {
        {L"C:/dir/file.txt", L"\\\\?\\C:\\dir\\file.txt"},
        {L"c:\\a\\.\\b\\..\\c\\\\d", L"\\\\?\\C:\\a\\c\\d"},
        {L"C:\\..\\..\\x", L"\\\\?\\C:\\x"},
        {L"C:\\a\\b\\..\\..", L"\\\\?\\C:\\"},
        {L"C:\\a\\", L"\\\\?\\C:\\a\\"},
        {L"C:\\", L"\\\\?\\C:\\"},
        {L"C:\\dots.\\blank ", L"\\\\?\\C:\\dots.\\blank "},
        {L"C:\\a\\...\\b", L"\\\\?\\C:\\a\\...\\b"},
        {L"//server/share/dir/../f", L"\\\\?\\UNC\\server\\share\\f"},
        {L"\\\\server\\share\\..\\..\\f", L"\\\\?\\UNC\\server\\share\\f"},
        {L"\\\\.\\C:\\a\\..\\b", L"\\\\?\\C:\\b"},
        {L"\\\\?\\C:\\kept\\..\\as is", L"\\\\?\\C:\\kept\\..\\as is"},
    };
    for (const auto& row : rows) EXPECT_EQ(LongForm(row.path), row.longForm);
}

TEST(LongPathForm, RelativePathsFollowTheRealCurrentFolder) {
    tvxtest::TempFolder sandbox(L"tvxlong");
    ASSERT_FALSE(sandbox.path().empty());
    CurrentFolder current(sandbox.path());
    ASSERT_TRUE(current.ok());
    const std::wstring& folder = sandbox.path();
    std::wstring drive = folder.substr(0, 2);

    EXPECT_EQ(LongForm(L"\\x"), L"\\\\?\\" + drive + L"\\x") << "rooted on the current drive";
    EXPECT_EQ(LongForm(L"/x"), L"\\\\?\\" + drive + L"\\x");
    EXPECT_EQ(LongForm(L"sub/../c/./d"), L"\\\\?\\" + folder + L"\\c\\d");
    EXPECT_EQ(LongForm((drive + L"e").c_str()), L"\\\\?\\" + folder + L"\\e") << "relative on the current drive";
    EXPECT_EQ(LongForm(L"./a"), L"\\\\?\\" + folder + L"\\a");
    EXPECT_EQ(LongForm(L".\\a"), L"\\\\?\\" + folder + L"\\a");
    EXPECT_EQ(LongForm(L".a"), L"\\\\?\\" + folder + L"\\.a");
    EXPECT_EQ(LongForm(L"sub\\b"), L"\\\\?\\" + folder + L"\\sub\\b");

    size_t needed = folder.size() + 1 + 1 + 4;  // folder, separator, "a", prefix
    EXPECT_EQ(LongForm(L"a", needed), L"<false>");
    EXPECT_EQ(LongForm(L"a", needed + 1), L"\\\\?\\" + folder + L"\\a");

    // The long form really names the file the plain relative name means.
    ASSERT_TRUE(tvxtest::WriteFileBytes(folder + L"\\plain.txt", "x"));
    wchar_t longName[kPathCapacity];
    ASSERT_TRUE(MakeLongPathForm(L".\\plain.txt", longName, kPathCapacity));
    EXPECT_NE(GetFileAttributesW(longName), INVALID_FILE_ATTRIBUTES);

    // A drive-relative path on another drive of the same prefix (Z: is the Unix root).
    CurrentFolder onZ(L"Z:\\tmp");
    if (onZ.ok()) {
        EXPECT_EQ(LongForm(L"\\etc"), L"\\\\?\\Z:\\etc");
        EXPECT_EQ(LongForm(L"y"), L"\\\\?\\Z:\\tmp\\y");
        EXPECT_EQ(LongForm(L"..\\y"), L"\\\\?\\Z:\\y");
    }
}

TEST(ProgramLocation, PathAndFolderOfTheRunningTestProgram) {
    wchar_t path[kPathCapacity];
    wchar_t folder[kPathCapacity];
    GetProgramPath(path, kPathCapacity);
    GetProgramFolder(folder, kPathCapacity);
    EXPECT_EQ(CompareNoCase(FileNamePart(path), L"platform_tests.exe"), 0) << path;
    EXPECT_EQ(std::wstring(path).rfind(folder, 0), 0u);
    EXPECT_EQ(wcslen(folder) + 1 + wcslen(L"platform_tests.exe"), wcslen(path));
    EXPECT_NE(GetFileAttributesW(folder) & FILE_ATTRIBUTE_DIRECTORY, 0u);

    wchar_t cut[6];
    GetProgramPath(cut, 6);
    EXPECT_EQ(std::wstring(cut), std::wstring(path).substr(0, 5));
}

// A copy of the program that runs elsewhere for an install (Windows Installer runs the
// one in its package) takes that install's folder, given whole or relative, as its own.
TEST(ProgramLocation, ACopyActingForAnInstallFolderTakesThatFolderAsItsOwn) {
    tvxtest::TempFolder sandbox(L"tvxacted");
    tvxtest::CurrentFolder current(sandbox.path());
    wchar_t path[kPathCapacity], folder[kPathCapacity];
    using Row = std::pair<std::wstring, std::wstring>;
    const Row rows[] = {
        {L"D:\\Apps\\Tervix\\", L"D:\\Apps\\Tervix"}, {L"C:\\", L"C:\\"}, {L"Tervix", sandbox / L"Tervix"}};
    for (const auto& [given, expected] : rows) {
        ActForInstallFolder(given.c_str());
        GetProgramFolder(folder, kPathCapacity);
        GetProgramPath(path, kPathCapacity);
        EXPECT_EQ(CompareNoCase(folder, expected.c_str()), 0) << folder;
        EXPECT_EQ(CompareNoCase(FileNamePart(path), L"platform_tests.exe"), 0) << path;
    }
    ActForInstallFolder(L"");
    GetProgramPath(path, kPathCapacity);
    EXPECT_EQ(std::wstring(path), tvxtest::ProgramOfTest());
}

// Redirects HKEY_CURRENT_USER of this process into a sandbox key, so the "AppData"
// value can be set without touching the user's real settings.
class UserHiveSandbox {
public:
    UserHiveSandbox() {
        wchar_t name[64];
        FormatText(name, 64, L"Software\\TvxPlatformTest-%lu", GetCurrentProcessId());
        name_ = name;
        RegCreateKeyExW(HKEY_CURRENT_USER, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sandbox_.put(), nullptr);
        ok_ = sandbox_ && RegOverridePredefKey(HKEY_CURRENT_USER, sandbox_.get()) == ERROR_SUCCESS;
    }
    ~UserHiveSandbox() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        sandbox_.reset();
        tvxtest::DeleteRegTree(HKEY_CURRENT_USER, name_);
    }
    bool ok() const { return ok_; }

private:
    UniqueHkey sandbox_;
    std::wstring name_;
    bool ok_ = false;
};

std::wstring RoamingTervix() {
    const std::wstring appData = tvxtest::KnownFolder(CSIDL_APPDATA);
    return appData.empty() ? L"" : appData + L"\\Tervix";
}

TEST(UserDataFolder, RegistryValueThenRoamingFolderThenProgramFolder) {
    std::wstring roaming = RoamingTervix();
    ASSERT_FALSE(roaming.empty());
    const bool roamingExisted = tvxtest::PathExists(roaming);
    // However this ends, the roaming folder is left as it was: other tests look for it.
    const ScopeGuard restoreRoaming([&] {
        DeleteFileW((roaming + L"\\TvxPlatformTest.ini").c_str());
        if (!roamingExisted) RemoveDirectoryW(roaming.c_str());
    });
    tvxtest::TempFolder custom(L"tvxdata");
    {
        UserHiveSandbox hive;
        ASSERT_TRUE(hive.ok()) << "RegOverridePredefKey is needed to keep the real settings out of this";
        wchar_t out[kPathCapacity];

        // An existing folder named by "AppData" wins, taken as written.
        ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"AppData", custom.path()));
        GetUserDataFolder(out, kPathCapacity, false);
        EXPECT_EQ(std::wstring(out), custom.path());

        // A missing one is passed over.
        ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"AppData",
                                            custom.path() + L"\\missing"));
        if (!roamingExisted) {
            GetUserDataFolder(out, kPathCapacity, false);
            wchar_t programFolder[kPathCapacity];
            GetProgramFolder(programFolder, kPathCapacity);
            EXPECT_STREQ(out, programFolder) << "no roaming folder and not asked to create one";
            EXPECT_FALSE(tvxtest::PathExists(roaming));
        }
        GetUserDataFolder(out, kPathCapacity, true);
        EXPECT_EQ(CompareNoCase(out, roaming.c_str()), 0) << out;
        EXPECT_TRUE(tvxtest::PathExists(roaming)) << "asked to create the roaming folder";

        // With the roaming folder there, finding a user file: the data folder first,
        // the program folder when only that one holds the file.
        wchar_t found[kPathCapacity];
        FindUserFile(L"TvxNoSuchFile.ini", found, kPathCapacity, false, false);
        EXPECT_EQ(CompareNoCase(found, (roaming + L"\\TvxNoSuchFile.ini").c_str()), 0) << found;
        FindUserFile(L"platform_tests.exe", found, kPathCapacity, true, false);
        wchar_t programPath[kPathCapacity];
        GetProgramPath(programPath, kPathCapacity);
        EXPECT_EQ(CompareNoCase(found, programPath), 0) << found;

        ASSERT_TRUE(tvxtest::WriteFileBytes(roaming + L"\\TvxPlatformTest.ini", "x"));
        FindUserFile(L"TvxPlatformTest.ini", found, kPathCapacity, true, false);
        EXPECT_EQ(CompareNoCase(found, (roaming + L"\\TvxPlatformTest.ini").c_str()), 0) << found;
        FindUserFile(L"TvxPlatformTe?t.*", found, kPathCapacity, true, false);
        EXPECT_EQ(CompareNoCase(found, (roaming + L"\\TvxPlatformTe?t.*").c_str()), 0)
            << "a wildcard name that matches a file counts as existing: " << found;
        FindUserFile(L"TvxPlatformXe?t.*", found, kPathCapacity, true, false);
        EXPECT_EQ(std::wstring(found).find(roaming), std::wstring::npos) << found;

        // Not a file or folder name at all: still the roaming folder.
        ASSERT_TRUE(tvxtest::RegWriteString(HKEY_CURRENT_USER, L"Software\\Tervix\\Paths", L"AppData", L""));
        GetUserDataFolder(out, kPathCapacity, false);
        EXPECT_EQ(CompareNoCase(out, roaming.c_str()), 0) << out;
    }
}

}  // namespace
}  // namespace tvx
