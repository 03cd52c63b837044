// Shared helpers of the output tests: debug capture and small pictures.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/picture/debug_capture.h"
#include "tests/picture/picture_fixture.h"
#include "player/api/qor_player_records.h"

namespace qor::test {

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
