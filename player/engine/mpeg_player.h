// CMpegPlayer: the playback engine behind one open file or stream. It
// recognises the recording's family, owns the parser, the decoders, the
// outputs and the synchronisation controller, runs the read, video, audio
// and hardware-audio threads and the 1 ms pacing timer, takes stream input,
// and seeks, steps and plays backwards.
//
// Threading: the public operations are called from the library interface's
// threads; the library serialises them with its own lock except
// StreamWriteToBuf (one writer at a time) and destruction. Internally:
// - frameListLock guards the back-play picture list and the shown-picture
//   bookkeeping; seekLock serialises seeks, steps, back-play starts and
//   resets; the controller guards its queues with pictureQueueLock and
//   audioQueueLock.
// - every flag read by another thread is an atomic.
// - the destructor sets the stop flag first; every wait in the threads ends
//   within a few milliseconds of it, and every thread is joined before any
//   part it uses is deleted.
// Callbacks run on the video and audio threads with no engine lock held.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "platform/periodic_timer.h"
#include "player/api/qor_player_records.h"
#include "player/container/file_controller.h"
#include "player/container/mpeg_parser.h"
#include "player/container/player_file_info.h"
#include "player/decoding/audio_decoder.h"
#include "player/decoding/decode_frame.h"
#include "player/decoding/video_decoder.h"
#include "player/engine/av_sync_controller.h"
#include "player/engine/engine_outputs.h"
#include "player/engine/frame_record.h"

namespace qor {

// Family codes from the file header markers.
constexpr int kFamilyNone = 0;
constexpr int kFamilyMarlin = 1;
constexpr int kFamilyHeron = 2;
constexpr int kFamilyOsprey = 5;
constexpr int kFamilyYuv = 12;

// The family code of the first marker in pData, or -1 when there is none.
int DetectFamilyCode(const uint8_t* pData, int iLength);

enum PlaybackState : int {
    kStatePlaying = 0,
    kStateStepsExhausted = 2,
    kStateStepWait = 3,
    kStatePaused = 4,
    kStateStopped = 5,
};

constexpr int kOpenStream = 0;
constexpr int kOpenFile = 1;
constexpr int kOpenIdle = 2;

constexpr int kStreamBufferLimit = 2097152;
constexpr int kReadBlockSize = 1048576;
constexpr int kWholeBlockBufferSize = 829440;

// An auto-reset event: one waiter, signalled by the timer.
class AutoResetEvent {
public:
    void Signal();
    // True when signalled, false on timeout.
    bool Wait(int iMilliseconds);

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_bSignalled = false;
};

struct EngineInitParams {
    int iOpenMode = kOpenFile;
    bool bSoftwareVideo = true;
    std::string fileName;                 // file mode
    const uint8_t* pHeader = nullptr;     // stream mode
    int iHeaderLength = 0;
    int iDisplayMode = 0;
    NativeWindow hWnd = 0;
    const DisplayRect* pRect = nullptr;
    bool bFollowGrowingFile = false;
    bool bVideoOutput = true;
    bool bCreateIndexTable = true;
    bool bCreateIndexFile = true;
};

class CMpegPlayer {
public:
    // End-of-file notification: called once on the video thread with the
    // player number; the library maps it to its window message and event.
    using EndOfFileNotify = std::function<void(uint32_t uPlayerId)>;

    explicit CMpegPlayer(bool* pSuccess);
    ~CMpegPlayer();
    CMpegPlayer(const CMpegPlayer&) = delete;
    CMpegPlayer& operator=(const CMpegPlayer&) = delete;

    // --- Set before Init ---
    void SetPlayerId(uint32_t uPlayerId) { m_uPlayerId = uPlayerId; }
    uint32_t PlayerId() const { return m_uPlayerId; }
    void SetOutputFactory(EngineOutputFactory factory) { m_outputFactory = std::move(factory); }
    void SetDecoderComponents(const DecoderComponents* pComponents) { m_pComponents = pComponents; }
    void SetReadFileCallBack(ReadCallBack fpCallBack, void* pUser, int64_t iTotalSize);
    void SetVideoDecoderType(bool bSoftware, int iParam1, int iParam2);
    void SetAudioDecoderType(bool bSoftware) { m_bSoftwareAudio = bSoftware; }

