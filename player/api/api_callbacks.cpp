// Exported functions: registering the decode callbacks.
#include "player/api/player_table.h"

using namespace qor;
using namespace qor::api;

extern "C" {

QORPLAYER_API int32_t QORPLAYER_RegisterVideoDecodeCallBack(uint32_t uPlayerId, VideoDecodeCallBack fpCallBack,
                                                           uint32_t uUserValue) {
    return WithSlot("QORPLAYER_RegisterVideoDecodeCallBack", uPlayerId, 0, [&](PlayerSlot& slot) {
        if (fpCallBack == nullptr) return 0;
        slot.fpVideoDecodeCallBack = fpCallBack;
        slot.uCallBackUser = uUserValue;
        CMpegPlayer* engine = slot.Engine();
        if (engine == nullptr) return 0;  // kept for the next open
        engine->SetVideoDecodeCallBack(fpCallBack, uUserValue);
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_UnRegisterVideoDecodeCallBack(uint32_t uPlayerId, int32_t) {
    return WithEngine("QORPLAYER_UnRegisterVideoDecodeCallBack", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        engine.SetVideoDecodeCallBack(nullptr, 0);
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_RegisterAudioDecodeCallBack(uint32_t uPlayerId, AudioDecodeCallBack fpCallBack,
                                                           int32_t iLeadTimeMs, uint32_t uUserValue) {
    return WithSlot("QORPLAYER_RegisterAudioDecodeCallBack", uPlayerId, 0, [&](PlayerSlot& slot) {
        if (fpCallBack == nullptr) return 0;
        slot.fpAudioDecodeCallBack = fpCallBack;
        slot.iAudioLeadTime = iLeadTimeMs;
        slot.uAudioUser = uUserValue;
        CMpegPlayer* engine = slot.Engine();
        if (engine == nullptr) return 0;  // kept for the next open
        engine->SetAudioDecodeCallBack(fpCallBack, iLeadTimeMs, uUserValue);
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_UnRegisterAudioDecodeCallBack(uint32_t uPlayerId, int32_t) {
    return WithEngine("QORPLAYER_UnRegisterAudioDecodeCallBack", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        engine.SetAudioDecodeCallBack(nullptr, kDefaultAudioLeadTime, 0);
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_RegisterDecCallBack(uint32_t uPlayerId, DecCallBack fpCallBack, int32_t,
                                                   uint32_t uUserValue, int32_t bWholeBlock) {
    return WithSlot("QORPLAYER_RegisterDecCallBack", uPlayerId, 0, [&](PlayerSlot& slot) {
        if (fpCallBack == nullptr) return 0;
        slot.fpDecCallBack = fpCallBack;
        slot.uCallBackUser = uUserValue;
        slot.bWholeBlock = bWholeBlock != 0;
        CMpegPlayer* engine = slot.Engine();
        if (engine == nullptr) {
            DebugOutput("[QOR]QORPLAYER_RegisterDecCallBack() uPlayerId=%d error.\n", PrintedId(uPlayerId));
            return 0;
        }
        engine->SetDecCallBack(fpCallBack, uUserValue, slot.bWholeBlock);
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_UnRegisterDecCallBack(uint32_t uPlayerId, int32_t) {
    return WithEngine("QORPLAYER_UnRegisterDecCallBack", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        engine.SetDecCallBack(nullptr, 0, false);
        return 1;
    });
}

}  // extern "C"
