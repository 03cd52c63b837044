// A libavcodec video decoder set up for the recorder streams: one picture
// out for each coded frame in, in the same call (low delay, no frame
// threading), because callers pair time stamps with pictures by count.
// Header-only so that each decoder component library carries its own copy.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

#include <cstdint>
#include <cstring>
#include <vector>

namespace qor_components {

class LibavVideoDecoder {
public:
    LibavVideoDecoder() = default;
    LibavVideoDecoder(const LibavVideoDecoder&) = delete;
    LibavVideoDecoder& operator=(const LibavVideoDecoder&) = delete;
    ~LibavVideoDecoder() { Close(); }

    // Extradata is optional stream configuration (MPEG-4 VOL, H.264 SPS/PPS).
    bool Open(AVCodecID codecId, const uint8_t* pExtra, size_t uExtraLength, bool bExportQp) {
        Close();
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

private:
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
};

}  // namespace qor_components
