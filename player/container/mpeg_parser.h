// CMpegParser: the abstract reader of the recording container. It holds the
// current file header, finds frames in byte buffers, answers questions about
// frame headers and runs the file scans, the index builders, the ".index"
// side file and the index thread.
//
// Threading: searches, accessors and header parsing are called from the
// engine's reading thread. The index thread (started by Init) reads the
// recording through its own CFileController and writes only the index
// table, the header position list and indexReady of the file information.
// The virtual operations keep the order of the parser's operation table.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "player/container/file_controller.h"
#include "player/container/format.h"
#include "player/container/index_notification.h"
#include "player/container/player_file_info.h"

namespace qor {

// Limits a record of the index stream must respect.
struct IndexRecordLimits {
    int64_t iFirstKeyFramePosition = 0;
    int64_t iHeaderPosition = 0;
    int64_t iFileSize = 0;
    uint32_t uFirstTime = 0;
    int64_t iLastTimeLimit = 0;  // last frame time + frame duration
};

constexpr uint32_t kIndexEntryTag = 0xB7000000;
constexpr uint32_t kHeaderPositionTag = 0xB7000001;

// Parses an index record stream. Fails on any unknown tag, truncated record or
// value out of range; the outputs are then empty (never partly filled).
bool ParseIndexRecords(const uint8_t* pData, int64_t iSize, const IndexRecordLimits& limits,
                       std::vector<IndexEntry>* pEntries, std::vector<uint32_t>* pHeaderPositions);
// Serialises a table and header position list as a record stream.
std::vector<uint8_t> SerializeIndexRecords(const std::vector<IndexEntry>& entries,
                                           const std::vector<uint32_t>& headerPositions);
// The side file's name: the path cut at the last "." of its final component,
// with ".index" appended.
std::string IndexFileName(const std::string& recordingPath);

// The index builders pause between reads so that playback keeps disk time;
// benchmarks switch the pauses off to see where the rest of the time goes.
void SetIndexBuildPauses(bool bEnabled);

class CMpegParser {
public:
    CMpegParser(PlayerFileInfo* pFileInfo, int iHeaderLength, uint32_t uHeaderStartCode, int iHeaderCarrySize);

    virtual ~CMpegParser();                                                               // 0
    virtual bool UpdatePictureSize(const uint8_t* pFrame) = 0;                            // 1
    virtual bool IsFrameStartCode(const uint8_t* pData) = 0;                              // 2
    // iLength bytes at pBuffer; *pType in: the wanted type (0-5), out: the type found.
    virtual const uint8_t* SearchForward(const uint8_t* pBuffer, int iLength, int* pType, int* pRest) = 0;   // 3
    virtual const uint8_t* SearchBackward(const uint8_t* pBuffer, int iLength, int* pType, int* pRest) = 0;  // 4
    virtual int GetFrameType(const uint8_t* pFrame) = 0;                                  // 5
    virtual int GetMixedFrameType(const uint8_t* /*pFrame*/) { return kMixedTypeNone; }   // 6
    // Coded data of a video frame; nullptr and length 0 when the header's
    // lengths contradict each other.
    virtual const uint8_t* GetVideoData(const uint8_t* pFrame, int* pLength) = 0;        // 7
    virtual uint32_t GetTimeStamp(const uint8_t* pFrame) = 0;                             // 8
    virtual int GetMixedAudioData(const uint8_t* pFrame, const uint8_t** ppData) = 0;    // 9
    virtual int GetFrameLength(const uint8_t* pFrame) = 0;                                // 10
    virtual int Reserved11() { return 0; }                                                // 11
    virtual int GetFrameHeaderSize() = 0;                                                 // 12
    virtual int GetMixedVideoOffset(const uint8_t* /*pFrame*/) { return 0; }             // 13
    virtual int Reserved14() { return 0; }                                                // 14
    virtual int16_t GetFrameDuration() = 0;                                               // 15
    // pHeader must hold the whole 1024-byte header.
    virtual bool ParseMpegFileHeaderInfo(const uint8_t* pHeader, bool* pChanged, int* pDecoderDelay) = 0;  // 16
    virtual bool ReadMpegFileHeader(CFileController* pController);                       // 17
    virtual bool HasExtension(const uint8_t* /*pFrame*/) { return false; }               // 18
    virtual uint32_t GetPictureSizeWord(const uint8_t* /*pFrame*/) { return 0; }         // 19
    virtual uint32_t GetI2IOffset(const uint8_t* /*pFrame*/) { return 0; }               // 20
    virtual int GetFramesDuration(int iFrames) = 0;                                       // 21
    // pWords: the caller's FileInfo record seen as 32-bit words (at least 6).
    virtual void FillFileInfoWords(uint32_t* pWords) = 0;                                 // 22
    virtual bool IsReady() = 0;                                                           // 23
    virtual bool StoreRecordWord3(uint32_t* /*pRecord*/, uint32_t /*uValue*/) { return false; }  // 24
    virtual bool StoreRecordWord5(uint32_t* /*pRecord*/, uint32_t /*uValue*/) { return false; }  // 25
    virtual bool Reserved26() { return false; }                                           // 26
    virtual bool CreateMpegFileIndexTable();                                              // 27
    virtual bool CreateMpegFileIndexTableWithEx();                                        // 28
    virtual bool IsPal(int iHeight);                                                      // 29
    virtual bool ScanFirstKeyFrame(CFileController* pController);                        // 30
    virtual bool GetFinalFrameInfo(CFileController* pController, int iWantedType);       // 31

