#include "converter/job/player_interface.h"

namespace vidorra {

const PlayerInterface& LibraryPlayerInterface() {
    static const PlayerInterface table = {
        QORPLAYER_CreatePlayer,
        QORPLAYER_ReleasePlayer,
        QORPLAYER_DisableCreateIndexTable,
        QORPLAYER_FileOpen,
        QORPLAYER_FileGetTotalFrame,
        QORPLAYER_FileGetTotalTime,
        QORPLAYER_RegisterVideoDecodeCallBack,
        QORPLAYER_RegisterAudioDecodeCallBack,
        QORPLAYER_StreamOpen,
        QORPLAYER_DisableSynchronize,
        QORPLAYER_StreamEnableDataDriven,
        QORPLAYER_SetPostFilter,
        QORPLAYER_GetPictureSize,
        QORPLAYER_GetAudioWaveOutInfo,
        QORPLAYER_StreamWriteToBuf,
        QORPLAYER_StreamGetBufferedFrames,
        QORPLAYER_GetMediaStreamType,
    };
    return table;
}

}  // namespace vidorra
