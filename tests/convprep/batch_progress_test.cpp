#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "converter/app/batch_conversion.h"
#include "converter/app/batch_progress.h"
#include "tests/support/temp_dir.h"

namespace vidorra {
namespace {

using qor::test::TempDir;

TEST(CommandLineProgress, LineText) {
    struct Case {
        int number, count;
        int32_t produced, total;
        double elapsed;
        const char* text;
    } const cases[] = {
        {1, 3, 0, 0, 0.0, "file 1 of 3: 0 frames"},
        {2, 5, 250, 1000, 2.0, "file 2 of 5: 25% (250/1000 frames), 125 fps, 0:06 left"},
        {1, 1, 100, 7500, 1.0, "file 1 of 1: 1% (100/7500 frames), 100 fps, 1:14 left"},
        {1, 1, 1040, 1000, 4.0, "file 1 of 1: 104% (1040/1000 frames), 260 fps"},  // gap repeats pass 100
        {1, 1, 40, -1, 2.0, "file 1 of 1: 40 frames, 20 fps"},                      // total unknown
        {1, 1, 0, 1000, 2.0, "file 1 of 1: 0% (0/1000 frames), 0 fps"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatProgressLine(c.number, c.count, c.produced, c.total, c.elapsed), c.text);
    }
}

std::string Contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
    return text;
}

TEST(CommandLineProgress, DisabledWritesOnlyTheOtherLines) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        BatchProgress progress(file, false);
        progress.Begin(1, 2);
        progress.Update(10, 100);
        progress.WriteLine("[QOR]a debug line.\n");
        progress.End();
    }
    EXPECT_EQ(Contents(file), "[QOR]a debug line.\n");
    std::fclose(file);
}

TEST(CommandLineProgress, OtherLinesDoNotTearTheProgressLine) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        BatchProgress progress(file, true);
        progress.Begin(1, 2);
        progress.WriteLine("[QOR]x.\n");
        progress.End();
    }
    const std::string shown = "file 1 of 2: 0 frames";
    const std::string blank(shown.size(), ' ');
    EXPECT_EQ(Contents(file), "\r" + shown + "\r" + blank + "\r[QOR]x.\n\r" + shown + "\n");
    std::fclose(file);
}

TEST(CommandLineProgress, CountsEveryNamedConversion) {
    TempDir dir;
    const std::string list = dir.WriteFile("list.txt", "/rec/a.mpg\n\n ,/out\n/rec/missing.mpg,,3\n");
    EXPECT_EQ(CountNamedConversions(ParseCommandLineText("Vidorra :f " + list)), 2);
    EXPECT_EQ(CountNamedConversions(ParseCommandLineText("Vidorra :f " + list + " :i /rec/b.mpg")), 3);
    EXPECT_EQ(CountNamedConversions(ParseCommandLineText("Vidorra :f " + dir / "none.txt")), 0);
}

}  // namespace
}  // namespace vidorra
