#include <gtest/gtest.h>

#include "tests/support/debug_capture.h"
#include "memory_source.h"
#include "player/container/mpeg_parser_marlin.h"
#include "recording_fixture.h"

namespace qor {
namespace {

using test::DebugCapture;
using test::RecordingFixture;
using test::TempFolder;

// Header, key 0, predicted 40, audio, key 80, predicted 120, audio.
RecordingFixture SmallRecording(size_t garbage = 0) {
    RecordingFixture r;
    r.Garbage(garbage).Header().Key(0).Frame(kFramePredicted, 40).Frame(kFrameAudio, 40);
    r.Key(80).Frame(kFramePredicted, 120).Frame(kFrameAudio, 120);
    return r;
}

struct Opened {
    PlayerFileInfo info;
    CMpegParserMarlin parser{&info};
};

TEST(ContainerScans, InitFindsFirstAndLastFrames) {
    TempFolder dir;
    RecordingFixture r = SmallRecording();
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    Opened o;
    ASSERT_TRUE(o.parser.Init(dir.Path("rec.mpg").c_str(), false));
    EXPECT_EQ(o.info.iFileSize, int64_t(r.bytes.size()));
    EXPECT_EQ(o.info.iHeaderPosition, 0);
    EXPECT_EQ(o.info.iFirstKeyFramePosition, 1024);
    EXPECT_EQ(o.info.uFirstTime, 0u);
    EXPECT_TRUE(o.info.bHasBackLinks);
    EXPECT_EQ(o.info.iLastKeyFramePosition, r.keyPositions[1]);
    EXPECT_EQ(o.info.uLastFrameTime, 120u);
    EXPECT_EQ(o.info.iLastFramePosition, r.keyPositions[1] + 224);
    EXPECT_EQ(o.info.uTrailerValue, 0u);
}

TEST(ContainerScans, LeadingGarbageBeforeHeader) {
    for (size_t garbage : {size_t(3), size_t(500), size_t(1500), size_t(5000)}) {
        TempFolder dir;
        RecordingFixture r = SmallRecording(garbage);
        ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
        Opened o;
        ASSERT_TRUE(o.parser.Init(dir.Path("rec.mpg").c_str(), false)) << garbage;
        EXPECT_EQ(o.info.iHeaderPosition, int64_t(garbage));
        EXPECT_EQ(o.info.iFirstKeyFramePosition, int64_t(garbage) + 1024);
        EXPECT_EQ(o.info.iWidth, 352);
    }
}

TEST(ContainerScans, TrailerValueIsStored) {
    TempFolder dir;
    RecordingFixture r = SmallRecording();
    r.Trailer(0x12345678);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    Opened o;
    ASSERT_TRUE(o.parser.Init(dir.Path("rec.mpg").c_str(), false));
    EXPECT_EQ(o.info.uTrailerValue, 0x12345678u);
    EXPECT_EQ(o.info.uLastFrameTime, 120u);
}

TEST(ContainerScans, TruncatedLastFrameIsNotTheLastFrame) {
    TempFolder dir;
    RecordingFixture r = SmallRecording();
    r.Key(160, 400);
    r.bytes.erase(r.bytes.end() - 100, r.bytes.end());
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    Opened o;
    ASSERT_TRUE(o.parser.Init(dir.Path("rec.mpg").c_str(), false));
    EXPECT_EQ(o.info.uLastFrameTime, 120u);
    EXPECT_EQ(o.info.iLastKeyFramePosition, r.keyPositions[1]);
}

TEST(ContainerScans, FirstKeyFrameAfterAudioAndRepeatedHeader) {
    TempFolder dir;
    RecordingFixture r;
    r.Header().Frame(kFrameAudio, 0).Frame(kFramePredicted, 0).Header().Key(200, 100, false).Key(240, 100, false);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    Opened o;
    ASSERT_TRUE(o.parser.Init(dir.Path("rec.mpg").c_str(), false));
    EXPECT_EQ(o.info.iFirstKeyFramePosition, r.keyPositions[0]);
    EXPECT_EQ(o.info.uFirstTime, 200u);
    EXPECT_FALSE(o.info.bHasBackLinks);
}

TEST(ContainerScans, ScansReachAcrossBlocks) {
    // The first key frame lies beyond the first 512000-byte read, and the last
    // key frame more than one end block before the end.
    TempFolder dir;
    RecordingFixture r;
    r.Header();
    for (int i = 0; i < 30; ++i) r.Frame(kFrameAudio, uint32_t(i), 20000);
    r.Key(1000, 300000).Key(1040, 300000);
    for (int i = 0; i < 40; ++i) r.Frame(kFramePredicted, uint32_t(1080 + 40 * i), 20000);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    Opened o;
    ASSERT_TRUE(o.parser.Init(dir.Path("rec.mpg").c_str(), false));
    EXPECT_EQ(o.info.iFirstKeyFramePosition, r.keyPositions[0]);
    EXPECT_EQ(o.info.iLastKeyFramePosition, r.keyPositions[1]);
    EXPECT_EQ(o.info.uLastFrameTime, 1080u + 40 * 39);
}

TEST(ContainerScans, RecordingWithoutKeyFrameFailsInit) {
    TempFolder dir;
    RecordingFixture r;
    r.Header().Frame(kFrameAudio, 0).Frame(kFramePredicted, 0);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    DebugCapture capture;
    Opened o;
    EXPECT_FALSE(o.parser.Init(dir.Path("rec.mpg").c_str(), false));
    EXPECT_TRUE(capture.Has("[QOR]CMpegParser initialization error!\n"));
}

TEST(ContainerScans, FileWithoutHeaderFailsToReadIt) {
    TempFolder dir;
    RecordingFixture r;
    r.Garbage(3000);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    DebugCapture capture;
    Opened o;
    EXPECT_FALSE(o.parser.Init(dir.Path("rec.mpg").c_str(), false));
    EXPECT_TRUE(capture.Has("[QOR]read mpeg file header error!\n"));
}

TEST(ContainerScans, InitThroughReadCallback) {
    test::MemorySource source;
    source.bytes = SmallRecording(10).bytes;
    source.maxPerCall = 999;
    Opened o;
    source.Attach(&o.info);
    ASSERT_TRUE(o.parser.Init(nullptr, false));
    EXPECT_EQ(o.info.iHeaderPosition, 10);
    EXPECT_EQ(o.info.iFirstKeyFramePosition, 1034);
    EXPECT_EQ(o.info.uLastFrameTime, 120u);
    EXPECT_GT(source.calls, 0);
}

TEST(ContainerScans, ResetEndOfFileFollowsAGrowingRecording) {
    TempFolder dir;
    RecordingFixture r = SmallRecording();
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    Opened o;
    ASSERT_TRUE(o.parser.Init(dir.Path("rec.mpg").c_str(), false));
    r.Key(160).Frame(kFramePredicted, 200);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    ASSERT_TRUE(o.parser.FileResetEndOfFile());
    EXPECT_EQ(o.info.iFileSize, int64_t(r.bytes.size()));
    EXPECT_EQ(o.info.uLastFrameTime, 200u);
    EXPECT_EQ(o.info.iLastKeyFramePosition, r.keyPositions[2]);
}

TEST(ContainerScans, ResetEndOfFileFailureMessage) {
    TempFolder dir;
    RecordingFixture r = SmallRecording();
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    Opened o;
    ASSERT_TRUE(o.parser.Init(dir.Path("rec.mpg").c_str(), false));
    RecordingFixture audioOnly;
    audioOnly.Header().Frame(kFrameAudio, 0);
    ASSERT_TRUE(audioOnly.Write(dir.Path("rec.mpg")));
    DebugCapture capture;
    EXPECT_FALSE(o.parser.FileResetEndOfFile());
    EXPECT_TRUE(capture.Has("[QOR]FileResetEndOfFile() GetFinalFrameInfo error!\n"));
}

}  // namespace
}  // namespace qor

namespace qor {
namespace {

TEST(ContainerScans, UnsetTimeStampDoesNotEndTheRecording) {
    test::TempFolder dir;
    test::RecordingFixture r;
    r.Header().Key(0).Frame(kFramePredicted, 40).Key(80).Frame(kFramePredicted, 120);
    int64_t lastTimed = int64_t(r.bytes.size()) - 120;
    r.Frame(kFramePredicted, 0xFFFFFFFF);
    ASSERT_TRUE(r.Write(dir.Path("rec.mpg")));
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    ASSERT_TRUE(parser.Init(dir.Path("rec.mpg").c_str(), false));
    EXPECT_EQ(info.uLastFrameTime, 120u);
    EXPECT_EQ(info.iLastFramePosition, lastTimed);
    EXPECT_EQ(info.iLastKeyFramePosition, r.keyPositions[1]);
}

}  // namespace
}  // namespace qor
