#include <gtest/gtest.h>

#include "player/container/frame_search.h"
#include "player/container/mpeg_parser_marlin.h"
#include "recording_fixture.h"

namespace qor {
namespace {

using test::MakeFrameHeader;
using test::RecordingFixture;

int Forward(const std::vector<uint8_t>& buf, int wanted, int* type = nullptr, int* rest = nullptr) {
    int t = -1, r = -1;
    int found = SearchFrameForward(buf.data(), int(buf.size()), wanted, &t, &r);
    if (type) *type = t;
    if (rest) *rest = r;
    return found;
}

TEST(ParserSearch, ShortBufferReturnsNoneWithWholeLengthAsRest) {
    auto f = MakeFrameHeader(kFrameKey, 100, 0);
    for (int length : {0, 1, 19}) {
        int rest = -1;
        int type = kFrameAny;
        EXPECT_EQ(SearchFrameForward(f.data(), length, kFrameAny, &type, &rest), -1);
        EXPECT_EQ(rest, length);
    }
}

TEST(ParserSearch, NoMatchLeavesNineteenBytesToKeep) {
    std::vector<uint8_t> junk(300, 0x42);
    int rest = 0;
    EXPECT_EQ(Forward(junk, kFrameAny, nullptr, &rest), -1);
    EXPECT_EQ(rest, 19);
}

TEST(ParserSearch, FalseStartCodesWithBadLengthAreSteppedOver) {
    for (uint32_t badLength : {0u, 512001u, 0xFFFFFu}) {
        RecordingFixture r;
        r.Garbage(3).Raw(MakeFrameHeader(kFrameKey, badLength, 0)).Garbage(5).Frame(kFrameKey, 40, 10);
        int type = -1;
        EXPECT_EQ(Forward(r.bytes, kFrameKey, &type), 3 + 20 + 5) << badLength;
        EXPECT_EQ(type, kFrameKey);
    }
}

TEST(ParserSearch, WantedTypeSkipsWholeFramesOfOtherTypes) {
    RecordingFixture r;
    // The audio frame's payload holds a predicted frame header that must not
    // be seen, because the search jumps over the audio frame as a whole.
    auto hidden = MakeFrameHeader(kFramePredicted, 30, 7);
    hidden.resize(30, 0x11);
    r.Raw(MakeFrameHeader(kFrameAudio, 20 + 30, 0)).Raw(hidden).Frame(kFramePredicted, 40, 10);
    int type = -1;
    EXPECT_EQ(Forward(r.bytes, kFramePredicted, &type), 50);
    EXPECT_EQ(type, kFramePredicted);
}

TEST(ParserSearch, AnyVideoSkipsAudioButReturnsFileHeader) {
    RecordingFixture r;
    r.Frame(kFrameAudio, 0, 40).Header().Frame(kFramePredicted2, 0, 10);
    int type = -1;
    EXPECT_EQ(Forward(r.bytes, kFrameAnyVideo, &type), 60);
    EXPECT_EQ(type, kFrameFileHeader);
    std::vector<uint8_t> tail(r.bytes.begin() + 60 + 1024, r.bytes.end());
    EXPECT_EQ(Forward(tail, kFrameAnyVideo, &type), 0);
    EXPECT_EQ(type, kFramePredicted2);
}

TEST(ParserSearch, AnyFrameAcceptsEvenAnInvalidLength) {
    RecordingFixture r;
    r.Garbage(2).Raw(MakeFrameHeader(kFrameAudio, 0, 0));
    int type = -1;
    EXPECT_EQ(Forward(r.bytes, kFrameAny, &type), 2);
    EXPECT_EQ(type, kFrameAudio);
}

TEST(ParserSearch, ResumePointsPastAFrameThatRunsBeyondTheBuffer) {
    RecordingFixture r;
    r.Frame(kFrameAudio, 0, 980);  // 1000 bytes, but only 500 held
    int type = -1, rest = 0;
    int64_t resume = -1;
    EXPECT_EQ(SearchFrameForward(r.bytes.data(), 500, kFrameKey, &type, &rest, &resume), -1);
    EXPECT_EQ(rest, 19);
    EXPECT_EQ(resume, 1000);
}

TEST(ParserSearch, BackwardFindsLastFrameOfWantedType) {
    RecordingFixture r;
    r.Frame(kFrameKey, 0, 50).Frame(kFramePredicted, 40, 50).Frame(kFrameAudio, 40, 50);
    int type = kFrameAnyVideo, rest = 0;
    int found = SearchFrameBackward(r.bytes.data(), int(r.bytes.size()), kFrameAnyVideo, &type, &rest);
    EXPECT_EQ(found, 70);
    EXPECT_EQ(type, kFramePredicted);
    found = SearchFrameBackward(r.bytes.data(), int(r.bytes.size()), kFrameKey, &type, &rest);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(type, kFrameKey);
}

TEST(ParserSearch, BackwardReportsFileHeaderAndMissesWithRestNineteen) {
    RecordingFixture r;
    r.Header().Garbage(100);
    int type = -1, rest = 0;
    EXPECT_EQ(SearchFrameBackward(r.bytes.data(), int(r.bytes.size()), kFrameKey, &type, &rest), 0);
    EXPECT_EQ(type, kFrameFileHeader);
    std::vector<uint8_t> junk(200, 0x42);
    EXPECT_EQ(SearchFrameBackward(junk.data(), int(junk.size()), kFrameKey, &type, &rest), -1);
    EXPECT_EQ(rest, 19);
}

TEST(ParserSearch, ParserOperationsMatchTheFrameHeader) {
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    RecordingFixture r;
    r.Key(1000, 100, true);
    const uint8_t* frame = r.bytes.data();
    EXPECT_TRUE(parser.IsFrameStartCode(frame));
    EXPECT_EQ(parser.GetFrameType(frame), kFrameKey);
    EXPECT_EQ(parser.GetFrameLength(frame), 124);
    EXPECT_EQ(parser.GetTimeStamp(frame), 1000u);
    EXPECT_TRUE(parser.HasExtension(frame));
    EXPECT_EQ(parser.GetI2IOffset(frame), 0u);
    EXPECT_EQ(parser.GetFrameHeaderSize(), 20);
    EXPECT_EQ(parser.GetMixedFrameType(frame), 8);
    const uint8_t* mixed = frame;
    EXPECT_EQ(parser.GetMixedAudioData(frame, &mixed), -1);
    int length = 0;
    EXPECT_EQ(parser.GetVideoData(frame, &length), frame + 24);
    EXPECT_EQ(length, 100);
    int type = kFrameKey, rest = 0;
    EXPECT_EQ(parser.SearchForward(r.bytes.data(), int(r.bytes.size()), &type, &rest), frame);
}

TEST(ParserSearch, CodedDataStartsAfterHeaderWithoutExtension) {
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    auto f = MakeFrameHeader(kFramePredicted, 120, 0, 0);
    int length = 0;
    EXPECT_EQ(parser.GetVideoData(f.data(), &length), f.data() + 20);
    EXPECT_EQ(length, 100);
}

TEST(ParserSearch, CodedDataOfContradictoryHeaderIsRefused) {
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    // Extension of 1000 bytes in a 100-byte frame.
    auto f = MakeFrameHeader(kFrameKey, 100, 0, 1000);
    int length = 7;
    EXPECT_EQ(parser.GetVideoData(f.data(), &length), nullptr);
    EXPECT_EQ(length, 0);
}

TEST(ParserSearch, PictureSizeUpdateFromFrameHeader) {
    PlayerFileInfo info;
    info.iCurWidth = 352;
    info.iCurHeight = 288;
    CMpegParserMarlin parser(&info);
    auto same = MakeFrameHeader(kFrameKey, 100, 0, 0, 352, 288);
    EXPECT_FALSE(parser.UpdatePictureSize(same.data()));
    auto ntsc = MakeFrameHeader(kFrameKey, 100, 0, 0, 720, 480);
    EXPECT_TRUE(parser.UpdatePictureSize(ntsc.data()));
    EXPECT_EQ(info.iCurWidth, 720);
    EXPECT_EQ(info.iCurHeight, 480);
    EXPECT_FALSE(info.bPal);
}

TEST(ParserSearch, SmallHelpersOfTheOperationTable) {
    PlayerFileInfo info;
    info.iFrameDuration = 40;
    CMpegParserMarlin parser(&info);
    EXPECT_EQ(parser.GetFrameDuration(), 40);
    EXPECT_EQ(parser.GetFramesDuration(5), 200);
    uint32_t words[6] = {1, 1, 7, 8, 1, 1};
    parser.FillFileInfoWords(words);
    EXPECT_EQ(words[2], 7u);
    EXPECT_EQ(words[3], 8u);
    EXPECT_EQ(words[4], 2u);
    EXPECT_EQ(words[5], 0u);
    EXPECT_TRUE(parser.IsReady());
    EXPECT_TRUE(parser.StoreRecordWord3(words, 33));
    EXPECT_TRUE(parser.StoreRecordWord5(words, 55));
    EXPECT_EQ(words[3], 33u);
    EXPECT_EQ(words[5], 55u);
    EXPECT_FALSE(parser.Reserved26());
}

}  // namespace
}  // namespace qor
