// Generated recordings of every family converted through the player library,
// each AVI checked with ffprobe and ffmpeg (the independent reader).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "converter/job/conversion_job.h"
#include "converter/job/picture_widening.h"
#include "tests/support/debug_capture.h"
#include "tests/support/temp_dir.h"
#include "media_probe.h"
#include "recording_generator.h"

using qor::recgen::Family;
using qor::test::DebugCapture;

namespace {

struct EndToEndCase {
    const char* name;
    Family family;
    int width;
    int height;
    uint32_t audioType;
    std::vector<std::pair<int, uint32_t>> timeGaps;
    int expectedWidth;
    const char* frameRate;
    const char* sampleRate;
    int repeats;  // gap-filling repeats the time gaps add
};

const EndToEndCase kCases[] = {
    {"marlin_g726", Family::Marlin, 352, 288, 0x8000, {}, 352, "25/1", "16000", 0},
    {"heron_g726_4000", Family::Heron, 352, 288, 0x4000, {}, 352, "25/1", "16000", 0},
    {"heron_g726_6000", Family::Heron, 352, 288, 0x6000, {}, 352, "25/1", "16000", 0},
    {"heron_g726_8000", Family::Heron, 352, 288, 0x8000, {}, 352, "25/1", "16000", 0},
    {"heron_g711", Family::Heron, 352, 288, 0x10000, {}, 352, "25/1", "16000", 0},
    {"osprey_mp3", Family::Osprey, 352, 288, 0x8000, {}, 352, "25/1", "44100", 0},
    {"yuv_h264", Family::Yuv, 352, 288, 0x8000, {}, 352, "25/1", "16000", 0},
    {"marlin_528", Family::Marlin, 528, 576, 0x8000, {}, 704, "25/1", "16000", 0},
    {"marlin_ntsc", Family::Marlin, 352, 240, 0x8000, {}, 352, "30000/1001", "16000", 0},
    // A picture 120 ms after its predecessor brings two repeats; 600 ms none.
    {"marlin_gaps", Family::Marlin, 352, 288, 0x8000, {{20, 80}, {35, 560}}, 352, "25/1", "16000", 2},
};

void PrintTo(const EndToEndCase& c, std::ostream* os) { *os << c.name; }

constexpr int kFrames = 50;

double Number(const std::string& text) {
    try {
        return std::stod(text);
    } catch (...) {
        return -1.0;
    }
}

// Mean luma PSNR of the AVI's pictures against the generator's source
// pictures (widened like the job widens them).
double LumaPsnr(const std::string& avi, int sourceWidth, int width, int height, int frames) {
    const std::string command =
        "ffmpeg -nostdin -v error -i '" + avi + "' -fps_mode passthrough -f rawvideo -pix_fmt yuv420p -";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return 0.0;
    const size_t frameBytes = vidorra::PackedPictureSize(width, height);
    std::vector<uint8_t> decoded(frameBytes), source(vidorra::PackedPictureSize(sourceWidth, height)),
        expected(frameBytes);
    double total = 0.0;
    int counted = 0;
    for (int i = 0; i < frames && fread(decoded.data(), 1, frameBytes, pipe) == frameBytes; ++i) {
        uint8_t* y = source.data();
        uint8_t* u = y + sourceWidth * height;
        uint8_t* v = u + (sourceWidth / 2) * (height / 2);
        qor::recgen::TestPattern(i, sourceWidth, height, y, sourceWidth, u, v, sourceWidth / 2);
        vidorra::PackPicture({sourceWidth, height, y, u, v, sourceWidth, sourceWidth / 2, sourceWidth / 2}, width,
                             height, expected.data(), expected.size());
        double squared = 0.0;
        for (int p = 0; p < width * height; ++p) {
            const double d = static_cast<double>(decoded[p]) - expected[p];
            squared += d * d;
        }
        const double mse = squared / (width * height);
        total += mse > 0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
        ++counted;
    }
    pclose(pipe);
    return counted > 0 ? total / counted : 0.0;
}

class ConversionJobEndToEnd : public ::testing::TestWithParam<EndToEndCase> {
protected:
    qor::test::TempDir m_temp{"job_e2e"};
    const std::string m_dir = m_temp.path();
};

}  // namespace

