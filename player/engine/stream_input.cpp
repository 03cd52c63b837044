// Stream input: the caller's bytes collect in one buffer of at most 2 MiB,
// whole frames are cut out on the writer's thread and dispatched, and the
// writer is held back while the controller holds as many pictures as it
// will queue.
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "platform/debug_output.h"
#include "player/container/format.h"
#include "player/engine/mpeg_player.h"

namespace qor {

namespace {
int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

bool CMpegPlayer::WaitWhileFull(int iWaitLimit, int* pRounds) {
    while (m_pAVSyncController->IsFull()) {
        if (m_bStop.load() || m_bEmptyRequest.load()) return false;
        if (iWaitLimit > 0 && ++*pRounds > iWaitLimit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int CMpegPlayer::StreamWriteToBuf(const uint8_t* pData, int iLength, int iWaitLimit) {
    struct Inside {
        std::atomic<int>& count;
        explicit Inside(std::atomic<int>& c) : count(c) { count.fetch_add(1); }
        ~Inside() { count.fetch_sub(1); }
    } inside(m_iWritersInside);
    if (m_bStop.load() || !m_pMpegParser || m_iOpenMode.load() != kOpenStream || !m_pAVSyncController) return 0;
    try {
        if (m_bEmptyRequest.load()) {
            ResetPlayer();
            m_iStreamHeld.store(0);
            m_bEmptyRequest.store(false);
        }
        if (pData == nullptr || iLength < 0 || iLength > kStreamBufferLimit) return 0;
        m_iLastInputMs.store(NowMs());
        int rounds = 0;
        if (!WaitWhileFull(iWaitLimit, &rounds)) return 0;

        const int held = m_iStreamHeld.load();
        bool taken = false;
        if (int64_t(held) + iLength <= int64_t(m_streamBuffer.size())) {
            std::memcpy(m_streamBuffer.data() + held, pData, size_t(iLength));
            taken = true;
        } else if (int64_t(held) + iLength <= kStreamBufferLimit) {
            try {
                m_streamBuffer.resize(size_t(held + iLength));
            } catch (const std::bad_alloc&) {
                DebugOutput("[QOR]StreamWriteToBuf() new m_pStreamWriteBuf error.\n");
                return 0;
            }
            std::memcpy(m_streamBuffer.data() + held, pData, size_t(iLength));
            taken = true;
        }
        const int total = taken ? held + iLength : held;
        m_iStreamHeld.store(total);
        if (total >= m_pMpegParser->GetFrameHeaderSize()) CutStreamFrames(iWaitLimit);
        m_iLastInputMs.store(NowMs());
        return taken ? iLength : 0;
    } catch (...) {
        DebugOutput("[QOR]StreamWriteToBuf() report ZRV.\n");
        return 0;
    }
}

void CMpegPlayer::CutStreamFrames(int iWaitLimit) {
    uint8_t* const buffer = m_streamBuffer.data();
    const int total = m_iStreamHeld.load();
    const int headerSize = m_pMpegParser->GetFrameHeaderSize();
    int pos = 0;
    int rounds = 0;
    while (total - pos >= headerSize) {
        // Without a start the tail kept may hold a header cut by the write.
        const int at = pos;
        if (!FindUnitStart(buffer, total, &pos)) break;
        if (pos != at) continue;
        const uint8_t* frame = buffer + pos;
        const int type = m_pMpegParser->GetFrameType(frame);
        int size = kFileHeaderLength;
        if (type != kFrameFileHeader) {
            size = m_pMpegParser->GetFrameLength(frame);
            if (size < headerSize) {
                DebugOutput("[QOR]StreamWriteToBuf() input frame size error.\n");
                m_iStreamHeld.store(0);
                return;
            }
        }
        if (total - pos < size) break;

        switch (type) {
            case kFrameAudio:
                if (m_bWaitingForKeyFrame.load()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                } else {
                    DealAudioFrame(MakeFrameRecord(frame, size, type, -1), 0);
                }
                break;
            case kFrameKey:
            case kFramePredicted:
            case kFramePredicted2:
                if (m_bWaitingForKeyFrame.load()) {
                    if (type != kFrameKey) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                        break;
                    }
                    const uint32_t stamp = m_pMpegParser->GetTimeStamp(frame);
                    if (stamp != 0xFFFFFFFFu) {
                        m_uFirstTime.store(stamp);
                        m_uCurrentTime.store(stamp);
                        m_uPlayClock.store(stamp);
                        m_uLastFrameTime.store(stamp);
                        m_bHaveLastFrameTime.store(true);
                    }
                    m_uSecondTime.store(0);
                    m_bWaitingForKeyFrame.store(false);
                }
                DealVideoFrame(MakeFrameRecord(frame, size, type, -1), 0);
                break;
            case kFrameMixed: {
                const int sub = m_pMpegParser->GetMixedFrameType(frame);
                if (m_bWaitingForKeyFrame.load()) {
                    if (sub != kFrameKey) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                        break;
                    }
                    m_bWaitingForKeyFrame.store(false);
                }
                DealMixedFrame(MakeFrameRecord(frame, size, type, -1), 0);
                break;
            }
            case kFrameFileHeader: {
                bool changed = false;
                int delay = 0;
                if (!m_pStreamHeaderParser->ParseMpegFileHeaderInfo(frame, &changed, &delay)) {
                    DebugOutput("[QOR]call ParseMpegFileHeaderInfo() error.\n");
                    break;
                }
                const int rate = ReadLe16(frame + kHeaderFrameRateOffset);
                if (rate >= 1 && rate <= 100) m_iFrameInterval.store(1000 / rate);
                DealFileHeaderFrame(MakeFrameRecord(frame, size, type, -1), 0);
                m_bWaitingForKeyFrame.store(true);
                break;
            }
            default:
                DebugOutput("[QOR]Frame type error, ignore this frame.\n");
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                break;
        }
        pos += size;
        if (m_bStop.load() || m_bEmptyRequest.load()) break;
        if (pos < total && !WaitWhileFull(iWaitLimit, &rounds)) break;
    }
    const int rest = total - pos;
    if (rest > 0 && pos > 0) std::memmove(buffer, buffer + pos, size_t(rest));
    m_iStreamHeld.store(rest);
}

int CMpegPlayer::StreamGetBufferedFrames() const {
    return m_pAVSyncController ? m_pAVSyncController->PictureCount() : 0;
}

void CMpegPlayer::StreamSetDelayFrames(int iFrames) {
    if (iFrames >= 1 && iFrames <= 999) m_iDelayFrames.store(iFrames);
}

void CMpegPlayer::StreamSetBufferedFrames(int iFrames) {
    if (iFrames < 1 || iFrames > 999) return;
    m_iBufferedFrames.store(iFrames);
    if (m_pAVSyncController && !m_bDataDriven.load()) m_pAVSyncController->SetBufferedFrames(iFrames);
}

void CMpegPlayer::SetDataDriven(bool bEnable) {
    if (m_iOpenMode.load() != kOpenStream) return;
    if (m_iFamilyCode == kFamilyOsprey) {
        std::lock_guard<std::mutex> guard(m_callbackLock);
        if (m_fpAudioDisplayCallBack == nullptr) return;
    }
    m_bDataDriven.store(bEnable);
    if (m_pAVSyncController) m_pAVSyncController->SetBufferedFrames(bEnable ? 0 : m_iBufferedFrames.load());
}

void CMpegPlayer::SetRemoteFilePlay(bool bEnable) {
    m_bRemoteFilePlay.store(bEnable);
    // The tolerance follows this engine's own flag; other players keep theirs.
    m_iAudioTolerance.store(bEnable ? 200 : 400);
}

bool CMpegPlayer::ThrownFrames(int iValue) {
    if (!m_pAVSyncController) return false;
    m_pAVSyncController->SetThrownFrames(iValue);
    return true;
}

}  // namespace qor
