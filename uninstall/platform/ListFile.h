#pragma once
// Reading "Uninstall.lst": the installer's list of the product's files and folders,
// one entry per line, relative to the install folder.

#include <cstdio>
#include <string>
#include <vector>

namespace tvx {

inline constexpr wchar_t kListFileName[] = L"Uninstall.lst";

// The entries of the list from its start, in list order, as the installer wrote them
// (ANSI code page). A line longer than 2047 bytes counts as several entries of at most
// 2047 bytes; trailing blanks, tabs, carriage returns and line feeds are dropped, and
// lines left empty are skipped. Leading blanks belong to the name.
std::vector<std::string> ReadListEntries(FILE* list);

// True when an entry names something below the install folder: not absolute (drive,
// leading separator, network or "\\?\" path), no colon, no ".." component.
bool IsEntryBelowFolder(const std::wstring& entry);

}  // namespace tvx
