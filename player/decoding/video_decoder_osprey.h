// Adapter over orcaOspreydec (MPEG-4) for the Osprey family, with the three
// output modes for large pictures: as decoded (0), every other line only
// (1, for small display areas) and deinterlaced (2).
#pragma once

#include <vector>

#include "decoders/osprey/osprey_decoder.h"
#include "player/decoding/video_decoder.h"

namespace qor {

class CVideoDecoderOsprey : public CVideoDecoder {
public:
    explicit CVideoDecoderOsprey(PlayerFileInfo* pFileInfo, const DecoderComponents* pComponents = nullptr);
    ~CVideoDecoderOsprey() override;

    bool Initialize() override;
    bool DecodeVideoVOP(DecodeFrame* pFrame) override;
    bool ChooseOutputMode() override;

    int OutputMode() const { return m_iOutputMode; }

private:
    bool CreateDecoder();
    void ReleaseDecoder();
    bool DescribePicture(const OspreyFrameRecord& frame, const OspreyStatistics& stats, DecodeFrame* pFrame);

    void* m_hDecoder = nullptr;
    int m_iOutputMode = 0;
    std::vector<uint8_t> m_deinterlaced;
};

}  // namespace qor
