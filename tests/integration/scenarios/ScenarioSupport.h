#pragma once
// Helpers of the setup scenarios: registry snapshots compared value by value, class
// keys laid out the way other programs leave them, and the setup dialog run on this
// thread while a second thread drives it.

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tvxtest {

struct RegValue {
    DWORD type = 0;
    std::vector<BYTE> data;  // strings without their terminator
    bool operator==(const RegValue& other) const { return type == other.type && data == other.data; }
};
// Key path (relative to its root, as captured) -> value name -> value.
using RegSnapshot = std::map<std::wstring, std::map<std::wstring, RegValue>>;

// Adds the key and everything below it; a missing key adds nothing.
void CaptureKey(HKEY root, const std::wstring& key, RegSnapshot* snapshot);
// One line per key or value that differs, empty when both are equal.
std::vector<std::wstring> Differences(const RegSnapshot& expected, const RegSnapshot& actual);
RegValue StringValue(const std::wstring& text);

// Creates the key (and its parents) and sets a string value; an empty name is the
// default value.
void SetClassString(const std::wstring& key, const std::wstring& name, const std::wstring& value);

// Runs "SETUPDLG" modally on this thread with the program's own resources while drive
// runs on a second thread with the dialog once it is visible. The driver must end the
// dialog; if it returns without doing so, the dialog is cancelled.
INT_PTR RunSetupDialog(const std::function<void(HWND dialog)>& drive);
// A shown dialog or message box of this process other than the setup dialog, or null
// after timeoutMs.
HWND WaitForSecondDialog(HWND dialog, DWORD timeoutMs);

}  // namespace tvxtest
