/* orcaOspreydec: MPEG-4 Part 2 decoder component for the Osprey recorder
 * family. Two entry points take an operation code and two records; every
 * record opens with the version word.
 *
 * Threading: one handle must not be used by two threads at once. */
#ifndef QOR_OSPREY_DECODER_H
#define QOR_OSPREY_DECODER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QOR_OSPREY_VERSION 0x00010100u

/* orcaOsprey_global operations */
#define QOR_OSPREY_GLOBAL_INIT 0
/* orcaOsprey_decore operations */
#define QOR_OSPREY_DEC_CREATE 0
#define QOR_OSPREY_DEC_DESTROY 1
#define QOR_OSPREY_DEC_DECODE 2

#define QOR_OSPREY_COLORSPACE_I420 2

/* Statistics types */
#define QOR_OSPREY_STATS_HEADER (-1)
#define QOR_OSPREY_STATS_NOTHING 0
#define QOR_OSPREY_STATS_PICTURE 1

/* Results (besides bytes consumed, which are 0 or more) */
#define QOR_OSPREY_ERR_FAIL (-1)
#define QOR_OSPREY_ERR_VERSION (-2)

typedef struct OspreyGlobalSettings {
    uint32_t uVersion;
    uint32_t uCpuFlags;
} OspreyGlobalSettings;

typedef struct OspreyCreateRecord {
    uint32_t uVersion;
    void* hHandle; /* out */
} OspreyCreateRecord;

typedef struct OspreyFrameRecord {
    uint32_t uVersion;
    uint32_t uFlags;
    const uint8_t* pData;
    int32_t iLength;
    int32_t iColorSpace;
    /* out: the picture, planes Y, U, V; strides width + 128 and half of it.
     * Read only (the decoder may still predict from it); valid and
     * unchanged until the next call on the same handle. */
    uint8_t* pPlanes[3];
    int32_t iStrides[3];
    int32_t iStride; /* in: the caller's picture width */
} OspreyFrameRecord;

typedef struct OspreyStatistics {
    uint32_t uVersion;
    int32_t iType;   /* -1 stream header, 0 nothing, 1 or more picture */
    int32_t iWidth;  /* picture size known to the decoder */
    int32_t iHeight;
    uint32_t uHeaderInfo; /* stream header: width << 16 | height */
} OspreyStatistics;

int32_t orcaOsprey_global(void* hHandle, int32_t iOperation, void* pParam1, void* pParam2);
int32_t orcaOsprey_decore(void* hHandle, int32_t iOperation, void* pParam1, void* pParam2);

#ifdef __cplusplus
}
#endif

#endif
