// Tests that need an X server: window messages reach a real window, and the
// qorplay program plays a recording into its window and obeys its keys.
#include <gtest/gtest.h>
#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/notification.h"
#include "qor_player.h"
#include "recording_generator.h"

namespace qor {
namespace {

// True when an X server answers on DISPLAY.
bool HaveDisplay() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') return false;
    // Kept open for the whole run: an X server resets when its last client
    // leaves, and refuses connections while it does.
    static xcb_connection_t* keepAlive = [] {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        for (int attempt = 0; attempt < 40 && xcb_connection_has_error(connection) != 0; ++attempt) {
            xcb_disconnect(connection);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            connection = xcb_connect(nullptr, nullptr);
        }
        return connection;
    }();
    return xcb_connection_has_error(keepAlive) == 0;
}

// A window of our own on its own X connection, to receive what is posted.
class TestWindow {
public:
    TestWindow() {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection) != 0) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 64, 64, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        // A round trip, so the window exists before another connection posts to it.
        Sync();
    }
    ~TestWindow() { xcb_disconnect(m_connection); }
    xcb_window_t Id() const { return m_window; }
    void Destroy() {
        xcb_destroy_window(m_connection, m_window);
        Sync();
    }
    // The next client message within the time, if any.
    bool NextClientMessage(int iMilliseconds, xcb_client_message_event_t* out) {
        const int fd = xcb_get_file_descriptor(m_connection);
        for (int waited = 0; waited <= iMilliseconds; waited += 10) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
                const bool isMessage = (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE;
                if (isMessage) *out = *reinterpret_cast<xcb_client_message_event_t*>(event);
                std::free(event);
                if (isMessage) return true;
            }
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 10);
        }
        return false;
    }

private:
    void Sync() { std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = 0;
};

TEST(Notification, ClientMessageReachesTheWindowWithThePlayerNumber) {
    if (!HaveDisplay()) GTEST_SKIP() << "needs an X display";
    TestWindow window;
    ASSERT_NE(window.Id(), 0u);
    ASSERT_TRUE(PostWindowMessage(window.Id(), 0x400 + 3, 7, 0));
    xcb_client_message_event_t message{};
    ASSERT_TRUE(window.NextClientMessage(2000, &message));
    EXPECT_EQ(message.window, window.Id());
    EXPECT_EQ(message.type, 0x403u);
    EXPECT_EQ(message.format, 32);
    EXPECT_EQ(message.data.data32[0], 7u);
    EXPECT_EQ(message.data.data32[1], 0u);
}

TEST(Notification, MessageToAVanishedWindowFailsWithoutHarm) {
    if (!HaveDisplay()) GTEST_SKIP() << "needs an X display";
    TestWindow window;
    const xcb_window_t id = window.Id();
    window.Destroy();
    EXPECT_FALSE(PostWindowMessage(id, 0x400, 1, 0));
    // The shared connection is still good afterwards.
    TestWindow other;
    EXPECT_TRUE(PostWindowMessage(other.Id(), 0x401, 2, 0));
}

TEST(Notification, EndOfFileMessageReachesTheCallersWindow) {
    if (!HaveDisplay()) GTEST_SKIP() << "needs an X display";
    char pattern[] = "/tmp/qor_notify_XXXXXX";
    const std::string dir = mkdtemp(pattern);
    recgen::Options options;
    options.frameCount = 20;
    std::string error;
    ASSERT_TRUE(recgen::WriteRecording(options, dir + "/rec.mpg", nullptr, &error)) << error;
    TestWindow window;
    const int32_t player = QORPLAYER_CreatePlayer(0, 0);
    ASSERT_GE(player, 0);
    const uint32_t id = uint32_t(player);
    ASSERT_EQ(QORPLAYER_FileOpen(id, (dir + "/rec.mpg").c_str(), 0), 1);
    ASSERT_EQ(QORPLAYER_FileSetEndNotify(id, window.Id(), 0x400 + 9, -1), 1);
    QORPLAYER_SetPlaySpeed(id, 4.0f);
    QORPLAYER_Play(id);
    xcb_client_message_event_t message{};
    EXPECT_TRUE(window.NextClientMessage(10000, &message));
    EXPECT_EQ(message.type, 0x409u);
    EXPECT_EQ(message.data.data32[0], id);
    QORPLAYER_ReleasePlayer(id);
    std::system(("rm -rf '" + dir + "'").c_str());
}

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// Reads a binary PPM (P6, maxval 255).
bool ReadPpm(const std::string& path, Image* image) {
    std::ifstream in(path, std::ios::binary);
    // Header tokens, skipping the comments a converter may add (the window name).
    auto token = [&in]() {
        std::string text;
        while (in >> text && text[0] == '#') {
            std::string rest;
            std::getline(in, rest);
        }
        return text;
    };
    const std::string magic = token();
    image->width = std::atoi(token().c_str());
    image->height = std::atoi(token().c_str());
    const int maxval = std::atoi(token().c_str());
    in.get();
    if (magic != "P6" || maxval != 255 || image->width <= 0 || image->height <= 0) return false;
    image->rgb.resize(size_t(image->width) * size_t(image->height) * 3);
    in.read(reinterpret_cast<char*>(image->rgb.data()), std::streamsize(image->rgb.size()));
    return bool(in);
}

