// The self-removal batch, byte for byte: its lines, and how it names paths so that the
// command interpreter (which reads the OEM code page) reads back exactly those paths.

#include "removal/RemovalBatch.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace {

const wchar_t kProgram[] = L"C:\\Program Files\\Tervix\\Uninstall.exe";
const wchar_t kFolder[] = L"C:\\Program Files\\Tervix";
const wchar_t kMovedProgram[] = L"C:\\users\\me\\Temp\\TvxUninstall-0f\\Uninstall.exe";
// A second between two attempts.
const std::string kPause = "\"%SystemRoot%\\System32\\PING.EXE\" -n 2 127.0.0.1 >nul\r\n";

struct BatchResult {
    std::string bytes;
    bool everythingNamed;
};

BatchResult WriteBatch(const wchar_t* program, const wchar_t* folder, bool silent, const wchar_t* log = nullptr) {
    tvxtest::TempFolder sandbox(L"tvxbatch");
    const std::wstring path = sandbox / L"batch.bat";
    tvx::UniqueCrtFile file(_wfopen(path.c_str(), L"wb"));
    EXPECT_TRUE(file);
    if (!file) return {};
    const bool named = tvx::WriteBatchLines(file.get(), program, folder, silent, log);
    file.reset();
    return {tvxtest::ReadFileBytes(path), named};
}

std::string Repeat(const std::string& text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) result += text;
    return result;
}

std::string FirstLine(const std::string& bytes) { return bytes.substr(0, bytes.find('\n') + 1); }

// The program file has left the install folder: the batch touches nothing else, runs
// nothing of ours, and has nothing to tell the user.
TEST(BatchText, MovedProgramIsDeletedInTenAttemptsAndNothingElse) {
    const BatchResult batch = WriteBatch(kMovedProgram, nullptr, false);
    const std::string attempt =
        "del \"C:\\users\\me\\Temp\\TvxUninstall-0f\\Uninstall.exe\"\r\n"
        "if not exist \"C:\\users\\me\\Temp\\TvxUninstall-0f\\Uninstall.exe\" goto done\r\n";
    EXPECT_EQ(batch.bytes, Repeat(attempt + kPause, 9) + attempt + ":done\r\n");
    EXPECT_TRUE(batch.everythingNamed);
}

// The program file could not leave the install folder (another volume): the batch
// removes both after the program has ended, as it always did, and warns when its file stays.
TEST(BatchText, ProgramLeftInTheInstallFolderGoesWithTheFolderAndWarnsWhenItStays) {
    const BatchResult batch = WriteBatch(kProgram, kFolder, false);
    const std::string attempt =
        "del \"C:\\Program Files\\Tervix\\Uninstall.exe\"\r\n"
        "rd \"C:\\Program Files\\Tervix\"\r\n"
        "if not exist \"C:\\Program Files\\Tervix\\Uninstall.exe\" goto done\r\n";
    EXPECT_EQ(batch.bytes, Repeat(attempt + kPause, 9) + attempt +
                               ":done\r\n"
                               "if exist \"C:\\Program Files\\Tervix\\Uninstall.exe\" "
                               "\"C:\\Program Files\\Tervix\\Uninstall.exe\" /warning\r\n");
    EXPECT_TRUE(batch.everythingNamed);
}

TEST(BatchText, SilentRunHasNoWarningLine) {
    const BatchResult batch = WriteBatch(kProgram, kFolder, true);
    EXPECT_EQ(batch.bytes.find("/warning"), std::string::npos);
    size_t lines = 0;
    for (char c : batch.bytes) lines += c == '\n';
    EXPECT_EQ(lines, 40u);
    EXPECT_EQ(batch.bytes.substr(batch.bytes.size() - 7), ":done\r\n");
}

