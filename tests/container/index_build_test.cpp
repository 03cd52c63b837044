#include <gtest/gtest.h>

#include "tests/support/debug_capture.h"
#include "player/container/mpeg_parser_marlin.h"
#include "recording_fixture.h"

namespace qor {
namespace {

using test::DebugCapture;
using test::RecordingFixture;
using test::TempFolder;

class IndexBuild : public ::testing::Test {
protected:
    void SetUp() override { SetIndexBuildPauses(false); }
    void TearDown() override { SetIndexBuildPauses(true); }

    // Writes the recording and opens it; the side file is not written unless asked.
    bool Open(const RecordingFixture& r, bool sideFile = false) {
        path = dir.Path("rec.mpg");
        if (!r.Write(path)) return false;
        info.bCreateSideFile = sideFile;
        info.iFrameDuration = 40;
        return parser.Init(path.c_str(), false);
    }
    std::vector<IndexEntry> Expected(const RecordingFixture& r, uint32_t lastTime) const {
        std::vector<IndexEntry> table;
        for (size_t i = 0; i < r.keyPositions.size(); ++i) {
            table.push_back({r.keyTimes[i], uint32_t(r.keyPositions[i]), r.keyLengths[i]});
        }
        table.push_back({lastTime + 40, uint32_t(r.bytes.size()), 0});
        return table;
    }

