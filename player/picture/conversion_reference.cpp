#include "player/picture/conversion_kernels.h"

namespace qor::kernels {

void RgbRowReference(const ConversionCoefficients& c, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                     int x0, int x1, uint8_t* out, int format) {
    for (int x = x0; x < x1; ++x) {
        int yt = RgbLuma(c, y[x]);
        int uc = 8 * (u[x / 2] - 128);
        int vc = 8 * (v[x / 2] - 128);
        int r = ClampByte(yt + MulHigh(vc, c.iKvr));
        int g = ClampByte(yt + MulHigh(uc, c.iKug) + MulHigh(vc, c.iKvg));
        int b = ClampByte(yt + MulHigh(uc, c.iKub));
        switch (format) {
        case kFormatRGB32:
            out[4 * x] = static_cast<uint8_t>(b);
            out[4 * x + 1] = static_cast<uint8_t>(g);
            out[4 * x + 2] = static_cast<uint8_t>(r);
            out[4 * x + 3] = 0;
            break;
        case kFormatRGB24:
            out[3 * x] = static_cast<uint8_t>(b);
            out[3 * x + 1] = static_cast<uint8_t>(g);
            out[3 * x + 2] = static_cast<uint8_t>(r);
            break;
        default: {  // RGB565 with green's lowest bit left 0
            uint16_t w = static_cast<uint16_t>(((r & 0xF8) << 8) | ((g & 0xF8) << 3) | (b >> 3));
            out[2 * x] = static_cast<uint8_t>(w);
            out[2 * x + 1] = static_cast<uint8_t>(w >> 8);
            break;
        }
        }
    }
}

void UyvyRowReference(const ConversionCoefficients& c, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                      int p0, int p1, int width, uint8_t* out) {
    for (int p = p0; p < p1; ++p) {
        int x = 2 * p;
        out[4 * p] = UyvyChroma(c, u[p]);
        out[4 * p + 1] = UyvyLuma(c, y[x]);
        out[4 * p + 2] = UyvyChroma(c, v[p]);
        out[4 * p + 3] = UyvyLuma(c, y[x + 1 < width ? x + 1 : x]);
    }
}

}  // namespace qor::kernels
