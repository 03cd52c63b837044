// Exported functions: file playback, positions, end notifications and the
// key-frame index switches.
#include "player/api/engine_open.h"
#include "player/api/player_table.h"

using namespace qor;
using namespace qor::api;

extern "C" {

QORPLAYER_API int32_t QORPLAYER_FileOpen(uint32_t uPlayerId, const char* pFileName, int32_t bFollowGrowingFile) {
    if (!Library().bDecoderVersionGood.load()) {
        DebugOutput("[QOR]Dll version NOT correct!\n");
        return 0;
    }
    if (uPlayerId >= kPlayerCount) {
        DebugOutput("[QOR]QORPLAYER_FileOpen() playerId error, playerId=%d.\n", PrintedId(uPlayerId));
        return 0;
    }
    if (pFileName == nullptr) {
        DebugOutput("[QOR]file name is NULL error.\n");
        return 0;
    }
    return WithSlot("QORPLAYER_FileOpen", uPlayerId, 0, [&](PlayerSlot& slot) {
        OpenRequest request;
        request.bFileMode = true;
        request.pFileName = pFileName;
        request.bFollowGrowingFile = bFollowGrowingFile != 0;
        request.pConstructFailLine = "[QOR]call CMpegPlayer() error.\n";
        if (!OpenEngineOnSlot(slot, uPlayerId, request)) return 0;
        if (slot.endOfFile.IsSet()) InstallEndOfFileNotify(slot, uPlayerId);
        if (slot.endOfIndex.IsSet()) InstallEndOfIndexNotify(slot, uPlayerId);
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_FileClose(uint32_t uPlayerId) {
    std::shared_ptr<OpenEngine> detached;
    const int32_t result = WithSlot("QORPLAYER_FileClose", uPlayerId, 0, [&](PlayerSlot& slot) {
        detached = DetachEngine(slot);
        return 1;
    });
    detached.reset();
    return result;
}

QORPLAYER_API int32_t QORPLAYER_Play(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_Play", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        engine.Play();
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_Pause(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_Pause", uPlayerId, 0,
                      [](PlayerSlot&, CMpegPlayer& engine) { return engine.Pause() ? 1 : 0; });
}

QORPLAYER_API int32_t QORPLAYER_Stop(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_Stop", uPlayerId, 0,
                      [](PlayerSlot&, CMpegPlayer& engine) { return engine.Stop() ? 1 : 0; });
}

QORPLAYER_API int32_t QORPLAYER_SetPlaySpeed(uint32_t uPlayerId, float fSpeed) {
    return WithEngine("QORPLAYER_SetPlaySpeed", uPlayerId, 0,
                      [fSpeed](PlayerSlot&, CMpegPlayer& engine) { return engine.SetPlaySpeed(fSpeed) ? 1 : 0; });
}

QORPLAYER_API int32_t QORPLAYER_FileStepPlay(uint32_t uPlayerId, int32_t bForward) {
    return WithEngine("QORPLAYER_FileStepPlay", uPlayerId, 0, [bForward](PlayerSlot& slot, CMpegPlayer& engine) {
        if (engine.OpenMode() == kOpenStream && !(slot.bRemoteFilePlay && bForward != 0)) return 0;
        return engine.StepPlay(bForward != 0) ? 1 : 0;
    });
}

QORPLAYER_API void QORPLAYER_FileBackPlay(uint32_t uPlayerId) {
    WithEngine("QORPLAYER_FileBackPlay", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        engine.BackPlay();
        return 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_FileSetPosition(uint32_t uPlayerId, float fPercent) {
    return WithEngine("QORPLAYER_FileSetPosition", uPlayerId, 0,
                      [fPercent](PlayerSlot&, CMpegPlayer& engine) { return engine.SetPosition(fPercent) ? 1 : 0; });
}

QORPLAYER_API int32_t QORPLAYER_FileSetPlayTime(uint32_t uPlayerId, int32_t iPlayTime) {
    return WithEngine("QORPLAYER_FileSetPlayTime", uPlayerId, 0,
                      [iPlayTime](PlayerSlot&, CMpegPlayer& engine) { return engine.SetPlayTime(iPlayTime) ? 1 : 0; });
}

QORPLAYER_API int32_t QORPLAYER_FileSetPlayFrame(uint32_t uPlayerId, int32_t iFrame) {
    return WithEngine("QORPLAYER_FileSetPlayFrame", uPlayerId, 0,
                      [iFrame](PlayerSlot&, CMpegPlayer& engine) { return engine.SetPlayFrame(iFrame) ? 1 : 0; });
}

QORPLAYER_API float QORPLAYER_FileGetPosition(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_FileGetPosition", uPlayerId, 0.0f,
                      [](PlayerSlot&, CMpegPlayer& engine) { return engine.GetPosition(); });
}

QORPLAYER_API int32_t QORPLAYER_FileGetTotalTime(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_FileGetTotalTime", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        return engine.OpenMode() == kOpenFile ? engine.TotalTime() : 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_FileGetPlayedTime(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_FileGetPlayedTime", uPlayerId, 0,
                      [](PlayerSlot&, CMpegPlayer& engine) { return engine.PlayedTime(); });
}

QORPLAYER_API int32_t QORPLAYER_FileGetTotalFrame(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_FileGetTotalFrame", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        return engine.OpenMode() == kOpenFile ? engine.TotalFrames() : 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_FileGetPlayedFrame(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_FileGetPlayedFrame", uPlayerId, 0,
                      [](PlayerSlot&, CMpegPlayer& engine) { return engine.PlayedFrames(); });
}

QORPLAYER_API int32_t QORPLAYER_GetKeyFramePos(uint32_t uPlayerId, uint32_t* pFilePos) {
    if (pFilePos == nullptr) return 0;
    return WithEngine("QORPLAYER_GetKeyFramePos", uPlayerId, 0,
                      [pFilePos](PlayerSlot&, CMpegPlayer& engine) { return engine.GetKeyFramePos(pFilePos, false) ? 1 : 0; });
}

QORPLAYER_API int32_t QORPLAYER_GetNextKeyFramePos(uint32_t uPlayerId, uint32_t* pFilePos) {
    if (pFilePos == nullptr) return 0;
    return WithEngine("QORPLAYER_GetNextKeyFramePos", uPlayerId, 0,
                      [pFilePos](PlayerSlot&, CMpegPlayer& engine) { return engine.GetKeyFramePos(pFilePos, true) ? 1 : 0; });
}

QORPLAYER_API int32_t QORPLAYER_FileResetEndOfFile(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_FileResetEndOfFile", uPlayerId, 0,
                      [](PlayerSlot&, CMpegPlayer& engine) { return engine.FileResetEndOfFile() ? 1 : 0; });
}

QORPLAYER_API int32_t QORPLAYER_FileSetEndNotify(uint32_t uPlayerId, QorWindow hWnd, uint32_t uMessage, QorEvent hEvent) {
    if (hWnd == 0 && hEvent < 0) return 0;
    return WithSlot("QORPLAYER_FileSetEndNotify", uPlayerId, 0, [&](PlayerSlot& slot) {
        slot.endOfFile = NotifyTarget{hWnd, uMessage, hEvent};
        if (slot.Engine() != nullptr) return InstallEndOfFileNotify(slot, uPlayerId) ? 1 : 0;
        DebugOutput("[QOR]QORPLAYER_FileSetEndNotify() uPlayerId=%d error.\n", PrintedId(uPlayerId));
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_FileSetEndIndexNotify(uint32_t uPlayerId, QorWindow hWnd, uint32_t uMessage,
                                                      QorEvent hEvent) {
    if (hWnd == 0 && hEvent < 0) return 0;
    return WithSlot("QORPLAYER_FileSetEndIndexNotify", uPlayerId, 0, [&](PlayerSlot& slot) {
        slot.endOfIndex = NotifyTarget{hWnd, uMessage, hEvent};
        if (slot.Engine() != nullptr) return InstallEndOfIndexNotify(slot, uPlayerId) ? 1 : 0;
        DebugOutput("[QOR]QORPLAYER_FileSetEndIndexNotify() uPlayerId=%d error.\n", PrintedId(uPlayerId));
        return 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_DisableCreateIndexTable(uint32_t uPlayerId) {
    return WithSlot("QORPLAYER_DisableCreateIndexTable", uPlayerId, 0, [](PlayerSlot& slot) {
        if (slot.Engine() != nullptr) {
            DebugOutput("[QOR]QORPLAYER_DisableCreateIndexTable() MUST be called before FileOpen().\n");
            return 0;
        }
        slot.bCreateIndexTable = false;
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_DisableCreateIndexFile(uint32_t uPlayerId) {
    return WithSlot("QORPLAYER_DisableCreateIndexFile", uPlayerId, 0, [](PlayerSlot& slot) {
        if (slot.Engine() != nullptr) {
            DebugOutput("[QOR]QORPLAYER_DisableCreateIndexFile() MUST be called before FileOpen().\n");
            return 0;
        }
        slot.bCreateIndexFile = false;
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_SetFileIndexTable(uint32_t uPlayerId, const uint8_t* pIndexData, int32_t iDataSize) {
    // A null table is refused whatever length comes with it, and so is an
    // empty one: either would have the reader walk memory it was never given.
    if (pIndexData == nullptr || iDataSize < 1) {
        DebugOutput("[QOR]QORPLAYER_SetFileIndexTable() parameters error.\n");
        return 0;
    }
    return WithSlot("QORPLAYER_SetFileIndexTable", uPlayerId, 0, [&](PlayerSlot& slot) {
        CMpegPlayer* engine = slot.Engine();
        if (engine == nullptr) {
            DebugOutput("[QOR]QORPLAYER_SetFileIndexTable() should be called after FileOpen().\n");
            return 1;
        }
        return engine->SetFileIndexTable(pIndexData, iDataSize) ? 1 : 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_RegisterReadFileCallBack(uint32_t uPlayerId, ReadFileCallBack fpCallBack,
                                                        uint32_t uUserValue, int32_t, uint32_t uTotalSize) {
    return WithSlot("QORPLAYER_RegisterReadFileCallBack", uPlayerId, 0, [&](PlayerSlot& slot) {
        if (slot.Engine() != nullptr || fpCallBack == nullptr) return 0;
        slot.fpReadFile = fpCallBack;
        slot.uReadFileUser = uUserValue;
        slot.uReadFileSize = uTotalSize;
        return 1;
    });
}

}  // extern "C"
