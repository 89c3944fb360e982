#include "removal/RemovalBatch.h"

#include <windows.h>

#include <memory>
#include <new>
#include <string>

#include "platform/Strings.h"

namespace tvx {
namespace {

// Every line is formatted into a buffer of this many characters.
constexpr size_t kLineCapacity = 1024;
constexpr DWORD kLossless = WC_NO_BEST_FIT_CHARS;

bool IsAscii(std::wstring_view text) {
    for (wchar_t c : text)
        if (c >= 0x80) return false;
    return true;
}

// The interpreter reads a batch in the OEM code page; a character that converts only
// to a look-alike or to "?" would name another file, and "?" is even a wildcard to del.
bool ConvertsToOemExactly(const std::wstring& text) {
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_OEMCP, kLossless, text.c_str(), length, nullptr, 0, nullptr, &usedDefault);
    if (bytes <= 0 || usedDefault) return false;
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_OEMCP, kLossless, text.c_str(), length, narrow.data(), bytes, nullptr, &usedDefault);
    if (usedDefault) return false;
    const int back = MultiByteToWideChar(CP_OEMCP, 0, narrow.data(), bytes, nullptr, 0);
    std::wstring roundTrip(static_cast<size_t>(back), L'\0');
    MultiByteToWideChar(CP_OEMCP, 0, narrow.data(), bytes, roundTrip.data(), back);
    return roundTrip == text;
}

// How the batch names a path so that the interpreter reads back exactly that path:
// as it stands when plain ASCII, else its short form when that is plain ASCII, else
// in the OEM code page. Empty when none of these works.
std::wstring BatchName(const wchar_t* path) {
    std::wstring form = path;
    if (!IsAscii(form)) {
        wchar_t shortForm[kPathCapacity];
        const DWORD length = GetShortPathNameW(path, shortForm, static_cast<DWORD>(std::size(shortForm)));
        if (length > 0 && length < std::size(shortForm) && IsAscii(shortForm))
            form = shortForm;
        else if (!ConvertsToOemExactly(form))
            return L"";
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

void WriteCutLine(FILE* file, std::wstring line) {
    if (line.size() >= kLineCapacity) line.resize(kLineCapacity - 1);
    WriteBatchLine(file, line.c_str());
}

// The batch's own lines in the run log. They name no path: the log is UTF-8 and the
// batch speaks the OEM code page.
void WriteLogLines(FILE* file, const std::wstring& program, const std::wstring& folder, const std::wstring& log) {
    if (log.empty()) return;
    const std::wstring append = L">>" + Quoted(log) + L"\r\n";
    const std::wstring stamp = L" echo %date% %time% batch: ";
    if (!program.empty()) {
        WriteCutLine(file, L"if exist " + Quoted(program) + stamp + L"could not delete the program file" + append);
        WriteCutLine(file, L"if not exist " + Quoted(program) + stamp + L"deleted the program file" + append);
    }
    if (!folder.empty()) {
        WriteCutLine(file, L"if exist " + Quoted(folder) + stamp + L"left the install folder" + append);
        WriteCutLine(file, L"if not exist " + Quoted(folder) + stamp + L"deleted the install folder" + append);
    }
}

}  // namespace

void WriteBatchLine(FILE* file, const wchar_t* line) {
    const int bytes = WideCharToMultiByte(CP_OEMCP, 0, line, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::unique_ptr<char[]> narrow(new (std::nothrow) char[static_cast<size_t>(bytes)]);
    if (!narrow) return;
    WideCharToMultiByte(CP_OEMCP, 0, line, -1, narrow.get(), bytes, nullptr, nullptr);
    fwrite(narrow.get(), 1, static_cast<size_t>(bytes - 1), file);
}

bool WriteBatchLines(FILE* file, const wchar_t* programPath, const wchar_t* installFolder, const wchar_t* batchPath,
                     bool silent, const wchar_t* logPath) {
    const std::wstring program = BatchName(programPath);
    const std::wstring folder = BatchName(installFolder);
    const std::wstring batch = BatchName(batchPath);

    if (!program.empty()) WriteCutLine(file, Quoted(program) + L" /wait\r\n");
    std::wstring attempt;
    if (!program.empty()) attempt += L"del " + Quoted(program) + L"\r\n";
    if (!folder.empty()) attempt += L"rd " + Quoted(folder) + L"\r\n";
    if (!program.empty()) attempt += L"if not exist " + Quoted(program) + L" goto done\r\n";
    if (attempt.size() >= kLineCapacity) attempt.resize(kLineCapacity - 1);
    for (int i = 0; i < 5 && !attempt.empty(); ++i) WriteBatchLine(file, attempt.c_str());
    WriteBatchLine(file, L":done\r\n");
    if (logPath) WriteLogLines(file, program, folder, BatchName(logPath));
    if (!silent && !program.empty())
        WriteCutLine(file, L"if exist " + Quoted(program) + L" " + Quoted(program) + L" /warning\r\n");
    if (!batch.empty()) WriteCutLine(file, L"del " + Quoted(batch) + L"\r\n");
    return !program.empty() && !folder.empty();
}

}  // namespace tvx
