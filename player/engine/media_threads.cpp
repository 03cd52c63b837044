// The video, audio and hardware-audio threads: pictures and sound leave the
// controller's queues here, are decoded, paced and presented or handed to
// the caller's callbacks.
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/debug_output.h"
#include "player/container/format.h"
#include "player/engine/mpeg_player.h"

namespace qor {

namespace {
// A stream without new input for this long has ended for now: pictures held
// for start-up buffering are handed out instead of waiting for more.
constexpr int64_t kStreamIdleMs = 500;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void CMpegPlayer::VideoThreadProc() {
    try {
        VideoThreadBody();
    } catch (...) {
        DebugOutput("[QOR]VideoThreadProc() report ZRV.\n");
    }
}

void CMpegPlayer::VideoThreadBody() {
    const bool fileMode = m_iOpenMode.load() == kOpenFile;
    int round = 0;
    while (!m_bStop.load()) {
        if (m_bSeeking.load()) {
            ParkForSeek(m_bVideoIdle);
            continue;
        }
        const int state = m_iState.load();
        if (state == kStateStopped || state == kStatePaused || m_bEmptyRequest.load()) {
            SleepUnlessStopping(10);
            continue;
        }
        if (state == kStateStepWait || state == kStateStepsExhausted) {
            if (m_bStepWanted.load()) {
                AnswerStreamStep();
                continue;
            }
            SleepUnlessStopping(10);
            if (++round % 10 == 0 && m_pVideoPlayer) m_pVideoPlayer->Redraw();
            continue;
        }
        if (m_bBackPlay.load()) {
            KeptPicture picture;
            bool have = false;
            {
                std::lock_guard<std::mutex> guard(m_frameListLock);
                if (!m_backPlayList.empty()) {
                    picture = std::move(m_backPlayList.back());
                    m_backPlayList.pop_back();
                    have = true;
                }
            }
            if (!have) {
                if (!FillBackPlayGroup()) {
                    // Back at the first key picture: back-play is over.
                    m_bBackPlay.store(false);
                    m_iState.store(kStateStopped);
                    NotifyEndOfFile();
                }
                continue;
            }
            VideoDecodeFrameInfo info{};
            info.iFormat = QOR_PICTURE_PLANAR_YUV420;
            info.iWidth = picture.iWidth;
            info.iHeight = picture.iHeight;
            info.iFrameRate = m_iFrameRate.load();
            info.uTimeStamp = picture.uTime;
            const size_t luma = size_t(picture.iWidth) * size_t(picture.iHeight);
            info.pY = picture.planes.data();
            info.pU = picture.planes.data() + luma;
            info.pV = picture.planes.data() + luma * 5 / 4;
            info.iYStride = picture.iWidth;
            info.iUStride = info.iVStride = picture.iWidth / 2;
            m_uCurPicTime.store(picture.uTime);
            PaceVideo();
            if (m_bSeeking.load() || m_bStop.load()) continue;
            FrameRecord shown;
            shown.uTime = picture.uTime;
            shown.iPosition = picture.iPosition;
            PresentPicture(info, shown);
            continue;
        }

        const bool drain = fileMode ? m_bEndOfFile.load() : NowMs() - m_iLastInputMs.load() > kStreamIdleMs;
        FramePtr frame = m_pAVSyncController->TakePicture(drain);
        if (!frame) {
            if (fileMode && m_bEndOfFile.load() && m_pAVSyncController->PictureCount() == 0) {
                m_iState.store(kStateStopped);
                m_bBackPlay.store(false);
                NotifyEndOfFile();
                continue;
            }
            SleepUnlessStopping(1);
            continue;
        }
        if (frame->iType == kFrameFileHeader) {
            HandleHeaderUnit(*frame);
            continue;
        }
        if (m_bNeedKeyPicture.load() && frame->iType != kFrameKey) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        VideoDecodeFrameInfo info{};
        if (!DecodePicture(*frame, &info)) continue;
        m_uCurPicTime.store(info.uTimeStamp);
        PaceVideo();
        if (m_bSeeking.load() || m_bStop.load()) continue;
        PresentPicture(info, *frame);
        // The picture held while the step was asked for is the step's picture.
        if (m_bStepWanted.load() && m_iState.load() == kStateStepWait) FinishStreamStep(true);
    }
}

void CMpegPlayer::AnswerStreamStep() {
    while (!m_bStop.load() && !m_bSeeking.load()) {
        // Start-up buffering does not apply: a step shows whatever is queued.
        FramePtr frame = m_pAVSyncController->TakePicture(true);
        if (!frame) {
            m_iState.store(kStateStepsExhausted);
            FinishStreamStep(false);
            return;
        }
        if (frame->iType == kFrameFileHeader) {
            HandleHeaderUnit(*frame);
            continue;
        }
        if (m_bNeedKeyPicture.load() && frame->iType != kFrameKey) continue;
        VideoDecodeFrameInfo info{};
        if (!DecodePicture(*frame, &info)) continue;
        PresentPicture(info, *frame);
        FinishStreamStep(true);
        return;
    }
}

void CMpegPlayer::FinishStreamStep(bool bShown) {
    m_bStepWanted.store(false);
    m_iStepAnswer.store(bShown ? 1 : 0);
}

void CMpegPlayer::HandleHeaderUnit(const FrameRecord& frame) {
    bool changed = false;
    int delay = 0;
    if (!m_pMpegParser->ParseMpegFileHeaderInfo(frame.pBytes.get(), &changed, &delay)) {
        DebugOutput("[QOR]call ParseMpegFileHeaderInfo() error.\n");
        return;
    }
    if (m_iOpenMode.load() == kOpenFile) DebugOutput("[QOR]another file header(F) found.\n");
    if (!changed) return;
    m_iWidth.store(m_fileInfo.iWidth);
    m_iHeight.store(m_fileInfo.iHeight);
    const int rate = ReadLe16(frame.pBytes.get() + kHeaderFrameRateOffset);
    if (rate >= 1 && rate <= 100) {
        m_iFrameRate.store(rate);
        m_iFrameInterval.store(1000 / rate);
    }
    if (m_pVideoPlayer) m_pVideoPlayer->Reinitialise(m_fileInfo.iWidth, m_fileInfo.iHeight, m_iFrameRate.load());
    // The decoder is made again for the new format at the next key picture.
    m_bNewHeaderPending.store(true);
    m_bNeedKeyPicture.store(true);
}

bool CMpegPlayer::DecodePicture(const FrameRecord& frame, VideoDecodeFrameInfo* pInfo) {
    if (!m_pVideoDecoder || frame.iDataLength <= 0) return false;
    DecodeFrame& work = m_videoWork;
    work = DecodeFrame{};
    work.pData = frame.Data();
    work.uLength = uint32_t(frame.iDataLength);
    work.times.uTime = frame.uTime;
    work.times.uSecondTime = frame.uSecondTime;
    work.times.uPositionLow = uint32_t(uint64_t(frame.iPosition) & 0xFFFFFFFFu);
    work.times.uPositionHigh = uint32_t(uint64_t(frame.iPosition) >> 32);
    work.bNewFileHeader = m_bNewHeaderPending.exchange(false);
    if (!m_pVideoDecoder->DecodeVideoVOP(&work)) return false;
    if (work.iPictureAvailable < 0 || work.picture.pY == nullptr) return false;
    m_bNeedKeyPicture.store(false);
    VideoDecodeFrameInfo& info = *pInfo;
    info = VideoDecodeFrameInfo{};
    info.iFormat = QOR_PICTURE_PLANAR_YUV420;
    info.iWidth = work.iDisplayWidth > 0 ? work.iDisplayWidth : work.picture.iWidth;
    info.iHeight = work.iDisplayHeight > 0 ? work.iDisplayHeight : work.picture.iHeight;
    info.iFrameRate = m_iFrameRate.load();
    info.uTimeStamp = work.times.uTime;
    info.pY = work.picture.pY;
    info.pU = work.picture.pU;
    info.pV = work.picture.pV;
    info.iYStride = work.picture.iStrideY;
    info.iUStride = work.picture.iStrideU;
    info.iVStride = work.picture.iStrideV;
    return true;
}

void CMpegPlayer::PresentPicture(const VideoDecodeFrameInfo& info, const FrameRecord& frame) {
    if (m_pVideoPlayer) m_pVideoPlayer->Present(info);
    {
        std::lock_guard<std::mutex> guard(m_frameListLock);
        if (frame.iPosition >= 0) {
            m_iShownPosition = frame.iPosition;
            m_iShownEnd = frame.iPosition + frame.iLength;
        }
    }
    m_uSecondTime.store(frame.iType == kFrameKey ? frame.uSecondTime : m_uSecondTime.load() + 1);
    m_uCurrentTime.store(info.uTimeStamp);
    m_uPlayClock.store(info.uTimeStamp);
    m_uPrevPicTime.store(info.uTimeStamp);
    m_uCurPicTime.store(info.uTimeStamp);
    m_bPacingFirst.store(false);

    // File mode: keep the pictures on the audio clock.
    if (m_iOpenMode.load() == kOpenFile && HasAudio() && m_bSoundEnabled.load() && m_bAudioClockValid.load()) {
        const float play = m_fPlaySpeed.load();
        if (play == 1.0f) {
            // The sound heard now: the end of what was written less what still waits in the device.
            const int64_t heard = int64_t(m_uAudioClock.load()) - m_pAudioPlayer->QueuedMilliseconds();
            const int offset = int(heard - int64_t(info.uTimeStamp));
            m_fPacingSpeed.store(m_pAVSyncController->UpdateDrift(offset, m_iFrameInterval.load(), m_fPacingSpeed.load()));
        } else {
            m_fPacingSpeed.store(play);
        }
    }
}

void CMpegPlayer::ResetVideoDecoder() {
    if (m_pVideoDecoder) m_pVideoDecoder->ResetTimeQueue();
    m_bNeedKeyPicture.store(true);
    m_bPacingFirst.store(true);
}

void CMpegPlayer::NotifyEndOfFile() {
    if (m_bEndNotified.exchange(true)) return;
    EndOfFileNotify notify;
    {
        std::lock_guard<std::mutex> guard(m_notifyLock);
        notify = m_endOfFileNotify;
    }
    if (notify) notify(m_uPlayerId);
}

void CMpegPlayer::PaceVideo() {
    const bool fileMode = m_iOpenMode.load() == kOpenFile;
    if (!fileMode && m_bDataDriven.load()) return;
    if (m_bPacingFirst.load()) {
        // Nothing shown yet to measure from: one frame interval.
        m_uPrevPicTime.store(m_uCurPicTime.load() - uint32_t(m_iFrameInterval.load()));
    }
    int timeout = 2000;
    if (fileMode) {
        const float speed = m_fPacingSpeed.load();
        timeout = speed > 0.0f ? int(6.0f * float(m_iFrameInterval.load()) / speed) : 1 << 30;
    }
    // Slices, so that a stop, a seek or a pause is noticed at once.
    int waited = 0;
    while (waited < timeout) {
        if (m_bStop.load() || m_bSeeking.load()) return;
        if (m_iState.load() != kStatePlaying) {
            if (m_bStepWanted.load() && m_iState.load() == kStateStepWait) return;
            SleepUnlessStopping(5);
            continue;
        }
        const int slice = timeout - waited < 10 ? timeout - waited : 10;
        if (m_event.Wait(slice)) return;
        waited += slice;
    }
}

void CMpegPlayer::AudioThreadProc() {
    try {
        AudioThreadBody();
    } catch (...) {
        DebugOutput("[QOR]AudioThreadProc() report ZRV.\n");
    }
}

bool CMpegPlayer::AudioIsLate(uint32_t uTime) {
    if (uTime == 0xFFFFFFFFu || m_bPacingFirst.load()) return false;
    return int64_t(uTime) + m_iAudioTolerance.load() < int64_t(m_uPrevPicTime.load());
}

bool CMpegPlayer::HoldAudioForCallback(uint32_t uTime) {
    for (;;) {
        if (m_bStop.load() || m_bSeeking.load() || m_bEmptyRequest.load()) return false;
        if (m_iState.load() != kStatePlaying || m_fPlaySpeed.load() != 1.0f || !m_bSoundEnabled.load()) return true;
        if (int64_t(uTime) <= int64_t(m_uCurrentTime.load()) + m_iAudioLeadTime.load()) return true;
        // With no picture left to move the clock on, holding back would hold
        // the stream's last blocks for ever.
        if (m_pAVSyncController->PictureCount() == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void CMpegPlayer::AudioThreadBody() {
    const bool fileMode = m_iOpenMode.load() == kOpenFile;
    while (!m_bStop.load()) {
        if (m_bSeeking.load()) {
            ParkForSeek(m_bAudioIdle);
            continue;
        }
        const int state = m_iState.load();
        if (state != kStatePlaying || m_bEmptyRequest.load() || m_bBackPlay.load()) {
            SleepUnlessStopping(10);
            continue;
        }
        FramePtr frame = m_pAVSyncController->TakeAudio();
        if (!frame) {
            SleepUnlessStopping(fileMode ? 10 : 2);
            continue;
        }
        if (!m_bSyncDisabled.load() && AudioIsLate(frame->uTime)) {
            const bool enoughPictures =
                m_pAVSyncController->PictureCount() > int(float(m_pAVSyncController->BufferedFrames()) * 0.5f);
            if (!fileMode && (m_bDataDriven.load() || enoughPictures)) {
                if (!m_bSoundStopped.exchange(true)) m_pAudioPlayer->Stop();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
        } else if (m_bSoundStopped.exchange(false)) {
            m_pAudioPlayer->Reset();
        }
        DecodeFrame& work = m_audioWork;
        work = DecodeFrame{};
        work.pData = frame->Data();
        work.uLength = uint32_t(frame->iDataLength > 0 ? frame->iDataLength : 0);
        work.times.uTime = frame->uTime;
        // A decoder that needs the next frame before it can finish one gives
        // out each frame's sound one call late; the block keeps its own time.
        m_audioTimes.push_back(frame->uTime);
        const bool decoded = m_pAudioDecoder->DecodeAudioVOP(&work) && work.pPcm != nullptr && work.uPcmLength > 0;
        if (!decoded) {
            if (!m_bAudioLagKnown) ++m_iAudioLag;
            if (m_audioTimes.size() > size_t(m_iAudioLag) + 1) m_audioTimes.pop_front();
            continue;
        }
        m_bAudioLagKnown = true;
        while (m_audioTimes.size() > size_t(m_iAudioLag) + 1) m_audioTimes.pop_front();
        const uint32_t blockTime = m_audioTimes.front();

        AudioDecodeCallBack callback = nullptr;
        uint32_t user = 0;
        {
            std::lock_guard<std::mutex> guard(m_callbackLock);
            callback = m_fpAudioDisplayCallBack;
            user = m_uAudioUserValue;
        }
        if (callback != nullptr) {
            if (!HoldAudioForCallback(blockTime)) continue;
            AudioDecodeFrameInfo info{};
            info.uTimeStamp = blockTime;
            const WaveFormat format = m_pAudioDecoder->GetOutputFormat();
            static_assert(sizeof(info.waveFormat) == sizeof(format));
            std::memcpy(&info.waveFormat, &format, sizeof(format));
            info.pData = const_cast<uint8_t*>(work.pPcm);
            info.uLength = work.uPcmLength;
            info.uUserValue = user;
            callback(m_uPlayerId, &info);
        } else if (m_bSoundEnabled.load()) {
            m_pAudioPlayer->Write(work.pPcm, work.uPcmLength);
            if (blockTime != 0xFFFFFFFFu && m_pAudioPlayer->HasClock()) {
                const WaveFormat format = m_pAudioDecoder->GetOutputFormat();
                const int blockMs = format.nAvgBytesPerSec > 0 ? int(uint64_t(work.uPcmLength) * 1000 / format.nAvgBytesPerSec) : 0;
                m_uAudioClock.store(blockTime + uint32_t(blockMs));
                m_bAudioClockValid.store(true);
            }
        }
    }
}

// No family drives the decoder card, so this thread only keeps its place in
// the quiescing protocol until the engine stops.
void CMpegPlayer::AudioHardThreadProc() {
    try {
        while (!m_bStop.load()) {
            if (m_bSeeking.load()) {
                ParkForSeek(m_bHardIdle);
                continue;
            }
            SleepUnlessStopping(10);
        }
    } catch (...) {
        DebugOutput("[QOR]AudioHardThreadProc() report ZRV.\n");
    }
}

}  // namespace qor
