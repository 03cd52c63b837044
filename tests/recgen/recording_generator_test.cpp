#include "media_check.h"
#include "recording_reader.h"

#include "recording_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace recgen_test;
using qor::recgen::ExtraHeader;
using qor::recgen::Family;
using qor::recgen::MakeRecording;
using qor::recgen::Options;
using qor::recgen::Recording;

namespace {

struct Made {
    std::vector<uint8_t> bytes;
    Recording info;
    Parsed parsed;
};

Made Make(const Options& o)
{
    Made m;
    std::string error;
    EXPECT_TRUE(MakeRecording(o, &m.bytes, &m.info, &error)) << error;
    m.parsed = ReadRecording(m.bytes);
    return m;
}

Options Small(Family family)
{
    Options o;
    o.family = family;
    o.width = 176;
    o.height = 144;
    o.frameCount = 30;
    o.keyInterval = 10;
    return o;
}

uint32_t ExpectedVideoTime(const Options& o, int i)
{
    return o.startTime + static_cast<uint32_t>((static_cast<int64_t>(i) * 1000 + o.frameRate / 2) / o.frameRate);
}

bool HasStartCodePrefix(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i + 3 <= n; ++i) {
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1)
            return true;
    }
    return false;
}

std::vector<const Item*> VideoItems(const Parsed& p)
{
    std::vector<const Item*> out;
    for (const Item& item : p.items) {
        if (item.type <= 2)
            out.push_back(&item);
    }
    return out;
}

// Decodes every video frame in file order, restarting the decoder at each
// header copy with that header's configuration, and returns the lowest PSNR.
double DecodeAllVideo(const Made& m, Family family, int* decoded)
{
    const bool h264 = family == Family::Yuv;
    auto configOf = [&](const FileHeader& h) {
        // Osprey's decoder takes no configuration; its key frames carry the headers.
        return (h264 || family == Family::Osprey) ? std::vector<uint8_t>{} : h.config;
    };
    auto decoder = std::make_unique<VideoDecoder>(h264, configOf(m.parsed.header));
    double worst = 99.0;
    int index = 0;
    *decoded = 0;
    for (const Item& item : m.parsed.items) {
        if (item.type == 6)
            decoder = std::make_unique<VideoDecoder>(h264, configOf(item.header));
        if (item.type > 2 || !item.coded)
            continue;
        Picture picture;
        EXPECT_TRUE(decoder->Ok());
        if (!decoder->Decode(item.coded, item.codedLength, &picture)) {
            ADD_FAILURE() << "video frame " << index << " did not decode";
            ++index;
            continue;
        }
        EXPECT_EQ(picture.width, item.width) << "frame " << index;
        EXPECT_EQ(picture.height, item.height) << "frame " << index;
        worst = std::min(worst, PsnrAgainstPattern(picture, index));
        ++*decoded;
        ++index;
    }
    return worst;
}

struct FamilyCase {
    Family family;
    uint32_t typeCode;
};

// Names the family in failure messages instead of dumping the bytes.
void PrintTo(const FamilyCase& c, std::ostream* out)
{
    *out << qor::recgen::FamilyName(c.family);
}

class RecGenFamily : public ::testing::TestWithParam<FamilyCase> {};

const FamilyCase kFamilies[] = {
    {Family::Marlin, 0x00060002},
    {Family::Heron, 0x00060008},
    {Family::Osprey, 0x00090002},
    {Family::Yuv, 0x00060009},
};

std::string FamilyCaseName(const ::testing::TestParamInfo<FamilyCase>& info)
{
    return qor::recgen::FamilyName(info.param.family);
}

}  // namespace

