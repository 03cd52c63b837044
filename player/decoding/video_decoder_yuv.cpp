#include "player/decoding/video_decoder_yuv.h"

#include <cstring>

#include "platform/debug_output.h"
#include "player/container/player_file_info.h"
#include "player/decoding/decoder_components.h"

namespace qor {

namespace {
constexpr int kYuvFrameRate = 25;
}

CVideoDecoderYUV::CVideoDecoderYUV(PlayerFileInfo* pFileInfo, const DecoderComponents* pComponents)
    : CVideoDecoder(pFileInfo, pComponents) {}

CVideoDecoderYUV::~CVideoDecoderYUV() { DestroyContext(); }

bool CVideoDecoderYUV::Initialize() { return CreateContext(); }

bool CVideoDecoderYUV::CreateContext() {
    if (!m_pFileInfo || !m_pComponents) {
        DebugOutput("[QOR]call h264_init() error!\n");
        return false;
    }
    TakePictureSize();
    try {
        m_pContext = m_pComponents->avc.Init(m_iWidth, m_iHeight);
    } catch (...) {
        m_pContext = nullptr;
    }
    if (!m_pContext) {
        DebugOutput("[QOR]call h264_init() error!\n");
        return false;
    }
    m_pContext->bPostFilter = EffectivePostFilter() != 0 ? 1 : 0;
    m_pContext->bLowDelay = 1;
    m_iOutWidth = m_iWidth;
    m_iOutHeight = m_iHeight;
    m_filtered.assign(static_cast<size_t>(m_iWidth) * m_iHeight * 3 / 2, 0);
    PublishFrameRate(kYuvFrameRate);
    ResetTimeQueue();
    return true;
}

void CVideoDecoderYUV::DestroyContext() {
    if (!m_pContext) return;
    try {
        m_pComponents->avc.Destroy(m_pContext);
    } catch (...) {
        DebugOutput("[QOR]CVideoDecoderYUV::h264_destroy() report ZRV.\n");
    }
    m_pContext = nullptr;
}

bool CVideoDecoderYUV::DecodeVideoVOP(DecodeFrame* pFrame) {
    if (!pFrame) return false;
    ClearPicture(pFrame);
    if (pFrame->bNewFileHeader && pFrame->times.uSecondTime == 0) {
        DestroyContext();
        if (!CreateContext()) return false;
    }
    if (!m_pContext || (!pFrame->pData && pFrame->uLength > 0)) return false;
    m_codedData.assign(pFrame->pData, pFrame->pData + pFrame->uLength);
    m_pContext->pData = m_codedData.data();
    m_pContext->uLength = pFrame->uLength;
    const bool filter = EffectivePostFilter() >= 1;
    int32_t status = QOR_AVC_ERROR;
    try {
        status = m_pComponents->avc.DecodeOneFrame(m_pContext);
        m_bPicturePending = status != QOR_AVC_NO_PICTURE;
        if (status == QOR_AVC_PICTURE_READY && filter) m_pComponents->avc.PostFilter(m_pContext, m_filtered.data(), 0);
    } catch (...) {
        DebugOutput("[QOR]CVideoDecoderYUV::DecodeVideoVOP() report ZRV.\n");
        return false;
    }
    RunTimeQueue(pFrame);
    if (status != QOR_AVC_PICTURE_READY) {
        DebugOutput("[QOR]DecodeVideoVOP() no picture.\n");
        return false;
    }
    uint8_t* start = filter ? m_filtered.data() : m_pContext->pPicture;
    // The picture block must be the one the context was made for.
    if (!start || m_pContext->iWidth != m_iWidth || m_pContext->iHeight != m_iHeight) {
        DebugOutput("[QOR]CVideoDecoderYUV::DecodeVideoVOP() report ZRV.\n");
        return false;
    }
    const size_t lumaSize = static_cast<size_t>(m_iWidth) * m_iHeight;
    PictureDescription& out = pFrame->picture;
    out.iWidth = m_iWidth;
    out.iHeight = m_iHeight;
    out.iFrameRate = kYuvFrameRate;
    out.pY = start;
    out.pV = start + lumaSize * 5 / 4;
    out.pU = start + lumaSize;
    out.iStrideY = m_iWidth;
    out.iStrideV = out.iStrideU = m_iWidth / 2;
    pFrame->iDisplayWidth = m_iWidth;
    pFrame->iDisplayHeight = m_iHeight;
    pFrame->uPictureSize = static_cast<uint32_t>(lumaSize * 3 / 2);
    return true;
}

bool CVideoDecoderYUV::RefreshQualityAndPostFilter() {
    if (m_pContext) m_pContext->bPostFilter = EffectivePostFilter() != 0 ? 1 : 0;
    return true;
}

bool CVideoDecoderYUV::SetPostFilterLevel(int iLevel) {
    if (!m_pContext || iLevel < 0 || iLevel > 2) return false;
    if (iLevel != m_iPostFilterLevel) {
        m_iPostFilterLevel = iLevel;
        if (iLevel == 0) m_iAutoPostFilter = 0;
        RefreshQualityAndPostFilter();
    }
    return true;
}

}  // namespace qor
