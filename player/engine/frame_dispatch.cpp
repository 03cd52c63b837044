// The frame dispatch: a cut frame becomes a frame record and is offered to
// the synchronisation controller, waiting while it is refused.
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "platform/debug_output.h"
#include "player/container/format.h"
#include "player/engine/mpeg_player.h"

namespace qor {

uint32_t CMpegPlayer::StampOrGuess(uint32_t uTime) {
    if (uTime == 0xFFFFFFFFu && m_bHaveLastFrameTime.load()) {
        uTime = m_uLastFrameTime.load() + uint32_t(m_iFrameInterval.load());
    }
    if (uTime != 0xFFFFFFFFu) {
        m_uLastFrameTime.store(uTime);
        m_bHaveLastFrameTime.store(true);
    }
    return uTime;
}

bool CMpegPlayer::FindUnitStart(const uint8_t* pBuffer, int iHeld, int* pPos) const {
    const uint8_t* unit = pBuffer + *pPos;
    const int left = iHeld - *pPos;
    if (m_pMpegParser->IsFrameStartCode(unit) || ReadLe32(unit) == kFileHeaderStartCode) return true;
    int type = kFrameAny;
    int rest = 0;
    const uint8_t* next = m_pMpegParser->SearchForward(unit, left, &type, &rest);
    if (next == nullptr) {
        if (rest < 0 || rest > left) rest = left;
        *pPos = iHeld - rest;
        return false;
    }
    *pPos = int(next - pBuffer);
    return true;
}

FramePtr CMpegPlayer::MakeFrameRecord(const uint8_t* pFrame, int iLength, int iType, int64_t iPosition) {
    FramePtr frame(new (std::nothrow) FrameRecord);
    if (!frame) return nullptr;
    frame->pBytes.reset(new (std::nothrow) uint8_t[size_t(iLength)]);
    if (!frame->pBytes) return nullptr;
    std::memcpy(frame->pBytes.get(), pFrame, size_t(iLength));
    frame->iType = iType;
    frame->iLength = iLength;
    frame->iPosition = iPosition;
    if (iType == kFrameFileHeader) {
        frame->iDataStart = 0;
        frame->iDataLength = iLength;
        return frame;
    }
    const uint32_t stamp = m_pMpegParser->GetTimeStamp(pFrame);
    if (iType == kFrameAudio) {
        frame->uTime = stamp;
        frame->iDataStart = kFrameHeaderSize;
        frame->iDataLength = iLength - kFrameHeaderSize;
        return frame;
    }
    frame->uTime = StampOrGuess(stamp);
    int dataLength = 0;
    const uint8_t* data = m_pMpegParser->GetVideoData(frame->pBytes.get(), &dataLength);
    if (data == nullptr) {
        // Lengths that contradict each other: nothing to decode.
        frame->iDataStart = iLength;
        frame->iDataLength = 0;
    } else {
        frame->iDataStart = int(data - frame->pBytes.get());
        frame->iDataLength = dataLength;
    }
    return frame;
}

bool CMpegPlayer::OfferWithWait(FramePtr& frame, bool bAudio, int iWaitLimit, const char* pThrowLine) {
    int refusals = 0;
    for (;;) {
        const bool taken = bAudio ? m_pAVSyncController->OfferAudio(frame) : m_pAVSyncController->OfferPicture(frame);
        if (taken) return true;
        if (m_bStop.load() || m_bSeeking.load() || m_bEmptyRequest.load()) return false;
        if (iWaitLimit >= 0 && ++refusals > iWaitLimit) {
            DebugOutput("%s", pThrowLine);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool CMpegPlayer::DealVideoFrame(FramePtr frame, int iWaitLimit) {
    if (!frame) return false;
    return OfferWithWait(frame, false, iWaitLimit, "[QOR]DealVideoFrame() throw a frame.\n");
}

bool CMpegPlayer::DealAudioFrame(FramePtr frame, int iWaitLimit) {
    if (!frame) return false;
    if (!m_pAudioDecoder) return true;  // no sound in this player: ignored
    return OfferWithWait(frame, true, iWaitLimit, "[QOR]DealAudioFrame() throw a frame.\n");
}

bool CMpegPlayer::DealMixedFrame(FramePtr frame, int iWaitLimit) {
    if (!frame) return false;
    return OfferWithWait(frame, false, iWaitLimit, "[QOR]DealMixedFrame() throw a frame.\n");
}

bool CMpegPlayer::DealFileHeaderFrame(FramePtr frame, int iWaitLimit) {
    if (!frame) return false;
    return OfferWithWait(frame, false, iWaitLimit, "[QOR]DealFileHeaderFrame() throw a frame.\n");
}

}  // namespace qor
