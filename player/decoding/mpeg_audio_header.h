// MPEG-1 audio frame header: the fields the Osprey audio decoder checks and
// the frame size they give.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

struct MpegAudioHeader {
    int iLayer = 0;        // 1, 2 or 3
    int iBitRate = 0;      // bit/s
    int iSampleRate = 0;   // Hz
    bool bPadding = false;
    int iFrameSize = 0;    // bytes, header included
    int iSamplesPerChannel = 0;
};

// False for a header with a reserved layer, a free or invalid bit rate or an
// invalid sample rate.
bool ParseMpegAudioHeader(const uint8_t* pData, size_t uLength, MpegAudioHeader* pHeader);

}  // namespace qor
