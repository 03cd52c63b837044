// PcmAccumulator collects decoded 16-bit PCM until the MP3 encoder has a
// whole frame of input, doubling 8 kHz blocks to 16 kHz on the way in.
//
// Threading: not locked; the job's audio lock guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vidorra {

// Writes 2 * count samples to out: each input sample followed by the mean of
// it and the next one (truncated toward zero); the last input sample is
// written twice. count may be 0.
void DoubleSampleRate(const int16_t* in, size_t count, int16_t* out);

class PcmAccumulator {
public:
    // Reserves room for the largest block the job admits plus one frame of
    // remainder, so that steady-state appends do not allocate.
    void Reserve(size_t bytes) { m_buffer.reserve(bytes); }

    // Appends a block of PCM bytes; with doubleRate the block is first
    // resampled 8 kHz -> 16 kHz (a trailing odd byte is dropped).
    void Append(const uint8_t* data, size_t length, bool doubleRate);

    const uint8_t* Data() const { return m_buffer.data() + m_start; }
    size_t Fill() const { return m_buffer.size() - m_start; }

    // Steps past bytes at the front (at most Fill()).
    void Consume(size_t bytes);
    // Moves what is left to the front of the buffer.
    void Compact();
    void Clear();

private:
    std::vector<uint8_t> m_buffer;
    size_t m_start = 0;
    std::vector<int16_t> m_in;
    std::vector<int16_t> m_out;
};

}  // namespace vidorra
