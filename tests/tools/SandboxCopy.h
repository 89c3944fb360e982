#pragma once
// Code that works in "this program's folder" (the shell extension DLLs, the menu package
// installer, shortcut targets, New-menu templates, the help file, the portable settings
// file) is tested from a copy of the test program in a sandbox folder of its own, never
// in the build folder. The copy knows itself by a marker variable.

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "TestSupport.h"

namespace tvxtest {

// True in a copy that a SandboxCopy started.
bool RunningInSandboxCopy();

class SandboxCopy {
public:
    // Copies the running program into a fresh sandbox folder, or into the folder
    // `subfolder` made inside it.
    explicit SandboxCopy(const std::wstring& subfolder = L"");
    SandboxCopy(const SandboxCopy&) = delete;
    SandboxCopy& operator=(const SandboxCopy&) = delete;

    // The sandbox, and the folder that holds the copy (the sandbox itself unless a
    // subfolder was asked for).
    const TempFolder& sandbox() const { return sandbox_; }
    const std::wstring& path() const { return folder_; }
    const std::wstring& program() const { return program_; }
    std::wstring operator/(const std::wstring& name) const { return folder_ + L"\\" + name; }

    // A small stand-in file next to the copy.
    void Put(const std::wstring& name, const std::string& bytes = "stand-in", Caller caller = Caller::current());
    // One of the stand-in programs of the build's tools folder, next to the copy.
    void PutTool(const std::wstring& exeName, Caller caller = Caller::current());

    // Runs one test case (by default the current one; a disabled one too) in the copy,
    // with environment overrides ("NAME=value" lines). Succeeds only when the copy ran
    // exactly that one test and it passed.
    ::testing::AssertionResult RunTest(const std::string& fullName = "", const std::wstring& environment = L"",
                                       DWORD timeoutMs = 180000);
    ::testing::AssertionResult RunCurrentTest(DWORD timeoutMs = 180000) { return RunTest("", L"", timeoutMs); }
    // Runs the copy with this process's own arguments and standard streams; its exit
    // code, or 1 when it could not start.
    DWORD RunWholeProgram();

private:
    TempFolder sandbox_;
    std::wstring folder_;
    std::wstring program_;
    bool copied_ = false;
};

// The body of a test that runs in a sandbox copy starts with
//     if (RanInSandboxCopy(prepare)) return;
// In the test program itself this copies the program, lets `prepare` put what the case
// needs beside the copy, runs the case in the copy and checks that it passed; then it is
// true. In the copy it is false, and the body goes on.
bool RanInSandboxCopy(const std::function<void(SandboxCopy&)>& prepare = nullptr, Caller caller = Caller::current());

}  // namespace tvxtest
