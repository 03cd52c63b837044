// The adapter over the LAME MP3 encoder: one encoder per conversion, fed one
// encoder frame of 16-bit PCM per call.
//
// Threading: not locked; the caller serialises (it holds its own lock).
#pragma once

#include <cstdint>

struct lame_global_struct;

namespace vidorra {

constexpr int kMp3MaxFrameSamples = 1152;  // per channel, per call
constexpr int kMp3StagingBytes = 2304;

// Zero-initialise before the first mp3_init.
struct Mp3EncoderState {
    lame_global_struct* handle = nullptr;  // null when no encoder is open
    int stereo = 0;
    int fillIndex = 0;  // kept for the "buffer too small" message
    int32_t left[kMp3MaxFrameSamples] = {};
    int32_t right[kMp3MaxFrameSamples] = {};
};

// 0 on success, -1 for more than two channels or when the library refuses
// the settings (the encoder is then closed again).
int mp3_init(Mp3EncoderState* state, int channels, int sampleRate, int bitRate);

// Encodes samples (per channel) of interleaved PCM into out, never writing
// beyond capacity. With pcm null, flushes the encoder. Returns the MP3 bytes
// written; 0 when nothing was produced, when the buffer was too small (a
// message on standard output) or when the call was refused.
int mp3_encode(Mp3EncoderState* state, int channels, int capacity, uint8_t* out, int samples, const int16_t* pcm);

// Closes the encoder and clears the handle; 0.
int mp3_close(Mp3EncoderState* state);

// Samples per channel the open encoder takes per call; 0 without one.
int mp3_frame_size(const Mp3EncoderState* state);
int mp3_channel_count(const Mp3EncoderState* state);

}  // namespace vidorra
