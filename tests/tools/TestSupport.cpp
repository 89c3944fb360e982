#include "TestSupport.h"

#include <shlobj.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/Owner.h"

namespace tvxtest {
namespace {

using tvx::UniqueFileHandle;
using tvx::UniqueFindHandle;
using tvx::UniqueHandle;
using tvx::UniqueHkey;
using tvx::UniqueModule;

std::wstring UnixToWindows(const char* variable) {
    const char* value = getenv(variable);
    if (!value || !*value) return L"";
    std::wstring path = L"Z:";
    for (const char* p = value; *p; ++p) path += (*p == '/') ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

}  // namespace

std::wstring BuildDir() { return UnixToWindows("TVX_BUILD_DIR"); }
std::wstring SourceDir() { return UnixToWindows("TVX_SOURCE_DIR"); }
std::wstring UninstallExe() { return BuildDir() + L"\\Uninstall.exe"; }

std::wstring SetupProgram(const std::wstring& which) {
    const std::wstring folder = BuildDir() + L"\\test-packages\\" + which + L"\\";
    const std::vector<std::wstring> names = FileNames(folder + L"Tervix-*-setup.exe");
    return names.empty() ? L"" : folder + names.front();
}

std::wstring TempPath() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

std::wstring ProgramOfTest() {
    wchar_t path[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    return path;
}

std::wstring ProgramFolderOfTest() {
    const std::wstring program = ProgramOfTest();
    return program.substr(0, program.find_last_of(L'\\'));
}

std::wstring KnownFolder(int csidl) {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring StringTableText(UINT id, HMODULE module) {
    wchar_t text[4096] = {};
    LoadStringW(module ? module : GetModuleHandleW(nullptr), id, text, 4096);
    return text;
}

std::wstring ProgramText(UINT id) {
    const UniqueModule program(LoadLibraryExW(UninstallExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    return program ? StringTableText(id, program.get()) : L"";
}

TempFolder::TempFolder(const wchar_t* tag) {
    const std::wstring temp = TempPath();
    for (unsigned n = GetTickCount() ^ GetCurrentProcessId();; ++n) {
        wchar_t candidate[MAX_PATH + 64];
        swprintf(candidate, MAX_PATH + 64, L"%ls%ls-%08x", temp.c_str(), tag, n);
        if (CreateDirectoryW(candidate, nullptr)) {
            path_ = candidate;
            break;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
}

TempFolder::~TempFolder() {
    if (!path_.empty()) RemoveTree(path_);
}

CurrentFolder::CurrentFolder(const std::wstring& folder) {
    wchar_t previous[MAX_PATH * 4] = {};
    GetCurrentDirectoryW(MAX_PATH * 4, previous);
    previous_ = previous;
    ok_ = SetCurrentDirectoryW(folder.c_str()) != FALSE;
}

CurrentFolder::~CurrentFolder() { SetCurrentDirectoryW(previous_.c_str()); }

void RemoveTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        for (const std::wstring& name : FileNames(path + L"\\*")) RemoveTree(path + L"\\" + name);
        RemoveDirectoryW(path.c_str());
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(path.c_str());
    } else {
        DeleteFileW(path.c_str());
    }
}

std::vector<std::wstring> FileNames(const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    const UniqueFindHandle find(FindFirstFileW(pattern.c_str(), &data));
    if (!find) return names;
    do {
        if (wcscmp(data.cFileName, L".") && wcscmp(data.cFileName, L"..")) names.push_back(data.cFileName);
    } while (FindNextFileW(find.get(), &data));
    return names;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    if (!file) return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    return bytes;
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD intervalMs) {
    const ULONGLONG start = GetTickCount64();
    while (GetTickCount64() - start < timeoutMs) {
        if (done()) return true;
        Sleep(intervalMs);
    }
    return done();
}

bool WaitUntilGone(const std::wstring& path, DWORD timeoutMs) {
    return WaitUntil([&] { return !PathExists(path); }, timeoutMs, 100);
}

std::vector<std::wstring> ReadUtf8Lines(const std::wstring& path) {
    const std::wstring text = Widen(ReadFileBytes(path));
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string Narrow(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::wstring Widen(const std::string& utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

std::string Utf16Le(const std::wstring& text, bool mark) {
    std::string bytes = mark ? std::string("\xFF\xFE", 2) : std::string();
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

std::wstring Utf16LeText(const std::string& bytes) {
    const size_t start = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE' ? 2 : 0;
    std::wstring text;
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        const unsigned char low = static_cast<unsigned char>(bytes[i]);
        const unsigned char high = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<wchar_t>(low | high << 8);
    }
    return text;
}

void DeleteRegTree(HKEY root, const std::wstring& key, REGSAM view) {
    UniqueHkey handle;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | view, handle.put()) == ERROR_SUCCESS) {
        wchar_t name[256];
        for (;;) {
            DWORD length = 256;
            if (RegEnumKeyExW(handle.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            DeleteRegTree(root, key + L"\\" + name, view);
            // A subkey that cannot be deleted would make the loop endless.
            if (RegKeyExists(root, key + L"\\" + name, view)) break;
        }
    }
    handle.reset();
    RegDeleteKeyExW(root, key.c_str(), view, 0);
}

bool RegKeyExists(HKEY root, const std::wstring& key, REGSAM view) {
    UniqueHkey handle;
    return RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, handle.put()) == ERROR_SUCCESS;
}

bool RegReadString(HKEY root, const std::wstring& key, const std::wstring& name, std::wstring* value, REGSAM view) {
    UniqueHkey handle;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, handle.put()) != ERROR_SUCCESS) return false;
    std::vector<wchar_t> data(8192, 0);
    DWORD bytes = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
    DWORD type = 0;
    LONG result =
        RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    value->assign(data.data());
    return true;
}

bool RegReadDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD* value, REGSAM view) {
    UniqueHkey handle;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, handle.put()) != ERROR_SUCCESS) return false;
    DWORD bytes = sizeof(DWORD), type = 0;
    LONG result = RegQueryValueExW(handle.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes);
    return result == ERROR_SUCCESS && type == REG_DWORD;
}

namespace {

bool RegWriteValue(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const void* data,
                   DWORD bytes, REGSAM view) {
    UniqueHkey handle;
    return RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, handle.put(), nullptr) ==
               ERROR_SUCCESS &&
           RegSetValueExW(handle.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), bytes) == ERROR_SUCCESS;
}

}  // namespace

bool RegWriteString(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value,
                    REGSAM view) {
    return RegWriteValue(root, key, name, REG_SZ, value.c_str(),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)), view);
}

