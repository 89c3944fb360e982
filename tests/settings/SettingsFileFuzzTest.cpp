// A bounded, seeded run of damaged and random settings files: loading must never crash
// or hang, whatever was loaded must survive a save and a reload unchanged, and a file
// that could not be read whole is never written.

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
#include <string>

#include "SettingsFileTestSupport.h"
#include "TestSupport.h"
#include "settings/SettingsFile.h"

namespace tvx::settingstest {
namespace {

constexpr unsigned kSeed = 20261208;
constexpr int kRounds = 400;

// Starting points that reach every branch of detection and parsing.
std::string Sample(int which) {
    switch (which % 5) {
        case 0:
            return Utf16Le(L"Global\\Integration=0\r\nHKCU\\Setup\\ShellExt=1\r\n"
                           L"HKCU\\Setup\\.zip\\Type=\"Tervix.ZIP\"\r\n"
                           L"key=bin:00ff\r\n[x]\r\n;c\r\n\u4E2D=\u6587\r\n");
        case 1:
            return "\xEF\xBB\xBF" "HKCU\\Paths\\TempFolder=\"C:\\caf\xC3\xA9\"\r\nGlobal\\SaveSettings=1\r\na=\"b\r\n";
        case 2:
            return Utf16Be(L"HKLM\\Capabilities\\Name=\"Tervix\"\r\nx=y\r\n");
        case 3:
            return "plain=ansi \xE9\xFF\r\n\r\nname =value\t \r\n=\r\n\"q=1\r\n";
        default:
            return Utf16Le(L"\u4E2D\u6587");
    }
}

// Mutations that keep some structure: flips, inserted separators and marks, cuts.
std::string Mutate(std::string bytes, std::mt19937& random) {
    static const char* const kPieces[] = {"\r", "\n", "=", "\"", "bin:", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF",
                                          "\0", "\xC3", "\x80", "[", "Global\\Integration="};
    int edits = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < edits; ++i) {
        size_t at = bytes.empty() ? 0 : random() % (bytes.size() + 1);
        switch (random() % 4) {
            case 0:
                if (at < bytes.size()) bytes[at] = static_cast<char>(random() & 0xFF);
                break;
            case 1: {
                const char* piece = kPieces[random() % std::size(kPieces)];
                bytes.insert(at, piece, *piece == '\0' ? 1 : std::strlen(piece));
                break;
            }
            case 2:
                bytes.erase(at, random() % 6);
                break;
            default:
                bytes.resize(at);
                break;
        }
    }
    return bytes;
}

std::string RandomBytes(std::mt19937& random) {
    std::string bytes(random() % 600, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    // A mark in front now and then, so that the random body meets every decoder.
    static const char* const kMarks[] = {"", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF"};
    return kMarks[random() % 4] + bytes;
}

using SettingsFileFuzz = SettingsFileTest;

TEST_F(SettingsFileFuzz, DamagedAndRandomFilesLoadAndRoundTrip) {
    std::mt19937 random(kSeed);
    int savedRounds = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::string bytes = (round % 3 == 2) ? RandomBytes(random) : Mutate(Sample(round), random);
        SCOPED_TRACE(testing::Message() << "round " << round << ", seed " << kSeed);

        ReleaseSettingsFile();
        Switches() = PortableSwitches{};
        ASSERT_TRUE(tvxtest::WriteFileBytes(path, bytes));
        LoadSettingsFileFrom(path.c_str());
        ASSERT_TRUE(SettingsFileLoaded());
        // Every load ends with the three switches present, whatever the file held.
        ASSERT_NE(FindSettingEntry(L"Global\\AppData"), nullptr);
        ASSERT_NE(FindSettingEntry(L"Global\\Integration"), nullptr);
        ASSERT_NE(FindSettingEntry(L"Global\\SaveSettings"), nullptr);

        Switches().saveSettings = true;  // a damaged switch must not stop the round trip
        SetSettingEntry(L"Fuzz\\Round", std::to_wstring(round).c_str(), SettingKind::Plain);
        if (!SaveSettingsFile()) {
            // Only a file that was not read whole is refused, and it stays as it was.
            ASSERT_EQ(tvxtest::ReadFileBytes(path), bytes);
            continue;
        }
        ++savedRounds;
        std::string saved = tvxtest::ReadFileBytes(path);
        ASSERT_EQ(saved.substr(0, 2), "\xFF\xFE");

        // Reading back what was saved and saving again gives the same bytes: the writer
        // never produces a line that the reader takes differently.
        ReleaseSettingsFile();
        LoadSettingsFileFrom(path.c_str());
        ASSERT_TRUE(SettingsFileLoaded());
        Switches().saveSettings = true;
        SetSettingEntry(L"Fuzz\\Round", L"changed", SettingKind::Plain);
        SetSettingEntry(L"Fuzz\\Round", std::to_wstring(round).c_str(), SettingKind::Plain);
        ASSERT_TRUE(SaveSettingsFile());
        ASSERT_EQ(tvxtest::ReadFileBytes(path), saved);
    }
    EXPECT_GT(savedRounds, kRounds / 4) << "most damaged files are still read whole";
}

}  // namespace
}  // namespace tvx::settingstest
