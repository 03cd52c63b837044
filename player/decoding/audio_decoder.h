// Audio decoders: one per player, chosen by the recording family. Each turns
// the coded data of one audio frame into 16-bit PCM held in its own buffer.
//
// Threading: DecodeAudioVOP runs on the engine's audio thread only; the
// format queries may come from the thread that builds the sound output,
// before the audio thread starts.
#pragma once

#include <memory>

#include "player/decoding/decode_frame.h"
#include "player/decoding/wave_format.h"

namespace qor {

struct PlayerFileInfo;

// Audio kinds published in the player's file information.
constexpr int kAudioKindG726 = 0;
constexpr int kAudioKindG711 = 2;
constexpr int kAudioKindMpeg = 4;

class CAudioDecoder {
public:
    virtual ~CAudioDecoder() = default;
    // Fills pPcm/uPcmLength (cleared first).
    virtual bool DecodeAudioVOP(DecodeFrame* pFrame);
    virtual WaveFormat GetSourceFormat() const { return m_sourceFormat; }
    virtual WaveFormat GetOutputFormat() const { return m_outputFormat; }
    // The number of audio frames the engine keeps ahead of playback.
    virtual int GetAudioFrameCount() const { return -1; }

protected:
    WaveFormat m_sourceFormat;
    WaveFormat m_outputFormat;
};

}  // namespace qor
