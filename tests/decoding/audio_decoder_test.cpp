#include <gtest/gtest.h>
#include <mad.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "player/decoding/audio_decoder_marlin.h"
#include "player/decoding/audio_decoder_osprey.h"
#include "player/decoding/g711.h"
#include "player/decoding/g726_decoder.h"
#include "player/decoding/mpeg_audio_header.h"
#include "player/decoding/pcm_dither.h"
#include "recording_fixture.h"
#include "tests/support/debug_capture.h"
#include "tests/support/mp3_sample_stream.h"

namespace {

using qor::DecodeFrame;
using qor::WaveFormat;
using qor::test::DebugCapture;
using qor::test::EncodeMp3;

int16_t SampleAt(const DecodeFrame& frame, size_t i) {
    return static_cast<int16_t>(frame.pPcm[2 * i] | (frame.pPcm[2 * i + 1] << 8));
}

DecodeFrame AudioFrame(const std::vector<uint8_t>& bytes) {
    DecodeFrame frame;
    frame.pData = bytes.data();
    frame.uLength = static_cast<uint32_t>(bytes.size());
    return frame;
}

struct AudioTypeCase {
    uint32_t type;
    WaveFormat source;
    int kind;
};

class AudioDecoderMarlinType : public ::testing::TestWithParam<AudioTypeCase> {};

TEST_P(AudioDecoderMarlinType, DescribesSourceAndOutput) {
    qor::PlayerFileInfo info;
    uint8_t header[1024] = {};
    const uint32_t type = GetParam().type;
    for (int i = 0; i < 4; ++i) header[72 + i] = static_cast<uint8_t>(type >> (8 * i));
    info.pMpegFileHeader = header;
    info.iMpegFileHeaderLength = 1024;
    info.iAudioKind = -1;
    qor::CAudioDecoderMarlin decoder;
    ASSERT_TRUE(decoder.Initialize(&info));
    const WaveFormat source = decoder.GetSourceFormat();
    EXPECT_EQ(std::memcmp(&source, &GetParam().source, sizeof(WaveFormat)), 0);
    const WaveFormat output = decoder.GetOutputFormat();
    const WaveFormat pcm{1, 1, 8000, 16000, 2, 16, 0};
    EXPECT_EQ(std::memcmp(&output, &pcm, sizeof(WaveFormat)), 0);
    EXPECT_EQ(info.iAudioKind, GetParam().kind);
    EXPECT_EQ(decoder.GetAudioFrameCount(), 10);
}

INSTANTIATE_TEST_SUITE_P(AudioDecoder, AudioDecoderMarlinType,
                         ::testing::Values(AudioTypeCase{0x4000, {0x45, 1, 8000, 2000, 1, 2, 0}, 0},
                                           AudioTypeCase{0x6000, {0x45, 1, 8000, 3000, 1, 3, 0}, 0},
                                           AudioTypeCase{0x8000, {0x45, 1, 8000, 4000, 1, 4, 0}, 0},
                                           AudioTypeCase{0x10000, {0x45, 1, 8000, 5000, 1, 5, 0}, 2}),
                         [](const auto& info) { return "Type" + std::to_string(info.param.type); });

TEST(AudioDecoder, MarlinRefusesUnknownAudioType) {
    DebugCapture lines;
    qor::CAudioDecoderMarlin decoder;
    EXPECT_FALSE(decoder.InitializeForAudioType(0x2000));
    EXPECT_TRUE(lines.Has("[QOR]audio type error!\n"));
}

TEST(AudioDecoder, MarlinDecodesLargestFrameAndRefusesOneByteMore) {
    qor::CAudioDecoderMarlin decoder;
    ASSERT_TRUE(decoder.InitializeForAudioType(0x8000));
    std::vector<uint8_t> codes(4096);
    for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint8_t>(i * 37);
    DecodeFrame frame = AudioFrame(codes);
    ASSERT_TRUE(decoder.DecodeAudioVOP(&frame));
    EXPECT_EQ(frame.uPcmLength, 16384u);  // 8192 samples

    DebugCapture lines;
    std::vector<uint8_t> tooLong(4097, 0x5A);
    DecodeFrame refused = AudioFrame(tooLong);
    EXPECT_FALSE(decoder.DecodeAudioVOP(&refused));
    EXPECT_EQ(refused.pPcm, nullptr);
    EXPECT_EQ(refused.uPcmLength, 0u);
    EXPECT_TRUE(lines.Has("[QOR]DecodeAudioVOP() too long audio frame error.\n"));
}

TEST(AudioDecoder, MarlinRefusedFrameLeavesStateUnchanged) {
    const std::vector<uint8_t> first(64, 0x37), second(64, 0xC4), tooLong(4097, 0x71);
    qor::CAudioDecoderMarlin refusing, plain;
    ASSERT_TRUE(refusing.InitializeForAudioType(0x8000));
    ASSERT_TRUE(plain.InitializeForAudioType(0x8000));
    DecodeFrame a = AudioFrame(first), b = AudioFrame(first);
    refusing.DecodeAudioVOP(&a);
    plain.DecodeAudioVOP(&b);
    DecodeFrame bad = AudioFrame(tooLong);
    EXPECT_FALSE(refusing.DecodeAudioVOP(&bad));
    DecodeFrame c = AudioFrame(second), d = AudioFrame(second);
    ASSERT_TRUE(refusing.DecodeAudioVOP(&c));
    ASSERT_TRUE(plain.DecodeAudioVOP(&d));
    ASSERT_EQ(c.uPcmLength, d.uPcmLength);
    EXPECT_EQ(std::memcmp(c.pPcm, d.pPcm, c.uPcmLength), 0);
}

TEST(AudioDecoder, MarlinSplitsBytesHighNibbleFirstAndCarriesStateAcrossFrames) {
    // 0xF0 is the code 15 followed by the code 0.
    const std::vector<uint8_t> stream = {0xF0, 0x12, 0x9E, 0x7F, 0x00, 0xA5, 0x3C, 0xF0};
    qor::G726Decoder reference;
    std::vector<int16_t> expected;
    for (uint8_t byte : stream) {
        expected.push_back(qor::MuLawToLinear(reference.Decode(byte >> 4)));
        expected.push_back(qor::MuLawToLinear(reference.Decode(byte & 0x0F)));
    }
    qor::CAudioDecoderMarlin decoder;
    ASSERT_TRUE(decoder.InitializeForAudioType(0x4000));
    std::vector<int16_t> decoded;
    for (size_t start = 0; start < stream.size(); start += 3) {
        const std::vector<uint8_t> part(stream.begin() + start, stream.begin() + std::min(stream.size(), start + 3));
        DecodeFrame frame = AudioFrame(part);
        ASSERT_TRUE(decoder.DecodeAudioVOP(&frame));
        ASSERT_EQ(frame.uPcmLength, 4 * part.size());
        for (size_t i = 0; i < 2 * part.size(); ++i) decoded.push_back(SampleAt(frame, i));
    }
    EXPECT_EQ(decoded, expected);
}

TEST(AudioDecoder, MarlinExpandsMuLawFrames) {
    qor::CAudioDecoderMarlin decoder;
    ASSERT_TRUE(decoder.InitializeForAudioType(0x10000));
    const std::vector<uint8_t> codes = {0xFF, 0x00, 0x80};
    DecodeFrame frame = AudioFrame(codes);
    ASSERT_TRUE(decoder.DecodeAudioVOP(&frame));
    ASSERT_EQ(frame.uPcmLength, 6u);
    EXPECT_EQ(SampleAt(frame, 0), 0);
    EXPECT_EQ(SampleAt(frame, 1), -32124);
    EXPECT_EQ(SampleAt(frame, 2), 32124);
}

double ToneSnr(const std::vector<int16_t>& decoded, const std::vector<int16_t>& source) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < decoded.size(); ++i) {
        signal += double(source[i]) * source[i];
        noise += double(decoded[i] - source[i]) * (decoded[i] - source[i]);
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

struct RecordedAudioCase {
    uint32_t type;
    double minimumSnr;
};

class AudioDecoderRecording : public ::testing::TestWithParam<RecordedAudioCase> {};

TEST_P(AudioDecoderRecording, GeneratedAudioComesBackCloseToTheTone) {
    qor::recgen::Options options;
    options.frameCount = 25;
    options.audioType = GetParam().type;
    auto fixture = qor::test::MakeFixture(options);
    ASSERT_TRUE(fixture);
    ASSERT_FALSE(fixture->audio.empty());
    qor::CAudioDecoderMarlin decoder;
    ASSERT_TRUE(decoder.Initialize(&fixture->fileInfo));
    std::vector<int16_t> decoded;
    for (const auto& coded : fixture->audio) {
        DecodeFrame frame = qor::test::ToDecodeFrame(coded);
        ASSERT_TRUE(decoder.DecodeAudioVOP(&frame));
        for (size_t i = 0; i < frame.uPcmLength / 2; ++i) decoded.push_back(SampleAt(frame, i));
    }
    std::vector<int16_t> source(decoded.size());
    qor::recgen::TestTone(8000, 1, 0, static_cast<int>(source.size()), source.data());
    EXPECT_GT(ToneSnr(decoded, source), GetParam().minimumSnr);
}

INSTANTIATE_TEST_SUITE_P(AudioDecoder, AudioDecoderRecording,
                         ::testing::Values(RecordedAudioCase{0x8000, 15.0}, RecordedAudioCase{0x10000, 30.0}),
                         [](const auto& info) { return info.param.type == 0x8000 ? "G726" : "MuLaw"; });

// ---- MPEG audio ----

// libmad's own minimal loop over the whole stream, with the same conversion.
std::vector<int16_t> DecodeWithLibmad(const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<uint8_t> stream;
    for (const auto& f : frames) stream.insert(stream.end(), f.begin(), f.end());
    stream.resize(stream.size() + MAD_BUFFER_GUARD, 0);
    mad_stream ms;
    mad_frame mf;
    mad_synth sy;
    mad_stream_init(&ms);
    mad_frame_init(&mf);
    mad_synth_init(&sy);
    mad_stream_buffer(&ms, stream.data(), stream.size());
    qor::DitherState dither[2];
    std::vector<int16_t> pcm;
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
        if (mad_frame_decode(&mf, &ms) != 0) break;
        mad_synth_frame(&sy, &mf);
        for (int s = 0; s < sy.pcm.length; ++s) {
            const int16_t l = qor::DitherTo16(sy.pcm.samples[0][s], &dither[0]);
            pcm.push_back(l);
            pcm.push_back(sy.pcm.channels > 1 ? qor::DitherTo16(sy.pcm.samples[1][s], &dither[1]) : l);
        }
    }
    mad_synth_finish(&sy);
    mad_frame_finish(&mf);
    mad_stream_finish(&ms);
    return pcm;
}

