// The built program as a script sees it: what it prints and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "converter/app/batch_conversion.h"
#include "converter/app/command_line.h"
#include "tests/support/temp_dir.h"
#include "tools/mkrec/recording_generator.h"

namespace vidorra {
namespace {

using qor::test::TempDir;

struct ProgramRun {
    int status;
    std::string out;
    std::string err;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

ProgramRun RunVidorra(const TempDir& dir, const std::string& arguments) {
    const std::string out = dir / "stdout.txt";
    const std::string err = dir / "stderr.txt";
    const std::string command = std::string(VIDORRA_PROGRAM) + " " + arguments + " >" + out + " 2>" + err + " </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(out), ReadAll(err)};
}

TEST(CommandLineProgram, HelpAndVersionSucceed) {
    TempDir dir;
    for (const char* flag : {"--help", "-h"}) {
        const ProgramRun run = RunVidorra(dir, flag);
        EXPECT_EQ(run.status, kExitAllSucceeded) << flag;
        EXPECT_EQ(run.out, UsageText()) << flag;
    }
    const ProgramRun version = RunVidorra(dir, "--version");
    EXPECT_EQ(version.status, kExitAllSucceeded);
    EXPECT_EQ(version.out, std::string(kVidorraVersionLine) + "\n");
}

TEST(CommandLineProgram, NothingUsableExitsWithTwo) {
    TempDir dir;
    const std::string cases[] = {"just-a-name.mpg", ":i " + dir / "missing.mpg", ":f " + dir / "missing.txt",
                                 ":o " + dir.path()};
    for (const std::string& arguments : cases) {
        const ProgramRun run = RunVidorra(dir, arguments);
        EXPECT_EQ(run.status, kExitNothingUsable) << arguments;
        EXPECT_TRUE(run.out.empty()) << arguments;
    }
}

TEST(CommandLineProgram, SourceThatIsNoRecordingExitsWithOne) {
    TempDir dir;
    const std::string source = dir.WriteFile("notes.mpg", std::string(4096, 'x'));
    const ProgramRun run = RunVidorra(dir, ":i " + source);
    EXPECT_EQ(run.status, kExitSomeFailed);
    EXPECT_NE(run.err.find("[QOR]call QORPLAYER_FileOpen() error.\n"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "notes.avi"));
}

TEST(CommandLineProgram, ConvertsIntoANewOutputDirectory) {
    TempDir dir;
    qor::recgen::Options options;
    options.frameCount = 25;
    std::string error;
    const std::string source = dir / "cam 1.day.mpg";  // a blank and several dots
    ASSERT_TRUE(qor::recgen::WriteRecording(options, source, nullptr, &error)) << error;

    const ProgramRun run = RunVidorra(dir, ":I '" + source + "' :o " + dir / "out" + " :l 3");
    EXPECT_EQ(run.status, kExitAllSucceeded) << run.err;
    EXPECT_GT(std::filesystem::file_size(dir / "out/cam 1.day.avi"), 0u);
}

// On a terminal the progress line is redrawn in place; the player library's
// own debug lines must clear it first instead of running on after it.
TEST(CommandLineProgram, LibraryLinesClearTheProgressLineOnATerminal) {
    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "script(1) is needed for a terminal";
    TempDir dir;
    const std::string source = dir.WriteFile("notes.mpg", std::string(4096, 'x'));
    const std::string shown = dir / "terminal.txt";
    const std::string command = "script -q -e -c '" + std::string(VIDORRA_PROGRAM) + " :i " + source +
                                "' /dev/null >" + shown + " 2>&1 </dev/null";
    std::system(command.c_str());
    const std::string text = ReadAll(shown);
    const std::string libraryLine = "[QOR]parse mpeg file type error!";
    const size_t at = text.find(libraryLine);
    ASSERT_NE(at, std::string::npos) << text;
    ASSERT_GT(at, 0u);
    EXPECT_EQ(text[at - 1], '\r') << text;
}

}  // namespace
}  // namespace vidorra
