#pragma once
// A stand-in for HtmlHelpW that records what the program asks of it, and the targets the
// program should ask for: the help file beside the running program and its topic pages.

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "integration/Completion.h"

namespace tvxtest {

struct HelpCall {
    HWND caller;
    std::wstring target;
    UINT command;
    DWORD_PTR data;
};

// Takes the place of HtmlHelpW while it lives.
class HelpRecorder {
public:
    // Every call is answered with `answer`: a window stands for opened help, null for a
    // help file that could not be opened.
    explicit HelpRecorder(HWND answer = GetDesktopWindow()) {
        std::lock_guard<std::mutex> hold(lock_);
        calls_.clear();
        answer_ = answer;
        tvx::SetHtmlHelpHook(Record);
    }
    ~HelpRecorder() { tvx::SetHtmlHelpHook(nullptr); }
    HelpRecorder(const HelpRecorder&) = delete;
    HelpRecorder& operator=(const HelpRecorder&) = delete;

    static void Answer(HWND answer) {
        std::lock_guard<std::mutex> hold(lock_);
        answer_ = answer;
    }
    static std::vector<HelpCall> Calls() {
        std::lock_guard<std::mutex> hold(lock_);
        return calls_;
    }

private:
    static HWND WINAPI Record(HWND caller, const wchar_t* target, UINT command, DWORD_PTR data) {
        std::lock_guard<std::mutex> hold(lock_);
        calls_.push_back({caller, target ? target : L"", command, data});
        return answer_;
    }
    static inline std::mutex lock_;
    static inline std::vector<HelpCall> calls_;
    static inline HWND answer_ = nullptr;
};

inline std::wstring HelpFile() { return ProgramFolderOfTest() + L"\\tervix.chm"; }
inline std::wstring TopicTarget(const std::wstring& topic) { return HelpFile() + L"::/html/" + topic + L".htm"; }

}  // namespace tvxtest
