#include "player/picture/color_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <thread>

#include "tests/support/debug_capture.h"
#include "tests/picture/picture_fixture.h"

namespace qor {
namespace {

using test::DebugCapture;
using test::PlanarPicture;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

// The conversion written out from the formulas, independently of the
// converter's own helpers.
Rgb ExpectedRgb(int Y, int U, int V, int b, int c, int s) {
    s = std::min(s, 98);
    auto high = [](int a, int k) { return (a * k) >> 16; };
    int y = std::max(Y - 16, 0);
    if (b < 50) y = std::max(y - 2 * (50 - b), 0);
    else y = std::min(y + 2 * (b - 50), 255);
    const int ky = 9576 * c * 20 / 1000;
    const int oy = static_cast<int>(static_cast<int64_t>(20 * c - 1000) * 9576 * 128 / 1000) >> 13;
    const int kvr = static_cast<int16_t>(13123 * s * 20 / 1000), kug = static_cast<int16_t>(-3218 * s * 20 / 1000);
    const int kvg = static_cast<int16_t>(-6686 * s * 20 / 1000), kub = static_cast<int16_t>(16591 * s * 20 / 1000);
    const int yt = high(8 * y, ky) - oy, u = 8 * (U - 128), v = 8 * (V - 128);
    auto clamp = [](int x) { return std::clamp(x, 0, 255); };
    return {clamp(yt + high(v, kvr)), clamp(yt + high(u, kug) + high(v, kvg)), clamp(yt + high(u, kub))};
}

std::array<int, 3> ExpectedUyvy(int Y, int U, int V, int b, int c, int s) {
    s = std::min(s, 98);
    int y = Y;
    if (b < 50) y = std::max(y - 2 * (50 - b), 0);
    else y = std::min(y + 2 * (b - 50), 255);
    const int gc = 8192 * c * 20 / 1000, gs = 8192 * s * 20 / 1000;
    auto out = [](int x, int g) { return std::clamp((8 * (x - 128) * g) >> 16, -128, 127) + 128; };
    return {out(U, gs), out(y, gc), out(V, gs)};
}

PackedDestination Destination(std::vector<uint8_t>& buffer, int width, int height, int stride, int format) {
    buffer.assign(static_cast<size_t>(stride) * height, 0xEE);
    PackedDestination d;
    d.pData = buffer.data();
    d.iWidth = width;
    d.iHeight = height;
    d.iStride = stride;
    d.iFormat = format;
    return d;
}

Rgb ConvertOne(ColorConverter& converter, int Y, int U, int V) {
    PlanarPicture picture(8, 2);
    picture.Fill(static_cast<uint8_t>(Y), static_cast<uint8_t>(U), static_cast<uint8_t>(V));
    std::vector<uint8_t> out;
    EXPECT_TRUE(converter.PlannarToPacked(picture.Source(), Destination(out, 8, 2, 32, kFormatRGB32), 1.0f, 1.0f));
    return {out[2], out[1], out[0]};
}

TEST(ColorConverter, NeutralAdjustmentsTurnMiddleGreyInto130) {
    ColorConverter converter;
    EXPECT_EQ(ConvertOne(converter, 128, 128, 128), (Rgb{130, 130, 130}));

    PlanarPicture picture(8, 2);
    picture.Fill(128, 128, 128);
    std::vector<uint8_t> out;
    ASSERT_TRUE(converter.PlannarToPacked(picture.Source(), Destination(out, 8, 2, 16, kFormatUYVY), 1.0f, 1.0f));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 128; }));
}

TEST(ColorConverter, DerivedCoefficientsAtContrastEnds) {
    struct Case {
        int contrast, ky, oy, gc;
    };
    for (const Case& t : {Case{0, 0, -150, 0}, Case{50, 9576, 0, 8192}, Case{100, 19152, 149, 16384}}) {
        ColorConverter converter;
        converter.SetAdjustments(50, t.contrast, 50);
        EXPECT_EQ(converter.Coefficients().iKy, t.ky) << t.contrast;
        EXPECT_EQ(converter.Coefficients().iOy, t.oy) << t.contrast;
        EXPECT_EQ(converter.Coefficients().iGc, t.gc) << t.contrast;
    }
}

