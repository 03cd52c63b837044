#include "player/picture/color_converter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "platform/debug_output.h"
#include "player/picture/conversion_kernels.h"

namespace qor {
namespace {

constexpr int kLumaBase = 9576;
constexpr int kVToRed = 13123;
constexpr int kUToGreen = -3218;
constexpr int kVToGreen = -6686;
constexpr int kUToBlue = 16591;
// Above 98 the blue gain no longer fits the signed 16-bit multiplier.
constexpr int kSaturationCap = 98;

int BytesPerPixel(int format) {
    switch (format) {
    case kFormatRGB32: return 4;
    case kFormatRGB24: return 3;
    default: return 2;
    }
}

uint8_t* Row(uint8_t* base, int stride, int row) { return base + static_cast<ptrdiff_t>(row) * stride; }
const uint8_t* Row(const uint8_t* base, int stride, int row) {
    return base + static_cast<ptrdiff_t>(row) * stride;
}

// The planes must be there and rows must not overlap; without these checks a
// bad descriptor would make us read or write outside the caller's planes.
bool PlanarSourceFits(const PlanarSource& s, int width) {
    const int chromaWidth = (width + 1) / 2;
    return s.pY && s.pU && s.pV && s.iYStride >= width && s.iUStride >= chromaWidth && s.iVStride >= chromaWidth;
}

bool DestinationFits(const PackedDestination& d, int rowBytes, int rows) {
    return d.pData && rows > 0 && rowBytes > 0 && d.iStride >= rowBytes;
}

}  // namespace

ColorConverter::ColorConverter() { SetAdjustments(50, 50, 50); }

void ColorConverter::SetAdjustments(int iBrightness, int iContrast, int iSaturation) {
    // Values outside 0..100 would overflow the 16-bit gains.
    m_iBrightness = std::clamp(iBrightness, 0, 100);
    m_iContrast = std::clamp(iContrast, 0, 100);
    m_iSaturation = std::clamp(iSaturation, 0, kSaturationCap);
    const int b = m_iBrightness, c = m_iContrast, s = m_iSaturation;

    ConversionCoefficients& k = m_coefficients;
    k.uLumaSubtract = static_cast<uint8_t>(b < 50 ? 2 * (50 - b) : 0);
    k.uLumaAdd = static_cast<uint8_t>(b < 50 ? 0 : 2 * (b - 50));
    k.iKy = static_cast<int16_t>(kLumaBase * c * 20 / 1000);
    const int64_t offset = static_cast<int64_t>(20 * c - 1000) * kLumaBase * 128 / 1000;
    k.iOy = static_cast<int16_t>(offset >> 13);
    k.iKvr = static_cast<int16_t>(kVToRed * s * 20 / 1000);
    k.iKug = static_cast<int16_t>(kUToGreen * s * 20 / 1000);
    k.iKvg = static_cast<int16_t>(kVToGreen * s * 20 / 1000);
    k.iKub = static_cast<int16_t>(kUToBlue * s * 20 / 1000);
    k.iGc = static_cast<int16_t>(8192 * c * 20 / 1000);
    k.iGs = static_cast<int16_t>(8192 * s * 20 / 1000);
}

bool ColorConverter::ScaleEquals(float a, float b) {
    const double scaled = std::trunc((static_cast<double>(a) - static_cast<double>(b)) * 1000000.0);
    return scaled >= -1.0 && scaled <= 1.0;
}

bool ColorConverter::PlannarToPacked(const PlanarSource& source, const PackedDestination& destination,
                                     float fHScaler, float fVScaler) {
    if (!source.pY) {
        DebugOutput("[QOR]PlannarToPacked() NULL m_pY.\n");
        return false;
    }
    const int format = destination.iFormat;
    if (source.iFormat != kFormatPlanar ||
        (format != kFormatUYVY && format != kFormatRGB32 && format != kFormatRGB24 && format != kFormatRGB565)) {
        DebugOutput("[QOR]PlannarToPacked() not support this color change.\n");
        return false;
    }
    switch (format) {
    case kFormatRGB32: return yuv2rgb(source, destination, "yuv2rgb_32");
    case kFormatRGB24: return yuv2rgb(source, destination, "yuv2rgb_24");
    case kFormatRGB565: return yuv2rgb(source, destination, "yuv2rgb_565");
    default: break;
    }
    const bool hOne = ScaleEquals(fHScaler, 1.0f), vOne = ScaleEquals(fVScaler, 1.0f);
    const bool hHalf = ScaleEquals(fHScaler, 0.5f), vHalf = ScaleEquals(fVScaler, 0.5f);
    const bool hThree = ScaleEquals(fHScaler, 0.75f), vThree = ScaleEquals(fVScaler, 0.75f);
    if (hOne && vOne) return uyvyScaled(source, destination, -1);
    if (hThree && vThree) return uyvyScaled(source, destination, static_cast<int>(kernels::UyvyScaler::ThreeQuarters));
    if (hOne && vThree)
        return uyvyScaled(source, destination, static_cast<int>(kernels::UyvyScaler::ThreeQuartersVertical));
    if (hHalf && vHalf) return uyvyScaled(source, destination, static_cast<int>(kernels::UyvyScaler::Half));
    if (hOne && vHalf) return uyvyScaled(source, destination, static_cast<int>(kernels::UyvyScaler::HalfVertical));
    // An unknown pair leaves the surface as it was; the picture is simply not
    // refreshed, which callers treat as success.
    DebugOutput("[QOR]PlannarToPacked() fHScaler=%f, fVScaler=%f error.\n", static_cast<double>(fHScaler),
                static_cast<double>(fVScaler));
    return true;
}

bool ColorConverter::yuv2rgb(const PlanarSource& s, const PackedDestination& d, const char* pName) {
    const int width = d.iWidth, height = d.iHeight, format = d.iFormat;
    if (width <= 0 || !PlanarSourceFits(s, width) || !DestinationFits(d, width * BytesPerPixel(format), height)) {
        DebugOutput("[QOR]%s() report ZRV.\n", pName);
        return false;
    }
    // RGB24 goes bottom-up, as bitmaps store it.
    auto outRow = [&](int row) { return Row(d.pData, d.iStride, format == kFormatRGB24 ? height - 1 - row : row); };
    for (int row = 0; row < height; row += 2) {
        const uint8_t* u = Row(s.pU, s.iUStride, row / 2);
        const uint8_t* v = Row(s.pV, s.iVStride, row / 2);
        const uint8_t* y0 = Row(s.pY, s.iYStride, row);
        const bool pair = row + 1 < height;
        const uint8_t* y1 = pair ? Row(s.pY, s.iYStride, row + 1) : nullptr;
        if (m_path != Path::Reference) {
            kernels::RgbRowPairVector(m_coefficients, y0, y1, u, v, width, outRow(row),
                                      pair ? outRow(row + 1) : nullptr, format, m_path == Path::Vectorised);
        } else {
            kernels::RgbRowReference(m_coefficients, y0, u, v, 0, width, outRow(row), format);
            if (pair) kernels::RgbRowReference(m_coefficients, y1, u, v, 0, width, outRow(row + 1), format);
        }
    }
    return true;
}

bool ColorConverter::uyvyScaled(const PlanarSource& s, const PackedDestination& d, int iScaler) {
    static const char* const kNames[] = {"uyvy_out_half", "uyvy_out_half_Vertical_c", "uyvy_out_3per4_Bilinear_c",
                                         "uyvy_out_3per4_Vertical"};
    const char* name = iScaler < 0 ? "uyvy_out" : kNames[iScaler];
    const int width = d.iWidth, height = d.iHeight;
    int outWidth = width, outHeight = height;
    if (iScaler >= 0)
        kernels::ScaledSize(static_cast<kernels::UyvyScaler>(iScaler), width, height, &outWidth, &outHeight);
    if (width <= 0 || outWidth <= 0 || !PlanarSourceFits(s, width) ||
        !DestinationFits(d, (outWidth + 1) / 2 * 4, outHeight)) {
        DebugOutput("[QOR]%s() report ZRV.\n", name);
        return false;
    }
    if (iScaler >= 0) {
        kernels::UyvyScaledReference(m_coefficients, s, width, height, d.pData, d.iStride,
                                     static_cast<kernels::UyvyScaler>(iScaler));
        return true;
    }
    const int pairs = (width + 1) / 2;
    for (int row = 0; row < height; row += 2) {
        const uint8_t* u = Row(s.pU, s.iUStride, row / 2);
        const uint8_t* v = Row(s.pV, s.iVStride, row / 2);
        const uint8_t* y0 = Row(s.pY, s.iYStride, row);
        const bool pair = row + 1 < height;
        const uint8_t* y1 = pair ? Row(s.pY, s.iYStride, row + 1) : nullptr;
        uint8_t* o0 = Row(d.pData, d.iStride, row);
        uint8_t* o1 = pair ? Row(d.pData, d.iStride, row + 1) : nullptr;
        if (m_path != Path::Reference) {
            kernels::UyvyRowPairVector(m_coefficients, y0, y1, u, v, width, o0, o1, m_path == Path::Vectorised);
        } else {
            kernels::UyvyRowReference(m_coefficients, y0, u, v, 0, pairs, width, o0);
            if (pair) kernels::UyvyRowReference(m_coefficients, y1, u, v, 0, pairs, width, o1);
        }
    }
    return true;
}

bool ColorConverter::PackedToPacked(const PackedSource& s, const PackedDestination& d) {
    if (!s.pData) {
        DebugOutput("[QOR]PackedToPacked() NULL source.\n");
        return false;
    }
    const int from = s.iFormat, to = d.iFormat;
    const bool supported = (from == kFormatUYVY && (to == kFormatUYVY || to == kFormatRGB24)) ||
                           (from == kFormatRGB32 && (to == kFormatRGB32 || to == kFormatRGB24)) ||
                           (from == kFormatRGB565 && (to == kFormatRGB565 || to == kFormatRGB32 || to == kFormatRGB24));
    if (!supported) {
        DebugOutput("[QOR]PackedToPacked() not support this color change.\n");
        return false;
    }
    const int width = d.iWidth, height = d.iHeight;
    const int sourceRowBytes = from == kFormatUYVY ? (width + 1) / 2 * 4 : width * BytesPerPixel(from);
    const int destinationRowBytes = to == kFormatUYVY ? (width + 1) / 2 * 4 : width * BytesPerPixel(to);
    if (width <= 0 || s.iWidth < width || s.iHeight < height || s.iStride < sourceRowBytes ||
        !DestinationFits(d, destinationRowBytes, height)) {
        DebugOutput("[QOR]PackedToPacked() report ZRV.\n");
        return false;
    }
    if (from == to) {
        for (int row = 0; row < height; ++row)
            std::memcpy(Row(d.pData, d.iStride, row), Row(s.pData, s.iStride, row), static_cast<size_t>(sourceRowBytes));
        return true;
    }
    for (int row = 0; row < height; ++row) {
        const uint8_t* in = Row(s.pData, s.iStride, row);
        uint8_t* out = Row(d.pData, d.iStride, to == kFormatRGB24 ? height - 1 - row : row);
        for (int x = 0; x < width; ++x) {
            int r = 0, g = 0, b = 0;
            if (from == kFormatUYVY) {
                const uint8_t* pair = in + 4 * (x / 2);
                const int uc = pair[0] - 128, vc = pair[2] - 128;
                const int y = pair[(x % 2) ? 3 : 1];
                r = kernels::ClampByte(y + ((45 * vc) >> 5));
                g = kernels::ClampByte(y + ((-23 * vc - 11 * uc) >> 5));
                b = kernels::ClampByte(y + ((57 * uc) >> 5));
            } else if (from == kFormatRGB32) {
                b = in[4 * x];
                g = in[4 * x + 1];
                r = in[4 * x + 2];
            } else {
                // Replicate the top bits so that full intensity stays 255.
                const int w = in[2 * x] | (in[2 * x + 1] << 8);
                const int r5 = (w >> 11) & 0x1F, g6 = (w >> 5) & 0x3F, b5 = w & 0x1F;
                r = (r5 << 3) | (r5 >> 2);
                g = (g6 << 2) | (g6 >> 4);
                b = (b5 << 3) | (b5 >> 2);
            }
            uint8_t* px = out + x * BytesPerPixel(to);
            px[0] = static_cast<uint8_t>(b);
            px[1] = static_cast<uint8_t>(g);
            px[2] = static_cast<uint8_t>(r);
            if (to == kFormatRGB32) px[3] = 0;
        }
    }
    return true;
}

bool ColorConverter::PlannarToPlannar(const PlanarSource& s, const PlanarDestination& d) {
    if (!s.pY) {
        DebugOutput("[QOR]PlannarToPlannar() NULL m_pY.\n");
        return false;
    }
    if (s.iFormat != kFormatPlanar || d.iFormat != 0) {
        DebugOutput("[QOR]PlannarToPlannar() not support this color change.\n");
        return false;
    }
    const int width = d.iWidth, height = d.iHeight;
    const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
    if (width <= 0 || height <= 0 || !PlanarSourceFits(s, width) || !d.pY || !d.pU || !d.pV ||
        d.iYStride < width || d.iUStride < chromaWidth || d.iVStride < chromaWidth) {
        DebugOutput("[QOR]PlannarToPlannar() report ZRV.\n");
        return false;
    }
    // Copy the picture's own rows and row length: the source rows may be
    // shorter than the surface pitch, and the picture need not be 288 rows.
    for (int row = 0; row < height; ++row)
        std::memcpy(Row(d.pY, d.iYStride, row), Row(s.pY, s.iYStride, row), static_cast<size_t>(width));
    for (int row = 0; row < chromaHeight; ++row) {
        uint8_t* v = Row(d.pV, d.iVStride, row);
        uint8_t* u = Row(d.pU, d.iUStride, row);
        // The last row may end where the plane ends, so its padding is not ours.
        const bool last = row + 1 == chromaHeight;
        std::memset(v, 0, static_cast<size_t>(last ? chromaWidth : d.iVStride));
        std::memset(u, 0, static_cast<size_t>(last ? chromaWidth : d.iUStride));
        std::memcpy(v, Row(s.pV, s.iVStride, row), static_cast<size_t>(chromaWidth));
        std::memcpy(u, Row(s.pU, s.iUStride, row), static_cast<size_t>(chromaWidth));
    }
    return true;
}

}  // namespace qor
