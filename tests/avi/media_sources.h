// Raw pictures and sound for the encoder tests: a pattern that moves from
// picture to picture, and a sine tone.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace avitest {

// I420, planes contiguous: Y (w*h), U, V (w/2*h/2 each).
inline std::vector<uint8_t> MovingPicture(int index, int width, int height) {
    std::vector<uint8_t> p(static_cast<size_t>(width) * height * 3 / 2);
    uint8_t* y = p.data();
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            const int x = c + 3 * index, z = r + 2 * index;
            y[r * width + c] = static_cast<uint8_t>(((x / 16 + z / 16) & 1) ? 200 : 40) + static_cast<uint8_t>((x + z) & 15);
        }
    }
    uint8_t* u = y + width * height;
    uint8_t* v = u + (width / 2) * (height / 2);
    for (int r = 0; r < height / 2; ++r) {
        for (int c = 0; c < width / 2; ++c) {
            u[r * (width / 2) + c] = static_cast<uint8_t>(128 + 60 * std::sin((c + index) * 0.05));
            v[r * (width / 2) + c] = static_cast<uint8_t>(128 + 60 * std::cos((r + index) * 0.07));
        }
    }
    return p;
}

// Interleaved 16-bit PCM: samples per channel starting at sample first.
inline std::vector<int16_t> SineTone(int sampleRate, int channels, int64_t first, int samples, double hz = 440.0) {
    std::vector<int16_t> pcm(static_cast<size_t>(samples) * channels);
    for (int i = 0; i < samples; ++i) {
        const double t = static_cast<double>(first + i) / sampleRate;
        for (int c = 0; c < channels; ++c) {
            pcm[static_cast<size_t>(i) * channels + c] =
                static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * (c + 1) * t));
        }
    }
    return pcm;
}

}  // namespace avitest