bool RegWriteDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD value, REGSAM view) {
    return RegWriteValue(root, key, name, REG_DWORD, &value, sizeof value, view);
}

void RegDeleteValue(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view) {
    UniqueHkey handle;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE | view, handle.put()) == ERROR_SUCCESS)
        RegDeleteValueW(handle.get(), name.c_str());
}

Process::~Process() {
    if (handle_ && WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(handle_.get(), 1);
}

Process::Process(Process&& other) noexcept : handle_(std::move(other.handle_)), id_(std::exchange(other.id_, 0)) {}

bool Process::Start(const std::wstring& commandLine, const std::wstring& folder, const std::wstring& extraEnvironment) {
    std::vector<wchar_t> environment;
    if (!extraEnvironment.empty()) {
        // The current block, then the overrides; a later duplicate name does not win on
        // Windows, so drop the current entries that the overrides name.
        std::vector<std::wstring> overrides;
        for (size_t start = 0; start < extraEnvironment.size();) {
            size_t end = extraEnvironment.find(L'\n', start);
            if (end == std::wstring::npos) end = extraEnvironment.size();
            overrides.push_back(extraEnvironment.substr(start, end - start));
            start = end + 1;
        }
        wchar_t* block = GetEnvironmentStringsW();
        const tvx::ScopeGuard freeBlock([block] { FreeEnvironmentStringsW(block); });
        for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
            std::wstring entry = p;
            bool replaced = false;
            for (const auto& o : overrides) {
                size_t eq = o.find(L'=');
                if (_wcsnicmp(entry.c_str(), o.c_str(), eq + 1) == 0) replaced = true;
            }
            if (!replaced) environment.insert(environment.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
        }
        for (const auto& o : overrides) environment.insert(environment.end(), o.c_str(), o.c_str() + o.size() + 1);
        environment.push_back(0);
    }
    return Launch(commandLine, folder, std::move(environment), nullptr);
}

bool Process::StartWithoutRights(const std::wstring& commandLine, const std::wstring& folder) {
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return false;
    const UniqueHandle ownToken(own);
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    if (!GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) return false;
    const UniqueHandle limited(linked.LinkedToken);
    HANDLE primary = nullptr;
    if (!DuplicateTokenEx(limited.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, &primary))
        return false;
    const UniqueHandle primaryToken(primary);
    return Launch(commandLine, folder, {}, primary);
}

bool Process::Launch(const std::wstring& commandLine, const std::wstring& folder, std::vector<wchar_t> environment,
                     HANDLE token) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // On a loaded machine Wine now and then fails to start a process at once, before
    // the program has run a single instruction; such a failure is reported and the
    // start tried again. A program that cannot start fails every try.
    constexpr int kTries = 3;
    for (int attempt = 1;; ++attempt) {
        void* block = environment.empty() ? nullptr : environment.data();
        const wchar_t* current = folder.empty() ? nullptr : folder.c_str();
        if (token ? CreateProcessAsUserW(token, nullptr, line.data(), nullptr, nullptr, FALSE,
                                         CREATE_UNICODE_ENVIRONMENT, block, current, &startup, &info)
                  : CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, block,
                                   current, &startup, &info))
            break;
        DWORD error = GetLastError();
        fprintf(stderr, "process start %d of %d failed with error %lu: %ls\n", attempt, kTries,
                static_cast<unsigned long>(error), commandLine.c_str());
        fflush(stderr);
        if (attempt == kTries) return false;
        Sleep(250);
    }
    const UniqueHandle thread(info.hThread);
    handle_.reset(info.hProcess);
    id_ = info.dwProcessId;
    return true;
}

