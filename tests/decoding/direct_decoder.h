// libavcodec used directly, the way a plain program would: the yardstick the
// adapters are measured against.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <vector>

namespace qor::test {

class DirectDecoder {
public:
    DirectDecoder(AVCodecID id, const uint8_t* pExtra, int iExtraLength) {
        const AVCodec* codec = avcodec_find_decoder(id);
        m_pContext = avcodec_alloc_context3(codec);
        m_pContext->thread_count = 1;
        if (pExtra && iExtraLength > 0) {
            m_pContext->extradata = static_cast<uint8_t*>(av_mallocz(iExtraLength + AV_INPUT_BUFFER_PADDING_SIZE));
            std::copy(pExtra, pExtra + iExtraLength, m_pContext->extradata);
            m_pContext->extradata_size = iExtraLength;
        }
        avcodec_open2(m_pContext, codec, nullptr);
        m_pFrame = av_frame_alloc();
        m_pPacket = av_packet_alloc();
    }
    ~DirectDecoder() {
        av_frame_free(&m_pFrame);
        av_packet_free(&m_pPacket);
        avcodec_free_context(&m_pContext);
    }
    DirectDecoder(const DirectDecoder&) = delete;
    DirectDecoder& operator=(const DirectDecoder&) = delete;

    // The picture of this frame, or null.
    const AVFrame* Decode(const uint8_t* pData, uint32_t uLength) {
        m_buffer.assign(pData, pData + uLength);
        m_buffer.resize(uLength + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        m_pPacket->data = m_buffer.data();
        m_pPacket->size = static_cast<int>(uLength);
        av_frame_unref(m_pFrame);
        if (avcodec_send_packet(m_pContext, m_pPacket) < 0) return nullptr;
        return avcodec_receive_frame(m_pContext, m_pFrame) == 0 ? m_pFrame : nullptr;
    }

private:
    AVCodecContext* m_pContext = nullptr;
    AVFrame* m_pFrame = nullptr;
    AVPacket* m_pPacket = nullptr;
    std::vector<uint8_t> m_buffer;
};

}  // namespace qor::test
