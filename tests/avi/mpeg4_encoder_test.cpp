#include "converter/avi/mpeg4_encoder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <xvid.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "tests/avi/media_sources.h"

namespace {

using vidorra::Mpeg4Encoder;

struct EncoderDeleter {
    void operator()(Mpeg4Encoder* e) const { vidorra::enc_stop(e); }
};
using EncoderPtr = std::unique_ptr<Mpeg4Encoder, EncoderDeleter>;

struct PresetCase {
    int quality, vop, motion;
};

void PrintTo(const PresetCase& c, std::ostream* os) { *os << "quality " << c.quality; }

class Mpeg4EncoderPreset : public testing::TestWithParam<PresetCase> {};

TEST_P(Mpeg4EncoderPreset, QualityIndexIsClampedIntoTheTable) {
    const PresetCase c = GetParam();
    const vidorra::Mpeg4Preset p = vidorra::Mpeg4PresetFor(c.quality);
    EXPECT_EQ(p.vopFlags, c.vop);
    EXPECT_EQ(p.motionFlags, c.motion);
}

INSTANTIATE_TEST_SUITE_P(Cases, Mpeg4EncoderPreset,
                         testing::Values(PresetCase{0, 0x00, 0x0000}, PresetCase{1, 0x00, 0x0001},
                                         PresetCase{2, 0x02, 0x0011}, PresetCase{3, 0x06, 0x0053},
                                         PresetCase{4, 0x06, 0x3053}, PresetCase{5, 0x0E, 0x3053},
                                         PresetCase{6, 0x8E, 0x3C53}, PresetCase{9, 0x8E, 0x3C53},
                                         PresetCase{-3, 0x00, 0x0000}),
                         [](const testing::TestParamInfo<PresetCase>& info) {
                             return "Quality" + std::string(info.param.quality < 0 ? "Minus" : "") +
                                    std::to_string(std::abs(info.param.quality));
                         });

// The preset bits are the library's published flags.
TEST(Mpeg4Encoder, PresetBitsAreTheLibraryFlags) {
    EXPECT_EQ(vidorra::Mpeg4PresetFor(2).vopFlags, XVID_VOP_HALFPEL);
    EXPECT_EQ(vidorra::Mpeg4PresetFor(6).vopFlags,
              XVID_VOP_HALFPEL | XVID_VOP_INTER4V | XVID_VOP_TRELLISQUANT | XVID_VOP_HQACPRED);
    EXPECT_EQ(vidorra::Mpeg4PresetFor(2).motionFlags, XVID_ME_ADVANCEDDIAMOND16 | XVID_ME_HALFPELREFINE16);
}

struct TimingCase {
    float frameRate;
    int keyInterval;
    int fincr, fbase, maxKey;
};

void PrintTo(const TimingCase& c, std::ostream* os) { *os << c.frameRate << " fps, interval " << c.keyInterval; }

class Mpeg4EncoderTiming : public testing::TestWithParam<TimingCase> {};

TEST_P(Mpeg4EncoderTiming, FrameRateAndKeyInterval) {
    const TimingCase c = GetParam();
    const vidorra::Mpeg4Timing t = vidorra::Mpeg4TimingFor(c.frameRate, c.keyInterval);
    EXPECT_EQ(t.fincr, c.fincr);
    EXPECT_EQ(t.fbase, c.fbase);
    EXPECT_EQ(t.maxKeyInterval, c.maxKey);
}

INSTANTIATE_TEST_SUITE_P(Cases, Mpeg4EncoderTiming,
                         testing::Values(TimingCase{25.0f, 25, 1, 25, 25}, TimingCase{25.0f, 0, 1, 25, 250},
                                         TimingCase{25.0f, -4, 1, 25, 250}, TimingCase{30.0f, 12, 1, 30, 12},
                                         TimingCase{29.97f, 0, 1001, 29999, 290},
                                         TimingCase{30000.0f / 1001.0f, 25, 1001, 30000, 25}));

TEST(Mpeg4Encoder, DebianXvidAcceptsTheStructureVersionAndChecksIt) {
    ASSERT_GE(XVID_VERSION, XVID_MAKE_VERSION(1, 1, 2));
    EXPECT_EQ(XVID_VERSION_MAJOR(vidorra::kXvidApiVersion), XVID_VERSION_MAJOR(XVID_VERSION));
    int error = -99;
    EncoderPtr encoder(vidorra::enc_init(1, 352, 288, 25.0f, 800000, 25, 0, &error));
    EXPECT_EQ(error, 0);
    EXPECT_NE(encoder, nullptr);
    // The library does look at the word: a future major version is refused.
    xvid_gbl_info_t info;
    std::memset(&info, 0, sizeof info);
    info.version = XVID_MAKE_VERSION(2, 0, 0);
    EXPECT_EQ(xvid_global(nullptr, XVID_GBL_INFO, &info, nullptr), XVID_ERR_VERSION);
    info.version = vidorra::kXvidApiVersion;
    EXPECT_EQ(xvid_global(nullptr, XVID_GBL_INFO, &info, nullptr), 0);
}

TEST(Mpeg4Encoder, CreationFailureGivesNullAndTheLibraryCode) {
    int error = 0;
    EXPECT_EQ(vidorra::enc_init(1, 0, 288, 25.0f, 800000, 25, 0, &error), nullptr);
    EXPECT_NE(error, 0);
}

double Psnr(int sse, int pixels) {
    if (sse <= 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * pixels / sse);
}

struct EncodeCase {
    int useCpu;
    int quality;
};

void PrintTo(const EncodeCase& c, std::ostream* os) { *os << "preset " << c.quality << (c.useCpu ? "" : " plain"); }

class Mpeg4EncoderEncode : public testing::TestWithParam<EncodeCase> {};

TEST_P(Mpeg4EncoderEncode, MovingPatternKeyFramesEvery25AndGoodQuality) {
    const EncodeCase c = GetParam();
    constexpr int kW = 352, kH = 288;
    int error = -1;
    EncoderPtr encoder(vidorra::enc_init(c.useCpu, kW, kH, 25.0f, 1500000, 25, 0, &error));
    ASSERT_NE(encoder, nullptr);
    ASSERT_EQ(error, 0);
    std::vector<uint8_t> out(1 << 20);
    for (int i = 0; i < 30; ++i) {
        const auto picture = avitest::MovingPicture(i, kW, kH);
        int key = -1, type = -1, quant = -1, length = -1, sy = -1, su = -1, sv = -1;
        const int n = vidorra::enc_encode(encoder.get(), c.quality, picture.data(), out.data(),
                                          static_cast<int>(out.size()), &key, &type, &quant, &length, &sy, &su, &sv);
        ASSERT_GT(n, 0) << i;
        EXPECT_EQ(length, n) << i;
        const bool expectKey = i % 25 == 0;
        EXPECT_EQ(type == XVID_TYPE_IVOP, expectKey) << i;
        EXPECT_EQ(key, expectKey ? XVID_KEYFRAME : 0) << i;
        EXPECT_GE(quant, 1);
        EXPECT_GT(Psnr(sy, kW * kH), 28.0) << i;
        if (i == 0) {
            // A VOL header opens the stream: 00 00 01 20.
            const uint8_t vol[] = {0, 0, 1};
            EXPECT_EQ(std::memcmp(out.data(), vol, 3), 0);
        }
    }
    // Without B-frames nothing is held back: the library reports the end.
    int length = -1;
    EXPECT_EQ(vidorra::enc_encode(encoder.get(), c.quality, nullptr, out.data(), static_cast<int>(out.size()), nullptr,
                                  nullptr, nullptr, &length, nullptr, nullptr, nullptr),
              XVID_ERR_END);
}

INSTANTIATE_TEST_SUITE_P(Cases, Mpeg4EncoderEncode,
                         testing::Values(EncodeCase{1, 2}, EncodeCase{1, 4}, EncodeCase{1, 5}, EncodeCase{1, 6},
                                         EncodeCase{0, 6}),
                         [](const testing::TestParamInfo<EncodeCase>& info) {
                             return std::string(info.param.useCpu ? "Cpu" : "Plain") + "Preset" +
                                    std::to_string(info.param.quality);
                         });

TEST(Mpeg4Encoder, TooSmallBufferIsAnErrorNotAnOverrun) {
    constexpr int kW = 176, kH = 144;
    int error = -1;
    EncoderPtr encoder(vidorra::enc_init(1, kW, kH, 25.0f, 4000000, 25, 0, &error));
    ASSERT_NE(encoder, nullptr);
    const auto picture = avitest::MovingPicture(0, kW, kH);
    constexpr int kCapacity = 100;
    std::vector<uint8_t> out(4096, 0xA5);
    int length = -1;
    EXPECT_EQ(vidorra::enc_encode(encoder.get(), 6, picture.data(), out.data(), kCapacity, nullptr, nullptr, nullptr,
                                  &length, nullptr, nullptr, nullptr),
              vidorra::kEncOutputTooSmall);
    EXPECT_GT(length, kCapacity);
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5) << i;

