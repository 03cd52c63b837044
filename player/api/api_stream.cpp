// Exported functions: stream playback.
#include "player/api/engine_open.h"
#include "player/api/player_table.h"

using namespace qor;
using namespace qor::api;

namespace {

void ApplyDataDriven(uint32_t uPlayerId, int32_t bEnable, const char* pName) {
    WithSlot(pName, uPlayerId, 0, [bEnable](PlayerSlot& slot) {
        slot.bDataDriven = bEnable != 0;
        CMpegPlayer* engine = slot.Engine();
        if (engine != nullptr && engine->OpenMode() == kOpenStream) engine->SetDataDriven(slot.bDataDriven);
        return 0;
    });
}

}  // namespace

extern "C" {

QORPLAYER_API int32_t QORPLAYER_StreamOpen(uint32_t uPlayerId, const uint8_t* pHeader, int32_t iLength, int32_t) {
    if (!Library().bDecoderVersionGood.load()) {
        DebugOutput("[QOR]Dll version NOT correct!\n");
        return -1;
    }
    return WithSlot("QORPLAYER_StreamOpen", uPlayerId, 0, [&](PlayerSlot& slot) {
        OpenRequest request;
        request.bFileMode = false;
        request.pHeader = pHeader;
        request.iHeaderLength = pHeader != nullptr && iLength > 0 ? iLength : 0;
        request.pConstructFailLine = "[QOR]call CreateMpegPlayerBox(streamMode) error.\n";
        if (!OpenEngineOnSlot(slot, uPlayerId, request)) return 0;
        CMpegPlayer& engine = *slot.Engine();
        engine.SetDataDriven(slot.bDataDriven);
        engine.SetRemoteFilePlay(slot.bRemoteFilePlay);
        engine.Play();
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_StreamWriteToBuf(uint32_t uPlayerId, const uint8_t* pData, int32_t iLength, int32_t,
                                                 int32_t iWaitLimit, int32_t) {
    // The lock is held only to find the engine, so that a writer waiting for
    // room does not hold up every other call; the shared reference keeps the
    // engine alive should the player be released meanwhile.
    std::shared_ptr<OpenEngine> open = WithEngine("QORPLAYER_StreamWriteToBuf", uPlayerId,
                                                  std::shared_ptr<OpenEngine>(),
                                                  [](PlayerSlot& slot, CMpegPlayer&) { return slot.pOpen; });
    if (!open) return 0;
    if (pData == nullptr || iLength <= 0) return 0;
    try {
        return open->pEngine->StreamWriteToBuf(pData, iLength, iWaitLimit);
    } catch (...) {
        DebugOutput("[QOR]SAFE_CALL_END report ZRV, line=%d.\n", __LINE__);
        return 0;
    }
}

QORPLAYER_API int32_t QORPLAYER_StreamGetBufferedFrames(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_StreamGetBufferedFrames", uPlayerId, 0,
                      [](PlayerSlot&, CMpegPlayer& engine) { return engine.StreamGetBufferedFrames(); });
}

QORPLAYER_API int32_t QORPLAYER_StreamGetFreeBufSize(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_StreamGetFreeBufSize", uPlayerId, 0,
                      [](PlayerSlot&, CMpegPlayer& engine) { return engine.StreamGetFreeBufSize(); });
}

QORPLAYER_API int32_t QORPLAYER_StreamEmptyBuf(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_StreamEmptyBuf", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        engine.StreamEmptyBuf();
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_StreamSetDelayFrames(uint32_t uPlayerId, int32_t iFrames) {
    return WithEngine("QORPLAYER_StreamSetDelayFrames", uPlayerId, 0, [iFrames](PlayerSlot&, CMpegPlayer& engine) {
        if (iFrames < 1 || iFrames > 999) return 0;
        engine.StreamSetDelayFrames(iFrames);
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_StreamSetBufferedFrames(uint32_t uPlayerId, int32_t iFrames) {
    return WithEngine("QORPLAYER_StreamSetBufferedFrames", uPlayerId, 0, [iFrames](PlayerSlot&, CMpegPlayer& engine) {
        if (iFrames < 1 || iFrames > 999) return 0;
        engine.StreamSetBufferedFrames(iFrames);
        return 1;
    });
}

QORPLAYER_API void QORPLAYER_StreamEnableDataDriven(uint32_t uPlayerId, int32_t bEnable) {
    ApplyDataDriven(uPlayerId, bEnable, "QORPLAYER_StreamEnableDataDriven");
}

QORPLAYER_API void QORPLAYER_EnableDataDriven(uint32_t uPlayerId, int32_t bEnable) {
    ApplyDataDriven(uPlayerId, bEnable, "QORPLAYER_EnableDataDriven");
}

QORPLAYER_API void QORPLAYER_StreamEnableRemoteFilePlay(uint32_t uPlayerId, int32_t bEnable) {
    WithSlot("QORPLAYER_StreamEnableRemoteFilePlay", uPlayerId, 0, [bEnable](PlayerSlot& slot) {
        slot.bRemoteFilePlay = bEnable != 0;
        CMpegPlayer* engine = slot.Engine();
        if (engine != nullptr && engine->OpenMode() == kOpenStream) engine->SetRemoteFilePlay(slot.bRemoteFilePlay);
        return 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_DisableSynchronize(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_DisableSynchronize", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        engine.DisableSynchronize();
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_ThrownFrames(uint32_t uPlayerId, int32_t iValue) {
    return WithEngine("QORPLAYER_ThrownFrames", uPlayerId, 0,
                      [iValue](PlayerSlot&, CMpegPlayer& engine) { return engine.ThrownFrames(iValue) ? 1 : 0; });
}

}  // extern "C"
