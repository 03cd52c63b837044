// DecoderMarlin over libavcodec's MPEG-4 Part 2 decoder.
#include "decoders/marlin/marlin_decoder.h"

#include <new>

#include "decoders/marlin/libav_video_decoder.h"
#include "decoders/marlin/mpeg4_vol.h"
#include "decoders/marlin/picture_filters.h"

#define QOR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using qor_components::LibavVideoDecoder;
using qor_components::PictureBuffer;
using qor_components::PictureFilter;
using qor_components::PlaneSet;

constexpr int kMaxDimension = 4096;
constexpr int kDefaultFrameRate = 25;

struct MarlinDecoder {
    LibavVideoDecoder codec;
    PictureFilter filter;
    PictureBuffer filtered;
    int32_t iWidth = 0;
    int32_t iHeight = 0;
    int32_t iFrameRate = kDefaultFrameRate;
    int32_t iDecodingMode = 0;
    uint32_t uModelCode = 0;
};

bool HoldsStartCode(const uint8_t* p, uint32_t n) {
    for (uint32_t i = 0; i + 3 < n; ++i)
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) return true;
    return false;
}

int FrameRateOf(const AVCodecContext* ctx, int iFallback) {
    if (ctx->framerate.num > 0 && ctx->framerate.den > 0) {
        const int rate = ctx->framerate.num / ctx->framerate.den;
        if (rate >= 1 && rate <= 120) return rate;
    }
    return iFallback;
}

void ClearPicture(MarlinOutputDesc* pOut, const MarlinDecoder* pDecoder) {
    *pOut = MarlinOutputDesc{};
    pOut->iWidth = pDecoder->iWidth;
    pOut->iHeight = pDecoder->iHeight;
    pOut->iFrameType = -1;
    pOut->iFrameRate = pDecoder->iFrameRate;
}

MarlinDecoder* FromHandle(MarlinDecoderHandle h) { return static_cast<MarlinDecoder*>(h); }

}  // namespace

QOR_EXPORT uint32_t GetQORMarlinDllVersion(void) { return QOR_MARLIN_DLL_VERSION; }

QOR_EXPORT MarlinDecoderHandle OrcaMarlinDecoder_CreateDecoder(const MarlinDecoderParams* pParams, MarlinOutputDesc* pOut) {
    if (!pParams || !pOut) return nullptr;
    if (pParams->uModelCode != QOR_MARLIN_MODEL_MARLIN && pParams->uModelCode != QOR_MARLIN_MODEL_HERON) return nullptr;
    if (pParams->iWidth <= 0 || pParams->iHeight <= 0 || pParams->iWidth > kMaxDimension || pParams->iHeight > kMaxDimension)
        return nullptr;
    try {
        auto* decoder = new MarlinDecoder;
        decoder->iWidth = pParams->iWidth;
        decoder->iHeight = pParams->iHeight;
        decoder->iDecodingMode = pParams->iDecodingMode;
        decoder->uModelCode = pParams->uModelCode;
        const bool config = pParams->pConfig && pParams->uConfigLength > 0 && pParams->uConfigLength < 1024 &&
                            HoldsStartCode(pParams->pConfig, pParams->uConfigLength);
        if (!decoder->codec.Open(AV_CODEC_ID_MPEG4, config ? pParams->pConfig : nullptr,
                                 config ? pParams->uConfigLength : 0, false)) {
            delete decoder;
            return nullptr;
        }
        AVCodecContext* ctx = decoder->codec.Context();
        ctx->width = decoder->iWidth;
        ctx->height = decoder->iHeight;
        qor_components::Mpeg4VolInfo vol;
        if (config && qor_components::ParseMpeg4Vol(pParams->pConfig, pParams->uConfigLength, &vol) &&
            vol.iFrameRate >= 1 && vol.iFrameRate <= 120)
            decoder->iFrameRate = vol.iFrameRate;
        ClearPicture(pOut, decoder);
        return decoder;
    } catch (...) {
        return nullptr;
    }
}

