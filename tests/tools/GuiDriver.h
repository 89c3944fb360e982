#pragma once
// A small GUI driver: finds the windows of another process (or of this one) and
// presses their buttons, the way a user would.

#include <windows.h>

#include <string>
#include <vector>

namespace tvxtest {

// Waits up to timeoutMs for a visible-or-not top-level window of the process (0: any
// process) whose caption equals title (null: any) and whose class equals className
// (null: any; "#32770" for dialogs and message boxes).
HWND WaitForWindow(DWORD processId, const wchar_t* title, const wchar_t* className, DWORD timeoutMs);
// Every top-level window of the process, optionally of one class.
std::vector<HWND> TopLevelWindows(DWORD processId, const wchar_t* className = nullptr);

std::wstring WindowText(HWND window);
std::wstring ControlText(HWND dialog, int id);
// The message text of a standard message box (its static control 0xFFFF).
std::wstring MessageBoxText(HWND box);

// Clicks a button (or check box) as a user would: BM_CLICK, sent so that it is done
// when the call returns. Posts instead when post is true (for buttons that start a
// nested modal loop).
bool PressButton(HWND dialog, int id, bool post = false);
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
bool IsControlEnabled(HWND dialog, int id);
bool IsControlVisible(HWND dialog, int id);
bool HasControl(HWND dialog, int id);

}  // namespace tvxtest
