#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "converter/app/batch_conversion.h"
#include "tests/support/debug_capture.h"
#include "tests/support/temp_dir.h"

namespace vidorra {
namespace {

using qor::test::DebugCapture;
using qor::test::TempDir;
using Lines = std::vector<std::string>;

struct Call {
    std::string source;
    std::string target;
    int level;
    float factor;
    int preset;
};

// Records every conversion asked for; succeeds unless told otherwise.
struct FakeJob {
    std::vector<Call> calls;
    bool result = true;
    ConversionRunner Runner() {
        return [this](const std::string& source, const std::string& target, const ConversionSettings& s) {
            calls.push_back({source, target, s.qualityLevel, s.bitrateFactor, s.presetIndex});
            return result;
        };
    }
};

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        rec = dir.MakeDir("rec");
        a = dir.WriteFile("rec/a.mpg", "recording a");
        b = dir.WriteFile("rec/b.x.mpg", "recording b");
    }
    CommandLine Parse(const std::string& arguments) { return ParseCommandLineText("Vidorra " + arguments); }

    TempDir dir;
    std::string rec, a, b;
    FakeJob job;
};

using CommandLineBatch = BatchTest;
using ListFileBatch = BatchTest;

TEST_F(CommandLineBatch, SourceAloneWritesNextToItAtLevelZero) {
    DebugCapture capture;
    const BatchTally tally = RunBatch(Parse(":i " + a), job.Runner());
    ASSERT_EQ(job.calls.size(), 1u);
    EXPECT_EQ(job.calls[0].source, a);
    EXPECT_EQ(job.calls[0].target, rec + "/a.avi");
    EXPECT_EQ(job.calls[0].level, 0);
    EXPECT_EQ(job.calls[0].factor, 0.5f);
    EXPECT_EQ(ExitStatusFor(tally), kExitAllSucceeded);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(CommandLineBatch, QualityOptionSelectsTheRow) {
    const std::pair<const char*, int> cases[] = {{":l 3", 3}, {":L 4", 4}, {":l 7", 2}, {":l -1", 2}, {":l 1 :q 99", 1}};
    for (const auto& [option, level] : cases) {
        job.calls.clear();
        RunBatch(Parse(":i " + a + " " + option), job.Runner());
        ASSERT_EQ(job.calls.size(), 1u) << option;
        EXPECT_EQ(job.calls[0].level, level) << option;
        EXPECT_EQ(job.calls[0].target, rec + "/a.avi") << option;  // :q changes nothing
    }
}

TEST_F(CommandLineBatch, UpperCaseAndRepeatedOptions) {
    RunBatch(Parse(":I " + a + " :i " + b), job.Runner());
    RunBatch(Parse(":I " + a + " :I " + b + " :O " + dir.path()), job.Runner());
    ASSERT_EQ(job.calls.size(), 2u);
    EXPECT_EQ(job.calls[0].source, b);  // lower case found first
    EXPECT_EQ(job.calls[0].target, rec + "/b.x.avi");
    EXPECT_EQ(job.calls[1].source, a);  // first upper-case occurrence
    EXPECT_EQ(job.calls[1].target, dir / "a.avi");
}

TEST_F(CommandLineBatch, MissingOutputDirectoryIsCreatedAndMissingParentRefused) {
    {
        DebugCapture capture;
        RunBatch(Parse(":i " + a + " :o " + dir / "out"), job.Runner());
        ASSERT_EQ(job.calls.size(), 1u);
        EXPECT_EQ(job.calls[0].target, dir / "out/a.avi");
        EXPECT_TRUE(std::filesystem::is_directory(dir / "out"));
        EXPECT_TRUE(capture.Lines().empty());
    }
    {
        DebugCapture capture;
        RunBatch(Parse(":i " + a + " :o " + dir / "out/b.avi"), job.Runner());
        ASSERT_EQ(job.calls.size(), 2u);
        EXPECT_EQ(job.calls[1].target, dir / "out/b.avi");
    }
    {
        DebugCapture capture;
        const BatchTally tally = RunBatch(Parse(":i " + a + " :o " + dir / "nowhere/b.avi"), job.Runner());
        EXPECT_EQ(job.calls.size(), 2u);
        EXPECT_EQ(capture.Lines(), Lines{"[AAA]VidorraConvertCmdLine() output path error.\n"});
        EXPECT_EQ(ExitStatusFor(tally), kExitSomeFailed);
    }
    {
        DebugCapture capture;
        RunBatch(Parse(":i " + a + " :o " + dir / std::string(300, 'd')), job.Runner());
        EXPECT_EQ(job.calls.size(), 2u);
        EXPECT_EQ(capture.Lines(), Lines{"[AAA]VidorraConvertCmdLine() call CreateDirectory() error.\n"});
    }
}

TEST_F(CommandLineBatch, MissingSourceIsReportedAndNothingRuns) {
    DebugCapture capture;
    const BatchTally missing = RunBatch(Parse(":i " + dir / "nope.mpg"), job.Runner());
    const BatchTally directory = RunBatch(Parse(":i " + rec), job.Runner());
    EXPECT_TRUE(job.calls.empty());
    EXPECT_EQ(capture.Lines(), (Lines{"[AAA]VidorraConvertCmdLine() input file path error.\n",
                                      "[AAA]VidorraConvertCmdLine() input file path error.\n"}));
    EXPECT_EQ(ExitStatusFor(missing), kExitNothingUsable);
    EXPECT_EQ(ExitStatusFor(directory), kExitNothingUsable);
}

TEST_F(CommandLineBatch, NoSourceGivesTheNullSourceLine) {
    DebugCapture capture;
    EXPECT_FALSE(VidorraConvertCmdLine(std::nullopt, std::nullopt, 2, 0, job.Runner()));
    EXPECT_EQ(capture.Lines(), Lines{"[AAA]VidorraConvertCmdLine() NULL pSrcFile error.\n"});
}

TEST_F(CommandLineBatch, FailedJobMakesExitStatusOne) {
    job.result = false;
    const BatchTally tally = RunBatch(Parse(":i " + a), job.Runner());
    EXPECT_EQ(job.calls.size(), 1u);
    EXPECT_EQ(ExitStatusFor(tally), kExitSomeFailed);
}

TEST_F(CommandLineBatch, DirectConversionRunsBeforeTheList) {
    const std::string list = dir.WriteFile("list.txt", b + "\n");
    const BatchTally tally = RunBatch(Parse(":f " + list + " :i " + a), job.Runner());
    ASSERT_EQ(job.calls.size(), 2u);
    EXPECT_EQ(job.calls[0].source, a);
    EXPECT_EQ(job.calls[0].level, 0);
    EXPECT_EQ(job.calls[1].source, b);
    EXPECT_EQ(job.calls[1].level, 2);  // the list's default differs from the option's
    EXPECT_EQ(ExitStatusFor(tally), kExitAllSucceeded);
}

TEST_F(ListFileBatch, BlanksAroundFieldsAreTrimmed) {
    const std::string out = dir.MakeDir("out");
    const std::string list = dir.WriteFile("list.txt", "  " + a + " ,\t" + out + " ,  4 , 17\r\n");
    DebugCapture capture;
    EXPECT_TRUE(VidorraConvertIniFile(list, job.Runner()));
    ASSERT_EQ(job.calls.size(), 1u);
    EXPECT_EQ(job.calls[0].source, a);
    EXPECT_EQ(job.calls[0].target, out + "/a.avi");
    EXPECT_EQ(job.calls[0].level, 4);
    EXPECT_EQ(job.calls[0].preset, 6);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(ListFileBatch, EveryLineRunsWhateverTheOneBeforeDid) {
    const std::string list = dir.WriteFile("list.txt", a + ",,1\n" + dir / "gone.mpg" + "\n\n,/out,3\n" + b + ",,9\n");
    job.result = false;
    DebugCapture capture;
    BatchTally tally;
    EXPECT_TRUE(VidorraConvertIniFile(list, job.Runner(), &tally));
    ASSERT_EQ(job.calls.size(), 2u);
    EXPECT_EQ(job.calls[0].level, 1);
    EXPECT_EQ(job.calls[1].source, b);
    EXPECT_EQ(job.calls[1].level, 2);
    EXPECT_EQ(capture.Lines(), (Lines{"[AAA]VidorraConvertCmdLine() input file path error.\n",
                                      "[AAA]VidorraConvertCmdLine() NULL pSrcFile error.\n",
                                      "[AAA]VidorraConvertCmdLine() NULL pSrcFile error.\n"}));
    EXPECT_EQ(tally.named, 3);
    EXPECT_EQ(tally.usable, 2);
    EXPECT_EQ(tally.failed, 3);
    EXPECT_EQ(ExitStatusFor(tally), kExitSomeFailed);
}

TEST_F(ListFileBatch, BlankLinesDoNotCountAsFailures) {
    const std::string list = dir.WriteFile("list.txt", "\n" + a + "\n   \n");
    DebugCapture capture;
    const BatchTally tally = RunBatch(Parse(":f " + list), job.Runner());
    EXPECT_EQ(job.calls.size(), 1u);
    EXPECT_EQ(capture.Lines().size(), 2u);  // the missing-source line for each blank line
    EXPECT_EQ(ExitStatusFor(tally), kExitAllSucceeded);
}

TEST_F(ListFileBatch, UnreadableOrEmptyListNamesNothingUsable) {
    DebugCapture capture;
    EXPECT_FALSE(VidorraConvertIniFile(dir / "missing.txt", job.Runner()));
    EXPECT_EQ(capture.Lines(), Lines{"[QOR] VidorraConvertIniFile() call fopen error.\n"});
    EXPECT_EQ(ExitStatusFor(RunBatch(Parse(":f " + dir / "missing.txt"), job.Runner())), kExitNothingUsable);
    EXPECT_EQ(ExitStatusFor(RunBatch(Parse(":f " + dir.WriteFile("empty.txt", "")), job.Runner())),
              kExitNothingUsable);
    // A good direct conversion with an unreadable list is still a partial failure.
    EXPECT_EQ(ExitStatusFor(RunBatch(Parse(":i " + a + " :f " + dir / "missing.txt"), job.Runner())),
              kExitSomeFailed);
    EXPECT_EQ(job.calls.size(), 1u);
}

}  // namespace
}  // namespace vidorra
