#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "direct_decoder.h"
#include "platform/debug_output.h"
#include "player/decoding/decoder_components.h"
#include "player/decoding/deinterlace.h"
#include "player/decoding/video_decoder_marlin.h"
#include "player/decoding/video_decoder_osprey.h"
#include "player/decoding/video_decoder_yuv.h"
#include "recording_fixture.h"

namespace {

using qor::DecodeFrame;
using qor::PictureDescription;
using qor::recgen::Family;
using qor::test::MakeFixture;
using qor::test::PicturePsnr;

const qor::DecoderComponents* Components() {
    static const qor::DecoderComponents* components = qor::LoadDecoderComponents();
    return components;
}

std::unique_ptr<qor::CVideoDecoder> MakeAdapter(Family family, qor::PlayerFileInfo* info) {
    switch (family) {
        case Family::Marlin:
        case Family::Heron: return std::make_unique<qor::CVideoDecoderMarlin>(info, Components());
        case Family::Osprey: return std::make_unique<qor::CVideoDecoderOsprey>(info, Components());
        case Family::Yuv: return std::make_unique<qor::CVideoDecoderYUV>(info, Components());
    }
    return nullptr;
}

PictureDescription FromAvFrame(const AVFrame* frame) {
    PictureDescription p;
    p.iWidth = frame->width;
    p.iHeight = frame->height;
    p.pY = frame->data[0];
    p.pU = frame->data[1];
    p.pV = frame->data[2];
    p.iStrideY = frame->linesize[0];
    p.iStrideU = frame->linesize[1];
    p.iStrideV = frame->linesize[2];
    return p;
}

// libavcodec's picture put through the same deinterlacer the adapter uses.
struct Deinterlaced {
    std::vector<uint8_t> y, u, v;
    PictureDescription picture;
    Deinterlaced(const AVFrame* frame, int w, int h) : y(static_cast<size_t>(w) * h), u(y.size() / 4), v(y.size() / 4) {
        qor::areabased1(frame->data[0], frame->linesize[0], y.data(), w, w, h);
        qor::areabased1(frame->data[1], frame->linesize[1], u.data(), w / 2, w / 2, h / 2);
        qor::areabased1(frame->data[2], frame->linesize[2], v.data(), w / 2, w / 2, h / 2);
        picture.pY = y.data();
        picture.pU = u.data();
        picture.pV = v.data();
        picture.iStrideY = w;
        picture.iStrideU = picture.iStrideV = w / 2;
    }
};

struct FamilyCase {
    const char* name;
    Family family;
    int width;
    int height;
    bool headersInKeyFrames = false;
};

class VideoDecoderFamily : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(VideoDecoderFamily, DecodesAsWellAsLibavcodecAloneWithTimesInStep) {
    ASSERT_NE(Components(), nullptr);
    const FamilyCase& c = GetParam();
    qor::recgen::Options options;
    options.family = c.family;
    options.width = c.width;
    options.height = c.height;
    options.frameCount = 24;
    options.keyInterval = 10;
    options.audio = false;
    options.headersInKeyFrames = c.headersInKeyFrames;
    auto fixture = MakeFixture(options);
    ASSERT_TRUE(fixture);
    ASSERT_EQ(fixture->video.size(), 24u);

    auto adapter = MakeAdapter(c.family, &fixture->fileInfo);
    // A display area smaller than the picture keeps the automatic post
    // filter off, so both sides decode without filtering.
    adapter->SetScreenSize(1920, 1080);
    adapter->SetDisplayArea(c.family == Family::Osprey ? 0 : 64, c.family == Family::Osprey ? 0 : 48);
    ASSERT_TRUE(adapter->Initialize());
    EXPECT_EQ(adapter->EffectivePostFilter(), 0);