QOR_EXPORT int32_t OrcaMarlinDecoder_DecoderOneFrame(MarlinDecoderHandle hDecoder, const MarlinDecoderParams* pInput,
                                                     MarlinOutputDesc* pOut) {
    MarlinDecoder* decoder = FromHandle(hDecoder);
    if (!decoder || !pInput || !pOut) return -1;
    try {
        ClearPicture(pOut, decoder);
        const AVFrame* frame = decoder->codec.Decode(pInput->pConfig, pInput->uConfigLength);
        // Configuration repeated inside key frames may carry a new rate.
        if (frame) decoder->iFrameRate = FrameRateOf(decoder->codec.Context(), decoder->iFrameRate);
        pOut->iFrameRate = decoder->iFrameRate;
        if (!frame) return 1;
        const int width = frame->width;
        const int height = frame->height;
        pOut->iWidth = width;
        pOut->iHeight = height;
        pOut->iFrameType = frame->pict_type == AV_PICTURE_TYPE_I ? 0 : 1;
        if (!decoder->filter.Active()) {
            pOut->pY = frame->data[0];
            pOut->pU = frame->data[1];
            pOut->pV = frame->data[2];
            pOut->iStrideY = frame->linesize[0];
            pOut->iStrideU = frame->linesize[1];
            pOut->iStrideV = frame->linesize[2];
            return 0;
        }
        const int strideY = (width + 31) & ~31;
        const PlaneSet planes = decoder->filtered.Allocate(width, height, strideY, strideY / 2);
        decoder->filter.Apply(frame, planes, width, height);
        pOut->pY = planes.pY;
        pOut->pU = planes.pU;
        pOut->pV = planes.pV;
        pOut->iStrideY = planes.iStrideY;
        pOut->iStrideU = pOut->iStrideV = planes.iStrideC;
        return 0;
    } catch (...) {
        ClearPicture(pOut, decoder);
        return -1;
    }
}

QOR_EXPORT int32_t OrcaMarlinDecoder_SetVideoQuality(MarlinDecoderHandle hDecoder, int32_t iQuality) {
    MarlinDecoder* decoder = FromHandle(hDecoder);
    if (!decoder) return -1;
    decoder->codec.SetFast(iQuality == 0);
    return 0;
}

QOR_EXPORT int32_t OrcaMarlinDecoder_SetPostFilter(MarlinDecoderHandle hDecoder, int32_t iLevel) {
    MarlinDecoder* decoder = FromHandle(hDecoder);
    if (!decoder || iLevel < 0 || iLevel > 2) return -1;
    decoder->filter.SetPostFilter(iLevel);
    decoder->codec.SetExportQp(iLevel > 0);
    return 0;
}

QOR_EXPORT int32_t OrcaMarlinDecoder_SetBrightness(MarlinDecoderHandle hDecoder, int32_t iValue) {
    MarlinDecoder* decoder = FromHandle(hDecoder);
    if (!decoder) return -1;
    decoder->filter.SetBrightness(iValue);
    return 0;
}

QOR_EXPORT int32_t OrcaMarlinDecoder_SetContrast(MarlinDecoderHandle hDecoder, int32_t iValue) {
    MarlinDecoder* decoder = FromHandle(hDecoder);
    if (!decoder) return -1;
    decoder->filter.SetContrast(iValue);
    return 0;
}

QOR_EXPORT int32_t OrcaMarlinDecoder_SetSaturation(MarlinDecoderHandle hDecoder, int32_t iValue) {
    MarlinDecoder* decoder = FromHandle(hDecoder);
    if (!decoder) return -1;
    decoder->filter.SetSaturation(iValue);
    return 0;
}

QOR_EXPORT void OrcaMarlinDecoder_ReleaseDecoder(MarlinDecoderHandle hDecoder) { delete FromHandle(hDecoder); }
