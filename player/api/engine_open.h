// Building an engine for a slot at open time: the slot's settings are handed
// to a new CMpegPlayer in the order the engine expects them.
//
// Threading: called under the table lock by the two open functions.
#pragma once

#include "player/api/player_table.h"

namespace qor::api {

struct OpenRequest {
    bool bFileMode = true;
    const char* pFileName = nullptr;        // file mode
    bool bFollowGrowingFile = false;        // file mode
    const uint8_t* pHeader = nullptr;       // stream mode
    int iHeaderLength = 0;                  // stream mode
    const char* pConstructFailLine = "";    // written when the engine cannot be constructed
};

// Destroys any engine still open on the slot, then builds and initialises a
// new one. On failure writes its line and leaves the slot without an engine.
bool OpenEngineOnSlot(PlayerSlot& slot, uint32_t uPlayerId, const OpenRequest& request);

}  // namespace qor::api
