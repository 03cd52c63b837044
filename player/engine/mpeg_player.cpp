#include "player/engine/mpeg_player.h"

#include <chrono>
#include <cstring>
#include <new>

#include "platform/debug_output.h"
#include "player/container/format.h"
#include "player/container/mpeg_parser_marlin.h"
#include "player/decoding/audio_decoder_marlin.h"
#include "player/decoding/audio_decoder_osprey.h"
#include "player/decoding/decoder_components.h"
#include "player/decoding/video_decoder_marlin.h"
#include "player/decoding/video_decoder_osprey.h"
#include "player/decoding/video_decoder_yuv.h"

namespace qor {

namespace {

constexpr int kDetectBlockSize = 10240;
constexpr int kMaxFileNameLength = 260;
constexpr int kFileSoundBuffer = 32768, kFileSoundBlocks = 8;
constexpr int kStreamSoundBuffer = 4096, kStreamSoundBlocks = 2;

int FamilyFromTypeWord(uint32_t uWord) {
    const uint32_t high = uWord >> 16, low = uWord & 0xFFFF;
    struct Row { uint32_t high, low; int code; };
    static constexpr Row kRows[] = {{6, 2, 1}, {6, 8, 2}, {9, 2, 5}, {6, 7, 6},
                                    {6, 16, 8}, {7, 1, 9}, {6, 1800, 11}, {6, 9, 12}};
    for (const Row& row : kRows) {
        if (row.high == high && row.low == low) return row.code;
    }
    return 0;
}

// Frame rate from the file header; the interval the pictures are paced by.
int FrameIntervalFromHeader(const uint8_t* pHeader) {
    if (pHeader == nullptr) return 40;
    int rate = ReadLe16(pHeader + kHeaderFrameRateOffset);
    return rate >= 1 && rate <= 100 ? 1000 / rate : 40;
}

}  // namespace

int DetectFamilyCode(const uint8_t* pData, int iLength) {
    if (pData == nullptr) return -1;
    for (int i = 0; i + 4 <= iLength; ++i) {
        const uint32_t word = ReadLe32(pData + i);
        if (word == kFileHeaderStartCode) {
            // The type word lies right after the marker; a marker at the very
            // end of the bytes has none and counts as an unknown type.
            return i + 8 <= iLength ? FamilyFromTypeWord(ReadLe32(pData + i + 4)) : 0;
        }
        if (word == kForeignStreamStartCode || word == kProgramStreamStartCode) return 7;
        if (word == kForeignContainerCode) {
            if (i + 5 >= iLength) return 3;
            return pData[i + 5] >= 7 && pData[i + 5] <= 10 ? 4 : 3;
        }
    }
    return -1;
}

void AutoResetEvent::Signal() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bSignalled = true;
    }
    m_cv.notify_one();
}

bool AutoResetEvent::Wait(int iMilliseconds) {
    std::unique_lock<std::mutex> lock(m_lock);
    const bool signalled =
        m_cv.wait_for(lock, std::chrono::milliseconds(iMilliseconds), [this] { return m_bSignalled; });
    m_bSignalled = false;
    return signalled;
}

CMpegPlayer::CMpegPlayer(bool* pSuccess) {
    m_outputFactory = HeadlessOutputFactory();
    if (pSuccess != nullptr) *pSuccess = true;
}

CMpegPlayer::~CMpegPlayer() { Teardown(); }

void CMpegPlayer::SetReadFileCallBack(ReadCallBack fpCallBack, void* pUser, int64_t iTotalSize) {
    m_fileInfo.fpReadCallBack = fpCallBack;
    m_fileInfo.pReadUser = pUser;
    m_fileInfo.iFileSize = iTotalSize;
}

void CMpegPlayer::SetVideoDecoderType(bool bSoftware, int iParam1, int iParam2) {
    m_bSoftwareVideo = bSoftware;
    m_iCardParam1 = iParam1;
    m_iCardParam2 = iParam2;
}

bool CMpegPlayer::Init(const EngineInitParams& params) {
    return SafeCall(1, [&] { return InitBody(params); });
}

