// More than one RIFF budget of real data on disk (about 2.2 GB): every frame
// must stay reachable through the OpenDML indexes, and the AVIX RIFFs,
// standard indexes and super indexes must agree with the chunks.
#include <gtest/gtest.h>

#include "converter/avi/mp3_encoder.h"
#include "converter/avi/mpeg4_encoder.h"
#include "platform/file.h"
#include "tests/avi/avi_test_support.h"
#include "tests/avi/media_sources.h"
#include "tests/avi/riff_walker.h"

namespace {

using vidorra::kAviKeyFrame;

constexpr int64_t kNeededFreeBytes = int64_t{3} << 30;
constexpr uint32_t kVideoChunk = 512 * 1024;
constexpr int kVideoFrames = 4300;  // 4300 x 512 KiB = 2.25 GB, 172 s at 25 fps

std::string Field(const std::string& text, const std::string& key) {
    const auto at = text.find(key + "=");
    if (at == std::string::npos) return "<missing " + key + ">";
    const auto end = text.find('\n', at);
    return text.substr(at + key.size() + 1, end - at - key.size() - 1);
}

TEST(OpenDmlLarge, MoreThanOneRiffBudgetStaysReachableAndConsistent) {
    avitest::TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const int64_t free = qor::FreeDiskSpace(dir.path());
    if (free < kNeededFreeBytes) {
        GTEST_SKIP() << "needs 3 GB free in " << dir.path() << ", has " << free / (1 << 20) << " MB";
    }
    if (!avitest::HaveFfmpeg()) GTEST_SKIP() << "ffprobe/ffmpeg are not installed";
    const std::string path = dir.path() + "/large.avi";

    // Each video chunk is a real key frame followed by zero stuffing up to
    // a fixed size, so the file grows fast and a decoder still accepts it.
    int error = -1;
    vidorra::Mpeg4Encoder* encoder = vidorra::enc_init(1, 352, 288, 25.0f, 800000, 25, 0, &error);
    ASSERT_NE(encoder, nullptr);
    std::vector<uint8_t> frame(kVideoChunk, 0);
    int type = 0;
    const int coded = vidorra::enc_encode(encoder, 4, avitest::MovingPicture(0, 352, 288).data(), frame.data(),
                                          static_cast<int>(frame.size()), nullptr, &type, nullptr, nullptr, nullptr,
                                          nullptr, nullptr);
    vidorra::enc_stop(encoder);
    ASSERT_GT(coded, 0);
    ASSERT_EQ(type, 1);

    uint32_t audioChunks = 0;
    int64_t audioSamples = 0;
    {
        avitest::TwoStreamWriter w;
        vidorra::Mp3EncoderState mp3;
        ASSERT_EQ(vidorra::mp3_init(&mp3, 2, 44100, 64000), 0);
        ASSERT_TRUE(w.writer.Open(path));
        std::vector<uint8_t> mp3Out(16384);
        int64_t samples = 0;
        for (int i = 0; i < kVideoFrames; ++i) {
            while (samples * 25 <= int64_t{i} * 44100) {
                const auto pcm = avitest::SineTone(44100, 2, samples, 1152);
                const int n = vidorra::mp3_encode(&mp3, 2, 16384, mp3Out.data(), 1152, pcm.data());
                samples += 1152;
                if (n > 0) {
                    ASSERT_TRUE(w.audio->Write(kAviKeyFrame, mp3Out.data(), static_cast<uint32_t>(n), n));
                    ++audioChunks;
                }
            }
            ASSERT_TRUE(w.video->Write(kAviKeyFrame, frame.data(), kVideoChunk, 1));
        }
        audioSamples = samples;
        vidorra::mp3_close(&mp3);
        ASSERT_TRUE(w.writer.Close());
        EXPECT_FALSE(w.writer.HasError());
    }

    avitest::AviFile avi;
    std::string walkError;
    ASSERT_TRUE(avitest::ReadAvi(path, &avi, &walkError)) << walkError;
    EXPECT_GT(avi.fileSize, uint64_t{0x7F000000});
    EXPECT_LT(avi.fileSize, uint64_t{1} << 32);
    ASSERT_EQ(avi.riffs.size(), 2u);
    EXPECT_EQ(avi.riffs[1].type, "AVIX");
    size_t firstVideo = 0;
    for (const auto& c : avi.riffs[0].chunks) firstVideo += c.id == "00dc";
    EXPECT_EQ(avi.avih[4], firstVideo);
    EXPECT_LT(firstVideo, static_cast<size_t>(kVideoFrames));
    EXPECT_EQ(avi.dmlhTotalFrames, static_cast<uint32_t>(kVideoFrames));
    ASSERT_EQ(avi.streams.size(), 2u);
    EXPECT_EQ(avi.streams[0].indexFcc, "indx");
    EXPECT_EQ(avi.streams[1].indexFcc, "indx");
    const auto faults = avitest::CheckIndexes(avi, path);
    EXPECT_TRUE(faults.empty()) << faults.front();

    const std::string v = avitest::RunCommand(
        "ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets "
        "-show_entries format=duration -of default=nw=1 '" + path + "'");
    EXPECT_EQ(Field(v, "nb_read_packets"), std::to_string(kVideoFrames)) << v;
    EXPECT_NEAR(std::atof(Field(v, "duration").c_str()), kVideoFrames / 25.0, 0.5) << v;
    // Audio reaches the end too: the reader's parser merges and skips a few
    // packets (the encoder's info frame), so compare time, not packets.
    const std::string a = avitest::RunCommand(
        "ffprobe -v error -select_streams a:0 -show_entries packet=pts_time -of csv=p=0 '" + path + "' | tail -n 1");
    EXPECT_NEAR(std::atof(a.c_str()), static_cast<double>(audioSamples - 1152) / 44100, 0.2) << a;
    EXPECT_GT(audioChunks, 6000u);

    // The last video frame decodes: seek near the end through the index.
    const std::string tail = avitest::RunCommand("ffmpeg -nostdin -hide_banner -v error -ss 170 -i '" + path +
                                                 "' -map 0:v -frames:v 5 -f null -");
    EXPECT_EQ(tail, "") << tail;
}

}  // namespace
