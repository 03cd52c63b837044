// Pictures decoded straight into the layouts the components hand out must be
// byte for byte what libavcodec gives in its own buffers, for streams that
// use the coding tools most likely to trip over a stride (8x8 transforms,
// CABAC, weighted prediction, many references, interlacing, quarter-pel and
// four-vector motion, GMC). The streams are encoded here with the ffmpeg
// command line so that they carry those tools; the generator's do not.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "decoders/marlin/libav_video_decoder.h"
#include "player/decoding/decoder_components.h"

namespace {

using qor_components::HasLayout;
using qor_components::LibavVideoDecoder;
using qor_components::PictureLayout;

using Packet = std::vector<uint8_t>;

bool HaveFfmpeg() {
    static const bool have = std::system("ffmpeg -hide_banner -version >/dev/null 2>&1") == 0;
    // The damaged frames below make libavcodec complain; the checks say
    // what matters.
    av_log_set_level(AV_LOG_FATAL);
    return have;
}

#define REQUIRE_FFMPEG() \
    if (!HaveFfmpeg()) GTEST_SKIP() << "the ffmpeg command line is not installed; it encodes this test's streams"

struct Encoding {
    AVCodecID codec;
    int width, height, frames;
    std::string source;   // lavfi source name and its options besides size and rate
    std::string options;  // encoder options
};

// Runs ffmpeg once per distinct encoding and cuts the elementary stream into
// one packet per coded picture with libavcodec's parser.
const std::vector<Packet>& Encode(const Encoding& e) {
    static std::map<std::string, std::vector<Packet>> cache;
    const bool h264 = e.codec == AV_CODEC_ID_H264;
    const std::string size = std::to_string(e.width) + "x" + std::to_string(e.height);
    const std::string key = size + e.source + e.options + std::to_string(e.frames) + (h264 ? "h264" : "m4v");
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    std::vector<Packet>& packets = cache[key];

    char dir[] = "/tmp/qor_layout_XXXXXX";
    if (!mkdtemp(dir)) {
        ADD_FAILURE() << "no temporary folder";
        return packets;
    }
    const std::string path = std::string(dir) + (h264 ? "/stream.264" : "/stream.m4v");
    const char* separator = e.source.find('=') == std::string::npos ? "=" : ":";
    const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i " + e.source +
                                separator + "size=" + size + ":rate=25 -frames:v " + std::to_string(e.frames) + " " + e.options +
                                " -pix_fmt yuv420p" + (h264 ? " -f h264 " : " -f m4v ") + path;
    const int status = std::system(command.c_str());
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    rmdir(dir);
    if (status != 0 || bytes.empty()) {
        ADD_FAILURE() << "ffmpeg failed: " << command;
        return packets;
    }

    AVCodecParserContext* parser = av_parser_init(e.codec);
    AVCodecContext* context = avcodec_alloc_context3(avcodec_find_decoder(e.codec));
    std::vector<uint8_t> padded(bytes);
    padded.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    size_t pos = 0;
    for (;;) {
        uint8_t* out = nullptr;
        int outSize = 0;
        const int remaining = static_cast<int>(bytes.size() - pos);
        const int used = av_parser_parse2(parser, context, &out, &outSize, padded.data() + pos, remaining,
                                          AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (outSize > 0) packets.emplace_back(out, out + outSize);
        pos += static_cast<size_t>(used);
        if (remaining == 0) break;
    }
    av_parser_close(parser);
    avcodec_free_context(&context);
    return packets;
}

// Compares the visible picture of two frames.
bool SamePicture(const AVFrame* a, const AVFrame* b, std::string* where) {
    if (a->width != b->width || a->height != b->height) {
        *where = "size";
        return false;
    }
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? (a->width + 1) / 2 : a->width;
        const int h = plane ? (a->height + 1) / 2 : a->height;
        for (int y = 0; y < h; ++y)
            if (std::memcmp(a->data[plane] + static_cast<ptrdiff_t>(y) * a->linesize[plane],
                            b->data[plane] + static_cast<ptrdiff_t>(y) * b->linesize[plane], w) != 0) {
                *where = "plane " + std::to_string(plane) + " row " + std::to_string(y);
                return false;
            }
    }
    return true;
}

bool SamePlanes(const uint8_t* const planes[3], const int strides[3], const AVFrame* reference, std::string* where) {
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? (reference->width + 1) / 2 : reference->width;
        const int h = plane ? (reference->height + 1) / 2 : reference->height;
        for (int y = 0; y < h; ++y)
            if (std::memcmp(planes[plane] + static_cast<ptrdiff_t>(y) * strides[plane],
                            reference->data[plane] + static_cast<ptrdiff_t>(y) * reference->linesize[plane], w) != 0) {
                *where = "plane " + std::to_string(plane) + " row " + std::to_string(y);
                return false;
            }
    }
    return true;
}