TEST(ColorConverter, PixelsMatchTheFormulasAcrossAdjustments) {
    struct Case {
        int Y, U, V, b, c, s;
    };
    const Case cases[] = {
        {16, 128, 128, 50, 50, 50},  {235, 128, 128, 50, 50, 50}, {81, 90, 240, 50, 50, 50},
        {145, 54, 34, 50, 50, 50},   {41, 240, 110, 50, 50, 50},  {0, 0, 0, 50, 50, 50},
        {255, 255, 255, 50, 50, 50}, {200, 30, 220, 0, 50, 50},   {60, 200, 70, 100, 50, 50},
        {128, 60, 190, 50, 0, 50},   {128, 60, 190, 50, 100, 50}, {128, 60, 190, 50, 50, 0},
        {128, 60, 190, 50, 50, 98},  {90, 250, 5, 73, 31, 88},    {230, 5, 250, 12, 87, 64},
    };
    for (const Case& t : cases) {
        ColorConverter converter;
        converter.SetAdjustments(t.b, t.c, t.s);
        for (auto path : {ColorConverter::Path::Reference, ColorConverter::Path::Sse2, ColorConverter::Path::Vectorised}) {
            converter.SetPath(path);
            EXPECT_EQ(ConvertOne(converter, t.Y, t.U, t.V), ExpectedRgb(t.Y, t.U, t.V, t.b, t.c, t.s))
                << "Y=" << t.Y << " U=" << t.U << " V=" << t.V << " b=" << t.b << " c=" << t.c << " s=" << t.s;

            PlanarPicture picture(16, 2);
            picture.Fill(static_cast<uint8_t>(t.Y), static_cast<uint8_t>(t.U), static_cast<uint8_t>(t.V));
            std::vector<uint8_t> out;
            ASSERT_TRUE(converter.PlannarToPacked(picture.Source(), Destination(out, 16, 2, 32, kFormatUYVY), 1, 1));
            auto e = ExpectedUyvy(t.Y, t.U, t.V, t.b, t.c, t.s);
            EXPECT_EQ((std::array<int, 4>{out[0], out[1], out[2], out[3]}), (std::array<int, 4>{e[0], e[1], e[2], e[1]}))
                << "UYVY Y=" << t.Y << " b=" << t.b << " c=" << t.c << " s=" << t.s;
        }
    }
}

TEST(ColorConverter, BrightnessEndsShiftLumaByHundred) {
    ColorConverter dark, bright, neutral;
    dark.SetAdjustments(0, 50, 50);
    bright.SetAdjustments(100, 50, 50);
    // Y 166 -> y 150; -100 gives the colour of Y 66, +100 that of Y 266 capped at 255.
    EXPECT_EQ(ConvertOne(dark, 166, 128, 128), ConvertOne(neutral, 66, 128, 128));
    EXPECT_EQ(ConvertOne(bright, 66, 128, 128), ConvertOne(neutral, 166, 128, 128));
    EXPECT_EQ(ConvertOne(dark, 90, 128, 128), (Rgb{0, 0, 0}));
    EXPECT_EQ(ConvertOne(bright, 200, 128, 128), ConvertOne(bright, 255, 128, 128));
}

TEST(ColorConverter, SaturationHundredActsAsNinetyEight) {
    ColorConverter full, capped;
    full.SetAdjustments(50, 50, 100);
    capped.SetAdjustments(50, 50, 98);
    EXPECT_EQ(full.Saturation(), 98);
    EXPECT_EQ(ConvertOne(full, 100, 250, 20), ConvertOne(capped, 100, 250, 20));
    EXPECT_GT(full.Coefficients().iKub, 0);  // 16591 * 2 would have wrapped negative
}

TEST(ColorConverter, Rgb24IsBottomUpAgainstRgb32) {
    PlanarPicture picture(24, 6);
    picture.Randomise(7);
    ColorConverter converter;
    std::vector<uint8_t> rgb32, rgb24;
    ASSERT_TRUE(converter.PlannarToPacked(picture.Source(), Destination(rgb32, 24, 6, 96, kFormatRGB32), 1, 1));
    ASSERT_TRUE(converter.PlannarToPacked(picture.Source(), Destination(rgb24, 24, 6, 72, kFormatRGB24), 1, 1));
    for (int row = 0; row < 6; ++row)
        for (int x = 0; x < 24; ++x)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(rgb24[(5 - row) * 72 + 3 * x + k], rgb32[row * 96 + 4 * x + k]) << row << "," << x;
}

TEST(ColorConverter, Rgb565KeepsTopFiveBitsWithGreenLowBitClear) {
    PlanarPicture picture(16, 2);
    picture.Randomise(3);
    ColorConverter converter;
    std::vector<uint8_t> rgb32, rgb565;
    ASSERT_TRUE(converter.PlannarToPacked(picture.Source(), Destination(rgb32, 16, 2, 64, kFormatRGB32), 1, 1));
    ASSERT_TRUE(converter.PlannarToPacked(picture.Source(), Destination(rgb565, 16, 2, 32, kFormatRGB565), 1, 1));
    for (int i = 0; i < 32; ++i) {
        const int w = rgb565[2 * i] | (rgb565[2 * i + 1] << 8);
        EXPECT_EQ(w & 0x20, 0);
        EXPECT_EQ(w >> 11, rgb32[4 * i + 2] >> 3);
        EXPECT_EQ((w >> 6) & 0x1F, rgb32[4 * i + 1] >> 3);
        EXPECT_EQ(w & 0x1F, rgb32[4 * i] >> 3);
    }
}