    bool Init(const EngineInitParams& params);

    // --- Callbacks and notifications ---
    void SetVideoDecodeCallBack(VideoDecodeCallBack fpCallBack, uint32_t uUserValue);
    void SetDecCallBack(DecCallBack fpCallBack, uint32_t uUserValue, bool bWholeBlock);
    void SetAudioDecodeCallBack(AudioDecodeCallBack fpCallBack, int iLeadTime, uint32_t uUserValue);
    void SetEndOfFileNotify(EndOfFileNotify notify);
    void SetIndexNotification(const IndexNotification& notification);

    // --- Playback ---
    bool Play();
    bool Pause();
    bool Stop();
    bool SetPlaySpeed(float fSpeed);
    float PlaySpeed() const { return m_fPlaySpeed.load(); }
    float PacingSpeed() const { return m_fPacingSpeed.load(); }
    bool StepPlay(bool bForward);
    bool BackPlay();
    bool ResetPlayer();
    void EnableAudio(bool bEnable);
    int State() const { return m_iState.load(); }

    // --- Seeking and positions (file mode) ---
    bool SetPosition(float fPosition);
    bool SetPlayTime(int iPlayTime);
    bool SetPlayFrame(int iFrame);
    // The indexed seek; false with its debug line when it cannot be done.
    bool SeekingPlayTime(int iPlayTime, bool bExact);
    // The scanning seek, used without an index.
    bool ScanningSeek(int iPlayTime);
    float GetPosition() const;
    int TotalTime() const;
    int PlayedTime() const;
    int TotalFrames() const;
    int PlayedFrames() const;
    bool GetKeyFramePos(uint32_t* pPosition, bool bNext);
    bool FileResetEndOfFile();
    bool SetFileIndexTable(const uint8_t* pData, int iLength);
    uint32_t CurrentTime() const { return m_uCurrentTime.load(); }
    // The second time value of the last picture shown: the parser's stamp on
    // a key picture, counted on by one for each picture after it.
    uint32_t SecondTime() const { return m_uSecondTime.load(); }
    // Lets the open file's parser write its own words of a FileInfo record
    // (pWords: at least six 32-bit words); false when no parser is open.
    bool FillParserFileInfoWords(uint32_t* pWords);
    bool EndOfFile() const { return m_bEndOfFile.load(); }

    // --- Stream input ---
    // Returns iLength when the bytes were taken, 0 when not. iWaitLimit counts
    // 1 ms rounds; 0 waits without limit.
    int StreamWriteToBuf(const uint8_t* pData, int iLength, int iWaitLimit);
    void StreamEmptyBuf() { m_bEmptyRequest.store(true); }
    int StreamGetBufferedFrames() const;
    int StreamGetFreeBufSize() const { return kStreamBufferLimit - m_iStreamHeld.load(); }
    void StreamSetDelayFrames(int iFrames);
    void StreamSetBufferedFrames(int iFrames);
    void SetDataDriven(bool bEnable);
    void SetRemoteFilePlay(bool bEnable);
    void DisableSynchronize() { m_bSyncDisabled.store(true); }
    bool ThrownFrames(int iValue);
    int AudioTolerance() const { return m_iAudioTolerance.load(); }

    // --- Information and output settings ---
    int OpenMode() const { return m_iOpenMode.load(); }
    int FamilyCode() const { return m_iFamilyCode; }
    bool HasAudio() const { return m_pAudioDecoder != nullptr && m_pAudioPlayer != nullptr; }
    bool HasAudioThread() const { return m_audioThread.joinable(); }
    bool GetPictureSize(int* pWidth, int* pHeight) const;
    bool GetAudioWaveOutInfo(WaveFormat* pFormat) const;
    int GetMediaStreamType() const;
    int FrameInterval() const { return m_iFrameInterval.load(); }
    bool SetPostFilter(int iLevel);
    bool SetVideoWindow(NativeWindow hWnd, const DisplayRect* pRect);
    bool SetDisplayMode(int iMode);
    bool EnableVideoOutput(bool bEnable);
    bool RefreshWindow();
    EngineVideoOutput* VideoOutput() const { return m_pVideoPlayer.get(); }
    EngineSoundOutput* SoundOutput() const { return m_pAudioPlayer.get(); }
    CAVSyncController* SyncController() const { return m_pAVSyncController.get(); }
    PlayerFileInfo* FileInfo() { return &m_fileInfo; }

private:
    // Initialisation, seeks, steps, back-play and resets run inside this
    // guard: a fault is reported with the place it happened, threads parked
    // by a seek are let go, and the operation fails.
    template <typename Body>
    bool SafeCall(int iLine, Body body) {
        try {
            return body();
        } catch (...) {
            if (m_bSeeking.load()) {
                m_fPlaySpeed.store(m_fSavedSpeed);
                m_bSeeking.store(false);
            }
            DebugOutput("[QOR]SAFE_CALL_END report ZRV, line=%d.\n", iLine);
            return false;
        }
    }
    bool SeekingPlayTimeBody(int iPlayTime, bool bExact);
    bool BackPlayBody();
    bool ResetPlayerBody();
    bool ScanningSeekBody(int iPlayTime);
    bool InitBody(const EngineInitParams& params);
    bool StepPlayBody(bool bForward);
    bool StreamStepForward();