    // A buffer just large enough for the next picture takes it whole.
    std::vector<uint8_t> big(1 << 20);
    int type = -1;
    const int n = vidorra::enc_encode(encoder.get(), 6, avitest::MovingPicture(1, kW, kH).data(), big.data(),
                                      static_cast<int>(big.size()), nullptr, &type, nullptr, &length, nullptr, nullptr,
                                      nullptr);
    EXPECT_GT(n, 0);
    EXPECT_EQ(length, n);
}

TEST(Mpeg4Encoder, ModestBufferGetsTheWholePictureThroughTheBound) {
    constexpr int kW = 176, kH = 144;
    int error = -1;
    EncoderPtr encoder(vidorra::enc_init(1, kW, kH, 25.0f, 400000, 25, 0, &error));
    ASSERT_NE(encoder, nullptr);
    std::vector<uint8_t> direct(1 << 20), small(32768 + 16, 0xA5);
    int type = 0;
    const int n = vidorra::enc_encode(encoder.get(), 4, avitest::MovingPicture(0, kW, kH).data(), small.data(), 32768,
                                      nullptr, &type, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_GT(n, 0);
    EXPECT_LE(n, 32768);
    EXPECT_EQ(type, XVID_TYPE_IVOP);
    EXPECT_EQ(small[32768], 0xA5);
}

TEST(Mpeg4Encoder, NullEncoderOrBufferIsRefused) {
    uint8_t out[16];
    EXPECT_LT(vidorra::enc_encode(nullptr, 4, nullptr, out, 16, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr),
              0);
    vidorra::enc_stop(nullptr);
}

}  // namespace
