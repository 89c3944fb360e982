// How much the language file costs: parsing a file of the largest size that is read
// (2 MB of text after the marker), 100,000 lookups by id, and, given the program, its
// start-up ("/msi", which shows nothing) with such a file beside it and without one.
//
//   lang_bench.exe                          parse and lookup figures
//   lang_bench.exe <Uninstall.exe> [runs]   the same, then the start-up comparison; the
//                                           program's folder receives uninstall.lng
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "lang/Language.h"

namespace {

constexpr size_t kTextBytes = 0x200000;

double Milliseconds(LARGE_INTEGER start, LARGE_INTEGER end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// Every known key under its header, then translated-looking filler lines with quotes and
// escapes until the text after the marker fills the read limit.
std::wstring LargestLanguageText() {
    std::wstring text = L"Benchmark language file\r\n***messages***\r\n";
    size_t markerAt = text.find(L"***");
    std::string section;
    for (size_t i = 0; i < tvx::KnownKeyCount; ++i) {
        std::string name = tvx::KnownKeyTable[i].name;
        size_t colon = name.find(':');
        std::string kind = name.substr(0, colon);
        if (kind != section) {
            std::string header = kind == "s" ? ":STRINGS" : ":DIALOG " + kind.substr(1);
            text += std::wstring(header.begin(), header.end()) + L"\r\n";
            section = kind;
        }
        std::string key = name.substr(colon + 1);
        text += std::wstring(key.begin(), key.end()) + L"  \"\x00DC" L"bersetzung von " +
                std::wstring(name.begin(), name.end()) + L"\\n\"\r\n";
    }
    text += L":STRINGS\r\n";
    wchar_t line[256];
    for (unsigned n = 0; (text.size() - markerAt) * 2 < kTextBytes; ++n) {
        swprintf(line, 256,
                 L"IDS_FILLER%06u \"Eine l\x00E4ngere \\\"\x00DC" L"bersetzung\\\" mit Tab\\t und Zeilenumbruch\\n Nr. %u\"\r\n",
                 n, n);
        text += line;
    }
    text.resize(markerAt + kTextBytes / 2);
    return text;
}

bool WriteUtf16File(const std::wstring& path, const std::wstring& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::wstring withMark = L"\xFEFF" + text;
    DWORD written = 0;
    bool ok = WriteFile(file, withMark.data(), static_cast<DWORD>(withMark.size() * 2), &written, nullptr) != 0;
    CloseHandle(file);
    return ok;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double RunProgram(const std::wstring& program) {
    std::wstring commandLine = L"\"" + program + L"\" /msi";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER start = Now();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, 60000);
    LARGE_INTEGER end = Now();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return Milliseconds(start, end);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + L"tvx-lang-bench-" + std::to_wstring(GetCurrentProcessId()) + L".lng";
    std::wstring text = LargestLanguageText();
    if (!WriteUtf16File(path, text)) {
        std::fprintf(stderr, "cannot write %ls\n", path.c_str());
        return 1;
    }

    std::vector<double> parses;
    for (int round = 0; round < 5; ++round) {
        tvx::ReleaseLanguage();
        LARGE_INTEGER start = Now();
        tvx::ParseLanguageFile(path.c_str());
        parses.push_back(Milliseconds(start, Now()));
    }
    DeleteFileW(path.c_str());
    std::printf("parse 2 MB UTF-16 language file: %zu entries, median %.1f ms (of 5)\n", tvx::LanguageEntryCount(),
                Median(parses));

    // Lookups the way the program makes them: strings by id, dialog controls by id.
    struct Query {
        int kind;
        uint32_t id;
        std::wstring container;
    };
    std::vector<Query> queries;
    for (size_t i = 0; i < tvx::KnownKeyCount; ++i) {
        std::string name = tvx::KnownKeyTable[i].name;
        if (tvx::KnownKeyTable[i].id == 0) continue;
        std::string kind = name.substr(0, name.find(':'));
        if (kind == "s") {
            queries.push_back({tvx::kKindString, tvx::KnownKeyTable[i].id, L""});
        } else {
            queries.push_back({tvx::kKindDialog, tvx::KnownKeyTable[i].id, std::wstring(kind.begin() + 1, kind.end())});
        }
    }
    constexpr int kLookups = 100000;
    wchar_t buffer[1024];
    int found = 0;
    LARGE_INTEGER start = Now();
    for (int i = 0; i < kLookups; ++i) {
        const Query& q = queries[i % queries.size()];
        found += tvx::LookupById(q.kind, q.id, q.container.empty() ? nullptr : q.container.c_str(), buffer, 1024);
    }
    double lookups = Milliseconds(start, Now());
    std::printf("100000 lookups by id: %.1f ms (%.0f ns each), %d found\n", lookups, lookups * 1e6 / kLookups, found);
    tvx::ReleaseLanguage();

    if (argc < 2) return 0;
    std::wstring program = argv[1];
    int runs = argc > 2 ? std::max(1, _wtoi(argv[2])) : 15;
    std::wstring beside = program.substr(0, program.find_last_of(L'\\') + 1) + L"uninstall.lng";
    DeleteFileW(beside.c_str());
    RunProgram(program);  // warm the caches once
    std::vector<double> without;
    std::vector<double> with;
    for (int round = 0; round < runs; ++round) {
        // Alternating keeps drifts of the machine out of the comparison.
        DeleteFileW(beside.c_str());
        without.push_back(RunProgram(program));
        if (!WriteUtf16File(beside, text)) {
            std::fprintf(stderr, "cannot write %ls\n", beside.c_str());
            return 1;
        }
        with.push_back(RunProgram(program));
    }
    DeleteFileW(beside.c_str());
    double a = Median(without);
    double b = Median(with);
    std::printf("start-up \"/msi\" without language file: median %.1f ms (of %d)\n", a, runs);
    std::printf("start-up \"/msi\" with 2 MB language file: median %.1f ms (of %d)\n", b, runs);
    std::printf("ratio: %.2f (aim: at most 1.30)\n", b / a);
    return 0;
}
