// Reads the frame rate and picture size from an MPEG-4 Part 2 video object
// layer header, so a component can report them before any picture has been
// decoded. Header-only: each component library carries its own copy.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor_components {

struct Mpeg4VolInfo {
    int iFrameRate = 0;  // 0 when the layer does not say
    int iWidth = 0;
    int iHeight = 0;
};

class BitReader {
public:
    BitReader(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    uint32_t Read(int bits) {
        uint32_t v = 0;
        for (int i = 0; i < bits; ++i) {
            const size_t byte = m_pos >> 3;
            const int bit = byte < m_n ? (m_p[byte] >> (7 - (m_pos & 7))) & 1 : 0;
            if (byte >= m_n) m_overrun = true;
            v = (v << 1) | static_cast<uint32_t>(bit);
            ++m_pos;
        }
        return v;
    }
    bool Overrun() const { return m_overrun; }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos = 0;
    bool m_overrun = false;
};

// Searches the bytes for a video object layer start code (00 00 01 2x).
inline bool ParseMpeg4Vol(const uint8_t* p, size_t n, Mpeg4VolInfo* pInfo) {
    if (!p) return false;
    for (size_t i = 0; i + 4 < n; ++i) {
        if (p[i] != 0 || p[i + 1] != 0 || p[i + 2] != 1 || (p[i + 3] & 0xF0) != 0x20) continue;
        BitReader r(p + i + 4, n - i - 4);
        r.Read(1);  // random accessible
        r.Read(8);  // object type
        int verid = 1;
        if (r.Read(1)) {
            verid = static_cast<int>(r.Read(4));
            r.Read(3);
        }
        if (r.Read(4) == 15) r.Read(16);  // extended pixel aspect ratio
        if (r.Read(1)) {                   // control parameters
            r.Read(3);
            if (r.Read(1)) r.Read(79);     // buffer parameters
        }
        const uint32_t shape = r.Read(2);
        if (shape == 3 && verid != 1) r.Read(4);
        r.Read(1);
        const uint32_t resolution = r.Read(16);
        r.Read(1);
        int rate = static_cast<int>(resolution);
        if (r.Read(1)) {  // fixed rate
            int bits = 1;
            while (bits < 16 && (1u << bits) < resolution) ++bits;
            const uint32_t increment = r.Read(bits);
            rate = increment ? static_cast<int>(resolution / increment) : 0;
        }
        Mpeg4VolInfo info;
        info.iFrameRate = rate;
        if (shape == 0) {
            r.Read(1);
            info.iWidth = static_cast<int>(r.Read(13));
            r.Read(1);
            info.iHeight = static_cast<int>(r.Read(13));
        }
        if (r.Overrun()) {
            // A layer header cut short (the file header keeps 19 bytes) still
            // gives what was read before the cut.
            if (shape != 0 || info.iHeight == 0) info.iWidth = info.iHeight = 0;
        }
        *pInfo = info;
        return true;
    }
    return false;
}

}  // namespace qor_components
