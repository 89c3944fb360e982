#include "removal/RemovalBatch.h"

#include <windows.h>

#include <memory>
#include <new>
#include <string>

#include "platform/Strings.h"

namespace tvx {
namespace {

// Between two attempts: the program that started the batch is still closing and holds
// its file a little longer. PING waits a second between its two echoes and is on every
// Windows; the command interpreter has no pause of its own that works without a console.
constexpr wchar_t kPauseLine[] = L"\"%SystemRoot%\\System32\\PING.EXE\" -n 2 127.0.0.1 >nul\r\n";
// No helper instance of ours waits for the program's end: the attempts themselves do.
constexpr int kAttempts = 10;

bool IsAscii(std::wstring_view text) {
    for (wchar_t c : text)
        if (c >= 0x80) return false;
    return true;
}

// Code pages whose conversion refuses WC_NO_BEST_FIT_CHARS and a default-character
// pointer (the call then fails outright); for them only the round trip tells.
bool RefusesLossReport(UINT codePage) {
    return codePage == CP_UTF7 || codePage == CP_UTF8 || codePage == 42 || (codePage >= 50220 && codePage <= 50229) ||
           codePage == 52936 || codePage == 54936 || (codePage >= 57002 && codePage <= 57011);
}

// A character that converts only to a look-alike or to "?" would name another file,
// and "?" is even a wildcard to del. Under UTF-8 every character converts but a lone
// surrogate, which WC_ERR_INVALID_CHARS refuses; the round trip catches every other loss.
bool ConvertsExactly(const std::wstring& text, UINT codePage) {
    const int length = static_cast<int>(text.size());
    DWORD flags = 0;
    BOOL usedDefault = FALSE;
    BOOL* reportDefault = nullptr;
    if (codePage == CP_UTF8 || codePage == 54936) {
        flags = WC_ERR_INVALID_CHARS;
    } else if (!RefusesLossReport(codePage)) {
        flags = WC_NO_BEST_FIT_CHARS;
        reportDefault = &usedDefault;
    }
    const int bytes = WideCharToMultiByte(codePage, flags, text.c_str(), length, nullptr, 0, nullptr, reportDefault);
    if (bytes <= 0 || usedDefault) return false;
    std::string narrow(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(codePage, flags, text.c_str(), length, narrow.data(), bytes, nullptr, reportDefault) !=
            bytes ||
        usedDefault)
        return false;
    const int back = MultiByteToWideChar(codePage, 0, narrow.data(), bytes, nullptr, 0);
    if (back <= 0) return false;
    std::wstring roundTrip(static_cast<size_t>(back), L'\0');
    MultiByteToWideChar(codePage, 0, narrow.data(), bytes, roundTrip.data(), back);
    return roundTrip == text;
}

// How the batch names a path so that the interpreter reads back exactly that path: as
// it stands when the batch's code page holds it exactly (plain ASCII always), else by
// its short form when that is plain ASCII (a volume may have no short names at all).
// Empty when neither works.
std::wstring BatchName(const wchar_t* path, UINT codePage) {
    std::wstring form = path;
    if (!IsAscii(form) && !ConvertsExactly(form, codePage)) {
        wchar_t shortForm[kPathCapacity];
        const DWORD length = GetShortPathNameW(path, shortForm, static_cast<DWORD>(std::size(shortForm)));
        if (length == 0 || length >= std::size(shortForm) || !IsAscii(shortForm)) return L"";
        form = shortForm;
    }
    // A single "%" would start a variable.
    std::wstring escaped;
    for (wchar_t c : form) {
        escaped += c;
        if (c == L'%') escaped += L'%';
    }
    return escaped;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// One command per line, written whole: the interpreter reads lines far longer than
// any path, and a cut line would run two commands together.
void WriteLineIn(FILE* file, const wchar_t* line, UINT codePage) {
    const int bytes = WideCharToMultiByte(codePage, 0, line, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::unique_ptr<char[]> narrow(new (std::nothrow) char[static_cast<size_t>(bytes)]);
    if (!narrow) return;
    WideCharToMultiByte(codePage, 0, line, -1, narrow.get(), bytes, nullptr, nullptr);
    fwrite(narrow.get(), 1, static_cast<size_t>(bytes - 1), file);
}

// The batch's own lines in the run log. They name no path: the log is UTF-8 and the
// batch speaks the OEM code page.
template <typename Write>
void WriteLogLines(Write write, const std::wstring& program, const std::wstring& folder, const std::wstring& log) {
    if (log.empty()) return;
    const std::wstring append = L">>" + Quoted(log) + L"\r\n";
    const std::wstring stamp = L" echo %date% %time% batch: ";
    if (!program.empty()) {
        write(L"if exist " + Quoted(program) + stamp + L"could not delete the program file" + append);
        write(L"if not exist " + Quoted(program) + stamp + L"deleted the program file" + append);
    }
    if (!folder.empty()) {
        write(L"if exist " + Quoted(folder) + stamp + L"left the install folder" + append);
        write(L"if not exist " + Quoted(folder) + stamp + L"deleted the install folder" + append);
    }
}

}  // namespace

void WriteBatchLine(FILE* file, const wchar_t* line) { WriteLineIn(file, line, GetOEMCP()); }

bool WriteBatchLines(FILE* file, const wchar_t* programPath, const wchar_t* installFolder, bool silent,
                     const wchar_t* logPath, UINT codePage) {
    // The interpreter reads a batch in the OEM code page; under the UTF-8 code page
    // (65001) that is UTF-8, without a byte-order mark, which it would read as a command.
    if (codePage == CP_OEMCP) codePage = GetOEMCP();
    const bool removesFolder = installFolder && *installFolder;
    const std::wstring program = BatchName(programPath, codePage);
    const std::wstring folder = removesFolder ? BatchName(installFolder, codePage) : L"";
    auto write = [&](const std::wstring& line) { WriteLineIn(file, line.c_str(), codePage); };

    if (!program.empty() || !folder.empty()) {
        for (int attempt = 1; attempt <= kAttempts; ++attempt) {
            if (!program.empty()) write(L"del " + Quoted(program) + L"\r\n");
            if (!folder.empty()) write(L"rd " + Quoted(folder) + L"\r\n");
            if (!program.empty()) write(L"if not exist " + Quoted(program) + L" goto done\r\n");
            if (attempt < kAttempts) write(kPauseLine);
        }
    }
    write(L":done\r\n");
    if (logPath) WriteLogLines(write, program, folder, BatchName(logPath, codePage));
    // Only a program file left in the install folder is worth a word to the user; one
    // left in the private folder is out of everybody's way.
    if (!silent && removesFolder && !program.empty())
        write(L"if exist " + Quoted(program) + L" " + Quoted(program) + L" /warning\r\n");
    return !program.empty() && (!removesFolder || !folder.empty());
}

}  // namespace tvx
