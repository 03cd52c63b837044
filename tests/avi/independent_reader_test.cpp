// Files written with real MPEG-4 and MP3 chunks from the adapters must be
// read to the end by an independent reader (ffprobe / ffmpeg).
#include <gtest/gtest.h>

#include <ostream>

#include <string>

#include "converter/avi/mp3_encoder.h"
#include "converter/avi/mpeg4_encoder.h"
#include "tests/avi/avi_test_support.h"
#include "tests/avi/media_sources.h"
#include "tests/avi/riff_walker.h"

namespace {

using vidorra::kAviKeyFrame;

struct ConversionCase {
    const char* name;
    int width, height;
    int frames;
    int sampleRate;  // MP3 rate
    int channels;
    const char* frameRate;  // as ffprobe prints it
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

struct AudioSettings {
    int bitRate;
    uint32_t avgBytes;
};

AudioSettings AudioFor(int sampleRate) {
    return sampleRate == 44100 ? AudioSettings{64000, 8000} : AudioSettings{32000, 4000};
}

// Writes what a conversion writes: audio before video by time stamp.
void WriteConverted(const ConversionCase& c, const std::string& path) {
    const AudioSettings audio = AudioFor(c.sampleRate);
    vidorra::AVIOutput writer;
    auto* video = writer.AddVideoStream();
    auto* sound = writer.AddAudioStream();
    video->SetStreamHeader(avitest::VideoHeader(c.height));
    const auto vf = avitest::VideoFormat(c.width, c.height);
    video->SetFormat(vf.data(), 40);
    sound->SetStreamHeader(avitest::AudioHeader(audio.avgBytes));
    const auto af = avitest::AudioFormat(c.channels, static_cast<uint32_t>(c.sampleRate), audio.avgBytes);
    sound->SetFormat(af.data(), 30);

    vidorra::Mp3EncoderState mp3;
    ASSERT_EQ(vidorra::mp3_init(&mp3, c.channels, c.sampleRate, audio.bitRate), 0);
    int error = -1;
    vidorra::Mpeg4Encoder* encoder = vidorra::enc_init(1, c.width, c.height, 25.0f, 800000, 25, 0, &error);
    ASSERT_NE(encoder, nullptr);
    ASSERT_TRUE(writer.Open(path));

    const auto& vh = video->GetStreamHeader();
    const int frameSize = vidorra::mp3_frame_size(&mp3);
    std::vector<uint8_t> mp3Out(16384), videoOut(1 << 20);
    int64_t audioSamples = 0;
    auto writeAudioUntil = [&](double seconds) {
        while (static_cast<double>(audioSamples) / c.sampleRate <= seconds) {
            const auto pcm = avitest::SineTone(c.sampleRate, c.channels, audioSamples, frameSize);
            const int n = vidorra::mp3_encode(&mp3, c.channels, 16384, mp3Out.data(), frameSize, pcm.data());
            ASSERT_GE(n, 0);
            if (n > 0) {
                ASSERT_TRUE(sound->Write(kAviKeyFrame, mp3Out.data(), static_cast<uint32_t>(n), n));
            }
            audioSamples += frameSize;
        }
    };
    for (int i = 0; i < c.frames; ++i) {
        writeAudioUntil(static_cast<double>(i) * vh.dwScale / vh.dwRate);
        const auto picture = avitest::MovingPicture(i, c.width, c.height);
        int type = 0;
        const int n = vidorra::enc_encode(encoder, 4, picture.data(), videoOut.data(), static_cast<int>(videoOut.size()),
                                          nullptr, &type, nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_GT(n, 0);
        ASSERT_TRUE(video->Write(type == 1 ? kAviKeyFrame : 0, videoOut.data(), static_cast<uint32_t>(n), 1));
    }
    const int n = vidorra::mp3_encode(&mp3, c.channels, 16384, mp3Out.data(), 0, nullptr);
    if (n > 0) {
        ASSERT_TRUE(sound->Write(kAviKeyFrame, mp3Out.data(), static_cast<uint32_t>(n), n));
    }
    EXPECT_TRUE(writer.Close());
    vidorra::enc_stop(encoder);
    vidorra::mp3_close(&mp3);
}

std::string Field(const std::string& text, const std::string& key) {
    const auto at = text.find(key + "=");
    if (at == std::string::npos) return "<missing " + key + ">";
    const auto end = text.find('\n', at);
    return text.substr(at + key.size() + 1, end - at - key.size() - 1);
}

class AviWriterIndependentReader : public testing::TestWithParam<ConversionCase> {};

TEST_P(AviWriterIndependentReader, FfmpegDecodesToTheEndWithTheDescribedStreams) {
    if (!avitest::HaveFfmpeg()) GTEST_SKIP() << "ffprobe/ffmpeg are not installed";
    const ConversionCase c = GetParam();
    avitest::TempDir dir;
    const std::string path = dir.path() + "/converted.avi";
    WriteConverted(c, path);
    if (HasFatalFailure()) return;

    // The MPEG-4 stream itself is timed at 25 fps; the output keeps the
    // container's time base so that frame-rate conversion adds no warnings.
    const std::string decode = avitest::RunCommand("ffmpeg -nostdin -hide_banner -v warning -i '" + path +
                                                   "' -enc_time_base -1 -f null -");
    EXPECT_EQ(decode, "") << decode;

    const std::string v = avitest::RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                              "stream=codec_name,width,height,avg_frame_rate,time_base,nb_read_frames -of default=nw=1 '" +
                              path + "'");
    EXPECT_EQ(Field(v, "codec_name"), "mpeg4") << v;
    EXPECT_EQ(Field(v, "width"), std::to_string(c.width)) << v;
    EXPECT_EQ(Field(v, "height"), std::to_string(c.height)) << v;
    EXPECT_EQ(Field(v, "avg_frame_rate"), c.frameRate) << v;
    EXPECT_EQ(Field(v, "nb_read_frames"), std::to_string(c.frames)) << v;

    const std::string a = avitest::RunCommand("ffprobe -v error -select_streams a:0 -show_entries "
                              "stream=codec_name,sample_rate,channels -of default=nw=1 '" + path + "'");
    EXPECT_EQ(Field(a, "codec_name"), "mp3") << a;
    EXPECT_EQ(Field(a, "sample_rate"), std::to_string(c.sampleRate)) << a;
    EXPECT_EQ(Field(a, "channels"), std::to_string(c.channels)) << a;

    avitest::AviFile avi;
    std::string error;
    ASSERT_TRUE(avitest::ReadAvi(path, &avi, &error)) << error;
    EXPECT_TRUE(avitest::CheckIndexes(avi, path).empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, AviWriterIndependentReader,
                         testing::Values(ConversionCase{"Pal352x288Stereo44100", 352, 288, 60, 44100, 2, "25/1"},
                                         ConversionCase{"Ntsc320x240Mono16000", 320, 240, 45, 16000, 1, "30000/1001"}),
                         [](const testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });

}  // namespace