TEST_P(RecGenFamily, FileHeaderCarriesFamilySizeRateAndAudio)
{
    Options o = Small(GetParam().family);
    o.frameRate = 30;
    o.audioType = 0x6000;
    const Made m = Make(o);
    const FileHeader& h = m.parsed.header;
    EXPECT_EQ(h.position, 0);
    EXPECT_EQ(qor::recgen::FormatTypeCode(o.family), GetParam().typeCode);
    EXPECT_EQ(h.typeCode, GetParam().typeCode);
    EXPECT_EQ(h.headerLength, 1024u);
    EXPECT_EQ(h.contentFlags, 0);
    EXPECT_EQ(h.width, 176);
    EXPECT_EQ(h.height, 144);
    EXPECT_EQ(h.frameRate, 30);
    EXPECT_EQ(h.audioType, 0x6000u);
    EXPECT_EQ(h.config, m.info.videoConfig);
    ASSERT_EQ(h.config.size(), 19u);
    if (o.family == Family::Yuv) {
        EXPECT_EQ(h.config, std::vector<uint8_t>(19, 0));
    } else {
        // VO start code, then the VOL start code right behind it.
        const uint8_t vo[] = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20};
        EXPECT_TRUE(std::equal(std::begin(vo), std::end(vo), h.config.begin()));
    }
    EXPECT_EQ(m.info.audioSampleRate, o.family == Family::Osprey ? 44100 : 8000);
}

TEST_P(RecGenFamily, FramesFollowEachOtherAndMatchTheReport)
{
    const Options o = Small(GetParam().family);
    const Made m = Make(o);
    ASSERT_EQ(m.parsed.items.size(), m.info.frames.size());
    int64_t expected = 1024;
    for (size_t i = 0; i < m.parsed.items.size(); ++i) {
        const Item& item = m.parsed.items[i];
        const auto& record = m.info.frames[i];
        SCOPED_TRACE("item " + std::to_string(i));
        ASSERT_LE(item.type, 3);
        EXPECT_EQ(item.position, expected);
        EXPECT_EQ(item.type, record.type);
        EXPECT_EQ(item.position, record.position);
        EXPECT_EQ(item.length, record.length);
        EXPECT_EQ(item.time, record.time);
        EXPECT_EQ(item.width, 176);
        EXPECT_EQ(item.height, 144);
        EXPECT_FALSE(item.truncated);
        expected += item.length;
    }
    EXPECT_EQ(expected, static_cast<int64_t>(m.bytes.size()));
    EXPECT_EQ(m.info.fileSize, static_cast<int64_t>(m.bytes.size()));
    EXPECT_EQ(m.info.frames.front().type, 0) << "a recording opens with a key frame";
}

TEST_P(RecGenFamily, VideoTimesKeyFramesAndBackLinks)
{
    Options o = Small(GetParam().family);
    o.frameRate = 30;  // 1000/30 is not whole, so the rounding shows
    o.startTime = 5000;
    const Made m = Make(o);
    const auto video = VideoItems(m.parsed);
    ASSERT_EQ(video.size(), 30u);
    int64_t previousKey = -1;
    for (size_t i = 0; i < video.size(); ++i) {
        SCOPED_TRACE("video frame " + std::to_string(i));
        EXPECT_EQ(video[i]->time, ExpectedVideoTime(o, static_cast<int>(i)));
        const bool key = i % 10 == 0;
        EXPECT_EQ(video[i]->type, key ? 0 : 1);
        if (key) {
            ASSERT_EQ(video[i]->extensionLength, 4u);
            if (previousKey < 0)
                EXPECT_LT(video[i]->i2i, 1024u);
            else
                EXPECT_EQ(video[i]->i2i, video[i]->position - previousKey);
            previousKey = video[i]->position;
        } else {
            EXPECT_EQ(video[i]->extensionLength, 0u);
        }
    }
    ASSERT_EQ(m.info.keyFrames.size(), 3u);
    EXPECT_EQ(m.info.keyFrames[2].position, previousKey);
}

TEST_P(RecGenFamily, AudioInterleavedByTime)
{
    const Options o = Small(GetParam().family);
    const Made m = Make(o);
    int audio = 0;
    uint32_t last = 0;
    for (const Item& item : m.parsed.items) {
        EXPECT_GE(item.time, last) << "file order follows time";
        last = item.time;
        if (item.type == 3) {
            EXPECT_EQ(item.extensionLength, 0u);
            EXPECT_LE(item.codedLength, 4096u);
            ++audio;
        }
    }
    EXPECT_EQ(audio, m.info.audioFrameCount);
    // The sound spans the pictures: 30 frames at 25 fps are 1200 ms.
    const int samplesPerFrame = o.family == Family::Osprey ? 1152 : 320;
    const double covered = audio * samplesPerFrame * 1000.0 / m.info.audioSampleRate;
    EXPECT_GE(covered, 1200.0);
    EXPECT_LT(covered - samplesPerFrame * 1000.0 / m.info.audioSampleRate, 1200.0);
}

