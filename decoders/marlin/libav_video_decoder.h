// A libavcodec video decoder set up for the recorder streams: one picture
// out for each coded frame in, in the same call (low delay, no frame
// threading), because callers pair time stamps with pictures by count.
// Header-only so that each decoder component library carries its own copy.
//
// A component may ask for the pictures to be decoded straight into the
// layout it hands out (PictureLayout), which saves copying every picture.
// That is a request, not a promise: whenever the stream does not allow the
// layout, libavcodec's own buffers are used, so callers check each picture's
// strides and plane offsets and copy when they differ.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

#include <cstdint>
#include <cstring>
#include <vector>

namespace qor_components {

enum class PictureLayout {
    Default,          // libavcodec's buffers
    LineMargin128,    // separate planes, luma stride width + 128, chroma half of it
    ContiguousI420,   // one block: Y (stride width), then U, then V (stride width / 2)
};

// Strides libavcodec's decoders can live with. Their SIMD code only assumes
// what its own buffers guarantee at macroblock granularity: a luma
// macroblock row starts on 16 bytes (an odd macroblock is never on 32), a
// chroma block row on 8 (an odd one never on 16). The luma rule is real:
// MPEG-4 motion compensation stores 16 luma bytes with aligned stores, and a
// luma stride of 856 faults there. Plane starts stay on 64.
constexpr int kLumaStrideAlign = 16;
constexpr int kChromaStrideAlign = 8;
constexpr int kPlaneAlign = 64;
constexpr int kLineMargin = 128;

class LibavVideoDecoder {
public:
    LibavVideoDecoder() = default;
    LibavVideoDecoder(const LibavVideoDecoder&) = delete;
    LibavVideoDecoder& operator=(const LibavVideoDecoder&) = delete;
    ~LibavVideoDecoder() { Close(); }