    TempFolder dir;
    std::string path;
    PlayerFileInfo info;
    CMpegParserMarlin parser{&info};
};

RecordingFixture Gop(int keys, bool backLinks) {
    RecordingFixture r;
    r.Header();
    for (int k = 0; k < keys; ++k) {
        uint32_t t = uint32_t(k * 160);
        r.Key(t, 1200 + 10 * k, backLinks).Frame(kFrameAudio, t).Frame(kFramePredicted, t + 40);
        r.Frame(kFramePredicted, t + 80).Frame(kFrameAudio, t + 80).Frame(kFramePredicted, t + 120);
    }
    return r;
}

TEST_F(IndexBuild, BothBuildersGiveTheKeyFramesAndTheSentinel) {
    RecordingFixture r = Gop(6, true);
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(info.bHasBackLinks);
    auto expected = Expected(r, 5 * 160 + 120);
    ASSERT_TRUE(parser.CreateMpegFileIndexTableWithEx());
    EXPECT_TRUE(info.bIndexReady);
    EXPECT_EQ(info.indexTable, expected);
    EXPECT_EQ(info.headerPositions, std::vector<uint32_t>{0});
    ASSERT_TRUE(parser.CreateMpegFileIndexTable());
    EXPECT_TRUE(info.bIndexReady);
    EXPECT_EQ(info.indexTable, expected);
    EXPECT_EQ(info.headerPositions, std::vector<uint32_t>{0});
}

TEST_F(IndexBuild, OneKeyFrameGivesEntryAndSentinel) {
    RecordingFixture r;
    r.Header().Key(500).Frame(kFramePredicted, 540);
    ASSERT_TRUE(Open(r));
    auto expected = Expected(r, 540);
    ASSERT_EQ(expected.size(), 2u);
    ASSERT_TRUE(parser.CreateMpegFileIndexTableWithEx());
    EXPECT_EQ(info.indexTable, expected);
    ASSERT_TRUE(parser.CreateMpegFileIndexTable());
    EXPECT_EQ(info.indexTable, expected);
}

TEST_F(IndexBuild, HeaderCopiesMidStream) {
    RecordingFixture r;
    r.Header().Key(0).Frame(kFramePredicted, 40);
    int64_t headerAt = int64_t(r.bytes.size());
    r.Header(704, 576).Key(80).Frame(kFramePredicted, 120);
    ASSERT_TRUE(Open(r));
    // The links jump over the header; the walk finds it in front of the key frame.
    const std::vector<uint32_t> headers{0, uint32_t(headerAt)};
    ASSERT_TRUE(parser.CreateMpegFileIndexTableWithEx());
    EXPECT_EQ(info.indexTable, Expected(r, 120));
    EXPECT_EQ(info.headerPositions, headers);
    ASSERT_TRUE(parser.CreateMpegFileIndexTable());
    EXPECT_EQ(info.indexTable, Expected(r, 120));
    EXPECT_EQ(info.headerPositions, headers);
}

TEST_F(IndexBuild, BackLinkWalkListsAHeaderCodeInItsWindow) {
    RecordingFixture r;
    r.Header().Frame(kFrameAudio, 0, 2000);
    // The link lands on a stray header start code just before the key frame.
    int64_t strayAt = int64_t(r.bytes.size());
    r.Raw({0, 0, 1, 0xB2, 9, 9, 9, 9}).Key(0).Frame(kFramePredicted, 40, 2000);
    r.Key(80, 200, true, r.bytes.size() - strayAt);
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(parser.CreateMpegFileIndexTableWithEx());
    EXPECT_EQ(info.indexTable, Expected(r, 80));
    EXPECT_EQ(info.headerPositions, (std::vector<uint32_t>{0, uint32_t(strayAt)}));
}

TEST_F(IndexBuild, BrokenBackLinkFailsWithItsMessage) {
    RecordingFixture r;
    // The second key frame's link points into the middle of a predicted frame.
    r.Header().Key(0).Frame(kFramePredicted, 40, 3000).Key(80, 200, true, 1500);
    ASSERT_TRUE(Open(r));
    DebugCapture capture;
    EXPECT_FALSE(parser.CreateMpegFileIndexTableWithEx());
    EXPECT_TRUE(capture.Has("[QOR]CreateMpegFileIndexTableWithEx(), I2I offset error!\n"));
    EXPECT_FALSE(info.bIndexReady);
    EXPECT_TRUE(info.indexTable.empty());
    // The forward scan does not depend on the links.
    ASSERT_TRUE(parser.CreateMpegFileIndexTable());
    EXPECT_EQ(info.indexTable, Expected(r, 80));
}

TEST_F(IndexBuild, LinkBeforeTheFirstKilobyteMakesLastStepAt1024) {
    RecordingFixture r;
    r.Header().Key(0).Frame(kFramePredicted, 40);
    // Points far before the start of the file.
    r.Key(80, 200, true, 100000);
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(parser.CreateMpegFileIndexTableWithEx());
    EXPECT_EQ(info.indexTable, Expected(r, 80));
}

TEST_F(IndexBuild, LinkBelow1024EndsTheWalk) {
    RecordingFixture r;
    r.Header().Key(0).Frame(kFramePredicted, 40).Key(80, 200, true, 1023);
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(parser.CreateMpegFileIndexTableWithEx());
    ASSERT_EQ(info.indexTable.size(), 2u);
    EXPECT_EQ(info.indexTable[0].uPosition, uint32_t(r.keyPositions[1]));
}

TEST_F(IndexBuild, ForwardScanReplacesInvalidTimeStamps) {
    RecordingFixture r;
    r.Header().Key(1000, 200, false).Frame(kFramePredicted, 1040).Key(0xFFFFFFFF, 200, false);
    r.Key(0xFFFFFFFE, 200, false).Key(1200, 200, false);
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(parser.CreateMpegFileIndexTable());
    ASSERT_EQ(info.indexTable.size(), 5u);
    EXPECT_EQ(info.indexTable[1].uTime, 1040u);
    EXPECT_EQ(info.indexTable[2].uTime, 1080u);
    EXPECT_EQ(info.indexTable[3].uTime, 1200u);
    EXPECT_EQ(info.indexTable[4].uTime, 1240u);
}

TEST_F(IndexBuild, ForwardScanCarriesFramesAcrossBlocks) {
    RecordingFixture r;
    r.Header();
    // Frames of about 300 KB put key frames across the 1 MiB block borders.
    for (int k = 0; k < 12; ++k) {
        r.Key(uint32_t(k * 80), 299000 + k * 7, false).Frame(kFramePredicted, uint32_t(k * 80 + 40), 1000);
    }
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(parser.CreateMpegFileIndexTable());
    EXPECT_EQ(info.indexTable, Expected(r, 11 * 80 + 40));
}

TEST_F(IndexBuild, ForwardScanIgnoresTruncatedLastKeyFrame) {
    RecordingFixture r;
    r.Header().Key(0, 200, false).Frame(kFramePredicted, 40).Key(80, 5000, false);
    r.bytes.erase(r.bytes.end() - 10, r.bytes.end());
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(parser.CreateMpegFileIndexTable());
    ASSERT_EQ(info.indexTable.size(), 2u);
    EXPECT_EQ(info.indexTable[0].uPosition, uint32_t(r.keyPositions[0]));
    EXPECT_EQ(info.indexTable[1].uPosition, uint32_t(r.bytes.size()));
}

TEST_F(IndexBuild, ForwardScanDoesNotStopAtFalseStartCodesInsideSkippedFrames) {
    RecordingFixture r;
    r.Header().Key(0, 200, false);
    // A predicted frame whose coded data holds what looks like a key frame
    // header and a file header; the scan jumps over the frame as a whole,
    // even where it continues past a block border.
    std::vector<uint8_t> payload(1048576, 0x20);
    auto fake = test::MakeFrameHeader(kFrameKey, 100, 7777);
    std::copy(fake.begin(), fake.end(), payload.begin() + 1000);
    std::copy(fake.begin(), fake.end(), payload.begin() + payload.size() - 200000);
    const uint8_t fileHeaderCode[4] = {0, 0, 1, 0xB2};
    std::copy(fileHeaderCode, fileHeaderCode + 4, payload.begin() + 5000);
    // Frames are at most 512000 bytes; cut the payload into two frames.
    std::vector<uint8_t> first(payload.begin(), payload.begin() + 400000);
    std::vector<uint8_t> second(payload.begin() + 400000, payload.begin() + 800000);
    auto h1 = test::MakeFrameHeader(kFramePredicted, uint32_t(20 + first.size()), 40);
    auto h2 = test::MakeFrameHeader(kFramePredicted, uint32_t(20 + second.size()), 80);
    r.Raw(h1).Raw(first).Raw(h2).Raw(second).Key(120, 200, false);
    ASSERT_TRUE(Open(r));
    ASSERT_TRUE(parser.CreateMpegFileIndexTable());
    EXPECT_EQ(info.indexTable, Expected(r, 120));
    EXPECT_EQ(info.headerPositions, std::vector<uint32_t>{0});
}

}  // namespace
}  // namespace qor