TEST_P(RecGenFamily, VideoDecodesAtDefaultQualityAbove30dB)
{
    Options o = Small(GetParam().family);
    o.width = 352;
    o.height = 288;
    o.frameCount = 12;
    o.keyInterval = 6;
    const Made m = Make(o);
    int decoded = 0;
    const double psnr = DecodeAllVideo(m, o.family, &decoded);
    EXPECT_EQ(decoded, 12);
    EXPECT_GT(psnr, 30.0);
}

TEST_P(RecGenFamily, NoAudioMeansVideoOnlyFlagsAndNoAudioFrames)
{
    Options o = Small(GetParam().family);
    o.audio = false;
    const Made m = Make(o);
    EXPECT_EQ(m.parsed.header.contentFlags, 0x4000);
    EXPECT_EQ(m.info.audioSampleRate, 0);
    EXPECT_EQ(m.parsed.items.size(), 30u);
    for (const Item& item : m.parsed.items)
        EXPECT_NE(item.type, 3);
}

TEST_P(RecGenFamily, KeyFramesWithoutBackLinksHaveNoExtension)
{
    Options o = Small(GetParam().family);
    o.backLinks = false;
    const Made m = Make(o);
    for (const Item& item : m.parsed.items)
        EXPECT_EQ(item.extensionLength, 0u);
    int decoded = 0;
    EXPECT_GT(DecodeAllVideo(m, o.family, &decoded), 30.0);
    EXPECT_EQ(decoded, 30);
}

TEST_P(RecGenFamily, HeaderCopyWithNewSizeRestartsWithKeyFrame)
{
    Options o = Small(GetParam().family);
    o.frameCount = 14;
    o.extraHeaders = {ExtraHeader{7, 352, 240}};
    const Made m = Make(o);
    const auto it = std::find_if(m.parsed.items.begin(), m.parsed.items.end(), [](const Item& i) { return i.type == 6; });
    ASSERT_NE(it, m.parsed.items.end());
    EXPECT_EQ(it->header.typeCode, GetParam().typeCode);
    EXPECT_EQ(it->header.width, 352);
    EXPECT_EQ(it->header.height, 240);
    EXPECT_EQ(std::count_if(m.info.frames.begin(), m.info.frames.end(), [](const auto& f) { return f.type == 6; }), 1);
    const auto video = VideoItems(m.parsed);
    ASSERT_EQ(video.size(), 14u);
    EXPECT_EQ(video[6]->width, 176);
    EXPECT_EQ(video[7]->type, 0);
    EXPECT_GT(video[7]->position, it->position);
    for (size_t i = 7; i < video.size(); ++i) {
        EXPECT_EQ(video[i]->width, 352);
        EXPECT_EQ(video[i]->height, 240);
    }
    // The back-link of the restart key frame still points at the previous key frame.
    EXPECT_EQ(video[7]->i2i, video[7]->position - video[0]->position);
    int decoded = 0;
    EXPECT_GT(DecodeAllVideo(m, o.family, &decoded), 30.0);
    EXPECT_EQ(decoded, 14);
}

TEST_P(RecGenFamily, FalseStartCodesSitInsidePayloadsAndVideoStillDecodes)
{
    Options o = Small(GetParam().family);
    o.frameCount = 10;
    o.falseStartCodes = true;
    const Made m = Make(o);
    // Every frame is still found by its length: the planted codes never
    // break the walk.
    ASSERT_EQ(m.parsed.items.size(), m.info.frames.size());
    const uint8_t b7[] = {0x00, 0x00, 0x01, 0xB7};
    const uint8_t b2[] = {0x00, 0x00, 0x01, 0xB2};
    for (const Item* v : VideoItems(m.parsed)) {
        const uint8_t* end = v->coded + v->codedLength;
        EXPECT_NE(std::search(v->coded, end, std::begin(b7), std::end(b7)), end);
        EXPECT_NE(std::search(v->coded, end, std::begin(b2), std::end(b2)), end);
    }
    int decoded = 0;
    EXPECT_GT(DecodeAllVideo(m, o.family, &decoded), 30.0);
    EXPECT_EQ(decoded, 10);
}

