// Finding frames in a byte buffer, forward and backward, resynchronising on
// false start codes. Wanted types: 0-3 one frame type, 4 any video frame,
// 5 any frame; a file header met on the way is reported as type 6.
#pragma once

#include <cstdint>

namespace qor {

// Returns the offset of the accepted frame or -1. On acceptance *pType is the
// type found. Without a match *pRest is 19 (the bytes a caller keeps so that
// a header split across reads is seen next time), or the whole length for a
// buffer shorter than a frame header; *pResume (optional) is the offset where
// a scan of the following bytes should go on, which lies past the buffer end
// when the last frame jumped over continues beyond it.
int SearchFrameForward(const uint8_t* pBuffer, int iLength, int iWanted, int* pType, int* pRest,
                       int64_t* pResume = nullptr);

// Walks back from the last possible header position. No length check: the
// caller checks that the frame fits.
int SearchFrameBackward(const uint8_t* pBuffer, int iLength, int iWanted, int* pType, int* pRest);

}  // namespace qor
