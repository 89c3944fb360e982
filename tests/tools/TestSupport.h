#pragma once
// Helpers shared by the test programs: where the build is, sandboxes that clean up
// after themselves, and starting programs.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <source_location>
#include <string>
#include <vector>

#include "platform/Owner.h"

namespace tvxtest {

// A shared helper that checks something names the line of the test that called it in
// its failures, beside its own:
//     void Helper(..., Caller caller = Caller::current()) { const CallerTrace trace(caller); ... }
using Caller = std::source_location;
class CallerTrace {
public:
    explicit CallerTrace(const Caller& caller)
        : trace_(caller.file_name(), static_cast<int>(caller.line()), "called from here") {}

private:
    ::testing::ScopedTrace trace_;
};

// Windows form of the build folder and the source folder (from TVX_BUILD_DIR and
// TVX_SOURCE_DIR, which the Wine runners set), without trailing backslash.
std::wstring BuildDir();
std::wstring SourceDir();
std::wstring UninstallExe();
// The real setup program that scripts/package.sh built for the tests from this build's
// program: "current" (this version) or "earlier" (an older version with its own payload).
// Empty when there is none.
std::wstring SetupProgram(const std::wstring& which = L"current");
// The temporary folder, with its trailing backslash.
std::wstring TempPath();
// The running test program, and its folder without trailing backslash.
std::wstring ProgramOfTest();
std::wstring ProgramFolderOfTest();
// A special folder of the shell (a CSIDL_ value), empty when there is none.
std::wstring KnownFolder(int csidl);
// A text of a module's string table (null: this test program's own), read with the
// system's loader, not the program's; empty when the table lacks it.
std::wstring StringTableText(UINT id, HMODULE module = nullptr);
// A text of the built Uninstall.exe, as a user sees it without a language file.
std::wstring ProgramText(UINT id);

// A fresh folder below the temporary folder, deleted with everything in it at the end.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* tag = L"tvxtest");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Makes a folder the current one while it lives, and puts the previous one back.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::wstring& folder);
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;
    bool ok() const { return ok_; }

private:
    std::wstring previous_;
    bool ok_ = false;
};

// Recursive delete that also clears read-only attributes; never follows reparse points.
void RemoveTree(const std::wstring& path);
// The names (without their folder, "." and ".." left out) that a FindFirstFileW pattern
// such as "C:\\Folder\\*" matches, in the order the system lists them.
std::vector<std::wstring> FileNames(const std::wstring& pattern);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool PathExists(const std::wstring& path);

// Asks `done` every intervalMs until it holds, for at most timeoutMs; true when it held.
// It is asked once more at the deadline, so that what came just in time counts.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD intervalMs = 50);
// Waits until the path is gone (a batch or another process deleting it); false at the deadline.
bool WaitUntilGone(const std::wstring& path, DWORD timeoutMs);
// The complete lines (each ended by a line feed) of a UTF-8 text file.
std::vector<std::wstring> ReadUtf8Lines(const std::wstring& path);

// UTF-8, for failure messages, text files and the Linux side; and back.
std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& utf8);
// A text as UTF-16LE bytes, as Windows programs save it, with or without the byte-order
// mark; and the text of such bytes (after the mark, when they start with one).
std::string Utf16Le(const std::wstring& text, bool mark = true);
std::wstring Utf16LeText(const std::string& bytes);

// Registry: whole-tree delete and simple value access for checks.
void DeleteRegTree(HKEY root, const std::wstring& key, REGSAM view = 0);
bool RegKeyExists(HKEY root, const std::wstring& key, REGSAM view = 0);
bool RegReadString(HKEY root, const std::wstring& key, const std::wstring& name, std::wstring* value,
                   REGSAM view = 0);
bool RegReadDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD* value, REGSAM view = 0);
bool RegWriteString(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& value,
                    REGSAM view = 0);
bool RegWriteDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD value, REGSAM view = 0);
void RegDeleteValue(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view = 0);
// Every key and value below root\path: one entry per key ("path" = "<key>") and per
// value ("path\[name]" = its type and data), for telling what a run changed.
using RegistryDump = std::map<std::wstring, std::wstring>;
void DumpRegistry(HKEY root, const std::wstring& path, RegistryDump* out);
// A few lines naming what was added, removed or changed between two dumps, for a
// readable failure; empty when nothing was.
std::wstring DescribeChanges(const RegistryDump& before, const RegistryDump& after);
// Every file below a folder, by its path relative to the folder, with its contents, and
// every folder there ("name\\", empty); links are not followed.
std::map<std::wstring, std::string> FilesBelow(const std::wstring& folder);
// The default value of a classes-root key, "<none>" when the key or the value is missing.
std::wstring ClassDefault(const std::wstring& key);
// Wine links the 32-bit view of HKLM\...\App Paths to the 64-bit one, where Windows keeps
// two keys: a write to either view would show in both. In a fresh prefix, replaces the
// link by a key of its own; true when the two views are then apart.
bool SeparateAppPathsViews();
// The Linux locale a locale suite runs under (TVX_LOCALE, set by its own ctest entry in
// tests/e2e/CMakeLists.txt); empty in the ordinary run, which skips those suites.
std::wstring LocaleOfRun();

// A started process; the destructor waits a moment and then ends it if still running.
class Process {
public:
    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&&) = delete;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts a command line in a folder (empty: current). Environment overrides are
    // "NAME=value" pairs separated by line feeds, added to this process's environment.
    bool Start(const std::wstring& commandLine, const std::wstring& folder = L"",
               const std::wstring& extraEnvironment = L"");
    // Starts it as Windows starts a program for an administrator who has not confirmed
    // an elevation: with the account's linked, limited token, without administrator
    // rights. Wine gives every program the full token unless asked so.
    bool StartWithoutRights(const std::wstring& commandLine, const std::wstring& folder = L"");
    // Waits up to timeoutMs; true with the exit code when the process ended.
    bool Wait(DWORD timeoutMs, DWORD* exitCode = nullptr);
    void Kill();
    DWORD id() const { return id_; }
    HANDLE handle() const { return handle_.get(); }

private:
    bool Launch(const std::wstring& commandLine, const std::wstring& folder, std::vector<wchar_t> environment,
                HANDLE token);
    tvx::UniqueHandle handle_;
    DWORD id_ = 0;
};

// Runs a command line to its end (at most timeoutMs) and returns its exit code, or
// -1 when it did not start or did not end in time.
long RunAndWait(const std::wstring& commandLine, DWORD timeoutMs = 60000, const std::wstring& folder = L"",
                const std::wstring& extraEnvironment = L"");

}  // namespace tvxtest