INSTANTIATE_TEST_SUITE_P(RecGen, RecGenFamily, ::testing::ValuesIn(kFamilies), FamilyCaseName);

TEST(RecGenVideo, HeadersInKeyFramesRepeatTheConfiguration)
{
    struct Case {
        Family family;
        bool ask;
        bool repeated;
    };
    const Case cases[] = {
        {Family::Marlin, false, false},
        {Family::Marlin, true, true},
        {Family::Heron, true, true},
        {Family::Osprey, false, true},  // always: its decoder takes no configuration
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qor::recgen::FamilyName(c.family));
        Options o = Small(c.family);
        o.headersInKeyFrames = c.ask;
        const Made m = Make(o);
        for (const Item* v : VideoItems(m.parsed)) {
            const bool starts = v->codedLength >= 19 && std::equal(m.info.videoConfig.begin(),
                                                                      m.info.videoConfig.end(), v->coded);
            EXPECT_EQ(starts, v->type == 0 && c.repeated);
        }
    }
}

TEST(RecGenVideo, YuvKeyFramesCarrySpsAndPps)
{
    const Made m = Make(Small(Family::Yuv));
    for (const Item* v : VideoItems(m.parsed)) {
        bool sps = false, pps = false;
        for (size_t i = 0; i + 4 <= v->codedLength; ++i) {
            if (v->coded[i] == 0 && v->coded[i + 1] == 0 && v->coded[i + 2] == 1) {
                sps |= (v->coded[i + 3] & 0x1F) == 7;
                pps |= (v->coded[i + 3] & 0x1F) == 8;
            }
        }
        EXPECT_EQ(sps && pps, v->type == 0);
    }
}

TEST(RecGenVideo, PictureSizesOfTheRecorders)
{
    const std::pair<int, int> sizes[] = {{352, 288}, {704, 576}, {720, 576}, {528, 576}, {352, 240}, {704, 480}};
    for (const auto& [w, h] : sizes) {
        for (Family family : {Family::Marlin, Family::Yuv}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " " + qor::recgen::FamilyName(family));
            Options o = Small(family);
            o.width = w;
            o.height = h;
            o.frameCount = 2;
            o.audio = false;
            const Made m = Make(o);
            EXPECT_EQ(m.parsed.header.width, w);
            EXPECT_EQ(m.parsed.header.height, h);
            int decoded = 0;
            EXPECT_GT(DecodeAllVideo(m, family, &decoded), 30.0);
            EXPECT_EQ(decoded, 2);
        }
    }
}

TEST(RecGenVideo, OwnPictureSourceIsEncoded)
{
    Options o = Small(Family::Marlin);
    o.frameCount = 3;
    o.audio = false;
    o.pictureSource = [](int, int w, int h, uint8_t* y, int ys, uint8_t* u, uint8_t* v, int cs) {
        for (int r = 0; r < h; ++r)
            std::memset(y + r * ys, 200, static_cast<size_t>(w));
        for (int r = 0; r < h / 2; ++r) {
            std::memset(u + r * cs, 90, static_cast<size_t>(w / 2));
            std::memset(v + r * cs, 160, static_cast<size_t>(w / 2));
        }
    };
    const Made m = Make(o);
    VideoDecoder decoder(false, m.parsed.header.config);
    Picture picture;
    const Item* first = VideoItems(m.parsed).front();
    ASSERT_TRUE(decoder.Decode(first->coded, first->codedLength, &picture));
    EXPECT_NEAR(picture.y[picture.y.size() / 2], 200, 3);
    EXPECT_NEAR(picture.u[picture.u.size() / 2], 90, 3);
    EXPECT_NEAR(picture.v[picture.v.size() / 2], 160, 3);
}

