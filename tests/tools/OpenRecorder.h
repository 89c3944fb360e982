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

    // Every line recorded so far, as "<verb>|<target>".
    std::vector<std::wstring> Lines() const {
        std::string bytes = ReadFileBytes(record_);
        int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
        std::wstring text(static_cast<size_t>(size), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
        std::vector<std::wstring> lines;
        size_t start = 0;
        for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    // Waits until at least `count` lines are there (the shell starts the recorder on its own).
    std::vector<std::wstring> WaitForLines(size_t count, DWORD timeoutMs = 20000) const {
        DWORD start = GetTickCount();
        for (;;) {
            std::vector<std::wstring> lines = Lines();
            if (lines.size() >= count || GetTickCount() - start >= timeoutMs) return lines;
            Sleep(50);
        }
    }

private:
    std::wstring record_;
};

}  // namespace tvxtest
