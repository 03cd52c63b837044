#include "player/container/file_controller.h"

#include <algorithm>
#include <cstring>

#include "platform/debug_output.h"

namespace qor {

CFileController::~CFileController() { Close(); }

bool CFileController::Create(const char* pFileName, PlayerFileInfo* pFileInfo) {
    Close();
    m_pFileInfo = pFileInfo;
    m_uPosition = 0;
    m_bCallBackMode = (pFileInfo != nullptr && pFileInfo->fpReadCallBack != nullptr) || pFileName == nullptr;
    if (m_bCallBackMode) return true;
    if (!m_file.Open(pFileName, File::Mode::Read) && !m_file.Open(pFileName, File::Mode::ReadWrite)) {
        DebugOutput("[QOR]CFileController open mpeg file error!\n");
        return false;
    }
    return true;
}

int64_t CFileController::Seek(int64_t iOffset, int iOrigin) {
    if (!m_bCallBackMode) {
        if (iOrigin < 0 || iOrigin > 2) return -1;
        return m_file.Seek(iOffset, static_cast<File::Origin>(iOrigin));
    }
    int64_t size = m_pFileInfo != nullptr ? std::max<int64_t>(m_pFileInfo->iFileSize, 0) : 0;
    int64_t position = m_uPosition;
    switch (iOrigin) {
        case 0: position = iOffset; break;
        case 1: position += iOffset; break;
        case 2: position = size + iOffset; break;
        default: return -1;
    }
    position = std::clamp<int64_t>(position, 0, std::min<int64_t>(size, UINT32_MAX));
    m_uPosition = uint32_t(position);
    return position;
}

bool CFileController::Read(uint8_t* pBuffer, int iCount, int* pBytesRead) {
    int got = 0;
    if (pBuffer != nullptr && iCount > 0) {
        if (m_bCallBackMode) {
            if (m_pFileInfo != nullptr && m_pFileInfo->fpReadCallBack != nullptr) {
                // Ask again after a short delivery, as a disk read would, so
                // that scans see whole blocks; a callback claiming more than
                // was asked for must not make us trust bytes it never wrote.
                while (got < iCount) {
                    int delivered = m_pFileInfo->fpReadCallBack(pBuffer + got, iCount - got, m_uPosition, 0,
                                                                m_pFileInfo->pReadUser);
                    if (delivered <= 0) break;
                    delivered = std::min(delivered, iCount - got);
                    got += delivered;
                    m_uPosition += uint32_t(delivered);
                }
            }
        } else if (m_file.IsOpen()) {
            int64_t n = m_file.Read(pBuffer, size_t(iCount));
            got = n > 0 ? int(n) : 0;
        }
        std::memset(pBuffer + got, kReadPadByte, size_t(iCount - got));
    }
    if (pBytesRead != nullptr) *pBytesRead = got;
    return got > 0;
}

int64_t CFileController::Size() {
    int64_t size = -1;
    if (m_bCallBackMode) {
        size = m_pFileInfo != nullptr ? m_pFileInfo->iFileSize : -1;
    } else if (m_file.IsOpen()) {
        size = m_file.Size();
    }
    if (size < 0) return -1;
    if (size >= kMaxRecordingSize) {
        DebugOutput("[QOR]GetFileSize() file size large than 2G, not supported now!\n");
        return -1;
    }
    return size;
}

void CFileController::Close() { m_file.Close(); }

}  // namespace qor