TEST(RecGenAudio, G726AndMulawFramesDecodeToTheTone)
{
    struct Case {
        uint32_t audioType;
        size_t bytesPerFrame;
        double minSnr;
    };
    const Case cases[] = {
        {0x4000, 160, 20.0},
        {0x6000, 160, 20.0},
        {0x8000, 160, 20.0},
        {0x10000, 320, 30.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.audioType);
        Options o = Small(Family::Heron);
        o.audioType = c.audioType;
        o.frameCount = 25;
        const Made m = Make(o);
        EXPECT_EQ(m.parsed.header.audioType, c.audioType);
        G726Decoder g726;
        std::vector<int16_t> pcm;
        int frames = 0;
        for (const Item& item : m.parsed.items) {
            if (item.type != 3)
                continue;
            EXPECT_EQ(item.codedLength, c.bytesPerFrame);
            EXPECT_EQ(item.time, static_cast<uint32_t>(frames * 40));
            ++frames;
            if (c.audioType == 0x10000) {
                for (size_t i = 0; i < item.codedLength; ++i)
                    pcm.push_back(MulawToLinear(item.coded[i]));
            } else {
                g726.Decode(item.coded, item.codedLength, &pcm);
            }
        }
        EXPECT_EQ(frames, 25);
        ASSERT_EQ(pcm.size(), 25u * 320u);
        std::vector<int16_t> reference(pcm.size());
        qor::recgen::TestTone(8000, 1, 0, static_cast<int>(reference.size()), reference.data());
        // ADPCM needs a few milliseconds to adapt; judge it after that.
        const std::vector<int16_t> settledReference(reference.begin() + 400, reference.end());
        const std::vector<int16_t> settled(pcm.begin() + 400, pcm.end());
        EXPECT_GT(BestSnr(settledReference, settled, 0, nullptr), c.minSnr);
    }
}

TEST(RecGenAudio, OspreyCarriesOneMpegLayer3FramePerAudioFrame)
{
    Options o = Small(Family::Osprey);
    o.frameCount = 50;
    const Made m = Make(o);
    Mp3Decoder decoder;
    std::vector<int16_t> pcm;
    int frames = 0;
    for (const Item& item : m.parsed.items) {
        if (item.type != 3)
            continue;
        SCOPED_TRACE("audio frame " + std::to_string(frames));
        ASSERT_GE(item.codedLength, 4u);
        const uint8_t* h = item.coded;
        EXPECT_EQ(h[0], 0xFF);
        EXPECT_EQ(h[1] & 0xFE, 0xFA) << "MPEG-1 Layer III";
        EXPECT_EQ((h[2] >> 2) & 3, 0) << "44100 Hz";
        EXPECT_NE(h[3] >> 6, 3) << "two channels";
        const int bitrates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
        const size_t length = 144u * bitrates[h[2] >> 4] * 1000u / 44100u + ((h[2] >> 1) & 1);
        EXPECT_EQ(item.codedLength, length) << "exactly one MPEG audio frame";
        EXPECT_EQ(item.time, static_cast<uint32_t>((frames * 1152LL * 1000 + 22050) / 44100));
        int channels = 0, rate = 0;
        EXPECT_TRUE(decoder.Decode(item.coded, item.codedLength, &pcm, &channels, &rate));
        if (!pcm.empty()) {
            EXPECT_EQ(channels, 2);
            EXPECT_EQ(rate, 44100);
        }
        ++frames;
    }
    EXPECT_EQ(frames, m.info.audioFrameCount);
    // Compare a stretch after the encoder's start-up delay.
    std::vector<int16_t> reference(2 * 16000);
    qor::recgen::TestTone(44100, 2, 0, 16000, reference.data());
    int lag = 0;
    EXPECT_GT(BestSnr(reference, pcm, 2 * 3000, &lag), 10.0);
    EXPECT_EQ(lag % 2, 0);
}

TEST(RecGenAudio, OwnSoundSourceIsEncoded)
{
    Options o = Small(Family::Marlin);
    o.audioType = 0x10000;
    o.frameCount = 5;
    o.soundSource = [](int, int channels, int64_t, int count, int16_t* out) {
        std::fill(out, out + count * channels, int16_t{-1000});
    };
    const Made m = Make(o);
    for (const Item& item : m.parsed.items) {
        if (item.type == 3) {
            for (size_t i = 0; i < item.codedLength; ++i)
                EXPECT_NEAR(MulawToLinear(item.coded[i]), -1000, 40);
        }
    }
}

