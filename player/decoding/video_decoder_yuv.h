// Adapter over avcdecode (H.264) for the YUV family.
#pragma once

#include <vector>

#include "decoders/avc/avc_decoder.h"
#include "player/decoding/video_decoder.h"

namespace qor {

class CVideoDecoderYUV : public CVideoDecoder {
public:
    explicit CVideoDecoderYUV(PlayerFileInfo* pFileInfo, const DecoderComponents* pComponents = nullptr);
    ~CVideoDecoderYUV() override;

    bool Initialize() override;
    bool DecodeVideoVOP(DecodeFrame* pFrame) override;
    bool RefreshQualityAndPostFilter() override;
    bool SetPostFilterLevel(int iLevel) override;

    bool PicturePending() const { return m_bPicturePending; }

private:
    bool CreateContext();
    void DestroyContext();

    H264DecoderContext* m_pContext = nullptr;
    std::vector<uint8_t> m_codedData;
    std::vector<uint8_t> m_filtered;
    bool m_bPicturePending = false;
};

}  // namespace qor
