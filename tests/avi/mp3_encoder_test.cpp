#include "converter/avi/mp3_encoder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <lame/lame.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tests/avi/media_sources.h"

namespace {

using vidorra::Mp3EncoderState;

struct InitCase {
    int channels, sampleRate, bitRate;
    int result;
    int frameSize;
};

void PrintTo(const InitCase& c, std::ostream* os) { *os << c.channels << " ch " << c.sampleRate << " Hz " << c.bitRate << " bit/s"; }

class Mp3EncoderInit : public testing::TestWithParam<InitCase> {};

TEST_P(Mp3EncoderInit, ConfiguresTheLibraryOrRefuses) {
    const InitCase c = GetParam();
    Mp3EncoderState state;
    ASSERT_EQ(vidorra::mp3_init(&state, c.channels, c.sampleRate, c.bitRate), c.result);
    if (c.result != 0) {
        EXPECT_EQ(state.handle, nullptr);
        return;
    }
    ASSERT_NE(state.handle, nullptr);
    EXPECT_EQ(vidorra::mp3_frame_size(&state), c.frameSize);
    EXPECT_EQ(vidorra::mp3_channel_count(&state), c.channels);
    EXPECT_EQ(state.stereo, c.channels > 1 ? 1 : 0);
    EXPECT_EQ(lame_get_in_samplerate(state.handle), c.sampleRate);
    EXPECT_EQ(lame_get_out_samplerate(state.handle), c.sampleRate);
    EXPECT_EQ(lame_get_brate(state.handle), c.bitRate / 1000);
    EXPECT_EQ(lame_get_quality(state.handle), 5);
    if (c.channels == 2) {
        EXPECT_EQ(lame_get_mode(state.handle), JOINT_STEREO);
    }
    EXPECT_EQ(vidorra::mp3_close(&state), 0);
    EXPECT_EQ(state.handle, nullptr);
    EXPECT_EQ(vidorra::mp3_close(&state), 0);  // harmless twice
}

INSTANTIATE_TEST_SUITE_P(Cases, Mp3EncoderInit,
                         testing::Values(InitCase{2, 44100, 64000, 0, 1152}, InitCase{1, 44100, 64000, 0, 1152},
                                         InitCase{1, 16000, 32000, 0, 576}, InitCase{2, 16000, 32000, 0, 576},
                                         InitCase{3, 44100, 64000, -1, 0}, InitCase{6, 16000, 32000, -1, 0},
                                         InitCase{0, 44100, 64000, -1, 0}),
                         [](const testing::TestParamInfo<InitCase>& info) {
                             return std::to_string(info.param.channels) + "Ch" +
                                    std::to_string(info.param.sampleRate) + "Hz" +
                                    std::to_string(info.param.bitRate) + "Bps";
                         });

TEST(Mp3Encoder, DebianLameIsAtLeastTheVersionTheAdapterWasWrittenFor) {
    int major = 0, minor = 0;
    ASSERT_EQ(std::sscanf(get_lame_version(), "%d.%d", &major, &minor), 2) << get_lame_version();
    EXPECT_GE(major * 1000 + minor, 3 * 1000 + 90) << get_lame_version();
    // Every call the adapter makes exists and is accepted: a full cycle.
    Mp3EncoderState state;
    ASSERT_EQ(vidorra::mp3_init(&state, 2, 44100, 64000), 0);
    const auto pcm = avitest::SineTone(44100, 2, 0, 1152);
    uint8_t out[16384];
    EXPECT_GE(vidorra::mp3_encode(&state, 2, sizeof out, out, 1152, pcm.data()), 0);
    EXPECT_GE(vidorra::mp3_encode(&state, 2, sizeof out, out, 0, nullptr), 0);
    vidorra::mp3_close(&state);
}

struct EncodeCase {
    int channels, sampleRate, bitRate;
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.channels << " ch " << c.sampleRate << " Hz"; }

class Mp3EncoderStream : public testing::TestWithParam<EncodeCase> {};

TEST_P(Mp3EncoderStream, OneSecondOfToneBecomesFramesAtTheBitRate) {
    const EncodeCase c = GetParam();
    Mp3EncoderState state;
    ASSERT_EQ(vidorra::mp3_init(&state, c.channels, c.sampleRate, c.bitRate), 0);
    const int frame = vidorra::mp3_frame_size(&state);
    std::vector<uint8_t> mp3;
    uint8_t out[16384];
    for (int64_t first = 0; first < c.sampleRate; first += frame) {
        const auto pcm = avitest::SineTone(c.sampleRate, c.channels, first, frame);
        const int n = vidorra::mp3_encode(&state, c.channels, sizeof out, out, frame, pcm.data());
        ASSERT_GE(n, 0);
        mp3.insert(mp3.end(), out, out + n);
    }
    const int n = vidorra::mp3_encode(&state, c.channels, sizeof out, out, 0, nullptr);
    ASSERT_GE(n, 0);
    mp3.insert(mp3.end(), out, out + n);
    vidorra::mp3_close(&state);
    ASSERT_GE(mp3.size(), 2u);
    EXPECT_EQ(mp3[0], 0xFF);
    EXPECT_EQ(mp3[1] & 0xE0, 0xE0);
    const double expected = c.bitRate / 8.0;
    EXPECT_GT(mp3.size(), expected * 0.9);
    EXPECT_LT(mp3.size(), expected * 1.3);
}

INSTANTIATE_TEST_SUITE_P(Cases, Mp3EncoderStream,
                         testing::Values(EncodeCase{2, 44100, 64000}, EncodeCase{1, 16000, 32000}),
                         [](const testing::TestParamInfo<EncodeCase>& info) {
                             return std::to_string(info.param.channels) + "Ch" +
                                    std::to_string(info.param.sampleRate) + "Hz";
                         });

// PCM placed so that its last sample ends a readable page: reading one
// sample more faults.
class GuardedPcm {
public:
    explicit GuardedPcm(const std::vector<int16_t>& pcm) {
        m_page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t bytes = pcm.size() * sizeof(int16_t);
        m_dataPages = (bytes + m_page - 1) / m_page;
        m_base = static_cast<uint8_t*>(
            mmap(nullptr, (m_dataPages + 1) * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(m_base + m_dataPages * m_page, m_page, PROT_NONE);
        data = reinterpret_cast<int16_t*>(m_base + m_dataPages * m_page - bytes);
        std::memcpy(data, pcm.data(), bytes);
    }
    ~GuardedPcm() { munmap(m_base, (m_dataPages + 1) * m_page); }
    int16_t* data;

private:
    uint8_t* m_base;
    size_t m_page, m_dataPages;
};

TEST(Mp3Encoder, StereoSplitsChannelsAndReadsNoFurtherThanItsSamples) {
    Mp3EncoderState state;
    ASSERT_EQ(vidorra::mp3_init(&state, 2, 44100, 64000), 0);
    const auto pcm = avitest::SineTone(44100, 2, 0, 1152);
    GuardedPcm guarded(pcm);
    uint8_t out[16384];
    ASSERT_GE(vidorra::mp3_encode(&state, 2, sizeof out, out, 1152, guarded.data), 0);
    for (int i = 0; i < 1152; ++i) {
        ASSERT_EQ(state.left[i], pcm[2 * i] * 65536) << i;
        ASSERT_EQ(state.right[i], pcm[2 * i + 1] * 65536) << i;
    }
    vidorra::mp3_close(&state);
}

TEST(Mp3Encoder, MonoTakesLeftFromEachSampleAndSendsSilentRight) {
    Mp3EncoderState state;
    ASSERT_EQ(vidorra::mp3_init(&state, 1, 16000, 32000), 0);
    std::fill(std::begin(state.right), std::end(state.right), 12345);
    auto pcm = avitest::SineTone(16000, 1, 0, 576);
    pcm[0] = -32768;
    pcm[1] = 32767;
    GuardedPcm guarded(pcm);
    uint8_t out[16384];
    ASSERT_GE(vidorra::mp3_encode(&state, 1, sizeof out, out, 576, guarded.data), 0);
    for (int i = 0; i < 576; ++i) {
        ASSERT_EQ(state.left[i], pcm[i] * 65536) << i;
        ASSERT_EQ(state.right[i], 0) << i;
    }
    EXPECT_EQ(state.left[0], INT32_MIN);
    vidorra::mp3_close(&state);
}

struct RefusedCase {
    const char* name;
    int channels, capacity, samples;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class Mp3EncoderRefuses : public testing::TestWithParam<RefusedCase> {};

TEST_P(Mp3EncoderRefuses, ReturnsZeroWithoutEncoding) {
    const RefusedCase c = GetParam();
    Mp3EncoderState state;
    ASSERT_EQ(vidorra::mp3_init(&state, 2, 44100, 64000), 0);
    const auto pcm = avitest::SineTone(44100, 2, 0, 2000);
    std::vector<uint8_t> out(16384 + 64, 0xA5);
    testing::internal::CaptureStdout();
    EXPECT_EQ(vidorra::mp3_encode(&state, c.channels, c.capacity, out.data(), c.samples, pcm.data()), 0);
    testing::internal::GetCapturedStdout();
    for (size_t i = static_cast<size_t>(std::max(c.capacity, 0)); i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5) << i;
    vidorra::mp3_close(&state);
}

INSTANTIATE_TEST_SUITE_P(Cases, Mp3EncoderRefuses,
                         testing::Values(RefusedCase{"ThreeChannels", 3, 16384, 1152},
                                         RefusedCase{"ZeroChannels", 0, 16384, 1152},
                                         RefusedCase{"MoreSamplesThanStaging", 2, 16384, 1153},
                                         RefusedCase{"NegativeSamples", 2, 16384, -1},
                                         RefusedCase{"ZeroCapacity", 2, 0, 1152}),
                         [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

TEST(Mp3Encoder, TooSmallBufferPrintsTheMessageAndWritesNothingBeyondIt) {
    Mp3EncoderState state;
    ASSERT_EQ(vidorra::mp3_init(&state, 2, 44100, 64000), 0);
    constexpr int kCapacity = 16;
    std::vector<uint8_t> out(4096, 0xA5);
    testing::internal::CaptureStdout();
    int zeros = 0;
    for (int i = 0; i < 20; ++i) {
        const auto pcm = avitest::SineTone(44100, 2, i * 1152, 1152);
        zeros += vidorra::mp3_encode(&state, 2, kCapacity, out.data(), 1152, pcm.data()) == 0;
    }
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_GT(zeros, 0);
    EXPECT_NE(printed.find("lame: output buffer too small (buffer index: 0, free bytes: 2304)\n"), std::string::npos);
    for (size_t i = kCapacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5) << i;
    vidorra::mp3_close(&state);
}

TEST(Mp3Encoder, CallsWithoutAnOpenEncoderDoNothing) {
    Mp3EncoderState state;
    uint8_t out[64];
    const auto pcm = avitest::SineTone(44100, 2, 0, 1152);
    EXPECT_EQ(vidorra::mp3_encode(&state, 2, sizeof out, out, 1152, pcm.data()), 0);
    EXPECT_EQ(vidorra::mp3_encode(nullptr, 2, sizeof out, out, 1152, pcm.data()), 0);
    EXPECT_EQ(vidorra::mp3_frame_size(&state), 0);
    EXPECT_EQ(vidorra::mp3_close(&state), 0);
}

}  // namespace
