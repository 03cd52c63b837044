#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "engine_fixture.h"
#include "player/container/format.h"

namespace qor {
namespace {

using test::Collector;
using test::DebugCapture;
using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<uint8_t> Marker(uint32_t code, uint32_t word, int before = 0) {
    std::vector<uint8_t> bytes(size_t(before) + 8, 0x11);
    WriteLe32(bytes.data() + before, code);
    WriteLe32(bytes.data() + before + 4, word);
    return bytes;
}

TEST(Engine, FamilyDetectionFollowsTheMarkerTable) {
    struct Case { std::vector<uint8_t> bytes; int expected; };
    std::vector<uint8_t> trks = {'x', 'T', 'R', 'K', 'S', 0, 8, 0};
    std::vector<uint8_t> trksOld = {'T', 'R', 'K', 'S', 0, 3, 0, 0};
    const Case cases[] = {
        {Marker(kFileHeaderStartCode, 0x00060002), 1},
        {Marker(kFileHeaderStartCode, 0x00060008, 5), 2},
        {Marker(kFileHeaderStartCode, 0x00090002), 5},
        {Marker(kFileHeaderStartCode, 0x00060007), 6},
        {Marker(kFileHeaderStartCode, 0x00060010), 8},
        {Marker(kFileHeaderStartCode, 0x00070001), 9},
        {Marker(kFileHeaderStartCode, 0x00060708), 11},
        {Marker(kFileHeaderStartCode, 0x00060009), 12},
        {Marker(kFileHeaderStartCode, 0x00050005), 0},
        {Marker(kForeignStreamStartCode, 0), 7},
        {Marker(kProgramStreamStartCode, 0), 7},
        {trks, 4},
        {trksOld, 3},
        {std::vector<uint8_t>(64, 0x22), -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DetectFamilyCode(c.bytes.data(), int(c.bytes.size())), c.expected);
    }
}

TEST(Engine, StreamHeaderWithoutMarkerIsNotSupported) {
    DebugCapture capture;
    bool ok = false;
    CMpegPlayer player(&ok);
    std::vector<uint8_t> header(1024, 0x33);
    EngineInitParams params;
    params.iOpenMode = kOpenStream;
    params.pHeader = header.data();
    params.iHeaderLength = int(header.size());
    EXPECT_FALSE(player.Init(params));
    EXPECT_TRUE(capture.Has("[QOR]mpeg file type NOT supported!\n"));
}

class EngineOpenFile : public ::testing::Test {
protected:
    void TearDown() override { std::remove(m_path.c_str()); }
    std::string Write(const recgen::Options& options, uint32_t patchedType = 0) {
        recgen::Recording info;
        std::vector<uint8_t> bytes = test::MakeRecordingBytes(options, &info);
        if (patchedType != 0) WriteLe32(bytes.data() + kHeaderFormatTypeOffset, patchedType);
        m_path = test::TempPath("open.mpg");
        std::ofstream(m_path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return m_path;
    }
    std::string m_path;
};

TEST_F(EngineOpenFile, FamilyWithoutBuilderFails) {
    recgen::Options options;
    options.frameCount = 5;
    Write(options, 0x00060007);
    DebugCapture capture;
    EXPECT_EQ(test::OpenFile(30, m_path), nullptr);
    EXPECT_TRUE(capture.Has("[QOR]call buildMpegPlayer() error!\n"));
}

TEST_F(EngineOpenFile, OverlongFileNameFails) {
    DebugCapture capture;
    EXPECT_EQ(test::OpenFile(30, "/tmp/" + std::string(256, 'a')), nullptr);
    EXPECT_TRUE(capture.Has("[QOR]file name too long error!\n"));
}

TEST_F(EngineOpenFile, HardwareDecodingOfOspreyIsRefused) {
    recgen::Options options;
    options.family = recgen::Family::Osprey;
    options.frameCount = 5;
    Write(options);
    DebugCapture capture;
    bool ok = false;
    CMpegPlayer player(&ok);
    player.SetVideoDecoderType(false, 0, 0);
    EngineInitParams params;
    params.fileName = m_path;
    params.bCreateIndexTable = false;
    EXPECT_FALSE(player.Init(params));
    EXPECT_TRUE(capture.Has("[QOR]orcaOsprey NOT support hardDecoder!\n"));
}

TEST_F(EngineOpenFile, RecordingWithoutAudioRunsNoAudioThread) {
    recgen::Options options;
    options.frameCount = 5;
    options.audio = false;
    Write(options);
    auto player = test::OpenFile(30, m_path, false);
    ASSERT_NE(player, nullptr);
    EXPECT_FALSE(player->HasAudio());
    EXPECT_FALSE(player->HasAudioThread());
    EXPECT_EQ(player->GetMediaStreamType(), 1);
}

TEST_F(EngineOpenFile, ClosingAPlayingEngineIsPrompt) {
    recgen::Options options;
    options.frameCount = 250;
    Write(options);
    auto player = test::OpenFile(31, m_path);
    ASSERT_NE(player, nullptr);
    player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return Collector::For(31).PictureCount() > 5; }, 3000));
    const auto start = Clock::now();
    player.reset();
    const double ms = MsSince(start);
    RecordProperty("close_ms", std::to_string(ms));
    EXPECT_LT(ms, 100.0);
}

