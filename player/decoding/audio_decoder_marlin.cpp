#include "player/decoding/audio_decoder_marlin.h"

#include <cstring>

#include "platform/debug_output.h"
#include "player/container/player_file_info.h"
#include "player/decoding/g711.h"

namespace qor {

namespace {

constexpr int kAudioTypeOffset = 72;

void StoreSample(uint8_t* pOut, int16_t iSample) {
    const auto value = static_cast<uint16_t>(iSample);
    pOut[0] = static_cast<uint8_t>(value & 0xFF);
    pOut[1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

bool CAudioDecoderMarlin::Initialize(PlayerFileInfo* pFileInfo) {
    if (!pFileInfo || !pFileInfo->pMpegFileHeader || pFileInfo->iMpegFileHeaderLength < kAudioTypeOffset + 4) {
        DebugOutput("[QOR]audio type error!\n");
        return false;
    }
    const uint8_t* p = pFileInfo->pMpegFileHeader + kAudioTypeOffset;
    const uint32_t type = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return InitializeForAudioType(type, pFileInfo);
}

bool CAudioDecoderMarlin::InitializeForAudioType(uint32_t uAudioType, PlayerFileInfo* pFileInfo) {
    uint32_t avgBytes = 0;
    uint16_t bits = 0;
    int kind = kAudioKindG726;
    switch (uAudioType) {
        case 0x4000: avgBytes = 2000; bits = 2; break;
        case 0x6000: avgBytes = 3000; bits = 3; break;
        case 0x8000: avgBytes = 4000; bits = 4; break;
        case 0x10000: avgBytes = 5000; bits = 5; kind = kAudioKindG711; break;
        default:
            DebugOutput("[QOR]audio type error!\n");
            return false;
    }
    m_uAudioType = uAudioType;
    m_sourceFormat = WaveFormat{kWaveFormatG726, 1, 8000, avgBytes, 1, bits, 0};
    m_outputFormat = WaveFormat{kWaveFormatPcm, 1, 8000, 16000, 2, 16, 0};
    if (pFileInfo) pFileInfo->iAudioKind = kind;
    return true;
}

bool CAudioDecoderMarlin::DecodeAudioVOP(DecodeFrame* pFrame) {
    if (!pFrame) return false;
    pFrame->pPcm = nullptr;
    pFrame->uPcmLength = 0;
    const size_t n = pFrame->uLength;
    if (4 * n > kPcmBufferSize) {
        DebugOutput("[QOR]DecodeAudioVOP() too long audio frame error.\n");
        return false;
    }
    if (n > 0 && !pFrame->pData) return false;
    uint8_t* out = m_pcmBuffer.data();
    if (m_uAudioType == 0x10000) {
        for (size_t i = 0; i < n; ++i) StoreSample(out + 2 * i, MuLawToLinear(pFrame->pData[i]));
        pFrame->uPcmLength = static_cast<uint32_t>(2 * n);
    } else {
        if (m_iResetCount > 0 && n > 0) {
            m_g726.Reset();
            m_iResetCount = 0;
        }
        for (size_t i = 0; i < n; ++i) {
            const uint8_t byte = pFrame->pData[i];
            StoreSample(out + 4 * i, MuLawToLinear(m_g726.Decode(byte >> 4)));
            StoreSample(out + 4 * i + 2, MuLawToLinear(m_g726.Decode(byte & 0x0F)));
        }
        pFrame->uPcmLength = static_cast<uint32_t>(4 * n);
    }
    pFrame->pPcm = out;
    return true;
}

}  // namespace qor
