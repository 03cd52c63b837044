// Shared helpers of the output tests: debug capture, small pictures and a
// sound format.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/support/debug_capture.h"
#include "tests/picture/picture_fixture.h"
#include "player/api/qor_player_records.h"

namespace qor::test {

// 16-bit mono PCM at 8000 Hz, the sound format of the G.726 and G.711 recordings.
inline QorWaveFormat Mono8k() {
    QorWaveFormat f{};
    f.wFormatTag = 1;
    f.nChannels = 1;
    f.nSamplesPerSec = 8000;
    f.nAvgBytesPerSec = 16000;
    f.nBlockAlign = 2;
    f.wBitsPerSample = 16;
    return f;
}

inline VideoDecodeFrameInfo FrameOf(PlanarPicture& p, uint32_t time = 0) {
    VideoDecodeFrameInfo f{};
    f.iFormat = QOR_PICTURE_PLANAR_YUV420;
    f.iWidth = p.width;
    f.iHeight = p.height;
    f.iFrameRate = 25;
    f.uTimeStamp = time;
    f.pY = p.y.data();
    f.pU = p.u.data();
    f.pV = p.v.data();
    f.iYStride = p.yStride;
    f.iUStride = p.cStride;
    f.iVStride = p.cStride;
    return f;
}

}  // namespace qor::test
