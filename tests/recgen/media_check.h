// Decoding helpers for the generator tests: libavcodec for the video and for
// MPEG audio, spandsp for G.726, a plain table for G.711.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace recgen_test {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> y, u, v;  // tightly packed planes
};

class VideoDecoder {
public:
    // h264 false: MPEG-4 Visual with `config` as extradata (may be empty).
    VideoDecoder(bool h264, const std::vector<uint8_t>& config);
    ~VideoDecoder();
    bool Ok() const { return m_ok; }
    // Decodes one coded picture; false when the decoder rejects it or gives no picture.
    bool Decode(const uint8_t* data, size_t length, Picture* picture);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    bool m_ok = false;
};

// PSNR of all three planes of `picture` against TestPattern(index).
double PsnrAgainstPattern(const Picture& picture, int index);

// G.726 32 kbit/s, two codes per byte, high nibble first, mu-law output
// expanded to linear; the state runs on across calls.
class G726Decoder {
public:
    G726Decoder();
    ~G726Decoder();
    void Decode(const uint8_t* data, size_t length, std::vector<int16_t>* pcm);

private:
    void* m_state;
};

int16_t MulawToLinear(uint8_t code);

// Decodes one MPEG audio frame to interleaved PCM; false on a decoder error.
class Mp3Decoder {
public:
    Mp3Decoder();
    ~Mp3Decoder();
    bool Decode(const uint8_t* data, size_t length, std::vector<int16_t>* pcm, int* channels, int* rate);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Signal-to-noise ratio in dB of `decoded` against `reference` over the
// common length, after shifting `decoded` by the lag (0..maxLag) that fits best.
double BestSnr(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded, int maxLag, int* lag);

}  // namespace recgen_test
