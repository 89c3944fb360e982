#pragma once
// The shell integration works on the files next to the running program (the shell
// extension DLLs, the menu package installer, the shortcut targets). Its in-process
// scenarios therefore run from a copy of the test program in a sandbox folder: the
// test case starts that copy with a filter naming itself, and the copy, seeing the
// marker variable, runs the body.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "TestSupport.h"

namespace tvxtest {

inline bool RunningInSandboxCopy() { return GetEnvironmentVariableW(L"TVX_SANDBOX_COPY", nullptr, 0) > 0; }

// The folder of the running program, without trailing backslash.
inline std::wstring ProgramFolderOfTest() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.resize(folder.find_last_of(L'\\'));
    return folder;
}

class SandboxCopy {
public:
    SandboxCopy() : folder_(L"tvxshell") {
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        copied_ = CopyFileW(self, (folder_ / L"ShellTests.exe").c_str(), FALSE) != 0;
    }

    const std::wstring& path() const { return folder_.path(); }
    std::wstring operator/(const std::wstring& name) const { return folder_ / name; }

    // A small stand-in file next to the program copy.
    void Put(const std::wstring& name, const std::string& bytes = "stand-in") {
        EXPECT_TRUE(WriteFileBytes(folder_ / name, bytes)) << "cannot write the stand-in file";
    }
    // One of the stand-in programs of the build's tools folder.
    void PutTool(const std::wstring& exeName) {
        EXPECT_TRUE(CopyFileW((BuildDir() + L"\\tools\\" + exeName).c_str(), (folder_ / exeName).c_str(), FALSE))
            << "build the test tools first";
    }

    // Runs the current test case in the copy. Succeeds only when the copy ran exactly
    // that one test and it passed.
    ::testing::AssertionResult RunCurrentTest(DWORD timeoutMs = 180000) {
        if (!copied_) return ::testing::AssertionFailure() << "the test program could not be copied";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string filter = std::string(info->test_suite_name()) + "." + info->name();
        const std::wstring report = folder_ / L"report.xml";
        const std::wstring commandLine = L"\"" + (folder_ / L"ShellTests.exe") + L"\" --gtest_filter=" +
                                         std::wstring(filter.begin(), filter.end()) + L" \"--gtest_output=xml:" +
                                         report + L"\"";
        const long code = RunAndWait(commandLine, timeoutMs, folder_.path(), L"TVX_SANDBOX_COPY=1");
        const std::string xml = ReadFileBytes(report);
        if (code != 0) return ::testing::AssertionFailure() << "the sandbox copy ended with " << code;
        if (xml.find("tests=\"1\" failures=\"0\"") == std::string::npos) {
            return ::testing::AssertionFailure() << "the sandbox copy did not run the test: " << xml.substr(0, 300);
        }
        return ::testing::AssertionSuccess();
    }

private:
    TempFolder folder_;
    bool copied_ = false;
};

}  // namespace tvxtest
