// Area-based deinterlacing of one picture plane: each odd line is kept
// unless the area around it shows combing, in which case it is replaced by
// the mean of the even lines above and below.
#pragma once

#include <cstdint>

namespace qor {

constexpr int kAreaBasedThreshold = 330;

void areabased1(const uint8_t* pSrc, int iSrcStride, uint8_t* pDst, int iDstStride, int iWidth, int iHeight,
                int iThreshold = kAreaBasedThreshold);

}  // namespace qor