const char kX264Rich[] =
    "-c:v libx264 -profile:v high -preset medium -qp 26 "
    "-x264-params 8x8dct=1:cabac=1:weightp=2:bframes=0:ref=4:keyint=12";
const char kX264Interlaced[] =
    "-c:v libx264 -profile:v high -qp 26 -flags +ildct+ilme "
    "-x264-params 8x8dct=1:cabac=1:weightp=2:bframes=0:ref=3:keyint=12:interlaced=1:tff=1";
const char kX264Cavlc[] = "-c:v libx264 -profile:v main -qp 30 -x264-params cabac=0:bframes=0:ref=2:keyint=10";
const char kMpeg4Rich[] = "-c:v mpeg4 -flags +mv4+aic+qpel -mbd rd -trellis 1 -bf 0 -g 12 -q:v 4";
const char kMpeg4Gmc[] = "-c:v mpeg4 -flags +mv4 -gmc 1 -mbd rd -bf 0 -g 12 -q:v 5";
const char kMpeg4Interlaced[] = "-c:v mpeg4 -flags +mv4+ildct+ilme -mbd rd -trellis 1 -bf 0 -g 12 -q:v 4";
const char kTestSrc[] = "testsrc2";
const char kMandelbrot[] = "mandelbrot=maxiter=64";

struct LayoutCase {
    const char* name;
    Encoding encoding;
    PictureLayout layout;
    bool expectLayout;  // whether get_buffer2 can give this layout for this size
};

void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class PictureLayoutDecoding : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PictureLayoutDecoding, PicturesMatchDefaultBuffersByteForByte) {
    REQUIRE_FFMPEG();
    const LayoutCase& c = GetParam();
    const std::vector<Packet>& packets = Encode(c.encoding);
    ASSERT_GE(packets.size(), static_cast<size_t>(c.encoding.frames) / 2);
    LibavVideoDecoder laid;
    LibavVideoDecoder plain;
    ASSERT_TRUE(laid.Open(c.encoding.codec, nullptr, 0, false, c.layout));
    ASSERT_TRUE(plain.Open(c.encoding.codec, nullptr, 0, false));
    int pictures = 0;
    int interlaced = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        const AVFrame* a = laid.Decode(packets[i].data(), packets[i].size());
        const AVFrame* b = plain.Decode(packets[i].data(), packets[i].size());
        ASSERT_EQ(a != nullptr, b != nullptr) << "packet " << i;
        if (!a) continue;
        ++pictures;
        interlaced += a->interlaced_frame ? 1 : 0;
        std::string where;
        ASSERT_TRUE(SamePicture(a, b, &where)) << "packet " << i << ": " << where;
        EXPECT_EQ(HasLayout(a, c.layout, c.encoding.width, c.encoding.height), c.expectLayout) << "packet " << i;
    }
    EXPECT_EQ(pictures, static_cast<int>(packets.size()));
    if (c.encoding.options.find("ilme") != std::string::npos) {
        EXPECT_GT(interlaced, 0) << "the stream came out progressive";
    }
}