// The source picture as RGB, for comparing with what the window shows.
Image PatternAsRgb(int index, int width, int height) {
    std::vector<uint8_t> y(size_t(width * height)), u(size_t(width * height / 4)), v(size_t(width * height / 4));
    recgen::TestPattern(index, width, height, y.data(), width, u.data(), v.data(), width / 2);
    Image image{width, height, std::vector<uint8_t>(size_t(width * height * 3))};
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const double Y = 1.164 * (y[size_t(row * width + col)] - 16);
            const double U = u[size_t((row / 2) * (width / 2) + col / 2)] - 128;
            const double V = v[size_t((row / 2) * (width / 2) + col / 2)] - 128;
            const double rgb[3] = {Y + 1.596 * V, Y - 0.392 * U - 0.813 * V, Y + 2.017 * U};
            for (int c = 0; c < 3; ++c)
                image.rgb[size_t((row * width + col) * 3 + c)] = uint8_t(std::clamp(rgb[c], 0.0, 255.0));
        }
    }
    return image;
}

double Psnr(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        const double d = double(a.rgb[i]) - double(b.rgb[i]);
        sum += d * d;
    }
    const double mse = sum / double(a.rgb.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// The best match among the recording's pictures.
double BestPatternPsnr(const Image& shown, int frames) {
    double best = 0;
    for (int i = 0; i < frames; ++i) best = std::max(best, Psnr(shown, PatternAsRgb(i, shown.width, shown.height)));
    return best;
}

std::string RunCommand(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        pclose(pipe);
    }
    return output;
}

TEST(QorPlay, PlaysARecordingIntoItsWindowObeysItsKeysAndQuitsOnQ) {
    if (!HaveDisplay()) GTEST_SKIP() << "needs an X display";
    char pattern[] = "/tmp/qorplay_test_XXXXXX";
    const std::string dir = mkdtemp(pattern);
    recgen::Options options;
    options.frameCount = 375;  // 15 s, so that a 10 s seek forward stays inside
    std::string error;
    ASSERT_TRUE(recgen::WriteRecording(options, dir + "/rec.mpg", nullptr, &error)) << error;

    // Every key once: speed up and down, pause and play, a snapshot at one
    // second, seeks, steps both ways, back-play, play, and q to end. The
    // window is photographed before the seeks. --quit-after only guards
    // against a hang.
    const std::string keys = "300:U,400:D,500: ,600: ,1000:s,1100:R,1200:L,1300:.,1400:.,1500:C,1600: ,1700:b,1900: ,2100:q";
    const std::string command = std::string(QORPLAY_PATH) + " --mute --quit-after 20000 --keys '" + keys +
                                "' --snapshot " + dir + "/snap.bmp " + dir + "/rec.mpg 2>" + dir + "/err.txt";
    FILE* player = popen(command.c_str(), "r");
    ASSERT_NE(player, nullptr);
    char line[256] = {};
    ASSERT_NE(fgets(line, sizeof line, player), nullptr);
    unsigned long long window = 0;
    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(line, "window 0x%llx %dx%d", &window, &width, &height), 3) << line;
    EXPECT_EQ(width, 352);
    EXPECT_EQ(height, 288);

    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    char shot[64];
    std::snprintf(shot, sizeof shot, "0x%llx", window);
    RunCommand("xwd -silent -id " + std::string(shot) + " -out " + dir + "/window.xwd && convert " + dir + "/window.xwd " +
        dir + "/window.ppm");

    std::string rest;
    while (fgets(line, sizeof line, player) != nullptr) rest += line;
    const int status = pclose(player);
    EXPECT_EQ(status, 0) << rest;
    EXPECT_NE(rest.find("snapshot " + dir + "/snap.bmp"), std::string::npos) << rest;
    EXPECT_NE(rest.find("quit"), std::string::npos) << rest;
    EXPECT_NE(rest.find("playing"), std::string::npos) << rest;

    Image shown;
    ASSERT_TRUE(ReadPpm(dir + "/window.ppm", &shown));
    ASSERT_EQ(shown.width, 352);
    ASSERT_EQ(shown.height, 288);
    EXPECT_GT(BestPatternPsnr(shown, 50), 20.0);

    RunCommand("convert " + dir + "/snap.bmp " + dir + "/snap.ppm");
    Image snapshot;
    ASSERT_TRUE(ReadPpm(dir + "/snap.ppm", &snapshot));
    EXPECT_GT(BestPatternPsnr(snapshot, 50), 20.0);
    std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
}  // namespace qor
