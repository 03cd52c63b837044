// avcdecode over libavcodec's H.264 decoder.
#include "decoders/avc/avc_decoder.h"

#include <new>

#include "decoders/marlin/libav_video_decoder.h"
#include "decoders/marlin/picture_filters.h"

#define QOR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using qor_components::CopyPicture;
using qor_components::HasLayout;
using qor_components::LibavVideoDecoder;
using qor_components::PictureBuffer;
using qor_components::PictureFilter;
using qor_components::PictureLayout;
using qor_components::PlaneSet;

constexpr int kMaxDimension = 4096;

struct AvcDecoder {
    AvcDecoder() : lastFrame(av_frame_alloc()) {}
    ~AvcDecoder() { av_frame_free(&lastFrame); }
    AvcDecoder(const AvcDecoder&) = delete;
    AvcDecoder& operator=(const AvcDecoder&) = delete;

    LibavVideoDecoder codec;
    // Used when a picture cannot be handed out as decoded (and black until
    // the first picture).
    PictureBuffer picture;
    PictureFilter filter;
    // The last picture delivered: the context's picture pointer may point
    // into it, so it is held until the next picture (or destruction), also
    // across calls that give none.
    AVFrame* lastFrame = nullptr;
    // The last call delivered lastFrame, so the post filter may use it.
    bool bFresh = false;
};

PlaneSet ContiguousPlanes(uint8_t* pStart, int iWidth, int iHeight) {
    PlaneSet planes;
    planes.pY = pStart;
    planes.pU = pStart + static_cast<size_t>(iWidth) * iHeight;
    planes.pV = planes.pU + static_cast<size_t>(iWidth) * iHeight / 4;
    planes.iStrideY = iWidth;
    planes.iStrideC = iWidth / 2;
    return planes;
}

}  // namespace

QOR_EXPORT H264DecoderContext* h264_init(int32_t iWidth, int32_t iHeight) {
    // The picture block holds exact quarter-size chroma planes.
    if (iWidth <= 0 || iHeight <= 0 || iWidth > kMaxDimension || iHeight > kMaxDimension || (iWidth | iHeight) & 1)
        return nullptr;
    try {
        auto* decoder = new AvcDecoder;
        if (!decoder->lastFrame ||
            !decoder->codec.Open(AV_CODEC_ID_H264, nullptr, 0, false, PictureLayout::ContiguousI420)) {
            delete decoder;
            return nullptr;
        }
        decoder->filter.SetPostFilter(1);
        auto* context = new H264DecoderContext{};
        context->iWidth = iWidth;
        context->iHeight = iHeight;
        context->pPrivate = decoder;
        const PlaneSet planes = decoder->picture.Allocate(iWidth, iHeight, iWidth, iWidth / 2);
        // Black until the first picture arrives.
        std::memset(planes.pY, 16, static_cast<size_t>(iWidth) * iHeight);
        std::memset(planes.pU, 128, static_cast<size_t>(iWidth) * iHeight / 2);
        context->pPicture = planes.pY;
        return context;
    } catch (...) {
        return nullptr;
    }
}

QOR_EXPORT int32_t h264_decode_one_frame(H264DecoderContext* pContext) {
    if (!pContext || !pContext->pPrivate) return QOR_AVC_ERROR;
    auto* decoder = static_cast<AvcDecoder*>(pContext->pPrivate);
    try {
        decoder->bFresh = false;
        if (!pContext->pData || pContext->uLength == 0) return QOR_AVC_NO_PICTURE;
        decoder->codec.SetExportQp(pContext->bPostFilter != 0);
        const AVFrame* frame = decoder->codec.Decode(pContext->pData, pContext->uLength);
        if (!frame) return QOR_AVC_NO_PICTURE;
        // A stream whose size differs from the one the context was made for
        // cannot fill the fixed picture block; refuse it rather than crop.
        if (frame->width != pContext->iWidth || frame->height != pContext->iHeight) return QOR_AVC_ERROR;
        const int width = pContext->iWidth;
        const int height = pContext->iHeight;
        av_frame_unref(decoder->lastFrame);
        if (HasLayout(frame, PictureLayout::ContiguousI420, width, height) &&
            av_frame_ref(decoder->lastFrame, frame) >= 0) {
            // Read only: the decoder may still predict from this picture.
            pContext->pPicture = decoder->lastFrame->data[0];
        } else {
            const PlaneSet planes = decoder->picture.Allocate(width, height, width, width / 2);
            CopyPicture(frame, planes, width, height);
            pContext->pPicture = planes.pY;
            if (av_frame_ref(decoder->lastFrame, frame) < 0) return QOR_AVC_PICTURE_READY;
        }
        decoder->bFresh = true;
        return QOR_AVC_PICTURE_READY;
    } catch (...) {
        return QOR_AVC_ERROR;
    }
}

QOR_EXPORT int32_t postfilter(H264DecoderContext* pContext, uint8_t* pDestination, int32_t /*iReserved*/) {
    if (!pContext || !pContext->pPrivate || !pDestination) return -1;
    auto* decoder = static_cast<AvcDecoder*>(pContext->pPrivate);
    const PlaneSet out = ContiguousPlanes(pDestination, pContext->iWidth, pContext->iHeight);
    try {
        if (decoder->bFresh && pContext->bPostFilter) {
            decoder->filter.Apply(decoder->lastFrame, out, pContext->iWidth, pContext->iHeight);
        } else {
            std::memcpy(pDestination, pContext->pPicture, static_cast<size_t>(pContext->iWidth) * pContext->iHeight * 3 / 2);
        }
        return 0;
    } catch (...) {
        return -1;
    }
}

QOR_EXPORT void h264_destroy(H264DecoderContext* pContext) {
    if (!pContext) return;
    delete static_cast<AvcDecoder*>(pContext->pPrivate);
    delete pContext;
}
