#pragma once
// Reads a whole text file into a list of lines, whatever encoding a user's editor saved
// it in. The settings file uses it with only keepEveryLine on.

#include <cstddef>

#include "platform/DiskFile.h"
#include "platform/Strings.h"

namespace tvx {

// Utf16 is little-endian; a byte-order mark, when there is one, decides over either.
enum class TextEncoding { Detect = 0, Ansi = 1, Oem = 2, Utf16 = 3, Utf8 = 4, Utf16BigEndian = 5 };

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
    // Every line as written: empty lines and trailing blanks are kept, and each line
    // break (CR LF, CR or LF) ends exactly one line. For a caller that writes the
    // lines back.
    bool keepEveryLine = false;
};

// Decides how the bytes of a text file are to be read. With a mark: UTF-8 when the body
// is well-formed, UTF-16 when at least one high byte lies in the control range (so that
// a stray FF FE in front of ANSI text is not taken for UTF-16). Without a mark: UTF-16
// when its zero bytes fall on one side of the byte pairs, UTF-8 when it is well-formed
// and holds at least one multi-byte sequence. Everything else is ANSI.
TextEncoding DetectTextEncoding(const unsigned char* data, size_t size);

// Reads the file (an empty name means standard input) and appends its lines (without
// trailing spaces and tabs, and only non-empty ones, unless keepEveryLine is set).
// False when the file cannot be opened. readWhole, when given, tells whether every byte
// of the file became text: false after a read error, for text that still holds a NUL
// after decoding (the lines end there), or for bytes the decoder could not take.
// May throw TVX_EXIT when memory runs out, or for a failed open when that is fatal.
bool ReadTextFile(const wchar_t* name, StringList& lines, const TextReadOptions& options = {},
                  bool* readWhole = nullptr);
// The same for a file that is already open, from its current position; closes it.
void ReadOpenedTextFile(DiskFile& file, StringList& lines, const TextReadOptions& options = {},
                        bool* readWhole = nullptr);

}  // namespace tvx
