// Seeking, stepping, back-play and positions. Every operation that moves the
// engine parks its threads first (the quiescing protocol), works on the
// caller's thread with the decoders to itself, and lets the threads go on
// from the new position.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/debug_output.h"
#include "player/container/format.h"
#include "player/engine/mpeg_player.h"

namespace qor {

namespace {
constexpr int kStartWindow = 512000;
constexpr int kMaxWindow = 16 * 1024 * 1024;
}  // namespace

bool CMpegPlayer::BeginQuiesce() {
    m_fSavedSpeed = m_fPlaySpeed.load();
    m_fPlaySpeed.store(1.0f);
    m_bSeeking.store(true);
    m_event.Signal();
    const auto start = std::chrono::steady_clock::now();
    const int hardLimitMs = 100 * m_iFrameInterval.load();
    for (;;) {
        if (m_bStop.load()) {
            m_fPlaySpeed.store(m_fSavedSpeed);
            m_bSeeking.store(false);
            return false;
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start).count();
        const bool read = !m_readThread.joinable() || m_bReadIdle.load();
        const bool video = !m_videoThread.joinable() || m_bVideoIdle.load();
        const bool audio = !m_audioThread.joinable() || m_bAudioIdle.load();
        const bool hard = !m_audioHardThread.joinable() || m_bHardIdle.load() || elapsed > hardLimitMs;
        if (read && video && audio && hard) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (m_pAVSyncController) {
        m_pAVSyncController->Clear();
        m_pAVSyncController->ResetDrift();
    }
    // Sound queued for the old position must not steer the new one.
    if (m_pAudioPlayer) m_pAudioPlayer->Reset();
    m_bAudioClockValid.store(false);
    std::lock_guard<std::mutex> guard(m_frameListLock);
    m_backPlayList.clear();
    return true;
}

void CMpegPlayer::EndQuiesce() {
    if (m_pAVSyncController) m_pAVSyncController->Clear();
    int64_t resume = -1;
    {
        std::lock_guard<std::mutex> guard(m_frameListLock);
        resume = m_iShownEnd;
    }
    if (resume >= 0) SetReadPosition(resume);
    m_fPlaySpeed.store(m_fSavedSpeed);
    m_bSeeking.store(false);
}

void CMpegPlayer::SetReadPosition(int64_t iPosition) {
    m_iReadPosition.store(iPosition);
    m_bRepositioned.store(true);
}

bool CMpegPlayer::ReadAt(int64_t iPosition, int iLength, std::vector<uint8_t>* pBytes) {
    CFileController controller;
    if (!controller.Create(m_fileInfo.fpReadCallBack ? nullptr : m_fileName.c_str(), &m_fileInfo)) {
        DebugOutput("[QOR]create CFileController error!\n");
        return false;
    }
    pBytes->assign(size_t(iLength), 0);
    if (controller.Seek(iPosition, 0) != iPosition) return false;
    int got = 0;
    if (!controller.Read(pBytes->data(), iLength, &got)) return false;
    pBytes->resize(size_t(got));
    return true;
}

int64_t CMpegPlayer::HeaderBefore(int64_t iPosition) {
    int64_t best = m_fileInfo.iHeaderPosition;
    const bool indexed = m_fileInfo.bIndexReady.load();
    if (indexed) {
        for (uint32_t position : m_fileInfo.headerPositions) {
            if (int64_t(position) <= iPosition && int64_t(position) > best) best = position;
        }
    }
    // A recorder that restarts writes a header right before its first key
    // picture. The index may not list those, so the keys are checked for one
    // in front of them, once per index.
    CFileController controller;
    if (!controller.Create(m_fileInfo.fpReadCallBack ? nullptr : m_fileName.c_str(), &m_fileInfo)) return best;
    auto headerAt = [&](int64_t position) {
        uint8_t code[4] = {};
        int got = 0;
        return position >= 0 && controller.Seek(position, 0) == position && controller.Read(code, 4, &got) &&
               got == 4 && ReadLe32(code) == kFileHeaderStartCode;
    };
    if (indexed && m_iKeyHeadersScanned != m_fileInfo.indexTable.size()) {
        m_keyHeaders.clear();
        for (const IndexEntry& entry : m_fileInfo.indexTable) {
            const int64_t candidate = int64_t(entry.uPosition) - kFileHeaderLength;
            if (entry.uLength != 0 && candidate > m_fileInfo.iHeaderPosition && headerAt(candidate)) {
                m_keyHeaders.push_back(candidate);
            }
        }
        m_iKeyHeadersScanned = m_fileInfo.indexTable.size();
    }
    for (int64_t position : m_keyHeaders) {
        if (position <= iPosition && position > best) best = position;
    }
    if (iPosition - kFileHeaderLength > best && headerAt(iPosition - kFileHeaderLength)) best = iPosition - kFileHeaderLength;
    return best;
}

bool CMpegPlayer::CheckHeaderAt(int64_t iPosition) {
    const int64_t headerPosition = HeaderBefore(iPosition);
    std::vector<uint8_t> header;
    if (!ReadAt(headerPosition, kFileHeaderLength, &header) || int(header.size()) < kFileHeaderLength) {
        DebugOutput("[QOR]read file(for SeekPlayTime) error!\n");
        return false;
    }
    bool changed = false;
    int delay = 0;
    if (!m_pMpegParser->ParseMpegFileHeaderInfo(header.data(), &changed, &delay)) {
        DebugOutput("[QOR]ParseMpegFileHeaderInfo(for SeekPlayTime) error!\n");
        return false;
    }
    if (changed) {
        m_iWidth.store(m_fileInfo.iWidth);
        m_iHeight.store(m_fileInfo.iHeight);
        if (m_pVideoPlayer) m_pVideoPlayer->Reinitialise(m_fileInfo.iWidth, m_fileInfo.iHeight, m_iFrameRate.load());
        m_bNewHeaderPending.store(true);
    }
    return true;
}

bool CMpegPlayer::WalkGroup(int64_t iKeyPosition, int iWindow, const PictureVisitor& visit, const char* pWindowError,
                            VideoDecodeFrameInfo* pLast, FrameRecord* pLastFrame) {
    std::vector<uint8_t> bytes;
    iWindow = std::clamp(iWindow, kFrameHeaderSize, kMaxWindow);
    if (!ReadAt(iKeyPosition, iWindow, &bytes)) {
        DebugOutput("[QOR]read file(for SeekPlayTime) error!\n");
        return false;
    }
    const int held = int(bytes.size());
    int pos = 0;
    bool havePicture = false;
    bool stopped = false;
    uint32_t previousTime = 0;
    bool havePrevious = false;
    while (held - pos >= kFrameHeaderSize) {
        const uint8_t* frame = bytes.data() + pos;
        const int type = m_pMpegParser->GetFrameType(frame);
        if (type == kFrameFileHeader) {
            if (held - pos < kFileHeaderLength) break;
            FrameRecord header;
            header.pBytes.reset(new uint8_t[kFileHeaderLength]);
            std::memcpy(header.pBytes.get(), frame, kFileHeaderLength);
            HandleHeaderUnit(header);
            pos += kFileHeaderLength;
            continue;
        }
        if (type == kFrameUnknown) {
            DebugOutput("[QOR]Frame type error! in FileRead().\n");
            return false;
        }
        const int size = m_pMpegParser->GetFrameLength(frame);
        if (size < kFrameHeaderSize || held - pos < size) break;
        if (type == kFrameAudio || type == kFrameMixed) {
            pos += size;
            continue;
        }
        FrameRecord record;
        record.iType = type;
        record.iLength = size;
        record.iPosition = iKeyPosition + pos;
        uint32_t stamp = m_pMpegParser->GetTimeStamp(frame);
        if (stamp == 0xFFFFFFFFu && havePrevious) stamp = previousTime + uint32_t(m_iFrameInterval.load());
        record.uTime = stamp;
        previousTime = stamp;
        havePrevious = true;
        int dataLength = 0;
        const uint8_t* data = m_pMpegParser->GetVideoData(frame, &dataLength);
        record.pBytes.reset(new uint8_t[size_t(size)]);
        std::memcpy(record.pBytes.get(), frame, size_t(size));
        record.iDataStart = data != nullptr ? int(data - frame) : size;
        record.iDataLength = data != nullptr ? dataLength : 0;

        const PictureStep step = visit(record, nullptr);
        if (step == PictureStep::StopBefore) {
            stopped = true;
            break;
        }
        VideoDecodeFrameInfo info{};
        if ((!m_bNeedKeyPicture.load() || type == kFrameKey) && DecodePicture(record, &info)) {
            *pLast = info;
            pLastFrame->uTime = record.uTime;
            pLastFrame->iPosition = record.iPosition;
            pLastFrame->iLength = record.iLength;
            pLastFrame->iType = record.iType;
            havePicture = true;
            if (visit(record, &info) == PictureStep::StopAt) {
                stopped = true;
                break;
            }
        }
        pos += size;
    }
    if (!stopped && pWindowError != nullptr) DebugOutput("%s", pWindowError);
    return havePicture;
}

void CMpegPlayer::ShowChosenPicture(const VideoDecodeFrameInfo& info, const FrameRecord& frame) {
    PresentPicture(info, frame);
    m_uLastFrameTime.store(frame.uTime);
    m_bHaveLastFrameTime.store(true);
    m_bEndOfFile.store(false);
    m_bEndNotified.store(false);
    m_bPacingFirst.store(true);
}

bool CMpegPlayer::FindIndexEntry(uint32_t uAbsTime, bool bExact, IndexEntry* pFound, IndexEntry* pNext) {
    if (!m_fileInfo.bIndexReady.load()) return false;
    const std::vector<IndexEntry>& table = m_fileInfo.indexTable;
    int found = -1;
    for (int i = 0; i < int(table.size()); ++i) {
        if (table[size_t(i)].uLength == 0) break;  // the sentinel
        const bool before = bExact ? table[size_t(i)].uTime <= uAbsTime : table[size_t(i)].uTime < uAbsTime;
        if (!before) break;
        found = i;
    }
    if (found < 0 || found + 1 >= int(table.size())) return false;
    *pFound = table[size_t(found)];
    *pNext = table[size_t(found) + 1];
    return true;
}

bool CMpegPlayer::KeyBefore(int64_t iPosition, IndexEntry* pFound, IndexEntry* pNext) {
    if (!m_fileInfo.bIndexReady.load()) return false;
    const std::vector<IndexEntry>& table = m_fileInfo.indexTable;
    int found = -1;
    for (int i = 0; i < int(table.size()); ++i) {
        if (table[size_t(i)].uLength == 0 || int64_t(table[size_t(i)].uPosition) > iPosition) break;
        found = i;
    }
    if (found < 0 || found + 1 >= int(table.size())) return false;
    *pFound = table[size_t(found)];
    *pNext = table[size_t(found) + 1];
    return true;
}

bool CMpegPlayer::SeekingPlayTime(int iPlayTime, bool bExact) {
    return SafeCall(2, [&] { return SeekingPlayTimeBody(iPlayTime, bExact); });
}

bool CMpegPlayer::SeekingPlayTimeBody(int iPlayTime, bool bExact) {
    if (iPlayTime < 0 || iPlayTime > TotalTime()) {
        DebugOutput("[QOR]SeekingPlayTime() iPlayTime unavailable error.\n");
        return false;
    }
    if (!m_pFileController) return false;
    const uint32_t target = m_uFirstTime.load() + uint32_t(iPlayTime);
    int64_t keyPosition = 0;
    int window = kStartWindow;
    if (iPlayTime == 0 && bExact) {
        keyPosition = m_fileInfo.iFirstKeyFramePosition > 0 ? m_fileInfo.iFirstKeyFramePosition : m_iStartOfData;
    } else {
        if (!m_bCreateIndexTable || !m_fileInfo.bIndexReady.load() || m_fileInfo.indexTable.empty()) {
            DebugOutput("[QOR]SeekingPlayTime find no index table error.");
            return ScanningSeek(iPlayTime);
        }
        IndexEntry found, next;
        if (!FindIndexEntry(target, bExact, &found, &next)) {
            const std::vector<IndexEntry>& table = m_fileInfo.indexTable;
            DebugOutput("[QOR]no available index(for SeekPlayTime) error! iPlayTime=%d, firstIndex=%d, lastIndex=%d.\n",
                        iPlayTime, int(table.front().uTime), int(table.back().uTime));
            return false;
        }
        window = int(1.5 * double(int64_t(next.uPosition) - int64_t(found.uPosition)));
        if (window <= 0) {
            DebugOutput("[QOR]index's filePos(for SeekPlayTime) error!\n");
            return false;
        }
        keyPosition = found.uPosition;
    }

    std::lock_guard<std::mutex> seekGuard(m_seekLock);
    if (!BeginQuiesce()) return false;
    ResetVideoDecoder();
    bool ok = CheckHeaderAt(keyPosition);
    if (ok) {
        const int interval = m_iFrameInterval.load();
        VideoDecodeFrameInfo last{};
        FrameRecord lastFrame;
        auto visit = [&](const FrameRecord& frame, const VideoDecodeFrameInfo* decoded) {
            if (decoded == nullptr) return PictureStep::Go;
            if (!bExact || int64_t(frame.uTime) + interval >= int64_t(target)) return PictureStep::StopAt;
            return PictureStep::Go;
        };
        ok = WalkGroup(keyPosition, window, visit, "[QOR]frame group data(for SeekPlayTime) error!\n", &last, &lastFrame);
        if (ok) ShowChosenPicture(last, lastFrame);
    }
    EndQuiesce();
    return ok;
}

bool CMpegPlayer::ScanningSeek(int iPlayTime) {
    return SafeCall(3, [&] { return ScanningSeekBody(iPlayTime); });
}

bool CMpegPlayer::ScanningSeekBody(int iPlayTime) {
    const int total = TotalTime();
    if (iPlayTime <= 0 || iPlayTime > total || !m_pFileController) return false;
    std::lock_guard<std::mutex> seekGuard(m_seekLock);
    if (!BeginQuiesce()) return false;
    ResetVideoDecoder();
    const int64_t size = m_fileInfo.iFileSize;
    const int64_t bytesPerMs = total > 0 ? size / total : 0;
    int64_t position = std::clamp<int64_t>(bytesPerMs * iPlayTime, m_iStartOfData, std::max<int64_t>(size - 1, 0));
    bool ok = false;
    std::vector<uint8_t> block;
    while (!ok && position < size && !m_bStop.load()) {
        if (!ReadAt(position, kReadBlockSize, &block) || block.empty()) break;
        int type = kFrameKey;
        int rest = 0;
        const uint8_t* key = m_pMpegParser->SearchForward(block.data(), int(block.size()), &type, &rest);
        if (key == nullptr || type != kFrameKey) {
            if (int(block.size()) <= kFrameHeaderSize) break;
            position += int64_t(block.size()) - kFrameHeaderSize;
            continue;
        }
        const int64_t keyPosition = position + (key - block.data());
        if (!CheckHeaderAt(keyPosition)) break;
        VideoDecodeFrameInfo last{};
        FrameRecord lastFrame;
        auto visit = [](const FrameRecord&, const VideoDecodeFrameInfo* decoded) {
            return decoded != nullptr ? PictureStep::StopAt : PictureStep::Go;
        };
        ok = WalkGroup(keyPosition, kMaxFrameLength, visit, nullptr, &last, &lastFrame);
        if (ok) ShowChosenPicture(last, lastFrame);
        break;
    }
    EndQuiesce();
    return ok;
}

bool CMpegPlayer::SetPosition(float fPosition) {
    if (m_iOpenMode.load() != kOpenFile) return false;
    if (fPosition > 1.0f) {
        fPosition *= 0.01f;
        m_bPercentPositions.store(true);
    }
    if (!(fPosition >= 0.0f && fPosition <= 1.0f)) {
        DebugOutput("[QOR]FileSetPosition() fPercent error.\n");
        return false;
    }
    return SetPlayTime(int(fPosition * float(TotalTime())));
}

bool CMpegPlayer::SetPlayTime(int iPlayTime) {
    if (m_iOpenMode.load() != kOpenFile) return false;
    if (SeekingPlayTime(iPlayTime, true)) return true;
    return ScanningSeek(iPlayTime);
}

bool CMpegPlayer::SetPlayFrame(int iFrame) {
    if (m_iOpenMode.load() != kOpenFile || !m_pMpegParser) return false;
    return SetPlayTime(m_pMpegParser->GetFramesDuration(iFrame));
}

bool CMpegPlayer::GetKeyFramePos(uint32_t* pPosition, bool bNext) {
    if (pPosition == nullptr) return false;
    *pPosition = 0;
    if (m_iOpenMode.load() != kOpenFile) return false;
    const char* error = bNext ? "[QOR]no available index(for FileGetNextKeyFramePos) error!\n"
                              : "[QOR]no available index(for FileGetKeyFramePos) error!\n";
    if (!m_fileInfo.bIndexReady.load()) {
        DebugOutput("%s", error);
        return false;
    }
    const std::vector<IndexEntry>& table = m_fileInfo.indexTable;
    const uint32_t now = m_uCurrentTime.load();
    for (int i = int(table.size()) - 1; i >= 0; --i) {
        if (table[size_t(i)].uTime > now) continue;
        if (!bNext) {
            *pPosition = table[size_t(i)].uPosition;
            return true;
        }
        if (i + 2 >= int(table.size())) break;
        *pPosition = table[size_t(i) + 1].uPosition;
        return true;
    }
    DebugOutput("%s", error);
    return false;
}

bool CMpegPlayer::FileResetEndOfFile() {
    if (!m_pMpegParser) return false;
    const bool ok = m_pMpegParser->FileResetEndOfFile();
    if (ok) m_uLastTime.store(m_fileInfo.uLastFrameTime);
    m_bEndOfFile.store(false);
    m_bEndNotified.store(false);
    return ok;
}

bool CMpegPlayer::SetFileIndexTable(const uint8_t* pData, int iLength) {
    if (!m_pMpegParser || !m_pFileController) return false;
    return m_pMpegParser->SetFileIndexTable(pData, iLength);
}

bool CMpegPlayer::ResetPlayer() {
    return SafeCall(4, [&] { return ResetPlayerBody(); });
}

bool CMpegPlayer::ResetPlayerBody() {
    std::lock_guard<std::mutex> seekGuard(m_seekLock);
    if (!BeginQuiesce()) return false;
    ResetVideoDecoder();
    if (m_pAudioDecoder && m_pAudioPlayer) m_pAudioPlayer->Stop();
    if (m_iOpenMode.load() == kOpenStream) m_bWaitingForKeyFrame.store(true);
    EndQuiesce();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return true;
}

// --- steps ---

bool CMpegPlayer::DecodeUpTo(int64_t iTarget, bool bBefore, const char* pKeyError) {
    IndexEntry found, next;
    const int64_t anchor = bBefore ? iTarget - 1 : iTarget;
    if (anchor < 0 || !KeyBefore(anchor, &found, &next)) {
        DebugOutput("%s", pKeyError);
        return false;
    }
    ResetVideoDecoder();
    const int window = int(std::min<int64_t>(iTarget - int64_t(found.uPosition) + kMaxFrameLength, kMaxWindow));
    VideoDecodeFrameInfo last{};
    FrameRecord lastFrame;
    auto visit = [&](const FrameRecord& frame, const VideoDecodeFrameInfo* decoded) {
        if (decoded == nullptr) return bBefore && frame.iPosition >= iTarget ? PictureStep::StopBefore : PictureStep::Go;
        return !bBefore && frame.iPosition >= iTarget ? PictureStep::StopAt : PictureStep::Go;
    };
    if (!WalkGroup(int64_t(found.uPosition), window, visit, nullptr, &last, &lastFrame)) return false;
    if (bBefore && lastFrame.iPosition >= iTarget) return false;
    ShowChosenPicture(last, lastFrame);
    return true;
}

bool CMpegPlayer::StepPlay(bool bForward) {
    return SafeCall(5, [&] { return StepPlayBody(bForward); });
}

bool CMpegPlayer::StepPlayBody(bool bForward) {
    if (m_iOpenMode.load() == kOpenStream) {
        // A stream cannot go back, and steps only with remote file play.
        if (!bForward || !m_bRemoteFilePlay.load()) return false;
        return StreamStepForward();
    }
    if (m_iOpenMode.load() != kOpenFile) return false;
    if (m_pAudioPlayer) m_pAudioPlayer->Pause();
    std::lock_guard<std::mutex> seekGuard(m_seekLock);
    if (!BeginQuiesce()) return false;
    m_bBackPlay.store(false);
    if (m_iState.load() != kStateStepWait) m_iState.store(kStateStepWait);
    m_bWaiting.store(true);
    int64_t shown = -1, shownEnd = -1;
    {
        std::lock_guard<std::mutex> guard(m_frameListLock);
        shown = m_iShownPosition;
        shownEnd = m_iShownEnd;
    }
    bool ok = false;
    if (bForward) {
        // The next picture after the one shown.
        std::vector<uint8_t> block;
        int64_t next = -1;
        if (shownEnd >= 0 && ReadAt(shownEnd, kMaxFrameLength + kFrameHeaderSize, &block) && !block.empty()) {
            int type = kFrameAnyVideo;
            int rest = 0;
            const uint8_t* frame = m_pMpegParser->SearchForward(block.data(), int(block.size()), &type, &rest);
            if (frame != nullptr) next = shownEnd + (frame - block.data());
        }
        if (next < 0) {
            m_iState.store(kStateStepsExhausted);
        } else {
            ok = DecodeUpTo(next, false, "[QOR]FileStepBack() no any I vop in buffer error.\n");
        }
    } else if (shown >= 0) {
        ok = DecodeUpTo(shown, true, "[QOR]FileStepBack() no any I vop in buffer error.\n");
    }
    EndQuiesce();
    return ok;
}

bool CMpegPlayer::StreamStepForward() {
    if (m_pAudioPlayer) m_pAudioPlayer->Pause();
    std::lock_guard<std::mutex> seekGuard(m_seekLock);
    if (!m_videoThread.joinable() || !m_pAVSyncController) return false;
    m_iStepAnswer.store(-1);
    m_iState.store(kStateStepWait);
    m_bStepWanted.store(true);
    // One picture takes a few milliseconds to decode; the limit only keeps a
    // caller from hanging on a thread that is parked for a reset.
    constexpr int kStepWaitMs = 2000;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStepWaitMs);
    while (m_iStepAnswer.load() < 0 && !m_bStop.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_bStepWanted.store(false);
    return m_iStepAnswer.load() == 1;
}

bool CMpegPlayer::RepositionAfterSteps() {
    std::lock_guard<std::mutex> seekGuard(m_seekLock);
    if (!BeginQuiesce()) return false;
    int64_t shown = -1;
    {
        std::lock_guard<std::mutex> guard(m_frameListLock);
        shown = m_iShownPosition;
    }
    bool ok = shown >= 0 && DecodeUpTo(shown, false, "[QOR]GetKeyFramePosByFilePos() error.\n");
    m_bBackPlay.store(false);
    m_bWaiting.store(false);
    m_iState.store(kStatePaused);  // Play sets playing once we return
    EndQuiesce();
    return ok;
}

// --- back-play ---

bool CMpegPlayer::BackPlay() {
    return SafeCall(6, [&] { return BackPlayBody(); });
}

bool CMpegPlayer::BackPlayBody() {
    if (m_iOpenMode.load() != kOpenFile) return false;
    if (m_bWaiting.load() && m_bBackPlay.load()) {
        m_iState.store(kStatePlaying);
        return true;
    }
    std::lock_guard<std::mutex> seekGuard(m_seekLock);
    if (!BeginQuiesce()) return false;
    {
        std::lock_guard<std::mutex> guard(m_frameListLock);
        m_iBackPlayLimit = m_iShownPosition;
    }
    m_bWaiting.store(true);
    m_bBackPlay.store(true);
    m_bEndOfFile.store(false);
    m_bEndNotified.store(false);
    m_bPacingFirst.store(true);
    m_iState.store(kStatePlaying);
    EndQuiesce();
    return true;
}

bool CMpegPlayer::FillBackPlayGroup() {
    int64_t limit = -1;
    {
        std::lock_guard<std::mutex> guard(m_frameListLock);
        limit = m_iBackPlayLimit;
    }
    IndexEntry found, next;
    if (limit <= 0 || !KeyBefore(limit - 1, &found, &next)) return false;
    ResetVideoDecoder();
    std::deque<KeptPicture> group;
    auto visit = [&](const FrameRecord& frame, const VideoDecodeFrameInfo* decoded) {
        if (decoded == nullptr) return frame.iPosition >= limit ? PictureStep::StopBefore : PictureStep::Go;
        KeptPicture kept;
        kept.uTime = frame.uTime;
        kept.iPosition = frame.iPosition;
        kept.iWidth = decoded->iWidth;
        kept.iHeight = decoded->iHeight;
        const size_t w = size_t(decoded->iWidth), h = size_t(decoded->iHeight);
        kept.planes.resize(w * h * 3 / 2);
        for (size_t row = 0; row < h; ++row)
            std::memcpy(kept.planes.data() + row * w, decoded->pY + row * size_t(decoded->iYStride), w);
        uint8_t* u = kept.planes.data() + w * h;
        uint8_t* v = kept.planes.data() + w * h * 5 / 4;
        for (size_t row = 0; row < h / 2; ++row) {
            std::memcpy(u + row * (w / 2), decoded->pU + row * size_t(decoded->iUStride), w / 2);
            std::memcpy(v + row * (w / 2), decoded->pV + row * size_t(decoded->iVStride), w / 2);
        }
        group.push_back(std::move(kept));
        return PictureStep::Go;
    };
    const int window = int(std::min<int64_t>(limit - int64_t(found.uPosition) + kFrameHeaderSize, kMaxWindow));
    VideoDecodeFrameInfo last{};
    FrameRecord lastFrame;
    WalkGroup(int64_t(found.uPosition), window, visit, nullptr, &last, &lastFrame);
    std::lock_guard<std::mutex> guard(m_frameListLock);
    m_iBackPlayLimit = int64_t(found.uPosition);
    for (KeptPicture& picture : group) m_backPlayList.push_back(std::move(picture));
    return true;
}

}  // namespace qor
