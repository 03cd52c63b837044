// Picture adjustments the decoder components apply to decoded pictures:
// libpostproc's deblocking (post filter level 1) and deblocking plus
// deringing (level 2), driven by the decoder's own quantiser table when it
// exports one, then brightness, contrast and saturation through lookup
// tables (50 leaves a value unchanged). Header-only: each component library
// carries its own copy.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/video_enc_params.h>
#include <libpostproc/postprocess.h>
}

#include <algorithm>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <vector>

namespace qor_components {

struct PlaneSet {
    uint8_t* pY = nullptr;
    uint8_t* pU = nullptr;
    uint8_t* pV = nullptr;
    int iStrideY = 0;
    int iStrideC = 0;
};

// An I420 picture in one allocation with chosen strides.
class PictureBuffer {
public:
    PlaneSet Allocate(int iWidth, int iHeight, int iStrideY, int iStrideC) {
        const size_t lumaSize = static_cast<size_t>(iStrideY) * iHeight;
        const size_t chromaSize = static_cast<size_t>(iStrideC) * ((iHeight + 1) / 2);
        const size_t total = lumaSize + 2 * chromaSize;
        if (m_bytes.size() != total) m_bytes.assign(total, 0);
        (void)iWidth;
        PlaneSet planes;
        planes.pY = m_bytes.data();
        planes.pU = planes.pY + lumaSize;
        planes.pV = planes.pU + chromaSize;
        planes.iStrideY = iStrideY;
        planes.iStrideC = iStrideC;
        return planes;
    }

private:
    std::vector<uint8_t> m_bytes;
};

inline void CopyPlane(const uint8_t* pSrc, int iSrcStride, uint8_t* pDst, int iDstStride, int iWidth, int iHeight) {
    for (int y = 0; y < iHeight; ++y) std::memcpy(pDst + static_cast<ptrdiff_t>(y) * iDstStride, pSrc + static_cast<ptrdiff_t>(y) * iSrcStride, iWidth);
}

inline void CopyPicture(const AVFrame* pFrame, const PlaneSet& dst, int iWidth, int iHeight) {
    CopyPlane(pFrame->data[0], pFrame->linesize[0], dst.pY, dst.iStrideY, iWidth, iHeight);
    CopyPlane(pFrame->data[1], pFrame->linesize[1], dst.pU, dst.iStrideC, (iWidth + 1) / 2, (iHeight + 1) / 2);
    CopyPlane(pFrame->data[2], pFrame->linesize[2], dst.pV, dst.iStrideC, (iWidth + 1) / 2, (iHeight + 1) / 2);
}

class PictureFilter {
public:
    PictureFilter() { RebuildTables(); }
    PictureFilter(const PictureFilter&) = delete;
    PictureFilter& operator=(const PictureFilter&) = delete;
    ~PictureFilter() { FreePostProc(); }

    void SetPostFilter(int iLevel) { m_iPostFilter = std::clamp(iLevel, 0, 2); }
    void SetBrightness(int iValue) { m_iBrightness = std::clamp(iValue, 0, 100); RebuildTables(); }
    void SetContrast(int iValue) { m_iContrast = std::clamp(iValue, 0, 100); RebuildTables(); }
    void SetSaturation(int iValue) { m_iSaturation = std::clamp(iValue, 0, 100); RebuildTables(); }
    int PostFilter() const { return m_iPostFilter; }
    bool Active() const { return m_iPostFilter > 0 || m_bAdjusting; }

    // Filters the decoded picture into dst (which must not alias it).
    void Apply(const AVFrame* pFrame, const PlaneSet& dst, int iWidth, int iHeight) {
        if (m_iPostFilter > 0 && PreparePostProc(iWidth, iHeight)) {
            const int qpStride = BuildQpTable(pFrame, iWidth, iHeight);
            const uint8_t* src[3] = {pFrame->data[0], pFrame->data[1], pFrame->data[2]};
            const int srcStride[3] = {pFrame->linesize[0], pFrame->linesize[1], pFrame->linesize[2]};
            uint8_t* out[3] = {dst.pY, dst.pU, dst.pV};
            const int outStride[3] = {dst.iStrideY, dst.iStrideC, dst.iStrideC};
            pp_postprocess(src, srcStride, out, outStride, iWidth, iHeight, m_qp.data(), qpStride,
                           m_iPostFilter == 1 ? m_pDeblock : m_pDeblockDering, m_pPostProc,
                           pFrame->pict_type == AV_PICTURE_TYPE_I ? 1 : 2);
            if (m_bAdjusting) AdjustInPlace(dst, iWidth, iHeight);
            return;
        }
        if (m_bAdjusting) {
            MapPlane(pFrame->data[0], pFrame->linesize[0], dst.pY, dst.iStrideY, iWidth, iHeight, m_luma);
            MapPlane(pFrame->data[1], pFrame->linesize[1], dst.pU, dst.iStrideC, (iWidth + 1) / 2, (iHeight + 1) / 2, m_chroma);
            MapPlane(pFrame->data[2], pFrame->linesize[2], dst.pV, dst.iStrideC, (iWidth + 1) / 2, (iHeight + 1) / 2, m_chroma);
            return;
        }
        CopyPicture(pFrame, dst, iWidth, iHeight);
    }

private:
    static void MapPlane(const uint8_t* pSrc, int iSrcStride, uint8_t* pDst, int iDstStride, int iWidth, int iHeight,
                         const uint8_t* pTable) {
        for (int y = 0; y < iHeight; ++y) {
            const uint8_t* s = pSrc + static_cast<ptrdiff_t>(y) * iSrcStride;
            uint8_t* d = pDst + static_cast<ptrdiff_t>(y) * iDstStride;
            for (int x = 0; x < iWidth; ++x) d[x] = pTable[s[x]];
        }
    }

