#include "platform/debug_output.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct CapturedLines {
    std::vector<std::string> lines;
    CapturedLines() {
        qor::SetDebugSink([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~CapturedLines() { qor::SetDebugSink(nullptr); }
};

TEST(DebugOutput, SinkReceivesFormattedLineExactly) {
    CapturedLines captured;
    qor::DebugOutput("[QOR]QORPLAYER_Play() uPlayerId=%d error.\n", 512);
    ASSERT_EQ(captured.lines.size(), 1u);
    EXPECT_EQ(captured.lines[0], "[QOR]QORPLAYER_Play() uPlayerId=512 error.\n");
}

TEST(DebugOutput, LongLinesAreNotCut) {
    CapturedLines captured;
    const std::string path(3000, 'a');
    qor::DebugOutput("open %s\n", path.c_str());
    ASSERT_EQ(captured.lines.size(), 1u);
    EXPECT_EQ(captured.lines[0], "open " + path + "\n");
}

TEST(DebugOutput, RestoringDefaultStopsCapture) {
    std::vector<std::string> lines;
    qor::SetDebugSink([&](std::string_view line) { lines.emplace_back(line); });
    qor::DebugOutput("first\n");
    qor::SetDebugSink(nullptr);
    testing::internal::CaptureStderr();
    qor::DebugOutput("second\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "second\n");
    EXPECT_EQ(lines, std::vector<std::string>{"first\n"});
}

TEST(DebugOutput, LinesFromManyThreadsArriveWhole) {
    CapturedLines captured;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < 250; ++i) qor::DebugOutput("[AVI]thread %d line %d.\n", t, i);
        });
    }
    for (auto& w : writers) w.join();
    ASSERT_EQ(captured.lines.size(), 1000u);
    for (const auto& line : captured.lines) {
        EXPECT_EQ(line.rfind("[AVI]thread ", 0), 0u);
        EXPECT_EQ(line.back(), '\n');
    }
}

}  // namespace
