#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter/avi/avi_records.h"
#include "converter/job/encoded_frame_queue.h"
#include "tests/support/debug_capture.h"

using qor::test::DebugCapture;
using vidorra::EncodedFrameQueue;

namespace {

// Records what reaches the two streams, in order: "a<time>" or "v<time>",
// with the time taken from the chunk's first byte.
struct RecordingSinks {
    std::vector<std::string> order;
    std::vector<uint32_t> videoFlags;
    vidorra::ChunkSink video = [this](uint32_t flags, const uint8_t* data, uint32_t) {
        order.push_back("v" + std::to_string(data[0]));
        videoFlags.push_back(flags);
        return true;
    };
    vidorra::ChunkSink audio = [this](uint32_t, const uint8_t* data, uint32_t) {
        order.push_back("a" + std::to_string(data[0]));
        return true;
    };
};

void AddVideo(EncodedFrameQueue& q, uint8_t time, uint32_t flags = 0, uint32_t length = 8) {
    std::vector<uint8_t> data(length, time);
    ASSERT_TRUE(q.AddMp4VideoToList(flags, data.data(), length, 352, 288, time));
}

void AddAudio(EncodedFrameQueue& q, uint8_t time, uint32_t length = 8) {
    std::vector<uint8_t> data(length, time);
    ASSERT_TRUE(q.AddMp4VideoToList(0, data.data(), length, time));
}

using Order = std::vector<std::string>;

}  // namespace

TEST(EncodedQueue, PartialFlushWaitsForAudio) {
    EncodedFrameQueue q;
    RecordingSinks sinks;
    AddVideo(q, 0);
    AddVideo(q, 40);
    EXPECT_TRUE(q.FlushQueues(false, sinks.video, sinks.audio));
    EXPECT_TRUE(sinks.order.empty());
    EXPECT_EQ(q.VideoQueued(), 2u);

    // Each round needs audio queued at its start; a frame earlier than every
    // queued chunk goes out on its own.
    AddAudio(q, 10);
    q.FlushQueues(false, sinks.video, sinks.audio);
    EXPECT_EQ(sinks.order, (Order{"v0", "a10", "v40"}));
    EXPECT_EQ(q.VideoQueued() + q.AudioQueued(), 0u);
}

TEST(EncodedQueue, PartialFlushWritesAudioBeforeVideoByTimeStamp) {
    EncodedFrameQueue q;
    RecordingSinks sinks;
    for (uint8_t t : {0, 40, 80}) AddVideo(q, t);
    for (uint8_t t : {0, 20, 40, 60, 90}) AddAudio(q, t);
    q.FlushQueues(false, sinks.video, sinks.audio);
    EXPECT_EQ(sinks.order, (Order{"a0", "v0", "a20", "a40", "v40", "a60", "v80"}));
    EXPECT_EQ(q.AudioQueued(), 1u);  // a90 waits for a later picture
    EXPECT_EQ(q.VideoSpare(), 3u);
    EXPECT_EQ(q.AudioSpare(), 4u);
}

TEST(EncodedQueue, FinalFlushWritesEverythingAndFreesTheEntries) {
    EncodedFrameQueue q;
    RecordingSinks sinks;
    for (uint8_t t : {0, 40}) AddVideo(q, t);
    for (uint8_t t : {20, 50, 70}) AddAudio(q, t);
    q.FlushQueues(true, sinks.video, sinks.audio);
    EXPECT_EQ(sinks.order, (Order{"v0", "a20", "v40", "a50", "a70"}));
    EXPECT_EQ(q.VideoQueued() + q.AudioQueued() + q.VideoSpare() + q.AudioSpare(), 0u);
}

TEST(EncodedQueue, FinalFlushWritesVideoWithoutAnyAudio) {
    EncodedFrameQueue q;
    RecordingSinks sinks;
    AddVideo(q, 0, vidorra::kAviKeyFrame);
    AddVideo(q, 40);
    q.FlushQueues(true, sinks.video, sinks.audio);
    EXPECT_EQ(sinks.order, (Order{"v0", "v40"}));
    EXPECT_EQ(sinks.videoFlags, (std::vector<uint32_t>{vidorra::kAviKeyFrame, 0}));
}

TEST(EncodedQueue, DistantAudioGivesTheSynchronisationWarningButIsWritten) {
    DebugCapture capture;
    EncodedFrameQueue q;
    RecordingSinks sinks;
    AddAudio(q, 10);
    AddVideo(q, 200);
    AddAudio(q, 230);
    q.FlushQueues(false, sinks.video, sinks.audio);
    EXPECT_EQ(sinks.order, (Order{"a10", "v200"}));
    EXPECT_EQ(capture.Count("[QOR]audio/video may NOT synchronization!\n"), 1);

    // Audio within 100 ms, and a final flush, stay quiet.
    AddVideo(q, 250);
    q.FlushQueues(false, sinks.video, sinks.audio);
    AddVideo(q, 255);
    AddAudio(q, 0);
    q.FlushQueues(true, sinks.video, sinks.audio);
    EXPECT_EQ(capture.Count("[QOR]audio/video may NOT synchronization!\n"), 1);
}

TEST(EncodedQueue, SpareBlocksAreReusedAndNewOnesAreHalfAgainAsLarge) {
    EncodedFrameQueue q;
    RecordingSinks sinks;
    AddVideo(q, 0, 0, 100);
    AddAudio(q, 0, 100);
    q.FlushQueues(false, sinks.video, sinks.audio);
    ASSERT_EQ(q.Allocations(), 2u);
    // 150-byte blocks (100 * 3 / 2) take up to 150 bytes again.
    for (int round = 0; round < 10; ++round) {
        AddVideo(q, 1, 0, 150);
        AddAudio(q, 1, 120);
        q.FlushQueues(false, sinks.video, sinks.audio);
    }
    EXPECT_EQ(q.Allocations(), 2u);
    AddVideo(q, 2, 0, 151);
    EXPECT_EQ(q.Allocations(), 3u);
}

TEST(EncodedQueue, FailedAllocationLosesTheChunkWithItsLine) {
    DebugCapture capture;
    EncodedFrameQueue q;
    q.SetAllocatorForTest([](size_t) -> uint8_t* { return nullptr; });
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_FALSE(q.AddMp4VideoToList(0, data, 4, 352, 288, 0));
    EXPECT_FALSE(q.AddMp4VideoToList(0, data, 4, 0));
    EXPECT_EQ(q.VideoQueued() + q.AudioQueued(), 0u);
    EXPECT_EQ(capture.Count("AddMp4VideoToList() call new() error.\n"), 2);
}

TEST(EncodedQueue, RefusedChunkIsReportedAndTheRestIsStillWritten) {
    EncodedFrameQueue q;
    int written = 0;
    vidorra::ChunkSink refuse = [&](uint32_t, const uint8_t*, uint32_t) {
        ++written;
        return false;
    };
    AddVideo(q, 0);
    AddVideo(q, 40);
    AddAudio(q, 0);
    EXPECT_FALSE(q.FlushQueues(true, refuse, refuse));
    EXPECT_EQ(written, 3);
}
