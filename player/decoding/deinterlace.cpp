#include "player/decoding/deinterlace.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace qor {

void areabased1(const uint8_t* pSrc, int iSrcStride, uint8_t* pDst, int iDstStride, int iWidth, int iHeight,
                int iThreshold) {
    if (!pSrc || !pDst || iWidth <= 0 || iHeight <= 0) return;
    // Per column: the first product term of the pair above, which measures
    // combing between that pair's odd line and this pair's even line.
    thread_local std::vector<int> carried;
    carried.resize(static_cast<size_t>(iWidth));
    const int pairs = iHeight / 2;
    for (int pair = 0; pair < pairs; ++pair) {
        const uint8_t* e0 = pSrc + static_cast<ptrdiff_t>(2 * pair) * iSrcStride;
        const uint8_t* o1 = e0 + iSrcStride;
        uint8_t* outEven = pDst + static_cast<ptrdiff_t>(2 * pair) * iDstStride;
        uint8_t* outOdd = outEven + iDstStride;
        std::memcpy(outEven, e0, static_cast<size_t>(iWidth));
        const bool lastPair = 2 * pair + 3 >= iHeight;
        if (lastPair) {
            for (int x = 0; x < iWidth; ++x) outOdd[x] = static_cast<uint8_t>((o1[x] + e0[x]) / 2);
            continue;
        }
        const uint8_t* e2 = o1 + iSrcStride;
        const uint8_t* o3 = e2 + iSrcStride;
        for (int x = 0; x < iWidth; ++x) {
            const int E0 = e0[x], O1 = o1[x], E2 = e2[x], O3 = o3[x];
            const int lower = (E2 - O3) * (E2 - O1) - (((O1 - O3) * (O1 - O3)) >> 2);
            const int middle = 2 * ((E0 - O1) * (E2 - O1) - (((E0 - E2) * (E0 - E2)) >> 2));
            const int upper = pair == 0 ? (E0 - O1) * (E0 - O1) : carried[x];
            outOdd[x] = lower + middle + upper > iThreshold ? static_cast<uint8_t>((E0 + E2) / 2) : static_cast<uint8_t>(O1);
            carried[x] = lower;
        }
    }
    if (iHeight & 1) {
        std::memcpy(pDst + static_cast<ptrdiff_t>(iHeight - 1) * iDstStride,
                    pSrc + static_cast<ptrdiff_t>(iHeight - 1) * iSrcStride, static_cast<size_t>(iWidth));
    }
}

}  // namespace qor