bool CMpegPlayer::InitBody(const EngineInitParams& params) {
    m_bCreateIndexTable = params.bCreateIndexTable;
    m_bCreateIndexFile = params.bCreateIndexFile;
    m_iOpenMode.store(params.iOpenMode);
    m_bSoftwareVideo = params.bSoftwareVideo && m_bSoftwareVideo;
    const bool fileMode = params.iOpenMode == kOpenFile;

    if (fileMode) {
        if (m_fileInfo.fpReadCallBack == nullptr) {
            if (params.fileName.size() > size_t(kMaxFileNameLength)) {
                DebugOutput("[QOR]file name too long error!\n");
                return false;
            }
            m_fileName = params.fileName;
            m_fileInfo.pFileName = m_fileName.c_str();
        }
        m_pFileController.reset(new (std::nothrow) CFileController);
        if (!m_pFileController ||
            !m_pFileController->Create(m_fileInfo.fpReadCallBack ? nullptr : m_fileName.c_str(), &m_fileInfo)) {
            DebugOutput("[QOR]new CFileController error!\n");
            Teardown();
            return false;
        }
    } else if (params.pHeader == nullptr || params.iHeaderLength <= 0) {
        DebugOutput("[QOR]unAvailable pHeaderBuffer, report ZRV!\n");
        return false;
    }

    const int family = DetectFamily(params);
    if (family < 0) {
        DebugOutput("[QOR]parse mpeg file type error!\n");
        Teardown();
        return false;
    }
    if (family < 1 || family > 12) {
        DebugOutput("[QOR]mpeg file type NOT supported!\n");
        Teardown();
        return false;
    }
    m_iFamilyCode = family;
    m_bBackPlay.store(false);
    if (!BuildMpegPlayer(family, params)) {
        Teardown();
        return false;
    }

    if (!fileMode) {
        // The caller's header goes through the stream input like any frame.
        StreamWriteToBuf(params.pHeader, params.iHeaderLength, 0);
    }
    m_bVideoOutput = params.bVideoOutput;
    EnableVideoOutput(params.bVideoOutput);

    if (fileMode) {
        m_bFollowGrowingFile.store(params.bFollowGrowingFile);
        // No thread runs yet, so the seek needs no quiescing.
        SeekingPlayTime(0, true);
    }
    m_iBufferedFrames.store(15);
    m_pAVSyncController->SetBufferedFrames(15);

    StartThreads();
    return true;
}

