// G.726 (32 kbit/s) and G.711 mu-law audio of the Marlin, Heron and YUV
// families, decoded to 8000 Hz mono 16-bit PCM.
#pragma once

#include <cstdint>
#include <vector>

#include "player/decoding/audio_decoder.h"
#include "player/decoding/g726_decoder.h"

namespace qor {

class CAudioDecoderMarlin : public CAudioDecoder {
public:
    static constexpr size_t kPcmBufferSize = 16384;

    CAudioDecoderMarlin() = default;
    // Reads the audio type from the file header copy; false for an unknown type.
    bool Initialize(PlayerFileInfo* pFileInfo);
    // The same, from the audio type itself (file header offset 72).
    bool InitializeForAudioType(uint32_t uAudioType, PlayerFileInfo* pFileInfo = nullptr);

    bool DecodeAudioVOP(DecodeFrame* pFrame) override;
    int GetAudioFrameCount() const override { return 10; }
    uint32_t AudioType() const { return m_uAudioType; }

private:
    uint32_t m_uAudioType = 0;
    std::vector<uint8_t> m_pcmBuffer = std::vector<uint8_t>(kPcmBufferSize);
    G726Decoder m_g726;
    int m_iResetCount = 1;  // the G.726 state is reset before the first code only
};

}  // namespace qor