// Sizes that take the layout (352, 704, 720 with its 848 / 424 and 720 / 360
// strides, 528, 176, 1280) and sizes that must fall back (a width that is
// not whole macroblocks, a coded height of 1088 for 1080 lines).
const LayoutCase kLayoutCases[] = {
    {"H264Rich720x576", {AV_CODEC_ID_H264, 720, 576, 24, kTestSrc, kX264Rich}, PictureLayout::ContiguousI420, true},
    {"H264Interlaced720x576", {AV_CODEC_ID_H264, 720, 576, 24, kTestSrc, kX264Interlaced}, PictureLayout::ContiguousI420, true},
    {"H264Rich352x288Mandelbrot", {AV_CODEC_ID_H264, 352, 288, 24, kMandelbrot, kX264Rich}, PictureLayout::ContiguousI420, true},
    {"H264Cavlc704x576", {AV_CODEC_ID_H264, 704, 576, 12, kTestSrc, kX264Cavlc}, PictureLayout::ContiguousI420, true},
    {"H264Rich528x576", {AV_CODEC_ID_H264, 528, 576, 12, kTestSrc, kX264Rich}, PictureLayout::ContiguousI420, true},
    {"H264Rich176x144", {AV_CODEC_ID_H264, 176, 144, 24, kMandelbrot, kX264Rich}, PictureLayout::ContiguousI420, true},
    {"H264Rich1280x720", {AV_CODEC_ID_H264, 1280, 720, 6, kTestSrc, kX264Rich}, PictureLayout::ContiguousI420, true},
    {"H264Cropped360x288FallsBack", {AV_CODEC_ID_H264, 360, 288, 12, kTestSrc, kX264Rich}, PictureLayout::ContiguousI420, false},
    {"H264Cropped1920x1080FallsBack", {AV_CODEC_ID_H264, 1920, 1080, 4, kTestSrc, kX264Rich}, PictureLayout::ContiguousI420, false},
    {"Mpeg4Rich720x576", {AV_CODEC_ID_MPEG4, 720, 576, 24, kTestSrc, kMpeg4Rich}, PictureLayout::LineMargin128, true},
    {"Mpeg4Gmc720x576", {AV_CODEC_ID_MPEG4, 720, 576, 24, kTestSrc, kMpeg4Gmc}, PictureLayout::LineMargin128, true},
    {"Mpeg4Interlaced720x576", {AV_CODEC_ID_MPEG4, 720, 576, 24, kTestSrc, kMpeg4Interlaced}, PictureLayout::LineMargin128, true},
    {"Mpeg4Rich352x288Mandelbrot", {AV_CODEC_ID_MPEG4, 352, 288, 24, kMandelbrot, kMpeg4Rich}, PictureLayout::LineMargin128, true},
    {"Mpeg4Interlaced704x576", {AV_CODEC_ID_MPEG4, 704, 576, 12, kTestSrc, kMpeg4Interlaced}, PictureLayout::LineMargin128, true},
    {"Mpeg4Rich528x576", {AV_CODEC_ID_MPEG4, 528, 576, 12, kTestSrc, kMpeg4Rich}, PictureLayout::LineMargin128, true},
    {"Mpeg4Rich176x144", {AV_CODEC_ID_MPEG4, 176, 144, 24, kMandelbrot, kMpeg4Rich}, PictureLayout::LineMargin128, true},
    {"Mpeg4Rich352x240", {AV_CODEC_ID_MPEG4, 352, 240, 12, kTestSrc, kMpeg4Interlaced}, PictureLayout::LineMargin128, true},
    // 360 + 128 is no multiple of 16.
    {"Mpeg4Rich360x288FallsBack", {AV_CODEC_ID_MPEG4, 360, 288, 12, kTestSrc, kMpeg4Rich}, PictureLayout::LineMargin128, false},
};