TEST(ColorConverter, UnsupportedUyvyScalePairIsLoggedAndLeavesDestination) {
    DebugCapture capture;
    PlanarPicture picture(16, 4);
    picture.Randomise(1);
    ColorConverter converter;
    std::vector<uint8_t> out;
    EXPECT_TRUE(converter.PlannarToPacked(picture.Source(), Destination(out, 16, 4, 32, kFormatUYVY), 0.75f, 0.5f));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0xEE; }));
    EXPECT_TRUE(capture.Has("[QOR]PlannarToPacked() fHScaler=0.750000, fVScaler=0.500000 error.\n"));
}

TEST(ColorConverter, RefusesNullLumaAndUnsupportedFormats) {
    DebugCapture capture;
    PlanarPicture picture(16, 2);
    ColorConverter converter;
    std::vector<uint8_t> out;
    PlanarSource noLuma = picture.Source();
    noLuma.pY = nullptr;
    EXPECT_FALSE(converter.PlannarToPacked(noLuma, Destination(out, 16, 2, 64, kFormatRGB32), 1, 1));
    EXPECT_TRUE(capture.Has("[QOR]PlannarToPacked() NULL m_pY.\n"));

    for (int format : {0, 2, 6, 7}) {
        EXPECT_FALSE(converter.PlannarToPacked(picture.Source(), Destination(out, 16, 2, 64, format), 1, 1));
    }
    PlanarSource packedSource = picture.Source();
    packedSource.iFormat = kFormatUYVY;
    EXPECT_FALSE(converter.PlannarToPacked(packedSource, Destination(out, 16, 2, 64, kFormatRGB32), 1, 1));
    const auto lines = capture.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "[QOR]PlannarToPacked() not support this color change.\n"), 5);
}

TEST(ColorConverter, DescriptorThatWouldOverrunIsRefused) {
    DebugCapture capture;
    PlanarPicture picture(16, 2);
    ColorConverter converter;
    std::vector<uint8_t> out;
    EXPECT_FALSE(converter.PlannarToPacked(picture.Source(), Destination(out, 16, 2, 60, kFormatRGB32), 1, 1));
    EXPECT_TRUE(capture.Has("[QOR]yuv2rgb_32() report ZRV.\n"));
    PlanarSource narrow = picture.Source();
    narrow.iUStride = 4;
    EXPECT_FALSE(converter.PlannarToPacked(narrow, Destination(out, 16, 2, 32, kFormatUYVY), 1, 1));
    EXPECT_TRUE(capture.Has("[QOR]uyvy_out() report ZRV.\n"));
}

// Every format and odd width: the SIMD path gives the reference bytes, and
// nothing is written past each row's pixels.
TEST(ColorConverter, VectorisedPathMatchesReferenceByteForByte) {
    const int widths[] = {1, 2, 7, 8, 15, 16, 17, 31, 32, 33, 47, 63, 64, 97, 352, 355, 720};
    const int heights[] = {1, 2, 3, 7, 18};
    const int formats[] = {kFormatRGB32, kFormatRGB24, kFormatRGB565, kFormatUYVY};
    uint32_t seed = 11;
    for (int width : widths)
        for (int height : heights)
            for (int format : formats) {
                PlanarPicture picture(width, height, 6);
                picture.Randomise(++seed);
                ColorConverter converter;
                converter.SetAdjustments(static_cast<int>(seed * 7 % 101), static_cast<int>(seed * 13 % 101),
                                         static_cast<int>(seed * 17 % 101));
                const int rowBytes = format == kFormatUYVY ? (width + 1) / 2 * 4
                                     : format == kFormatRGB32 ? 4 * width
                                     : format == kFormatRGB24 ? 3 * width : 2 * width;
                const int stride = rowBytes + 5;
                std::vector<uint8_t> reference;
                converter.SetPath(ColorConverter::Path::Reference);
                ASSERT_TRUE(converter.PlannarToPacked(picture.Source(),
                                                      Destination(reference, width, height, stride, format), 1, 1));
                for (auto path : {ColorConverter::Path::Sse2, ColorConverter::Path::Vectorised}) {
                    std::vector<uint8_t> vectorised;
                    converter.SetPath(path);
                    ASSERT_TRUE(converter.PlannarToPacked(
                        picture.Source(), Destination(vectorised, width, height, stride, format), 1, 1));
                    ASSERT_EQ(reference, vectorised)
                        << "width " << width << " height " << height << " format " << format;
                    for (int row = 0; row < height; ++row)
                        for (int k = rowBytes; k < stride; ++k)
                            ASSERT_EQ(vectorised[row * stride + k], 0xEE) << "overrun at width " << width;
                }
            }
}

