#include "player/container/frame_search.h"

#include "player/container/format.h"

namespace qor {

namespace {

bool TypeMatches(int iType, int iWanted) {
    if (iWanted == kFrameAny) return true;
    if (iWanted == kFrameAnyVideo) return iType >= kFrameKey && iType <= kFramePredicted2;
    return iType == iWanted;
}

constexpr int kKeptBytes = kFrameHeaderSize - 1;

}  // namespace

int SearchFrameForward(const uint8_t* pBuffer, int iLength, int iWanted, int* pType, int* pRest, int64_t* pResume) {
    if (pBuffer == nullptr || iLength < kFrameHeaderSize) {
        if (pRest != nullptr) *pRest = iLength > 0 ? iLength : 0;
        if (pResume != nullptr) *pResume = 0;
        return -1;
    }
    int64_t p = 0;
    while (p <= int64_t(iLength) - kFrameHeaderSize) {
        const uint8_t* frame = pBuffer + p;
        uint32_t code = ReadLe32(frame);
        if (code == kFrameStartCode) {
            int type = FrameTypeOf(frame);
            if (iWanted == kFrameAny) {
                if (pType != nullptr) *pType = type;
                return int(p);
            }
            int length = FrameLengthOf(frame);
            if (length < 1) {
                ++p;  // a false start code
                continue;
            }
            if (TypeMatches(type, iWanted)) {
                if (pType != nullptr) *pType = type;
                return int(p);
            }
            p += length;
        } else if (code == kFileHeaderStartCode) {
            if (pType != nullptr) *pType = kFrameFileHeader;
            return int(p);
        } else {
            ++p;
        }
    }
    if (pRest != nullptr) *pRest = kKeptBytes;
    if (pResume != nullptr) *pResume = p;
    return -1;
}

int SearchFrameBackward(const uint8_t* pBuffer, int iLength, int iWanted, int* pType, int* pRest) {
    if (pRest != nullptr) *pRest = iLength < kKeptBytes ? (iLength > 0 ? iLength : 0) : kKeptBytes;
    if (pBuffer == nullptr) return -1;
    int p = iLength - kFrameHeaderSize;
    while (p >= 0) {
        const uint8_t* frame = pBuffer + p;
        uint32_t code = ReadLe32(frame);
        if (code == kFrameStartCode) {
            int type = FrameTypeOf(frame);
            if (TypeMatches(type, iWanted)) {
                if (pType != nullptr) *pType = type;
                return p;
            }
            p -= kFrameHeaderSize;
        } else if (code == kFileHeaderStartCode) {
            if (pType != nullptr) *pType = kFrameFileHeader;
            return p;
        } else {
            --p;
        }
    }
    return -1;
}

}  // namespace qor
