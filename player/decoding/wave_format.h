// The 18-byte wave format record that describes coded and decoded audio to
// the sound output and the audio callback.
#pragma once

#include <cstdint>

namespace qor {

#pragma pack(push, 1)
struct WaveFormat {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "wave format record is 18 bytes on the wire");

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatG726 = 0x45;

}  // namespace qor
