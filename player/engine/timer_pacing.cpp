// The 1 ms pacing timer and the playback state and speed operations.
#include <chrono>

#include "platform/debug_output.h"
#include "player/engine/mpeg_player.h"

namespace qor {

void CMpegPlayer::TimerProc() {
    try {
        if (m_iState.load() != kStatePlaying) {
            if (m_bStop.load()) m_event.Signal();
            m_bTimerFirst = true;
            return;
        }
        const bool fileMode = m_iOpenMode.load() == kOpenFile;
        if (!fileMode && m_bDataDriven.load()) return;
        // Ticks are counted from the clock rather than one by one, so that a
        // tick the timer thread could not serve on a busy machine is not lost.
        const auto now = std::chrono::steady_clock::now();
        if (m_bTimerFirst) {
            m_lastRelease = now;
            m_bTimerFirst = false;
        }
        m_uTickCount = uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastRelease).count());
        const uint32_t current = m_uCurPicTime.load();
        const uint32_t previous = m_uPrevPicTime.load();
        if (current == previous) return;

        const float play = m_fPlaySpeed.load();
        if (!fileMode) {
            if (play == 1.0f && m_pAVSyncController) {
                const int queued = m_pAVSyncController->PictureCount();
                if (queued > m_iDelayFrames.load()) {
                    m_fPacingSpeed.store(1.2f);
                    m_bCatchUp.store(true);
                } else if (queued < m_iBufferedFrames.load()) {
                    m_fPacingSpeed.store(1.0f);
                    m_bCatchUp.store(false);
                }
            }
        } else if (!m_bSoundEnabled.load() && m_fPacingSpeed.load() != 1.0f && play == 1.0f) {
            m_fPacingSpeed.store(1.0f);
        }
        const float speed = play != 1.0f ? play : m_fPacingSpeed.load();
        if (speed <= 0.0f) return;  // speed 0 holds the picture
        const int interval = m_iFrameInterval.load();
        const int64_t distance = int64_t(current) - int64_t(previous);
        int64_t wait = int64_t(float(distance) / speed);
        if (m_bBackPlay.load() || distance < 0 || wait > 60000) wait = int64_t(float(interval) / speed);
        if (int64_t(m_uTickCount) >= wait) {
            // Keep to the schedule while on time; start afresh after a hold-up.
            m_lastRelease = int64_t(m_uTickCount) < wait + interval ? m_lastRelease + std::chrono::milliseconds(wait) : now;
            m_uTickCount = 0;
            m_event.Signal();
        }
    } catch (...) {
        DebugOutput("[QOR]TimerProc() report ZRV.\n");
    }
}

bool CMpegPlayer::Play() {
    if (m_iOpenMode.load() == kOpenFile && (m_bWaiting.load() || m_iState.load() == kStateStepWait ||
                                            m_iState.load() == kStateStepsExhausted)) {
        if (!m_bBackPlay.load()) RepositionAfterSteps();
    }
    if (m_pAudioPlayer) m_pAudioPlayer->Play();
    m_iState.store(kStatePlaying);
    return true;
}

bool CMpegPlayer::Pause() {
    if (m_iOpenMode.load() == kOpenStream && !m_bRemoteFilePlay.load()) return false;
    m_iState.store(kStatePaused);
    if (m_pAudioPlayer) m_pAudioPlayer->Pause();
    return true;
}

bool CMpegPlayer::Stop() {
    if (m_iOpenMode.load() == kOpenStream) return false;
    m_iState.store(kStateStopped);
    if (m_pAudioPlayer) m_pAudioPlayer->Stop();
    return true;
}

bool CMpegPlayer::SetPlaySpeed(float fSpeed) {
    if (m_iOpenMode.load() == kOpenStream && !m_bRemoteFilePlay.load()) return false;
    if (!(fSpeed >= 0.0f && fSpeed <= 16.0f)) return false;
    m_fPlaySpeed.store(fSpeed);
    m_fPacingSpeed.store(fSpeed);
    return true;
}

void CMpegPlayer::EnableAudio(bool bEnable) {
    m_bSoundEnabled.store(bEnable);
    if (!bEnable && m_pAudioPlayer) m_pAudioPlayer->Stop();
}

// --- positions ---

int CMpegPlayer::TotalTime() const {
    if (m_iOpenMode.load() != kOpenFile) return 0;
    return int(int64_t(m_uLastTime.load()) - int64_t(m_uFirstTime.load()));
}

int CMpegPlayer::PlayedTime() const { return int(int64_t(m_uCurrentTime.load()) - int64_t(m_uFirstTime.load())); }

int CMpegPlayer::TotalFrames() const {
    const int interval = m_iFrameInterval.load();
    return interval > 0 ? TotalTime() / interval : 0;
}

int CMpegPlayer::PlayedFrames() const {
    const int interval = m_iFrameInterval.load();
    return interval > 0 ? (PlayedTime() + interval / 2) / interval : 0;
}

float CMpegPlayer::GetPosition() const {
    const int total = TotalTime();
    if (m_iOpenMode.load() != kOpenFile || total <= 0) return 0.0f;
    const float position = float(PlayedTime()) / float(total);
    return m_bPercentPositions.load() ? position * 100.0f : position;
}

}  // namespace qor
