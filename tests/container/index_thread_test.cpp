#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "player/container/mpeg_parser_marlin.h"
#include "recording_fixture.h"

namespace qor {
namespace {

using test::RecordingFixture;
using test::TempFolder;
using Clock = std::chrono::steady_clock;

RecordingFixture Recording(int keys, int payload, bool backLinks) {
    RecordingFixture r;
    r.Header();
    for (int k = 0; k < keys; ++k) {
        r.Key(uint32_t(k * 80), payload, backLinks).Frame(kFramePredicted, uint32_t(k * 80 + 40));
    }
    return r;
}

bool WaitFinished(const CMpegParser& parser, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto end = Clock::now() + limit;
    while (!parser.IsIndexFinished()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

struct Received {
    std::atomic<int> count{0};
    IndexNotification last;
};

IndexNotification MakeNotification(Received* received) {
    IndexNotification n;
    n.hWnd = reinterpret_cast<void*>(0x1234);
    n.uMsg = 0x0401;
    n.wParam = 77;
    n.hEvent = reinterpret_cast<void*>(0x99);
    n.deliver = [received](const IndexNotification& sent) {
        received->last = sent;
        received->count++;
    };
    return n;
}

TEST(IndexBuildThread, BuildsWritesSideFileAndNotifies) {
    TempFolder dir;
    RecordingFixture r = Recording(5, 1500, true);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    Received received;
    parser.SetIndexNotification(MakeNotification(&received));
    ASSERT_TRUE(parser.Init(dir.Path("rec.mpg").c_str(), true));
    ASSERT_TRUE(WaitFinished(parser));
    EXPECT_TRUE(info.bIndexReady);
    EXPECT_EQ(info.indexTable.size(), 6u);
    EXPECT_TRUE(PathExists(dir.Path("rec.index")));
    ASSERT_EQ(received.count.load(), 1);
    EXPECT_EQ(received.last.hWnd, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(received.last.uMsg, 0x0401u);
    EXPECT_EQ(received.last.wParam, 77u);
    EXPECT_EQ(received.last.hEvent, reinterpret_cast<void*>(0x99));
}

TEST(IndexBuildThread, LateRegistrationIsSentAtOnceEvenAfterFailure) {
    TempFolder dir;
    RecordingFixture r = Recording(2, 1500, true);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    ASSERT_TRUE(parser.Init(dir.Path("rec.mpg").c_str(), false));
    // The recording disappears: both builders fail.
    ASSERT_EQ(std::remove(dir.Path("rec.mpg").c_str()), 0);
    ASSERT_TRUE(parser.StartIndexThread());
    ASSERT_TRUE(WaitFinished(parser));
    EXPECT_FALSE(info.bIndexReady);
    Received received;
    parser.SetIndexNotification(MakeNotification(&received));
    EXPECT_EQ(received.count.load(), 1);
}

TEST(IndexBuildThread, StaleSideFileIsRebuiltAndRewritten) {
    TempFolder dir;
    RecordingFixture r = Recording(4, 1500, true);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    {
        PlayerFileInfo info;
        CMpegParserMarlin parser(&info);
        ASSERT_TRUE(parser.Init(dir.Path("rec.mpg").c_str(), true));
        ASSERT_TRUE(WaitFinished(parser));
    }
    // The recording is replaced by another one with the same name.
    RecordingFixture newer = Recording(6, 1700, true);
    ASSERT_TRUE(newer.Write(dir.Path("rec.mpg")));
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    ASSERT_TRUE(parser.Init(dir.Path("rec.mpg").c_str(), true));
    ASSERT_TRUE(WaitFinished(parser));
    ASSERT_TRUE(info.bIndexReady);
    EXPECT_EQ(info.indexTable.size(), 7u);
    EXPECT_EQ(info.indexTable.back().uPosition, uint32_t(newer.bytes.size()));
    PlayerFileInfo again;
    CMpegParserMarlin reader(&again);
    ASSERT_TRUE(reader.Init(dir.Path("rec.mpg").c_str(), false));
    ASSERT_TRUE(reader.GetIndexFromIndexFile());
    EXPECT_EQ(again.indexTable, info.indexTable);
}

TEST(IndexBuildThread, DestroyingTheParserStopsALongScanPromptly) {
    TempFolder dir;
    // Without back-links the thread scans forward with 9 ms per 1 MiB block:
    // about 40 blocks here.
    RecordingFixture r = Recording(100, 400000, false);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    auto start = Clock::now();
    {
        PlayerFileInfo info;
        info.bCreateSideFile = false;
        CMpegParserMarlin parser(&info);
        ASSERT_TRUE(parser.Init(dir.Path("rec.mpg").c_str(), true));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(info.bIndexReady);
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace qor
