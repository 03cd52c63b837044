#include "converter/app/command_line.h"

#include <climits>
#include <cstring>

namespace vidorra {

namespace {

bool IsWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool IsOptionLetter(char c) { return c != '\0' && std::strchr("fioqlFIOQL", c) != nullptr; }

char UpperCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

int ParseDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsWhiteSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so that INT_MIN is reachable; saturate
    // instead of overflowing on absurdly long digit runs.
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > -static_cast<long long>(INT_MAX) - 1) value = value * 10 - (text[i] - '0');
    }
    if (negative) return value < INT_MIN ? INT_MIN : static_cast<int>(value);
    return -value > INT_MAX ? INT_MAX : static_cast<int>(-value);
}

std::string_view TrimWhiteSpace(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsWhiteSpace(text[begin])) ++begin;
    while (end > begin && IsWhiteSpace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::optional<std::string> ExtractOptionValue(std::string_view line, char letter) {
    const char lower[2] = {':', letter};
    const char upper[2] = {':', UpperCase(letter)};
    size_t at = line.find(std::string_view(lower, 2));
    if (at == std::string_view::npos) at = line.find(std::string_view(upper, 2));
    if (at == std::string_view::npos) return std::nullopt;

    std::string_view value = line.substr(at + 2);
    for (size_t i = 0; i + 1 < value.size(); ++i) {
        if (value[i] == ':' && IsOptionLetter(value[i + 1])) {
            value = value.substr(0, i);
            break;
        }
    }
    value = TrimWhiteSpace(value);
    if (value.empty()) return std::nullopt;
    return std::string(value);
}

CommandLine ParseCommandLineText(std::string_view line) {
    CommandLine result;
    result.listFile = ExtractOptionValue(line, 'f');
    result.source = ExtractOptionValue(line, 'i');
    result.output = ExtractOptionValue(line, 'o');
    if (auto fourth = ExtractOptionValue(line, 'q')) result.fourth = ParseDecimal(*fourth);
    if (auto quality = ExtractOptionValue(line, 'l')) result.quality = ParseDecimal(*quality);
    return result;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) line += ' ';
        if (argv[i] != nullptr) line += argv[i];
    }
    CommandLine result = ParseCommandLineText(line);
    result.hasArguments = argc > 1;
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == nullptr) continue;
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") result.help = true;
        if (argument == "--version") result.version = true;
    }
    return result;
}

StartMode DecideStart(const CommandLine& commandLine) {
    if (commandLine.help) return StartMode::Help;
    if (commandLine.version) return StartMode::Version;
    if (commandLine.source || commandLine.listFile) return StartMode::Batch;
    // Arguments that name nothing are a mistake at a terminal or in a script;
    // opening a window there would hide it (and fails without a display).
    if (commandLine.hasArguments) return StartMode::NothingUsable;
    return StartMode::Window;
}

std::string UsageText() {
    std::string text;
    text += kVidorraVersionLine;
    text +=
        " - converts recorder files to AVI (MPEG-4 video, MP3 audio)\n"
        "\n"
        "Usage:\n"
        "  Vidorra                      open the conversion window\n"
        "  Vidorra :i SOURCE [:o OUTPUT] [:l LEVEL] [:q N]\n"
        "  Vidorra :f LIST\n"
        "  Vidorra --help | -h | --version\n"
        "\n"
        "Options (a colon and a letter, in any order; lower or upper case; the\n"
        "first occurrence counts; a value runs to the next option, blanks allowed):\n"
        "  :i SOURCE   recording to convert\n"
        "  :o OUTPUT   existing directory, new directory (last part without '.',\n"
        "              created one level deep) or file name; default: the AVI is\n"
        "              written next to the source, named SOURCE-NAME.avi\n"
        "  :l LEVEL    quality 0 limited, 1 normal, 2 good, 3 better, 4 best\n"
        "              (default 0; other values mean 2)\n"
        "  :q N        accepted and ignored\n"
        "  :f LIST     text file, one conversion a line: SOURCE,OUTPUT,LEVEL,N\n"
        "              (only SOURCE is required; LEVEL defaults to 2)\n"
        "With both :i and :f the single source is converted first, then the list.\n"
        "\n"
        "Exit status: 0 every named conversion succeeded, 1 some failed,\n"
        "2 nothing usable was named (no source found, list unreadable or empty).\n"
        "\n"
        "Examples:\n"
        "  Vidorra :i /rec/cam1.mpg :o /out :l 3\n"
        "  Vidorra :f /rec/tonight.txt\n";
    return text;
}

}  // namespace vidorra