    // Construction and teardown (mpeg_player.cpp).
    int DetectFamily(const EngineInitParams& params);
    bool BuildMpegPlayer(int iFamily, const EngineInitParams& params);
    void Teardown();
    void StopAndJoinThreads();
    void StartThreads();

    // Frame dispatch (frame_dispatch.cpp). iWaitLimit < 0: no limit, never drop.
    // Leaves *pPos alone when a frame or file header starts there, else moves
    // it to the next one in pBuffer[0, iHeld) and returns true; false when
    // none starts before the end, *pPos then at the tail to keep, which may
    // hold the start of one cut by the end of the bytes.
    bool FindUnitStart(const uint8_t* pBuffer, int iHeld, int* pPos) const;
    FramePtr MakeFrameRecord(const uint8_t* pFrame, int iLength, int iType, int64_t iPosition);
    bool DealVideoFrame(FramePtr frame, int iWaitLimit);
    bool DealAudioFrame(FramePtr frame, int iWaitLimit);
    bool DealMixedFrame(FramePtr frame, int iWaitLimit);
    bool DealFileHeaderFrame(FramePtr frame, int iWaitLimit);
    bool OfferWithWait(FramePtr& frame, bool bAudio, int iWaitLimit, const char* pThrowLine);
    uint32_t StampOrGuess(uint32_t uTime);

    // Threads (read_thread.cpp, media_threads.cpp, timer_pacing.cpp).
    void ReadThreadFunc();
    void ReadThreadBody();
    void VideoThreadProc();
    void VideoThreadBody();
    void AudioThreadProc();
    void AudioThreadBody();
    void AudioHardThreadProc();
    void TimerProc();
    bool SleepUnlessStopping(int iMilliseconds);
    void ParkForSeek(std::atomic<bool>& idle);
    void NotifyEndOfFile();
    void HandleHeaderUnit(const FrameRecord& frame);
    void PaceVideo();
    // Video thread: carries out a stream-mode step asked for by StepPlay.
    void AnswerStreamStep();
    void FinishStreamStep(bool bShown);
    bool HoldAudioForCallback(uint32_t uTime);
    bool AudioIsLate(uint32_t uTime);

    // Decoding shared by the video thread and the seeks (media_threads.cpp).
    bool DecodePicture(const FrameRecord& frame, VideoDecodeFrameInfo* pInfo);
    void PresentPicture(const VideoDecodeFrameInfo& info, const FrameRecord& frame);
    void ResetVideoDecoder();

    // Seeking (seeking.cpp).
    bool BeginQuiesce();
    void EndQuiesce();
    bool ReadAt(int64_t iPosition, int iLength, std::vector<uint8_t>* pBytes);
    enum class PictureStep { Go, StopAt, StopBefore };
    // Called for each picture of a group: before decoding (decoded null;
    // StopBefore ends the walk) and after (StopAt ends it there).
    using PictureVisitor = std::function<PictureStep(const FrameRecord&, const VideoDecodeFrameInfo*)>;
    bool WalkGroup(int64_t iKeyPosition, int iWindow, const PictureVisitor& visit, const char* pWindowError,
                   VideoDecodeFrameInfo* pLast, FrameRecord* pLastFrame);
    void ShowChosenPicture(const VideoDecodeFrameInfo& info, const FrameRecord& frame);
    void SetReadPosition(int64_t iPosition);
    bool CheckHeaderAt(int64_t iPosition);
    int64_t HeaderBefore(int64_t iPosition);
    bool FindIndexEntry(uint32_t uAbsTime, bool bExact, IndexEntry* pFound, IndexEntry* pNext);
    bool KeyBefore(int64_t iPosition, IndexEntry* pFound, IndexEntry* pNext);
    bool DecodeUpTo(int64_t iTarget, bool bBefore, const char* pKeyError);
    bool RepositionAfterSteps();
    bool FillBackPlayGroup();

