// The exported player-library functions a conversion calls, gathered in one
// table so that the job can be driven by the real library or, in tests, by a
// scripted stand-in with the same calling contract.
//
// Threading: the functions are those of the library; see qor_player.h.
#pragma once

#include <cstdint>

#include "player/api/qor_player.h"

namespace vidorra {

struct PlayerInterface {
    int32_t (*CreatePlayer)(int32_t, int32_t);
    void (*ReleasePlayer)(uint32_t);
    int32_t (*DisableCreateIndexTable)(uint32_t);
    int32_t (*FileOpen)(uint32_t, const char*, int32_t);
    int32_t (*FileGetTotalFrame)(uint32_t);
    int32_t (*FileGetTotalTime)(uint32_t);
    int32_t (*RegisterVideoDecodeCallBack)(uint32_t, VideoDecodeCallBack, uint32_t);
    int32_t (*RegisterAudioDecodeCallBack)(uint32_t, AudioDecodeCallBack, int32_t, uint32_t);
    int32_t (*StreamOpen)(uint32_t, const uint8_t*, int32_t, int32_t);
    int32_t (*DisableSynchronize)(uint32_t);
    void (*StreamEnableDataDriven)(uint32_t, int32_t);
    int32_t (*SetPostFilter)(uint32_t, int32_t);
    int32_t (*GetPictureSize)(uint32_t, int32_t*, int32_t*);
    int32_t (*GetAudioWaveOutInfo)(uint32_t, QorWaveFormat*);
    int32_t (*StreamWriteToBuf)(uint32_t, const uint8_t*, int32_t, int32_t, int32_t, int32_t);
    int32_t (*StreamGetBufferedFrames)(uint32_t);
    // May be null (a stand-in that does not know): the recording then counts as having sound.
    int32_t (*GetMediaStreamType)(uint32_t);
};

// The table over QOR_Player's exported functions. Only code that calls this
// needs the library at link time.
const PlayerInterface& LibraryPlayerInterface();

}  // namespace vidorra
