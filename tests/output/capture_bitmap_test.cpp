#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "platform/display_memory.h"
#include "player/output/video_player.h"
#include "tests/output/output_fixture.h"

namespace qor {
namespace {

using test::DebugCapture;
using test::FrameOf;
using test::PlanarPicture;

uint32_t Read32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

std::string TempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/qor_capture_" + std::to_string(::getpid()) + "_" + name;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

struct Snapshot {
    MemoryDisplayService display;
    CVideoPlayer player;
    PlanarPicture picture;
    Snapshot(int nominalWidth, int nominalHeight, int decodedWidth, int decodedHeight)
        : player(&display, VideoPlayerSettings{1, nominalWidth, nominalHeight, 25, kFormatRGB32, 0}),
          picture(decodedWidth, decodedHeight) {
        EXPECT_TRUE(player.Create());
        picture.Randomise(static_cast<uint32_t>(decodedWidth));
        EXPECT_TRUE(player.Present(FrameOf(picture)));
    }
};

TEST(CaptureBitmap, Cif352x288GivesTheExpectedFileAndPixels) {
    Snapshot s(352, 288, 352, 288);
    const std::string path = TempPath("cif.bmp");
    ASSERT_TRUE(s.player.CaptureBitmap(path.c_str(), nullptr));
    const auto file = ReadAll(path);
    ASSERT_EQ(file.size(), 304182u);
    EXPECT_EQ(s.player.BitmapFileSize(), 304182u);
    EXPECT_EQ(Read16(&file[0]), 0x4D42);
    EXPECT_EQ(Read32(&file[2]), 304182u);
    EXPECT_EQ(Read32(&file[10]), 54u);
    EXPECT_EQ(Read32(&file[14]), 40u);
    EXPECT_EQ(Read32(&file[18]), 352u);
    EXPECT_EQ(Read32(&file[22]), 288u);
    EXPECT_EQ(Read16(&file[26]), 1);
    EXPECT_EQ(Read16(&file[28]), 24);
    EXPECT_EQ(Read32(&file[30]), 0u);
    EXPECT_EQ(Read32(&file[34]), 352u * 288 * 3);
    // Pixels are the RGB24 conversion, last picture row first.
    ColorConverter converter;
    std::vector<uint8_t> rgb24(352 * 288 * 3);
    converter.PlannarToPacked(s.picture.Source(), PackedDestination{rgb24.data(), 352, 288, 352 * 3, kFormatRGB24}, 1, 1);
    EXPECT_TRUE(std::equal(rgb24.begin(), rgb24.end(), file.begin() + 54));

    // An independent reader agrees on the size when one is installed.
    if (std::system("command -v identify >/dev/null 2>&1") == 0) {
        const std::string command = "identify -format '%w %h' " + path + " > " + path + ".txt";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::ifstream in(path + ".txt");
        std::string size;
        std::getline(in, size);
        EXPECT_EQ(size, "352 288");
        std::remove((path + ".txt").c_str());
    }
    std::remove(path.c_str());
}

TEST(CaptureBitmap, Width528IsSavedAs704) {
    Snapshot s(528, 576, 528, 576);
    std::vector<uint8_t> buffer(s.player.BitmapFileSize());
    ASSERT_EQ(buffer.size(), 54u + 704 * 576 * 3);
    ASSERT_TRUE(s.player.CaptureBitmap(nullptr, buffer.data()));
    EXPECT_EQ(Read32(&buffer[18]), 704u);
    EXPECT_EQ(Read32(&buffer[22]), 576u);
    EXPECT_EQ(Read32(&buffer[2]), 54u + 704 * 576 * 3);
    // A flat picture stays flat through the stretch.
    PlanarPicture flat(528, 576);
    flat.Fill(120, 100, 150);
    ASSERT_TRUE(s.player.Present(FrameOf(flat)));
    ASSERT_TRUE(s.player.CaptureBitmap(nullptr, buffer.data()));
    EXPECT_EQ(buffer[54], buffer[54 + 703 * 3]);
    EXPECT_EQ(buffer[55], buffer[54 + 400 * 3 + 1]);
}

TEST(CaptureBitmap, DecodedSizeIsScaledToTheNominalSize) {
    Snapshot s(352, 288, 176, 144);
    std::vector<uint8_t> buffer(s.player.BitmapFileSize());
    ASSERT_EQ(buffer.size(), 304182u);
    ASSERT_TRUE(s.player.CaptureBitmap(nullptr, buffer.data()));
    EXPECT_EQ(Read32(&buffer[18]), 352u);
    EXPECT_EQ(Read32(&buffer[22]), 288u);
}

TEST(CaptureBitmap, RowsArePaddedForOddWidths) {
    Snapshot s(30, 10, 30, 10);
    std::vector<uint8_t> buffer(s.player.BitmapFileSize());
    ASSERT_EQ(buffer.size(), 54u + 92 * 10);  // 90 bytes of pixels padded to 92
    ASSERT_TRUE(s.player.CaptureBitmap(nullptr, buffer.data()));
    EXPECT_EQ(Read32(&buffer[2]), buffer.size());
    EXPECT_EQ(Read32(&buffer[34]), 92u * 10);
    EXPECT_EQ(buffer[54 + 90], 0);
    EXPECT_EQ(buffer[54 + 91], 0);
}

TEST(CaptureBitmap, FileAndBufferArguments) {
    DebugCapture capture;
    Snapshot s(64, 32, 64, 32);
    EXPECT_FALSE(s.player.CaptureBitmap(nullptr, nullptr));
    EXPECT_TRUE(capture.Has("[QOR]CVideoPlayer::CaptureBitmap NULL pFileName and pBitmap error!\n"));

    const std::string unopenable = "/nonexistent-dir/x.bmp";
    EXPECT_FALSE(s.player.CaptureBitmap(unopenable.c_str(), nullptr));
    EXPECT_TRUE(capture.Has("[QOR]create file for bitmap error!\n"));
    EXPECT_TRUE(capture.Has("[QOR]CVideoPlayer::CaptureBitmap CreateFile failed and NULL pBitmap error!\n"));

    std::vector<uint8_t> buffer(s.player.BitmapFileSize(), 0xEE);
    EXPECT_TRUE(s.player.CaptureBitmap(unopenable.c_str(), buffer.data()));
    EXPECT_EQ(Read16(&buffer[0]), 0x4D42);

    // Both: the file holds exactly what the buffer holds, even over a longer file.
    const std::string path = TempPath("both.bmp");
    {
        std::ofstream longer(path, std::ios::binary);
        longer << std::string(100000, 'x');
    }
    std::vector<uint8_t> second(buffer.size());
    ASSERT_TRUE(s.player.CaptureBitmap(path.c_str(), second.data()));
    EXPECT_EQ(ReadAll(path), second);
    std::remove(path.c_str());
}

TEST(CaptureBitmap, WithoutAPictureItFailsAfterWaiting) {
    DebugCapture capture;
    MemoryDisplayService display;
    CVideoPlayer player(&display, VideoPlayerSettings{1, 64, 32, 25, kFormatRGB32, 0});
    ASSERT_TRUE(player.Create());
    std::vector<uint8_t> buffer(player.BitmapFileSize());
    EXPECT_FALSE(player.CaptureBitmap(nullptr, buffer.data()));
    EXPECT_TRUE(capture.Has("[QOR]CVideoPlayer::CaptureBitmap PlannarToPacked() error!\n"));
}

}  // namespace
}  // namespace qor