TEST_P(ConversionJobEndToEnd, ConvertsToAnAviThatDecodesToTheEnd) {
    const EndToEndCase& c = GetParam();
    qor::recgen::Options options;
    options.family = c.family;
    options.width = c.width;
    options.height = c.height;
    options.frameCount = kFrames;
    options.audioType = c.audioType;
    options.timeGaps = c.timeGaps;
    options.quality = 2;
    const std::string source = m_dir + "/source.mp4";
    const std::string target = m_dir + "/source.avi";
    qor::recgen::Recording info;
    std::string error;
    ASSERT_TRUE(qor::recgen::WriteRecording(options, source, &info, &error)) << error;

    vidorra::ConversionJob job(vidorra::LibraryPlayerInterface(), vidorra::ConversionSettings::ForQualityLevel(2),
                               vidorra::JobFrontEnd{});
    const vidorra::JobResult result = job.Run(source, target);
    ASSERT_EQ(result.outcome, vidorra::JobOutcome::Succeeded) << vidorra::FailureMessage(result.failure);
    EXPECT_EQ(job.ProducedFrames(), kFrames + c.repeats);

    EXPECT_EQ(DecodeErrors(target), "");
    auto video = ProbeStream(target, "v");
    EXPECT_EQ(video["codec_name"], "mpeg4");
    EXPECT_EQ(video["codec_tag_string"], "xvid");
    EXPECT_EQ(video["width"], std::to_string(c.expectedWidth));
    EXPECT_EQ(video["height"], std::to_string(c.height));
    EXPECT_EQ(video["avg_frame_rate"], c.frameRate);
    EXPECT_EQ(video["nb_read_frames"], std::to_string(kFrames + c.repeats));
    auto audio = ProbeStream(target, "a");
    EXPECT_EQ(audio["codec_name"], "mp3");
    EXPECT_EQ(audio["sample_rate"], c.sampleRate);
    // Both streams cover the recording: pictures at 40 ms, audio for as long
    // (gap repeats lengthen the video only).
    const double videoSeconds = kFrames * 0.04;
    // The AVI's MP3 stream carries no duration of its own; MPEG-1 frames
    // (44,100 Hz) hold 1152 samples, MPEG-2 frames (16,000 Hz) 576.
    const double rate = Number(audio["sample_rate"]);
    const double audioSeconds = Number(audio["nb_read_frames"]) * (rate >= 32000 ? 1152.0 : 576.0) / rate;
    EXPECT_NEAR(audioSeconds, videoSeconds, 0.1);
    // The stream header's length counts bytes at the MP3 byte rate, so a player
    // that takes the audio duration from the header sees all of the sound.
    const double headerSeconds = Number(audio["nb_frames"]) * 8.0 / Number(audio["bit_rate"]);
    EXPECT_NEAR(headerSeconds, videoSeconds, 0.15);

    if (c.timeGaps.empty()) {
        const double psnr = LumaPsnr(target, c.width, c.expectedWidth, c.height, kFrames);
        std::printf("%s: luma PSNR %.2f dB at %d bit/s\n", c.name, psnr, job.TargetBitrate());
        EXPECT_GT(psnr, 40.0);  // measured 44.6 (528 -> 704) to 47.8 dB at level 2
    }
}