// The batch reports to the run log before it deletes itself, without naming paths.
TEST(BatchText, RunLogGetsTheBatchsOwnLinesBeforeItDeletesItself) {
    const BatchResult batch = WriteBatch(kProgram, kFolder, true, L"C:\\Logs 1\\run.log");
    const std::string log = ">>\"C:\\Logs 1\\run.log\"\r\n";
    const std::string program = "\"C:\\Program Files\\Tervix\\Uninstall.exe\"";
    const std::string folder = "\"C:\\Program Files\\Tervix\"";
    EXPECT_EQ(batch.bytes.substr(batch.bytes.find(":done")),
              ":done\r\n"
              "if exist " + program + " echo %date% %time% batch: could not delete the program file" + log +
              "if not exist " + program + " echo %date% %time% batch: deleted the program file" + log +
              "if exist " + folder + " echo %date% %time% batch: left the install folder" + log +
              "if not exist " + folder + " echo %date% %time% batch: deleted the install folder" + log);
}

TEST(BatchText, PercentSignsAreDoubled) {
    const BatchResult batch =
        WriteBatch(L"C:\\Apps 100%\\%x%\\Uninstall.exe", L"C:\\Apps 100%\\%x%", true);
    EXPECT_EQ(FirstLine(batch.bytes), "del \"C:\\Apps 100%%\\%%x%%\\Uninstall.exe\"\r\n");
    EXPECT_NE(batch.bytes.find("rd \"C:\\Apps 100%%\\%%x%%\"\r\n"), std::string::npos);
    EXPECT_EQ(batch.bytes.find("100%\\"), std::string::npos);
}

TEST(BatchText, NonAsciiPathWithoutShortFormIsWrittenInTheOemCodePage) {
    ASSERT_EQ(GetOEMCP(), 437u);
    // The folder does not exist, so there is no short form; "é" is 0x82 in code page 437
    // (0xE9 in the ANSI code page 1252, which the interpreter would misread).
    const BatchResult batch = WriteBatch(L"C:\\Caf\u00e9\\Uninstall.exe", L"C:\\Caf\u00e9", true);
    EXPECT_EQ(FirstLine(batch.bytes), "del \"C:\\Caf\x82\\Uninstall.exe\"\r\n");
    EXPECT_NE(batch.bytes.find("rd \"C:\\Caf\x82\"\r\n"), std::string::npos);
    EXPECT_EQ(batch.bytes.find('\xe9'), std::string::npos);
    EXPECT_TRUE(batch.everythingNamed);
}

TEST(BatchText, EveryCommandHasALineOfItsOwnAtAnyLength) {
    // 250 characters of "%" signs: each doubled, the old shared attempt line ran past
    // 1,023 characters and was cut.
    const std::wstring folder = L"C:\\" + std::wstring(250, L'%');
    const std::wstring program = folder + L"\\Uninstall.exe";
    const BatchResult batch = WriteBatch(program.c_str(), folder.c_str(), false);
    const std::string named = "\"C:\\" + std::string(500, '%') + "\\Uninstall.exe\"";
    const std::string attempt = "del " + named + "\r\nrd \"C:\\" + std::string(500, '%') + "\"\r\nif not exist " + named +
                                " goto done\r\n";
    EXPECT_EQ(batch.bytes, Repeat(attempt + kPause, 9) + attempt + ":done\r\nif exist " + named + " " + named +
                               " /warning\r\n");
}

