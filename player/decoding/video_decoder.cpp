#include "player/decoding/video_decoder.h"

#include "player/container/player_file_info.h"
#include "player/decoding/decoder_components.h"

namespace qor {

namespace {
constexpr int kMaxStride = 1 << 16;
}

CVideoDecoder::CVideoDecoder(PlayerFileInfo* pFileInfo, const DecoderComponents* pComponents)
    : m_pFileInfo(pFileInfo), m_pComponents(pComponents ? pComponents : GetDecoderComponents()) {}

CVideoDecoder::~CVideoDecoder() = default;

void CVideoDecoder::SetDisplayArea(int iWidth, int iHeight) {
    m_iDisplayWidth = iWidth;
    m_iDisplayHeight = iHeight;
}

void CVideoDecoder::SetScreenSize(int iWidth, int iHeight) {
    m_iScreenWidth = iWidth;
    m_iScreenHeight = iHeight;
}

void CVideoDecoder::RunTimeQueue(DecodeFrame* pFrame) {
    m_timeQueue.push_back(pFrame->times);
    if (m_iDelay >= 0) {
        pFrame->times = m_timeQueue.front();
        m_timeQueue.pop_front();
    }
    pFrame->iPictureAvailable = m_iDelay;
    if (m_iDelay < 0) ++m_iDelay;
}

void CVideoDecoder::ClearTimeQueue(int iDelay) {
    m_timeQueue.clear();
    m_iDelay = iDelay;
}

void CVideoDecoder::PublishFrameRate(int iFrameRate) {
    m_iFrameRate = iFrameRate > 0 ? iFrameRate : 1;
    if (m_pFileInfo) {
        m_pFileInfo->iFrameRate = m_iFrameRate;
        m_pFileInfo->iFrameDuration = 1000 / m_iFrameRate;
    }
}

void CVideoDecoder::TakePictureSize() {
    m_iWidth = m_pFileInfo->iCurWidth > 0 ? m_pFileInfo->iCurWidth : m_pFileInfo->iWidth;
    m_iHeight = m_pFileInfo->iCurHeight > 0 ? m_pFileInfo->iCurHeight : m_pFileInfo->iHeight;
}

bool CVideoDecoder::IsPlausiblePicture(const PictureDescription& desc, int iWidth, int iHeight) {
    if (!desc.pY || !desc.pU || !desc.pV) return false;
    if (desc.iWidth < iWidth || desc.iHeight < iHeight) return false;
    if (desc.iStrideY < iWidth || desc.iStrideU < iWidth / 2 || desc.iStrideV < iWidth / 2) return false;
    return desc.iStrideY <= kMaxStride && desc.iStrideU <= kMaxStride && desc.iStrideV <= kMaxStride;
}

void CVideoDecoder::ClearPicture(DecodeFrame* pFrame) {
    pFrame->picture = PictureDescription{};
    pFrame->uPictureSize = 0;
}

}  // namespace qor
