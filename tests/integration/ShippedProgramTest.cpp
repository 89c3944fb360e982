// The shipped Uninstall.exe as a file: it carries both New-menu template images, but
// never a complete archive signature, so that scanners and Tervix itself never take
// the program for an archive.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"

namespace {

TEST(ShippedProgram, HoldsTheTemplateImagesWithoutTheirSignatures) {
    const std::string program = tvxtest::ReadFileBytes(tvxtest::UninstallExe());
    ASSERT_GT(program.size(), 10000u) << "cannot read the built Uninstall.exe";

    EXPECT_EQ(program.find(std::string("Tvx!\x1A\x07\x01\x00", 8)), std::string::npos);
    EXPECT_EQ(program.find(std::string("PK\x05\x06", 4)), std::string::npos);
    // The images themselves are there, first byte zero: the scan above looks at the
    // program that writes the templates.
    const std::string nativeImage("\0vx!\x1A\x07\x01\x00\xC1\xDF\x5F\x56\x03\x01\x04\x00", 16);
    EXPECT_NE(program.find(nativeImage), std::string::npos);
    EXPECT_NE(program.find(std::string("\0K\x05\x06", 4) + std::string(18, '\0')), std::string::npos);
}

}  // namespace