bool Process::Wait(DWORD timeoutMs, DWORD* exitCode) {
    if (!handle_ || WaitForSingleObject(handle_.get(), timeoutMs) != WAIT_OBJECT_0) return false;
    if (exitCode) GetExitCodeProcess(handle_.get(), exitCode);
    return true;
}

void Process::Kill() {
    if (handle_) TerminateProcess(handle_.get(), 1);
}

long RunAndWait(const std::wstring& commandLine, DWORD timeoutMs, const std::wstring& folder,
                const std::wstring& extraEnvironment) {
    Process process;
    if (!process.Start(commandLine, folder, extraEnvironment)) return -1;
    DWORD code = 0;
    if (!process.Wait(timeoutMs, &code)) return -1;
    return static_cast<long>(code);
}

void DumpRegistry(HKEY root, const std::wstring& path, RegistryDump* out) {
    UniqueHkey owned;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, owned.put()) != ERROR_SUCCESS) return;
    (*out)[path] = L"<key>";
    DWORD valueCount = 0, longestName = 0, longestData = 0;
    RegQueryInfoKeyW(owned.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount, &longestName,
                     &longestData, nullptr, nullptr);
    std::vector<wchar_t> name(longestName + 2);
    std::vector<BYTE> data(longestData + 2);
    for (DWORD index = 0; index < valueCount; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size()), type = 0, size = static_cast<DWORD>(data.size());
        if (RegEnumValueW(owned.get(), index, name.data(), &nameLength, nullptr, &type, data.data(), &size) !=
            ERROR_SUCCESS)
            continue;
        static const wchar_t kDigits[] = L"0123456789abcdef";
        std::wstring text = std::to_wstring(type) + L":";
        for (DWORD i = 0; i < size; ++i) {
            text += kDigits[data[i] >> 4];
            text += kDigits[data[i] & 15];
        }
        (*out)[path + L"\\[" + name.data() + L"]"] = text;
    }
    std::vector<std::wstring> subkeys;
    wchar_t subkey[256];
    for (DWORD index = 0, length = 256;
         RegEnumKeyExW(owned.get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = 256)
        subkeys.push_back(subkey);
    owned.reset();
    for (const std::wstring& child : subkeys) DumpRegistry(root, path.empty() ? child : path + L"\\" + child, out);
}

std::wstring DescribeChanges(const RegistryDump& before, const RegistryDump& after) {
    std::wstring text;
    int shown = 0;
    auto note = [&](const std::wstring& line) {
        if (++shown <= 15) text += line + L"\n";
    };
    for (const auto& [name, value] : before) {
        auto found = after.find(name);
        if (found == after.end()) {
            note(L"removed " + name);
        } else if (found->second != value) {
            note(L"changed " + name);
        }
    }
    for (const auto& [name, value] : after) {
        if (before.find(name) == before.end()) note(L"added " + name);
    }
    if (shown > 15) text += std::to_wstring(shown - 15) + L" more\n";
    return text;
}

std::map<std::wstring, std::string> FilesBelow(const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    std::vector<std::wstring> pending{L""};
    while (!pending.empty()) {
        const std::wstring relative = pending.back();
        pending.pop_back();
        const std::wstring base = relative.empty() ? folder : folder + L"\\" + relative;
        for (const std::wstring& name : FileNames(base + L"\\*")) {
            const std::wstring entry = relative.empty() ? name : relative + L"\\" + name;
            const DWORD attributes = GetFileAttributesW((folder + L"\\" + entry).c_str());
            if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                files[entry + L"\\"] = "";
                pending.push_back(entry);
            } else
                files[entry] = ReadFileBytes(folder + L"\\" + entry);
        }
    }
    return files;
}

std::wstring ClassDefault(const std::wstring& key) {
    std::wstring value;
    return RegReadString(HKEY_CLASSES_ROOT, key, L"", &value) ? value : L"<none>";
}

bool SeparateAppPathsViews() {
    const wchar_t kWow[] = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths";
    const wchar_t kProbe[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TvxViewProbe.exe";
    UniqueHkey link;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWow, REG_OPTION_OPEN_LINK, DELETE | KEY_WOW64_64KEY, link.put()) ==
        ERROR_SUCCESS)
        RegDeleteKeyW(link.get(), L"");
    link.reset();
    UniqueHkey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kWow, 0, nullptr, 0, KEY_READ | KEY_WOW64_64KEY, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    key.reset();
    if (!RegWriteString(HKEY_LOCAL_MACHINE, kProbe, L"", L"probe")) return false;
    const bool apart = !RegKeyExists(HKEY_LOCAL_MACHINE, kProbe, KEY_WOW64_32KEY);
    DeleteRegTree(HKEY_LOCAL_MACHINE, kProbe);
    return apart;
}

std::wstring LocaleOfRun() {
    wchar_t name[256] = {};
    const DWORD length = GetEnvironmentVariableW(L"TVX_LOCALE", name, 256);
    return length > 0 && length < 256 ? name : L"";
}

}  // namespace tvxtest
