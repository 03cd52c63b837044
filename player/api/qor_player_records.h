/* Records that cross the player library's interface: what the decode
 * callbacks receive and what the wave-out query fills. Plain C so that C and
 * C++ callers share one definition. Integers are 32-bit as the interface
 * defines them; pointers have the caller's native size, so on a 64-bit build
 * the records are larger than on the recorders' 32-bit hosts (the field order
 * is the same).
 *
 * Threading: the library fills these records on its video and audio threads
 * and hands them to the callbacks; a record and the memory it points to are
 * valid only during the call. */
#ifndef QOR_PLAYER_RECORDS_H
#define QOR_PLAYER_RECORDS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The 18-byte WAVEFORMATEX layout, packed so that it stays 18 bytes. */
#pragma pack(push, 1)
typedef struct QorWaveFormat {
    uint16_t wFormatTag;      /* 1 = PCM */
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
} QorWaveFormat;
#pragma pack(pop)

/* Picture format codes of VideoDecodeFrameInfo.iFormat. */
enum {
    QOR_PICTURE_PLANAR_YUV420 = 4 /* the normal case: three planes */
};

/* One decoded picture, handed to the video decode callback. The planes are
 * the decoder's own picture, valid during the call only and read-only: the
 * decoder predicts the next pictures from it, so copy before changing it. */
typedef struct VideoDecodeFrameInfo {
    int32_t iFormat;          /* 4 planar YUV 4:2:0; other codes: packed picture */
    int32_t iWidth;           /* as coded: 528 stays 528 */
    int32_t iHeight;
    int32_t iFrameRate;
    uint32_t uTimeStamp;      /* ms on the recording's own time base */
    uint8_t* pPackedData;     /* packed picture when iFormat != 4, else null */
    uint32_t uPackedLength;
    uint8_t* pY;              /* planes when iFormat == 4, else null */
    uint8_t* pU;
    uint8_t* pV;
    int32_t iYStride;
    int32_t iUStride;
    int32_t iVStride;
    uint32_t uUserValue;
} VideoDecodeFrameInfo;

/* One block of 16-bit PCM, handed to the audio decode callback. */
typedef struct AudioDecodeFrameInfo {
    uint32_t uTimeStamp;
    QorWaveFormat waveFormat;
    uint8_t reserved[2];
    uint8_t* pData;
    uint32_t uLength;         /* bytes */
    uint32_t uUserValue;
} AudioDecodeFrameInfo;

/* Picture facts handed to the picture callback DecCallBack. */
typedef struct DecodedPictureInfo {
    int32_t iReserved;
    int32_t iWidth;
    int32_t iHeight;
    int32_t iFrameRate;
    uint32_t uTimeStamp;
    int32_t iFormat;
} DecodedPictureInfo;

/* The decoder's picture descriptor from its packed-data field on, the last
 * argument of DecCallBack. */
typedef struct DecoderPictureDescriptor {
    uint8_t* pPackedData;
    uint32_t uPackedLength;
    uint32_t uReserved1;
    uint32_t uReserved2;
    uint8_t* pY;
    uint8_t* pU;
    uint8_t* pV;
    int32_t iYStride;
    int32_t iUStride;
    int32_t iVStride;
    uint32_t uUserValue;
    uint32_t uReserved3;
    uint32_t uDataLength;
} DecoderPictureDescriptor;

typedef void (*VideoDecodeCallBack)(uint32_t uPlayerId, const VideoDecodeFrameInfo* pInfo);
typedef void (*AudioDecodeCallBack)(uint32_t uPlayerId, const AudioDecodeFrameInfo* pInfo);
typedef void (*DecCallBack)(uint32_t uPlayerId, const uint8_t* pData, uint32_t uLength,
                            const DecodedPictureInfo* pInfo, const DecoderPictureDescriptor* pDescriptor);

#ifdef __cplusplus
}
#endif

#endif /* QOR_PLAYER_RECORDS_H */
