// The three outside decoder components through their exported entry points.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "player/decoding/decoder_components.h"
#include "recording_fixture.h"

namespace {

using qor::recgen::Family;

const qor::DecoderComponents* Components() {
    static const qor::DecoderComponents* components = qor::LoadDecoderComponents();
    return components;
}

double Mean(const uint8_t* p, int stride, int w, int h) {
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) sum += p[y * stride + x];
    return sum / (static_cast<double>(w) * h);
}

std::unique_ptr<qor::test::RecordingFixture> Recording(Family family, int frames = 3) {
    qor::recgen::Options options;
    options.family = family;
    options.frameCount = frames;
    options.audio = false;
    return qor::test::MakeFixture(options);
}

class DecoderComponentMarlin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Components(), nullptr);
        api = &Components()->marlin;
        fixture = Recording(Family::Marlin);
        ASSERT_TRUE(fixture);
        params.pConfig = fixture->fileInfo.videoConfig;
        params.uConfigLength = 19;
        params.iWidth = 352;
        params.iHeight = 288;
        params.uModelCode = QOR_MARLIN_MODEL_MARLIN;
    }
    void TearDown() override {
        if (handle) api->ReleaseDecoder(handle);
    }
    // Decodes the first (key) frame.
    MarlinOutputDesc DecodeKeyFrame() {
        MarlinDecoderParams input = params;
        input.pConfig = fixture->video[0].pData;
        input.uConfigLength = fixture->video[0].uLength;
        MarlinOutputDesc out{};
        EXPECT_EQ(api->DecoderOneFrame(handle, &input, &out), 0);
        return out;
    }
    const qor::MarlinApi* api = nullptr;
    std::unique_ptr<qor::test::RecordingFixture> fixture;
    MarlinDecoderParams params{};
    MarlinDecoderHandle handle = nullptr;
};

TEST_F(DecoderComponentMarlin, DecoderComponentReportsVersionAndFrameRate) {
    EXPECT_EQ(api->GetVersion(), 0x01000001u);
    MarlinOutputDesc out{};
    handle = api->CreateDecoder(&params, &out);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(out.iFrameRate, 25);
}

TEST_F(DecoderComponentMarlin, DecoderComponentRefusesUnknownModelAndBadSize) {
    MarlinOutputDesc out{};
    MarlinDecoderParams bad = params;
    bad.uModelCode = 0x12345678;
    EXPECT_EQ(api->CreateDecoder(&bad, &out), nullptr);
    bad = params;
    bad.iWidth = 0;
    EXPECT_EQ(api->CreateDecoder(&bad, &out), nullptr);
    EXPECT_EQ(api->CreateDecoder(nullptr, &out), nullptr);
}

TEST_F(DecoderComponentMarlin, DecoderComponentAdjustmentsActOnThePicture) {
    MarlinOutputDesc out{};
    handle = api->CreateDecoder(&params, &out);
    ASSERT_NE(handle, nullptr);
    const MarlinOutputDesc plain = DecodeKeyFrame();
    ASSERT_NE(plain.pY, nullptr);
    const double plainLuma = Mean(plain.pY, plain.iStrideY, 352, 288);
    std::vector<uint8_t> plainCopy(352 * 288);
    for (int y = 0; y < 288; ++y) std::memcpy(&plainCopy[y * 352], plain.pY + y * plain.iStrideY, 352);

    api->SetBrightness(handle, 80);
    const MarlinOutputDesc bright = DecodeKeyFrame();
    EXPECT_GT(Mean(bright.pY, bright.iStrideY, 352, 288), plainLuma + 20);
    api->SetBrightness(handle, 50);

    api->SetSaturation(handle, 0);
    const MarlinOutputDesc grey = DecodeKeyFrame();
    for (int y = 0; y < 144; ++y)
        for (int x = 0; x < 176; ++x) {
            ASSERT_EQ(grey.pU[y * grey.iStrideU + x], 128);
            ASSERT_EQ(grey.pV[y * grey.iStrideV + x], 128);
        }
    api->SetSaturation(handle, 50);

    api->SetContrast(handle, 0);
    const MarlinOutputDesc flat = DecodeKeyFrame();
    EXPECT_EQ(Mean(flat.pY, flat.iStrideY, 352, 288), 128.0);
    api->SetContrast(handle, 50);

    api->SetPostFilter(handle, 2);
    const MarlinOutputDesc filtered = DecodeKeyFrame();
    double changed = 0;
    for (int y = 0; y < 288; ++y)
        for (int x = 0; x < 352; ++x) changed += filtered.pY[y * filtered.iStrideY + x] != plainCopy[y * 352 + x];
    EXPECT_GT(changed, 0) << "post filter left the picture untouched";
    EXPECT_GT(qor::test::PlanePsnr(filtered.pY, filtered.iStrideY, plainCopy.data(), 352, 352, 288), 30.0);
    EXPECT_EQ(api->SetPostFilter(handle, 3), -1);
}

class DecoderComponentFrameRate : public ::testing::TestWithParam<int> {};

TEST_P(DecoderComponentFrameRate, MarlinReportsTheLayerFrameRateAtCreation) {
    ASSERT_NE(Components(), nullptr);
    qor::recgen::Options options;
    options.frameRate = GetParam();
    options.frameCount = 2;
    options.audio = false;
    auto fixture = qor::test::MakeFixture(options);
    ASSERT_TRUE(fixture);
    MarlinDecoderParams params{};
    params.pConfig = fixture->fileInfo.videoConfig;
    params.uConfigLength = 19;
    params.iWidth = 352;
    params.iHeight = 288;
    params.uModelCode = QOR_MARLIN_MODEL_MARLIN;
    MarlinOutputDesc out{};
    MarlinDecoderHandle handle = Components()->marlin.CreateDecoder(&params, &out);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(out.iFrameRate, GetParam());
    Components()->marlin.ReleaseDecoder(handle);
}

