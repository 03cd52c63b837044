// A short MPEG-1 Layer III stream made with LAME (44.1 kHz, 128 kbit/s, a
// 440 Hz tone on the left and 660 Hz on the right), cut into its frames: the
// input the MPEG audio decoder's tests and benchmark decode.
#pragma once

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "player/decoding/mpeg_audio_header.h"

namespace qor::test {

inline std::vector<std::vector<uint8_t>> SplitMpegFrames(const std::vector<uint8_t>& stream) {
    std::vector<std::vector<uint8_t>> frames;
    size_t pos = 0;
    qor::MpegAudioHeader header;
    while (pos + 4 <= stream.size()) {
        if (!qor::ParseMpegAudioHeader(stream.data() + pos, stream.size() - pos, &header)) {
            ++pos;
            continue;
        }
        if (pos + header.iFrameSize > stream.size()) break;
        frames.emplace_back(stream.begin() + pos, stream.begin() + pos + header.iFrameSize);
        pos += header.iFrameSize;
    }
    return frames;
}

// The first `frames` frames of the stream, mono or joint stereo.
inline std::vector<std::vector<uint8_t>> EncodeMp3(int channels, int frames) {
    lame_global_flags* lame = lame_init();
    lame_set_in_samplerate(lame, 44100);
    lame_set_out_samplerate(lame, 44100);
    lame_set_num_channels(lame, channels);
    lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(lame, 128);
    lame_set_bWriteVbrTag(lame, 0);
    lame_init_params(lame);
    std::vector<short> left(1152), right(1152);
    std::vector<uint8_t> out(16384), stream;
    // A few frames more than asked for: the encoder holds some back.
    for (int f = 0; f < frames + 4; ++f) {
        for (int i = 0; i < 1152; ++i) {
            const double t = (f * 1152 + i) / 44100.0;
            left[i] = static_cast<short>(8000 * std::sin(2 * M_PI * 440 * t));
            right[i] = static_cast<short>(8000 * std::sin(2 * M_PI * 660 * t));
        }
        const int n = lame_encode_buffer(lame, left.data(), right.data(), 1152, out.data(), static_cast<int>(out.size()));
        stream.insert(stream.end(), out.begin(), out.begin() + std::max(n, 0));
    }
    const int n = lame_encode_flush(lame, out.data(), static_cast<int>(out.size()));
    stream.insert(stream.end(), out.begin(), out.begin() + std::max(n, 0));
    lame_close(lame);
    auto split = SplitMpegFrames(stream);
    if (split.size() > static_cast<size_t>(frames)) split.resize(static_cast<size_t>(frames));
    return split;
}

}  // namespace qor::test
