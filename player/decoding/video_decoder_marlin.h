// Adapter over DecoderMarlin (MPEG-4) for the Marlin and Heron families.
#pragma once

#include "decoders/marlin/marlin_decoder.h"
#include "player/decoding/video_decoder.h"

namespace qor {

class CVideoDecoderMarlin : public CVideoDecoder {
public:
    explicit CVideoDecoderMarlin(PlayerFileInfo* pFileInfo, const DecoderComponents* pComponents = nullptr);
    ~CVideoDecoderMarlin() override;

    bool Initialize() override;
    bool DecodeVideoVOP(DecodeFrame* pFrame) override;
    void ResetTimeQueue() override;
    bool SetVideoQuality(int iQuality) override;
    void SetBrightness(int iValue) override;
    void SetContrast(int iValue) override;
    void SetSaturation(int iValue) override;
    bool RefreshQualityAndPostFilter() override;
    bool SetPostFilterLevel(int iLevel) override;

private:
    bool CreateDecoder();
    void ReleaseDecoder();
    void ComputeAutomaticValues();
    void ForwardQualityAndPostFilter();

    MarlinDecoderHandle m_hDecoder = nullptr;
    MarlinDecoderParams m_params{};
    MarlinOutputDesc m_desc{};
};

}  // namespace qor
