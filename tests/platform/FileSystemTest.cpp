#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "LinuxSide.h"
#include "TestSupport.h"
#include "platform/DiskFile.h"
#include "platform/Paths.h"
#include "platform/Strings.h"

namespace tvx {
namespace {

std::wstring Long(const std::wstring& path) {
    return L"\\\\?\\" + path;
}

// Every entry a scan of the mask returns, by name, with the scan's error flag at the end.
std::map<std::wstring, FoundEntry> ScanAll(const std::wstring& mask, bool* error) {
    std::map<std::wstring, FoundEntry> entries;
    DirectoryScan scan;
    scan.SetMask(mask.c_str());
    FoundEntry record;
    while (scan.Next(&record)) entries[FileNamePart(record.fullName)] = record;
    *error = record.error;
    return entries;
}

TEST(DirectoryScanTest, EmptyAndMissingFoldersEndWithoutError) {
    tvxtest::TempFolder sandbox(L"tvxscan");
    bool error = true;
    EXPECT_TRUE(ScanAll(sandbox / L"*", &error).empty());
    EXPECT_FALSE(error) << "an empty folder is not an error";

    error = true;
    EXPECT_TRUE(ScanAll(sandbox / L"missing\\*", &error).empty());
    EXPECT_FALSE(error) << "a missing folder is not an error";

    error = true;
    EXPECT_TRUE(ScanAll(sandbox / L"*.none", &error).empty());
    EXPECT_FALSE(error);

    DirectoryScan unset;
    FoundEntry record;
    record.error = true;
    EXPECT_FALSE(unset.Next(&record));
    EXPECT_FALSE(record.error);
}

TEST(DirectoryScanTest, PopulatedFolderListsEveryEntryOnceWithItsDetails) {
    tvxtest::TempFolder sandbox(L"tvxscan");
    ASSERT_TRUE(tvxtest::WriteFileBytes(sandbox / L"a.txt", "12345"));
    ASSERT_TRUE(tvxtest::WriteFileBytes(sandbox / L"b.dat", ""));
    ASSERT_TRUE(CreateDirectoryW((sandbox / L"sub").c_str(), nullptr));
    ASSERT_TRUE(tvxtest::WriteFileBytes(sandbox / L"sub\\inner.txt", "x"));

    bool error = true;
    auto entries = ScanAll(sandbox / L"*", &error);
    EXPECT_FALSE(error);
    ASSERT_EQ(entries.size(), 3u) << "no \".\", \"..\" and nothing from below";
    const FoundEntry& a = entries[L"a.txt"];
    EXPECT_EQ(std::wstring(a.fullName), sandbox / L"a.txt");
    EXPECT_EQ(a.size, 5u);
    EXPECT_FALSE(a.isFolder);
    EXPECT_FALSE(a.isReparsePoint);
    EXPECT_FALSE(a.isLink);
    EXPECT_NE(a.lastWriteNs, 0u);
    uint64_t raw = (static_cast<uint64_t>(a.lastWriteTime.dwHighDateTime) << 32) | a.lastWriteTime.dwLowDateTime;
    EXPECT_EQ(a.lastWriteNs, raw * 100);
    EXPECT_TRUE(entries[L"sub"].isFolder);
    EXPECT_EQ(entries[L"b.dat"].size, 0u);

    // The mask's own folder spelling is kept, forward slashes and all.
    std::wstring slashed = sandbox.path() + L"/sub/*.txt";
    entries = ScanAll(slashed, &error);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(std::wstring(entries.begin()->second.fullName), sandbox.path() + L"/sub/inner.txt");

    // Setting a new mask starts over.
    DirectoryScan scan;
    FoundEntry record;
    scan.SetMask((sandbox / L"a.*").c_str());
    ASSERT_TRUE(scan.Next(&record));
    scan.SetMask((sandbox / L"b.*").c_str());
    ASSERT_TRUE(scan.Next(&record));
    EXPECT_STREQ(FileNamePart(record.fullName), L"b.dat");
    EXPECT_FALSE(scan.Next(&record));
    EXPECT_FALSE(scan.Next(&record)) << "asking again after the end stays at the end";
}

TEST(DirectoryScanTest, WildcardExistenceAndSingleLookups) {
    tvxtest::TempFolder sandbox(L"tvxscan");
    EXPECT_FALSE(ExistsWithWildcards((sandbox / L"*").c_str())) << "an empty folder";
    ASSERT_TRUE(tvxtest::WriteFileBytes(sandbox / L"x1.tmp", "abc"));
    EXPECT_TRUE(ExistsWithWildcards((sandbox / L"x?.tmp").c_str()));
    EXPECT_FALSE(ExistsWithWildcards((sandbox / L"y*").c_str()));
    EXPECT_TRUE(ExistsWithWildcards((sandbox / L"x1.tmp").c_str()));
    EXPECT_FALSE(ExistsWithWildcards((sandbox / L"x2.tmp").c_str()));

    FoundEntry record;
    ASSERT_TRUE(FindSingle((sandbox / L"x1.tmp").c_str(), &record));
    EXPECT_EQ(record.size, 3u);
    EXPECT_EQ(std::wstring(record.fullName), sandbox / L"x1.tmp");
    EXPECT_FALSE(FindSingle((sandbox / L"x?.tmp").c_str(), &record)) << "wildcards are not a single name";
    EXPECT_FALSE(FindSingle((sandbox / L"x2.tmp").c_str(), &record));
    ASSERT_TRUE(FindSingle(sandbox.path().c_str(), &record));
    EXPECT_TRUE(record.isFolder);
}

TEST(CreateFolderTest, ResultsForNewExistingAndParentlessFolders) {
    tvxtest::TempFolder sandbox(L"tvxmkdir");
    std::wstring made = sandbox / L"made";
    EXPECT_EQ(CreateFolder(made.c_str(), true, FILE_ATTRIBUTE_HIDDEN), CreateFolderResult::Created);
    DWORD attributes = GetFileAttributesW(made.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);

    std::wstring existing = sandbox / L"existing";
    ASSERT_TRUE(CreateDirectoryW(existing.c_str(), nullptr));
    EXPECT_EQ(CreateFolder(existing.c_str(), true, FILE_ATTRIBUTE_READONLY), CreateFolderResult::Failed);
    EXPECT_EQ(GetFileAttributesW(existing.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "an existing folder is not touched";

    ASSERT_TRUE(tvxtest::WriteFileBytes(sandbox / L"file", "x"));
    EXPECT_EQ(CreateFolder((sandbox / L"file").c_str()), CreateFolderResult::Failed);

    EXPECT_EQ(CreateFolder((sandbox / L"a\\b").c_str()), CreateFolderResult::PathMissing);
    EXPECT_FALSE(tvxtest::PathExists(sandbox / L"a"));

    // The plain name would lose its trailing dot; the folder must be made as named.
    std::wstring dotted = sandbox / L"dotted.";
    EXPECT_EQ(CreateFolder(dotted.c_str()), CreateFolderResult::Created);
    EXPECT_FALSE(tvxtest::PathExists(sandbox / L"dotted"));
    EXPECT_NE(GetFileAttributesW(Long(dotted).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(CreateFolder(dotted.c_str()), CreateFolderResult::Failed) << "now it exists";
    RemoveDirectoryW(Long(dotted).c_str());
}

TEST(LongNameRetry, HelpersReachNamesThatOnlyTheLongFormKeeps) {
    tvxtest::TempFolder sandbox(L"tvxlong");
    // "name." is a different file from "name" only in the long form.
    std::wstring dotted = sandbox / L"name.";
    ASSERT_TRUE(
        UniqueFileHandle(CreateFileW(Long(dotted).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)));

    EXPECT_NE(GetAttributesLong(dotted.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(FileExists(dotted.c_str()));
    EXPECT_TRUE(SetAttributesLong(dotted.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_NE(GetFileAttributesW(Long(dotted).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(SetAttributesLong(dotted.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileLong(dotted.c_str()));
    EXPECT_EQ(GetFileAttributesW(Long(dotted).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(DeleteFileLong(dotted.c_str()));
    EXPECT_FALSE(FileExists(dotted.c_str()));

    // A folder chain deeper than the classic 260-character limit.
    std::wstring deep = sandbox.path();
    while (deep.size() < 400) {
        deep += L"\\" + std::wstring(40, L'd');
        ASSERT_EQ(CreateFolder(deep.c_str()), CreateFolderResult::Created) << deep.size();
    }
    std::wstring file = deep + L"\\deep.txt";
    {
        FILE* crt = OpenCrtFile(file.c_str(), L"wb");
        ASSERT_NE(crt, nullptr);
        UniqueCrtFile owner(crt);
        fputs("deep", crt);
    }
    FoundEntry record;
    ASSERT_TRUE(FindSingle(file.c_str(), &record));
    EXPECT_EQ(record.size, 4u);
    bool error = true;
    EXPECT_EQ(ScanAll(deep + L"\\*", &error).size(), 1u);
    EXPECT_TRUE(DeleteFileLong(file.c_str()));
    EXPECT_FALSE(FileExists(file.c_str()));
    // TempFolder's clean-up cannot reach that deep; remove the chain from the bottom.
    while (deep.size() > sandbox.path().size()) {
        RemoveDirectoryW(Long(deep).c_str());
        deep.resize(deep.rfind(L'\\'));
    }
}

TEST(CrtFiles, OpenWithoutSharingRestrictions) {
    tvxtest::TempFolder sandbox(L"tvxcrt");
    std::wstring name = sandbox / L"list.lst";
    FILE* writer = OpenCrtFile(name.c_str(), L"wb");
    ASSERT_NE(writer, nullptr);
    UniqueCrtFile writerOwner(writer);
    fputs("line\n", writer);
    fflush(writer);
    FILE* reader = OpenCrtFile(name.c_str(), L"rb");
    ASSERT_NE(reader, nullptr) << "a second open while the first writes";
    UniqueCrtFile readerOwner(reader);
    char line[16] = {};
    ASSERT_NE(fgets(line, sizeof line, reader), nullptr);
    EXPECT_STREQ(line, "line\n");
    EXPECT_EQ(OpenCrtFile((sandbox / L"missing\\x").c_str(), L"rb"), nullptr);
}

TEST(FreeSpace, ReportsTheVolumeOfThePathsFolder) {
    tvxtest::TempFolder sandbox(L"tvxfree");
    ULARGE_INTEGER available, total, totalFree;
    ASSERT_TRUE(GetDiskFreeSpaceExW(sandbox.path().c_str(), &available, &total, &totalFree));
    uint64_t reported = FreeDiskSpace((sandbox / L"not-yet-there.bin").c_str());
    EXPECT_GT(reported, 0u);
    // Other programs write meanwhile; the figures only have to be of the same volume.
    uint64_t difference = reported > available.QuadPart ? reported - available.QuadPart : available.QuadPart - reported;
    EXPECT_LT(difference, 512u * 1024 * 1024);
    EXPECT_GT(FreeDiskSpace(L"bare-name.bin"), 0u) << "no folder part: the current drive";
    EXPECT_EQ(FreeDiskSpace(L"Q:\\nowhere\\x"), 0u) << "no such drive";
}

TEST(DeleteFolderTreeTest, RemovesAWholeTreeSilently) {
    tvxtest::TempFolder sandbox(L"tvxtree");
    std::wstring tree = sandbox / L"WebView2 data";
    ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((tree + L"\\EBWebView").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((tree + L"\\EBWebView\\Default").c_str(), nullptr));
    ASSERT_TRUE(tvxtest::WriteFileBytes(tree + L"\\EBWebView\\Default\\Cookies", "c"));
    ASSERT_TRUE(tvxtest::WriteFileBytes(tree + L"\\readonly.txt", "r"));
    SetFileAttributesW((tree + L"\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(tvxtest::WriteFileBytes(tree + L"\\top.log", "t"));
    ASSERT_TRUE(tvxtest::WriteFileBytes(sandbox / L"WebView2 data.txt", "neighbour"));

    DeleteFolderTree(tree.c_str());
    EXPECT_FALSE(tvxtest::PathExists(tree));
    EXPECT_TRUE(tvxtest::PathExists(sandbox / L"WebView2 data.txt")) << "only the named tree goes";
}

TEST(DeleteFolderTreeTest, LeavesFilesAndMissingPathsAlone) {
    tvxtest::TempFolder sandbox(L"tvxtree");
    std::wstring file = sandbox / L"notafolder";
    ASSERT_TRUE(tvxtest::WriteFileBytes(file, "keep"));
    DeleteFolderTree(file.c_str());
    EXPECT_EQ(tvxtest::ReadFileBytes(file), "keep");
    DeleteFolderTree((sandbox / L"missing").c_str());
    DeleteFolderTree((sandbox / L"missing\\deeper").c_str());
    EXPECT_TRUE(tvxtest::PathExists(sandbox.path()));
}

// Windows refuses a plain name beyond MAX_PATH and Wine has no such limit: with every
// first attempt made to fail, each wrapper must reach the file through its long form,
// whose "/", "." and ".." the system no longer resolves.
TEST(LongPathRetries, EveryWrapperReachesTheFileThroughTheLongForm) {
    tvxtest::TempFolder sandbox(L"tvxretry");
    const std::wstring odd = sandbox.path() + L"/x/../";  // "/" and ".." the long form must resolve
    struct PlainFailure {
        PlainFailure() { FailPlainAttemptsForTest(true); }
        ~PlainFailure() { FailPlainAttemptsForTest(false); }
    };
    {
        PlainFailure failing;
        EXPECT_EQ(CreateFolder((odd + L"sub").c_str()), CreateFolderResult::Created);
        EXPECT_EQ(CreateFolder((odd + L"none/deeper").c_str()), CreateFolderResult::PathMissing);
        UniqueCrtFile file(OpenCrtFile((odd + L"sub/./f.txt").c_str(), L"wb"));
        ASSERT_TRUE(file);
        fputs("data", file.get());
        file.reset();
        EXPECT_TRUE(SetAttributesLong((odd + L"sub/f.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_EQ(GetAttributesLong((odd + L"sub/f.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
                  DWORD{FILE_ATTRIBUTE_READONLY});
        FoundEntry record;
        EXPECT_TRUE(FindSingle((odd + L"sub/f.txt").c_str(), &record));
        EXPECT_EQ(record.size, 4u);
        DirectoryScan scan;
        scan.SetMask((odd + L"sub/*").c_str());
        EXPECT_TRUE(scan.Next(&record));
        EXPECT_FALSE(scan.Next(&record));
        EXPECT_TRUE(SetAttributesLong((odd + L"sub/f.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
        EXPECT_TRUE(DeleteFileLong((odd + L"sub/f.txt").c_str()));
        EXPECT_FALSE(FileExists((odd + L"sub/f.txt").c_str()));
    }
    EXPECT_TRUE(tvxtest::PathExists(sandbox / L"sub"));
    EXPECT_FALSE(tvxtest::PathExists(sandbox / L"x")) << "the long form resolved \"..\"";
}

TEST(ReparseTags, OnlyNameSurrogatesAndUnreadableTagsAreLinks) {
    constexpr DWORD kReparse = FILE_ATTRIBUTE_REPARSE_POINT;
    constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    struct Row {
        DWORD attributes, tag;
        bool link;
    } const rows[] = {
        {kFolder, IO_REPARSE_TAG_MOUNT_POINT, true},  // junction or mounted volume
        {kFolder, IO_REPARSE_TAG_SYMLINK, true},
        {kReparse, IO_REPARSE_TAG_SYMLINK, true},
        {kReparse, 0x8000001B, false},                // IO_REPARSE_TAG_APPEXECLINK has no surrogate bit
        {kFolder, 0x9000001A, false},                 // OneDrive folder (IO_REPARSE_TAG_CLOUD_6)
        {kReparse, 0x9000601A, false},                // a file kept online
        {kReparse, 0x80000017, false},                // compact /exe, Compact OS (IO_REPARSE_TAG_WOF)
        {kReparse, 0x80000013, false},                // deduplicated (IO_REPARSE_TAG_DEDUP)
        {kReparse, 0x8000001E, false},                // IO_REPARSE_TAG_PROJFS
        {kReparse, 0xA0000027, true},                 // IO_REPARSE_TAG_WCI_LINK_1, a name surrogate
        {kFolder, 0, true},                           // no tag to read: as a link
        {FILE_ATTRIBUTE_DIRECTORY, IO_REPARSE_TAG_SYMLINK, false},  // no reparse point at all
        {INVALID_FILE_ATTRIBUTES, IO_REPARSE_TAG_SYMLINK, false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsLinkReparseTag(row.attributes, row.tag), row.link) << std::hex << row.attributes << " " << row.tag;
}

TEST(DeleteFolderTreeTest, NeverDeletesThroughALink) {
    tvxtest::TempFolder sandbox(L"tvxtree");
    std::wstring target = sandbox / L"target";
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    ASSERT_TRUE(tvxtest::WriteFileBytes(target + L"\\precious.txt", "p"));
    std::wstring link = sandbox / L"link";
    tvxtest::LinuxSymlink unixLink;
    ASSERT_TRUE(unixLink.Make(target, link));

    // Wine reports no tag for the link (dwReserved0 is 0), which counts as a link.
    EXPECT_TRUE(IsLink(link.c_str(), GetFileAttributesW(link.c_str())));
    EXPECT_FALSE(IsLink(target.c_str(), GetFileAttributesW(target.c_str())));
    FoundEntry record;
    ASSERT_TRUE(FindSingle(link.c_str(), &record));
    EXPECT_TRUE(record.isLink);

    DeleteFolderTree(link.c_str());
    EXPECT_TRUE(tvxtest::PathExists(link)) << "the link itself is left alone";
    EXPECT_EQ(tvxtest::ReadFileBytes(target + L"\\precious.txt"), "p");
}

}  // namespace
}  // namespace tvx
