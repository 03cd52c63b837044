#include "player/engine/av_sync_controller.h"

#include <cstdlib>

#include "player/container/format.h"

namespace qor {

CAVSyncController::CAVSyncController(bool bHasAudio) : m_bHasAudio(bHasAudio) {}

CAVSyncController::~CAVSyncController() = default;

bool CAVSyncController::OfferPicture(FramePtr& frame) {
    std::lock_guard<std::mutex> guard(m_pictureQueueLock);
    if (int(m_pictureQueue.size()) >= kQueueLimit) return false;
    m_pictureQueue.push_back(std::move(frame));
    m_iPictureCount.store(int(m_pictureQueue.size()));
    return true;
}

FramePtr CAVSyncController::TakePicture(bool bDrain) {
    std::lock_guard<std::mutex> guard(m_pictureQueueLock);
    if (m_pictureQueue.empty()) {
        m_bReleasing = false;
        return nullptr;
    }
    if (!m_bReleasing && !bDrain) {
        if (int(m_pictureQueue.size()) < m_iBufferedFrames.load()) return nullptr;
        m_bReleasing = true;
    }
    if (m_pictureQueue.front()->iType == kFrameFileHeader && m_pictureQueue.size() < 2 && !bDrain) return nullptr;
    FramePtr frame = std::move(m_pictureQueue.front());
    m_pictureQueue.pop_front();
    m_iPictureCount.store(int(m_pictureQueue.size()));
    return frame;
}

FramePtr CAVSyncController::TakeAudio() {
    std::lock_guard<std::mutex> guard(m_audioQueueLock);
    if (m_audioQueue.empty()) return nullptr;
    FramePtr frame = std::move(m_audioQueue.front());
    m_audioQueue.pop_front();
    m_iAudioCount.store(int(m_audioQueue.size()));
    return frame;
}

void CAVSyncController::Clear() {
    std::deque<FramePtr> pictures;
    std::deque<FramePtr> audio;
    {
        std::lock_guard<std::mutex> guard(m_pictureQueueLock);
        pictures.swap(m_pictureQueue);
        m_iPictureCount.store(0);
        m_bReleasing = false;
    }
    {
        std::lock_guard<std::mutex> guard(m_audioQueueLock);
        audio.swap(m_audioQueue);
        m_iAudioCount.store(0);
    }
    // The frames are freed here, outside the locks.
}

float CAVSyncController::UpdateDrift(int iOffset, int iFrameInterval, float fPacingSpeed) {
    if (m_iDriftPictures < kDriftLearnPictures) {
        m_iDriftSum += iOffset;
        ++m_iDriftPictures;
        return fPacingSpeed;
    }
    const int64_t average = m_iDriftSum / kDriftLearnPictures;
    const int64_t distance = int64_t(iOffset) - average;
    if (fPacingSpeed == 1.0f) {
        if (distance > 2 * int64_t(iFrameInterval)) return 1.2f;    // sound ahead: pictures catch up
        if (distance < -2 * int64_t(iFrameInterval)) return 0.8f;   // pictures ahead: let sound catch up
        return 1.0f;
    }
    if (std::llabs(distance) <= int64_t(iFrameInterval)) return 1.0f;
    return fPacingSpeed;
}

void CAVSyncController::ResetDrift() {
    m_iDriftPictures = 0;
    m_iDriftSum = 0;
}

bool CFileAVSyncController::OfferAudio(FramePtr& frame) {
    if (!m_bHasAudio) {
        frame.reset();
        return true;
    }
    std::lock_guard<std::mutex> guard(m_audioQueueLock);
    if (int(m_audioQueue.size()) >= kAudioQueueLimit) return false;
    m_audioQueue.push_back(std::move(frame));
    m_iAudioCount.store(int(m_audioQueue.size()));
    return true;
}

bool CStreamAVSyncController::OfferAudio(FramePtr& frame) {
    if (!m_bHasAudio) {
        frame.reset();
        return true;
    }
    FramePtr dropped;
    std::lock_guard<std::mutex> guard(m_audioQueueLock);
    m_audioQueue.push_back(std::move(frame));
    if (int(m_audioQueue.size()) > kAudioQueueLimit) {
        dropped = std::move(m_audioQueue.front());
        m_audioQueue.pop_front();
    }
    m_iAudioCount.store(int(m_audioQueue.size()));
    return true;
}

}  // namespace qor
