#pragma once
// Sandboxed settings files for the tests of the portable settings file: each test
// writes its own "Tervix.ini" into a temporary folder and loads it from there.

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "settings/SettingsFile.h"

namespace tvx::settingstest {

using tvxtest::Utf16Le;

inline std::string Utf16Be(const std::wstring& text, bool mark = true) {
    std::string bytes = mark ? std::string("\xFE\xFF", 2) : std::string();
    for (wchar_t c : text) {
        bytes += static_cast<char>((c >> 8) & 0xFF);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}

// Decodes a file that this program saved (UTF-16LE with mark); fails the test when the
// mark is missing or the length is odd.
inline std::wstring DecodeSavedFile(const std::string& bytes, tvxtest::Caller caller = tvxtest::Caller::current()) {
    const tvxtest::CallerTrace trace(caller);
    EXPECT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.size() % 2, 0u) << "a saved file holds whole UTF-16 units";
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') {
        ADD_FAILURE() << "a saved file starts with the byte-order mark FF FE";
        return L"";
    }
    return tvxtest::Utf16LeText(bytes);
}

class SettingsFileTest : public ::testing::Test {
protected:
    void TearDown() override {
        ReleaseSettingsFile();
        Switches() = PortableSwitches{};
    }
    // Writes the bytes as the sandbox's "Tervix.ini" and loads it.
    void Load(const std::string& bytes, tvxtest::Caller caller = tvxtest::Caller::current()) {
        const tvxtest::CallerTrace trace(caller);
        ASSERT_TRUE(tvxtest::WriteFileBytes(path, bytes));
        LoadSettingsFileFrom(path.c_str());
        ASSERT_TRUE(SettingsFileLoaded());
    }
    void LoadText(const std::wstring& text, tvxtest::Caller caller = tvxtest::Caller::current()) {
        Load(Utf16Le(text), caller);
    }
    // Saves and reads the file back as text.
    std::wstring SaveAndRead(tvxtest::Caller caller = tvxtest::Caller::current()) {
        const tvxtest::CallerTrace trace(caller);
        EXPECT_TRUE(SaveSettingsFile());
        return DecodeSavedFile(tvxtest::ReadFileBytes(path));
    }
    std::wstring Value(const wchar_t* name) {
        const wchar_t* value = FindSettingEntry(name);
        return value != nullptr ? value : L"<none>";
    }

    tvxtest::TempFolder folder{L"tvxini"};
    std::wstring path = folder / L"Tervix.ini";
};

}  // namespace tvx::settingstest
