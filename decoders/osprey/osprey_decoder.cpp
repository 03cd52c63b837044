// orcaOspreydec over libavcodec's MPEG-4 Part 2 decoder.
#include "decoders/osprey/osprey_decoder.h"

#include <new>

#include "decoders/marlin/libav_video_decoder.h"
#include "decoders/marlin/mpeg4_vol.h"
#include "decoders/marlin/picture_filters.h"

#define QOR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using qor_components::CopyPicture;
using qor_components::HasLayout;
using qor_components::kLineMargin;
using qor_components::LibavVideoDecoder;
using qor_components::PictureBuffer;
using qor_components::PictureLayout;
using qor_components::PlaneSet;

struct OspreyDecoder {
    LibavVideoDecoder codec;
    PictureBuffer picture;
    // libavcodec takes stream headers only together with a picture, so the
    // headers wait for the frame's picture data.
    std::vector<uint8_t> pendingHeader;
    qor_components::Mpeg4VolInfo vol;
};

// Offset of the first start code at or after `from`, or -1.
long FindStartCode(const uint8_t* p, long n, long from) {
    for (long i = from; i + 3 < n; ++i)
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) return i;
    return -1;
}

// Stream headers (visual object sequence, visual object, video object
// layer, user data) up to the first group-of-VOP or VOP start code.
long StreamHeaderLength(const uint8_t* p, long n) {
    long pos = FindStartCode(p, n, 0);
    if (pos != 0) return 0;
    while (pos >= 0) {
        const uint8_t code = p[pos + 3];
        if (code == 0xB3 || code == 0xB6) return pos;
        pos = FindStartCode(p, n, pos + 3);
    }
    return n;
}

int32_t Decode(OspreyDecoder* decoder, OspreyFrameRecord* frame, OspreyStatistics* stats) {
    stats->iType = QOR_OSPREY_STATS_NOTHING;
    frame->pPlanes[0] = frame->pPlanes[1] = frame->pPlanes[2] = nullptr;
    if (!frame->pData || frame->iLength <= 0) return 0;
    const long n = frame->iLength;
    const long headerLength = StreamHeaderLength(frame->pData, n);
    if (headerLength > 0) {
        decoder->pendingHeader.assign(frame->pData, frame->pData + headerLength);
        qor_components::ParseMpeg4Vol(frame->pData, static_cast<size_t>(headerLength), &decoder->vol);
        stats->iType = QOR_OSPREY_STATS_HEADER;
        stats->iWidth = decoder->vol.iWidth;
        stats->iHeight = decoder->vol.iHeight;
        stats->uHeaderInfo = (static_cast<uint32_t>(decoder->vol.iWidth) << 16) | (static_cast<uint32_t>(decoder->vol.iHeight) & 0xFFFF);
        return static_cast<int32_t>(headerLength);
    }
    const AVFrame* picture = decoder->codec.Decode(frame->pData, static_cast<size_t>(n), decoder->pendingHeader.data(),
                                                   decoder->pendingHeader.size());
    decoder->pendingHeader.clear();
    if (!picture) return static_cast<int32_t>(n);
    const int width = picture->width;
    const int height = picture->height;
    // The recorder's pictures leave a margin of 128 bytes per line. The
    // decoder usually writes them that way already; otherwise copy.
    if (HasLayout(picture, PictureLayout::LineMargin128, width, height)) {
        // Read only: the decoder may still predict from this picture.
        frame->pPlanes[0] = picture->data[0];
        frame->pPlanes[1] = picture->data[1];
        frame->pPlanes[2] = picture->data[2];
        frame->iStrides[0] = picture->linesize[0];
        frame->iStrides[1] = frame->iStrides[2] = picture->linesize[1];
    } else {
        const int strideY = width + kLineMargin;
        const PlaneSet planes = decoder->picture.Allocate(width, height, strideY, strideY / 2);
        CopyPicture(picture, planes, width, height);
        frame->pPlanes[0] = planes.pY;
        frame->pPlanes[1] = planes.pU;
        frame->pPlanes[2] = planes.pV;
        frame->iStrides[0] = planes.iStrideY;
        frame->iStrides[1] = frame->iStrides[2] = planes.iStrideC;
    }
    stats->iType = picture->pict_type == AV_PICTURE_TYPE_I ? 1 : 2;
    stats->iWidth = width;
    stats->iHeight = height;
    return static_cast<int32_t>(n);
}

}  // namespace

QOR_EXPORT int32_t orcaOsprey_global(void* /*hHandle*/, int32_t iOperation, void* pParam1, void* /*pParam2*/) {
    if (iOperation != QOR_OSPREY_GLOBAL_INIT) return QOR_OSPREY_ERR_FAIL;
    auto* settings = static_cast<OspreyGlobalSettings*>(pParam1);
    if (!settings) return QOR_OSPREY_ERR_FAIL;
    if (settings->uVersion != QOR_OSPREY_VERSION) return QOR_OSPREY_ERR_VERSION;
    return 0;
}

QOR_EXPORT int32_t orcaOsprey_decore(void* hHandle, int32_t iOperation, void* pParam1, void* pParam2) {
    try {
        switch (iOperation) {
            case QOR_OSPREY_DEC_CREATE: {
                auto* create = static_cast<OspreyCreateRecord*>(pParam1);
                if (!create) return QOR_OSPREY_ERR_FAIL;
                if (create->uVersion != QOR_OSPREY_VERSION) return QOR_OSPREY_ERR_VERSION;
                auto* decoder = new OspreyDecoder;
                if (!decoder->codec.Open(AV_CODEC_ID_MPEG4, nullptr, 0, false, PictureLayout::LineMargin128)) {
                    delete decoder;
                    return QOR_OSPREY_ERR_FAIL;
                }
                create->hHandle = decoder;
                return 0;
            }
            case QOR_OSPREY_DEC_DESTROY:
                delete static_cast<OspreyDecoder*>(hHandle);
                return 0;
            case QOR_OSPREY_DEC_DECODE: {
                auto* decoder = static_cast<OspreyDecoder*>(hHandle);
                auto* frame = static_cast<OspreyFrameRecord*>(pParam1);
                auto* stats = static_cast<OspreyStatistics*>(pParam2);
                if (!decoder || !frame || !stats) return QOR_OSPREY_ERR_FAIL;
                if (frame->uVersion != QOR_OSPREY_VERSION || stats->uVersion != QOR_OSPREY_VERSION)
                    return QOR_OSPREY_ERR_VERSION;
                if (frame->iColorSpace != QOR_OSPREY_COLORSPACE_I420) return QOR_OSPREY_ERR_FAIL;
                return Decode(decoder, frame, stats);
            }
            default:
                return QOR_OSPREY_ERR_FAIL;
        }
    } catch (...) {
        return QOR_OSPREY_ERR_FAIL;
    }
}
