// Whole recordings of every family from the recording generator.
#include <gtest/gtest.h>

#include <algorithm>

#include "memory_source.h"
#include "player/container/mpeg_parser_marlin.h"
#include "recording_fixture.h"
#include "recording_generator.h"

namespace qor {
namespace {

using test::TempFolder;
namespace rg = qor::recgen;

struct Expectation {
    int64_t firstKey = -1;
    uint32_t firstTime = 0;
    int64_t lastKey = -1;
    int64_t lastFrame = -1;
    uint32_t lastTime = 0;
    std::vector<IndexEntry> index;
    std::vector<uint32_t> headers;  // ascending
};

// What the parser must find, worked out from the generator's list of frames.
Expectation Expect(const rg::Recording& rec, int frameDuration) {
    Expectation e;
    e.headers.push_back(uint32_t(rec.headerPosition));
    for (const rg::FrameRecord& f : rec.frames) {
        if (f.type == 6) e.headers.push_back(uint32_t(f.position));
        bool whole = f.position + int64_t(f.length) <= rec.fileSize;
        if (!whole || (f.type != 0 && f.type != 1)) continue;
        if (f.type == 0) {
            if (e.firstKey < 0) {
                e.firstKey = f.position;
                e.firstTime = f.time;
            }
            e.lastKey = f.position;
            uint32_t time = f.time;
            if (time == 0xFFFFFFFF) time = e.index.empty() ? e.firstTime : e.index.back().uTime + frameDuration;
            e.index.push_back({time, uint32_t(f.position), f.length});
        }
        if (f.time != 0xFFFFFFFF) {
            e.lastFrame = f.position;
            e.lastTime = f.time;
        }
    }
    e.index.push_back({e.lastTime + uint32_t(frameDuration), uint32_t(rec.fileSize), 0});
    return e;
}

class ContainerGenerated : public ::testing::Test {
protected:
    void SetUp() override { SetIndexBuildPauses(false); }
    void TearDown() override { SetIndexBuildPauses(true); }

    // Writes the recording, opens it and checks every fact and both builders.
    void CheckRecording(const rg::Options& options, const std::string& name) {
        SCOPED_TRACE(name);
        std::string path = dir.Path(name + ".mpg");
        rg::Recording rec;
        std::string error;
        ASSERT_TRUE(rg::WriteRecording(options, path, &rec, &error)) << error;
        const int duration = 1000 / options.frameRate;
        Expectation e = Expect(rec, duration);

        PlayerFileInfo info;
        info.iFrameDuration = duration;
        CMpegParserMarlin parser(&info);
        ASSERT_TRUE(parser.Init(path.c_str(), false));
        EXPECT_EQ(info.uFormatType, rg::FormatTypeCode(options.family));
        EXPECT_EQ(info.iWidth, options.width);
        EXPECT_EQ(info.iHeight, options.height);
        EXPECT_EQ(info.iMediaStreamType, options.audio ? 0 : 1);
        EXPECT_EQ(parser.HasAudio(), options.audio);
        EXPECT_EQ(info.iHeaderPosition, rec.headerPosition);
        EXPECT_EQ(0, std::memcmp(info.videoConfig, rec.videoConfig.data(), 19));
        EXPECT_EQ(info.iFileSize, rec.fileSize);
        EXPECT_EQ(info.iFirstKeyFramePosition, e.firstKey);
        EXPECT_EQ(info.uFirstTime, e.firstTime);
        EXPECT_EQ(info.bHasBackLinks, options.backLinks);
        EXPECT_EQ(info.iLastKeyFramePosition, e.lastKey);
        EXPECT_EQ(info.iLastFramePosition, e.lastFrame);
        EXPECT_EQ(info.uLastFrameTime, e.lastTime);
        EXPECT_EQ(info.uTrailerValue, options.trailerValue.value_or(0));

        if (options.backLinks) {
            ASSERT_TRUE(parser.CreateMpegFileIndexTableWithEx());
            EXPECT_EQ(info.indexTable, e.index);
            EXPECT_EQ(info.headerPositions, e.headers);
        }
        ASSERT_TRUE(parser.CreateMpegFileIndexTable());
        EXPECT_EQ(info.indexTable, e.index);
        EXPECT_EQ(info.headerPositions, e.headers);
        // The forward scan wrote the side file; a second player loads it.
        PlayerFileInfo loaded;
        loaded.iFrameDuration = duration;
        CMpegParserMarlin reader(&loaded);
        ASSERT_TRUE(reader.Init(path.c_str(), false));
        ASSERT_TRUE(reader.GetIndexFromIndexFile());
        EXPECT_EQ(loaded.indexTable, e.index);
        EXPECT_EQ(loaded.headerPositions, e.headers);
    }