    static constexpr int kMixedTypeNone = 8;

    // File mode: reads the header, the first key frame and the last frames;
    // starts the index thread when asked.
    bool Init(const char* pFileName, bool bStartIndexThread);
    // Stream mode: the first buffer of the recording.
    bool Init4Stream(const uint8_t* pBuffer, int iLength);

    // Whether the recording carries audio (media stream types 0 and 2).
    bool HasAudio() const;

    // Index side file and caller-supplied index data.
    bool GetIndexFromIndexFile();
    bool WriteIndexToIndexFile();
    // Replaces the table; not while the index thread runs (callers disable
    // index creation before handing in their own table).
    bool SetFileIndexTable(const uint8_t* pIndexData, int iDataSize);
    // For a recording that is still growing: refresh the size and the last frames.
    bool FileResetEndOfFile();

    // Index thread.
    bool StartIndexThread();
    void StopIndexThread();
    bool IsIndexFinished() const { return m_bIndexFinished.load(); }
    // Registers the index-complete notification; sent at once when the index
    // has already finished.
    void SetIndexNotification(const IndexNotification& notification);

    const uint8_t* MpegFileHeader() const { return m_pMpegFileHeader.get(); }
    PlayerFileInfo* FileInfo() const { return m_pFileInfo; }

protected:
    bool StopRequested() const { return m_bStop.load(std::memory_order_relaxed); }
    IndexRecordLimits RecordLimits() const;
    void AppendSentinelAndFinish();
    // Empties the index and opens the file for one of the builders.
    bool StartIndexBuild(CFileController* pController);
    // True when a file header of this family begins at iPosition.
    bool HeaderStartsAt(CFileController* pController, int64_t iPosition);
    // Forward search with a precise resume offset: where scanning should go
    // on (may lie past the buffer end after jumping over a frame).
    const uint8_t* SearchForwardResume(const uint8_t* pBuffer, int iLength, int* pType, int64_t* pResume);

    enum class ForwardWalkEnd { EndOfFile, Stopped, ReadFailed };
    // Walks the key frames from iPosition to the end of the file in blocks of
    // iBlockSize read into pBuffer. bGoOn is asked before every read. Header
    // copies are skipped, their positions handed to onHeader (may be empty);
    // each key frame is handed to onKeyFrame (header, file position, length)
    // once it lies whole in a block, a frame cut by a block's end being read
    // again at the start of the next. bGoOn or onKeyFrame returning false
    // ends the walk as Stopped.
    ForwardWalkEnd WalkKeyFramesForward(CFileController* pController, uint8_t* pBuffer, int iBlockSize,
                                        int64_t iPosition, const std::function<bool()>& bGoOn,
                                        const std::function<void(int64_t)>& onHeader,
                                        const std::function<bool(const uint8_t*, int64_t, int)>& onKeyFrame);

    PlayerFileInfo* m_pFileInfo;
    const int m_iHeaderLength;
    const uint32_t m_uHeaderStartCode;
    const int m_iHeaderCarrySize;
    std::unique_ptr<uint8_t[]> m_pMpegFileHeader;
    std::string m_fileName;
    bool m_bHasFileName = false;
    bool m_bFirstKeyHasExtension = false;

private:
    void IndexThreadBody();
    void NotifyIndexFinished(bool bSuccess);

    std::thread m_indexThread;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bIndexFinished{false};
    std::mutex m_notificationLock;
    IndexNotification m_notification;
    bool m_bNotificationPending = false;
};

}  // namespace qor
