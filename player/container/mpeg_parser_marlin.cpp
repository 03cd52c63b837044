#include "player/container/mpeg_parser_marlin.h"

#include <cstring>

#include "platform/debug_output.h"
#include "player/container/frame_search.h"

namespace qor {

CMpegParserMarlin::CMpegParserMarlin(PlayerFileInfo* pFileInfo)
    : CMpegParser(pFileInfo, kFileHeaderLength, kFileHeaderStartCode, 0) {
    if (m_pFileInfo != nullptr) m_pFileInfo->iVideoConfigLength = kVideoConfigLength;
}

// The index thread calls the virtual searches, so it must end before this
// part of the object goes away.
CMpegParserMarlin::~CMpegParserMarlin() { StopIndexThread(); }

bool CMpegParserMarlin::UpdatePictureSize(const uint8_t* pFrame) {
    int width = ReadLe16(pFrame + 8);
    int height = ReadLe16(pFrame + 10);
    bool changed = false;
    if (width != m_pFileInfo->iCurWidth) {
        m_pFileInfo->iCurWidth = width;
        changed = true;
    }
    if (height != m_pFileInfo->iCurHeight) {
        m_pFileInfo->iCurHeight = height;
        changed = true;
    }
    if (changed) m_pFileInfo->bPal = IsPal(height);
    return changed;
}

bool CMpegParserMarlin::IsFrameStartCode(const uint8_t* pData) { return ReadLe32(pData) == m_uFrameStartCode; }

const uint8_t* CMpegParserMarlin::SearchForward(const uint8_t* pBuffer, int iLength, int* pType, int* pRest) {
    int offset = SearchFrameForward(pBuffer, iLength, *pType, pType, pRest);
    return offset < 0 ? nullptr : pBuffer + offset;
}

const uint8_t* CMpegParserMarlin::SearchBackward(const uint8_t* pBuffer, int iLength, int* pType, int* pRest) {
    int offset = SearchFrameBackward(pBuffer, iLength, *pType, pType, pRest);
    return offset < 0 ? nullptr : pBuffer + offset;
}

int CMpegParserMarlin::GetFrameType(const uint8_t* pFrame) { return FrameTypeOf(pFrame); }

int CMpegParserMarlin::GetMixedFrameType(const uint8_t* /*pFrame*/) { return kMixedTypeNone; }

const uint8_t* CMpegParserMarlin::GetVideoData(const uint8_t* pFrame, int* pLength) {
    // An extension longer than the frame would give a negative length and a
    // pointer past the frame.
    if (!IsFrameLengthSound(pFrame)) {
        if (pLength != nullptr) *pLength = 0;
        return nullptr;
    }
    int extension = ExtensionLengthOf(pFrame);
    if (pLength != nullptr) *pLength = FrameLengthOf(pFrame) - extension - kFrameHeaderSize;
    return pFrame + kFrameHeaderSize + extension;
}

uint32_t CMpegParserMarlin::GetTimeStamp(const uint8_t* pFrame) { return TimeStampOf(pFrame); }

int CMpegParserMarlin::GetMixedAudioData(const uint8_t* /*pFrame*/, const uint8_t** ppData) {
    if (ppData != nullptr) *ppData = nullptr;
    return -1;
}

int CMpegParserMarlin::GetFrameLength(const uint8_t* pFrame) { return FrameLengthOf(pFrame); }

int16_t CMpegParserMarlin::GetFrameDuration() { return int16_t(m_pFileInfo->iFrameDuration); }

bool CMpegParserMarlin::ParseMpegFileHeaderInfo(const uint8_t* pHeader, bool* pChanged, int* pDecoderDelay) {
    if (pDecoderDelay != nullptr) *pDecoderDelay = 0;
    if (pChanged != nullptr) *pChanged = false;
    if (!m_pMpegFileHeader || m_pFileInfo == nullptr || pHeader == nullptr) return false;
    if (ReadLe32(pHeader) != m_uHeaderStartCode ||
        ReadLe32(pHeader + kHeaderLengthOffset) != uint32_t(m_iHeaderLength)) {
        DebugOutput("[QOR]Marlins mpeg file header data error!\n");
        return false;
    }
    bool changed = false;
    uint16_t flags = ReadLe16(pHeader + kHeaderContentFlagsOffset) & kContentFlagsMask;
    int mediaType = kMediaInvalid;
    for (int i = 0; i < 3; ++i) {
        if (flags == m_contentFlags[i]) mediaType = i;
    }
    if (mediaType == kMediaInvalid) {
        DebugOutput("[QOR]neither video nor audio found error!\n");
        m_pFileInfo->iMediaStreamType = kMediaInvalid;
        return false;
    }
    if (mediaType != m_pFileInfo->iMediaStreamType) {
        m_pFileInfo->iMediaStreamType = mediaType;
        changed = true;
    }
    int height = ReadLe16(pHeader + kHeaderHeightOffset);
    if (height != m_pFileInfo->iHeight) {
        m_pFileInfo->iHeight = height;
        m_pFileInfo->iCurHeight = height;
        m_pFileInfo->bPal = IsPal(height);
        changed = true;
    }
    int width = ReadLe16(pHeader + kHeaderWidthOffset);
    if (width != m_pFileInfo->iWidth) {
        m_pFileInfo->iWidth = width;
        m_pFileInfo->iCurWidth = width;
        changed = true;
    }
    // A new decoder configuration at the same size still needs a new decoder.
    if (std::memcmp(m_pFileInfo->videoConfig, pHeader + kHeaderVideoConfigOffset, kVideoConfigLength) != 0) {
        changed = true;
    }
    m_pFileInfo->uFormatType = ReadLe32(pHeader + kHeaderFormatTypeOffset);
    if (changed) {
        std::memcpy(m_pMpegFileHeader.get(), pHeader, size_t(m_iHeaderLength));
        std::memcpy(m_pFileInfo->videoConfig, pHeader + kHeaderVideoConfigOffset, kVideoConfigLength);
        m_pFileInfo->iVideoConfigLength = kVideoConfigLength;
    }
    if (pChanged != nullptr) *pChanged = changed;
    return true;
}

bool CMpegParserMarlin::HasExtension(const uint8_t* pFrame) { return HasExtensionOf(pFrame); }

uint32_t CMpegParserMarlin::GetPictureSizeWord(const uint8_t* pFrame) { return PictureSizeWordOf(pFrame); }

uint32_t CMpegParserMarlin::GetI2IOffset(const uint8_t* pFrame) { return I2IOffsetOf(pFrame); }

int CMpegParserMarlin::GetFramesDuration(int iFrames) { return GetFrameDuration() * iFrames; }

void CMpegParserMarlin::FillFileInfoWords(uint32_t* pWords) {
    if (pWords == nullptr) return;
    pWords[4] = 2;
    pWords[5] = 0;
}

bool CMpegParserMarlin::StoreRecordWord3(uint32_t* pRecord, uint32_t uValue) {
    if (pRecord == nullptr) return false;
    pRecord[3] = uValue;
    return true;
}

bool CMpegParserMarlin::StoreRecordWord5(uint32_t* pRecord, uint32_t uValue) {
    if (pRecord == nullptr) return false;
    pRecord[5] = uValue;
    return true;
}

}  // namespace qor