    TempFolder dir;
};

rg::Options Base(rg::Family family) {
    rg::Options o;
    o.family = family;
    o.width = 176;
    o.height = 144;
    o.frameCount = 30;
    o.keyInterval = 10;
    return o;
}

TEST_F(ContainerGenerated, EveryFamily) {
    const std::pair<rg::Family, const char*> families[] = {
        {rg::Family::Marlin, "marlin"}, {rg::Family::Heron, "heron"}, {rg::Family::Osprey, "osprey"},
        {rg::Family::Yuv, "yuv"}};
    for (const auto& [family, name] : families) {
        rg::Options o = Base(family);
        o.trailerValue = 0xA1B2C3D4;
        CheckRecording(o, name);
    }
}

TEST_F(ContainerGenerated, WithoutBackLinksOrAudio) {
    rg::Options o = Base(rg::Family::Marlin);
    o.backLinks = false;
    o.audio = false;
    o.height = 120;
    CheckRecording(o, "plain");
}

TEST_F(ContainerGenerated, DamagedAndUnusualRecordings) {
    struct Case {
        const char* name;
        std::function<void(rg::Options&)> change;
    } cases[] = {
        {"leading garbage", [](rg::Options& o) { o.leadingGarbage = 777; }},
        {"extra headers", [](rg::Options& o) { o.extraHeaders = {{10, 352, 288}, {20, 176, 144}}; }},
        {"truncated last frame", [](rg::Options& o) { o.truncateBytes = 100; }},
        {"unset time stamps", [](rg::Options& o) { o.invalidTimeFrames = {5, 10, 11, 29}; }},
        {"false start codes", [](rg::Options& o) { o.falseStartCodes = true; }},
        {"junk between frames", [](rg::Options& o) { o.unknownBefore = {3, 10, 17}; }},
        {"time gaps and start time",
         [](rg::Options& o) {
             o.startTime = 123456;
             o.timeGaps = {{12, 5000}};
         }},
        {"headers in key frames", [](rg::Options& o) { o.headersInKeyFrames = true; }},
    };
    for (const Case& c : cases) {
        rg::Options o = Base(rg::Family::Marlin);
        c.change(o);
        CheckRecording(o, c.name);
    }
}

TEST_F(ContainerGenerated, RecordingBehindReadCallback) {
    rg::Options o = Base(rg::Family::Heron);
    o.leadingGarbage = 33;
    test::MemorySource source;
    rg::Recording rec;
    std::string error;
    ASSERT_TRUE(rg::MakeRecording(o, &source.bytes, &rec, &error)) << error;
    Expectation e = Expect(rec, 40);
    PlayerFileInfo info;
    source.Attach(&info);
    info.bCreateSideFile = false;
    CMpegParserMarlin parser(&info);
    ASSERT_TRUE(parser.Init(nullptr, true));
    // Without a name there is no side file: the thread builds from the links.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!parser.IsIndexFinished() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(info.bIndexReady);
    EXPECT_EQ(info.iFirstKeyFramePosition, e.firstKey);
    EXPECT_EQ(info.uLastFrameTime, e.lastTime);
    EXPECT_EQ(info.indexTable, e.index);
}

}  // namespace
}  // namespace qor
