// Dithered, noise-shaped conversion of the MPEG audio decoder's fixed-point
// samples (28 fractional bits) to 16-bit PCM. One state per channel.
#pragma once

#include <cstdint>

namespace qor {

struct DitherState {
    int32_t e0 = 0;
    int32_t e1 = 0;
    int32_t e2 = 0;
    uint32_t r = 0;
};

int16_t DitherTo16(int32_t iSample, DitherState* pState);

}  // namespace qor
