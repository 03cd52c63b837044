// Encodes the generator's sound into audio frame payloads: G.726 32 kbit/s
// (two codes per byte, high nibble first) or G.711 mu-law at 8000 Hz mono
// for Marlin, Heron and YUV; one MPEG-1 Layer III frame (1152 samples,
// 44100 Hz stereo) per audio frame for Osprey.
#pragma once

#include "recording_generator.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace qor::recgen {

class AudioEncoder {
public:
    AudioEncoder();
    ~AudioEncoder();
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    bool Open(const Options& options, std::string* error);

    int SampleRate() const { return m_sampleRate; }
    int Channels() const { return m_channels; }
    int SamplesPerFrame() const { return m_samplesPerFrame; }

    // The payload of the next audio frame; the sound runs on without a gap
    // from one frame to the next.
    bool Next(std::vector<uint8_t>* payload, std::string* error);

private:
    bool NextMp3(std::vector<uint8_t>* payload, std::string* error);
    void Source(int64_t first, int count, int16_t* out) const;

    enum class Codec { G726, Mulaw, Mp3 } m_codec = Codec::G726;
    SoundSource m_source;
    int m_sampleRate = 8000;
    int m_channels = 1;
    int m_samplesPerFrame = 320;
    int64_t m_nextSample = 0;
    std::vector<int16_t> m_pcm;
    std::vector<uint8_t> m_codes;
    struct G726State;
    std::unique_ptr<G726State> m_g726;
    void* m_lame = nullptr;
    std::vector<uint8_t> m_mp3Bytes;  // encoder output not yet cut into frames
    std::vector<uint8_t> m_mp3Out;
};

// Length of the MPEG-1 Layer III frame whose header starts at data, or 0 when
// the bytes there are not such a header.
size_t Mp3FrameLength(const uint8_t* data, size_t available);

}  // namespace qor::recgen