    // Stream input helpers (stream_input.cpp).
    bool WaitWhileFull(int iWaitLimit, int* pRounds);
    void CutStreamFrames(int iWaitLimit);

    // --- identity, file information and parts ---
    uint32_t m_uPlayerId = 0;
    std::atomic<int> m_iOpenMode{kOpenIdle};
    int m_iFamilyCode = kFamilyNone;
    const char* m_pParserName = "CMpegParserMarlin";
    PlayerFileInfo m_fileInfo;
    std::string m_fileName;
    EngineOutputFactory m_outputFactory;
    const DecoderComponents* m_pComponents = nullptr;

    std::unique_ptr<CFileController> m_pFileController;
    std::unique_ptr<CMpegParser> m_pMpegParser;
    std::unique_ptr<CVideoDecoder> m_pVideoDecoder;
    std::unique_ptr<EngineVideoOutput> m_pVideoPlayer;
    std::unique_ptr<CAudioDecoder> m_pAudioDecoder;
    std::unique_ptr<EngineSoundOutput> m_pAudioPlayer;
    std::unique_ptr<CAVSyncController> m_pAVSyncController;
    // Checks stream header frames on the writer's thread, so that the
    // player's own header facts change only on the video thread.
    PlayerFileInfo m_streamHeaderInfo;
    std::unique_ptr<CMpegParser> m_pStreamHeaderParser;

    // --- picture properties and times ---
    std::atomic<int> m_iWidth{0};
    std::atomic<int> m_iHeight{0};
    std::atomic<int> m_iFrameRate{25};
    std::atomic<int> m_iFrameInterval{40};
    std::atomic<uint32_t> m_uFirstTime{0};
    std::atomic<uint32_t> m_uLastTime{0};
    std::atomic<uint32_t> m_uCurrentTime{0};
    std::atomic<uint32_t> m_uPlayClock{0};
    std::atomic<uint32_t> m_uLastFrameTime{0};   // last time handed out by the dispatch
    std::atomic<uint32_t> m_uSecondTime{0};
    std::atomic<bool> m_bHaveLastFrameTime{false};

    // --- speed and pacing ---
    std::atomic<float> m_fPlaySpeed{1.0f};
    std::atomic<float> m_fPacingSpeed{1.0f};
    float m_fSavedSpeed = 1.0f;                   // under seekLock
    std::atomic<bool> m_bCatchUp{false};
    uint32_t m_uTickCount = 0;                    // timer thread only: ms since the last release
    std::chrono::steady_clock::time_point m_lastRelease;  // timer thread only
    bool m_bTimerFirst = true;                    // timer thread only
    std::atomic<uint32_t> m_uCurPicTime{0};
    std::atomic<uint32_t> m_uPrevPicTime{0};
    std::atomic<bool> m_bPacingFirst{true};       // no previous picture to measure from
    AutoResetEvent m_event;
    PeriodicTimer m_timer;

    // --- callbacks ---
    std::mutex m_callbackLock;  // the audio callback registration
    AudioDecodeCallBack m_fpAudioDisplayCallBack = nullptr;
    uint32_t m_uAudioUserValue = 0;
    std::atomic<int> m_iAudioLeadTime{200};
    std::unique_ptr<uint8_t[]> m_pWholeBlock;
    EndOfFileNotify m_endOfFileNotify;
    std::mutex m_notifyLock;
    VideoDecodeCallBack m_fpVideoDecodeCallBack = nullptr;
    uint32_t m_uVideoUserValue = 0;
    DecCallBack m_fpDecCallBack = nullptr;

