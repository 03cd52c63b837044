#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "converter/app/command_line.h"

namespace vidorra {
namespace {

struct OptionCase {
    const char* line;
    char letter;
    std::optional<std::string> expected;
};

TEST(CommandLine, OptionValueExtraction) {
    const OptionCase cases[] = {
        {"Vidorra :i /rec/a.mpg", 'i', "/rec/a.mpg"},
        {"Vidorra :I /rec/a.mpg", 'i', "/rec/a.mpg"},                 // upper case works like lower
        {"Vidorra :i /rec/a.mpg :i /rec/b.mpg", 'i', "/rec/a.mpg"},   // first occurrence counts
        {"Vidorra :I /rec/up.mpg :i /rec/low.mpg", 'i', "/rec/low.mpg"},  // lower case is looked up first
        {"Vidorra :i /rec/a.mpg :o /out", 'o', "/out"},
        {"Vidorra :o /out :i /rec/a.mpg", 'i', "/rec/a.mpg"},         // any order
        {"Vidorra :i   /my recordings/a b.mpg   :l 3", 'i', "/my recordings/a b.mpg"},
        {"Vidorra :i /rec/cam:offline.mpg", 'i', "/rec/cam"},         // colon + option letter cuts
        {"Vidorra :i /rec/cam:Left.mpg", 'i', "/rec/cam"},            // either case cuts
        {"Vidorra :i /rec/cam:x.mpg", 'i', "/rec/cam:x.mpg"},         // other letters do not
        {"Vidorra :i /rec/a.mpg:", 'i', "/rec/a.mpg:"},
        {"Vidorra :i", 'i', std::nullopt},                            // empty counts as absent
        {"Vidorra :i    :o /out", 'i', std::nullopt},
        {"Vidorra :o /out", 'i', std::nullopt},
        {"Vidorra\t:l\t4\t", 'l', "4"},
    };
    for (const OptionCase& c : cases) {
        EXPECT_EQ(ExtractOptionValue(c.line, c.letter), c.expected) << c.line;
    }
}

TEST(CommandLine, DecimalValues) {
    const std::pair<const char*, int> cases[] = {
        {"3", 3},    {"  4", 4},         {"+2", 2},   {"-1", -1},  {"7", 7},
        {"3x", 3},   {"abc", 0},         {"", 0},     {"- 3", 0},  {" \t-12 34", -12},
        {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN}, {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseDecimal(text), value) << '"' << text << '"';
}

TEST(CommandLine, QualityAndFourthDefaults) {
    CommandLine absent = ParseCommandLineText("Vidorra :i /rec/a.mpg");
    EXPECT_EQ(absent.quality, 0);
    EXPECT_EQ(absent.fourth, 2);
    CommandLine empty = ParseCommandLineText("Vidorra :i /rec/a.mpg :l :q");
    EXPECT_EQ(empty.quality, 0);
    EXPECT_EQ(empty.fourth, 2);
    CommandLine given = ParseCommandLineText("Vidorra :l 3 :q 9 :i /rec/a.mpg");
    EXPECT_EQ(given.quality, 3);
    EXPECT_EQ(given.fourth, 9);
    EXPECT_EQ(given.source, "/rec/a.mpg");
}

TEST(CommandLine, ArgumentsAreJoinedIntoOneLine) {
    const char* argv[] = {"/usr/bin/Vidorra", ":I", "/rec/my", "file.mpg", ":O", "/out", ":f", "/rec/list.txt"};
    const CommandLine parsed = ParseCommandLine(8, argv);
    EXPECT_EQ(parsed.source, "/rec/my file.mpg");
    EXPECT_EQ(parsed.output, "/out");
    EXPECT_EQ(parsed.listFile, "/rec/list.txt");
    EXPECT_TRUE(parsed.hasArguments);
    EXPECT_FALSE(parsed.help);
    EXPECT_EQ(DecideStart(parsed), StartMode::Batch);
}

TEST(CommandLine, StartDecision) {
    struct Case {
        std::vector<const char*> argv;
        StartMode mode;
    } const cases[] = {
        {{"Vidorra"}, StartMode::Window},
        {{"Vidorra", ":i", "/rec/a.mpg"}, StartMode::Batch},
        {{"Vidorra", ":f", "/rec/list.txt"}, StartMode::Batch},
        {{"Vidorra", "--help"}, StartMode::Help},
        {{"Vidorra", "-h"}, StartMode::Help},
        {{"Vidorra", ":i", "/rec/a.mpg", "--help"}, StartMode::Help},
        {{"Vidorra", "--version"}, StartMode::Version},
        {{"Vidorra", "/rec/a.mpg"}, StartMode::NothingUsable},
        {{"Vidorra", ":i"}, StartMode::NothingUsable},
        {{"Vidorra", ":o", "/out", ":l", "3"}, StartMode::NothingUsable},
        {{"Vidorra", "--helpme"}, StartMode::NothingUsable},
    };
    for (const Case& c : cases) {
        const CommandLine parsed = ParseCommandLine(static_cast<int>(c.argv.size()), c.argv.data());
        EXPECT_EQ(DecideStart(parsed), c.mode) << c.argv.back();
    }
}

TEST(CommandLine, UsageShowsEveryOptionAndAnExample) {
    const std::string usage = UsageText();
    for (const char* part : {":i", ":o", ":l", ":q", ":f", "--version", "Exit status", "Vidorra :i /rec/cam1.mpg"}) {
        EXPECT_NE(usage.find(part), std::string::npos) << part;
    }
}

}  // namespace
}  // namespace vidorra
