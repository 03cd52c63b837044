#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "converter/app/list_file.h"
#include "tests/support/temp_dir.h"

namespace vidorra {
namespace {

using qor::test::TempDir;

struct LineCase {
    const char* line;
    std::optional<std::string> source;
    std::optional<std::string> output;
    int quality;
    int fourth;
};

TEST(ListFile, FieldsAreSplitAtCommasAndTrimmed) {
    const LineCase cases[] = {
        {"  /rec/a.mpg ,  /out  , 4 \r\n", "/rec/a.mpg", "/out", 4, 0},
        {"/rec/a.mpg\n", "/rec/a.mpg", std::nullopt, 2, 0},            // no comma: field 1 alone
        {"/rec/a.mpg,,,", "/rec/a.mpg", std::nullopt, 2, 0},           // empty fields take defaults
        {"/rec/a.mpg, , ,\t", "/rec/a.mpg", std::nullopt, 2, 0},
        {"/rec/a.mpg,/out,1,7,8,9", "/rec/a.mpg", "/out", 1, 7},       // field 4 takes the rest
        {"/rec/a.mpg,/out,x", "/rec/a.mpg", "/out", 0, 0},             // no digits read as 0
        {"/rec/a.mpg,/out,-1", "/rec/a.mpg", "/out", -1, 0},
        {"/my recordings/a b.mpg,/my out", "/my recordings/a b.mpg", "/my out", 2, 0},
        {"", std::nullopt, std::nullopt, 2, 0},
        {"   \r\n", std::nullopt, std::nullopt, 2, 0},
        {" ,/out,3", std::nullopt, "/out", 3, 0},
    };
    for (const LineCase& c : cases) {
        const ListEntry entry = ParseListLine(c.line);
        EXPECT_EQ(entry.source, c.source) << '"' << c.line << '"';
        EXPECT_EQ(entry.output, c.output) << '"' << c.line << '"';
        EXPECT_EQ(entry.quality, c.quality) << '"' << c.line << '"';
        EXPECT_EQ(entry.fourth, c.fourth) << '"' << c.line << '"';
    }
}

TEST(ListFile, ReadsEveryLineIncludingBlankOnes) {
    TempDir dir;
    const std::string list = dir.WriteFile("list.txt",
                                           "\xEF\xBB\xBF/rec/a.mpg, /out, 4\r\n"
                                           "\r\n"
                                           "/rec/b.mpg\n"
                                           "/rec/c.mpg,,3");  // last line without a line end
    const auto entries = ReadListFile(list);
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 4u);
    EXPECT_EQ((*entries)[0].source, "/rec/a.mpg");  // byte-order mark skipped
    EXPECT_EQ((*entries)[0].output, "/out");
    EXPECT_EQ((*entries)[0].quality, 4);
    EXPECT_FALSE((*entries)[1].source.has_value());
    EXPECT_EQ((*entries)[2].source, "/rec/b.mpg");
    EXPECT_EQ((*entries)[2].quality, 2);
    EXPECT_EQ((*entries)[3].source, "/rec/c.mpg");
    EXPECT_EQ((*entries)[3].quality, 3);
    EXPECT_EQ((*entries)[3].lineNumber, 4);
}

TEST(ListFile, EmptyFileHasNoEntries) {
    TempDir dir;
    const auto entries = ReadListFile(dir.WriteFile("empty.txt", ""));
    ASSERT_TRUE(entries.has_value());
    EXPECT_TRUE(entries->empty());
}

TEST(ListFile, MissingFileOrDirectoryCannotBeOpened) {
    TempDir dir;
    EXPECT_FALSE(ReadListFile(dir / "missing.txt").has_value());
    EXPECT_FALSE(ReadListFile(dir.path()).has_value());
}

TEST(ListFile, LongPathLineIsReadWhole) {
    TempDir dir;
    const std::string longPath = "/rec/" + std::string(3000, 'a') + ".mpg";
    const auto entries = ReadListFile(dir.WriteFile("list.txt", longPath + ",/out,3\n/rec/b.mpg\n"));
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].source, longPath);
    EXPECT_EQ((*entries)[0].quality, 3);
    EXPECT_EQ((*entries)[1].source, "/rec/b.mpg");
}

TEST(ListFile, LineBeyondThePieceLimitIsSplitNotLost) {
    TempDir dir;
    const std::string huge(kListLinePieceBytes + 10, 'x');
    const auto entries = ReadListFile(dir.WriteFile("list.txt", huge + "\n/rec/b.mpg\n"));
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[0].source->size(), kListLinePieceBytes);
    EXPECT_EQ((*entries)[1].source, std::string(10, 'x'));
    EXPECT_EQ((*entries)[1].lineNumber, 1);
    EXPECT_EQ((*entries)[2].source, "/rec/b.mpg");
    EXPECT_EQ((*entries)[2].lineNumber, 2);
}

}  // namespace
}  // namespace vidorra
