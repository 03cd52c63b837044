// Exported functions kept for callers of older versions: they do nothing
// here and give fixed results.
#include "player/api/player_table.h"

using namespace qor;
using namespace qor::api;

namespace {
int32_t ZeroOfOne(int32_t) { return 0; }
int32_t ZeroOfTwo(int32_t, int32_t) { return 0; }
int32_t ZeroOfThree(int32_t, int32_t, int32_t) { return 0; }
int32_t ZeroOfFour(int32_t, int32_t, int32_t, int32_t) { return 0; }
}  // namespace

extern "C" {

QORPLAYER_API int32_t QORPLAYER_GetLastError(uint32_t uValue) { return ZeroOfOne(static_cast<int32_t>(uValue)); }
QORPLAYER_API int32_t QORPLAYER_FileCheckIndex(uint32_t uValue) { return ZeroOfOne(static_cast<int32_t>(uValue)); }

QORPLAYER_API int32_t QORPLAYER_FileCreateIndex(uint32_t uPlayerId, int32_t, int32_t, int32_t) {
    return WithEngine("QORPLAYER_FileCreateIndex", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer&) { return 0; });
}

QORPLAYER_API int32_t QORPLAYER_FullScreen(uint32_t uPlayerId, int32_t) {
    return WithEngine("QORPLAYER_FullScreen", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer&) { return 0; });
}

QORPLAYER_API int32_t QORPLAYER_GetVideoAdapterCaps(int32_t) { return -1; }
QORPLAYER_API int32_t QORPLAYER_FilePlayKeyFrame(int32_t a, int32_t b, int32_t c) { return ZeroOfThree(a, b, c); }
QORPLAYER_API int32_t QORPLAYER_GetDecoderChannelInfo(int32_t a, int32_t b, int32_t c) { return ZeroOfThree(a, b, c); }
QORPLAYER_API int32_t QORPLAYER_FileFixIndex(int32_t a, int32_t b) { return ZeroOfTwo(a, b); }
QORPLAYER_API int32_t QORPLAYER_StreamSetBuf(int32_t a, int32_t b) { return ZeroOfTwo(a, b); }
QORPLAYER_API int32_t QORPLAYER_FileBeginIndex(int32_t a, int32_t b, int32_t c, int32_t d) { return ZeroOfFour(a, b, c, d); }
QORPLAYER_API int32_t QORPLAYER_ReadDecoderUserInfo(int32_t a, int32_t b, int32_t c, int32_t d) {
    return ZeroOfFour(a, b, c, d);
}
QORPLAYER_API int32_t QORPLAYER_SetErrorNotify(int32_t a, int32_t b, int32_t c, int32_t d) { return ZeroOfFour(a, b, c, d); }
QORPLAYER_API int32_t QORPLAYER_WriteDecoderUserInfo(int32_t a, int32_t b, int32_t c, int32_t d) {
    return ZeroOfFour(a, b, c, d);
}
QORPLAYER_API void QORPLAYER_Mute(int32_t, int32_t) {}
QORPLAYER_API void QORPLAYER_CetBlackScreen(int32_t) {}

}  // extern "C"
