#include "player/decoding/mpeg_audio_header.h"

namespace qor {

namespace {

constexpr int kBitRates[3][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
};
constexpr int kSampleRates[3] = {44100, 48000, 32000};

}  // namespace

bool ParseMpegAudioHeader(const uint8_t* pData, size_t uLength, MpegAudioHeader* pHeader) {
    if (!pData || uLength < 4) return false;
    // Without the sync word the bytes are not a frame at all.
    if (pData[0] != 0xFF || (pData[1] & 0xE0) != 0xE0) return false;
    const int layer = 4 - ((pData[1] >> 1) & 3);
    if (layer == 4) return false;
    const int bitRateIndex = pData[2] >> 4;
    const int sampleRateIndex = (pData[2] >> 2) & 3;
    if (bitRateIndex < 1 || bitRateIndex > 14 || sampleRateIndex == 3) return false;
    MpegAudioHeader h;
    h.iLayer = layer;
    h.iBitRate = kBitRates[layer - 1][bitRateIndex] * 1000;
    h.iSampleRate = kSampleRates[sampleRateIndex];
    h.bPadding = (pData[2] & 0x02) != 0;
    if (layer == 1) {
        h.iFrameSize = (h.iBitRate * 12 / h.iSampleRate) * 4 + (h.bPadding ? 4 : 0);
        h.iSamplesPerChannel = 384;
    } else {
        h.iFrameSize = h.iBitRate * 144 / h.iSampleRate + (h.bPadding ? 1 : 0);
        h.iSamplesPerChannel = 1152;
    }
    *pHeader = h;
    return true;
}

}  // namespace qor
