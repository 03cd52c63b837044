#include "player/decoding/audio_decoder.h"

namespace qor {

bool CAudioDecoder::DecodeAudioVOP(DecodeFrame* pFrame) {
    if (pFrame) {
        pFrame->pPcm = nullptr;
        pFrame->uPcmLength = 0;
    }
    return false;
}

}  // namespace qor
