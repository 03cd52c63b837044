// The working frame record the playback engine hands to the audio decoder
// and the video decoder adapters, and the picture description they fill.
//
// Threading: a record belongs to the thread that decodes it (the engine's
// video or audio thread); decoders keep no pointer to it after the call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

// The time data that travels with a frame. Video adapters queue it so that
// it leaves together with the picture decoded from the frame.
struct FrameTimes {
    uint32_t uTime = 0;         // time stamp, ms
    uint32_t uSecondTime = 0;   // parser's secondary stamp, 0 when none
    uint32_t uPositionLow = 0;  // frame position in the file
    uint32_t uPositionHigh = 0;
    uint32_t uReserved = 0;
    bool operator==(const FrameTimes&) const = default;
};

// The 11-word description of a decoded YUV 4:2:0 picture. Planes are listed
// in the order Y, V, U (the planar YV12 order the outputs consume); the
// strides follow the same order.
struct PictureDescription {
    int32_t iWidth = 0;
    int32_t iHeight = 0;
    int32_t iFrameType = 0;  // 0 key, 1 predicted, -1 none
    int32_t iFrameRate = 0;  // frames per second
    uint8_t* pY = nullptr;
    uint8_t* pV = nullptr;
    uint8_t* pU = nullptr;
    int32_t iStrideY = 0;
    int32_t iStrideV = 0;
    int32_t iStrideU = 0;
    int32_t iReserved = 0;
};

struct DecodeFrame {
    // In: the coded data of one frame.
    const uint8_t* pData = nullptr;
    uint32_t uLength = 0;
    FrameTimes times;
    bool bNewFileHeader = false;  // the parser found a file header before this frame
    uint8_t uDecodeFlag = 0;      // handed to the MPEG-4 component with the data

    // Out (video).
    PictureDescription picture;
    int iPictureAvailable = -1;   // negative while the decoder has produced no picture yet
    uint32_t uPictureSize = 0;    // display width x display height x 3 / 2
    int iDisplayWidth = 0;
    int iDisplayHeight = 0;
    uint32_t uStreamHeaderWord = 0;  // set when the frame carried a stream header (Osprey)

    // Out (audio). The PCM lies in the decoder's buffer until its next call.
    const uint8_t* pPcm = nullptr;
    uint32_t uPcmLength = 0;
};

}  // namespace qor
