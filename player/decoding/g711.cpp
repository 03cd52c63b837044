#include "player/decoding/g711.h"

namespace qor {

namespace {
constexpr int kMuLawBias = 0x84;
}

int16_t MuLawToLinear(uint8_t uCode) {
    const int inverted = static_cast<uint8_t>(~uCode);
    const int t = (((inverted & 0x0F) << 3) + kMuLawBias) << ((inverted & 0x70) >> 4);
    return static_cast<int16_t>((inverted & 0x80) ? kMuLawBias - t : t - kMuLawBias);
}

uint8_t LinearToMuLaw(int iSample) {
    int mask;
    if (iSample < 0) {
        iSample = kMuLawBias - iSample;
        mask = 0x7F;
    } else {
        iSample += kMuLawBias;
        mask = 0xFF;
    }
    int segment = 0;
    while (segment < 8 && iSample > (0x100 << segment) - 1) ++segment;
    if (segment >= 8) return static_cast<uint8_t>(0x7F ^ mask);
    return static_cast<uint8_t>(((segment << 4) | ((iSample >> (segment + 3)) & 0x0F)) ^ mask);
}

}  // namespace qor