    // --- switches ---
    bool m_bCreateIndexTable = true;
    bool m_bCreateIndexFile = true;
    bool m_bSoftwareVideo = true;
    bool m_bSoftwareAudio = true;
    int m_iCardParam1 = -1;
    int m_iCardParam2 = -1;
    std::atomic<bool> m_bFollowGrowingFile{false};
    std::atomic<bool> m_bPercentPositions{false};
    std::atomic<bool> m_bSoundEnabled{true};
    std::atomic<bool> m_bDataDriven{false};
    std::atomic<bool> m_bRemoteFilePlay{false};
    std::atomic<bool> m_bSyncDisabled{false};
    std::atomic<int> m_iAudioTolerance{400};
    bool m_bVideoOutput = true;

    // --- state flags shared between threads ---
    std::atomic<int> m_iState{kStateStopped};
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bSeeking{false};
    std::atomic<bool> m_bReadIdle{false};
    std::atomic<bool> m_bVideoIdle{false};
    std::atomic<bool> m_bAudioIdle{false};
    std::atomic<bool> m_bHardIdle{false};
    std::atomic<bool> m_bEndOfFile{false};
    std::atomic<bool> m_bEndNotified{false};
    std::atomic<bool> m_bWaiting{false};
    std::atomic<bool> m_bBackPlay{false};
    std::atomic<bool> m_bEmptyRequest{false};
    std::atomic<bool> m_bWaitingForKeyFrame{true};
    std::atomic<bool> m_bNeedKeyPicture{true};    // video thread: skip pictures until a key picture
    std::atomic<bool> m_bNewHeaderPending{false}; // the next picture follows a changed header
    std::atomic<bool> m_bSoundStopped{false};     // audio thread: stopped for lateness
    // A stream-mode step is done by the video thread, which owns the decoder
    // and may already hold the next picture; the caller waits for its answer.
    std::atomic<bool> m_bStepWanted{false};
    std::atomic<int> m_iStepAnswer{-1};           // -1 pending, 0 nothing left, 1 shown
    std::atomic<uint32_t> m_uAudioClock{0};         // end time of the sound written to the device
    std::atomic<bool> m_bAudioClockValid{false};
    std::atomic<int64_t> m_iLastInputMs{0};       // stream: time of the last write

    // --- read thread position (changed by seeks while the thread is parked) ---
    std::atomic<int64_t> m_iReadPosition{0};
    std::atomic<bool> m_bRepositioned{false};
    int64_t m_iStartOfData = 0;
    // File headers found right in front of key pictures (under seekLock).
    std::vector<int64_t> m_keyHeaders;
    size_t m_iKeyHeadersScanned = 0;

    // --- shown picture bookkeeping and back-play (frameListLock) ---
    std::mutex m_frameListLock;
    int64_t m_iShownPosition = -1;   // file position of the last picture shown
    int64_t m_iShownEnd = -1;        // position just after it
    struct KeptPicture {
        uint32_t uTime = 0;
        int64_t iPosition = 0;
        int iWidth = 0, iHeight = 0;
        std::vector<uint8_t> planes;  // Y, U, V without padding
    };
    std::deque<KeptPicture> m_backPlayList;
    int64_t m_iBackPlayLimit = -1;  // back-play shows the pictures before this position next

    // --- locks ---
    std::mutex m_seekLock;

    // --- stream input (writer thread, plus the two atomics) ---
    std::vector<uint8_t> m_streamBuffer;
    std::atomic<int> m_iStreamHeld{0};
    std::atomic<int> m_iDelayFrames{30};
    std::atomic<int> m_iBufferedFrames{15};
    std::atomic<int> m_iWritersInside{0};  // writes still running; teardown waits for them to leave

    // --- threads ---
    std::thread m_readThread;
    std::thread m_videoThread;
    std::thread m_audioThread;
    std::thread m_audioHardThread;
    std::mutex m_stopWakeLock;
    std::condition_variable m_stopWake;

    // Working records of the video thread (also used by seeks while it is parked).
    DecodeFrame m_videoWork;
    DecodeFrame m_audioWork;
    std::deque<uint32_t> m_audioTimes;  // audio thread: times of the frames still inside the decoder
    int m_iAudioLag = 0;
    bool m_bAudioLagKnown = false;
};

}  // namespace qor
