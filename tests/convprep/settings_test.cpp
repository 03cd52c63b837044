#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "converter/avi/avi_output.h"
#include "converter/job/conversion_settings.h"
#include "tests/support/debug_capture.h"

namespace vidorra {
namespace {

using qor::test::DebugCapture;

struct LevelCase {
    int level;
    int row;
    const char* name;
    float factor;
    int preset;
};

TEST(Settings, QualityLevelSelectsRowAndOutOfRangeMeansGood) {
    const LevelCase cases[] = {
        {0, 0, "limited", 0.5f, 2}, {1, 1, "normal", 0.75f, 2}, {2, 2, "good", 1.0f, 4},
        {3, 3, "better", 1.25f, 5}, {4, 4, "best", 1.5f, 6},    {7, 2, "good", 1.0f, 4},
        {-1, 2, "good", 1.0f, 4},   {5, 2, "good", 1.0f, 4},    {std::numeric_limits<int>::min(), 2, "good", 1.0f, 4},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.level);
        const ConversionSettings settings = ConversionSettings::ForQualityLevel(c.level);
        EXPECT_EQ(settings.qualityLevel, c.row);
        EXPECT_EQ(kQualityTable[settings.qualityLevel].name, c.name);
        EXPECT_EQ(settings.bitrateFactor, c.factor);
        EXPECT_EQ(settings.presetIndex, c.preset);
        EXPECT_EQ(settings.frameRate, 25.0f);
        EXPECT_EQ(settings.keyFrameInterval, 25);
        EXPECT_EQ(settings.bFrameCount, 0);
        EXPECT_EQ(settings.postFilterLevel, 0);
    }
}

TEST(Settings, DefaultIsTheGoodRowTheWindowShows) {
    const ConversionSettings settings;
    EXPECT_EQ(settings.qualityLevel, 2);
    EXPECT_EQ(settings.bitrateFactor, 1.0f);
    EXPECT_EQ(settings.presetIndex, 4);
}

TEST(Settings, AudioTableAcceptsOnly8000And44100) {
    const AudioSettings* narrow = AudioSettingsFor(8000);
    ASSERT_NE(narrow, nullptr);
    EXPECT_EQ(narrow->mp3SampleRate, 16000);
    EXPECT_EQ(narrow->mp3Bitrate, 32000);
    EXPECT_EQ(narrow->averageBytesPerSecond, 4000u);
    const AudioSettings* wide = AudioSettingsFor(44100);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->mp3SampleRate, 44100);
    EXPECT_EQ(wide->mp3Bitrate, 64000);
    EXPECT_EQ(wide->averageBytesPerSecond, 8000u);
    for (uint32_t rate : {0u, 11025u, 16000u, 22050u, 32000u, 48000u}) EXPECT_EQ(AudioSettingsFor(rate), nullptr) << rate;
}

struct BitrateCase {
    uint64_t fileSize;
    int32_t seconds;
    int level;
    int32_t expected;
};