// Paths that have no short form (the folders do not exist), named in each code page as
// the interpreter reads it, or left out where that code page cannot hold them.
TEST(BatchText, PathsWithoutShortFormAreNamedExactlyInEveryCodePage) {
    struct Row {
        UINT codePage;
        const wchar_t* folder;
        const char* named;  // nullptr: the commands are left out
    } const rows[] = {
        {437, L"C:\\Caf\u00e9", "C:\\Caf\x82"},
        {437, L"C:\\\u041a\u0430\u0444\u0435", nullptr},
        {437, L"C:\\r\u00e9sum\u0113", nullptr},  // no best-fit "e" for the macron
        {866, L"C:\\\u041a\u0430\u0444\u0435", "C:\\\x8a\xa0\xe4\xa5"},
        {65001, L"C:\\\u041a\u0430\u0444\u0435 \u0939\u093f", "C:\\\xd0\x9a\xd0\xb0\xd1\x84\xd0\xb5 \xe0\xa4\xb9\xe0\xa4\xbf"},
        {65001, L"C:\\Caf\u00e9", "C:\\Caf\xc3\xa9"},
        {65001, L"C:\\bad\xd800", nullptr},  // a lone surrogate has no UTF-8 form
        {932, L"C:\\\u4e2d", "C:\\\x92\x86"},
    };
    for (const Row& row : rows) {
        const std::wstring program = std::wstring(row.folder) + L"\\Uninstall.exe";
        std::string bytes;
        {
            tvxtest::TempFolder sandbox(L"tvxcp");
            const std::wstring path = sandbox / L"batch.bat";
            tvx::UniqueCrtFile file(_wfopen(path.c_str(), L"wb"));
            ASSERT_TRUE(file);
            const bool named =
                tvx::WriteBatchLines(file.get(), program.c_str(), row.folder, true, nullptr, row.codePage);
            file.reset();
            bytes = tvxtest::ReadFileBytes(path);
            EXPECT_EQ(named, row.named != nullptr) << row.codePage;
        }
        if (row.named) {
            // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "literal" + std::string.
            std::string quoted = "\"";
            quoted += row.named;
            EXPECT_EQ(FirstLine(bytes), "del " + quoted + "\\Uninstall.exe\"\r\n") << row.codePage;
            EXPECT_NE(bytes.find("rd " + quoted + "\"\r\n"), std::string::npos) << row.codePage;
        } else {
            EXPECT_EQ(bytes, ":done\r\n") << row.codePage;
        }
    }
}

TEST(BatchText, PathThatCannotBeNamedLosesItsCommands) {
    // Cyrillic letters have no place in code page 437 and the path has no short form.
    const BatchResult batch =
        WriteBatch(L"C:\\\u041a\u0430\u0444\u0435\\Uninstall.exe", L"C:\\\u041a\u0430\u0444\u0435", false);
    EXPECT_EQ(batch.bytes, ":done\r\n");
    EXPECT_FALSE(batch.everythingNamed);
    // A "?" left by a lossy conversion would be a wildcard to del.
    EXPECT_EQ(batch.bytes.find('?'), std::string::npos);
}

TEST(BatchText, ExistingNonAsciiPathIsNamedByItsAsciiShortForm) {
    tvxtest::TempFolder sandbox(L"tvxshort");
    const std::wstring folder = sandbox / L"Apps 100% \u00e9 \u0416";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring program = folder + L"\\Uninstall.exe";
    ASSERT_TRUE(tvxtest::WriteFileBytes(program, "MZ"));

    const BatchResult batch = WriteBatch(program.c_str(), folder.c_str(), true);
    ASSERT_TRUE(batch.everythingNamed);
    for (char c : batch.bytes) ASSERT_EQ(static_cast<unsigned char>(c) & 0x80, 0) << batch.bytes;

    // The first line names the program; with "%%" read as "%" it is the same file.
    const size_t end = batch.bytes.find("\"\r\n");
    ASSERT_EQ(batch.bytes.rfind("del \"", 0), 0u);
    ASSERT_NE(end, std::string::npos);
    std::string named = batch.bytes.substr(5, end - 5);
    for (size_t at; (at = named.find("%%")) != std::string::npos;) named.erase(at, 1);
    wchar_t longForm[1024];
    ASSERT_GT(GetLongPathNameW(std::wstring(named.begin(), named.end()).c_str(), longForm, 1024), 0u);
    EXPECT_EQ(_wcsicmp(longForm, program.c_str()), 0) << named;
}

TEST(BatchText, EachLineIsConvertedToTheOemCodePageWithoutTerminator) {
    tvxtest::TempFolder sandbox(L"tvxline");
    const std::wstring path = sandbox / L"line.bat";
    tvx::UniqueCrtFile file(_wfopen(path.c_str(), L"wb"));
    ASSERT_TRUE(file);
    tvx::WriteBatchLine(file.get(), L"rd \"\u00e9\"\r\n");
    tvx::WriteBatchLine(file.get(), L"");
    tvx::WriteBatchLine(file.get(), L"x");
    file.reset();
    EXPECT_EQ(tvxtest::ReadFileBytes(path), "rd \"\x82\"\r\nx");
}

}  // namespace
