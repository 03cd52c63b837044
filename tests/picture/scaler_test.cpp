#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "player/picture/color_converter.h"
#include "tests/support/debug_capture.h"
#include "tests/picture/picture_fixture.h"

namespace qor {
namespace {

using test::PlanarPicture;

struct Scaled {
    std::vector<uint8_t> bytes;
    int stride;
    int Luma(int x, int row) const { return bytes[row * stride + 4 * (x / 2) + 1 + 2 * (x % 2)]; }
    int U(int pair, int row) const { return bytes[row * stride + 4 * pair]; }
    int V(int pair, int row) const { return bytes[row * stride + 4 * pair + 2]; }
};

Scaled Convert(const PlanarPicture& picture, float h, float v, int stride) {
    Scaled out{std::vector<uint8_t>(static_cast<size_t>(stride) * picture.height, 0xEE), stride};
    PackedDestination d{out.bytes.data(), picture.width, picture.height, stride, kFormatUYVY};
    ColorConverter converter;
    EXPECT_TRUE(converter.PlannarToPacked(picture.Source(), d, h, v));
    return out;
}

TEST(UyvyScalers, HalfAveragesEachTwoByTwoBlockAndKeepsItsChroma) {
    PlanarPicture p(16, 8);
    p.Randomise(21);
    Scaled out = Convert(p, 0.5f, 0.5f, 64);
    for (int row = 0; row < 4; ++row) {
        for (int x = 0; x < 8; ++x) {
            const int sum = p.Y(2 * x, 2 * row) + p.Y(2 * x + 1, 2 * row) + p.Y(2 * x, 2 * row + 1) +
                            p.Y(2 * x + 1, 2 * row + 1);
            EXPECT_EQ(out.Luma(x, row), sum / 4);
        }
        for (int pair = 0; pair < 4; ++pair) {
            EXPECT_EQ(out.U(pair, row), p.U(2 * pair, row));
            EXPECT_EQ(out.V(pair, row), p.V(2 * pair, row));
        }
    }
    EXPECT_EQ(out.bytes[4 * 64], 0xEE);  // nothing below the half-height picture
    EXPECT_EQ(out.bytes[32], 0xEE);      // nor right of its half width
}

TEST(UyvyScalers, HalfVerticalAveragesRowWithThePreviousOne) {
    PlanarPicture p(16, 8);
    p.Randomise(22);
    Scaled out = Convert(p, 1.0f, 0.5f, 32);
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(out.Luma(x, 0), p.Y(x, 0));
        for (int row = 1; row < 4; ++row) EXPECT_EQ(out.Luma(x, row), (p.Y(x, 2 * row) + p.Y(x, 2 * row - 1)) / 2);
    }
    for (int row = 0; row < 4; ++row)
        for (int pair = 0; pair < 8; ++pair) EXPECT_EQ(out.U(pair, row), p.U(pair, row));
}

TEST(UyvyScalers, ThreeQuartersFirstRowUsesTheFixedWeights) {
    PlanarPicture p(16, 8);
    p.Randomise(23);
    Scaled out = Convert(p, 0.75f, 0.75f, 64);
    for (int block = 0; block < 4; ++block) {
        auto a = [&](int i) { return p.Y(4 * block + i, 0); };
        auto b = [&](int i) { return p.Y(4 * block + i, 1); };
        EXPECT_EQ(out.Luma(3 * block, 0), (49 * a(0) + 7 * a(1) + 7 * b(0) + b(1)) / 64);
        EXPECT_EQ(out.Luma(3 * block + 1, 0), (7 * a(1) + 7 * a(2) + b(1) + b(2)) / 16);
        EXPECT_EQ(out.Luma(3 * block + 2, 0), (42 * a(2) + 182 * a(3) + 6 * b(2) + 26 * b(3)) / 256);
    }
    EXPECT_EQ(out.bytes[6 * 64], 0xEE);  // 8 rows give 6
    EXPECT_EQ(out.bytes[24], 0xEE);      // 16 pixels give 12 (6 pairs, 24 bytes)
}

TEST(UyvyScalers, ThreeQuartersVerticalKeepsFullWidth) {
    PlanarPicture p(16, 8);
    p.Randomise(24);
    Scaled out = Convert(p, 1.0f, 0.75f, 32);
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(out.Luma(x, 0), (7 * p.Y(x, 0) + p.Y(x, 1)) / 8);
        EXPECT_EQ(out.Luma(x, 1), (p.Y(x, 1) + p.Y(x, 2)) / 2);
        EXPECT_EQ(out.Luma(x, 2), (3 * p.Y(x, 2) + 13 * p.Y(x, 3)) / 16);
    }
    EXPECT_EQ(out.bytes[6 * 32], 0xEE);
}

TEST(UyvyScalers, FlatPictureStaysFlatAtEveryScaleAndOddSize) {
    for (float h : {1.0f, 0.75f, 0.5f})
        for (float v : {1.0f, 0.75f, 0.5f}) {
            if (h != 1.0f && h != v) continue;
            for (int width : {13, 30, 37}) {
                PlanarPicture p(width, 11);
                p.Fill(100, 90, 160);
                Scaled out = Convert(p, h, v, (width + 1) / 2 * 4);
                EXPECT_EQ(out.Luma(0, 0), 100);
                EXPECT_EQ(out.U(0, 0), 90);
                EXPECT_EQ(out.V(0, 0), 160);
            }
        }
}

}  // namespace
}  // namespace qor