class AudioDecoderOspreyChannels : public ::testing::TestWithParam<int> {};

TEST_P(AudioDecoderOspreyChannels, LagsOneFrameAndMatchesLibmadExactly) {
    const auto frames = EncodeMp3(GetParam(), 12);
    ASSERT_EQ(frames.size(), 12u);
    qor::CAudioDecoderOsprey decoder;
    qor::PlayerFileInfo info;
    ASSERT_TRUE(decoder.Initialize(&info));
    EXPECT_EQ(info.iAudioKind, 4);
    const WaveFormat output = decoder.GetOutputFormat();
    const WaveFormat expectedFormat{1, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(std::memcmp(&output, &expectedFormat, sizeof(WaveFormat)), 0);
    std::vector<int16_t> pcm;
    for (size_t i = 0; i < frames.size(); ++i) {
        DecodeFrame frame = AudioFrame(frames[i]);
        ASSERT_TRUE(decoder.DecodeAudioVOP(&frame));
        if (i == 0) {
            EXPECT_EQ(frame.uPcmLength, 0u);
            continue;
        }
        ASSERT_EQ(frame.uPcmLength, 1152u * 2 * 2) << "frame " << i;
        for (size_t s = 0; s < frame.uPcmLength / 2; ++s) pcm.push_back(SampleAt(frame, s));
    }
    EXPECT_EQ(pcm, DecodeWithLibmad(frames));
    if (GetParam() == 1) {
        for (size_t s = 0; s + 1 < pcm.size(); s += 2) ASSERT_EQ(pcm[s], pcm[s + 1]);
    }
}

INSTANTIATE_TEST_SUITE_P(AudioDecoder, AudioDecoderOspreyChannels, ::testing::Values(1, 2),
                         [](const auto& info) { return info.param == 1 ? "Mono" : "Stereo"; });

struct BadHeaderCase {
    const char* name;
    uint8_t byte1;
    uint8_t byte2;
};

class AudioDecoderOspreyBadHeader : public ::testing::TestWithParam<BadHeaderCase> {};

TEST_P(AudioDecoderOspreyBadHeader, YieldsNothingAndKeepsTheHeldFrame) {
    const auto frames = EncodeMp3(2, 3);
    ASSERT_EQ(frames.size(), 3u);
    qor::CAudioDecoderOsprey withBad, plain;
    DecodeFrame a = AudioFrame(frames[0]), b = AudioFrame(frames[0]);
    withBad.DecodeAudioVOP(&a);
    plain.DecodeAudioVOP(&b);
    std::vector<uint8_t> bad = frames[1];
    bad[1] = GetParam().byte1;
    bad[2] = GetParam().byte2;
    DecodeFrame badFrame = AudioFrame(bad);
    EXPECT_TRUE(withBad.DecodeAudioVOP(&badFrame));
    EXPECT_EQ(badFrame.uPcmLength, 0u);
    DecodeFrame c = AudioFrame(frames[1]), d = AudioFrame(frames[1]);
    ASSERT_TRUE(withBad.DecodeAudioVOP(&c));
    ASSERT_TRUE(plain.DecodeAudioVOP(&d));
    ASSERT_EQ(c.uPcmLength, d.uPcmLength);
    ASSERT_GT(c.uPcmLength, 0u);
    EXPECT_EQ(std::memcmp(c.pPcm, d.pPcm, c.uPcmLength), 0);
}

INSTANTIATE_TEST_SUITE_P(AudioDecoder, AudioDecoderOspreyBadHeader,
                         ::testing::Values(BadHeaderCase{"ReservedLayer", 0xF9, 0x90},
                                           BadHeaderCase{"BitRateIndex15", 0xFB, 0xF0},
                                           BadHeaderCase{"FreeBitRate", 0xFB, 0x00},
                                           BadHeaderCase{"SampleRateIndex3", 0xFB, 0x9C}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AudioDecoder, OspreySurvivesRandomFramesBehindValidHeaders) {
    qor::CAudioDecoderOsprey decoder;
    std::mt19937 random(2024);
    const uint8_t headers[][3] = {{0xFB, 0x90}, {0xFD, 0x84}, {0xFF, 0xE8}, {0xFB, 0xE2}, {0xFA, 0x50}};
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 600; ++i) {
        const auto& h = headers[random() % 5];
        bytes.resize(random() % 2000 + 4);
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        bytes[0] = 0xFF;
        bytes[1] = h[0];
        bytes[2] = h[1];
        DecodeFrame frame = AudioFrame(bytes);
        ASSERT_TRUE(decoder.DecodeAudioVOP(&frame));
        ASSERT_LE(frame.uPcmLength, 1152u * 4);
    }
}

TEST(AudioDecoder, MpegHeaderGivesFrameSizes) {
    struct Case {
        uint8_t b1, b2;
        int size;
    };
    const Case cases[] = {
        {0xFB, 0x90, 417},  // Layer III 128 kbit/s 44100 Hz
        {0xFB, 0x92, 418},  // with padding
        {0xFD, 0x84, 384},  // Layer II 128 kbit/s 48000 Hz
        {0xFF, 0xE8, 672},  // Layer I 448 kbit/s 32000 Hz
        {0xFF, 0xEA, 676},  // with padding
    };
    for (const Case& c : cases) {
        const uint8_t bytes[4] = {0xFF, c.b1, c.b2, 0};
        qor::MpegAudioHeader header;
        ASSERT_TRUE(qor::ParseMpegAudioHeader(bytes, 4, &header));
        EXPECT_EQ(header.iFrameSize, c.size) << int(c.b1) << " " << int(c.b2);
    }
}

TEST(AudioDecoder, DitherClipsFullScaleAndKeepsHalfStepsOnAverage) {
    qor::DitherState state;
    EXPECT_EQ(qor::DitherTo16(1 << 29, &state), 32767);
    qor::DitherState negative;
    EXPECT_EQ(qor::DitherTo16(-(1 << 29), &negative), -32768);
    // A constant of 100.5 output steps must average 100.5 through dither and
    // noise shaping, not round to one side.
    qor::DitherState level;
    double sum = 0;
    const int count = 20000;
    for (int i = 0; i < count; ++i) sum += qor::DitherTo16(100 * 8192 + 4096, &level);
    EXPECT_NEAR(sum / count, 100.5, 0.05);
}

}  // namespace
