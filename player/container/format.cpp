#include "player/container/format.h"

namespace qor {

Family FamilyFromFormatType(uint32_t uFormatType) {
    switch (uFormatType) {
        case kFormatMarlin: return Family::Marlin;
        case kFormatHeron: return Family::Heron;
        case kFormatOsprey: return Family::Osprey;
        case kFormatYuv: return Family::Yuv;
        default: return Family::Unsupported;
    }
}

int FindStartCode(const uint8_t* pBuffer, int iLength, uint32_t uCode) {
    if (pBuffer == nullptr) return -1;
    for (int i = 0; i + 4 <= iLength; ++i) {
        if (ReadLe32(pBuffer + i) == uCode) return i;
    }
    return -1;
}

uint32_t FindTrailerValue(const uint8_t* pBuffer, int iLength) {
    if (pBuffer == nullptr) return 0;
    for (int end = iLength - 1; end >= kTrailerValueDistance; --end) {
        int matched = 0;
        while (matched < kTrailerSignatureLength &&
               pBuffer[end - matched] == uint8_t(kTrailerSignature[kTrailerSignatureLength - 1 - matched])) {
            ++matched;
        }
        if (matched == kTrailerSignatureLength) return ReadLe32(pBuffer + end - kTrailerValueDistance);
    }
    return 0;
}

}  // namespace qor