// Planes and rows of exactly the picture's size, on the heap, so that the
// address sanitizer catches any read or write beyond them.
TEST(ColorConverter, ExactlySizedPlanesAreNeverOverrun) {
    for (int width : {1, 3, 15, 17, 31, 33, 63, 65})
        for (int height : {1, 2, 5})
            for (int format : {kFormatRGB32, kFormatRGB24, kFormatRGB565, kFormatUYVY})
                for (float scale : {1.0f, 0.75f, 0.5f}) {
                    PlanarPicture picture(width, height);
                    picture.Randomise(static_cast<uint32_t>(width * 7 + height));
                    const int rowBytes = format == kFormatUYVY ? (width + 1) / 2 * 4
                                         : format == kFormatRGB32 ? 4 * width
                                         : format == kFormatRGB24 ? 3 * width : 2 * width;
                    std::vector<uint8_t> y(picture.y), u(picture.u), v(picture.v);
                    std::vector<uint8_t> out(static_cast<size_t>(rowBytes) * height);
                    PlanarSource source{y.data(), u.data(), v.data(), picture.yStride, picture.cStride,
                                        picture.cStride, kFormatPlanar};
                    ColorConverter converter;
                    converter.PlannarToPacked(source, PackedDestination{out.data(), width, height, rowBytes, format},
                                              format == kFormatUYVY ? scale : 1.0f,
                                              format == kFormatUYVY ? scale : 1.0f);
                }
}

TEST(ColorConverter, ConvertersKeepTheirOwnAdjustmentsWhileRunningTogether) {
    PlanarPicture picture(352, 288);
    picture.Randomise(5);
    auto convert = [&](ColorConverter& converter, std::vector<uint8_t>& out) {
        return converter.PlannarToPacked(picture.Source(), Destination(out, 352, 288, 352 * 4, kFormatRGB32), 1, 1);
    };
    ColorConverter dark, bright;
    dark.SetAdjustments(10, 30, 20);
    bright.SetAdjustments(90, 70, 80);
    std::vector<uint8_t> darkAlone, brightAlone;
    ASSERT_TRUE(convert(dark, darkAlone));
    ASSERT_TRUE(convert(bright, brightAlone));

    std::vector<uint8_t> darkTogether, brightTogether;
    bool darkOk = true, brightOk = true;
    std::thread a([&] {
        for (int i = 0; i < 20 && darkOk; ++i) darkOk = convert(dark, darkTogether) && darkTogether == darkAlone;
    });
    std::thread b([&] {
        for (int i = 0; i < 20 && brightOk; ++i)
            brightOk = convert(bright, brightTogether) && brightTogether == brightAlone;
    });
    a.join();
    b.join();
    EXPECT_TRUE(darkOk);
    EXPECT_TRUE(brightOk);
}

TEST(ColorConverter, PlannarToPlannarSwapsChromaIntoYv12Order) {
    PlanarPicture picture(10, 6, 4);
    picture.Randomise(9);
    std::vector<uint8_t> y(12 * 6, 0xEE), v(8 * 3, 0xEE), u(8 * 3, 0xEE);
    PlanarDestination d{y.data(), v.data(), u.data(), 10, 6, 12, 8, 8, 0};
    ColorConverter converter;
    ASSERT_TRUE(converter.PlannarToPlannar(picture.Source(), d));
    for (int row = 0; row < 6; ++row)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(y[row * 12 + x], picture.Y(x, row));
    for (int row = 0; row < 3; ++row)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(v[row * 8 + x], picture.V(x, row));
            EXPECT_EQ(u[row * 8 + x], picture.U(x, row));
        }
    EXPECT_EQ(v[5], 0);  // row padding cleared
    EXPECT_EQ(y[10], 0xEE);  // luma padding untouched

    DebugCapture capture;
    d.iFormat = 1;
    EXPECT_FALSE(converter.PlannarToPlannar(picture.Source(), d));
    EXPECT_TRUE(capture.Has("[QOR]PlannarToPlannar() not support this color change.\n"));
    PlanarSource noLuma = picture.Source();
    noLuma.pY = nullptr;
    EXPECT_FALSE(converter.PlannarToPlannar(noLuma, d));
    EXPECT_TRUE(capture.Has("[QOR]PlannarToPlannar() NULL m_pY.\n"));
}

TEST(ColorConverter, ScaleEqualityIsWithinAMillionth) {
    EXPECT_TRUE(ColorConverter::ScaleEquals(0.75f, 0.75f));
    EXPECT_TRUE(ColorConverter::ScaleEquals(0.7500015f, 0.75f));
    EXPECT_FALSE(ColorConverter::ScaleEquals(0.7501f, 0.75f));
}

}  // namespace
}  // namespace qor
