// Exported functions: player life cycle and the debug channel.
#include <string_view>

#include "player/api/player_table.h"

using namespace qor;
using namespace qor::api;

extern "C" {

QORPLAYER_API int32_t QORPLAYER_CreatePlayer(int32_t, int32_t) {
    if (!Library().bDecoderVersionGood.load()) {
        DebugOutput("[QOR]Dll version NOT correct!\n");
        return -1;
    }
    std::lock_guard<std::mutex> guard(TableLock());
    std::vector<PlayerSlot>& slots = Library().slots;
    for (size_t number = 0; number < slots.size(); ++number) {
        PlayerSlot& slot = slots[number];
        if (!slot.bInUse && slot.hWnd == 0 && slot.iOpenMode == kOpenIdle) {
            slot.bInUse = true;
            return static_cast<int32_t>(number);
        }
    }
    DebugOutput("[QOR]too mang player error.\n");
    return -1;
}

QORPLAYER_API void QORPLAYER_ReleasePlayer(uint32_t uPlayerId) {
    std::shared_ptr<OpenEngine> detached;
    WithSlot("QORPLAYER_ReleasePlayer", uPlayerId, 0, [&](PlayerSlot& slot) {
        detached = DetachEngine(slot);
        slot.ResetForRelease();
        return 0;
    });
    // Outside the lock: destruction waits for the engine's threads.
    detached.reset();
}

QORPLAYER_API int32_t QORPLAYER_ResetPlayer(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_ResetPlayer", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        engine.ResetPlayer();
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_GetSdkVersion(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_GetSdkVersion", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer&) { return 2; });
}

QORPLAYER_API void QORPLAYER_SetDebugOutput(DebugOutputCallBack fpCallBack, void* pUser) {
    if (fpCallBack == nullptr) {
        SetDebugSink(DebugSink());
        return;
    }
    SetDebugSink([fpCallBack, pUser](std::string_view line) {
        // Lines are short; the copy gives the caller a terminated string.
        const std::string text(line);
        fpCallBack(text.c_str(), pUser);
    });
}

}  // extern "C"