INSTANTIATE_TEST_SUITE_P(PictureLayout, PictureLayoutDecoding, ::testing::ValuesIn(kLayoutCases),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

const qor::DecoderComponents* Components() {
    static const qor::DecoderComponents* components = qor::LoadDecoderComponents();
    return components;
}

struct ComponentCase {
    const char* name;
    Encoding encoding;
    // Pictures come straight from the decoder (so each lands in another
    // buffer), not copied into one fixed picture buffer.
    bool direct;
};

void PrintTo(const ComponentCase& c, std::ostream* os) { *os << c.name; }

class PictureLayoutOsprey : public ::testing::TestWithParam<ComponentCase> {};

// Through the component's entry point the way the adapter calls it: header
// first, then the picture, each picture checked against libavcodec alone.
TEST_P(PictureLayoutOsprey, ComponentPicturesMatchLibavcodec) {
    REQUIRE_FFMPEG();
    ASSERT_NE(Components(), nullptr);
    const qor::OspreyApi& api = Components()->osprey;
    const Encoding& e = GetParam().encoding;
    const std::vector<Packet>& packets = Encode(e);
    ASSERT_FALSE(packets.empty());
    OspreyCreateRecord create{QOR_OSPREY_VERSION, nullptr};
    ASSERT_EQ(api.Decore(nullptr, QOR_OSPREY_DEC_CREATE, &create, nullptr), 0);
    LibavVideoDecoder plain;
    ASSERT_TRUE(plain.Open(AV_CODEC_ID_MPEG4, nullptr, 0, false));
    int pictures = 0;
    const uint8_t* previous = nullptr;
    for (size_t i = 0; i < packets.size(); ++i) {
        const AVFrame* reference = plain.Decode(packets[i].data(), packets[i].size());
        OspreyFrameRecord frame{};
        OspreyStatistics stats{};
        const uint8_t* data = packets[i].data();
        int32_t remaining = static_cast<int32_t>(packets[i].size());
        while (remaining > 0) {
            frame = OspreyFrameRecord{};
            frame.uVersion = QOR_OSPREY_VERSION;
            frame.pData = data;
            frame.iLength = remaining;
            frame.iColorSpace = QOR_OSPREY_COLORSPACE_I420;
            frame.iStride = e.width;
            stats = OspreyStatistics{};
            stats.uVersion = QOR_OSPREY_VERSION;
            const int32_t used = api.Decore(create.hHandle, QOR_OSPREY_DEC_DECODE, &frame, &stats);
            ASSERT_GT(used, 0);
            ASSERT_LE(used, remaining);
            if (stats.iType >= QOR_OSPREY_STATS_PICTURE) break;
            data += used;
            remaining -= used;
        }
        ASSERT_EQ(stats.iType >= QOR_OSPREY_STATS_PICTURE, reference != nullptr) << "packet " << i;
        if (!reference) continue;
        ++pictures;
        EXPECT_EQ(frame.iStrides[0], e.width + 128);
        EXPECT_EQ(frame.iStrides[1], (e.width + 128) / 2);
        EXPECT_EQ(frame.iStrides[2], (e.width + 128) / 2);
        const uint8_t* planes[3] = {frame.pPlanes[0], frame.pPlanes[1], frame.pPlanes[2]};
        std::string where;
        ASSERT_TRUE(SamePlanes(planes, frame.iStrides, reference, &where)) << "packet " << i << ": " << where;
        if (previous) {
            EXPECT_EQ(planes[0] != previous, GetParam().direct) << "packet " << i;
        }
        previous = planes[0];
    }
    EXPECT_EQ(pictures, static_cast<int>(packets.size()));
    EXPECT_EQ(api.Decore(create.hHandle, QOR_OSPREY_DEC_DESTROY, nullptr, nullptr), 0);
}

const ComponentCase kOspreyCases[] = {
    {"Direct720x576Interlaced", {AV_CODEC_ID_MPEG4, 720, 576, 24, kTestSrc, kMpeg4Interlaced}, true},
    {"Copied360x288", {AV_CODEC_ID_MPEG4, 360, 288, 12, kTestSrc, kMpeg4Rich}, false},
};
INSTANTIATE_TEST_SUITE_P(PictureLayout, PictureLayoutOsprey, ::testing::ValuesIn(kOspreyCases),
                         [](const ::testing::TestParamInfo<ComponentCase>& info) { return std::string(info.param.name); });

class PictureLayoutAvc : public ::testing::TestWithParam<ComponentCase> {};

// The picture block may move from call to call, but must keep holding the
// last picture after calls that give none or fail, until the next picture.
TEST_P(PictureLayoutAvc, ComponentPicturesMatchLibavcodecAndOutliveEmptyCalls) {
    REQUIRE_FFMPEG();
    ASSERT_NE(Components(), nullptr);
    const qor::AvcApi& api = Components()->avc;
    const Encoding& e = GetParam().encoding;
    const std::vector<Packet>& packets = Encode(e);
    ASSERT_FALSE(packets.empty());
    H264DecoderContext* context = api.Init(e.width, e.height);
    ASSERT_NE(context, nullptr);
    context->bLowDelay = 1;
    LibavVideoDecoder plain;
    ASSERT_TRUE(plain.Open(AV_CODEC_ID_H264, nullptr, 0, false));
    const size_t lumaBytes = static_cast<size_t>(e.width) * e.height;
    const int strides[3] = {e.width, e.width / 2, e.width / 2};
    const std::vector<uint8_t> garbage(64, 0x5A);
    std::vector<uint8_t> filtered(lumaBytes * 3 / 2);
    int pictures = 0;
    const uint8_t* previous = nullptr;
    for (size_t i = 0; i < packets.size(); ++i) {
        const AVFrame* reference = plain.Decode(packets[i].data(), packets[i].size());
        context->pData = packets[i].data();
        context->uLength = static_cast<uint32_t>(packets[i].size());
        context->bPostFilter = 0;
        const int32_t status = api.DecodeOneFrame(context);
        ASSERT_EQ(status == QOR_AVC_PICTURE_READY, reference != nullptr) << "packet " << i;
        if (!reference) continue;
        ++pictures;
        auto same = [&](const char* after) {
            const uint8_t* planes[3] = {context->pPicture, context->pPicture + lumaBytes,
                                        context->pPicture + lumaBytes * 5 / 4};
            std::string where;
            EXPECT_TRUE(SamePlanes(planes, strides, reference, &where)) << "packet " << i << after << ": " << where;
        };
        same("");
        if (previous) {
            EXPECT_EQ(context->pPicture != previous, GetParam().direct) << "packet " << i;
        }
        previous = context->pPicture;
        ASSERT_EQ(api.PostFilter(context, filtered.data(), 0), 0);
        EXPECT_EQ(std::memcmp(filtered.data(), context->pPicture, filtered.size()), 0) << "packet " << i;
        if (i % 5 != 2) continue;
        // Reference pictures live on inside libavcodec; the one handed out
        // must survive calls that give nothing.
        context->pData = nullptr;
        context->uLength = 0;
        EXPECT_EQ(api.DecodeOneFrame(context), QOR_AVC_NO_PICTURE);
        same(" after an empty call");
        context->pData = garbage.data();
        context->uLength = static_cast<uint32_t>(garbage.size());
        EXPECT_NE(api.DecodeOneFrame(context), QOR_AVC_PICTURE_READY);
        same(" after a damaged frame");
        plain.Decode(garbage.data(), garbage.size());
    }
    EXPECT_EQ(pictures, static_cast<int>(packets.size()));
    api.Destroy(context);
}

const ComponentCase kAvcCases[] = {
    {"Direct720x576", {AV_CODEC_ID_H264, 720, 576, 24, kTestSrc, kX264Rich}, true},
    {"DirectInterlaced720x576", {AV_CODEC_ID_H264, 720, 576, 24, kTestSrc, kX264Interlaced}, true},
    {"Copied360x288", {AV_CODEC_ID_H264, 360, 288, 12, kTestSrc, kX264Rich}, false},
};
INSTANTIATE_TEST_SUITE_P(PictureLayout, PictureLayoutAvc, ::testing::ValuesIn(kAvcCases),
                         [](const ::testing::TestParamInfo<ComponentCase>& info) { return std::string(info.param.name); });

}  // namespace
