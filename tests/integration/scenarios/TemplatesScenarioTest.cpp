// The New-menu template files that setup writes next to the program.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ScenarioSupport.h"
#include "TestSupport.h"
#include "integration/NewMenu.h"
#include "removal/Cleanup.h"

namespace tvx {
namespace {

// Bitwise CRC-32 with the polynomial of ZIP and PNG, written independently of the
// program, which keeps precomputed values only.
uint32_t Crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

uint32_t LittleEndian32(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

uint16_t LittleEndian16(const std::string& bytes, size_t offset) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                 static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

class Templates : public ::testing::Test {
protected:
    std::wstring Write(bool isNative) {
        wchar_t path[2048] = {};
        EXPECT_TRUE(WriteTemplateFile(isNative, path, 2048));
        return path;
    }
    void TearDown() override {
        DeleteFileW((folder_ + L"\\tvxnew.dat").c_str());
        DeleteFileW((folder_ + L"\\zipnew.dat").c_str());
    }
    const std::wstring folder_ = tvxtest::ProgramFolderOfTest();
};

TEST_F(Templates, NativeTemplateIsTheEmptyArchiveWithMatchingChecksums) {
    const std::wstring path = Write(true);
    EXPECT_EQ(path, folder_ + L"\\tvxnew.dat");
    const std::string bytes = tvxtest::ReadFileBytes(path);
    const std::string expected("Tvx!\x1A\x07\x01\x00"
                               "\xC1\xDF\x5F\x56"
                               "\x03\x01\x04\x00"
                               "\x1D\x77\x56\x51"
                               "\x03\x05\x04\x00",
                               24);
    EXPECT_EQ(bytes, expected);
    ASSERT_EQ(bytes.size(), 24u);
    EXPECT_EQ(LittleEndian32(bytes, 8), Crc32(bytes.substr(12, 4))) << "archive header checksum";
    EXPECT_EQ(LittleEndian32(bytes, 16), Crc32(bytes.substr(20, 4))) << "end-of-archive header checksum";
}

TEST_F(Templates, ZipTemplateIsAnEndOfCentralDirectoryWithoutEntries) {
    const std::wstring path = Write(false);
    EXPECT_EQ(path, folder_ + L"\\zipnew.dat");
    const std::string bytes = tvxtest::ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 22u);
    // What a ZIP reader looks for: the record at the very end, nothing before it.
    EXPECT_EQ(LittleEndian32(bytes, 0), 0x06054B50u);
    EXPECT_EQ(LittleEndian16(bytes, 8), 0) << "entries on this disk";
    EXPECT_EQ(LittleEndian16(bytes, 10), 0) << "entries in total";
    EXPECT_EQ(LittleEndian32(bytes, 12), 0u) << "directory size";
    EXPECT_EQ(LittleEndian32(bytes, 16), 0u) << "directory offset";
    EXPECT_EQ(LittleEndian16(bytes, 20), 0) << "comment length";
}

TEST_F(Templates, FileOfTheRightLengthIsKeptAndAnyOtherLengthRewritten) {
    const std::string other(24, 'x');
    ASSERT_TRUE(tvxtest::WriteFileBytes(folder_ + L"\\tvxnew.dat", other));
    Write(true);
    EXPECT_EQ(tvxtest::ReadFileBytes(folder_ + L"\\tvxnew.dat"), other);

    ASSERT_TRUE(tvxtest::WriteFileBytes(folder_ + L"\\tvxnew.dat", std::string(25, 'x')));
    Write(true);
    EXPECT_EQ(tvxtest::ReadFileBytes(folder_ + L"\\tvxnew.dat").substr(0, 4), "Tvx!");
    EXPECT_EQ(tvxtest::ReadFileBytes(folder_ + L"\\tvxnew.dat").size(), 24u);

    ASSERT_TRUE(tvxtest::WriteFileBytes(folder_ + L"\\zipnew.dat", std::string(21, 'x')));
    Write(false);
    EXPECT_EQ(tvxtest::ReadFileBytes(folder_ + L"\\zipnew.dat").substr(0, 4), "PK\x05\x06");
}

TEST_F(Templates, UninstallDeletesTheTemplatesThatStillHoldTheirBytes) {
    const std::wstring native = Write(true), zip = Write(false);
    // Same length, other content: a file the user put there, which setup never rewrites.
    std::string changed = tvxtest::ReadFileBytes(zip);
    changed[21] = 'x';
    ASSERT_TRUE(tvxtest::WriteFileBytes(zip, changed));

    std::vector<std::wstring> notRemoved;
    EXPECT_FALSE(RemoveTemplateFiles(&notRemoved)) << "nothing is left for a restart";
    EXPECT_TRUE(notRemoved.empty());
    EXPECT_FALSE(tvxtest::PathExists(native));
    EXPECT_EQ(tvxtest::ReadFileBytes(zip), changed);
}

}  // namespace
}  // namespace tvx
