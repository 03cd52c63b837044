#include <gtest/gtest.h>

#include "tests/support/debug_capture.h"
#include "player/container/mpeg_parser_marlin.h"
#include "recording_fixture.h"

namespace qor {
namespace {

using test::DebugCapture;
using test::MakeFileHeader;

TEST(ParserHeader, FactsAreReadFromTheHeader) {
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    auto h = MakeFileHeader(704, 576, 0x4000);
    bool changed = false;
    int delay = 7;
    ASSERT_TRUE(parser.ParseMpegFileHeaderInfo(h.data(), &changed, &delay));
    EXPECT_TRUE(changed);
    EXPECT_EQ(delay, 0);
    EXPECT_EQ(info.iMediaStreamType, 1);
    EXPECT_EQ(info.iWidth, 704);
    EXPECT_EQ(info.iHeight, 576);
    EXPECT_EQ(info.iCurWidth, 704);
    EXPECT_EQ(info.iCurHeight, 576);
    EXPECT_TRUE(info.bPal);
    EXPECT_EQ(info.uFormatType, kFormatMarlin);
    EXPECT_EQ(info.iVideoConfigLength, 19);
    EXPECT_EQ(0, std::memcmp(info.videoConfig, h.data() + 22, 19));
    EXPECT_EQ(0, std::memcmp(parser.MpegFileHeader(), h.data(), 1024));
    EXPECT_EQ(info.pMpegFileHeader, parser.MpegFileHeader());
    EXPECT_EQ(info.iMpegFileHeaderLength, 1024);
    EXPECT_FALSE(parser.HasAudio());
}

TEST(ParserHeader, ContentFlagsGiveMediaStreamType) {
    struct Case {
        uint16_t flags;
        bool ok;
        int type;
        bool audio;
    } cases[] = {{0x0000, true, 0, true}, {0x4000, true, 1, false}, {0x8000, true, 2, true},
                 {0x0123, true, 0, true}, {0xC000, false, 3, false}};
    for (const Case& c : cases) {
        DebugCapture capture;
        PlayerFileInfo info;
        CMpegParserMarlin parser(&info);
        auto h = MakeFileHeader(352, 288, c.flags);
        bool changed = false;
        int delay = 0;
        EXPECT_EQ(parser.ParseMpegFileHeaderInfo(h.data(), &changed, &delay), c.ok) << c.flags;
        EXPECT_EQ(info.iMediaStreamType, c.type) << c.flags;
        EXPECT_EQ(parser.HasAudio(), c.audio) << c.flags;
        EXPECT_EQ(capture.Has("[QOR]neither video nor audio found error!\n"), !c.ok);
    }
}

TEST(ParserHeader, HeightDecidesPal) {
    struct Case {
        int height;
        bool pal;
    } cases[] = {{240, false}, {480, false}, {288, true}, {576, true}, {1080, true}};
    for (const Case& c : cases) {
        PlayerFileInfo info;
        CMpegParserMarlin parser(&info);
        auto h = MakeFileHeader(352, c.height);
        bool changed = false;
        int delay = 0;
        ASSERT_TRUE(parser.ParseMpegFileHeaderInfo(h.data(), &changed, &delay));
        EXPECT_EQ(info.bPal, c.pal) << c.height;
    }
}

TEST(ParserHeader, BadStartCodeOrLengthIsRejectedAndKeepsFacts) {
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    auto good = MakeFileHeader(352, 288);
    bool changed = false;
    int delay = 0;
    ASSERT_TRUE(parser.ParseMpegFileHeaderInfo(good.data(), &changed, &delay));
    auto badCode = MakeFileHeader(704, 576);
    badCode[3] = 0xB7;
    auto badLength = MakeFileHeader(704, 576);
    WriteLe32(badLength.data() + 8, 1000);
    for (const auto& bad : {badCode, badLength}) {
        DebugCapture capture;
        EXPECT_FALSE(parser.ParseMpegFileHeaderInfo(bad.data(), &changed, &delay));
        EXPECT_TRUE(capture.Has("[QOR]Marlins mpeg file header data error!\n"));
        EXPECT_EQ(info.iWidth, 352);
        EXPECT_EQ(info.iHeight, 288);
    }
}

TEST(ParserHeader, SameHeaderTwiceReportsNoChangeAndKeepsCopy) {
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    auto h = MakeFileHeader(352, 288);
    bool changed = false;
    int delay = 0;
    ASSERT_TRUE(parser.ParseMpegFileHeaderInfo(h.data(), &changed, &delay));
    EXPECT_TRUE(changed);
    // Bytes that are not examined differ; the copy must stay the first one.
    auto again = h;
    again[500] = 0x99;
    ASSERT_TRUE(parser.ParseMpegFileHeaderInfo(again.data(), &changed, &delay));
    EXPECT_FALSE(changed);
    EXPECT_EQ(parser.MpegFileHeader()[500], 0);
}

TEST(ParserHeader, NewSizeOrConfigurationIsAChange) {
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    bool changed = false;
    int delay = 0;
    ASSERT_TRUE(parser.ParseMpegFileHeaderInfo(MakeFileHeader(352, 288).data(), &changed, &delay));
    ASSERT_TRUE(parser.ParseMpegFileHeaderInfo(MakeFileHeader(704, 288).data(), &changed, &delay));
    EXPECT_TRUE(changed);
    EXPECT_EQ(info.iWidth, 704);
    auto newConfig = MakeFileHeader(704, 288, 0, kFormatMarlin, 9);
    ASSERT_TRUE(parser.ParseMpegFileHeaderInfo(newConfig.data(), &changed, &delay));
    EXPECT_TRUE(changed);
    EXPECT_EQ(0, std::memcmp(info.videoConfig, newConfig.data() + 22, 19));
}

TEST(ParserHeader, Init4StreamFindsHeaderBehindGarbage) {
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    test::RecordingFixture r;
    r.Garbage(77).Header(720, 480).Frame(kFrameKey, 0, 10);
    ASSERT_TRUE(parser.Init4Stream(r.bytes.data(), int(r.bytes.size())));
    EXPECT_EQ(info.iWidth, 720);
    EXPECT_FALSE(info.bPal);
    EXPECT_EQ(info.iHeaderPosition, 77);
}

TEST(ParserHeader, Init4StreamFailures) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    auto header = MakeFileHeader();
    std::vector<uint8_t> cut(2000, 0x42);
    std::copy(header.begin(), header.begin() + 1000, cut.begin() + 1000);
    std::vector<uint8_t> invalid = MakeFileHeader(352, 288, 0xC000);
    Case cases[] = {
        {"no header", std::vector<uint8_t>(3000, 0x42), "[QOR]Init4Stream() not find file header error.\n"},
        {"header 1000 bytes before the end", cut, "[QOR]Init4Stream() find file header unCompleted error.\n"},
        {"content flags 3", invalid, "[QOR]call ParseMpegFileHeaderInfo() error.\n"},
    };
    for (const Case& c : cases) {
        DebugCapture capture;
        PlayerFileInfo info;
        CMpegParserMarlin parser(&info);
        EXPECT_FALSE(parser.Init4Stream(c.bytes.data(), int(c.bytes.size()))) << c.name;
        EXPECT_TRUE(capture.Has(c.message)) << c.name;
    }
}

}  // namespace
}  // namespace qor
