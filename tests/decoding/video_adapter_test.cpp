// Adapter rules checked against scripted stand-ins for the outside decoder
// components: automatic values, forwarded settings, output modes and the
// refusal of bad results.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "player/container/player_file_info.h"
#include "player/decoding/decoder_components.h"
#include "player/decoding/video_decoder_marlin.h"
#include "player/decoding/video_decoder_osprey.h"
#include "player/decoding/video_decoder_yuv.h"
#include "tests/support/debug_capture.h"

namespace {

using qor::DecodeFrame;
using qor::test::DebugCapture;

// What the scripted Marlin component saw and how it misbehaves.
struct MarlinScript {
    enum class Fault { None, NullPlane, NarrowStride, SmallPicture, Throw };
    Fault fault = Fault::None;
    int createCount = 0;
    int releaseCount = 0;
    uint32_t lastModel = 0;
    std::vector<int> quality;
    std::vector<int> postFilter;
    std::vector<int> brightness;
    int width = 0, height = 0;
    std::vector<uint8_t> picture;
};
MarlinScript* script = nullptr;
int handleToken = 0;

MarlinDecoderHandle FakeCreate(const MarlinDecoderParams* p, MarlinOutputDesc* out) {
    ++script->createCount;
    script->lastModel = p->uModelCode;
    script->width = p->iWidth;
    script->height = p->iHeight;
    *out = MarlinOutputDesc{};
    out->iFrameRate = 30;
    return &handleToken;
}

int32_t FakeDecode(MarlinDecoderHandle, const MarlinDecoderParams*, MarlinOutputDesc* out) {
    const int w = script->width, h = script->height;
    script->picture.assign(static_cast<size_t>(w) * h * 3 / 2, 100);
    *out = MarlinOutputDesc{};
    out->iWidth = w;
    out->iHeight = h;
    out->iFrameRate = 30;
    out->pY = script->picture.data();
    out->pU = out->pY + w * h;
    out->pV = out->pU + w * h / 4;
    out->iStrideY = w;
    out->iStrideU = out->iStrideV = w / 2;
    switch (script->fault) {
        case MarlinScript::Fault::None: break;
        case MarlinScript::Fault::NullPlane: out->pV = nullptr; break;
        case MarlinScript::Fault::NarrowStride: out->iStrideY = w / 4; break;
        case MarlinScript::Fault::SmallPicture: out->iHeight = h / 2; break;
        case MarlinScript::Fault::Throw: throw std::runtime_error("decoder fault");
    }
    return 0;
}

int32_t FakeQuality(MarlinDecoderHandle, int32_t v) { script->quality.push_back(v); return 0; }
int32_t FakePostFilter(MarlinDecoderHandle, int32_t v) { script->postFilter.push_back(v); return 0; }
int32_t FakeBrightness(MarlinDecoderHandle, int32_t v) { script->brightness.push_back(v); return 0; }
int32_t FakeIgnore(MarlinDecoderHandle, int32_t) { return 0; }
void FakeRelease(MarlinDecoderHandle) { ++script->releaseCount; }
uint32_t FakeVersion() { return QOR_MARLIN_DLL_VERSION; }

qor::DecoderComponents FakeComponents() {
    qor::DecoderComponents c;
    c.marlin.GetVersion = FakeVersion;
    c.marlin.CreateDecoder = FakeCreate;
    c.marlin.DecoderOneFrame = FakeDecode;
    c.marlin.SetVideoQuality = FakeQuality;
    c.marlin.SetPostFilter = FakePostFilter;
    c.marlin.SetBrightness = FakeBrightness;
    c.marlin.SetContrast = FakeIgnore;
    c.marlin.SetSaturation = FakeIgnore;
    c.marlin.ReleaseDecoder = FakeRelease;
    return c;
}

class VideoDecoderMarlin : public ::testing::Test {
protected:
    void SetUp() override {
        script = &m_script;
        m_components = FakeComponents();
        m_info.uFormatType = 0x00060002;
    }
    void TearDown() override { script = nullptr; }
    MarlinScript m_script;
    qor::DecoderComponents m_components;
    qor::PlayerFileInfo m_info;
};

struct AutomaticCase {
    const char* name;
    int width, height;
    int displayWidth, displayHeight;
    int quality, autoPostFilter;
};

class VideoDecoderAutomatic : public VideoDecoderMarlin, public ::testing::WithParamInterface<AutomaticCase> {};

TEST_P(VideoDecoderAutomatic, ChoosesQualityAndPostFilterByWindowSize) {
    const AutomaticCase& c = GetParam();
    m_info.iWidth = c.width;
    m_info.iHeight = c.height;
    qor::CVideoDecoderMarlin adapter(&m_info, &m_components);
    adapter.SetScreenSize(1280, 1024);
    adapter.SetDisplayArea(c.displayWidth, c.displayHeight);
    ASSERT_TRUE(adapter.Initialize());
    EXPECT_EQ(adapter.VideoQuality(), c.quality);
    EXPECT_EQ(adapter.AutomaticPostFilter(), c.autoPostFilter);
    ASSERT_FALSE(m_script.quality.empty());
    EXPECT_EQ(m_script.quality.front(), c.quality);
    EXPECT_EQ(m_script.postFilter.front(), c.autoPostFilter);
}

INSTANTIATE_TEST_SUITE_P(VideoDecoder, VideoDecoderAutomatic,
                         ::testing::Values(AutomaticCase{"LargePictureSmallWindow", 720, 576, 352, 288, 0, 0},
                                           AutomaticCase{"LargePictureFullWindow", 720, 576, 720, 576, 1, 0},
                                           AutomaticCase{"CifInCifWindow", 352, 288, 352, 288, 1, 1},
                                           AutomaticCase{"CifInSmallerWindow", 352, 288, 320, 240, 0, 0},
                                           AutomaticCase{"CifInHalfScreen", 352, 288, 640, 512, 1, 1},
                                           AutomaticCase{"QcifInSmallerWindow", 176, 144, 160, 120, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VideoDecoderMarlin, VideoDecoderRefusesPostFilterLevelThreeAndForcesLevelTwo) {
    m_info.iWidth = 720;
    m_info.iHeight = 576;
    qor::CVideoDecoderMarlin adapter(&m_info, &m_components);
    adapter.SetDisplayArea(352, 288);
    adapter.SetScreenSize(1280, 1024);
    EXPECT_FALSE(adapter.SetPostFilterLevel(1));  // no decoder yet
    ASSERT_TRUE(adapter.Initialize());
    EXPECT_FALSE(adapter.SetPostFilterLevel(3));
    EXPECT_FALSE(adapter.SetPostFilterLevel(-1));
    ASSERT_TRUE(adapter.SetPostFilterLevel(2));
    EXPECT_EQ(m_script.postFilter.back(), 2);
    EXPECT_EQ(m_script.quality.back(), 1);
    ASSERT_TRUE(adapter.SetPostFilterLevel(0));
    EXPECT_EQ(m_script.postFilter.back(), 0);
    EXPECT_EQ(m_script.quality.back(), 0);
}

TEST_F(VideoDecoderMarlin, VideoDecoderSettingsNeedADecoderAndForwardOnlyChanges) {
    m_info.iWidth = 352;
    m_info.iHeight = 288;
    qor::CVideoDecoderMarlin adapter(&m_info, &m_components);
    adapter.SetBrightness(70);  // no decoder: not stored
    ASSERT_TRUE(adapter.Initialize());
    ASSERT_EQ(m_script.brightness, std::vector<int>{50});
    adapter.SetBrightness(50);
    adapter.SetBrightness(60);
    adapter.SetBrightness(60);
    EXPECT_EQ(m_script.brightness, (std::vector<int>{50, 60}));
}

TEST_F(VideoDecoderMarlin, VideoDecoderPublishesDecoderFrameRateAndModel) {
    m_info.iWidth = 352;
    m_info.iHeight = 288;
    m_info.uFormatType = 0x00060008;
    qor::CVideoDecoderMarlin adapter(&m_info, &m_components);
    ASSERT_TRUE(adapter.Initialize());
    EXPECT_EQ(m_script.lastModel, QOR_MARLIN_MODEL_HERON);
    EXPECT_EQ(m_info.iFrameRate, 30);
    EXPECT_EQ(m_info.iFrameDuration, 33);
    m_info.uFormatType = 0x00090002;
    qor::CVideoDecoderMarlin wrongFamily(&m_info, &m_components);
    EXPECT_FALSE(wrongFamily.Initialize());
}

// The index thread reads the frame duration while the video thread
// publishes the decoder's rate; a thread checker sees any unguarded access.
TEST_F(VideoDecoderMarlin, FrameDurationCanBeReadWhileTheDecoderPublishesIt) {
    m_info.iWidth = 352;
    m_info.iHeight = 288;
    qor::CVideoDecoderMarlin adapter(&m_info, &m_components);
    std::atomic<bool> done{false};
    std::atomic<int> odd{0};
    std::thread indexThread([&] {
        while (!done) {
            const int duration = m_info.iFrameDuration;
            if (duration != 40 && duration != 33) ++odd;
        }
    });
    for (int i = 0; i < 200; ++i) {
        if (!adapter.Initialize()) ++odd;
    }
    done = true;
    indexThread.join();
    EXPECT_EQ(odd.load(), 0);
    EXPECT_EQ(m_info.iFrameDuration, 33);
}

TEST_F(VideoDecoderMarlin, VideoDecoderRecreatesDecoderOnNewFileHeader) {
    m_info.iWidth = 352;
    m_info.iHeight = 288;
    qor::CVideoDecoderMarlin adapter(&m_info, &m_components);
    ASSERT_TRUE(adapter.Initialize());
    const uint8_t data[8] = {0, 0, 1, 0xB6};
    DecodeFrame frame;
    frame.pData = data;
    frame.uLength = sizeof(data);
    ASSERT_TRUE(adapter.DecodeVideoVOP(&frame));
    m_info.iWidth = m_info.iCurWidth = 176;
    m_info.iHeight = m_info.iCurHeight = 144;
    DecodeFrame afterHeader = frame;
    afterHeader.bNewFileHeader = true;
    afterHeader.times.uTime = 777;
    ASSERT_TRUE(adapter.DecodeVideoVOP(&afterHeader));
    EXPECT_EQ(m_script.createCount, 2);
    EXPECT_EQ(m_script.releaseCount, 1);
    EXPECT_EQ(afterHeader.uPictureSize, 176u * 144 * 3 / 2);
    EXPECT_EQ(afterHeader.times.uTime, 777u);
    EXPECT_EQ(afterHeader.iPictureAvailable, 0);
}

struct FaultCase {
    const char* name;
    MarlinScript::Fault fault;
};

class VideoDecoderBadComponentResult : public VideoDecoderMarlin, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(VideoDecoderBadComponentResult, IsRefusedWithReport) {
    m_info.iWidth = 352;
    m_info.iHeight = 288;
    qor::CVideoDecoderMarlin adapter(&m_info, &m_components);
    ASSERT_TRUE(adapter.Initialize());
    m_script.fault = GetParam().fault;
    DebugCapture lines;
    const uint8_t data[8] = {0, 0, 1, 0xB6};
    DecodeFrame frame;
    frame.pData = data;
    frame.uLength = sizeof(data);
    EXPECT_FALSE(adapter.DecodeVideoVOP(&frame));
    EXPECT_EQ(frame.picture.pY, nullptr);
    EXPECT_EQ(frame.uPictureSize, 0u);
    EXPECT_TRUE(lines.Has("[QOR]DecodeVideoVOP's OrcaMarlinDecoder_DecoderOneFrame() report ZRV.\n"));
    // The adapter stays usable.
    m_script.fault = MarlinScript::Fault::None;
    EXPECT_TRUE(adapter.DecodeVideoVOP(&frame));
}

INSTANTIATE_TEST_SUITE_P(VideoDecoder, VideoDecoderBadComponentResult,
                         ::testing::Values(FaultCase{"NullPlane", MarlinScript::Fault::NullPlane},
                                           FaultCase{"NarrowStride", MarlinScript::Fault::NarrowStride},
                                           FaultCase{"SmallPicture", MarlinScript::Fault::SmallPicture},
                                           FaultCase{"Exception", MarlinScript::Fault::Throw}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Osprey ----

struct OspreyScript {
    int32_t used = -1;  // bytes reported used; -1: all
    int width = 704, height = 576;
    std::vector<uint8_t> picture;
    int calls = 0;
};
OspreyScript* osprey = nullptr;
int ospreyToken = 0;

int32_t FakeGlobal(void*, int32_t, void*, void*) { return 0; }
int32_t FakeDecore(void*, int32_t op, void* p1, void* p2) {
    if (op == QOR_OSPREY_DEC_CREATE) {
        static_cast<OspreyCreateRecord*>(p1)->hHandle = &ospreyToken;
        return 0;
    }
    if (op != QOR_OSPREY_DEC_DECODE) return 0;
    ++osprey->calls;
    auto* frame = static_cast<OspreyFrameRecord*>(p1);
    auto* stats = static_cast<OspreyStatistics*>(p2);
    const int w = osprey->width, h = osprey->height, stride = w + 128;
    osprey->picture.assign(static_cast<size_t>(stride) * h * 3 / 2, 90);
    frame->pPlanes[0] = osprey->picture.data();
    frame->pPlanes[1] = frame->pPlanes[0] + stride * h;
    frame->pPlanes[2] = frame->pPlanes[1] + stride * h / 4;
    frame->iStrides[0] = stride;
    frame->iStrides[1] = frame->iStrides[2] = stride / 2;
    stats->iType = 1;
    stats->iWidth = w;
    stats->iHeight = h;
    return osprey->used < 0 ? frame->iLength : osprey->used;
}

struct OspreyModeCase {
    const char* name;
    int width, height;
    int displayWidth, displayHeight;
    int mode;
    int outHeight;
    int strideY;
};

class VideoDecoderOspreyMode : public ::testing::TestWithParam<OspreyModeCase> {};

TEST_P(VideoDecoderOspreyMode, FollowsDisplaySize) {
    const OspreyModeCase& c = GetParam();
    OspreyScript state;
    state.width = c.width;
    state.height = c.height;
    osprey = &state;
    qor::DecoderComponents components;
    components.osprey.Global = FakeGlobal;
    components.osprey.Decore = FakeDecore;
    qor::PlayerFileInfo info;
    info.uFormatType = 0x00090002;
    info.iWidth = c.width;
    info.iHeight = c.height;
    uint8_t header[1024] = {};
    header[18] = 15;
    info.pMpegFileHeader = header;
    info.iMpegFileHeaderLength = 1024;
    qor::CVideoDecoderOsprey adapter(&info, &components);
    adapter.SetScreenSize(1280, 1024);
    adapter.SetDisplayArea(c.displayWidth, c.displayHeight);
    ASSERT_TRUE(adapter.Initialize());
    EXPECT_EQ(adapter.OutputMode(), c.mode);
    EXPECT_EQ(info.iFrameRate, 15);
    EXPECT_EQ(info.iFrameDuration, 66);
    const uint8_t data[16] = {0, 0, 1, 0xB6};
    DecodeFrame frame;
    frame.pData = data;
    frame.uLength = sizeof(data);
    ASSERT_TRUE(adapter.DecodeVideoVOP(&frame));
    EXPECT_EQ(frame.iDisplayHeight, c.outHeight);
    EXPECT_EQ(frame.picture.iStrideY, c.strideY);
    EXPECT_EQ(frame.picture.iStrideU, c.strideY / 2);
    EXPECT_EQ(frame.uPictureSize, static_cast<uint32_t>(c.width * c.outHeight * 3 / 2));
    osprey = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    VideoDecoder, VideoDecoderOspreyMode,
    ::testing::Values(OspreyModeCase{"SmallPictureAsDecoded", 352, 288, 100, 100, 0, 288, 352 + 128},
                      OspreyModeCase{"NearlyFullWindowDeinterlaced", 704, 576, 600, 480, 2, 576, 704},
                      OspreyModeCase{"SmallWindowEveryOtherLine", 704, 576, 300, 200, 1, 288, 2 * 704 + 256},
                      OspreyModeCase{"HalfScreenDeinterlaced", 720, 576, 640, 512, 2, 576, 720},
                      OspreyModeCase{"UnknownWindowDeinterlaced", 720, 576, 0, 0, 2, 576, 720}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VideoDecoder, OspreyRefusesByteCountBeyondTheData) {
    OspreyScript state;
    state.width = 352;
    state.height = 288;
    state.used = 1000;
    osprey = &state;
    qor::DecoderComponents components;
    components.osprey.Global = FakeGlobal;
    components.osprey.Decore = FakeDecore;
    qor::PlayerFileInfo info;
    info.iWidth = 352;
    info.iHeight = 288;
    qor::CVideoDecoderOsprey adapter(&info, &components);
    ASSERT_TRUE(adapter.Initialize());
    const uint8_t data[16] = {0, 0, 1, 0xB6};
    DecodeFrame frame;
    frame.pData = data;
    frame.uLength = sizeof(data);
    EXPECT_FALSE(adapter.DecodeVideoVOP(&frame));
    EXPECT_EQ(frame.picture.pY, nullptr);
    osprey = nullptr;
}

// Without a decoder card every adapter answers the card path the same way,
// whatever it is asked, and changes nothing.
TEST(VideoDecoder, HardwareCardPathGivesFixedAnswers) {
    constexpr int kNothing = -1;
    const uint8_t audio[4] = {1, 2, 3, 4};
    struct Case {
        const char* name;
        std::function<int(qor::CVideoDecoder&, bool)> call;
        int expected;
    } cases[] = {
        {"EnableVideoPCOutput", [](qor::CVideoDecoder& d, bool on) { return int(d.EnableVideoPCOutput(on)); }, 1},
        {"EnableAudioPCOutput", [](qor::CVideoDecoder& d, bool on) { return int(d.EnableAudioPCOutput(on)); }, 0},
        {"EnableVideoTVAnalogOutput",
         [](qor::CVideoDecoder& d, bool on) { return int(d.EnableVideoTVAnalogOutput(on)); }, 0},
        {"IsVideoPCOutputOn", [](qor::CVideoDecoder& d, bool) { return int(d.IsVideoPCOutputOn()); }, 1},
        {"EnableAudioTVAnalogOutput",
         [](qor::CVideoDecoder& d, bool on) { return int(d.EnableAudioTVAnalogOutput(on)); }, 0},
        {"IsAudioTVAnalogOutputOn", [](qor::CVideoDecoder& d, bool) { return int(d.IsAudioTVAnalogOutputOn()); }, 0},
        {"DspTest", [](qor::CVideoDecoder& d, bool on) { return int(d.DspTest(on ? 1 : 0)); }, 0},
        {"ResetHardwareAudio", [](qor::CVideoDecoder& d, bool) { d.ResetHardwareAudio(); return kNothing; }, kNothing},
        {"SetHardwareAudioVolume",
         [](qor::CVideoDecoder& d, bool on) {
             d.SetHardwareAudioVolume(on ? 100 : 0);
             return kNothing;
         },
         kNothing},
        {"WriteHardwareAudio",
         [&audio](qor::CVideoDecoder& d, bool) { return int(d.WriteHardwareAudio(audio, 4)); }, 0},
        {"IsSoftwareDecoder", [](qor::CVideoDecoder& d, bool) { return int(d.IsSoftwareDecoder()); }, 1},
        {"OnDisplayChanged", [](qor::CVideoDecoder& d, bool) { d.OnDisplayChanged(); return kNothing; }, kNothing},
    };
    qor::DecoderComponents components;
    qor::PlayerFileInfo info;
    info.iWidth = 352;
    info.iHeight = 288;
    qor::CVideoDecoderMarlin marlin(&info, &components);
    qor::CVideoDecoderOsprey osprey(&info, &components);
    qor::CVideoDecoderYUV yuv(&info, &components);
    const std::pair<const char*, qor::CVideoDecoder*> adapters[] = {
        {"Marlin", &marlin}, {"Osprey", &osprey}, {"YUV", &yuv}};
    for (const auto& [adapterName, adapter] : adapters) {
        for (const Case& c : cases) {
            for (bool on : {true, false, true}) {
                EXPECT_EQ(c.call(*adapter, on), c.expected) << adapterName << " " << c.name << " " << on;
            }
        }
        EXPECT_FALSE(adapter->IsHardwareDecoder()) << adapterName;
    }
}

TEST(VideoDecoder, YuvPostFilterLevelRules) {
    const qor::DecoderComponents* components = qor::LoadDecoderComponents();
    ASSERT_NE(components, nullptr);
    qor::PlayerFileInfo info;
    info.iWidth = 352;
    info.iHeight = 288;
    qor::CVideoDecoderYUV adapter(&info, components);
    EXPECT_FALSE(adapter.SetPostFilterLevel(1));
    ASSERT_TRUE(adapter.Initialize());
    EXPECT_EQ(info.iFrameRate, 25);
    EXPECT_EQ(info.iFrameDuration, 40);
    EXPECT_FALSE(adapter.SetPostFilterLevel(3));
    EXPECT_TRUE(adapter.SetPostFilterLevel(2));
    EXPECT_EQ(adapter.EffectivePostFilter(), 2);
    EXPECT_TRUE(adapter.SetPostFilterLevel(0));
    EXPECT_EQ(adapter.EffectivePostFilter(), 0);
}

}  // namespace
