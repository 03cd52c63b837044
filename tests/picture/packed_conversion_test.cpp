#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "player/picture/color_converter.h"
#include "tests/support/debug_capture.h"

namespace qor {
namespace {

using test::DebugCapture;

struct Packed {
    std::vector<uint8_t> bytes;
    int width, height, stride, format;
    PackedSource Source() const { return {bytes.data(), width, height, stride, format}; }
    PackedDestination Destination() { return {bytes.data(), width, height, stride, format}; }
};

Packed Make(int width, int height, int stride, int format, uint8_t fill) {
    return {std::vector<uint8_t>(static_cast<size_t>(stride) * height, fill), width, height, stride, format};
}

TEST(PackedToPacked, SameFormatCopiesRowsWithEachSidesStride) {
    struct Case {
        int format, rowBytes;
    };
    for (const Case& t : {Case{kFormatUYVY, 8}, Case{kFormatRGB32, 16}, Case{kFormatRGB565, 8}}) {
        Packed source = Make(4, 3, t.rowBytes + 3, t.format, 0);
        for (size_t i = 0; i < source.bytes.size(); ++i) source.bytes[i] = static_cast<uint8_t>(i * 7);
        Packed destination = Make(4, 3, t.rowBytes + 9, t.format, 0xEE);
        ColorConverter converter;
        ASSERT_TRUE(converter.PackedToPacked(source.Source(), destination.Destination()));
        for (int row = 0; row < 3; ++row) {
            EXPECT_TRUE(std::equal(source.bytes.begin() + row * source.stride,
                                   source.bytes.begin() + row * source.stride + t.rowBytes,
                                   destination.bytes.begin() + row * destination.stride));
            EXPECT_EQ(destination.bytes[row * destination.stride + t.rowBytes], 0xEE);
        }
    }
}

TEST(PackedToPacked, UyvyToRgb24UsesTheShortIntegerMatrixBottomUp) {
    Packed source = Make(2, 2, 4, kFormatUYVY, 0);
    const uint8_t top[4] = {60, 100, 200, 180};     // U, Y0, V, Y1
    const uint8_t bottom[4] = {128, 16, 128, 235};
    std::copy(top, top + 4, source.bytes.begin());
    std::copy(bottom, bottom + 4, source.bytes.begin() + 4);
    Packed destination = Make(2, 2, 6, kFormatRGB24, 0xEE);
    ColorConverter converter;
    ASSERT_TRUE(converter.PackedToPacked(source.Source(), destination.Destination()));
    auto expect = [](int y, int u, int v) {
        u -= 128;
        v -= 128;
        auto c = [](int x) { return std::clamp(x, 0, 255); };
        return std::vector<int>{c(y + ((57 * u) >> 5)), c(y + ((-23 * v - 11 * u) >> 5)), c(y + ((45 * v) >> 5))};
    };
    auto pixel = [&](int row, int x) {
        const uint8_t* p = &destination.bytes[row * 6 + 3 * x];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(pixel(1, 0), expect(100, 60, 200));  // the top source row lands in the last row
    EXPECT_EQ(pixel(1, 1), expect(180, 60, 200));
    EXPECT_EQ(pixel(0, 0), (std::vector<int>{16, 16, 16}));
    EXPECT_EQ(pixel(0, 1), (std::vector<int>{235, 235, 235}));
}

TEST(PackedToPacked, ExpansionsAndNarrowing) {
    Packed rgb565 = Make(2, 1, 4, kFormatRGB565, 0);
    // Pure red, then white.
    rgb565.bytes = {0x00, 0xF8, 0xFF, 0xFF};
    Packed rgb32 = Make(2, 1, 8, kFormatRGB32, 0xEE);
    ColorConverter converter;
    ASSERT_TRUE(converter.PackedToPacked(rgb565.Source(), rgb32.Destination()));
    EXPECT_EQ(rgb32.bytes, (std::vector<uint8_t>{0, 0, 255, 0, 255, 255, 255, 0}));

    Packed rgb24 = Make(2, 1, 6, kFormatRGB24, 0xEE);
    ASSERT_TRUE(converter.PackedToPacked(rgb565.Source(), rgb24.Destination()));
    EXPECT_EQ(rgb24.bytes, (std::vector<uint8_t>{0, 0, 255, 255, 255, 255}));

    Packed wide = Make(1, 2, 4, kFormatRGB32, 0);
    wide.bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    Packed narrow = Make(1, 2, 3, kFormatRGB24, 0xEE);
    ASSERT_TRUE(converter.PackedToPacked(wide.Source(), narrow.Destination()));
    EXPECT_EQ(narrow.bytes, (std::vector<uint8_t>{5, 6, 7, 1, 2, 3}));  // bottom-up, fourth byte dropped
}

TEST(PackedToPacked, RefusesOtherPairsNullSourceAndShortSource) {
    DebugCapture capture;
    ColorConverter converter;
    struct Pair {
        int from, to;
    };
    for (const Pair& p : {Pair{kFormatUYVY, kFormatRGB32}, Pair{kFormatRGB32, kFormatUYVY},
                          Pair{kFormatRGB24, kFormatRGB24}, Pair{kFormatRGB565, kFormatUYVY}, Pair{kFormatYUY2, 2}}) {
        Packed source = Make(4, 2, 16, p.from, 0);
        Packed destination = Make(4, 2, 16, p.to, 0);
        EXPECT_FALSE(converter.PackedToPacked(source.Source(), destination.Destination())) << p.from << "->" << p.to;
    }
    const auto lines = capture.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "[QOR]PackedToPacked() not support this color change.\n"), 5);

    Packed destination = Make(4, 2, 16, kFormatRGB32, 0);
    EXPECT_FALSE(converter.PackedToPacked(PackedSource{nullptr, 4, 2, 16, kFormatRGB32}, destination.Destination()));
    Packed small = Make(2, 2, 8, kFormatRGB32, 0);
    EXPECT_FALSE(converter.PackedToPacked(small.Source(), destination.Destination()));
    EXPECT_TRUE(capture.Has("[QOR]PackedToPacked() report ZRV.\n"));
}

}  // namespace
}  // namespace qor