TEST(RecGenTiming, GapsAndJumpsMoveLaterFramesAudioIncluded)
{
    Options o = Small(Family::Marlin);
    o.frameCount = 40;
    o.timeGaps = {{10, 120}, {20, 600}, {30, 61000}};
    const Made m = Make(o);
    const auto video = VideoItems(m.parsed);
    ASSERT_EQ(video.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        const uint32_t gap = (i >= 10 ? 120 : 0) + (i >= 20 ? 600 : 0) + (i >= 30 ? 61000 : 0);
        EXPECT_EQ(video[static_cast<size_t>(i)]->time, ExpectedVideoTime(o, i) + gap) << "frame " << i;
    }
    EXPECT_EQ(video[30]->time - video[29]->time, 61040u);
    uint32_t last = 0;
    for (const Item& item : m.parsed.items) {
        EXPECT_GE(item.time, last);
        last = item.time;
    }
}

TEST(RecGenTiming, InvalidTimeStampsAreAllOnes)
{
    Options o = Small(Family::Marlin);
    o.frameCount = 10;
    o.invalidTimeFrames = {0, 4};
    const Made m = Make(o);
    const auto video = VideoItems(m.parsed);
    EXPECT_EQ(video[0]->time, 0xFFFFFFFFu);
    EXPECT_EQ(video[4]->time, 0xFFFFFFFFu);
    EXPECT_EQ(video[5]->time, 200u);
    const auto& records = m.info.frames;
    const auto fourth = std::find_if(records.begin(), records.end(), [](const auto& r) { return r.pictureIndex == 4 && r.type <= 2; });
    ASSERT_NE(fourth, records.end());
    EXPECT_EQ(fourth->time, 0xFFFFFFFFu);
    EXPECT_EQ(fourth->logicalTime, 160u);
}

TEST(RecGenDamage, LeadingGarbageComesBeforeTheHeader)
{
    Options o = Small(Family::Marlin);
    o.frameCount = 5;
    o.leadingGarbage = 777;
    const Made m = Make(o);
    EXPECT_EQ(m.info.headerPosition, 777);
    EXPECT_EQ(m.parsed.header.position, 777);
    EXPECT_FALSE(HasStartCodePrefix(m.bytes.data(), 777 + 2));
    EXPECT_EQ(m.parsed.items.front().position, 777 + 1024);
}

TEST(RecGenDamage, UnknownJunkBeforeChosenFrames)
{
    Options o = Small(Family::Marlin);
    o.frameCount = 10;
    o.unknownBefore = {3, 7};
    const Made m = Make(o);
    ASSERT_EQ(m.parsed.items.size(), m.info.frames.size());
    int junk = 0;
    for (size_t i = 0; i < m.parsed.items.size(); ++i) {
        const Item& item = m.parsed.items[i];
        if (item.type != 8)
            continue;
        ++junk;
        EXPECT_EQ(m.info.frames[i].type, 8);
        EXPECT_EQ(item.length, 48u);
        EXPECT_FALSE(HasStartCodePrefix(&m.bytes[static_cast<size_t>(item.position)], item.length));
        ASSERT_LT(i + 1, m.parsed.items.size());
        EXPECT_LE(m.parsed.items[i + 1].type, 2) << "junk sits right before a video frame";
    }
    EXPECT_EQ(junk, 2);
}

TEST(RecGenDamage, TrailerValueFiveBytesBeforeSignature)
{
    Options o = Small(Family::Osprey);
    o.frameCount = 5;
    o.trailerValue = 0xA1B2C3D4;
    const Made m = Make(o);
    ASSERT_TRUE(m.parsed.hasTrailer);
    EXPECT_EQ(m.parsed.trailerValue, 0xA1B2C3D4u);
    const std::string tail(m.bytes.end() - 33, m.bytes.end());
    EXPECT_EQ(tail, "DKESTRELMOORBRIGHTWATERSTONE58213");
    // Value at e-37 with e the index of the signature's last byte.
    const size_t e = m.bytes.size() - 1;
    EXPECT_EQ(Le32(&m.bytes[e - 37]), 0xA1B2C3D4u);
    // Nothing else follows the last frame.
    const Item& last = m.parsed.items.back();
    EXPECT_EQ(last.position + last.length, static_cast<int64_t>(m.bytes.size()) - 38);
}

