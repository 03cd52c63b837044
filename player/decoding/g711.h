// G.711 mu-law conversions, used by the G.726 decoder's output stage and to
// expand the decoded samples to 16-bit PCM.
#pragma once

#include <cstdint>

namespace qor {

int16_t MuLawToLinear(uint8_t uCode);
uint8_t LinearToMuLaw(int iSample);  // iSample in the 16-bit range

}  // namespace qor
