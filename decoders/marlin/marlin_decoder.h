/* DecoderMarlin: MPEG-4 Part 2 decoder component for the Marlin and Heron
 * recorder families.
 *
 * Threading: one decoder handle must not be used by two threads at once;
 * different handles are independent. */
#ifndef QOR_MARLIN_DECODER_H
#define QOR_MARLIN_DECODER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QOR_MARLIN_DLL_VERSION 0x01000001u
#define QOR_MARLIN_MODEL_MARLIN 0x4D524C4Eu
#define QOR_MARLIN_MODEL_HERON 0x4845524Eu

/* Creation record; reused as the input record of every decode, where the
 * configuration pointer and length carry one coded frame. */
typedef struct MarlinDecoderParams {
    const uint8_t* pConfig;
    uint32_t uConfigLength;
    int32_t iDecodingMode;
    int32_t iWidth;
    int32_t iHeight;
    uint8_t uZero;
    uint8_t uDecodeFlag;
    uint32_t uModelCode;
} MarlinDecoderParams;

/* The 11-word output description. Planes in the order Y, V, U; pointers are
 * null when the last call produced no picture. They stay valid until the
 * next call on the same handle. */
typedef struct MarlinOutputDesc {
    int32_t iWidth;
    int32_t iHeight;
    int32_t iFrameType; /* 0 key, 1 predicted, -1 no picture */
    int32_t iFrameRate;
    uint8_t* pY;
    uint8_t* pV;
    uint8_t* pU;
    int32_t iStrideY;
    int32_t iStrideV;
    int32_t iStrideU;
    int32_t iReserved;
} MarlinOutputDesc;

typedef void* MarlinDecoderHandle;

uint32_t GetQORMarlinDllVersion(void);
/* Returns null on failure (unknown model code, bad size, codec failure). */
MarlinDecoderHandle OrcaMarlinDecoder_CreateDecoder(const MarlinDecoderParams* pParams, MarlinOutputDesc* pOut);
/* 0 picture out, 1 no picture (header only or undecodable data), -1 bad arguments. */
int32_t OrcaMarlinDecoder_DecoderOneFrame(MarlinDecoderHandle hDecoder, const MarlinDecoderParams* pInput,
                                          MarlinOutputDesc* pOut);
/* Quality 1 decodes exactly; 0 allows the decoder's faster, inexact shortcuts. */
int32_t OrcaMarlinDecoder_SetVideoQuality(MarlinDecoderHandle hDecoder, int32_t iQuality);
/* 0 off, 1 deblocking, 2 deblocking and deringing. */
int32_t OrcaMarlinDecoder_SetPostFilter(MarlinDecoderHandle hDecoder, int32_t iLevel);
/* 0-100, 50 leaves the picture unchanged. */
int32_t OrcaMarlinDecoder_SetBrightness(MarlinDecoderHandle hDecoder, int32_t iValue);
int32_t OrcaMarlinDecoder_SetContrast(MarlinDecoderHandle hDecoder, int32_t iValue);
int32_t OrcaMarlinDecoder_SetSaturation(MarlinDecoderHandle hDecoder, int32_t iValue);
void OrcaMarlinDecoder_ReleaseDecoder(MarlinDecoderHandle hDecoder);

#ifdef __cplusplus
}
#endif

#endif
