#include "player/decoding/video_decoder_marlin.h"

#include <cstring>

#include "platform/debug_output.h"
#include "player/container/player_file_info.h"
#include "player/decoding/decoder_components.h"

namespace qor {

namespace {
constexpr uint32_t kFormatMarlin = 0x00060002;
constexpr uint32_t kFormatHeron = 0x00060008;

PictureDescription ToDescription(const MarlinOutputDesc& d) {
    PictureDescription p;
    p.iWidth = d.iWidth;
    p.iHeight = d.iHeight;
    p.iFrameType = d.iFrameType;
    p.iFrameRate = d.iFrameRate;
    p.pY = d.pY;
    p.pV = d.pV;
    p.pU = d.pU;
    p.iStrideY = d.iStrideY;
    p.iStrideV = d.iStrideV;
    p.iStrideU = d.iStrideU;
    p.iReserved = d.iReserved;
    return p;
}

template <typename Fn>
void Guarded(Fn call) {
    try {
        call();
    } catch (...) {
        DebugOutput("[QOR]CVideoDecoderMarlin settings report ZRV.\n");
    }
}
}  // namespace

CVideoDecoderMarlin::CVideoDecoderMarlin(PlayerFileInfo* pFileInfo, const DecoderComponents* pComponents)
    : CVideoDecoder(pFileInfo, pComponents) {}

CVideoDecoderMarlin::~CVideoDecoderMarlin() { ReleaseDecoder(); }

bool CVideoDecoderMarlin::Initialize() { return CreateDecoder(); }

bool CVideoDecoderMarlin::CreateDecoder() {
    if (!m_pFileInfo || !m_pComponents) {
        DebugOutput("[QOR]call OrcaMarlinDecoder_CreateDecoder() error!\n");
        return false;
    }
    uint32_t model = 0;
    if (m_pFileInfo->uFormatType == kFormatMarlin)
        model = QOR_MARLIN_MODEL_MARLIN;
    else if (m_pFileInfo->uFormatType == kFormatHeron)
        model = QOR_MARLIN_MODEL_HERON;
    else
        return false;
    TakePictureSize();
    m_params = MarlinDecoderParams{};
    m_params.pConfig = m_pFileInfo->videoConfig;
    m_params.uConfigLength = static_cast<uint32_t>(m_pFileInfo->iVideoConfigLength);
    m_params.iDecodingMode = m_pFileInfo->iDecodingMode;
    m_params.iWidth = m_iWidth;
    m_params.iHeight = m_iHeight;
    m_params.uZero = 0;
    m_params.uModelCode = model;
    if (m_iPostFilterLevel == 0) ComputeAutomaticValues();

    const MarlinApi& api = m_pComponents->marlin;
    m_desc = MarlinOutputDesc{};
    try {
        m_hDecoder = api.CreateDecoder(&m_params, &m_desc);
    } catch (...) {
        m_hDecoder = nullptr;
    }
    if (!m_hDecoder) {
        DebugOutput("[QOR]call OrcaMarlinDecoder_CreateDecoder() error!\n");
        return false;
    }
    try {
        api.SetVideoQuality(m_hDecoder, m_iVideoQuality);
        api.SetPostFilter(m_hDecoder, EffectivePostFilter());
        api.SetBrightness(m_hDecoder, m_iBrightness);
        api.SetContrast(m_hDecoder, m_iContrast);
        api.SetSaturation(m_hDecoder, m_iSaturation);
    } catch (...) {
        DebugOutput("[QOR]call OrcaMarlinDecoder_CreateDecoder() error!\n");
        ReleaseDecoder();
        return false;
    }
    m_iOutWidth = m_iWidth;
    m_iOutHeight = m_iHeight;
    ResetTimeQueue();
    PublishFrameRate(m_desc.iFrameRate);
    return true;
}

void CVideoDecoderMarlin::ReleaseDecoder() {
    if (!m_hDecoder) return;
    try {
        m_pComponents->marlin.ReleaseDecoder(m_hDecoder);
    } catch (...) {
        DebugOutput("[QOR]CVideoDecoderMarlin::OrcaMarlinDecoder_ReleaseDecoder() report ZRV.\n");
    }
    m_hDecoder = nullptr;
}

void CVideoDecoderMarlin::ResetTimeQueue() { ClearTimeQueue(0); }

bool CVideoDecoderMarlin::DecodeVideoVOP(DecodeFrame* pFrame) {
    if (!pFrame) return false;
    ClearPicture(pFrame);
    if (pFrame->bNewFileHeader && pFrame->times.uSecondTime == 0) {
        ReleaseDecoder();
        if (!CreateDecoder()) return false;
    }
    if (!m_hDecoder) return false;
    MarlinDecoderParams input = m_params;
    input.pConfig = pFrame->pData;
    input.uConfigLength = pFrame->uLength;
    input.uDecodeFlag = pFrame->uDecodeFlag;
    int32_t status = -1;
    try {
        status = m_pComponents->marlin.DecoderOneFrame(m_hDecoder, &input, &m_desc);
    } catch (...) {
        DebugOutput("[QOR]DecodeVideoVOP's OrcaMarlinDecoder_DecoderOneFrame() report ZRV.\n");
        return false;
    }
    RunTimeQueue(pFrame);
    if (status != 0) {
        DebugOutput("[QOR]DecodeVideoVOP() no picture.\n");
        return false;
    }
    const PictureDescription picture = ToDescription(m_desc);
    if (!IsPlausiblePicture(picture, m_iWidth, m_iHeight)) {
        DebugOutput("[QOR]DecodeVideoVOP's OrcaMarlinDecoder_DecoderOneFrame() report ZRV.\n");
        return false;
    }
    pFrame->picture = picture;
    pFrame->iDisplayWidth = m_iWidth;
    pFrame->iDisplayHeight = m_iHeight;
    pFrame->uPictureSize = static_cast<uint32_t>(m_iWidth * m_iHeight * 3 / 2);
    return true;
}

bool CVideoDecoderMarlin::SetVideoQuality(int iQuality) {
    if (!m_hDecoder) return false;
    if (iQuality != m_iVideoQuality) {
        m_iVideoQuality = iQuality;
        Guarded([&] { m_pComponents->marlin.SetVideoQuality(m_hDecoder, iQuality); });
    }
    return true;
}

void CVideoDecoderMarlin::SetBrightness(int iValue) {
    if (!m_hDecoder || iValue == m_iBrightness) return;
    m_iBrightness = iValue;
    Guarded([&] { m_pComponents->marlin.SetBrightness(m_hDecoder, iValue); });
}

void CVideoDecoderMarlin::SetContrast(int iValue) {
    if (!m_hDecoder || iValue == m_iContrast) return;
    m_iContrast = iValue;
    Guarded([&] { m_pComponents->marlin.SetContrast(m_hDecoder, iValue); });
}

void CVideoDecoderMarlin::SetSaturation(int iValue) {
    if (!m_hDecoder || iValue == m_iSaturation) return;
    m_iSaturation = iValue;
    Guarded([&] { m_pComponents->marlin.SetSaturation(m_hDecoder, iValue); });
}

void CVideoDecoderMarlin::ComputeAutomaticValues() {
    const bool coversPicture = m_iDisplayWidth >= m_iWidth && m_iDisplayHeight >= m_iHeight;
    m_iVideoQuality = coversPicture ? 1 : 0;
    if (m_iWidth >= 704 && m_iHeight >= 480) {
        m_iAutoPostFilter = 0;
    } else if (m_iDisplayWidth >= m_iScreenWidth / 2 && m_iDisplayHeight >= m_iScreenHeight / 2) {
        m_iAutoPostFilter = 1;
        m_iVideoQuality = 1;
    } else {
        m_iAutoPostFilter = coversPicture ? 1 : 0;
    }
}

void CVideoDecoderMarlin::ForwardQualityAndPostFilter() {
    Guarded([&] {
        m_pComponents->marlin.SetVideoQuality(m_hDecoder, m_iVideoQuality);
        m_pComponents->marlin.SetPostFilter(m_hDecoder, EffectivePostFilter());
    });
}

bool CVideoDecoderMarlin::RefreshQualityAndPostFilter() {
    if (m_iPostFilterLevel == 0)
        ComputeAutomaticValues();
    else
        m_iVideoQuality = 1;
    if (m_hDecoder) ForwardQualityAndPostFilter();
    return true;
}

bool CVideoDecoderMarlin::SetPostFilterLevel(int iLevel) {
    if (!m_hDecoder || iLevel < 0 || iLevel > 2) return false;
    if (iLevel != m_iPostFilterLevel) {
        m_iPostFilterLevel = iLevel;
        if (iLevel == 0)
            ComputeAutomaticValues();
        else
            m_iVideoQuality = 1;
    }
    ForwardQualityAndPostFilter();
    return true;
}

}  // namespace qor
