// Pictures drawn through the SDL2 display layer into a real X11 window
// (Xvfb in CI) and read back from the X server.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/display_sdl.h"
#include "player/output/video_player.h"
#include "tests/output/output_fixture.h"

namespace qor {
namespace {

using test::FrameOf;
using test::PlanarPicture;

class XWindow {
public:
    XWindow(int x, int y, int width, int height) {
        m_display = XOpenDisplay(nullptr);
        if (!m_display) return;
        const int screen = DefaultScreen(m_display);
        m_window = XCreateSimpleWindow(m_display, RootWindow(m_display, screen), x, y, static_cast<unsigned>(width),
                                       static_cast<unsigned>(height), 0, BlackPixel(m_display, screen),
                                       BlackPixel(m_display, screen));
        XSelectInput(m_display, m_window, ExposureMask | StructureNotifyMask);
        XMapWindow(m_display, m_window);
        // Wait until the server shows the window.
        for (XEvent event;;) {
            XNextEvent(m_display, &event);
            if (event.type == MapNotify) break;
        }
        XSync(m_display, False);
    }
    ~XWindow() {
        if (!m_display) return;
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }
    bool Ok() const { return m_display != nullptr; }
    NativeWindow Id() const { return m_window; }

    // Red, green, blue of one pixel as the server holds it.
    std::array<int, 3> Pixel(int x, int y) {
        XSync(m_display, False);
        XImage* image = XGetImage(m_display, m_window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) return {-1, -1, -1};
        const unsigned long p = XGetPixel(image, 0, 0);
        auto channel = [p](unsigned long mask) {
            int shift = 0;
            while (mask && !(mask & 1)) {
                mask >>= 1;
                ++shift;
            }
            return static_cast<int>(((p >> shift) & mask) * 255 / (mask ? mask : 1));
        };
        std::array<int, 3> rgb{channel(image->red_mask), channel(image->green_mask), channel(image->blue_mask)};
        XDestroyImage(image);
        return rgb;
    }

private:
    Display* m_display = nullptr;
    Window m_window = 0;
};

void ExpectNear(std::array<int, 3> actual, std::array<int, 3> expected, int tolerance, const char* what) {
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(actual[k], expected[k], tolerance) << what << " channel " << k;
}

class DisplaySdl : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X server (DISPLAY unset)";
    }
};

TEST_F(DisplaySdl, PictureAppearsInTheX11Window) {
    XWindow window(40, 30, 160, 120);
    ASSERT_TRUE(window.Ok());
    SdlDisplayService display;
    ASSERT_TRUE(display.IsAvailable());
    for (int format : {kFormatRGB32, kFormatUYVY, kFormatPlanar}) {
        CVideoPlayer player(&display, VideoPlayerSettings{0, 160, 120, 25, format, window.Id()});
        ASSERT_TRUE(player.Create()) << format;
        ASSERT_TRUE(player.SetVideoWindow(window.Id(), nullptr, false));
        // Left half red, right half blue (studio-range BT.601).
        PlanarPicture picture(160, 120);
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x) picture.Y(x, y) = x < 80 ? 81 : 41;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 80; ++x) {
                picture.U(x, y) = x < 40 ? 90 : 240;
                picture.V(x, y) = x < 40 ? 240 : 110;
            }
        ASSERT_TRUE(player.Present(FrameOf(picture)));
        ExpectNear(window.Pixel(20, 60), {255, 0, 0}, 40, "red half");
        ExpectNear(window.Pixel(140, 60), {0, 0, 255}, 40, "blue half");
    }
}

TEST_F(DisplaySdl, ZoomShowsOnlyTheChosenPart) {
    XWindow window(10, 10, 128, 96);
    ASSERT_TRUE(window.Ok());
    SdlDisplayService display;
    CVideoPlayer player(&display, VideoPlayerSettings{0, 128, 96, 25, kFormatRGB32, window.Id()});
    ASSERT_TRUE(player.Create());
    ASSERT_TRUE(player.SetVideoWindow(window.Id(), nullptr, false));
    PlanarPicture picture(128, 96);
    picture.Fill(235, 128, 128);  // white
    for (int y = 0; y < 96; ++y)
        for (int x = 64; x < 128; ++x) picture.Y(x, y) = 16;  // right half black
    ASSERT_TRUE(player.ZoomInSrcRect({64, 0, 128, 96}));
    ASSERT_TRUE(player.Present(FrameOf(picture)));
    ExpectNear(window.Pixel(10, 48), {0, 0, 0}, 30, "zoomed into the black half");
    ExpectNear(window.Pixel(118, 48), {0, 0, 0}, 30, "zoomed into the black half");
}

TEST_F(DisplaySdl, ScreensComeFromSdl) {
    SdlDisplayService display;
    const auto screens = display.EnumerateScreens();
    ASSERT_FALSE(screens.empty());
    EXPECT_GT(screens[0].bounds.Width(), 0);
}

}  // namespace
}  // namespace qor