INSTANTIATE_TEST_SUITE_P(DecoderComponent, DecoderComponentFrameRate, ::testing::Values(25, 30, 15, 6));

TEST(DecoderComponent, OspreyChecksVersionsAndReportsHeaderThenPicture) {
    ASSERT_NE(Components(), nullptr);
    const qor::OspreyApi& api = Components()->osprey;
    OspreyGlobalSettings settings{0x00010000, 0};
    EXPECT_LT(api.Global(nullptr, QOR_OSPREY_GLOBAL_INIT, &settings, nullptr), 0);
    settings.uVersion = QOR_OSPREY_VERSION;
    EXPECT_EQ(api.Global(nullptr, QOR_OSPREY_GLOBAL_INIT, &settings, nullptr), 0);
    OspreyCreateRecord create{0x00010000, nullptr};
    EXPECT_LT(api.Decore(nullptr, QOR_OSPREY_DEC_CREATE, &create, nullptr), 0);
    create.uVersion = QOR_OSPREY_VERSION;
    ASSERT_EQ(api.Decore(nullptr, QOR_OSPREY_DEC_CREATE, &create, nullptr), 0);
    ASSERT_NE(create.hHandle, nullptr);

    auto fixture = Recording(Family::Osprey, 2);
    ASSERT_TRUE(fixture);
    const auto& key = fixture->video[0];
    OspreyFrameRecord frame{};
    frame.uVersion = QOR_OSPREY_VERSION;
    frame.uFlags = 1;
    frame.pData = key.pData;
    frame.iLength = static_cast<int32_t>(key.uLength);
    frame.iColorSpace = QOR_OSPREY_COLORSPACE_I420;
    frame.iStride = 352;
    OspreyStatistics stats{};
    stats.uVersion = QOR_OSPREY_VERSION;
    const int32_t headerBytes = api.Decore(create.hHandle, QOR_OSPREY_DEC_DECODE, &frame, &stats);
    ASSERT_GT(headerBytes, 0);
    ASSERT_LT(headerBytes, frame.iLength);
    EXPECT_EQ(stats.iType, QOR_OSPREY_STATS_HEADER);
    EXPECT_EQ(stats.uHeaderInfo, (352u << 16) | 288u);

    frame.pData += headerBytes;
    frame.iLength -= headerBytes;
    EXPECT_EQ(api.Decore(create.hHandle, QOR_OSPREY_DEC_DECODE, &frame, &stats), frame.iLength);
    EXPECT_GE(stats.iType, 1);
    EXPECT_EQ(frame.iStrides[0], 352 + 128);
    EXPECT_EQ(frame.iStrides[1], (352 + 128) / 2);
    EXPECT_EQ(frame.iStrides[2], (352 + 128) / 2);
    ASSERT_NE(frame.pPlanes[0], nullptr);
    EXPECT_GT(qor::test::PicturePsnr(qor::PictureDescription{352, 288, 0, 0, frame.pPlanes[0], frame.pPlanes[2],
                                                             frame.pPlanes[1], frame.iStrides[0], frame.iStrides[2],
                                                             frame.iStrides[1], 0},
                                     352, 288, key.iPictureIndex),
              25.0);

    frame.iLength = 0;
    EXPECT_EQ(api.Decore(create.hHandle, QOR_OSPREY_DEC_DECODE, &frame, &stats), 0);
    EXPECT_EQ(stats.iType, QOR_OSPREY_STATS_NOTHING);
    EXPECT_EQ(api.Decore(create.hHandle, QOR_OSPREY_DEC_DESTROY, nullptr, nullptr), 0);
}

TEST(DecoderComponent, AvcGivesContiguousPictureAndStatusTwoWithoutOne) {
    ASSERT_NE(Components(), nullptr);
    const qor::AvcApi& api = Components()->avc;
    EXPECT_EQ(api.Init(351, 288), nullptr);
    EXPECT_EQ(api.Init(0, 288), nullptr);
    H264DecoderContext* context = api.Init(352, 288);
    ASSERT_NE(context, nullptr);
    context->bLowDelay = 1;
    context->pData = nullptr;
    context->uLength = 0;
    EXPECT_EQ(api.DecodeOneFrame(context), QOR_AVC_NO_PICTURE);

    auto fixture = Recording(Family::Yuv, 2);
    ASSERT_TRUE(fixture);
    context->pData = fixture->video[0].pData;
    context->uLength = fixture->video[0].uLength;
    ASSERT_EQ(api.DecodeOneFrame(context), QOR_AVC_PICTURE_READY);
    uint8_t* start = context->pPicture;
    const qor::PictureDescription picture{352, 288, 0, 0, start, start + 352 * 288 * 5 / 4, start + 352 * 288,
                                          352, 176, 176, 0};
    EXPECT_GT(qor::test::PicturePsnr(picture, 352, 288, fixture->video[0].iPictureIndex), 25.0);

    std::vector<uint8_t> filtered(352 * 288 * 3 / 2);
    context->bPostFilter = 0;
    ASSERT_EQ(api.PostFilter(context, filtered.data(), 0), 0);
    EXPECT_EQ(std::memcmp(filtered.data(), start, filtered.size()), 0);
    context->bPostFilter = 1;
    ASSERT_EQ(api.PostFilter(context, filtered.data(), 0), 0);
    EXPECT_NE(std::memcmp(filtered.data(), start, filtered.size()), 0) << "post filter left the picture untouched";
    EXPECT_GT(qor::test::PlanePsnr(filtered.data(), 352, start, 352, 352, 288), 30.0);
    api.Destroy(context);
}

}  // namespace
