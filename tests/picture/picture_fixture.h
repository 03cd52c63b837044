// Small planar pictures for the conversion tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "player/picture/color_converter.h"

namespace qor::test {

struct PlanarPicture {
    int width = 0, height = 0;
    int yStride = 0, cStride = 0;
    std::vector<uint8_t> y, u, v;

    PlanarPicture(int w, int h, int padding = 0)
        : width(w), height(h), yStride(w + padding), cStride((w + 1) / 2 + padding / 2),
          y(static_cast<size_t>(yStride) * h), u(static_cast<size_t>(cStride) * ((h + 1) / 2)),
          v(static_cast<size_t>(cStride) * ((h + 1) / 2)) {}

    void Fill(uint8_t yv, uint8_t uv, uint8_t vv) {
        std::fill(y.begin(), y.end(), yv);
        std::fill(u.begin(), u.end(), uv);
        std::fill(v.begin(), v.end(), vv);
    }
    void Randomise(uint32_t seed) {
        std::mt19937 rng(seed);
        for (auto* plane : {&y, &u, &v})
            for (auto& b : *plane) b = static_cast<uint8_t>(rng());
    }
    uint8_t& Y(int x, int r) { return y[static_cast<size_t>(r) * yStride + x]; }
    uint8_t& U(int x, int r) { return u[static_cast<size_t>(r) * cStride + x]; }
    uint8_t& V(int x, int r) { return v[static_cast<size_t>(r) * cStride + x]; }

    PlanarSource Source() const {
        PlanarSource s;
        s.pY = y.data();
        s.pU = u.data();
        s.pV = v.data();
        s.iYStride = yStride;
        s.iUStride = cStride;
        s.iVStride = cStride;
        return s;
    }
};

}  // namespace qor::test
