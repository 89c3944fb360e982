#pragma once
// Reads a whole text file into a list of lines, whatever encoding a user's editor saved
// it in. The settings file uses it with every option off.

#include <cstddef>

#include "platform/Strings.h"

namespace tvx {

enum class TextEncoding { Detect = 0, Ansi = 1, Oem = 2, Utf16 = 3, Utf8 = 4 };

struct TextReadOptions {
    // Look for the name in the user's data folder, then in the program folder.
    bool searchStandardFolders = false;
    // A file that cannot be opened ends the operation with exit code 6.
    bool failedOpenIsFatal = false;
    TextEncoding encoding = TextEncoding::Detect;
    bool stripSurroundingQuotes = false;
    bool cutAtDoubleSlash = false;
    // A line starting with "%" gets its environment variables expanded.
    bool expandEnvironment = false;
};

// Decides how the bytes of a text file are to be read: UTF-8 only with its mark and a
// well-formed body, UTF-16 only with a mark and at least one control-range high byte
// (so that a stray FF FE in front of ANSI text is not taken for UTF-16), else ANSI.
TextEncoding DetectTextEncoding(const unsigned char* data, size_t size);

// Reads the file (an empty name means standard input) and appends every non-empty line,
// without its trailing spaces and tabs, to lines. False when the file cannot be opened.
// May throw TVX_EXIT when memory runs out, or for a failed open when that is fatal.
bool ReadTextFile(const wchar_t* name, StringList& lines, const TextReadOptions& options = {});

}  // namespace tvx