TEST_F(EngineOpenFile, ClosingRightAfterSeeksWhilePlayingIsClean) {
    recgen::Options options;
    options.frameCount = 100;
    Write(options);
    for (int round = 0; round < 3; ++round) {
        auto player = test::OpenFile(32, m_path);
        ASSERT_NE(player, nullptr);
        ASSERT_TRUE(test::WaitFor([&] { return player->FileInfo()->bIndexReady.load(); }, 5000));
        player->Play();
        for (int t : {3000, 500, 1700 + round * 100}) EXPECT_TRUE(player->SetPlayTime(t));
        const auto start = Clock::now();
        player.reset();
        EXPECT_LT(MsSince(start), 100.0);
    }
}

TEST(Engine, ClosingWhileAStreamWriteIsBlockedReleasesTheWriter) {
    recgen::Options options;
    options.width = 176;
    options.height = 144;
    options.frameCount = 400;
    options.audio = false;
    recgen::Recording info;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(options, &info);
    const uint32_t id = 33;
    auto player = test::OpenStream(id, bytes);
    ASSERT_NE(player, nullptr);
    // A slow consumer: the queue fills and the writer waits.
    Collector::For(id).onPicture = [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
    std::atomic<int> result{-1};
    std::thread writer([&] {
        result.store(player->StreamWriteToBuf(bytes.data() + 1024, int(bytes.size() - 1024), 0));
    });
    ASSERT_TRUE(test::WaitFor([&] { return player->StreamGetBufferedFrames() >= CAVSyncController::kQueueLimit; }, 5000));
    EXPECT_EQ(result.load(), -1);
    const auto start = Clock::now();
    player.reset();
    const double ms = MsSince(start);
    writer.join();
    EXPECT_LT(ms, 100.0);
    EXPECT_NE(result.load(), -1);
}

TEST(Engine, AudioToleranceFollowsEachEnginesOwnRemotePlayFlag) {
    recgen::Recording info;
    recgen::Options options;
    options.frameCount = 5;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(options, &info);
    auto first = test::OpenStream(36, bytes);
    auto second = test::OpenStream(37, bytes);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    for (int i = 0; i < 3; ++i) first->SetRemoteFilePlay(true);
    EXPECT_EQ(first->AudioTolerance(), 200) << "applying the flag again does not halve it again";
    EXPECT_EQ(second->AudioTolerance(), 400) << "other players keep theirs";
    first->SetRemoteFilePlay(false);
    EXPECT_EQ(first->AudioTolerance(), 400);
}

TEST(Engine, AudioCallbackIsHeldToTheLeadTimeAheadOfThePictures) {
    recgen::Options options;
    options.width = 176;
    options.height = 144;
    options.frameCount = 50;
    recgen::Recording info;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(options, &info);
    const uint32_t id = 38;
    auto player = test::OpenStream(id, bytes, false);
    ASSERT_NE(player, nullptr);
    player->SetAudioDecodeCallBack(&Collector::AudioCallBack, 200, 0);
    std::atomic<int> worstLead{-100000};
    CMpegPlayer* raw = player.get();
    Collector::For(id).onAudio = [&](uint32_t time) {
        const int lead = int(time) - int(raw->CurrentTime());
        if (raw->StreamGetBufferedFrames() > 0 && lead > worstLead.load()) worstLead.store(lead);
    };
    test::PushAll(*player, bytes);
    ASSERT_TRUE(test::WaitFor([&] { return Collector::For(id).PictureCount() == 50; }, 5000));
    EXPECT_LE(worstLead.load(), 200 + 40);
    EXPECT_GT(worstLead.load(), 100) << "sound is not held back further than needed";
}

TEST(Engine, StreamFedFasterThanRealTimeCatchesUpAtOnePointTwo) {
    recgen::Options options;
    options.width = 176;
    options.height = 144;
    options.frameCount = 60;
    options.audio = false;
    recgen::Recording info;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(options, &info);
    auto player = test::OpenStream(34, bytes, false);
    ASSERT_NE(player, nullptr);
    test::PushAll(*player, bytes);
    EXPECT_TRUE(test::WaitFor([&] { return player->PacingSpeed() == 1.2f; }, 2000));
    ASSERT_TRUE(test::WaitFor([&] { return player->StreamGetBufferedFrames() < 15; }, 5000));
    EXPECT_TRUE(test::WaitFor([&] { return player->PacingSpeed() == 1.0f; }, 500));
}

TEST_F(EngineOpenFile, PicturesMoreThanAMinuteApartAreReleasedOneIntervalApart) {
    recgen::Options options;
    options.width = 176;
    options.height = 144;
    options.frameCount = 20;
    options.audio = false;
    options.timeGaps = {{10, 70000}};
    Write(options);
    auto player = test::OpenFile(35, m_path, false);
    ASSERT_NE(player, nullptr);
    player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return Collector::For(35).PictureCount() == 20; }, 3000));
    const auto pictures = Collector::For(35).Pictures();
    const double gap = std::chrono::duration<double, std::milli>(pictures[10].when - pictures[9].when).count();
    EXPECT_EQ(pictures[10].time - pictures[9].time, 70040u);
    EXPECT_LT(gap, 100.0);
}

}  // namespace
}  // namespace qor
