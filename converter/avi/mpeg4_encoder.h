// The adapter over the XviD MPEG-4 Part 2 encoder: create, encode one picture
// per call, destroy.
//
// Threading: not locked; one encoder is driven by one thread at a time.
#pragma once

#include <cstdint>

namespace vidorra {

struct Mpeg4Encoder;  // opaque; owned by the caller between enc_init and enc_stop

// Structure version handed to the library with every call (1.1.2).
constexpr int kXvidApiVersion = 0x00010102;

// enc_encode result when the encoded picture does not fit in the caller's
// buffer; nothing is written and the length out holds the size needed.
constexpr int kEncOutputTooSmall = -100;

struct Mpeg4Preset {
    int vopFlags;
    int motionFlags;
};
// The preset for a quality index, clamped to 0..6.
Mpeg4Preset Mpeg4PresetFor(int quality);

struct Mpeg4Timing {
    int fincr;
    int fbase;
    int maxKeyInterval;
};
// Frame timing and key interval handed to the library at creation.
Mpeg4Timing Mpeg4TimingFor(float frameRate, int keyInterval);

// Creates an encoder. *error receives the library's result code (0 on
// success); the result is null when creation failed.
Mpeg4Encoder* enc_init(int useCpuExtensions, int width, int height, float frameRate, int bitRate, int keyInterval,
                       int bFrames, int* error);

// Encodes one I420 picture (Y, U, V planes contiguous, luma stride = width);
// a null picture asks for what the encoder still holds. Writes at most
// capacity bytes to out and returns the bytes written, or a negative value:
// the library's error, or kEncOutputTooSmall. Any out pointer may be null.
int enc_encode(Mpeg4Encoder* encoder, int quality, const uint8_t* picture, uint8_t* out, int capacity, int* keyFrame,
               int* frameType, int* quant, int* length, int* sseY, int* sseU, int* sseV);

void enc_stop(Mpeg4Encoder* encoder);

}  // namespace vidorra
