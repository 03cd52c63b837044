#include "player/container/mpeg_parser.h"

#include <cstring>
#include <new>

#include "platform/debug_output.h"
#include "player/container/frame_search.h"

namespace qor {

CMpegParser::CMpegParser(PlayerFileInfo* pFileInfo, int iHeaderLength, uint32_t uHeaderStartCode,
                         int iHeaderCarrySize)
    : m_pFileInfo(pFileInfo),
      m_iHeaderLength(iHeaderLength),
      m_uHeaderStartCode(uHeaderStartCode),
      m_iHeaderCarrySize(iHeaderCarrySize) {
    m_pMpegFileHeader.reset(new (std::nothrow) uint8_t[size_t(iHeaderLength)]());
    if (!m_pMpegFileHeader) {
        DebugOutput("[QOR]new m_pMpegFileHeader error!\n");
    } else if (m_pFileInfo != nullptr) {
        m_pFileInfo->pMpegFileHeader = m_pMpegFileHeader.get();
        m_pFileInfo->iMpegFileHeaderLength = iHeaderLength;
    }
}

CMpegParser::~CMpegParser() {
    StopIndexThread();
    if (m_pFileInfo != nullptr && m_pFileInfo->pMpegFileHeader == m_pMpegFileHeader.get()) {
        m_pFileInfo->pMpegFileHeader = nullptr;
        m_pFileInfo->iMpegFileHeaderLength = 0;
    }
}

bool CMpegParser::IsPal(int iHeight) { return iHeight != 240 && iHeight != 480; }

bool CMpegParser::HasAudio() const {
    return m_pFileInfo != nullptr &&
           (m_pFileInfo->iMediaStreamType == kMediaVideoAudio || m_pFileInfo->iMediaStreamType == kMediaAudioOnly);
}

const uint8_t* CMpegParser::SearchForwardResume(const uint8_t* pBuffer, int iLength, int* pType, int64_t* pResume) {
    int rest = 0;
    int offset = SearchFrameForward(pBuffer, iLength, *pType, pType, &rest, pResume);
    return offset < 0 ? nullptr : pBuffer + offset;
}

bool CMpegParser::ReadMpegFileHeader(CFileController* pController) {
    if (!m_pMpegFileHeader || m_pFileInfo == nullptr || pController == nullptr) return false;
    const int length = m_iHeaderLength;
    std::vector<uint8_t> buffer(static_cast<size_t>(length));
    const int kept = 3 + m_iHeaderCarrySize;  // a start code split across two reads
    if (pController->Seek(0, 0) != 0) {
        DebugOutput("[QOR]read mpeg file header error!\n");
        return false;
    }
    int64_t bufferPosition = 0;  // file position of buffer[0]
    int held = 0;
    for (;;) {
        int got = 0;
        if (!pController->Read(buffer.data() + held, length - held, &got)) {
            DebugOutput("[QOR]read mpeg file header error!\n");
            return false;
        }
        held += got;
        int found = FindStartCode(buffer.data(), held, m_uHeaderStartCode);
        if (found == 0 && held == length) break;
        if (found > 0) {
            std::memmove(buffer.data(), buffer.data() + found, size_t(held - found));
            held -= found;
            bufferPosition += found;
            continue;
        }
        if (found < 0) {
            int keep = held < kept ? held : kept;
            std::memmove(buffer.data(), buffer.data() + held - keep, size_t(keep));
            bufferPosition += held - keep;
            held = keep;
        }
    }
    // The header's own position, so that a file with leading garbage points at
    // the header rather than at the last read.
    m_pFileInfo->iHeaderPosition = bufferPosition;
    bool changed = false;
    int delay = 0;
    if (!ParseMpegFileHeaderInfo(buffer.data(), &changed, &delay)) {
        DebugOutput("[QOR]call ParseMpegFileHeaderInfo() error.\n");
        return false;
    }
    return true;
}

bool CMpegParser::Init(const char* pFileName, bool bStartIndexThread) {
    if (!m_pMpegFileHeader || m_pFileInfo == nullptr) return false;
    m_bHasFileName = pFileName != nullptr;
    m_fileName = pFileName != nullptr ? pFileName : "";
    std::unique_ptr<CFileController> controller(new (std::nothrow) CFileController);
    if (!controller) {
        DebugOutput("[QOR]new CFileController error!\n");
        return false;
    }
    if (!controller->Create(pFileName, m_pFileInfo)) return false;
    int64_t size = controller->Size();
    if (size < 0) {
        DebugOutput("[QOR]get mpeg file's size error!\n");
        return false;
    }
    m_pFileInfo->iFileSize = size;
    if (!ReadMpegFileHeader(controller.get()) || !ScanFirstKeyFrame(controller.get()) ||
        !GetFinalFrameInfo(controller.get(), kFrameAnyVideo)) {
        DebugOutput("[QOR]CMpegParser initialization error!\n");
        return false;
    }
    controller->Close();
    if (bStartIndexThread) return StartIndexThread();
    return true;
}

bool CMpegParser::Init4Stream(const uint8_t* pBuffer, int iLength) {
    if (!m_pMpegFileHeader || m_pFileInfo == nullptr) return false;
    int found = FindStartCode(pBuffer, iLength, m_uHeaderStartCode);
    if (found < 0) {
        DebugOutput("[QOR]Init4Stream() not find file header error.\n");
        return false;
    }
    if (iLength - found < m_iHeaderLength) {
        DebugOutput("[QOR]Init4Stream() find file header unCompleted error.\n");
        return false;
    }
    bool changed = false;
    int delay = 0;
    if (!ParseMpegFileHeaderInfo(pBuffer + found, &changed, &delay)) {
        DebugOutput("[QOR]call ParseMpegFileHeaderInfo() error.\n");
        return false;
    }
    m_pFileInfo->iHeaderPosition = found;
    return true;
}

IndexRecordLimits CMpegParser::RecordLimits() const {
    IndexRecordLimits limits;
    limits.iFirstKeyFramePosition = m_pFileInfo->iFirstKeyFramePosition;
    limits.iHeaderPosition = m_pFileInfo->iHeaderPosition;
    limits.iFileSize = m_pFileInfo->iFileSize;
    limits.uFirstTime = m_pFileInfo->uFirstTime;
    limits.iLastTimeLimit = int64_t(m_pFileInfo->uLastFrameTime) + m_pFileInfo->iFrameDuration;
    return limits;
}

}  // namespace qor