    const bool h264 = c.family == Family::Yuv;
    const bool marlin = c.family == Family::Marlin || c.family == Family::Heron;
    qor::test::DirectDecoder direct(h264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4,
                                    marlin ? fixture->fileInfo.videoConfig : nullptr, marlin ? 19 : 0);
    const bool deinterlace = c.family == Family::Osprey && c.width >= 704 && c.height >= 480;
    for (const auto& frame : fixture->video) {
        DecodeFrame record = qor::test::ToDecodeFrame(frame);
        record.times.uSecondTime = 0;
        record.times.uReserved = 0xA000 + frame.iPictureIndex;
        const qor::FrameTimes sent = record.times;
        ASSERT_TRUE(adapter->DecodeVideoVOP(&record)) << "frame " << frame.iPictureIndex;
        EXPECT_EQ(record.iPictureAvailable, 0);
        EXPECT_EQ(record.times, sent);
        EXPECT_EQ(record.uPictureSize, static_cast<uint32_t>(c.width * c.height * 3 / 2));
        const AVFrame* reference = direct.Decode(frame.pData, frame.uLength);
        ASSERT_NE(reference, nullptr);
        const double ours = PicturePsnr(record.picture, c.width, c.height, frame.iPictureIndex);
        double theirs;
        if (deinterlace) {
            Deinterlaced d(reference, c.width, c.height);
            theirs = PicturePsnr(d.picture, c.width, c.height, frame.iPictureIndex);
        } else {
            theirs = PicturePsnr(FromAvFrame(reference), c.width, c.height, frame.iPictureIndex);
        }
        EXPECT_GT(ours, 25.0) << "frame " << frame.iPictureIndex;
        EXPECT_NEAR(ours, theirs, 0.1) << "frame " << frame.iPictureIndex;
    }
}

INSTANTIATE_TEST_SUITE_P(VideoDecoder, VideoDecoderFamily,
                         ::testing::Values(FamilyCase{"Marlin", Family::Marlin, 352, 288},
                                           FamilyCase{"Heron", Family::Heron, 352, 288},
                                           FamilyCase{"MarlinHeadersInKeyFrames", Family::Marlin, 352, 288, true},
                                           FamilyCase{"MarlinLarge", Family::Marlin, 720, 576},
                                           FamilyCase{"YuvLarge", Family::Yuv, 720, 576},
                                           FamilyCase{"Yuv", Family::Yuv, 352, 288},
                                           FamilyCase{"OspreySmall", Family::Osprey, 352, 288},
                                           FamilyCase{"OspreyDeinterlaced", Family::Osprey, 720, 576}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

class VideoDecoderNewHeader : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(VideoDecoderNewHeader, RecreatesDecoderForTheNewPictureSize) {
    ASSERT_NE(Components(), nullptr);
    qor::recgen::Options options;
    options.family = GetParam().family;
    options.frameCount = 16;
    options.keyInterval = 8;
    options.audio = false;
    options.extraHeaders = {{8, GetParam().width, GetParam().height}};
    auto fixture = MakeFixture(options);
    ASSERT_TRUE(fixture);
    auto adapter = MakeAdapter(GetParam().family, &fixture->fileInfo);
    adapter->SetScreenSize(1920, 1080);
    adapter->SetDisplayArea(16, 16);
    ASSERT_TRUE(adapter->Initialize());
    int newSizePictures = 0;
    for (const auto& frame : fixture->video) {
        // What the parser does when it meets the header copy.
        if (frame.bAfterHeader) qor::test::ApplyFileHeader(frame.pHeader, &fixture->fileInfo);
        DecodeFrame record = qor::test::ToDecodeFrame(frame);
        ASSERT_TRUE(adapter->DecodeVideoVOP(&record)) << "frame " << frame.iPictureIndex;
        ASSERT_EQ(record.iDisplayWidth, frame.iWidth);
        ASSERT_EQ(record.iDisplayHeight, frame.iHeight);
        EXPECT_EQ(record.times.uTime, frame.uTime);
        EXPECT_GT(PicturePsnr(record.picture, frame.iWidth, frame.iHeight, frame.iPictureIndex), 25.0);
        newSizePictures += frame.iWidth == GetParam().width;
    }
    EXPECT_EQ(newSizePictures, 8);
}

INSTANTIATE_TEST_SUITE_P(VideoDecoder, VideoDecoderNewHeader,
                         ::testing::Values(FamilyCase{"Marlin", Family::Marlin, 176, 144},
                                           FamilyCase{"Osprey", Family::Osprey, 176, 144},
                                           FamilyCase{"Yuv", Family::Yuv, 176, 144}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

class VideoDecoderDamagedInput : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(VideoDecoderDamagedInput, SurvivesAndRecoversAtTheNextKeyFrame) {
    ASSERT_NE(Components(), nullptr);
    qor::recgen::Options options;
    options.family = GetParam().family;
    options.frameCount = 40;
    options.keyInterval = 20;
    options.audio = false;
    auto fixture = MakeFixture(options);
    ASSERT_TRUE(fixture);
    auto adapter = MakeAdapter(GetParam().family, &fixture->fileInfo);
    ASSERT_TRUE(adapter->Initialize());
    std::mt19937 random(GetParam().width);
    std::vector<uint8_t> damaged;
    for (int pass = 0; pass < 3; ++pass) {
        for (size_t i = 0; i < 20; ++i) {
            const auto& frame = fixture->video[i];
            damaged.assign(frame.pData, frame.pData + frame.uLength);
            switch (random() % 3) {
                case 0:
                    for (int k = 0; k < 8; ++k) damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1 << (random() % 8));
                    break;
                case 1: damaged.resize(random() % damaged.size()); break;
                default:
                    for (auto& b : damaged) b = static_cast<uint8_t>(random());
            }
            DecodeFrame record;
            record.pData = damaged.data();
            record.uLength = static_cast<uint32_t>(damaged.size());
            adapter->DecodeVideoVOP(&record);
            if (record.picture.pY) {
                // Whatever came out must be readable in full.
                volatile uint8_t sink = 0;
                for (int y = 0; y < record.iDisplayHeight; ++y) sink = sink + record.picture.pY[y * record.picture.iStrideY];
            }
        }
    }
    for (size_t i = 20; i < 23; ++i) {
        DecodeFrame record = qor::test::ToDecodeFrame(fixture->video[i]);
        ASSERT_TRUE(adapter->DecodeVideoVOP(&record)) << "frame " << i;
        // Garbage may have held a stray layer header that the MPEG-4 decoder
        // keeps until the next real one, so the bar is lower than for clean
        // streams.
        EXPECT_GT(PicturePsnr(record.picture, 352, 288, fixture->video[i].iPictureIndex), 20.0);
    }
}

INSTANTIATE_TEST_SUITE_P(VideoDecoder, VideoDecoderDamagedInput,
                         ::testing::Values(FamilyCase{"Marlin", Family::Marlin, 1, 0},
                                           FamilyCase{"Osprey", Family::Osprey, 2, 0},
                                           FamilyCase{"Yuv", Family::Yuv, 3, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
