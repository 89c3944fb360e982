#include "platform/DiskFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/Owner.h"
#include "platform/Paths.h"
#include "platform/RunOutcome.h"

namespace tvx {
namespace {

struct Captured {
    int id;
    std::wstring text;
};
std::vector<Captured> captured;

void CaptureMessage(int id, const wchar_t* text) {
    captured.push_back({id, text != nullptr ? text : L""});
}

// Every test starts and ends with a clean process-wide error record and the
// discarding hook, as the program runs.
class FileLayer : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        Errors() = ErrorState();
        ResetRunOutcome();
        SetMessageHook(nullptr);
        captured.clear();
    }
};

bool CanOpen(const std::wstring& name, DWORD access, DWORD share) {
    UniqueFileHandle file(CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
    return static_cast<bool>(file);
}

using DiskFileTest = FileLayer;

TEST_F(DiskFileTest, CreateKeepsATrailingDotOnlyThroughTheLongForm) {
    tvxtest::TempFolder sandbox(L"tvxfile");
    std::wstring dotted = sandbox / L"name.";
    {
        DiskFile file;
        ASSERT_TRUE(file.Create(dotted.c_str()));
        EXPECT_TRUE(file.newFile);
        EXPECT_STREQ(file.fileName, dotted.c_str());
        EXPECT_TRUE(file.Write("abc", 3));
        EXPECT_TRUE(file.Close());
    }
    EXPECT_TRUE(tvxtest::PathExists(L"\\\\?\\" + dotted));
    EXPECT_FALSE(tvxtest::PathExists(sandbox / L"name")) << "the system's stripped name must not be created";

    // Asked to accept the name as the system reads it, the plain name goes first.
    {
        DiskFile file;
        ASSERT_TRUE(file.Create(dotted.c_str(), kCreateKeepTrailingDot));
        file.Close();
    }
    EXPECT_TRUE(tvxtest::PathExists(sandbox / L"name"));
    DeleteFileW((L"\\\\?\\" + dotted).c_str());
}

TEST_F(DiskFileTest, DestroyingAnUnclosedCreatedFileDeletesIt) {
    tvxtest::TempFolder sandbox(L"tvxfile");
    std::wstring unclosed = sandbox / L"unclosed.tmp";
    {
        DiskFile file;
        ASSERT_TRUE(file.Create(unclosed.c_str()));
        file.Write("partial", 7);
    }
    EXPECT_FALSE(tvxtest::PathExists(unclosed)) << "a half-written file must not survive";

    std::wstring closed = sandbox / L"closed.tmp";
    {
        DiskFile file;
        ASSERT_TRUE(file.Create(closed.c_str()));
        file.Write("whole", 5);
        EXPECT_TRUE(file.Close());
        EXPECT_FALSE(file.IsOpened());
    }
    EXPECT_EQ(tvxtest::ReadFileBytes(closed), "whole");

    std::wstring kept = sandbox / L"kept.tmp";
    {
        DiskFile file;
        file.deleteIfUnclosed = false;
        ASSERT_TRUE(file.Create(kept.c_str()));
        file.Write("kept", 4);
    }
    EXPECT_EQ(tvxtest::ReadFileBytes(kept), "kept");

    // A file that was only opened is never deleted.
    {
        DiskFile file;
        ASSERT_TRUE(file.Open(closed.c_str()));
        EXPECT_FALSE(file.newFile);
    }
    EXPECT_TRUE(tvxtest::PathExists(closed));
}

TEST_F(DiskFileTest, OpeningAMissingFileReportsNotFound) {
    tvxtest::TempFolder sandbox(L"tvxfile");
    DiskFile file;
    EXPECT_FALSE(file.Open((sandbox / L"missing.ini").c_str()));
    EXPECT_EQ(file.lastErrorKind, DiskFile::kNotFound);
    EXPECT_FALSE(file.IsOpened());
    EXPECT_EQ(Errors().errorCount, 0) << "a plain open failure is only a result";

    EXPECT_FALSE(file.OpenOrReport((sandbox / L"missing.ini").c_str()));
    EXPECT_EQ(Errors().lastError, FileError::Open);
    EXPECT_EQ(Errors().errorCount, 1);

    ASSERT_TRUE(tvxtest::WriteFileBytes(sandbox / L"there.ini", "x"));
    EXPECT_TRUE(file.Open((sandbox / L"there.ini").c_str()));
    EXPECT_EQ(file.lastErrorKind, DiskFile::kNoError);

    // Through the long form alone, as for a name beyond MAX_PATH on Windows.
    FailPlainAttemptsForTest(true);
    DiskFile longFile;
    const bool opened = longFile.Open((sandbox.path() + L"/sub/../there.ini").c_str());
    const bool missing = !longFile.Open((sandbox / L"missing.ini").c_str());
    FailPlainAttemptsForTest(false);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(missing);
    EXPECT_EQ(longFile.lastErrorKind, DiskFile::kNotFound);
}

TEST_F(DiskFileTest, ZeroByteWriteSucceedsWithoutTheSystem) {
    DiskFile file;
    // No handle at all: any system call would fail.
    EXPECT_TRUE(file.Write("", 0));
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_EQ(Errors().errorCount, 0);
}

TEST_F(DiskFileTest, SeekFromTheEndAndFromTheCurrentPosition) {
    tvxtest::TempFolder sandbox(L"tvxfile");
    std::wstring name = sandbox / L"digits.bin";
    ASSERT_TRUE(tvxtest::WriteFileBytes(name, "0123456789"));
    DiskFile file;
    ASSERT_TRUE(file.Open(name.c_str()));
    EXPECT_EQ(file.FileLength(), 10);
    EXPECT_EQ(file.Tell(), 0) << "FileLength keeps the position";

    ASSERT_TRUE(file.Seek(-3, FILE_END));
    EXPECT_EQ(file.Tell(), 7);
    char buffer[8] = {};
    EXPECT_EQ(file.Read(buffer, 8), 3);
    EXPECT_STREQ(buffer, "789");
    EXPECT_EQ(file.Read(buffer, 8), 0) << "end of file";

    ASSERT_TRUE(file.Seek(4, FILE_BEGIN));
    ASSERT_TRUE(file.Seek(-2, FILE_CURRENT));
    EXPECT_EQ(file.Tell(), 2);
    ASSERT_TRUE(file.Seek(0, FILE_END));
    EXPECT_EQ(file.Tell(), 10);
    EXPECT_EQ(file.streamPosition, 3) << "counts bytes read, not seeks";

    // Seeking before the start fails and reports a seek error to the hook.
    SetMessageHook(CaptureMessage);
    EXPECT_FALSE(file.Seek(-20, FILE_END));
    ASSERT_EQ(captured.size(), 1u);
    EXPECT_EQ(captured[0].id, 11);
    EXPECT_EQ(captured[0].text, name);
    // Whether a person sees it is the hook's to decide: the program's logs it.
    EXPECT_FALSE(file.Seek(-20, FILE_CURRENT));
    EXPECT_EQ(captured.size(), 2u);
}

TEST_F(DiskFileTest, ReadFailureStopsTheFileAndRecordsTheError) {
    tvxtest::TempFolder sandbox(L"tvxfile");
    std::wstring name = sandbox / L"out.bin";
    DiskFile file;
    ASSERT_TRUE(file.Create(name.c_str(), kCreateWriteOnly));
    ASSERT_TRUE(file.Write("data", 4));
    ASSERT_TRUE(file.Seek(0, FILE_BEGIN));
    char buffer[4];
    EXPECT_EQ(file.Read(buffer, 4), 0) << "a write-only handle cannot be read";
    EXPECT_EQ(file.lastErrorKind, DiskFile::kReadFailed);
    EXPECT_TRUE(file.stopped);
    EXPECT_EQ(Errors().lastError, FileError::Read);
    EXPECT_EQ(Errors().errorCount, 1);

    DiskFile quiet;
    quiet.reportErrors = false;
    ASSERT_TRUE(quiet.Create((sandbox / L"quiet.bin").c_str(), kCreateWriteOnly));
    EXPECT_EQ(quiet.Read(buffer, 4), -1);
    EXPECT_FALSE(quiet.stopped);
    EXPECT_EQ(Errors().errorCount, 1) << "unreported";
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(quiet.Close());
}

TEST_F(DiskFileTest, SharingFollowsTheModeBits) {
    tvxtest::TempFolder sandbox(L"tvxfile");
    std::wstring name = sandbox / L"shared.txt";
    ASSERT_TRUE(tvxtest::WriteFileBytes(name, "x"));
    {
        DiskFile file;
        ASSERT_TRUE(file.Open(name.c_str()));
        EXPECT_TRUE(CanOpen(name, GENERIC_READ, FILE_SHARE_READ));
        EXPECT_FALSE(CanOpen(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE)) << "mode 0 denies writers";
    }
    {
        DiskFile file;
        ASSERT_TRUE(file.Open(name.c_str(), kOpenShareWrite));
        EXPECT_TRUE(CanOpen(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE));
    }
    {
        DiskFile file;
        ASSERT_TRUE(file.Open(name.c_str(), kOpenDenyRead));
        EXPECT_FALSE(CanOpen(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE));
    }
    {
        DiskFile file;
        ASSERT_TRUE(file.Open(name.c_str(), kOpenReadWrite));
        EXPECT_TRUE(file.Write("y", 1));
    }
    EXPECT_EQ(tvxtest::ReadFileBytes(name), "y");
    {
        DiskFile file;
        ASSERT_TRUE(file.Create(name.c_str()));
        EXPECT_FALSE(CanOpen(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE)) << "created exclusively";
        file.Close();
    }
    {
        DiskFile file;
        ASSERT_TRUE(file.Create(name.c_str(), kCreateWriteOnly | kCreateShareRead));
        EXPECT_TRUE(CanOpen(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE));
        file.Close();
    }
}

using ErrorStateTest = FileLayer;

// The file layer keeps a record of its errors and reports each one as a failure of the
// run; how the run ends is decided with every other report.
TEST_F(ErrorStateTest, EveryErrorIsCountedAndReportedAsAFailure) {
    ErrorState& errors = Errors();
    errors.Report(FileError::Close);
    EXPECT_EQ(errors.lastError, FileError::Close);
    EXPECT_EQ(FinalExitCode(), kExitFailed);
    errors.Report(FileError::Read);
    errors.Report(FileError::Close);
    EXPECT_EQ(errors.lastError, FileError::Close) << "the last one is kept";
    EXPECT_EQ(errors.errorCount, 3) << "every call counts";
}

TEST_F(ErrorStateTest, StopAndMemoryErrorEndTheOperationWithTheRunsCode) {
    try {
        Errors().Stop(FileError::Open);
        FAIL() << "no throw";
    } catch (const TVX_EXIT& exit) {
        EXPECT_EQ(exit.code, kExitFailed);
    }
    EXPECT_EQ(Errors().lastError, FileError::Open);

    SetMessageHook(CaptureMessage);
    try {
        Errors().MemoryError();
        FAIL() << "no throw";
    } catch (const TVX_EXIT& exit) {
        EXPECT_EQ(exit.code, kExitMemory);
    }
    EXPECT_EQ(Errors().lastError, FileError::Memory);
    EXPECT_EQ(Errors().errorCount, 2);
    ASSERT_EQ(captured.size(), 1u);
    EXPECT_EQ(captured[0].id, 7);
}

using GrowableArrayTest = FileLayer;

TEST_F(GrowableArrayTest, GrowsInTheFixedSteps) {
    GrowableArray<wchar_t> array;
    array.Push(L'a');
    EXPECT_EQ(array.Capacity(), 32u);
    array.Add(31);
    EXPECT_EQ(array.Capacity(), 32u) << "full, but not over";
    array.Add(96);
    EXPECT_EQ(array.Length(), 128u);
    EXPECT_EQ(array.Capacity(), 128u) << "a large step takes the new length";
    array.Push(L'z');
    EXPECT_EQ(array.Capacity(), 192u);
    EXPECT_EQ(array[0], L'a');
    EXPECT_EQ(array[128], L'z');

    GrowableArray<int64_t> positions;
    for (int64_t i = 0; i < 5000; ++i) positions.Push(i * 3);
    for (size_t i = 0; i < 5000; ++i) ASSERT_EQ(positions[i], static_cast<int64_t>(i) * 3);
    positions.SetLength(10);
    EXPECT_EQ(positions.Length(), 10u);
    positions.Clear();
    EXPECT_EQ(positions.Capacity(), 0u);
    EXPECT_EQ(positions.Data(), nullptr);
}

TEST_F(GrowableArrayTest, GrowingPastTheMaximumEndsWithExitCode8) {
    SetMessageHook(CaptureMessage);
    GrowableArray<char> array(100);
    array.Add(100);
    EXPECT_EQ(array.Length(), 100u);
    try {
        array.Push('x');
        FAIL() << "101 elements were accepted";
    } catch (const TVX_EXIT& exit) {
        EXPECT_EQ(exit.code, kExitMemory);
    }
    EXPECT_EQ(Errors().lastError, FileError::Memory);
    ASSERT_FALSE(captured.empty());
    EXPECT_EQ(captured[0].text, L"Maximum allowed array size (100) is exceeded");

    // A capacity grown beyond the maximum (90 + 22 + 32) does not let the length follow.
    GrowableArray<char> grown(100);
    grown.Add(90);
    grown.Add(5);
    ASSERT_GT(grown.Capacity(), 100u);
    EXPECT_THROW(grown.Add(10), TVX_EXIT);
    EXPECT_THROW(grown.SetLength(101), TVX_EXIT);
    EXPECT_EQ(grown.Length(), 95u);
}

}  // namespace
}  // namespace tvx
