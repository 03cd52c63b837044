#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "engine_fixture.h"
#include "player/container/format.h"

namespace qor {
namespace {

using test::Collector;
using test::DebugCapture;

recgen::Options Small(recgen::Family family, int frames = 60) {
    recgen::Options options;
    options.family = family;
    options.width = 176;
    options.height = 144;
    options.frameCount = frames;
    options.keyInterval = 12;
    return options;
}

// Time stamps in file order; audio before the first key picture is skipped
// while the stream waits for it.
std::vector<uint32_t> Times(const recgen::Recording& info, bool audio) {
    std::vector<uint32_t> times;
    bool started = false;
    for (const recgen::FrameRecord& frame : info.frames) {
        started = started || frame.type == 0;
        if (!started) continue;
        if (audio ? frame.type == 3 : (frame.type == 0 || frame.type == 1)) times.push_back(frame.time);
    }
    return times;
}

struct FamilyCase {
    const char* name;
    recgen::Family family;
};

void PrintTo(const FamilyCase& c, std::ostream* os) { *os << c.name; }

class StreamInputFamilies : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(StreamInputFamilies, EveryPictureAndAudioBlockReachesTheCallbacksOnceInOrder) {
    recgen::Recording info;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(Small(GetParam().family), &info);
    ASSERT_FALSE(bytes.empty());
    const uint32_t id = 1;
    auto player = test::OpenStream(id, bytes);
    ASSERT_NE(player, nullptr);
    test::PushAll(*player, bytes);
    Collector& seen = Collector::For(id);
    const std::vector<uint32_t> pictures = Times(info, false);
    const std::vector<uint32_t> audio = Times(info, true);
    // The MPEG audio decoder lags one frame, so its last frame stays inside it.
    const size_t audioExpected = GetParam().family == recgen::Family::Osprey ? audio.size() - 1 : audio.size();
    ASSERT_TRUE(test::WaitFor([&] {
        return seen.PictureCount() == pictures.size() && seen.AudioTimes().size() >= audioExpected;
    }, 10000)) << seen.PictureCount() << " pictures, " << seen.AudioTimes().size() << " audio blocks";
    std::vector<uint32_t> got;
    for (const test::PictureSeen& picture : seen.Pictures()) got.push_back(picture.time);
    EXPECT_EQ(got, pictures);
    std::vector<uint32_t> gotAudio = seen.AudioTimes();
    std::vector<uint32_t> wantAudio(audio.begin(), audio.begin() + long(gotAudio.size()));
    EXPECT_EQ(gotAudio, wantAudio);
    EXPECT_EQ(player->StreamGetBufferedFrames(), 0);
}

INSTANTIATE_TEST_SUITE_P(StreamInput, StreamInputFamilies,
                         ::testing::Values(FamilyCase{"Marlin", recgen::Family::Marlin},
                                           FamilyCase{"Heron", recgen::Family::Heron},
                                           FamilyCase{"Osprey", recgen::Family::Osprey},
                                           FamilyCase{"Yuv", recgen::Family::Yuv}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(StreamInput, WriterIsHeldBackAtTwoHundredQueuedPicturesAndReleasedAsTheyAreDecoded) {
    recgen::Recording info;
    recgen::Options options = Small(recgen::Family::Marlin, 300);
    options.audio = false;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(options, &info);
    const uint32_t id = 2;
    auto player = test::OpenStream(id, bytes);
    ASSERT_NE(player, nullptr);
    Collector& seen = Collector::For(id);
    seen.HoldPictures(true);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        test::PushAll(*player, bytes, bytes.size() - 1024);
        done.store(true);
    });
    ASSERT_TRUE(test::WaitFor([&] { return player->StreamGetBufferedFrames() >= CAVSyncController::kQueueLimit; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done.load()) << "the write must wait while 200 pictures are queued";
    EXPECT_EQ(player->StreamGetBufferedFrames(), CAVSyncController::kQueueLimit);
    // A limited write gives up and takes nothing.
    const uint8_t junk[64] = {};
    EXPECT_EQ(player->StreamWriteToBuf(junk, sizeof junk, 20), 0);
    seen.HoldPictures(false);
    writer.join();
    EXPECT_TRUE(test::WaitFor([&] { return seen.PictureCount() == 300; }, 10000)) << seen.PictureCount();
}

TEST(StreamInput, AllOrNothingWithinTwoMebibytes) {
    recgen::Recording info;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(Small(recgen::Family::Marlin, 10), &info);
    auto player = test::OpenStream(3, bytes);
    ASSERT_NE(player, nullptr);
    std::vector<uint8_t> big(kStreamBufferLimit + 1, 0);
    EXPECT_EQ(player->StreamWriteToBuf(big.data(), int(big.size()), 0), 0);
    EXPECT_EQ(player->StreamWriteToBuf(nullptr, 10, 0), 0);
    // Part of a frame: taken and held for the next write.
    const recgen::FrameRecord& frame = info.frames[1];
    const int part = int(frame.length) - 5;
    EXPECT_EQ(player->StreamWriteToBuf(bytes.data() + frame.position, part, 0), part);
    EXPECT_EQ(player->StreamGetFreeBufSize(), kStreamBufferLimit - part);
    std::vector<uint8_t> fill(size_t(kStreamBufferLimit - part + 1), 0);
    EXPECT_EQ(player->StreamWriteToBuf(fill.data(), int(fill.size()), 0), 0);
    EXPECT_EQ(player->StreamGetFreeBufSize(), kStreamBufferLimit - part) << "a refused write leaves the held bytes";
}

TEST(StreamInput, CorruptFrameSizeEmptiesTheBuffer) {
    recgen::Recording info;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(Small(recgen::Family::Marlin, 10), &info);
    auto player = test::OpenStream(4, bytes);
    ASSERT_NE(player, nullptr);
    DebugCapture capture;
    std::vector<uint8_t> frame(bytes.begin() + info.frames[1].position,
                               bytes.begin() + info.frames[1].position + info.frames[1].length);
    frame[4] = frame[5] = 0;  // length field 0
    frame[6] &= 0xF0;
    EXPECT_EQ(player->StreamWriteToBuf(frame.data(), int(frame.size()), 0), int(frame.size()));
    EXPECT_TRUE(capture.Has("[QOR]StreamWriteToBuf() input frame size error.\n"));
    EXPECT_EQ(player->StreamGetFreeBufSize(), kStreamBufferLimit);
}

TEST(StreamInput, NothingShowsBeforeTheFirstKeyPictureWhoseTimeStartsTheStream) {
    recgen::Recording info;
    recgen::Options options = Small(recgen::Family::Marlin, 30);
    options.startTime = 5000;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(options, &info);
    const uint32_t id = 5;
    auto player = test::OpenStream(id, bytes);
    ASSERT_NE(player, nullptr);
    // Skip the first group: the stream starts on a predicted picture.
    const int64_t from = info.frames[2].position;
    std::vector<uint8_t> rest(bytes.begin() + from, bytes.end());
    ASSERT_EQ(player->StreamWriteToBuf(rest.data(), int(rest.size()), 0), int(rest.size()));
    Collector& seen = Collector::For(id);
    ASSERT_TRUE(test::WaitFor([&] { return seen.PictureCount() == 18; }, 5000)) << seen.PictureCount();
    EXPECT_EQ(seen.Pictures().front().time, info.keyFrames[1].time);
    EXPECT_EQ(player->PlayedTime(), int(info.frames.back().time >= info.keyFrames[1].time
                                            ? seen.Pictures().back().time - info.keyFrames[1].time
                                            : 0));
}

TEST(StreamInput, EmptyBufResetsTheEngineBeforeTheNextWrite) {
    recgen::Recording info;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(Small(recgen::Family::Marlin, 24), &info);
    const uint32_t id = 6;
    auto player = test::OpenStream(id, bytes, false);
    ASSERT_NE(player, nullptr);
    const recgen::FrameRecord& frame = info.frames[1];
    const int part = int(frame.length) - 5;
    ASSERT_EQ(player->StreamWriteToBuf(bytes.data() + frame.position, part, 0), part);
    player->StreamEmptyBuf();
    // The new bytes start from a clean buffer: the held part is gone.
    std::vector<uint8_t> body(bytes.begin() + 1024, bytes.end());
    ASSERT_EQ(player->StreamWriteToBuf(body.data(), int(body.size()), 0), int(body.size()));
    EXPECT_EQ(player->StreamGetFreeBufSize(), kStreamBufferLimit);
    Collector& seen = Collector::For(id);
    EXPECT_TRUE(test::WaitFor([&] { return seen.PictureCount() == 24; }, 5000)) << seen.PictureCount();
}

TEST(StreamInput, HeaderRestartWithNewPictureSizeResynchronises) {
    recgen::Recording info;
    recgen::Options options = Small(recgen::Family::Marlin, 40);
    options.extraHeaders = {{20, 352, 288}};
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(options, &info);
    const uint32_t id = 7;
    auto player = test::OpenStream(id, bytes);
    ASSERT_NE(player, nullptr);
    test::PushAll(*player, bytes);
    Collector& seen = Collector::For(id);
    ASSERT_TRUE(test::WaitFor([&] { return seen.PictureCount() == 40; }, 5000)) << seen.PictureCount();
    const std::vector<test::PictureSeen> pictures = seen.Pictures();
    EXPECT_EQ(pictures[19].width, 176);
    EXPECT_EQ(pictures[20].width, 352);
    EXPECT_EQ(pictures[20].height, 288);
    int width = 0, height = 0;
    player->GetPictureSize(&width, &height);
    EXPECT_EQ(width, 352);
}

TEST(StreamInput, BufferedPicturesOfAnEndedStreamAreAllDelivered) {
    // Without data-driven delivery the start-up buffering holds 15 pictures;
    // a stream that ends with fewer must still deliver them.
    recgen::Recording info;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(Small(recgen::Family::Marlin, 8), &info);
    const uint32_t id = 8;
    auto player = test::OpenStream(id, bytes, false);
    ASSERT_NE(player, nullptr);
    test::PushAll(*player, bytes);
    Collector& seen = Collector::For(id);
    EXPECT_TRUE(test::WaitFor([&] { return seen.PictureCount() == 8; }, 5000)) << seen.PictureCount();
}

TEST(StreamInput, RemoteFilePlayStepsForwardThroughTheQueuedPictures) {
    recgen::Recording info;
    recgen::Options options = Small(recgen::Family::Marlin, 30);
    options.audio = false;
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(options, &info);
    const uint32_t id = 9;
    auto player = test::OpenStream(id, bytes);
    ASSERT_NE(player, nullptr);
    Collector& seen = Collector::For(id);
    player->SetRemoteFilePlay(true);
    // Nothing queued yet: the step finds no picture and the steps are exhausted.
    EXPECT_FALSE(player->StepPlay(true));
    EXPECT_EQ(player->State(), kStateStepsExhausted);
    test::PushAll(*player, bytes);
    ASSERT_TRUE(test::WaitFor([&] { return player->StreamGetBufferedFrames() >= 10; }, 5000));
    EXPECT_EQ(seen.PictureCount(), 0u) << "pictures must wait for the steps";

    const std::vector<uint32_t> pictures = Times(info, false);
    for (size_t step = 0; step < 4; ++step) {
        ASSERT_TRUE(player->StepPlay(true)) << step;
        EXPECT_EQ(player->State(), kStateStepWait);
        ASSERT_EQ(seen.PictureCount(), step + 1);
        EXPECT_EQ(seen.Pictures().back().time, pictures[step]);
        // A key picture starts the second time value, each picture after it counts on.
        EXPECT_EQ(player->SecondTime(), uint32_t(step));
    }
    struct Refusal {
        const char* name;
        bool remote;
        bool forward;
    };
    for (const Refusal& c : {Refusal{"backward with remote play", true, false},
                             Refusal{"forward without remote play", false, true}}) {
        player->SetRemoteFilePlay(c.remote);
        EXPECT_FALSE(player->StepPlay(c.forward)) << c.name;
    }
    player->SetRemoteFilePlay(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(seen.PictureCount(), 4u);

    // Play goes on after the last picture stepped to; nothing is lost.
    ASSERT_TRUE(player->Play());
    ASSERT_TRUE(test::WaitFor([&] { return seen.PictureCount() == pictures.size(); }, 10000)) << seen.PictureCount();
    std::vector<uint32_t> got;
    for (const test::PictureSeen& picture : seen.Pictures()) got.push_back(picture.time);
    EXPECT_EQ(got, pictures);
}

}  // namespace
}  // namespace qor
