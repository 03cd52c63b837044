// Row kernels behind ColorConverter: the per-pixel reference arithmetic and
// the SIMD versions that must reproduce it byte for byte.
//
// Threading: pure functions over the buffers they are given.
#pragma once

#include <algorithm>
#include <cstdint>

#include "player/picture/color_converter.h"

namespace qor::kernels {

// High half of a signed 16 x 16 product, as the multiply-high instructions give it.
inline int MulHigh(int a, int b) { return (a * b) >> 16; }

inline int ClampByte(int v) { return std::clamp(v, 0, 255); }

// Brightness is applied with byte saturation before the matrix.
inline int AdjustLuma(const ConversionCoefficients& c, int y) {
    y = std::max(y - c.uLumaSubtract, 0);
    return std::min(y + c.uLumaAdd, 255);
}

inline int RgbLuma(const ConversionCoefficients& c, int Y) {
    int y = AdjustLuma(c, std::max(Y - 16, 0));
    return MulHigh(8 * y, c.iKy) - c.iOy;
}

// Around the middle grey: UYVY keeps studio range, contrast only stretches it.
inline uint8_t UyvyLuma(const ConversionCoefficients& c, int Y) {
    int y = AdjustLuma(c, Y);
    return static_cast<uint8_t>(std::clamp(MulHigh(8 * (y - 128), c.iGc), -128, 127) + 128);
}

inline uint8_t UyvyChroma(const ConversionCoefficients& c, int C) {
    return static_cast<uint8_t>(std::clamp(MulHigh(8 * (C - 128), c.iGs), -128, 127) + 128);
}

// Reference rows. Pixel x of a row uses chroma sample x / 2. RGB24 and
// RGB565 rows are written left to right like RGB32; the bottom-up order is
// the caller's business.
void RgbRowReference(const ConversionCoefficients& c, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                     int x0, int x1, uint8_t* out, int format);
// Writes pixel pairs p0 .. p1 - 1; the second luma of an incomplete last
// pair repeats the first.
void UyvyRowReference(const ConversionCoefficients& c, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                      int p0, int p1, int width, uint8_t* out);

// SIMD rows for two luma rows sharing one chroma row (y1/out1 null for a
// last single row). AVX2 takes 32-pixel steps when allowed and present,
// SSE2 16-pixel steps after it, and the reference the remaining columns.
void RgbRowPairVector(const ConversionCoefficients& c, const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                      const uint8_t* v, int width, uint8_t* out0, uint8_t* out1, int format, bool allowAvx2);
void UyvyRowPairVector(const ConversionCoefficients& c, const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                       const uint8_t* v, int width, uint8_t* out0, uint8_t* out1, bool allowAvx2);

bool HasAvx2();
// Return the number of columns converted (a multiple of 32).
int RgbRowPairAvx2(const ConversionCoefficients& c, const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                   const uint8_t* v, int width, uint8_t* out0, uint8_t* out1, int format);
int UyvyRowPairAvx2(const ConversionCoefficients& c, const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                    const uint8_t* v, int width, uint8_t* out0, uint8_t* out1);

// The scaling UYVY outputs; width and height are the source picture's.
enum class UyvyScaler { Half, HalfVertical, ThreeQuarters, ThreeQuartersVertical };
void UyvyScaledReference(const ConversionCoefficients& c, const PlanarSource& s, int width, int height,
                         uint8_t* out, int stride, UyvyScaler scaler);
void ScaledSize(UyvyScaler scaler, int width, int height, int* outWidth, int* outHeight);

}  // namespace qor::kernels
