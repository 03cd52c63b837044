#include "converter/avi/mp3_encoder.h"

#include <lame/lame.h>

#include <cstdio>

namespace vidorra {

namespace {

constexpr int kLameBufferTooSmall = -1;

void ReportTooSmall(const Mp3EncoderState* state) {
    std::printf("lame: output buffer too small (buffer index: %d, free bytes: %d)\n", state->fillIndex,
                kMp3StagingBytes - state->fillIndex);
    std::fflush(stdout);
}

}  // namespace

int mp3_init(Mp3EncoderState* state, int channels, int sampleRate, int bitRate) {
    if (state == nullptr || channels >= 3 || channels < 1) return -1;
    state->stereo = channels > 1 ? 1 : 0;
    state->handle = lame_init();
    if (state->handle == nullptr) return -1;
    state->fillIndex = 0;
    lame_set_in_samplerate(state->handle, sampleRate);
    lame_set_out_samplerate(state->handle, sampleRate);
    lame_set_num_channels(state->handle, channels);
    lame_set_quality(state->handle, 5);
    lame_set_mode(state->handle, JOINT_STEREO);
    lame_set_brate(state->handle, bitRate / 1000);
    if (lame_init_params(state->handle) < 0) {
        lame_close(state->handle);
        state->handle = nullptr;
        return -1;
    }
    return 0;
}

int mp3_encode(Mp3EncoderState* state, int channels, int capacity, uint8_t* out, int samples, const int16_t* pcm) {
    if (state == nullptr || state->handle == nullptr || out == nullptr) return 0;
    // LAME reads a capacity of 0 as "unlimited"; here it can only mean that
    // nothing fits.
    if (capacity <= 0) {
        ReportTooSmall(state);
        return 0;
    }
    int result;
    if (pcm != nullptr) {
        if (samples < 0 || samples > kMp3MaxFrameSamples) return 0;
        if (channels == 2) {
            for (int i = 0; i < samples; ++i) {
                state->left[i] = static_cast<int32_t>(static_cast<uint32_t>(pcm[2 * i]) << 16);
                state->right[i] = static_cast<int32_t>(static_cast<uint32_t>(pcm[2 * i + 1]) << 16);
            }
        } else if (channels == 1) {
            for (int i = 0; i < samples; ++i) {
                state->left[i] = static_cast<int32_t>(static_cast<uint32_t>(pcm[i]) << 16);
                state->right[i] = 0;
            }
        } else {
            return 0;
        }
        result = lame_encode_buffer_int(state->handle, state->left, state->right, samples, out, capacity);
    } else {
        result = lame_encode_flush(state->handle, out, capacity);
    }
    if (result == kLameBufferTooSmall) {
        ReportTooSmall(state);
        return 0;
    }
    return result;
}

int mp3_close(Mp3EncoderState* state) {
    if (state != nullptr && state->handle != nullptr) {
        lame_close(state->handle);
        state->handle = nullptr;
    }
    return 0;
}

int mp3_frame_size(const Mp3EncoderState* state) {
    return state != nullptr && state->handle != nullptr ? lame_get_framesize(state->handle) : 0;
}

int mp3_channel_count(const Mp3EncoderState* state) {
    return state != nullptr && state->handle != nullptr ? lame_get_num_channels(state->handle) : 0;
}

}  // namespace vidorra
