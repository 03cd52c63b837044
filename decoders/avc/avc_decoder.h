/* avcdecode: H.264 decoder component for the YUV recorder family.
 *
 * Threading: one context must not be used by two threads at once. */
#ifndef QOR_AVC_DECODER_H
#define QOR_AVC_DECODER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QOR_AVC_PICTURE_READY 0
#define QOR_AVC_ERROR 1
#define QOR_AVC_NO_PICTURE 2

typedef struct H264DecoderContext {
    const uint8_t* pData;  /* in: coded data of one frame (Annex B) */
    uint32_t uLength;      /* in */
    uint8_t bPostFilter;   /* in: deblock the picture postfilter() writes */
    uint8_t bLowDelay;     /* in: the caller sets 1 (one picture out per frame in) */
    uint8_t uReserved[2];
    /* out: the last picture, I420 in one block: width x height luma, then
     * the two quarter-size chroma planes (U, then V). Read only; it may move
     * from call to call, and stays valid and unchanged until the next call
     * (also after calls that give no picture) or h264_destroy. */
    uint8_t* pPicture;
    int32_t iWidth;
    int32_t iHeight;
    void* pPrivate;
} H264DecoderContext;

/* Null on failure. */
H264DecoderContext* h264_init(int32_t iWidth, int32_t iHeight);
/* QOR_AVC_PICTURE_READY, QOR_AVC_ERROR or QOR_AVC_NO_PICTURE. */
int32_t h264_decode_one_frame(H264DecoderContext* pContext);
/* Writes the post-filtered picture, same layout, into pDestination
 * (iWidth x iHeight x 3 / 2 bytes); 0 on success. */
int32_t postfilter(H264DecoderContext* pContext, uint8_t* pDestination, int32_t iReserved);
void h264_destroy(H264DecoderContext* pContext);

#ifdef __cplusplus
}
#endif

#endif
