// Shrinking planar-to-UYVY outputs for overlay surfaces smaller than the
// picture. Each routine builds one output row of luma and chroma samples,
// then applies the adjustments exactly as the unscaled output does.
#include <cstddef>
#include <vector>

#include "player/picture/conversion_kernels.h"

namespace qor::kernels {
namespace {

// Four source samples give three output samples at 1/8, 1 1/2 and 2 13/16;
// weights in 1/256 for the tap at the phase and the one after it.
constexpr int kFirstWeight[3] = {224, 128, 48};
constexpr int kSecondWeight[3] = {32, 128, 208};

struct Taps {
    int i0, i1, w0, w1;
};

Taps ThreeQuarterTaps(int index, int limit) {
    int phase = index % 3;
    int first = 4 * (index / 3) + phase;
    return {std::min(first, limit - 1), std::min(first + 1, limit - 1), kFirstWeight[phase], kSecondWeight[phase]};
}

int Bilinear(const uint8_t* r0, const uint8_t* r1, const Taps& v, const Taps& h) {
    int sum = v.w0 * (h.w0 * r0[h.i0] + h.w1 * r0[h.i1]) + v.w1 * (h.w0 * r1[h.i0] + h.w1 * r1[h.i1]);
    return sum >> 16;
}

int Vertical(const uint8_t* r0, const uint8_t* r1, const Taps& v, int x) {
    return (v.w0 * 256 * r0[x] + v.w1 * 256 * r1[x]) >> 16;
}

}  // namespace

void ScaledSize(UyvyScaler scaler, int width, int height, int* outWidth, int* outHeight) {
    switch (scaler) {
    case UyvyScaler::Half: *outWidth = width / 2; *outHeight = height / 2; break;
    case UyvyScaler::HalfVertical: *outWidth = width; *outHeight = height / 2; break;
    case UyvyScaler::ThreeQuarters: *outWidth = width * 3 / 4; *outHeight = height * 3 / 4; break;
    case UyvyScaler::ThreeQuartersVertical: *outWidth = width; *outHeight = height * 3 / 4; break;
    }
}

void UyvyScaledReference(const ConversionCoefficients& c, const PlanarSource& s, int width, int height,
                         uint8_t* out, int stride, UyvyScaler scaler) {
    int ow = 0, oh = 0;
    ScaledSize(scaler, width, height, &ow, &oh);
    const int pairs = (ow + 1) / 2;
    const int chromaWidth = (width + 1) / 2;
    std::vector<uint8_t> luma(static_cast<size_t>(2 * pairs));
    std::vector<uint8_t> us(static_cast<size_t>(pairs)), vs(static_cast<size_t>(pairs));
    auto yRow = [&](int r) { return s.pY + static_cast<ptrdiff_t>(r) * s.iYStride; };
    auto uRow = [&](int r) { return s.pU + static_cast<ptrdiff_t>(r) * s.iUStride; };
    auto vRow = [&](int r) { return s.pV + static_cast<ptrdiff_t>(r) * s.iVStride; };

    for (int oy = 0; oy < oh; ++oy) {
        switch (scaler) {
        case UyvyScaler::Half: {
            const uint8_t* a = yRow(2 * oy);
            const uint8_t* b = yRow(2 * oy + 1);
            for (int x = 0; x < ow; ++x)
                luma[x] = static_cast<uint8_t>((a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1]) / 4);
            for (int p = 0; p < pairs; ++p) {
                us[p] = uRow(oy)[2 * p];
                vs[p] = vRow(oy)[2 * p];
            }
            break;
        }
        case UyvyScaler::HalfVertical: {
            const uint8_t* a = yRow(2 * oy);
            const uint8_t* b = yRow(oy == 0 ? 0 : 2 * oy - 1);
            for (int x = 0; x < ow; ++x) luma[x] = static_cast<uint8_t>((a[x] + b[x]) / 2);
            for (int p = 0; p < pairs; ++p) {
                us[p] = uRow(oy)[p];
                vs[p] = vRow(oy)[p];
            }
            break;
        }
        case UyvyScaler::ThreeQuarters:
        case UyvyScaler::ThreeQuartersVertical: {
            const bool horizontal = scaler == UyvyScaler::ThreeQuarters;
            Taps v = ThreeQuarterTaps(oy, height);
            const uint8_t* a = yRow(v.i0);
            const uint8_t* b = yRow(v.i1);
            for (int x = 0; x < ow; ++x)
                luma[x] = static_cast<uint8_t>(horizontal ? Bilinear(a, b, v, ThreeQuarterTaps(x, width))
                                                          : Vertical(a, b, v, x));
            // Chroma rows are the luma rows' own (4:2:0 sites repeated per pair of rows).
            const uint8_t* ua = uRow(v.i0 / 2);
            const uint8_t* ub = uRow(v.i1 / 2);
            const uint8_t* va = vRow(v.i0 / 2);
            const uint8_t* vb = vRow(v.i1 / 2);
            for (int p = 0; p < pairs; ++p) {
                if (horizontal) {
                    Taps h = ThreeQuarterTaps(p, chromaWidth);
                    us[p] = static_cast<uint8_t>(Bilinear(ua, ub, v, h));
                    vs[p] = static_cast<uint8_t>(Bilinear(va, vb, v, h));
                } else {
                    us[p] = static_cast<uint8_t>(Vertical(ua, ub, v, p));
                    vs[p] = static_cast<uint8_t>(Vertical(va, vb, v, p));
                }
            }
            break;
        }
        }
        if (ow % 2) luma[ow] = luma[ow - 1];
        uint8_t* o = out + static_cast<ptrdiff_t>(oy) * stride;
        for (int p = 0; p < pairs; ++p) {
            o[4 * p] = UyvyChroma(c, us[p]);
            o[4 * p + 1] = UyvyLuma(c, luma[2 * p]);
            o[4 * p + 2] = UyvyChroma(c, vs[p]);
            o[4 * p + 3] = UyvyLuma(c, luma[2 * p + 1]);
        }
    }
}

}  // namespace qor::kernels
