#include "player/decoding/pcm_dither.h"

namespace qor {

int16_t DitherTo16(int32_t iSample, DitherState* pState) {
    constexpr int64_t kMax = (int64_t{1} << 28) - 1;
    constexpr int64_t kMin = -(int64_t{1} << 28);
    constexpr int64_t kMask = 8191;

    int64_t s = int64_t{iSample} + pState->e0 - pState->e1 + pState->e2;
    pState->e2 = pState->e1;
    pState->e1 = pState->e0 / 2;

    int64_t o = s + 4096;
    const uint32_t next = pState->r * 1664525u + 1013904223u;
    o += static_cast<int64_t>(next & kMask) - static_cast<int64_t>(pState->r & kMask);
    pState->r = next;

    if (o > kMax) {
        o = kMax;
        if (s > kMax) s = kMax;
    } else if (o < kMin) {
        o = kMin;
        if (s < kMin) s = kMin;
    }
    o &= ~kMask;
    pState->e0 = static_cast<int32_t>(s - o);
    return static_cast<int16_t>(o >> 13);
}

}  // namespace qor