int CMpegPlayer::DetectFamily(const EngineInitParams& params) {
    if (params.iOpenMode != kOpenFile) {
        const int code = DetectFamilyCode(params.pHeader, params.iHeaderLength);
        return code < 0 ? 0 : code;
    }
    CFileController controller;
    if (!controller.Create(m_fileInfo.fpReadCallBack ? nullptr : m_fileName.c_str(), &m_fileInfo)) {
        DebugOutput("[QOR]new CFileController error!\n");
        return -1;
    }
    std::vector<uint8_t> block(kDetectBlockSize);
    int64_t position = 0;
    for (;;) {
        int got = 0;
        controller.Seek(position, 0);
        if (!controller.Read(block.data(), kDetectBlockSize, &got)) {
            DebugOutput("[QOR]call pFileController->ReadFile() error!\n");
            return -1;
        }
        const int code = DetectFamilyCode(block.data(), got);
        if (code >= 0) return code;
        if (got <= 3) return -1;
        // Step back so that a marker split across two blocks is seen whole.
        position += got - 3;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool CMpegPlayer::BuildMpegPlayer(int iFamily, const EngineInitParams& params) {
    const bool fileMode = params.iOpenMode == kOpenFile;
    const char* videoName = "CVideoDecoderMarlin";
    const char* audioName = "CAudioDecoderMarlin";
    switch (iFamily) {
        case kFamilyMarlin: break;
        case kFamilyHeron: audioName = "CAudioDecoderHeron"; break;
        case kFamilyOsprey:
            videoName = "CVideoDecoderOsprey";
            audioName = "CAudioDecoderOsprey";
            if (!m_bSoftwareVideo) {
                DebugOutput("[QOR]orcaOsprey NOT support hardDecoder!\n");
                return false;
            }
            break;
        case kFamilyYuv:
            videoName = "CVideoDecoderYUV";
            m_pParserName = "CMpegParserYUV";
            if (!m_bSoftwareVideo) {
                DebugOutput("[QOR]YUV NOT support hardDecoder now!\n");
                return false;
            }
            break;
        default:
            DebugOutput("[QOR]call buildMpegPlayer() error!\n");
            return false;
    }
    // The card path is refused silently by the families that do not name it.
    if (!m_bSoftwareVideo) return false;

    // 1. Parser.
    m_pMpegParser.reset(new (std::nothrow) CMpegParserMarlin(&m_fileInfo));
    if (!m_pMpegParser) {
        DebugOutput("[QOR]create %s error!\n", m_pParserName);
        return false;
    }
    m_fileInfo.bCreateSideFile = m_bCreateIndexFile;
    bool parsed = false;
    if (fileMode) {
        // The index thread starts once the decoders have published their
        // facts into the file information it reads.
        parsed = m_pMpegParser->Init(m_fileInfo.fpReadCallBack ? nullptr : m_fileName.c_str(), false);
    } else {
        parsed = m_pMpegParser->Init4Stream(params.pHeader, params.iHeaderLength);
    }
    if (!parsed) {
        DebugOutput("[QOR]call %s::Init error!\n", m_pParserName);
        return false;
    }
    m_iFrameInterval.store(FrameIntervalFromHeader(m_fileInfo.pMpegFileHeader));
    m_iFrameRate.store(1000 / m_iFrameInterval.load());
    m_iWidth.store(m_fileInfo.iWidth);
    m_iHeight.store(m_fileInfo.iHeight);
    if (fileMode) {
        m_uFirstTime.store(m_fileInfo.uFirstTime);
        m_uLastTime.store(m_fileInfo.uLastFrameTime);
        m_uCurrentTime.store(m_fileInfo.uFirstTime);
        m_uPlayClock.store(m_fileInfo.uFirstTime);
        m_iStartOfData = m_fileInfo.iHeaderPosition + kFileHeaderLength;
    } else {
        m_uFirstTime.store(0);
        m_uCurrentTime.store(0);
        m_uPlayClock.store(0);
        m_pStreamHeaderParser.reset(new (std::nothrow) CMpegParserMarlin(&m_streamHeaderInfo));
        if (!m_pStreamHeaderParser) {
            DebugOutput("[QOR]create %s error!\n", m_pParserName);
            return false;
        }
    }

    // 2. Video decoder.
    if (m_pComponents == nullptr) m_pComponents = GetDecoderComponents();
    if (m_pComponents == nullptr) m_pComponents = LoadDecoderComponents();
    if (m_bSoftwareVideo) {
        CVideoDecoder* decoder = nullptr;
        if (m_pComponents != nullptr) {
            if (iFamily == kFamilyOsprey) {
                decoder = new (std::nothrow) CVideoDecoderOsprey(&m_fileInfo, m_pComponents);
            } else if (iFamily == kFamilyYuv) {
                decoder = new (std::nothrow) CVideoDecoderYUV(&m_fileInfo, m_pComponents);
            } else {
                decoder = new (std::nothrow) CVideoDecoderMarlin(&m_fileInfo, m_pComponents);
            }
        }
        m_pVideoDecoder.reset(decoder);
        if (!m_pVideoDecoder || !m_pVideoDecoder->Initialize()) {
            DebugOutput("[QOR]create %s error!\n", videoName);
            return false;
        }
    }

    // 3. Video output.
    VideoOutputSettings settings;
    settings.uPlayerId = m_uPlayerId;
    settings.iWidth = m_fileInfo.iWidth;
    settings.iHeight = m_fileInfo.iHeight;
    settings.iFrameRate = m_iFrameRate.load();
    settings.iDisplayMode = params.iDisplayMode;
    settings.hWnd = params.hWnd;
    settings.bHasRect = params.pRect != nullptr;
    if (params.pRect != nullptr) settings.rect = *params.pRect;
    if (m_outputFactory.makeVideoOutput) m_pVideoPlayer = m_outputFactory.makeVideoOutput(settings);
    if (!m_pVideoPlayer) {
        DebugOutput("[QOR]create CVideoPlayer error!\n");
        return false;
    }
    if (!m_pVideoPlayer->SetDisplayMode(params.iDisplayMode)) {
        DebugOutput("[QOR]call m_pVideoPlayer->SetDisplayMode() error!\n");
        return false;
    }
    if (!m_pVideoPlayer->SetVideoWindow(params.hWnd, params.pRect)) {
        DebugOutput("[QOR]call m_pVideoPlayer->SetVideoWindow() error!\n");
        return false;
    }
    m_pVideoPlayer->SetVideoDecodeCallBack(m_fpVideoDecodeCallBack, m_uVideoUserValue);
    if (m_fpDecCallBack != nullptr) m_pVideoPlayer->SetDecCallBack(m_fpDecCallBack, m_uVideoUserValue, m_pWholeBlock.get());

    // 4. Sound: a recording whose audio cannot be set up still plays, silently.
    if (m_pMpegParser->HasAudio()) {
        bool ok = false;
        if (iFamily == kFamilyOsprey) {
            auto* decoder = new (std::nothrow) CAudioDecoderOsprey;
            ok = decoder != nullptr && decoder->Initialize(&m_fileInfo);
            m_pAudioDecoder.reset(decoder);
        } else {
            auto* decoder = new (std::nothrow) CAudioDecoderMarlin;
            ok = decoder != nullptr && decoder->Initialize(&m_fileInfo);
            m_pAudioDecoder.reset(decoder);
        }
        if (!ok) {
            DebugOutput("[QOR]create %s error!\n", audioName);
            m_pAudioDecoder.reset();
        } else {
            const WaveFormat format = m_pAudioDecoder->GetOutputFormat();
            if (m_outputFactory.makeSoundOutput) {
                m_pAudioPlayer = fileMode
                                     ? m_outputFactory.makeSoundOutput(format, kFileSoundBuffer, kFileSoundBlocks)
                                     : m_outputFactory.makeSoundOutput(format, kStreamSoundBuffer, kStreamSoundBlocks);
            }
            if (!m_pAudioPlayer) {
                DebugOutput("[QOR]create m_pAudioPlayer error!\n");
                m_pAudioDecoder.reset();
            }
        }
    }

    if (fileMode && m_bCreateIndexTable && m_fileInfo.fpReadCallBack == nullptr && !m_pMpegParser->StartIndexThread()) {
        DebugOutput("[QOR]call %s::Init error!\n", m_pParserName);
        return false;
    }

    // 5. Synchronisation controller.
    const bool audio = HasAudio();
    if (fileMode) {
        m_pAVSyncController.reset(new (std::nothrow) CFileAVSyncController(audio));
    } else {
        m_pAVSyncController.reset(new (std::nothrow) CStreamAVSyncController(audio));
    }
    if (!m_pAVSyncController) {
        DebugOutput("[QOR]create CAVSyncController error!\n");
        return false;
    }
    return true;
}

void CMpegPlayer::StartThreads() {
    if (m_iOpenMode.load() == kOpenFile) m_readThread = std::thread([this] { ReadThreadFunc(); });
    m_timer.Start(std::chrono::milliseconds(1), [this] { TimerProc(); });
    if (HasAudio()) {
        m_audioThread = std::thread([this] { AudioThreadProc(); });
        if (!m_bSoftwareVideo && !m_bSoftwareAudio) m_audioHardThread = std::thread([this] { AudioHardThreadProc(); });
    }
    m_videoThread = std::thread([this] { VideoThreadProc(); });
}

void CMpegPlayer::StopAndJoinThreads() {
    {
        std::lock_guard<std::mutex> guard(m_stopWakeLock);
        m_bStop.store(true);
    }
    m_stopWake.notify_all();
    m_event.Signal();
    if (m_pAVSyncController) m_pAVSyncController->Wake();
    if (m_readThread.joinable()) m_readThread.join();
    if (m_videoThread.joinable()) m_videoThread.join();
    // A write blocked on a full queue sees the stop flag within a millisecond.
    while (m_iWritersInside.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void CMpegPlayer::Teardown() {
    if (m_pAudioPlayer) m_pAudioPlayer->Pause();
    // Every thread is joined before anything it touches is freed; the stop
    // flag and the wake-ups make the joins prompt.
    StopAndJoinThreads();
    m_pVideoDecoder.reset();
    m_pVideoPlayer.reset();
    if (m_audioThread.joinable()) m_audioThread.join();
    if (m_audioHardThread.joinable()) m_audioHardThread.join();
    m_timer.Stop();
    m_pAVSyncController.reset();
    m_pAudioDecoder.reset();
    m_pMpegParser.reset();
    m_pStreamHeaderParser.reset();
    m_pAudioPlayer.reset();
    {
        std::lock_guard<std::mutex> guard(m_frameListLock);
        m_backPlayList.clear();
    }
    m_pFileController.reset();
    m_streamBuffer.clear();
    m_streamBuffer.shrink_to_fit();
}

// --- callbacks ---

void CMpegPlayer::SetVideoDecodeCallBack(VideoDecodeCallBack fpCallBack, uint32_t uUserValue) {
    m_fpVideoDecodeCallBack = fpCallBack;
    m_uVideoUserValue = uUserValue;
    if (m_pVideoPlayer) m_pVideoPlayer->SetVideoDecodeCallBack(fpCallBack, uUserValue);
}

void CMpegPlayer::SetDecCallBack(DecCallBack fpCallBack, uint32_t uUserValue, bool bWholeBlock) {
    m_fpDecCallBack = fpCallBack;
    m_uVideoUserValue = uUserValue;
    if (bWholeBlock && !m_pWholeBlock) m_pWholeBlock.reset(new (std::nothrow) uint8_t[kWholeBlockBufferSize]);
    if (m_pVideoPlayer) m_pVideoPlayer->SetDecCallBack(fpCallBack, uUserValue, bWholeBlock ? m_pWholeBlock.get() : nullptr);
}

void CMpegPlayer::SetAudioDecodeCallBack(AudioDecodeCallBack fpCallBack, int iLeadTime, uint32_t uUserValue) {
    std::lock_guard<std::mutex> guard(m_callbackLock);
    m_fpAudioDisplayCallBack = fpCallBack;
    m_uAudioUserValue = uUserValue;
    m_iAudioLeadTime.store(fpCallBack != nullptr ? iLeadTime : 200);
}

void CMpegPlayer::SetEndOfFileNotify(EndOfFileNotify notify) {
    std::lock_guard<std::mutex> guard(m_notifyLock);
    m_endOfFileNotify = std::move(notify);
}

void CMpegPlayer::SetIndexNotification(const IndexNotification& notification) {
    if (m_pMpegParser) m_pMpegParser->SetIndexNotification(notification);
}

// --- information and output settings ---

bool CMpegPlayer::GetPictureSize(int* pWidth, int* pHeight) const {
    int width = m_iWidth.load();
    if (width == 528) width = 704;
    if (pWidth != nullptr) *pWidth = width;
    if (pHeight != nullptr) *pHeight = m_iHeight.load();
    return true;
}

bool CMpegPlayer::FillParserFileInfoWords(uint32_t* pWords) {
    if (!m_pMpegParser || pWords == nullptr) return false;
    m_pMpegParser->FillFileInfoWords(pWords);
    return true;
}

bool CMpegPlayer::GetAudioWaveOutInfo(WaveFormat* pFormat) const {
    if (!m_pAudioDecoder || pFormat == nullptr) return false;
    *pFormat = m_pAudioDecoder->GetOutputFormat();
    return true;
}

int CMpegPlayer::GetMediaStreamType() const {
    const int type = m_fileInfo.iMediaStreamType;
    return type >= 0 && type <= 2 ? type : 4;
}

bool CMpegPlayer::SetPostFilter(int iLevel) {
    if (!m_pVideoDecoder) return false;
    return m_pVideoDecoder->SetPostFilterLevel(iLevel);
}

bool CMpegPlayer::SetVideoWindow(NativeWindow hWnd, const DisplayRect* pRect) {
    return m_pVideoPlayer && m_pVideoPlayer->SetVideoWindow(hWnd, pRect);
}

bool CMpegPlayer::SetDisplayMode(int iMode) { return m_pVideoPlayer && m_pVideoPlayer->SetDisplayMode(iMode); }

bool CMpegPlayer::EnableVideoOutput(bool bEnable) {
    m_bVideoOutput = bEnable;
    if (m_pVideoPlayer) m_pVideoPlayer->EnableOutput(bEnable);
    return true;
}

bool CMpegPlayer::RefreshWindow() { return m_pVideoPlayer && m_pVideoPlayer->Redraw(); }

}  // namespace qor