    // Extradata is optional stream configuration (MPEG-4 VOL, H.264 SPS/PPS).
    bool Open(AVCodecID codecId, const uint8_t* pExtra, size_t uExtraLength, bool bExportQp,
              PictureLayout layout = PictureLayout::Default) {
        Close();
        m_layout = layout;
        const AVCodec* codec = avcodec_find_decoder(codecId);
        if (!codec) return false;
        m_pContext = avcodec_alloc_context3(codec);
        m_pFrame = av_frame_alloc();
        m_pSpare = av_frame_alloc();
        m_pPacket = av_packet_alloc();
        if (!m_pContext || !m_pFrame || !m_pSpare || !m_pPacket) return Fail();
        m_pContext->flags |= AV_CODEC_FLAG_LOW_DELAY;
        m_pContext->thread_count = 1;
        m_pContext->thread_type = 0;
        if (bExportQp) m_pContext->export_side_data |= AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
        if (layout != PictureLayout::Default) {
            m_pContext->opaque = this;
            m_pContext->get_buffer2 = &GetBuffer;
        }
        if (pExtra && uExtraLength > 0) {
            m_pContext->extradata = static_cast<uint8_t*>(av_mallocz(uExtraLength + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!m_pContext->extradata) return Fail();
            std::memcpy(m_pContext->extradata, pExtra, uExtraLength);
            m_pContext->extradata_size = static_cast<int>(uExtraLength);
        }
        if (avcodec_open2(m_pContext, codec, nullptr) < 0) return Fail();
        return true;
    }

    void Close() {
        if (m_pFrame) av_frame_free(&m_pFrame);
        if (m_pSpare) av_frame_free(&m_pSpare);
        if (m_pPacket) av_packet_free(&m_pPacket);
        if (m_pContext) avcodec_free_context(&m_pContext);
        // Pictures still referenced elsewhere keep the pool's memory alive.
        av_buffer_pool_uninit(&m_pPool);
        m_uPoolSize = 0;
    }

    bool IsOpen() const { return m_pContext != nullptr; }

    // Per-macroblock quantisers cost time on every picture; ask for them only
    // while a post filter needs them.
    void SetExportQp(bool bExport) {
        if (!m_pContext) return;
        if (bExport)
            m_pContext->export_side_data |= AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
        else
            m_pContext->export_side_data &= ~AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
    }

    // Allows libavcodec's inexact shortcuts.
    void SetFast(bool bFast) {
        if (!m_pContext) return;
        if (bFast)
            m_pContext->flags2 |= AV_CODEC_FLAG2_FAST;
        else
            m_pContext->flags2 &= ~AV_CODEC_FLAG2_FAST;
    }

    // Decodes one coded frame (any number of headers plus at most one
    // picture). Returns the picture it gave, or null. The picture stays valid
    // until the next call.
    // pPrefix (optional) is sent in the same packet, ahead of the data.
    const AVFrame* Decode(const uint8_t* pData, size_t uLength, const uint8_t* pPrefix = nullptr, size_t uPrefixLength = 0) {
        if (!pPrefix) uPrefixLength = 0;
        if (!m_pContext || !pData || uLength == 0 || uLength > 0x7FFFFFF0u - uPrefixLength) return nullptr;
        const size_t total = uPrefixLength + uLength;
        // libavcodec reads a little past the end of a packet.
        if (m_input.size() < total + AV_INPUT_BUFFER_PADDING_SIZE) m_input.resize(total + AV_INPUT_BUFFER_PADDING_SIZE);
        if (uPrefixLength) std::memcpy(m_input.data(), pPrefix, uPrefixLength);
        std::memcpy(m_input.data() + uPrefixLength, pData, uLength);
        std::memset(m_input.data() + total, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        uLength = total;
        av_packet_unref(m_pPacket);
        m_pPacket->data = m_input.data();
        m_pPacket->size = static_cast<int>(uLength);
        av_frame_unref(m_pFrame);
        if (avcodec_send_packet(m_pContext, m_pPacket) < 0) {
            // A damaged frame may leave a picture queued; do not let it
            // surface one frame late.
            Drain();
            return nullptr;
        }
        // Keep the newest picture should the decoder ever hold more than one.
        bool got = false;
        while (avcodec_receive_frame(m_pContext, m_pSpare) >= 0) {
            av_frame_unref(m_pFrame);
            av_frame_move_ref(m_pFrame, m_pSpare);
            got = true;
        }
        if (!got) return nullptr;
        if (m_pFrame->format != AV_PIX_FMT_YUV420P && m_pFrame->format != AV_PIX_FMT_YUVJ420P) return nullptr;
        if (m_pFrame->width <= 0 || m_pFrame->height <= 0 || !m_pFrame->data[0] || !m_pFrame->data[1] || !m_pFrame->data[2])
            return nullptr;
        return m_pFrame;
    }

    AVCodecContext* Context() const { return m_pContext; }
    PictureLayout Layout() const { return m_layout; }

private:
    static int GetBuffer(AVCodecContext* pContext, AVFrame* pFrame, int iFlags) {
        auto* self = static_cast<LibavVideoDecoder*>(pContext->opaque);
        if (self && self->AllocateInLayout(pContext, pFrame)) return 0;
        return avcodec_default_get_buffer2(pContext, pFrame, iFlags);
    }

    static size_t AlignUp(size_t n) { return (n + kPlaneAlign - 1) & ~static_cast<size_t>(kPlaneAlign - 1); }

    // Fills pFrame with planes in the chosen layout, or returns false to
    // leave the picture to libavcodec's buffers. The choice depends on the
    // sizes only, so it stays the same for every picture of a stream (the
    // MPEG-4 decoder refuses a stride that changes mid-stream).
    bool AllocateInLayout(AVCodecContext* pContext, AVFrame* pFrame) {
        if (pFrame->format != AV_PIX_FMT_YUV420P && pFrame->format != AV_PIX_FMT_YUVJ420P) return false;
        // The frame carries the coded size, the context the picture size.
        const int width = pContext->width;
        const int height = pContext->height;
        if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return false;
        if (pFrame->width < width || pFrame->height < height) return false;
        int alignedWidth = pFrame->width;
        int alignedHeight = pFrame->height;
        int strideAlign[AV_NUM_DATA_POINTERS];
        avcodec_align_dimensions2(pContext, &alignedWidth, &alignedHeight, strideAlign);
        int strideY = 0;
        size_t rowsY = 0;
        size_t rowsC = 0;
        if (m_layout == PictureLayout::LineMargin128) {
            strideY = width + kLineMargin;
            // Rows down to the aligned height, and one more pair, since
            // some motion compensation reads a line past its block.
            rowsY = static_cast<size_t>(alignedHeight) + 2;
            rowsC = static_cast<size_t>(alignedHeight + 1) / 2 + 1;
        } else if (m_layout == PictureLayout::ContiguousI420) {
            // The next plane starts right below the picture, so the decoder
            // must write no row or column outside it: whole macroblocks,
            // coded size equal to the picture size, nothing cropped.
            if (pFrame->width != width || pFrame->height != height || width % 16 || height % 16) return false;
            strideY = width;
            rowsY = static_cast<size_t>(height);
            rowsC = static_cast<size_t>(height) / 2;
        } else {
            return false;
        }
        const int strideC = strideY / 2;
        if (strideY % kLumaStrideAlign || strideC % kChromaStrideAlign) return false;
        if (strideY < alignedWidth || strideC < (alignedWidth + 1) / 2) return false;

        const size_t lumaBytes = static_cast<size_t>(strideY) * rowsY;
        const size_t chromaBytes = static_cast<size_t>(strideC) * rowsC;
        size_t offsetU = 0;
        size_t offsetV = 0;
        size_t end = 0;
        if (m_layout == PictureLayout::ContiguousI420) {
            offsetU = lumaBytes;
            offsetV = offsetU + chromaBytes;
            // Reads a few lines past the last block land here.
            end = offsetV + chromaBytes + 4 * static_cast<size_t>(strideY);
        } else {
            offsetU = AlignUp(lumaBytes + kPlaneAlign);
            offsetV = AlignUp(offsetU + chromaBytes + kPlaneAlign);
            end = offsetV + chromaBytes + 2 * static_cast<size_t>(strideC);
        }
        // Slack in front of the first plane and behind the last one for
        // SIMD loads that run past a block edge, plus room to align.
        const size_t size = kPlaneAlign + AlignUp(end) + kPlaneAlign + kPlaneAlign;
        if (!m_pPool || m_uPoolSize != size) {
            av_buffer_pool_uninit(&m_pPool);
            m_uPoolSize = 0;
            m_pPool = av_buffer_pool_init(size, av_buffer_allocz);
            if (!m_pPool) return false;
            m_uPoolSize = size;
        }
        AVBufferRef* buffer = av_buffer_pool_get(m_pPool);
        if (!buffer) return false;
        const uintptr_t raw = reinterpret_cast<uintptr_t>(buffer->data) + kPlaneAlign;
        uint8_t* base = reinterpret_cast<uint8_t*>((raw + kPlaneAlign - 1) & ~static_cast<uintptr_t>(kPlaneAlign - 1));
        for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) {
            pFrame->data[i] = nullptr;
            pFrame->linesize[i] = 0;
            pFrame->buf[i] = nullptr;
        }
        pFrame->buf[0] = buffer;
        pFrame->data[0] = base;
        pFrame->data[1] = base + offsetU;
        pFrame->data[2] = base + offsetV;
        pFrame->linesize[0] = strideY;
        pFrame->linesize[1] = pFrame->linesize[2] = strideC;
        pFrame->extended_data = pFrame->data;
        return true;
    }

    bool Fail() {
        Close();
        return false;
    }
    void Drain() {
        while (avcodec_receive_frame(m_pContext, m_pSpare) >= 0) av_frame_unref(m_pSpare);
    }
    AVCodecContext* m_pContext = nullptr;
    AVFrame* m_pFrame = nullptr;
    AVFrame* m_pSpare = nullptr;
    AVPacket* m_pPacket = nullptr;
    std::vector<uint8_t> m_input;
    PictureLayout m_layout = PictureLayout::Default;
    AVBufferPool* m_pPool = nullptr;
    size_t m_uPoolSize = 0;
};

// True when the picture's planes have the given layout for width x height.
inline bool HasLayout(const AVFrame* pFrame, PictureLayout layout, int iWidth, int iHeight) {
    if (layout == PictureLayout::LineMargin128) {
        const int strideY = iWidth + kLineMargin;
        return pFrame->linesize[0] == strideY && pFrame->linesize[1] == strideY / 2 && pFrame->linesize[2] == strideY / 2;
    }
    if (layout == PictureLayout::ContiguousI420) {
        if (iWidth % 2 || iHeight % 2) return false;
        const size_t lumaBytes = static_cast<size_t>(iWidth) * iHeight;
        return pFrame->linesize[0] == iWidth && pFrame->linesize[1] == iWidth / 2 && pFrame->linesize[2] == iWidth / 2 &&
               pFrame->data[1] == pFrame->data[0] + lumaBytes && pFrame->data[2] == pFrame->data[1] + lumaBytes / 4;
    }
    return false;
}

}  // namespace qor_components
