#include "player/output/picture_delivery.h"

#include <cstring>

#include "platform/debug_output.h"

namespace qor {

namespace {

// Copies the three planes into one I420 block: Y, then U at w*h, then V at w*h*5/4.
bool CopyToBlock(const VideoDecodeFrameInfo& picture, uint8_t* pBlock, uint32_t* pLength) {
    const size_t w = static_cast<size_t>(picture.iWidth), h = static_cast<size_t>(picture.iHeight);
    const size_t total = w * h * 3 / 2;
    if (picture.iWidth <= 0 || picture.iHeight <= 0 || total > kWholeBlockBytes || !picture.pY || !picture.pU ||
        !picture.pV) {
        return false;
    }
    uint8_t* out = pBlock;
    for (size_t r = 0; r < h; ++r, out += w) std::memcpy(out, picture.pY + r * picture.iYStride, w);
    for (size_t r = 0; r < h / 2; ++r, out += w / 2) std::memcpy(out, picture.pU + r * picture.iUStride, w / 2);
    for (size_t r = 0; r < h / 2; ++r, out += w / 2) std::memcpy(out, picture.pV + r * picture.iVStride, w / 2);
    *pLength = static_cast<uint32_t>(total);
    return true;
}

}  // namespace

bool DeliverPictureToCallbacks(uint32_t uPlayerId, int iFrameRate, const VideoDecodeFrameInfo& picture,
                               const PictureCallbacks& callbacks) {
    if (callbacks.fpVideoDecode != nullptr) {
        VideoDecodeFrameInfo info = picture;
        info.uUserValue = callbacks.uUserValue;
        try {
            callbacks.fpVideoDecode(uPlayerId, &info);
        } catch (...) {
            DebugOutput("[QOR]m_fpNewVideoDisplayCallBack() report ZRV.\n");
        }
        return true;
    }
    if (callbacks.fpDec == nullptr) return false;

    DecodedPictureInfo info{0, picture.iWidth, picture.iHeight, iFrameRate, picture.uTimeStamp, picture.iFormat};
    const uint8_t* pData = nullptr;
    uint32_t uLength = 0;
    if (picture.iFormat == QOR_PICTURE_PLANAR_YUV420) {
        if (callbacks.pBlockBuffer != nullptr && CopyToBlock(picture, callbacks.pBlockBuffer, &uLength)) {
            pData = callbacks.pBlockBuffer;
        }
    } else {
        pData = picture.pPackedData;
        uLength = picture.uPackedLength;
    }
    DecoderPictureDescriptor descriptor{picture.pPackedData, picture.uPackedLength, 0, 0, picture.pY, picture.pU,
                                        picture.pV, picture.iYStride, picture.iUStride, picture.iVStride,
                                        callbacks.uUserValue, 0, uLength};
    try {
        callbacks.fpDec(uPlayerId, pData, uLength, &info, &descriptor);
    } catch (...) {
        DebugOutput("[QOR]m_fpVideoDisplayCallBack() report ZRV.\n");
    }
    return true;
}

}  // namespace qor
