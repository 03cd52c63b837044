// The list file: plain text, one conversion a line, fields separated by
// commas: source, output (directory or file name), quality level, and a
// fourth number that is read and not used. The fourth field takes the rest of
// the line, commas included.
//
// Threading: no state.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vidorra {

struct ListEntry {
    std::optional<std::string> source;  // empty field: none
    std::optional<std::string> output;  // empty field: next to the source
    int quality = 2;
    int fourth = 0;
    int lineNumber = 0;  // 1-based, for messages
};

// Longer lines are taken in pieces of this many bytes, each piece as a line
// of its own; far beyond any path, it only bounds memory on a file that is
// not text.
constexpr size_t kListLinePieceBytes = 65535;

// Splits and trims one line (its line end, if any, is trimmed away).
ListEntry ParseListLine(std::string_view line);

// Reads every line of the list; nullopt when the file cannot be opened (or
// is a directory). A UTF-8 byte-order mark at the start is skipped.
std::optional<std::vector<ListEntry>> ReadListFile(const std::string& path);

}  // namespace vidorra