TEST(Bitrate, AverageSourceRateTimesFactor) {
    const BitrateCase cases[] = {
        {10'000'000, 100, 2, 800'000},
        {10'000'000, 100, 0, 400'000},
        {10'000'000, 100, 1, 600'000},
        {10'000'000, 100, 3, 1'000'000},
        {10'000'000, 100, 4, 1'200'000},
        {1'000'001, 3, 2, 2'666'669},  // 2,666,669.33 truncated
        {999, 7, 0, 570},              // 570.857 truncated toward zero
        // 3 GB over an hour: size x 8 passes 2^32, the result does not.
        {3'000'000'000ull, 3600, 2, 6'666'666},
    };
    for (const BitrateCase& c : cases) {
        SCOPED_TRACE(c.fileSize);
        EXPECT_EQ(TargetBitrate(c.fileSize, c.seconds, kQualityTable[c.level].bitrateFactor), c.expected);
    }
}

TEST(Bitrate, UnknownOrSubSecondDurationGives768000AtEveryLevel) {
    for (int level = 0; level < kQualityLevelCount; ++level) {
        for (int32_t seconds : {0, -1, std::numeric_limits<int32_t>::min()}) {
            EXPECT_EQ(TargetBitrate(10'000'000, seconds, kQualityTable[level].bitrateFactor), 768'000)
                << level << " " << seconds;
        }
    }
}

TEST(Bitrate, HugeRateIsClampedNotWrapped) {
    EXPECT_EQ(TargetBitrate(4'000'000'000ull, 1, 1.5f), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(TargetBitrate(UINT64_MAX, 1, 1.5f), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(TargetBitrate(0, 10, 1.0f), 0);
}

TEST(Settings, VideoStreamRateFollowsPictureHeight) {
    struct Case {
        int height;
        uint32_t scale, rate;
    } const cases[] = {{288, 1, 25}, {576, 1, 25}, {240, 1001, 30000}, {480, 1001, 30000}, {720, 1001, 30000}};
    for (const Case& c : cases) {
        AVIOutput writer;
        AVIOutputStream* video = writer.AddVideoStream();
        ASSERT_TRUE(SetAviVideoStream(video, 704, c.height));
        const AVIStreamHeader& header = video->GetStreamHeader();
        EXPECT_EQ(header.dwScale, c.scale) << c.height;
        EXPECT_EQ(header.dwRate, c.rate) << c.height;
    }
}

TEST(Settings, VideoStreamDescribesXvidPicture) {
    AVIOutput writer;
    AVIOutputStream* video = writer.AddVideoStream();
    ASSERT_TRUE(SetAviVideoStream(video, 704, 576));

    uint8_t stored[AVIStreamHeader::kSize];
    video->GetStreamHeader().Store(stored);
    std::vector<uint8_t> expected(AVIStreamHeader::kSize, 0);
    const uint8_t vids[] = {'v', 'i', 'd', 's', 'x', 'v', 'i', 'd'};
    std::copy(std::begin(vids), std::end(vids), expected.begin());
    expected[20] = 1;   // dwScale
    expected[24] = 25;  // dwRate
    EXPECT_EQ(std::vector<uint8_t>(stored, stored + AVIStreamHeader::kSize), expected);

    ASSERT_EQ(video->GetFormatSize(), 40u);
    const uint8_t* f = video->GetFormat();
    EXPECT_EQ(GetU32(f), 40u);
    EXPECT_EQ(static_cast<int32_t>(GetU32(f + 4)), 704);
    EXPECT_EQ(static_cast<int32_t>(GetU32(f + 8)), 576);  // positive: top-down is not claimed
    EXPECT_EQ(GetU16(f + 12), 0u);                        // biPlanes
    EXPECT_EQ(GetU16(f + 14), 0u);                        // biBitCount
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f + 16), 4), "xvid");
    for (int i = 20; i < 40; ++i) EXPECT_EQ(f[i], 0) << i;
}

QorWaveFormat Pcm(uint16_t channels, uint32_t rate) {
    QorWaveFormat wave{};
    wave.wFormatTag = 1;
    wave.nChannels = channels;
    wave.nSamplesPerSec = rate;
    wave.wBitsPerSample = 16;
    wave.nBlockAlign = static_cast<uint16_t>(channels * 2);
    wave.nAvgBytesPerSec = rate * wave.nBlockAlign;
    return wave;
}

TEST(Settings, AudioStreamFor8000HzMonoIs16000HzMp3) {
    AVIOutput writer;
    AVIOutputStream* audio = writer.AddAudioStream();
    Mp3EncoderState mp3;
    ASSERT_TRUE(SetAviAudioStream(audio, Pcm(1, 8000), &mp3));
    EXPECT_NE(mp3.handle, nullptr);
    EXPECT_EQ(mp3_channel_count(&mp3), 1);

    const AVIStreamHeader& h = audio->GetStreamHeader();
    EXPECT_EQ(h.fccType, MakeFourCC("auds"));
    EXPECT_EQ(h.fccHandler, 0u);
    EXPECT_EQ(h.dwInitialFrames, 1u);
    EXPECT_EQ(h.dwScale, 1u);
    EXPECT_EQ(h.dwRate, 4000u);
    EXPECT_EQ(h.dwQuality, 0xFFFFFFFFu);
    EXPECT_EQ(h.dwSampleSize, 1u);
    EXPECT_EQ(h.dwLength, 0u);
    EXPECT_EQ(h.rcFrame.left, 77);
    EXPECT_EQ(h.rcFrame.top, 40);
    EXPECT_EQ(h.rcFrame.right, 46);
    EXPECT_EQ(h.rcFrame.bottom, 110);

    ASSERT_EQ(audio->GetFormatSize(), 30u);
    const uint8_t* f = audio->GetFormat();
    const uint8_t expected[30] = {0x55, 0,    1,    0, 0x80, 0x3E, 0, 0, 0xA0, 0x0F, 0, 0, 1, 0, 0,
                                  0,    12,   0,    1, 0,    2,    0, 0, 0,    0x00, 0x12, 1, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(f, f + 30), std::vector<uint8_t>(expected, expected + 30));
    mp3_close(&mp3);
}

TEST(Settings, AudioStreamFor44100HzStereoKeepsRate) {
    AVIOutput writer;
    AVIOutputStream* audio = writer.AddAudioStream();
    Mp3EncoderState mp3;
    ASSERT_TRUE(SetAviAudioStream(audio, Pcm(2, 44100), &mp3));
    EXPECT_EQ(mp3_channel_count(&mp3), 2);
    EXPECT_EQ(audio->GetStreamHeader().dwRate, 8000u);
    const uint8_t* f = audio->GetFormat();
    EXPECT_EQ(GetU16(f + 2), 2u);
    EXPECT_EQ(GetU32(f + 4), 44100u);
    EXPECT_EQ(GetU32(f + 8), 8000u);
    mp3_close(&mp3);
}

TEST(Settings, AudioStreamRefusesOtherRatesWithTheFormatLine) {
    for (uint32_t rate : {22050u, 48000u, 0u}) {
        DebugCapture capture;
        AVIOutput writer;
        AVIOutputStream* audio = writer.AddAudioStream();
        Mp3EncoderState mp3;
        EXPECT_FALSE(SetAviAudioStream(audio, Pcm(1, rate), &mp3)) << rate;
        EXPECT_EQ(mp3.handle, nullptr);
        EXPECT_EQ(audio->GetFormatSize(), 0u);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{"[QOR]out wave format error!\n"});
    }
}

TEST(Settings, AudioStreamRefusesChannelCountsTheEncoderCannotTake) {
    for (uint16_t channels : {0, 3, 6}) {
        DebugCapture capture;
        AVIOutput writer;
        AVIOutputStream* audio = writer.AddAudioStream();
        Mp3EncoderState mp3;
        EXPECT_FALSE(SetAviAudioStream(audio, Pcm(channels, 8000), &mp3)) << channels;
        EXPECT_EQ(mp3.handle, nullptr);
        EXPECT_EQ(audio->GetFormatSize(), 0u);
        EXPECT_TRUE(capture.Lines().empty());
    }
}

TEST(Settings, AudioStreamReplacesAnEncoderLeftOpen) {
    AVIOutput writer;
    AVIOutputStream* audio = writer.AddAudioStream();
    Mp3EncoderState mp3;
    ASSERT_TRUE(SetAviAudioStream(audio, Pcm(2, 44100), &mp3));
    ASSERT_TRUE(SetAviAudioStream(audio, Pcm(1, 8000), &mp3));
    EXPECT_EQ(mp3_channel_count(&mp3), 1);
    EXPECT_EQ(mp3_frame_size(&mp3), 576);  // MPEG-2 layer III at 16 kHz
    mp3_close(&mp3);
}

}  // namespace
}  // namespace vidorra
