// The default picture and sound of generated recordings. Both are cheap to
// compute (an hour of 704x576 must generate quickly) and smooth enough that a
// moderate quantiser keeps them well above 30 dB PSNR.
#include "recording_generator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace qor::recgen {

void TestPattern(int index, int width, int height, uint8_t* y, int yStride, uint8_t* u, uint8_t* v, int cStride)
{
    // A diagonal ramp scrolling by two pixels per picture, with a bright box
    // that travels across it so that motion and picture index are visible.
    const int shift = 2 * index;
    const int boxSize = std::max(8, height / 6);
    const int boxX = (index * 4) % std::max(1, width - boxSize);
    const int boxY = (index * 2) % std::max(1, height - boxSize);
    for (int row = 0; row < height; ++row) {
        uint8_t* line = y + static_cast<ptrdiff_t>(row) * yStride;
        const int base = 32 + ((row * 3 / 4) & 0x3F);
        const int offset = row / 2 + shift;
        for (int col = 0; col < width; ++col)
            line[col] = static_cast<uint8_t>(base + ((col + offset) & 0x7F));
        if (row >= boxY && row < boxY + boxSize)
            std::memset(line + boxX, 235, static_cast<size_t>(std::min(boxSize, width - boxX)));
    }
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    for (int row = 0; row < ch; ++row) {
        uint8_t* lu = u + static_cast<ptrdiff_t>(row) * cStride;
        if (row == 0) {
            for (int col = 0; col < cw; ++col)
                lu[col] = static_cast<uint8_t>(64 + ((col + index) * 128 / std::max(1, cw)) % 128);
        } else {
            std::memcpy(lu, u, static_cast<size_t>(cw));
        }
        std::memset(v + static_cast<ptrdiff_t>(row) * cStride,
                    64 + (row * 128 / std::max(1, ch) + index) % 128, static_cast<size_t>(cw));
    }
}

void TestTone(int sampleRate, int channels, int64_t first, int count, int16_t* out)
{
    // 440 Hz on the first channel, 660 Hz on the second: two channels that
    // cannot be mistaken for each other.
    const double rate = sampleRate > 0 ? sampleRate : 8000;
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(first + i) / rate;
        for (int c = 0; c < channels; ++c) {
            const double freq = c == 0 ? 440.0 : 660.0;
            out[static_cast<ptrdiff_t>(i) * channels + c] =
                static_cast<int16_t>(std::lround(9000.0 * std::sin(2.0 * std::numbers::pi * freq * t)));
        }
    }
}

}  // namespace qor::recgen
