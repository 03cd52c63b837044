#include "player/decoding/video_decoder_osprey.h"

#include "platform/debug_output.h"
#include "player/container/player_file_info.h"
#include "player/decoding/decoder_components.h"
#include "player/decoding/deinterlace.h"

namespace qor {

namespace {
constexpr int kFrameRateOffset = 18;
constexpr int kLineMargin = 128;
}  // namespace

CVideoDecoderOsprey::CVideoDecoderOsprey(PlayerFileInfo* pFileInfo, const DecoderComponents* pComponents)
    : CVideoDecoder(pFileInfo, pComponents) {}

CVideoDecoderOsprey::~CVideoDecoderOsprey() { ReleaseDecoder(); }

bool CVideoDecoderOsprey::Initialize() {
    if (!m_pFileInfo || !m_pComponents) return false;
    TakePictureSize();
    if (m_iWidth <= 0 || m_iHeight <= 0) return false;
    ChooseOutputMode();
    return CreateDecoder();
}

bool CVideoDecoderOsprey::ChooseOutputMode() {
    const bool large = m_iWidth >= 704 && m_iHeight >= 480;
    if (!large) {
        m_iOutputMode = 0;
    } else {
        const bool unknown = m_iDisplayWidth == 0 && m_iDisplayHeight == 0;
        const bool halfScreen = m_iDisplayWidth >= m_iScreenWidth / 2 && m_iDisplayHeight >= m_iScreenHeight / 2;
        // 0.8 of the picture size, in integers: 5 x display >= 4 x picture.
        const bool nearlyFull = 5 * m_iDisplayWidth >= 4 * m_iWidth && 5 * m_iDisplayHeight >= 4 * m_iHeight;
        m_iOutputMode = (unknown || halfScreen || nearlyFull) ? 2 : 1;
    }
    m_iOutWidth = m_iWidth;
    m_iOutHeight = m_iOutputMode == 1 ? m_iHeight / 2 : m_iHeight;
    return true;
}

bool CVideoDecoderOsprey::CreateDecoder() {
    ReleaseDecoder();
    const OspreyApi& api = m_pComponents->osprey;
    try {
        OspreyGlobalSettings settings{QOR_OSPREY_VERSION, 0};
        if (api.Global(nullptr, QOR_OSPREY_GLOBAL_INIT, &settings, nullptr) < 0) return false;
        OspreyCreateRecord create{QOR_OSPREY_VERSION, nullptr};
        if (api.Decore(nullptr, QOR_OSPREY_DEC_CREATE, &create, nullptr) < 0 || !create.hHandle) return false;
        m_hDecoder = create.hHandle;
    } catch (...) {
        DebugOutput("[QOR]CVideoDecoderOsprey::DecodeVideoVOP() report ZRV.\n");
        return false;
    }
    int rate = 0;
    if (m_pFileInfo->pMpegFileHeader && m_pFileInfo->iMpegFileHeaderLength >= kFrameRateOffset + 2)
        rate = m_pFileInfo->pMpegFileHeader[kFrameRateOffset] | (m_pFileInfo->pMpegFileHeader[kFrameRateOffset + 1] << 8);
    PublishFrameRate(rate);
    ResetTimeQueue();
    return true;
}

void CVideoDecoderOsprey::ReleaseDecoder() {
    if (!m_hDecoder) return;
    try {
        m_pComponents->osprey.Decore(m_hDecoder, QOR_OSPREY_DEC_DESTROY, nullptr, nullptr);
    } catch (...) {
        DebugOutput("[QOR]CVideoDecoderOsprey::DecodeVideoVOP() report ZRV.\n");
    }
    m_hDecoder = nullptr;
}

bool CVideoDecoderOsprey::DecodeVideoVOP(DecodeFrame* pFrame) {
    if (!pFrame) return false;
    ClearPicture(pFrame);
    // A header copy inside the recording may bring another picture size; the
    // sizes, output mode and decoder all start over from it.
    if (pFrame->bNewFileHeader && pFrame->times.uSecondTime == 0 && !Initialize()) return false;
    if (!m_hDecoder || (!pFrame->pData && pFrame->uLength > 0)) return false;
    OspreyFrameRecord frame{};
    OspreyStatistics stats{};
    try {
        const uint8_t* data = pFrame->pData;
        int64_t remaining = pFrame->uLength;
        while (remaining > 0) {
            frame = OspreyFrameRecord{};
            frame.uVersion = QOR_OSPREY_VERSION;
            frame.uFlags = 1;
            frame.pData = data;
            frame.iLength = static_cast<int32_t>(remaining);
            frame.iColorSpace = QOR_OSPREY_COLORSPACE_I420;
            frame.iStride = m_iWidth;
            stats = OspreyStatistics{};
            stats.uVersion = QOR_OSPREY_VERSION;
            const int32_t used = m_pComponents->osprey.Decore(m_hDecoder, QOR_OSPREY_DEC_DECODE, &frame, &stats);
            // A count outside the data would walk us off the frame.
            if (used < 0 || used > remaining) {
                stats.iType = QOR_OSPREY_STATS_NOTHING;
                break;
            }
            if (stats.iType == QOR_OSPREY_STATS_HEADER) pFrame->uStreamHeaderWord = stats.uHeaderInfo;
            if (stats.iType >= QOR_OSPREY_STATS_PICTURE || used == 0) break;
            data += used;
            remaining -= used;
        }
    } catch (...) {
        DebugOutput("[QOR]CVideoDecoderOsprey::DecodeVideoVOP() report ZRV.\n");
        return false;
    }
    RunTimeQueue(pFrame);
    if (stats.iType < QOR_OSPREY_STATS_PICTURE || pFrame->iPictureAvailable < 0) {
        DebugOutput("[QOR]DecodeVideoVOP() no picture.\n");
        return false;
    }
    return DescribePicture(frame, stats, pFrame);
}

bool CVideoDecoderOsprey::DescribePicture(const OspreyFrameRecord& frame, const OspreyStatistics& stats,
                                          DecodeFrame* pFrame) {
    PictureDescription decoded;
    decoded.iWidth = stats.iWidth;
    decoded.iHeight = stats.iHeight;
    decoded.iFrameType = stats.iType == 1 ? 0 : 1;
    decoded.iFrameRate = m_iFrameRate;
    decoded.pY = frame.pPlanes[0];
    decoded.pU = frame.pPlanes[1];
    decoded.pV = frame.pPlanes[2];
    decoded.iStrideY = frame.iStrides[0];
    decoded.iStrideU = frame.iStrides[1];
    decoded.iStrideV = frame.iStrides[2];
    // The modes below rely on the component's line margin.
    if (!IsPlausiblePicture(decoded, m_iWidth, m_iHeight) || decoded.iStrideY != m_iWidth + kLineMargin ||
        decoded.iStrideU != (m_iWidth + kLineMargin) / 2 || decoded.iStrideV != decoded.iStrideU) {
        DebugOutput("[QOR]CVideoDecoderOsprey::DecodeVideoVOP() report ZRV.\n");
        return false;
    }
    PictureDescription out = decoded;
    if (m_iOutputMode == 1) {
        out.iStrideY = 2 * decoded.iStrideY;
        out.iStrideU = out.iStrideV = 2 * decoded.iStrideU;
    } else if (m_iOutputMode == 2) {
        const int chromaWidth = m_iWidth / 2;
        const int chromaHeight = m_iHeight / 2;
        const size_t lumaSize = static_cast<size_t>(m_iWidth) * m_iHeight;
        const size_t chromaSize = static_cast<size_t>(chromaWidth) * chromaHeight;
        m_deinterlaced.resize(lumaSize + 2 * chromaSize);
        uint8_t* y = m_deinterlaced.data();
        uint8_t* u = y + lumaSize;
        uint8_t* v = u + chromaSize;
        try {
            areabased1(decoded.pY, decoded.iStrideY, y, m_iWidth, m_iWidth, m_iHeight);
            areabased1(decoded.pU, decoded.iStrideU, u, chromaWidth, chromaWidth, chromaHeight);
            areabased1(decoded.pV, decoded.iStrideV, v, chromaWidth, chromaWidth, chromaHeight);
        } catch (...) {
            DebugOutput("[QOR]CVideoDecoderOsprey::areabased1() report ZRV.\n");
            return false;
        }
        out.pY = y;
        out.pU = u;
        out.pV = v;
        out.iStrideY = m_iWidth;
        out.iStrideU = out.iStrideV = chromaWidth;
    }
    out.iWidth = m_iOutWidth;
    out.iHeight = m_iOutHeight;
    pFrame->picture = out;
    pFrame->iDisplayWidth = m_iOutWidth;
    pFrame->iDisplayHeight = m_iOutHeight;
    pFrame->uPictureSize = static_cast<uint32_t>(m_iOutWidth * m_iOutHeight * 3 / 2);
    return true;
}

}  // namespace qor
