#pragma once
// The completion dialog "DONEDLG" and the help file.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "settings/Settings.h"

namespace tvx {

// What the completion dialog tells: the chosen types that Windows keeps for another
// program, and whom the install is for (Default apps has a page of Tervix's own for an
// install of either scope).
struct CompletionFacts {
    std::vector<std::wstring> typesKept;
    Scope scope = Scope::Machine;
};
// Its creation parameter points at the CompletionFacts of the setup, or is 0.
INT_PTR CALLBACK CompletionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Opens "tervix.chm" at the topic, or at its contents without one.
void ShowHelp(HWND owner, const wchar_t* topic);

// Room for the longest help target, "<file>::/html/<topic>.htm", with its terminator.
inline constexpr size_t kHelpTargetCapacity = 2098;
// The target handed to HtmlHelpW for a topic ("<file>::/html/<topic>.htm") or, without
// one, the help file itself; returns the command: HH_DISPLAY_TOPIC (0) or HH_DISPLAY_TOC (1).
UINT BuildHelpTarget(const wchar_t* helpFile, const wchar_t* topic, wchar_t* target, size_t size);

// The signature of "HtmlHelpW" in "hhctrl.ocx".
using HtmlHelpFunction = HWND(WINAPI*)(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data);
// Test seam: when set, ShowHelp still loads the library and resolves "HtmlHelpW" as
// usual but makes the call through this function instead. The program never sets it.
void SetHtmlHelpHook(HtmlHelpFunction hook);

}  // namespace tvx
