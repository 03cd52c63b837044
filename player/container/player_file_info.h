// The player's file information record: what the parser, the file reader,
// the index builders and the decoders learn about one recording. One record
// per player, owned by the playback engine.
//
// Threading: header facts are written by the reading thread (file open,
// stream header frames) and read by the decoders on their threads. The index
// table and header position list are written only by the index thread until
// indexReady becomes true; nobody else reads them before that.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qor {

// Read callback: (buffer, count, position, reserved 0, user value) -> bytes delivered.
using ReadCallBack = int (*)(uint8_t* pBuffer, int iCount, uint32_t uPosition, int iReserved, void* pUser);

struct IndexEntry {
    uint32_t uTime = 0;      // time stamp, ms
    uint32_t uPosition = 0;  // file position of the key frame's header
    uint32_t uLength = 0;    // total frame length; 0 for the sentinel
    bool operator==(const IndexEntry&) const = default;
};

constexpr size_t kVideoConfigCapacity = 64;

struct PlayerFileInfo {
    // Recording and its source.
    const char* pFileName = nullptr;
    ReadCallBack fpReadCallBack = nullptr;
    void* pReadUser = nullptr;
    int64_t iFileSize = 0;          // in read-callback mode: the size registered with the callback

    // File header facts.
    uint32_t uFormatType = 0;       // file header word at offset 4: selects the family
    int iMediaStreamType = 0;       // 0 video+audio, 1 video, 2 audio, 3 invalid
    int iWidth = 0;
    int iHeight = 0;
    int iCurWidth = 0;              // picture size the video decoder works with
    int iCurHeight = 0;
    bool bPal = true;               // height other than 240 and 480
    uint8_t videoConfig[kVideoConfigCapacity] = {};
    int iVideoConfigLength = 0;     // 19 for every family served here
    const uint8_t* pMpegFileHeader = nullptr;  // the parser's copy of the current header
    int iMpegFileHeaderLength = 0;
    int64_t iHeaderPosition = 0;
    int iDecodingMode = 0;          // decode mode handed to the video decoder component

    // Frame scans.
    int64_t iFirstKeyFramePosition = 0;
    uint32_t uFirstTime = 0;        // also the start time
    bool bHasBackLinks = false;     // key frames carry I2I offsets
    uint32_t uLastFrameTime = 0;
    int64_t iLastFramePosition = 0;
    int64_t iLastKeyFramePosition = 0;
    uint32_t uTrailerValue = 0;

    // Video and audio decoder facts. The video thread publishes the frame
    // rate while the index thread may be reading the duration.
    std::atomic<int> iFrameRate{25};
    std::atomic<int> iFrameDuration{40};  // ms, 1000 / frame rate
    int iAudioKind = 0;             // 0 G.726, 2 G.711, 4 MPEG audio

    // Key-frame index.
    std::vector<IndexEntry> indexTable;           // ascending time, sentinel last
    std::vector<uint32_t> headerPositions;        // file headers met in the recording
    std::atomic<bool> bIndexReady{false};
    bool bCreateSideFile = true;
};

}  // namespace qor
