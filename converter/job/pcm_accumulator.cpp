#include "converter/job/pcm_accumulator.h"

#include <algorithm>
#include <cstring>

namespace vidorra {

void DoubleSampleRate(const int16_t* in, size_t count, int16_t* out) {
    if (count == 0) return;
    for (size_t k = 0; k + 1 < count; ++k) {
        out[2 * k] = in[k];
        out[2 * k + 1] = static_cast<int16_t>((static_cast<int32_t>(in[k]) + in[k + 1]) / 2);
    }
    out[2 * count - 2] = in[count - 1];
    out[2 * count - 1] = in[count - 1];
}

void PcmAccumulator::Append(const uint8_t* data, size_t length, bool doubleRate) {
    if (!doubleRate) {
        m_buffer.insert(m_buffer.end(), data, data + length);
        return;
    }
    const size_t count = length / 2;
    const size_t oldSize = m_buffer.size();
    m_buffer.resize(oldSize + count * 4);
    // The source bytes come from the library and need not be aligned; the
    // scratch buffers keep their capacity from block to block.
    m_in.resize(count);
    std::memcpy(m_in.data(), data, count * 2);
    m_out.resize(count * 2);
    DoubleSampleRate(m_in.data(), count, m_out.data());
    std::memcpy(m_buffer.data() + oldSize, m_out.data(), count * 4);
}

void PcmAccumulator::Consume(size_t bytes) { m_start += std::min(bytes, Fill()); }

void PcmAccumulator::Compact() {
    if (m_start == 0) return;
    const size_t fill = Fill();
    std::memmove(m_buffer.data(), m_buffer.data() + m_start, fill);
    m_buffer.resize(fill);
    m_start = 0;
}

void PcmAccumulator::Clear() {
    m_buffer.clear();
    m_start = 0;
}

}  // namespace vidorra
