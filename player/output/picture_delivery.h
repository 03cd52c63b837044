// The delivery rules for decoded pictures when the caller registered picture
// callbacks: the video decode callback wins; DecCallBack gets a planar
// picture as one I420 block when a block buffer was given (no data pointer
// otherwise) and a packed picture as it is.
//
// Threading: runs on the engine's video thread (or the caller's thread during
// a seek); the callers copy the callbacks out under their own lock first and
// call this with no lock held.
#pragma once

#include <cstddef>
#include <cstdint>

#include "player/api/qor_player_records.h"

namespace qor {

constexpr size_t kWholeBlockBytes = 829440;

struct PictureCallbacks {
    VideoDecodeCallBack fpVideoDecode = nullptr;
    DecCallBack fpDec = nullptr;
    uint32_t uUserValue = 0;
    uint8_t* pBlockBuffer = nullptr;  // kWholeBlockBytes, owned by the engine; null when not asked for
};

// False when no callback is registered (the picture is then drawn instead).
bool DeliverPictureToCallbacks(uint32_t uPlayerId, int iFrameRate, const VideoDecodeFrameInfo& picture,
                               const PictureCallbacks& callbacks);

}  // namespace qor
