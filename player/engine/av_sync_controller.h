// CAVSyncController: the queues between the frame dispatch and the video and
// audio threads, the start-up buffering of pictures, and the file-mode drift
// correction that nudges the picture pacing towards the audio clock. Two
// variants: the file variant refuses frames when full (the reader waits, so
// nothing is lost); the stream variant refuses pictures when full (the
// writer waits) but always takes audio, dropping its oldest when too many
// pile up.
//
// Threading: Offer* run on the dispatching thread (read thread or stream
// writer), TakePicture on the video thread, TakeAudio on the audio thread,
// counts and settings on any thread. Each queue has its own lock, held only
// for the queue operation itself. The drift state belongs to the video thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include "player/engine/frame_record.h"

namespace qor {

class CAVSyncController {
public:
    static constexpr int kQueueLimit = 200;           // pictures
    static constexpr int kAudioQueueLimit = 2 * kQueueLimit;
    static constexpr int kDriftLearnPictures = 100;

    explicit CAVSyncController(bool bHasAudio);
    virtual ~CAVSyncController();
    CAVSyncController(const CAVSyncController&) = delete;
    CAVSyncController& operator=(const CAVSyncController&) = delete;

    // Queue a picture (or a file header unit); false when refused, in which
    // case the caller still owns the frame.
    bool OfferPicture(FramePtr& frame);
    virtual bool OfferAudio(FramePtr& frame) = 0;

    // The next picture or header unit once start-up buffering allows it. A
    // header unit is handed out only with another unit behind it, so that the
    // picture it announces is already there. bDrain hands out whatever is
    // left (end of file, idle stream): nothing queued is ever held back for
    // good.
    FramePtr TakePicture(bool bDrain);
    FramePtr TakeAudio();

    int PictureCount() const { return m_iPictureCount.load(); }
    int AudioCount() const { return m_iAudioCount.load(); }
    bool IsFull() const { return PictureCount() >= kQueueLimit; }
    bool HasAudio() const { return m_bHasAudio; }

    void Clear();
    // Pictures queued before the first one is handed out; 0 hands out at once.
    void SetBufferedFrames(int iFrames) { m_iBufferedFrames.store(iFrames < 0 ? 0 : iFrames); }
    int BufferedFrames() const { return m_iBufferedFrames.load(); }
    void SetThrownFrames(int iValue) { m_iThrownFrames.store(iValue); }
    int ThrownFrames() const { return m_iThrownFrames.load(); }
    // Nothing in the controller blocks; kept so that teardown can wake a
    // future waiting variant without knowing which one it has.
    void Wake() {}

    // File-mode drift correction for one picture released while audio plays
    // at play speed 1.0. iOffset: audio clock minus the picture's time stamp.
    // Returns the pacing speed to use from now on.
    float UpdateDrift(int iOffset, int iFrameInterval, float fPacingSpeed);
    void ResetDrift();

protected:
    const bool m_bHasAudio;
    mutable std::mutex m_audioQueueLock;
    std::deque<FramePtr> m_audioQueue;
    std::atomic<int> m_iAudioCount{0};

private:
    mutable std::mutex m_pictureQueueLock;
    std::deque<FramePtr> m_pictureQueue;
    std::atomic<int> m_iPictureCount{0};
    bool m_bReleasing = false;  // start-up buffering latch, under m_pictureQueueLock
    std::atomic<int> m_iBufferedFrames{15};
    std::atomic<int> m_iThrownFrames{0};

    int m_iDriftPictures = 0;
    int64_t m_iDriftSum = 0;
};

class CFileAVSyncController : public CAVSyncController {
public:
    using CAVSyncController::CAVSyncController;
    bool OfferAudio(FramePtr& frame) override;
};

class CStreamAVSyncController : public CAVSyncController {
public:
    using CAVSyncController::CAVSyncController;
    bool OfferAudio(FramePtr& frame) override;
};

}  // namespace qor
