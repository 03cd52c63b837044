#include "player/picture/picture_resize.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace qor {
namespace {

struct LinearTap {
    int i0, i1, w1;  // w1 in 1/256 for i1; i0 gets 256 - w1
};

std::vector<LinearTap> LinearTaps(int sourceSize, int size) {
    std::vector<LinearTap> taps(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) {
        // Source position of the output pixel's centre, in 1/256 pixel.
        int64_t position = ((2 * static_cast<int64_t>(i) + 1) * sourceSize * 256) / (2 * size) - 128;
        position = std::clamp<int64_t>(position, 0, static_cast<int64_t>(sourceSize - 1) * 256);
        const int i0 = static_cast<int>(position >> 8);
        taps[i] = {i0, std::min(i0 + 1, sourceSize - 1), static_cast<int>(position & 255)};
    }
    return taps;
}

}  // namespace

void ResizeBilinear(const uint8_t* source, int sourceWidth, int sourceHeight, int sourceStride, uint8_t* destination,
                    int width, int height, int destinationStride, int bytesPerPixel) {
    if (sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0) return;
    const auto columns = LinearTaps(sourceWidth, width);
    const auto rows = LinearTaps(sourceHeight, height);
    for (int y = 0; y < height; ++y) {
        const LinearTap& r = rows[y];
        const uint8_t* a = source + static_cast<ptrdiff_t>(r.i0) * sourceStride;
        const uint8_t* b = source + static_cast<ptrdiff_t>(r.i1) * sourceStride;
        uint8_t* out = destination + static_cast<ptrdiff_t>(y) * destinationStride;
        for (int x = 0; x < width; ++x) {
            const LinearTap& c = columns[x];
            for (int k = 0; k < bytesPerPixel; ++k) {
                const int top = (256 - c.w1) * a[c.i0 * bytesPerPixel + k] + c.w1 * a[c.i1 * bytesPerPixel + k];
                const int bottom = (256 - c.w1) * b[c.i0 * bytesPerPixel + k] + c.w1 * b[c.i1 * bytesPerPixel + k];
                out[x * bytesPerPixel + k] = static_cast<uint8_t>(((256 - r.w1) * top + r.w1 * bottom + 32768) >> 16);
            }
        }
    }
}

void StretchCubicHorizontal(const uint8_t* source, int sourceWidth, int height, int sourceStride,
                            uint8_t* destination, int width, int destinationStride, int bytesPerPixel) {
    if (sourceWidth <= 0 || width <= 0 || height <= 0) return;
    struct CubicTap {
        int index[4];
        int weight[4];  // 1/1024, summing to 1024
    };
    std::vector<CubicTap> taps(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        const double position = (x + 0.5) * sourceWidth / width - 0.5;
        const int base = static_cast<int>(std::floor(position));
        const double t = position - base;
        // Catmull-Rom weights for the samples at base - 1 .. base + 2.
        const double w[4] = {((-t + 2) * t - 1) * t / 2, ((3 * t - 5) * t * t + 2) / 2, ((-3 * t + 4) * t + 1) * t / 2,
                             (t - 1) * t * t / 2};
        CubicTap& tap = taps[x];
        int sum = 0;
        for (int k = 0; k < 4; ++k) {
            tap.index[k] = std::clamp(base - 1 + k, 0, sourceWidth - 1);
            tap.weight[k] = static_cast<int>(std::lround(w[k] * 1024));
            sum += tap.weight[k];
        }
        tap.weight[1] += 1024 - sum;
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = source + static_cast<ptrdiff_t>(y) * sourceStride;
        uint8_t* out = destination + static_cast<ptrdiff_t>(y) * destinationStride;
        for (int x = 0; x < width; ++x) {
            const CubicTap& tap = taps[x];
            for (int k = 0; k < bytesPerPixel; ++k) {
                int v = 512;
                for (int i = 0; i < 4; ++i) v += tap.weight[i] * in[tap.index[i] * bytesPerPixel + k];
                out[x * bytesPerPixel + k] = static_cast<uint8_t>(std::clamp(v >> 10, 0, 255));
            }
        }
    }
}

}  // namespace qor
