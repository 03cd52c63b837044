// CMpegParserMarlin: the concrete parser for every family served here
// (Marlin, Heron, Osprey and the YUV family share one container).
#pragma once

#include "player/container/mpeg_parser.h"

namespace qor {

class CMpegParserMarlin : public CMpegParser {
public:
    explicit CMpegParserMarlin(PlayerFileInfo* pFileInfo);
    ~CMpegParserMarlin() override;

    bool UpdatePictureSize(const uint8_t* pFrame) override;
    bool IsFrameStartCode(const uint8_t* pData) override;
    const uint8_t* SearchForward(const uint8_t* pBuffer, int iLength, int* pType, int* pRest) override;
    const uint8_t* SearchBackward(const uint8_t* pBuffer, int iLength, int* pType, int* pRest) override;
    int GetFrameType(const uint8_t* pFrame) override;
    int GetMixedFrameType(const uint8_t* pFrame) override;
    const uint8_t* GetVideoData(const uint8_t* pFrame, int* pLength) override;
    uint32_t GetTimeStamp(const uint8_t* pFrame) override;
    int GetMixedAudioData(const uint8_t* pFrame, const uint8_t** ppData) override;
    int GetFrameLength(const uint8_t* pFrame) override;
    int Reserved11() override { return 0; }
    int GetFrameHeaderSize() override { return kFrameHeaderSize; }
    int GetMixedVideoOffset(const uint8_t* /*pFrame*/) override { return 0; }
    int Reserved14() override { return 0; }
    int16_t GetFrameDuration() override;
    bool ParseMpegFileHeaderInfo(const uint8_t* pHeader, bool* pChanged, int* pDecoderDelay) override;
    bool HasExtension(const uint8_t* pFrame) override;
    uint32_t GetPictureSizeWord(const uint8_t* pFrame) override;
    uint32_t GetI2IOffset(const uint8_t* pFrame) override;
    int GetFramesDuration(int iFrames) override;
    void FillFileInfoWords(uint32_t* pWords) override;
    bool IsReady() override { return true; }
    bool StoreRecordWord3(uint32_t* pRecord, uint32_t uValue) override;
    bool StoreRecordWord5(uint32_t* pRecord, uint32_t uValue) override;
    bool Reserved26() override { return false; }

private:
    const uint32_t m_uFrameStartCode = kFrameStartCode;
    const uint16_t m_contentFlags[3] = {kContentVideoAudio, kContentVideoOnly, kContentAudioOnly};
};

}  // namespace qor