INSTANTIATE_TEST_SUITE_P(Families, ConversionJobEndToEnd, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<EndToEndCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ConversionJobLibrary, UnknownFormatFailsWithoutCreatingTheTarget) {
    const qor::test::TempDir temp("job_e2e_bad");
    const std::string dir = temp.path();
    const std::string source = dir + "/noise.mp4";
    std::ofstream(source, std::ios::binary) << std::string(4096, '\x33');
    DebugCapture capture;
    EXPECT_FALSE(
        vidorra::ConvertRecording(source, dir + "/noise.avi", vidorra::ConversionSettings::ForQualityLevel(2)));
    EXPECT_EQ(capture.Count("[QOR]call QORPLAYER_FileOpen() error.\n"), 1);
    EXPECT_EQ(RunCommand("ls '" + dir + "'"), "noise.mp4\n");
}

TEST(ConversionJobLibrary, RecordingUnderOneSecondConvertsAt768000) {
    const qor::test::TempDir temp("job_e2e_short");
    const std::string dir = temp.path();
    qor::recgen::Options options;
    options.frameCount = 20;  // 760 ms
    qor::recgen::Recording info;
    std::string error;
    ASSERT_TRUE(qor::recgen::WriteRecording(options, dir + "/short.mp4", &info, &error)) << error;
    DebugCapture capture;
    vidorra::ConversionJob job(vidorra::LibraryPlayerInterface(), vidorra::ConversionSettings::ForQualityLevel(4),
                               vidorra::JobFrontEnd{});
    EXPECT_EQ(job.Run(dir + "/short.mp4", dir + "/short.avi").outcome, vidorra::JobOutcome::Succeeded);
    EXPECT_EQ(job.TargetBitrate(), 768000);
    EXPECT_EQ(capture.Count("[QOR]QORPLAYER_FileGetTotalTime() return value error!\n"), 1);
    EXPECT_EQ(ProbeStream(dir + "/short.avi", "v")["nb_read_frames"], "20");
}

TEST(ConversionJobLibrary, BytesBeforeTheFileHeaderDoNotStopTheConversion) {
    const qor::test::TempDir temp("job_e2e_garbage");
    const std::string dir = temp.path();
    qor::recgen::Options options;
    options.frameCount = 50;
    options.leadingGarbage = 700;  // the first 1024 bytes hold no whole header
    qor::recgen::Recording info;
    std::string error;
    ASSERT_TRUE(qor::recgen::WriteRecording(options, dir + "/cut.mp4", &info, &error)) << error;
    vidorra::ConversionJob job(vidorra::LibraryPlayerInterface(), vidorra::ConversionSettings::ForQualityLevel(2),
                               vidorra::JobFrontEnd{});
    ASSERT_EQ(job.Run(dir + "/cut.mp4", dir + "/cut.avi").outcome, vidorra::JobOutcome::Succeeded);
    EXPECT_EQ(DecodeErrors(dir + "/cut.avi"), "");
    EXPECT_EQ(ProbeStream(dir + "/cut.avi", "v")["nb_read_frames"], "50");
}

TEST(ConversionJobLibrary, RecordingWithoutSoundBecomesAVideoOnlyAvi) {
    const qor::test::TempDir temp("job_e2e_silent");
    const std::string dir = temp.path();
    qor::recgen::Options options;
    options.frameCount = 60;
    options.audio = false;
    qor::recgen::Recording info;
    std::string error;
    ASSERT_TRUE(qor::recgen::WriteRecording(options, dir + "/silent.mp4", &info, &error)) << error;
    vidorra::ConversionJob job(vidorra::LibraryPlayerInterface(), vidorra::ConversionSettings::ForQualityLevel(2),
                               vidorra::JobFrontEnd{});
    ASSERT_EQ(job.Run(dir + "/silent.mp4", dir + "/silent.avi").outcome, vidorra::JobOutcome::Succeeded);
    EXPECT_EQ(DecodeErrors(dir + "/silent.avi"), "");
    EXPECT_EQ(ProbeStream(dir + "/silent.avi", "v")["nb_read_frames"], "60");
    EXPECT_TRUE(ProbeStream(dir + "/silent.avi", "a").empty());
}
