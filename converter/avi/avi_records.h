// The fixed-layout records of an AVI file that callers fill in to describe
// their streams, and their little-endian byte forms.
#pragma once

#include <cstdint>
#include <vector>

namespace vidorra {

// A four-character code as stored in the file: the four ASCII bytes in
// reading order, read as a little-endian word.
constexpr uint32_t MakeFourCC(const char (&code)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(code[3])) << 24;
}

constexpr uint32_t kAviKeyFrame = 0x10;  // AVIIF_KEYFRAME

// AVISTREAMHEADER without its chunk header: 56 bytes in the file.
struct AVIStreamHeader {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    struct {
        int16_t left = 0, top = 0, right = 0, bottom = 0;
    } rcFrame;

    static constexpr uint32_t kSize = 56;
    void Store(uint8_t* out) const;
    static AVIStreamHeader Load(const uint8_t* in);
};

// BITMAPINFOHEADER: 40 bytes.
struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;

    static constexpr uint32_t kSize = 40;
    std::vector<uint8_t> Bytes() const;
};

// MPEGLAYER3WAVEFORMAT: a WAVEFORMATEX followed by the 12 bytes of the
// MPEG layer 3 extension, 30 bytes.
struct MpegLayer3WaveFormat {
    uint16_t wFormatTag = 0x0055;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 1;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 12;
    uint16_t wID = 1;
    uint32_t fdwFlags = 2;
    uint16_t nBlockSize = 4608;
    uint16_t nFramesPerBlock = 1;
    uint16_t nCodecDelay = 0;

    static constexpr uint32_t kSize = 30;
    std::vector<uint8_t> Bytes() const;
};

// Little-endian stores and loads for building and reading file structures.
inline void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t GetU64(const uint8_t* p) { return GetU32(p) | static_cast<uint64_t>(GetU32(p + 4)) << 32; }

}  // namespace vidorra
