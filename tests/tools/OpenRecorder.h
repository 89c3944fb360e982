#pragma once
// Registers build/tools/OpenRecorder.exe as the program the shell starts to open a kind
// of file, folder or web address, and reads back what it was given. Only for fresh
// prefixes: the registrations replace the prefix's own.

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace tvxtest {

class OpenRecorder {
public:
    explicit OpenRecorder(std::wstring recordFile) : record_(std::move(recordFile)) {}

    // HKCR\<className>\shell\<verb>\command = the recorder, tagged with the verb. Any
    // DDE route of the verb goes, so that the shell takes the command.
    void RegisterVerb(const std::wstring& className, const std::wstring& verb) const {
        std::wstring key = className + L"\\shell\\" + verb;
        DeleteRegTree(HKEY_CLASSES_ROOT, key + L"\\ddeexec");
        DeleteRegTree(HKEY_CLASSES_ROOT, key + L"\\DropTarget");
        std::wstring command = L"\"" + BuildDir() + L"\\tools\\OpenRecorder.exe\" \"" + record_ + L"\" " + verb + L" \"%1\"";
        RegWriteString(HKEY_CLASSES_ROOT, key + L"\\command", L"", command);
    }

    // A scheme of addresses that Windows itself handles ("ms-settings:"), opened through
    // the recorder.
    void RegisterScheme(const std::wstring& scheme) const {
        RegWriteString(HKEY_CLASSES_ROOT, scheme, L"URL Protocol", L"");
        RegisterVerb(scheme, L"open");
    }

    // Every line recorded so far, as "<verb>|<target>".
    std::vector<std::wstring> Lines() const { return ReadUtf8Lines(record_); }

    // Waits until at least `count` lines are there (the shell starts the recorder on its own).
    std::vector<std::wstring> WaitForLines(size_t count, DWORD timeoutMs = 20000) const {
        std::vector<std::wstring> lines;
        WaitUntil([&] { return (lines = Lines()).size() >= count; }, timeoutMs);
        return lines;
    }

private:
    std::wstring record_;
};

}  // namespace tvxtest
