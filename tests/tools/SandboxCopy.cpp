#include "SandboxCopy.h"

#include <cstdio>

namespace tvxtest {
namespace {

constexpr wchar_t kCopyMarker[] = L"TVX_SANDBOX_COPY";

// The command line without its first argument (the program path), as Windows parses it.
const wchar_t* ArgumentsAfterProgram(const wchar_t* commandLine) {
    const wchar_t* p = commandLine;
    bool quoted = false;
    for (; *p && (quoted || (*p != L' ' && *p != L'\t')); ++p)
        if (*p == L'"') quoted = !quoted;
    return p;
}

}  // namespace

bool RunningInSandboxCopy() { return GetEnvironmentVariableW(kCopyMarker, nullptr, 0) > 0; }

SandboxCopy::SandboxCopy(const std::wstring& subfolder) : sandbox_(L"tvxcopy") {
    folder_ = subfolder.empty() ? sandbox_.path() : sandbox_ / subfolder;
    if (!subfolder.empty() && !CreateDirectoryW(folder_.c_str(), nullptr)) return;
    const std::wstring self = ProgramOfTest();
    program_ = *this / self.substr(self.find_last_of(L'\\') + 1);
    copied_ = CopyFileW(self.c_str(), program_.c_str(), FALSE) != 0;
}

void SandboxCopy::Put(const std::wstring& name, const std::string& bytes, Caller caller) {
    const CallerTrace trace(caller);
    EXPECT_TRUE(WriteFileBytes(*this / name, bytes)) << "cannot write the stand-in file";
}

void SandboxCopy::PutTool(const std::wstring& exeName, Caller caller) {
    const CallerTrace trace(caller);
    EXPECT_TRUE(CopyFileW((BuildDir() + L"\\tools\\" + exeName).c_str(), (*this / exeName).c_str(), FALSE))
        << "build the test tools first";
}

::testing::AssertionResult SandboxCopy::RunTest(const std::string& fullName, const std::wstring& environment,
                                                DWORD timeoutMs) {
    if (!copied_) return ::testing::AssertionFailure() << "the test program could not be copied";
    std::string filter = fullName;
    if (filter.empty()) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        filter = std::string(info->test_suite_name()) + "." + info->name();
    }
    const std::wstring report = sandbox_ / L"report.xml";
    const std::wstring commandLine = L"\"" + program_ + L"\" --gtest_also_run_disabled_tests --gtest_filter=" +
                                     Widen(filter) + L" \"--gtest_output=xml:" + report + L"\"";
    const std::wstring marker = std::wstring(kCopyMarker) + L"=1";
    const long code =
        RunAndWait(commandLine, timeoutMs, folder_, environment.empty() ? marker : marker + L"\n" + environment);
    const std::string xml = ReadFileBytes(report);
    if (code != 0) return ::testing::AssertionFailure() << "the sandbox copy ended with " << code;
    if (xml.find("tests=\"1\" failures=\"0\"") == std::string::npos)
        return ::testing::AssertionFailure() << "the sandbox copy did not run the test: " << xml.substr(0, 300);
    return ::testing::AssertionSuccess();
}

DWORD SandboxCopy::RunWholeProgram() {
    // Never run in place: the build folder would receive the files.
    auto refuse = [](const char* step) {
        fprintf(stderr, "cannot %s the test program into a sandbox folder (error %lu)\n", step, GetLastError());
        return DWORD{1};
    };
    if (!copied_) return refuse("copy");
    std::wstring commandLine = L"\"" + program_ + L"\"" + ArgumentsAfterProgram(GetCommandLineW());
    SetEnvironmentVariableW(kCopyMarker, L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return refuse("start");
    const tvx::UniqueHandle thread(process.hThread), started(process.hProcess);
    WaitForSingleObject(started.get(), INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(started.get(), &exitCode);
    return exitCode;
}

bool RanInSandboxCopy(const std::function<void(SandboxCopy&)>& prepare, Caller caller) {
    if (RunningInSandboxCopy()) return false;
    const CallerTrace trace(caller);
    SandboxCopy copy;
    if (prepare) prepare(copy);
    EXPECT_TRUE(copy.RunCurrentTest());
    return true;
}

}  // namespace tvxtest