TEST(RecGenDamage, TruncationCutsTheLastFrame)
{
    Options o = Small(Family::Marlin);
    o.frameCount = 5;
    o.audio = false;
    Options whole = o;
    const Made full = Make(whole);
    o.truncateBytes = 100;
    const Made m = Make(o);
    EXPECT_EQ(m.bytes.size(), full.bytes.size() - 100);
    EXPECT_EQ(m.info.fileSize, static_cast<int64_t>(m.bytes.size()));
    EXPECT_EQ(m.info.untruncatedSize, static_cast<int64_t>(full.bytes.size()));
    EXPECT_TRUE(std::equal(m.bytes.begin(), m.bytes.end(), full.bytes.begin()));
    ASSERT_FALSE(m.parsed.items.empty());
    EXPECT_TRUE(m.parsed.items.back().truncated);
}

TEST(RecGenFiles, WriteRecordingStreamsTheSameBytes)
{
    Options o = Small(Family::Yuv);
    o.trailerValue = 42;
    o.truncateBytes = 10;
    o.leadingGarbage = 3;
    const Made m = Make(o);
    const std::string path = ::testing::TempDir() + "recgen_stream.mpg";
    Recording info;
    std::string error;
    ASSERT_TRUE(qor::recgen::WriteRecording(o, path, &info, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, m.bytes);
    EXPECT_EQ(info.fileSize, static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(info.frames.size(), m.info.frames.size());
    std::filesystem::remove(path);
}

TEST(RecGenFiles, FailedWriteLeavesNoFile)
{
    Options o = Small(Family::Marlin);
    o.frameCount = 3;
    o.truncateBytes = 1 << 30;  // only found out at the end
    const std::string path = ::testing::TempDir() + "recgen_failed.mpg";
    std::string error;
    EXPECT_FALSE(qor::recgen::WriteRecording(o, path, nullptr, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(RecGenOptions, InvalidOptionsAreRefusedWithAReason)
{
    struct Case {
        const char* what;
        std::function<void(Options&)> change;
    };
    const Case cases[] = {
        {"odd width", [](Options& o) { o.width = 175; }},
        {"zero height", [](Options& o) { o.height = 0; }},
        {"zero frame rate", [](Options& o) { o.frameRate = 0; }},
        {"zero key interval", [](Options& o) { o.keyInterval = 0; }},
        {"unknown audio type", [](Options& o) { o.audioType = 0x2000; }},
        {"audio frame too long", [](Options& o) { o.audioType = 0x10000; o.audioFrameSamples = 4098; }},
        {"extra header out of range", [](Options& o) { o.extraHeaders = {ExtraHeader{30, 176, 144}}; }},
        {"truncate more than written", [](Options& o) { o.truncateBytes = 1 << 30; }},
        {"quality out of range", [](Options& o) { o.quality = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Options o = Small(Family::Marlin);
        o.frameCount = 2;
        c.change(o);
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_FALSE(MakeRecording(o, &bytes, nullptr, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(RecGenTool, WritesARecordingAndRefusesBadArguments)
{
    const std::string path = ::testing::TempDir() + "recgen_tool.mpg";
    const std::string ok = std::string(MKREC_PATH) + " --family heron --size 176x144 --seconds 1 --key 5 --trailer 7 --garbage 10 --quiet --out " + path;
    ASSERT_EQ(std::system(ok.c_str()), 0);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Parsed p = ReadRecording(bytes);
    EXPECT_EQ(p.header.position, 10);
    EXPECT_EQ(p.header.typeCode, 0x00060008u);
    EXPECT_EQ(VideoItems(p).size(), 25u);
    EXPECT_TRUE(p.hasTrailer);
    EXPECT_EQ(p.trailerValue, 7u);
    std::filesystem::remove(path);

    const char* bad[] = {"--family kestrel", "--size 12", "--fps 0", "--audio-type 0x2000", "--bogus", ""};
    for (const char* args : bad) {
        SCOPED_TRACE(args);
        const std::string command = std::string(MKREC_PATH) + " " + args +
                                    (std::strlen(args) ? " --out " + path : std::string()) + " 2>/dev/null";
        EXPECT_NE(std::system(command.c_str()), 0);
    }
}
