// MPEG-1 audio (Layers I-III) of the Osprey family through libmad, converted
// to 16-bit stereo PCM. Output lags input by one frame: libmad needs the
// next frame's header behind a frame to decode it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "player/decoding/audio_decoder.h"
#include "player/decoding/pcm_dither.h"

namespace qor {

class CAudioDecoderOsprey : public CAudioDecoder {
public:
    static constexpr size_t kFrameBufferSize = 9216;
    static constexpr size_t kMaxFrameSize = kFrameBufferSize / 2;

    CAudioDecoderOsprey();
    ~CAudioDecoderOsprey() override;
    bool Initialize(PlayerFileInfo* pFileInfo);

    bool DecodeAudioVOP(DecodeFrame* pFrame) override;
    int GetAudioFrameCount() const override { return 10; }

private:
    struct MadState;
    std::unique_ptr<MadState> m_pMad;
    std::vector<uint8_t> m_frameBuffer = std::vector<uint8_t>(kFrameBufferSize);
    size_t m_uHeldLength = 0;
    bool m_bFirstFrame = true;
    uint32_t m_uFrameCount = 0;
    std::vector<uint8_t> m_pcmBuffer = std::vector<uint8_t>(1152 * 2 * 2);
    // Kept per decoder, not per process, so that two players never share
    // (and race on) the noise-shaping state.
    DitherState m_dither[2];
};

}  // namespace qor
