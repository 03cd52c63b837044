#include "converter/job/picture_widening.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using vidorra::BilinearScalePlane;
using vidorra::DecodedPicture;
using vidorra::PackedPictureSize;
using vidorra::PackPicture;
using vidorra::PlaneView;

namespace {

// The formula with both neighbours taken inside the plane.
uint8_t Expected(const std::vector<uint8_t>& s, int w, int h, int W, int H, int i, int j) {
    const int64_t r = int64_t{i} * h / H, f = int64_t{i} * h % H;
    const int64_t c = int64_t{j} * w / W, g = int64_t{j} * w % W;
    const int64_t r1 = r + 1 < h ? r + 1 : h - 1, c1 = c + 1 < w ? c + 1 : w - 1;
    auto S = [&](int64_t y, int64_t x) { return int64_t{s[y * w + x]}; };
    return static_cast<uint8_t>(
        (((H - f) * S(r, c) + f * S(r1, c)) * (W - g) + g * (f * S(r1, c1) + (H - f) * S(r, c1))) / (W * H));
}

}  // namespace

TEST(PictureWidening, WidensLumaFrom528To704WithTheBilinearWeights) {
    const int w = 528, h = 4, W = 704;
    std::vector<uint8_t> src(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>((i * 37) % 251);
    std::vector<uint8_t> dst(static_cast<size_t>(W) * h);
    BilinearScalePlane({src.data(), w, w, h}, dst.data(), W, h);
    for (int i = 0; i < h; ++i) {
        for (int j = 0; j < W; ++j) ASSERT_EQ(dst[i * W + j], Expected(src, w, h, W, h, i, j)) << i << "," << j;
    }
    // Every fourth destination column falls exactly on a source column.
    EXPECT_EQ(dst[1 * W + 4], src[1 * w + 3]);
}

TEST(PictureWidening, EdgeReadsStayInsideAnExactlySizedPlane) {
    // The plane is allocated to its last byte; the right edge needs column
    // c + 1 with a nonzero weight and the bottom rows scale 3 -> 7.
    const int w = 5, h = 3;
    auto plane = std::make_unique<uint8_t[]>(w * h);
    for (int i = 0; i < w * h; ++i) plane[i] = static_cast<uint8_t>(i * 10);
    std::vector<uint8_t> dst(9 * 7);
    BilinearScalePlane({plane.get(), w, w, h}, dst.data(), 9, 7);
    // The last column blends the last source column with itself.
    EXPECT_EQ(dst[0 * 9 + 8], Expected(std::vector<uint8_t>(plane.get(), plane.get() + w * h), w, h, 9, 7, 0, 8));
    EXPECT_EQ(dst[6 * 9 + 8], plane[(h - 1) * w + (w - 1)]);
}

TEST(PictureWidening, FlatPlaneStaysFlat) {
    std::vector<uint8_t> src(264 * 3, 77);
    std::vector<uint8_t> dst(352 * 3);
    BilinearScalePlane({src.data(), 264, 264, 3}, dst.data(), 352, 3);
    for (uint8_t value : dst) ASSERT_EQ(value, 77);
}

TEST(PictureWidening, NegativeHeightWritesBottomRowFirst) {
    const std::vector<uint8_t> src = {10, 10, 20, 20};  // two rows of two
    std::vector<uint8_t> dst(4);
    BilinearScalePlane({src.data(), 2, 2, -2}, dst.data(), 2, 2);
    EXPECT_EQ(dst, (std::vector<uint8_t>{20, 20, 10, 10}));
}

TEST(PictureWidening, SameSizePictureIsCopiedRowByRowPastTheStride) {
    const int w = 6, h = 4, ys = 8, cs = 5;
    std::vector<uint8_t> y(ys * h, 0xEE), u(cs * h / 2, 0xEE), v(cs * h / 2, 0xEE);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) y[r * ys + c] = static_cast<uint8_t>(r * 10 + c);
    for (int r = 0; r < h / 2; ++r)
        for (int c = 0; c < w / 2; ++c) {
            u[r * cs + c] = static_cast<uint8_t>(100 + r * 10 + c);
            v[r * cs + c] = static_cast<uint8_t>(200 + r * 10 + c);
        }
    std::vector<uint8_t> out(PackedPictureSize(w, h));
    ASSERT_TRUE(
        PackPicture(DecodedPicture{w, h, y.data(), u.data(), v.data(), ys, cs, cs}, w, h, out.data(), out.size()));
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1 * w + 5], 15);
    EXPECT_EQ(out[w * h], 100);          // U starts after Y
    EXPECT_EQ(out[w * h + 3 + 2], 112);  // U row 1, column 2
    EXPECT_EQ(out[w * h + 6 + 3 + 2], 212);
    for (uint8_t value : out) EXPECT_NE(value, 0xEE);  // no stride padding copied
}

TEST(PictureWidening, PicturePackRefusesTooSmallBufferAndBadSizes) {
    std::vector<uint8_t> y(16 * 16, 1), c(8 * 8, 2);
    const DecodedPicture picture{16, 16, y.data(), c.data(), c.data(), 16, 8, 8};
    std::vector<uint8_t> out(PackedPictureSize(16, 16) - 1);
    EXPECT_FALSE(PackPicture(picture, 16, 16, out.data(), out.size()));
    out.resize(PackedPictureSize(16, 16));
    EXPECT_FALSE(PackPicture(picture, 0, 16, out.data(), out.size()));
    EXPECT_FALSE(
        PackPicture(DecodedPicture{-16, 16, y.data(), c.data(), c.data(), 16, 8, 8}, 16, 16, out.data(), out.size()));
}

TEST(PictureWidening, Widens528PictureTo704InAllPlanes) {
    const int w = 528, h = 8;
    std::vector<uint8_t> y(w * h, 50), u(264 * 4, 90), v(264 * 4, 160);
    std::vector<uint8_t> out(PackedPictureSize(704, h));
    ASSERT_TRUE(
        PackPicture(DecodedPicture{w, h, y.data(), u.data(), v.data(), w, 264, 264}, 704, h, out.data(), out.size()));
    EXPECT_EQ(out[704 * h - 1], 50);
    EXPECT_EQ(out[704 * h], 90);
    EXPECT_EQ(out[704 * h + 352 * 4 - 1], 90);
    EXPECT_EQ(out[704 * h + 352 * 4], 160);
    EXPECT_EQ(out.back(), 160);
}
