#include "platform/RunLog.h"

#include <cwchar>

#include "platform/Owner.h"
#include "platform/RunOutcome.h"

namespace tvx {
namespace {

constexpr DWORD kLogPathCapacity = 2048;

UniqueFileHandle logFile;
std::wstring logPath;

std::wstring TimeStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
    return text;
}

std::wstring SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    UniqueLocalMem owned(buffer);
    std::wstring text = length > 0 && buffer ? std::wstring(buffer, length) : L"";
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    return text;
}

// ": error 5 (Access is denied.)"
std::wstring ErrorText(DWORD error) {
    std::wstring text = L": error " + std::to_wstring(error);
    const std::wstring message = SystemMessage(error);
    if (!message.empty()) text += L" (" + message + L")";
    return text;
}

void WriteUtf8(const std::wstring& line) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(logFile.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

bool OpenRunLog(const wchar_t* path) {
    CloseRunLog();
    wchar_t full[kLogPathCapacity];
    const DWORD length = GetFullPathNameW(path, kLogPathCapacity, full, nullptr);
    if (length == 0 || length >= kLogPathCapacity) return false;
    // Shared for reading and writing, so that the log can be watched while it grows.
    logFile.reset(CreateFileW(full, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!logFile) return false;
    logPath = full;
    return true;
}

void CloseRunLog() {
    logFile.reset();
    logPath.clear();
}

const std::wstring& RunLogPath() { return logPath; }

void LogAction(const std::wstring& text) {
    if (logFile) WriteUtf8(TimeStamp() + text + L"\r\n");
}

void LogFailure(const std::wstring& what, DWORD error) {
    ReportOutcome(error == ERROR_ACCESS_DENIED ? Outcome::Refused : Outcome::Failed);
    if (logFile) LogAction(L"FAILED " + what + ErrorText(error));
}

void LogNotDone(const std::wstring& what, DWORD error) {
    if (logFile) LogAction(L"could not " + what + ErrorText(error) + L"; left as it is");
}

std::wstring RegistryName(HKEY root, const std::wstring& path, REGSAM view) {
    const wchar_t* rootName = root == HKEY_CURRENT_USER    ? L"HKCU"
                              : root == HKEY_LOCAL_MACHINE ? L"HKLM"
                              : root == HKEY_CLASSES_ROOT  ? L"HKCR"
                                                           : L"HKEY";
    std::wstring name = std::wstring(rootName) + L"\\" + path;
    if (view & KEY_WOW64_32KEY) name += L" (32-bit view)";
    return name;
}

}  // namespace tvx
