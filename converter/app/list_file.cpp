#include "converter/app/list_file.h"

#include <cstdio>
#include <memory>

#include "converter/app/command_line.h"
#include "platform/file.h"

namespace vidorra {

namespace {

std::optional<std::string> NonEmpty(std::string_view field) {
    field = TrimWhiteSpace(field);
    if (field.empty()) return std::nullopt;
    return std::string(field);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

ListEntry ParseListLine(std::string_view line) {
    std::string_view fields[4];
    int count = 0;
    size_t start = 0;
    while (count < 3) {
        const size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) break;
        fields[count++] = line.substr(start, comma - start);
        start = comma + 1;
    }
    fields[count] = line.substr(start);

    ListEntry entry;
    entry.source = NonEmpty(fields[0]);
    entry.output = NonEmpty(fields[1]);
    if (!TrimWhiteSpace(fields[2]).empty()) entry.quality = ParseDecimal(fields[2]);
    if (!TrimWhiteSpace(fields[3]).empty()) entry.fourth = ParseDecimal(fields[3]);
    return entry;
}

std::optional<std::vector<ListEntry>> ReadListFile(const std::string& path) {
    if (qor::IsDirectory(path)) return std::nullopt;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;

    std::vector<ListEntry> entries;
    std::string piece;
    int lineNumber = 0;
    bool first = true;
    for (;;) {
        piece.clear();
        int c = 0;
        while (piece.size() < kListLinePieceBytes && (c = std::fgetc(file.get())) != EOF) {
            piece += static_cast<char>(c);
            if (c == '\n') break;
        }
        if (piece.empty()) break;
        // Only a line end finishes a line; a piece cut by the length limit
        // continues on the same line number.
        const bool endsLine = piece.back() == '\n' || c == EOF;
        std::string_view text = piece;
        if (first && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        first = false;
        ListEntry entry = ParseListLine(text);
        entry.lineNumber = lineNumber + 1;
        entries.push_back(std::move(entry));
        if (endsLine) ++lineNumber;
    }
    return entries;
}

}  // namespace vidorra
