// The frame record that carries one recorded frame from the reader or the
// stream input through the synchronisation controller to the video and audio
// threads: the frame's time data and a private copy of its bytes.
//
// Threading: a record has one owner at a time (the dispatching thread, then
// a controller queue under its lock, then the thread that took it out).
#pragma once

#include <cstdint>
#include <memory>

namespace qor {

struct FrameRecord {
    uint32_t uTime = 0;        // ms; -1 from the parser is replaced before the record is made
    uint32_t uSecondTime = 0;  // the parser's secondary stamp, 0 when none
    int iType = 0;             // container frame kind
    int iLength = 0;           // bytes held in pBytes
    int iDataStart = 0;        // elementary data inside the frame
    int iDataLength = 0;
    int64_t iPosition = -1;    // file position of the frame, -1 in stream mode
    std::unique_ptr<uint8_t[]> pBytes;

    const uint8_t* Data() const { return pBytes.get() + iDataStart; }
};

using FramePtr = std::unique_ptr<FrameRecord>;

}  // namespace qor
