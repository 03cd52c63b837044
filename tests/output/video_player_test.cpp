#include "player/output/video_player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "platform/display_memory.h"
#include "tests/output/output_fixture.h"

namespace qor {
namespace {

using test::DebugCapture;
using test::FrameOf;
using test::PlanarPicture;

constexpr NativeWindow kWindow = 0x4200001;

VideoPlayerSettings Settings(int width = 64, int height = 32, int format = kFormatRGB32) {
    VideoPlayerSettings s;
    s.uPlayerId = 3;
    s.iWidth = width;
    s.iHeight = height;
    s.iSurfaceFormat = format;
    s.hWnd = kWindow;
    return s;
}

std::vector<uint8_t> ExpectedRgb32(PlanarPicture& p) {
    std::vector<uint8_t> out(static_cast<size_t>(p.width) * p.height * 4);
    ColorConverter converter;
    PackedDestination d{out.data(), p.width, p.height, p.width * 4, kFormatRGB32};
    EXPECT_TRUE(converter.PlannarToPacked(p.Source(), d, 1, 1));
    return out;
}

TEST(VideoPlayer, FormatTableHasRowsForCodesZeroToSix) {
    struct Row {
        int code;
        uint32_t fourcc;
        int bits;
        uint32_t red;
    };
    const Row rows[] = {{0, MakeFourcc('Y', 'V', '1', '2'), 12, 0}, {1, MakeFourcc('U', 'Y', 'V', 'Y'), 16, 0},
                        {2, MakeFourcc('Y', 'U', 'Y', '2'), 16, 0}, {3, 0, 32, 0xFF0000},
                        {4, 0, 24, 0xFF0000},                       {5, 0, 16, 0xF800},
                        {6, 0, 16, 0x7C00}};
    for (const Row& r : rows) {
        SurfaceFormat f;
        ASSERT_TRUE(SurfaceFormatForCode(r.code, &f)) << r.code;
        EXPECT_EQ(f.fourcc, r.fourcc);
        EXPECT_EQ(f.bitsPerPixel, r.bits);
        EXPECT_EQ(f.redMask, r.red);
    }
    SurfaceFormat f;
    EXPECT_FALSE(SurfaceFormatForCode(7, &f));
    EXPECT_FALSE(SurfaceFormatForCode(-1, &f));
}

TEST(VideoPlayer, FormatCodeSevenCreatesNoSurface) {
    DebugCapture capture;
    MemoryDisplayService display;
    CVideoPlayer player(&display, Settings(64, 32, 7));
    EXPECT_FALSE(player.Create());
    EXPECT_TRUE(capture.Has("[QOR]No supportted offscreen surface mode error.\n"));
    EXPECT_TRUE(capture.Has("[QOR]call CreateOffscreenSurface(.) error.\n"));
    EXPECT_TRUE(capture.Has("[QOR]No supportted overlay surface modules error.\n"));
    EXPECT_EQ(display.Fake().liveSurfaces, 0);
    EXPECT_EQ(display.Fake().liveDevices, 0);
}

TEST(VideoPlayer, ScreenWhoseSurfaceFailsIsSkipped) {
    DebugCapture capture;
    MemoryDisplayService display({{0, 0, 800, 600}, {800, 0, 1600, 600}});
    display.Fake().failSurfaces[{1, SurfaceKind::Offscreen}] = DisplayResult::OutOfCaps;
    display.AddWindow(kWindow, {700, 100, 764, 132});
    CVideoPlayer player(&display, Settings());
    ASSERT_TRUE(player.Create());
    EXPECT_EQ(player.GetMode(), CVideoPlayer::kOffscreen);
    EXPECT_TRUE(capture.Has("[QOR]m_lpDDraw7[1]->CreateSurface() error.\n"));
    EXPECT_TRUE(capture.Has("[QOR]DDraw error msg: DDERR_OUTOFCAPS.\n"));
    ASSERT_TRUE(player.SetVideoWindow(kWindow, nullptr, false));
    PlanarPicture picture(64, 32);
    picture.Randomise(1);
    ASSERT_TRUE(player.Present(FrameOf(picture)));
    ASSERT_EQ(display.Draws().size(), 1u);  // only the screen with a surface draws
    EXPECT_EQ(display.Draws()[0].screen, 0);
}

TEST(VideoPlayer, FallsBackToOverlayWhenNoScreenTakesAnOffscreenSurface) {
    DebugCapture capture;
    MemoryDisplayService display;
    display.Fake().failSurfaces[{0, SurfaceKind::Offscreen}] = DisplayResult::Unsupported;
    CVideoPlayer player(&display, Settings(64, 32, kFormatUYVY));
    ASSERT_TRUE(player.Create());
    EXPECT_EQ(player.GetMode(), CVideoPlayer::kOverlay);
    EXPECT_TRUE(capture.Has("[QOR][QOR]m_lpDDraw7[all]->CreateSurface() error..\n"));
    EXPECT_TRUE(capture.Has("[QOR]call CreateOffscreenSurface(.) error.\n"));
    EXPECT_EQ(display.Fake().colorKeys[0], 0xFF00FFu);
}

TEST(VideoPlayer, FailingDeviceEndsConstruction) {
    DebugCapture capture;
    MemoryDisplayService display({{0, 0, 800, 600}, {800, 0, 1600, 600}});
    display.Fake().failDevices.insert(1);
    CVideoPlayer player(&display, Settings());
    EXPECT_FALSE(player.Create());
    EXPECT_TRUE(capture.Has("[QOR]call DirectDrawCreateEx(.) error.\n"));
    EXPECT_TRUE(capture.Has("[QOR]call InitDDraw(.) in CreateVideoPlayer(.) error!\n"));
    EXPECT_EQ(display.Fake().liveDevices, 0);
}

TEST(VideoPlayer, PresentDrawsConvertedPictureIntoTheWindow) {
    MemoryDisplayService display;
    display.AddWindow(kWindow, {100, 50, 228, 114});
    CVideoPlayer player(&display, Settings());
    ASSERT_TRUE(player.Create());
    ASSERT_TRUE(player.SetVideoWindow(kWindow, nullptr, false));
    PlanarPicture picture(64, 32, 8);
    picture.Randomise(2);
    ASSERT_TRUE(player.Present(FrameOf(picture)));
    ASSERT_EQ(display.Draws().size(), 1u);
    const auto& draw = display.Draws()[0];
    EXPECT_FALSE(draw.overlay);
    EXPECT_EQ(draw.destination, (DisplayRect{100, 50, 228, 114}));
    EXPECT_EQ(draw.source, (DisplayRect{0, 0, 64, 32}));
    const auto expected = ExpectedRgb32(picture);
    for (int row = 0; row < 32; ++row)
        ASSERT_TRUE(std::equal(expected.begin() + row * 256, expected.begin() + row * 256 + 256,
                               draw.pixels.begin() + row * draw.pitch))
            << row;
}

TEST(VideoPlayer, WindowAcrossTwoScreensIsSplitBetweenThem) {
    MemoryDisplayService display({{0, 0, 800, 600}, {800, 0, 1600, 600}});
    display.AddWindow(kWindow, {768, 0, 832, 32});
    CVideoPlayer player(&display, Settings());
    ASSERT_TRUE(player.Create());
    ASSERT_TRUE(player.SetVideoWindow(kWindow, nullptr, false));
    PlanarPicture picture(64, 32);
    ASSERT_TRUE(player.Present(FrameOf(picture)));
    ASSERT_EQ(display.Draws().size(), 2u);
    EXPECT_EQ(display.Draws()[0].destination, (DisplayRect{768, 0, 800, 32}));
    EXPECT_EQ(display.Draws()[0].source, (DisplayRect{0, 0, 32, 32}));
    EXPECT_EQ(display.Draws()[1].destination, (DisplayRect{800, 0, 832, 32}));
    EXPECT_EQ(display.Draws()[1].source, (DisplayRect{32, 0, 64, 32}));
}

TEST(VideoPlayer, NothingIsDrawnWhenHiddenSwitchedOffOrWithoutWindow) {
    PlanarPicture picture(64, 32);
    {
        MemoryDisplayService display;
        display.AddWindow(kWindow, {0, 0, 64, 32}, false);
        CVideoPlayer player(&display, Settings());
        ASSERT_TRUE(player.Create());
        player.SetVideoWindow(kWindow, nullptr, false);
        EXPECT_TRUE(player.Present(FrameOf(picture)));
        EXPECT_TRUE(display.Draws().empty());
    }
    {
        MemoryDisplayService display;
        display.AddWindow(kWindow, {0, 0, 64, 32});
        CVideoPlayer player(&display, Settings());
        ASSERT_TRUE(player.Create());
        player.SetVideoWindow(kWindow, nullptr, false);
        player.EnableOutput(false);
        EXPECT_TRUE(player.Present(FrameOf(picture)));
        EXPECT_TRUE(display.Draws().empty());
    }
    {
        MemoryDisplayService display;
        VideoPlayerSettings settings = Settings();
        settings.hWnd = 0;
        CVideoPlayer player(&display, settings);
        ASSERT_TRUE(player.Create());
        EXPECT_TRUE(player.Present(FrameOf(picture)));
        EXPECT_TRUE(display.Draws().empty());
        EXPECT_TRUE(player.HasCurrentPicture());  // kept for snapshots all the same
    }
}

struct CallbackLog {
    static inline int videoCalls = 0, decCalls = 0;
    static inline VideoDecodeFrameInfo lastVideo{};
    static inline uint32_t lastPlayer = 0, lastLength = 0;
    static inline const uint8_t* lastData = nullptr;
    static inline DecodedPictureInfo lastInfo{};
    static inline std::vector<uint8_t> lastBlock;
    static void Reset() {
        videoCalls = decCalls = 0;
        lastData = nullptr;
        lastLength = 0;
        lastBlock.clear();
    }
};

void OnVideo(uint32_t player, const VideoDecodeFrameInfo* info) {
    ++CallbackLog::videoCalls;
    CallbackLog::lastPlayer = player;
    CallbackLog::lastVideo = *info;
}

void OnDec(uint32_t, const uint8_t* data, uint32_t length, const DecodedPictureInfo* info,
           const DecoderPictureDescriptor*) {
    ++CallbackLog::decCalls;
    CallbackLog::lastData = data;
    CallbackLog::lastLength = length;
    CallbackLog::lastInfo = *info;
    if (data) CallbackLog::lastBlock.assign(data, data + length);
}

void Throwing(uint32_t, const VideoDecodeFrameInfo*) { throw std::runtime_error("callback fault"); }

TEST(VideoPlayer, VideoDecodeCallbackWinsAndNothingIsDrawn) {
    CallbackLog::Reset();
    MemoryDisplayService display;
    display.AddWindow(kWindow, {0, 0, 64, 32});
    CVideoPlayer player(&display, Settings());
    ASSERT_TRUE(player.Create());
    player.SetVideoWindow(kWindow, nullptr, false);
    player.SetVideoDecodeCallBack(OnVideo, 77);
    player.SetDecCallBack(OnDec, 88, nullptr);
    PlanarPicture picture(64, 32);
    ASSERT_TRUE(player.Present(FrameOf(picture, 1234)));
    EXPECT_EQ(CallbackLog::videoCalls, 1);
    EXPECT_EQ(CallbackLog::decCalls, 0);
    EXPECT_EQ(CallbackLog::lastPlayer, 3u);
    EXPECT_EQ(CallbackLog::lastVideo.uTimeStamp, 1234u);
    EXPECT_EQ(CallbackLog::lastVideo.uUserValue, 88u);  // the later registration's value
    EXPECT_EQ(CallbackLog::lastVideo.pY, picture.y.data());
    EXPECT_TRUE(display.Draws().empty());
}

TEST(VideoPlayer, DecCallbackGetsOneI420BlockOnlyWithTheBlockBuffer) {
    CallbackLog::Reset();
    MemoryDisplayService display;
    CVideoPlayer player(&display, Settings());
    ASSERT_TRUE(player.Create());
    PlanarPicture picture(64, 32, 6);
    picture.Randomise(4);
    player.SetDecCallBack(OnDec, 1, nullptr);
    ASSERT_TRUE(player.Present(FrameOf(picture, 40)));
    EXPECT_EQ(CallbackLog::decCalls, 1);
    EXPECT_EQ(CallbackLog::lastData, nullptr);
    EXPECT_EQ(CallbackLog::lastInfo.iWidth, 64);
    EXPECT_EQ(CallbackLog::lastInfo.iFormat, 4);
    EXPECT_EQ(CallbackLog::lastInfo.uTimeStamp, 40u);

    std::vector<uint8_t> block(CVideoPlayer::kBlockBufferSize);
    player.SetDecCallBack(OnDec, 1, block.data());
    ASSERT_TRUE(player.Present(FrameOf(picture, 80)));
    ASSERT_EQ(CallbackLog::lastLength, 64u * 32 * 3 / 2);
    const auto& b = CallbackLog::lastBlock;
    EXPECT_EQ(b[64 * 5 + 7], picture.Y(7, 5));
    EXPECT_EQ(b[64 * 32 + 32 * 3 + 9], picture.U(9, 3));
    EXPECT_EQ(b[64 * 32 * 5 / 4 + 32 * 15 + 31], picture.V(31, 15));
}

TEST(VideoPlayer, FaultInCallbackIsReported) {
    DebugCapture capture;
    MemoryDisplayService display;
    CVideoPlayer player(&display, Settings());
    ASSERT_TRUE(player.Create());
    player.SetVideoDecodeCallBack(Throwing, 0);
    PlanarPicture picture(64, 32);
    EXPECT_TRUE(player.Present(FrameOf(picture)));
    EXPECT_TRUE(capture.Has("[QOR]m_fpNewVideoDisplayCallBack() report ZRV.\n"));
}

TEST(VideoPlayer, ZoomBeyondThePictureIsRefusedAndKeepsTheSourceRectangle) {
    DebugCapture capture;
    MemoryDisplayService display;
    CVideoPlayer player(&display, Settings());
    ASSERT_TRUE(player.Create());
    ASSERT_TRUE(player.ZoomInSrcRect({8, 4, 40, 20}));
    EXPECT_EQ(player.GetSourceRect(), (DisplayRect{8, 4, 40, 20}));
    EXPECT_FALSE(player.ZoomInSrcRect({0, 0, 65, 32}));
    EXPECT_FALSE(player.ZoomInSrcRect({-1, 0, 64, 32}));
    EXPECT_EQ(player.GetSourceRect(), (DisplayRect{8, 4, 40, 20}));
    EXPECT_TRUE(capture.Has("[QOR]CVideoPlayer::ZoomInSrcRect() pRect parameter error!\n"));
    EXPECT_TRUE(capture.Has("[QOR]pRect->left=0, pRect->right=65, pRect->top=0, pRect->bottom=32.\n"));
}

TEST(VideoPlayer, OverlayRectangleFollowsStretchAndAlignment) {
    struct Case {
        int stretch, align;
        DisplayRect given, fitted;
    };
    const Case cases[] = {
        {0, 0, {10, 20, 110, 95}, {10, 20, 110, 95}},          // below 1001 counts as 1000
        {1500, 0, {11, 21, 111, 96}, {17, 31, 167, 143}},      // ceil, floor, ceil of 150, floor of 112.5
        {1000, 8, {10, 20, 111, 95}, {10, 20, 112, 95}},       // right up to a multiple of 8
    };
    for (const Case& t : cases) {
        MemoryDisplayService display;
        display.Fake().caps = DisplayCaps{true, t.stretch, t.align > 0, t.align};
        CVideoPlayer player(&display, Settings(64, 32, kFormatUYVY));
        ASSERT_TRUE(player.Create());
        ASSERT_TRUE(player.SetDisplayMode(CVideoPlayer::kOverlay));
        ASSERT_TRUE(player.SetVideoWindow(0, &t.given, false));
        EXPECT_EQ(player.GetDestinationRect(), t.fitted) << t.stretch << "/" << t.align;
    }
}

TEST(VideoPlayer, OverlayShowsThePictureWithTheScreensMagentaKey) {
    for (int bits : {32, 16}) {
        MemoryDisplayService display;
        display.Fake().primaryBits = bits;
        CVideoPlayer player(&display, Settings(64, 32, kFormatUYVY));
        ASSERT_TRUE(player.Create());
        ASSERT_TRUE(player.SetDisplayMode(CVideoPlayer::kOverlay));
        const DisplayRect rect{0, 0, 128, 64};
        ASSERT_TRUE(player.SetVideoWindow(0, &rect, false));
        PlanarPicture picture(64, 32);
        picture.Fill(128, 128, 128);
        ASSERT_TRUE(player.Present(FrameOf(picture)));
        ASSERT_EQ(display.Draws().size(), 1u);
        EXPECT_TRUE(display.Draws()[0].overlay);
        EXPECT_EQ(display.Draws()[0].colorKey, bits == 32 ? 0xFF00FFu : 0xF81Fu);
        EXPECT_EQ(display.Draws()[0].pixels[1], 128);  // UYVY grey
    }
}

TEST(VideoPlayer, DisplayModeSwitching) {
    DebugCapture capture;
    MemoryDisplayService display;
    CVideoPlayer player(&display, Settings(64, 32, kFormatUYVY));
    ASSERT_TRUE(player.Create());
    EXPECT_TRUE(player.SetDisplayMode(CVideoPlayer::kOffscreen));  // same mode
    EXPECT_FALSE(player.SetDisplayMode(2));
    EXPECT_EQ(player.GetMode(), CVideoPlayer::kOffscreen);
    ASSERT_TRUE(player.SetDisplayMode(CVideoPlayer::kOverlay));
    EXPECT_EQ(player.GetMode(), CVideoPlayer::kOverlay);
    display.Fake().failSurfaces[{0, SurfaceKind::Offscreen}] = DisplayResult::Generic;
    EXPECT_FALSE(player.SetDisplayMode(CVideoPlayer::kOffscreen));
    EXPECT_TRUE(capture.Has("[QOR]call CreateOffscreenSurface(.) error.\n"));
}

TEST(VideoPlayer, LostSurfacesAreRestoredAndDrawingGoesOn) {
    DebugCapture capture;
    MemoryDisplayService display;
    display.AddWindow(kWindow, {0, 0, 64, 32});
    CVideoPlayer player(&display, Settings());
    ASSERT_TRUE(player.Create());
    player.SetVideoWindow(kWindow, nullptr, false);
    PlanarPicture picture(64, 32);
    display.LoseSurfaces();
    player.Present(FrameOf(picture));
    EXPECT_TRUE(capture.Has("[QOR]ddrawSurface lost now.\n"));
    EXPECT_EQ(display.Fake().devicesCreated, 2);
    ASSERT_TRUE(player.Present(FrameOf(picture)));
    EXPECT_EQ(display.Draws().size(), 1u);

    display.Fake().failBlit = DisplayResult::Generic;
    EXPECT_FALSE(player.Present(FrameOf(picture)));
    EXPECT_TRUE(capture.Has("[QOR]call m_lpDDS7Primary->Blt(.) error, try restore surface.\n"));
    EXPECT_EQ(display.Fake().devicesCreated, 3);
}

TEST(VideoPlayer, RestoreFailsWhenScreensCannotBeEnumerated) {
    DebugCapture capture;
    MemoryDisplayService display;
    CVideoPlayer player(&display, Settings());
    ASSERT_TRUE(player.Create());
    display.Fake().failEnumeration = true;
    EXPECT_FALSE(player.RestoreAllSurface());
    EXPECT_TRUE(capture.Has("[QOR]RestoreAllSurface() call EnumerateScreens() error.\n"));
}

TEST(VideoPlayer, PlanarSurfaceReceivesYv12Planes) {
    MemoryDisplayService display;
    display.AddWindow(kWindow, {0, 0, 64, 32});
    CVideoPlayer player(&display, Settings(64, 32, kFormatPlanar));
    ASSERT_TRUE(player.Create());
    player.SetVideoWindow(kWindow, nullptr, false);
    PlanarPicture picture(64, 32);
    picture.Randomise(6);
    ASSERT_TRUE(player.Present(FrameOf(picture)));
    ASSERT_EQ(display.Draws().size(), 1u);
    const auto& d = display.Draws()[0];
    const size_t plane = static_cast<size_t>(d.pitch) * 32;
    EXPECT_EQ(d.pixels[d.pitch * 3 + 5], picture.Y(5, 3));
    EXPECT_EQ(d.pixels[plane + d.pitch / 2 * 7 + 11], picture.V(11, 7));
    EXPECT_EQ(d.pixels[plane * 5 / 4 + d.pitch / 2 * 7 + 11], picture.U(11, 7));
}

TEST(VideoPlayer, Rgb24SurfaceShowsThePictureUpright) {
    MemoryDisplayService display;
    display.AddWindow(kWindow, {0, 0, 64, 32});
    CVideoPlayer player(&display, Settings(64, 32, kFormatRGB24));
    ASSERT_TRUE(player.Create());
    player.SetVideoWindow(kWindow, nullptr, false);
    PlanarPicture picture(64, 32);
    picture.Randomise(8);
    ASSERT_TRUE(player.Present(FrameOf(picture)));
    const auto rgb32 = ExpectedRgb32(picture);
    const auto& d = display.Draws()[0];
    for (int row : {0, 13, 31})
        for (int x = 0; x < 64; ++x)
            for (int k = 0; k < 3; ++k) ASSERT_EQ(d.pixels[row * d.pitch + 3 * x + k], rgb32[row * 256 + 4 * x + k]);
}

TEST(VideoPlayer, AdjustmentsReachTheConversion) {
    MemoryDisplayService display;
    display.AddWindow(kWindow, {0, 0, 64, 32});
    CVideoPlayer player(&display, Settings());
    ASSERT_TRUE(player.Create());
    player.SetVideoWindow(kWindow, nullptr, false);
    PlanarPicture picture(64, 32);
    picture.Fill(128, 128, 128);
    player.SetBrightness(0);
    ASSERT_TRUE(player.Present(FrameOf(picture)));
    ColorConverter dark;
    dark.SetAdjustments(0, 50, 50);
    std::vector<uint8_t> expected(64 * 32 * 4);
    dark.PlannarToPacked(picture.Source(), PackedDestination{expected.data(), 64, 32, 256, kFormatRGB32}, 1, 1);
    EXPECT_EQ(display.Draws()[0].pixels[0], expected[0]);
    EXPECT_LT(display.Draws()[0].pixels[0], 130);
}

}  // namespace
}  // namespace qor

namespace qor {
namespace {

TEST(VideoPlayer, WithoutADisplayCallbacksStillGetThePictures) {
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    test::DebugCapture capture;
    auto display = CreateDisplayService();
    EXPECT_TRUE(capture.Has("[QOR]no display, pictures go to callbacks only.\n"));
    CVideoPlayer player(display.get(), Settings());
    ASSERT_TRUE(player.Create());
    CallbackLog::Reset();
    player.SetVideoDecodeCallBack(OnVideo, 0);
    PlanarPicture picture(64, 32);
    ASSERT_TRUE(player.Present(FrameOf(picture)));
    EXPECT_EQ(CallbackLog::videoCalls, 1);
    std::vector<uint8_t> bitmap(player.BitmapFileSize());
    EXPECT_TRUE(player.CaptureBitmap(nullptr, bitmap.data()));
}

}  // namespace
}  // namespace qor