    void AdjustInPlace(const PlaneSet& dst, int iWidth, int iHeight) {
        MapPlane(dst.pY, dst.iStrideY, dst.pY, dst.iStrideY, iWidth, iHeight, m_luma);
        MapPlane(dst.pU, dst.iStrideC, dst.pU, dst.iStrideC, (iWidth + 1) / 2, (iHeight + 1) / 2, m_chroma);
        MapPlane(dst.pV, dst.iStrideC, dst.pV, dst.iStrideC, (iWidth + 1) / 2, (iHeight + 1) / 2, m_chroma);
    }

    void RebuildTables() {
        m_bAdjusting = m_iBrightness != 50 || m_iContrast != 50 || m_iSaturation != 50;
        for (int v = 0; v < 256; ++v) {
            const int luma = (v - 128) * m_iContrast / 50 + 128 + (m_iBrightness - 50) * 2;
            m_luma[v] = static_cast<uint8_t>(std::clamp(luma, 0, 255));
            const int chroma = (v - 128) * m_iSaturation / 50 + 128;
            m_chroma[v] = static_cast<uint8_t>(std::clamp(chroma, 0, 255));
        }
    }

    bool PreparePostProc(int iWidth, int iHeight) {
        if (m_pPostProc && iWidth == m_iPpWidth && iHeight == m_iPpHeight) return true;
        FreePostProc();
        m_pPostProc = pp_get_context(iWidth, iHeight, PP_CPU_CAPS_AUTO | PP_FORMAT_420);
        m_pDeblock = pp_get_mode_by_name_and_quality("hb:a,vb:a", PP_QUALITY_MAX);
        m_pDeblockDering = pp_get_mode_by_name_and_quality("hb:a,vb:a,dr:a", PP_QUALITY_MAX);
        if (!m_pPostProc || !m_pDeblock || !m_pDeblockDering) {
            FreePostProc();
            return false;
        }
        m_iPpWidth = iWidth;
        m_iPpHeight = iHeight;
        return true;
    }

    void FreePostProc() {
        if (m_pDeblock) pp_free_mode(m_pDeblock);
        if (m_pDeblockDering) pp_free_mode(m_pDeblockDering);
        if (m_pPostProc) pp_free_context(m_pPostProc);
        m_pDeblock = m_pDeblockDering = nullptr;
        m_pPostProc = nullptr;
    }

    // One quantiser per 16x16 macroblock, as libpostproc expects; taken from
    // the decoder when it exports them, else a middle value.
    int BuildQpTable(const AVFrame* pFrame, int iWidth, int iHeight) {
        const int mbWidth = (iWidth + 15) / 16;
        const int mbHeight = (iHeight + 15) / 16;
        m_qp.assign(static_cast<size_t>(mbWidth) * mbHeight, 8);
        const AVFrameSideData* side = av_frame_get_side_data(pFrame, AV_FRAME_DATA_VIDEO_ENC_PARAMS);
        if (!side) return mbWidth;
        const auto* params = reinterpret_cast<const AVVideoEncParams*>(side->data);
        for (unsigned i = 0; i < params->nb_blocks; ++i) {
            const AVVideoBlockParams* block = av_video_enc_params_block(const_cast<AVVideoEncParams*>(params), i);
            int qp = params->qp + block->delta_qp;
            // H.264 quantisers run on a log scale; bring them near MPEG's.
            if (params->type == AV_VIDEO_ENC_PARAMS_H264) qp = qp > 12 ? (qp - 12) / 2 : 1;
            qp = std::clamp(qp, 1, 31);
            for (int y = block->src_y / 16; y < std::min(mbHeight, (block->src_y + block->h + 15) / 16); ++y)
                for (int x = block->src_x / 16; x < std::min(mbWidth, (block->src_x + block->w + 15) / 16); ++x)
                    if (x >= 0 && y >= 0) m_qp[static_cast<size_t>(y) * mbWidth + x] = static_cast<int8_t>(qp);
        }
        return mbWidth;
    }

    int m_iPostFilter = 0;
    int m_iBrightness = 50;
    int m_iContrast = 50;
    int m_iSaturation = 50;
    bool m_bAdjusting = false;
    uint8_t m_luma[256] = {};
    uint8_t m_chroma[256] = {};
    pp_context* m_pPostProc = nullptr;
    pp_mode* m_pDeblock = nullptr;
    pp_mode* m_pDeblockDering = nullptr;
    int m_iPpWidth = 0;
    int m_iPpHeight = 0;
    std::vector<int8_t> m_qp;
};

}  // namespace qor_components
