// The converter's command line: colon options (":i" source, ":o" output,
// ":l" quality, ":q" read and unused, ":f" list file), looked up in the whole
// line, plus the conventional --help, -h and --version.
//
// Threading: pure functions; no state.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vidorra {

// The product's own version, shown by --version and the about box.
constexpr std::string_view kVidorraVersionLine = "Vidorra 1.6 Beta";

struct CommandLine {
    std::optional<std::string> source;    // ":i"
    std::optional<std::string> output;    // ":o": directory or file name
    int quality = 0;                      // ":l"
    int fourth = 2;                       // ":q"
    std::optional<std::string> listFile;  // ":f"
    bool help = false;                    // "--help" or "-h" among the arguments
    bool version = false;                 // "--version" among the arguments
    bool hasArguments = false;            // anything beyond the program's path
};

enum class StartMode {
    Window,         // no arguments: the interactive window
    Batch,          // a source or a list file was named
    Help,           // print the syntax
    Version,        // print the version
    NothingUsable,  // arguments, but neither a source nor a list file
};

// Reads a decimal integer the way the options and list fields are read:
// leading white space and one sign are skipped, the digits that follow are
// taken (saturating at the int range), and text without digits gives 0.
int ParseDecimal(std::string_view text);

// Trims ASCII white space at both ends. UTF-8 continuation bytes are never
// white space, so multibyte names are left whole.
std::string_view TrimWhiteSpace(std::string_view text);

// The value of option `letter` (lower case) in a whole command line: the
// first ":x" (else the first ":X") on, cut at the next colon that opens
// another option, trimmed; nullopt when absent or empty.
std::optional<std::string> ExtractOptionValue(std::string_view line, char letter);

// Parses one command line held as text (the program's path included).
CommandLine ParseCommandLineText(std::string_view line);

// Parses the program's arguments: they are joined with single blanks into
// one line, so a value may span several arguments and needs no quotes.
CommandLine ParseCommandLine(int argc, const char* const* argv);

StartMode DecideStart(const CommandLine& commandLine);

// The syntax with an example, for --help and for a line that names nothing.
std::string UsageText();

}  // namespace vidorra
