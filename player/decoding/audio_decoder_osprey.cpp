#include "player/decoding/audio_decoder_osprey.h"

#include <mad.h>

#include <algorithm>
#include <cstring>

#include "player/container/player_file_info.h"
#include "player/decoding/mpeg_audio_header.h"

namespace qor {

struct CAudioDecoderOsprey::MadState {
    mad_stream stream;
    mad_frame frame;
    mad_synth synth;
    MadState() {
        mad_stream_init(&stream);
        mad_frame_init(&frame);
        mad_synth_init(&synth);
    }
    ~MadState() {
        mad_synth_finish(&synth);
        mad_frame_finish(&frame);
        mad_stream_finish(&stream);
    }
};

CAudioDecoderOsprey::CAudioDecoderOsprey() : m_pMad(std::make_unique<MadState>()) {
    m_outputFormat = WaveFormat{kWaveFormatPcm, 2, 44100, 176400, 4, 16, 0};
}

CAudioDecoderOsprey::~CAudioDecoderOsprey() = default;

bool CAudioDecoderOsprey::Initialize(PlayerFileInfo* pFileInfo) {
    if (pFileInfo) pFileInfo->iAudioKind = kAudioKindMpeg;
    return true;
}

bool CAudioDecoderOsprey::DecodeAudioVOP(DecodeFrame* pFrame) {
    if (!pFrame) return false;
    pFrame->pPcm = nullptr;
    pFrame->uPcmLength = 0;
    ++m_uFrameCount;
    MpegAudioHeader header;
    if (!ParseMpegAudioHeader(pFrame->pData, pFrame->uLength, &header)) return true;
    // A frame shorter than its header says is decoded from what is there;
    // libmad reports the missing part as an error and we output nothing.
    const size_t length = std::min<size_t>({static_cast<size_t>(header.iFrameSize), pFrame->uLength, kMaxFrameSize});

    if (m_bFirstFrame) {
        std::memcpy(m_frameBuffer.data(), pFrame->pData, length);
        m_uHeldLength = length;
        m_bFirstFrame = false;
        return true;
    }

    std::memcpy(m_frameBuffer.data() + m_uHeldLength, pFrame->pData, length);
    MadState& mad = *m_pMad;
    mad_stream_buffer(&mad.stream, m_frameBuffer.data(), m_uHeldLength + length);
    const int status = mad_frame_decode(&mad.frame, &mad.stream);
    if (status == 0) {
        mad_synth_frame(&mad.synth, &mad.frame);
        const mad_pcm& pcm = mad.synth.pcm;
        const int samples = std::min<int>(pcm.length, 1152);
        const bool stereo = pcm.channels >= 2;
        auto* out = m_pcmBuffer.data();
        for (int i = 0; i < samples; ++i) {
            const int16_t left = DitherTo16(pcm.samples[0][i], &m_dither[0]);
            // A one-channel stream plays the same samples on both sides.
            const int16_t right = stereo ? DitherTo16(pcm.samples[1][i], &m_dither[1]) : left;
            const auto l = static_cast<uint16_t>(left);
            const auto r = static_cast<uint16_t>(right);
            out[4 * i] = static_cast<uint8_t>(l);
            out[4 * i + 1] = static_cast<uint8_t>(l >> 8);
            out[4 * i + 2] = static_cast<uint8_t>(r);
            out[4 * i + 3] = static_cast<uint8_t>(r >> 8);
        }
        pFrame->pPcm = out;
        pFrame->uPcmLength = static_cast<uint32_t>(samples * 2 * 2);
    }
    std::memmove(m_frameBuffer.data(), m_frameBuffer.data() + m_uHeldLength, length);
    m_uHeldLength = length;
    return true;
}

}  // namespace qor
