#include "audio_encoder.h"

#include <lame/lame.h>
#include <spandsp.h>

#include <algorithm>
#include <cstring>

namespace qor::recgen {

namespace {

constexpr int kMp3Bitrate = 128;
constexpr int kMp3FrameSamples = 1152;

}  // namespace

struct AudioEncoder::G726State {
    g726_state_t* state = nullptr;
    ~G726State()
    {
        if (state)
            g726_free(state);
    }
};

size_t Mp3FrameLength(const uint8_t* data, size_t available)
{
    if (available < 4 || data[0] != 0xFF || (data[1] & 0xFE) != 0xFA)  // MPEG-1, Layer III
        return 0;
    static const int kBitrates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int kRates[4] = {44100, 48000, 32000, 0};
    const int bitrate = kBitrates[data[2] >> 4];
    const int rate = kRates[(data[2] >> 2) & 3];
    if (bitrate == 0 || rate == 0)
        return 0;
    const int padding = (data[2] >> 1) & 1;
    return static_cast<size_t>(144 * bitrate * 1000 / rate + padding);
}

AudioEncoder::AudioEncoder() = default;

AudioEncoder::~AudioEncoder()
{
    if (m_lame)
        lame_close(static_cast<lame_global_flags*>(m_lame));
}

void AudioEncoder::Source(int64_t first, int count, int16_t* out) const
{
    if (m_source)
        m_source(m_sampleRate, m_channels, first, count, out);
    else
        TestTone(m_sampleRate, m_channels, first, count, out);
}

bool AudioEncoder::Open(const Options& options, std::string* error)
{
    m_source = options.soundSource;
    m_nextSample = 0;
    if (options.family == Family::Osprey) {
        m_codec = Codec::Mp3;
        m_sampleRate = 44100;
        m_channels = 2;
        m_samplesPerFrame = kMp3FrameSamples;
        lame_global_flags* lame = lame_init();
        if (!lame) {
            *error = "cannot start the MP3 encoder";
            return false;
        }
        m_lame = lame;
        lame_set_in_samplerate(lame, m_sampleRate);
        lame_set_out_samplerate(lame, m_sampleRate);
        lame_set_num_channels(lame, 2);
        lame_set_mode(lame, JOINT_STEREO);
        lame_set_VBR(lame, vbr_off);
        lame_set_brate(lame, kMp3Bitrate);
        lame_set_quality(lame, 7);
        // No Xing/Info frame: every frame of the stream carries sound.
        lame_set_bWriteVbrTag(lame, 0);
        if (lame_init_params(lame) < 0) {
            *error = "cannot set up the MP3 encoder";
            return false;
        }
        m_pcm.resize(static_cast<size_t>(kMp3FrameSamples) * 2);
        m_mp3Out.resize(static_cast<size_t>(kMp3FrameSamples) * 5 / 4 + 7200);
        return true;
    }

    m_sampleRate = 8000;
    m_channels = 1;
    m_samplesPerFrame = options.audioFrameSamples;
    m_pcm.resize(static_cast<size_t>(m_samplesPerFrame));
    if (options.audioType == 0x10000) {
        m_codec = Codec::Mulaw;
        return true;
    }
    m_codec = Codec::G726;
    m_g726 = std::make_unique<G726State>();
    // One code per byte; the container packs two per byte, high nibble first.
    m_g726->state = g726_init(nullptr, 32000, G726_ENCODING_LINEAR, G726_PACKING_NONE);
    if (!m_g726->state) {
        *error = "cannot start the G.726 encoder";
        return false;
    }
    m_codes.resize(static_cast<size_t>(m_samplesPerFrame));
    return true;
}

bool AudioEncoder::Next(std::vector<uint8_t>* payload, std::string* error)
{
    if (m_codec == Codec::Mp3)
        return NextMp3(payload, error);
    const int count = m_samplesPerFrame;
    Source(m_nextSample, count, m_pcm.data());
    m_nextSample += count;
    if (m_codec == Codec::Mulaw) {
        payload->resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            (*payload)[static_cast<size_t>(i)] = linear_to_ulaw(m_pcm[static_cast<size_t>(i)]);
        return true;
    }
    const int codes = g726_encode(m_g726->state, m_codes.data(), m_pcm.data(), count);
    if (codes != count) {
        *error = "G.726 encoding failed";
        return false;
    }
    payload->resize(static_cast<size_t>(count / 2));
    for (int i = 0; i < count / 2; ++i)
        (*payload)[static_cast<size_t>(i)] =
            static_cast<uint8_t>(((m_codes[static_cast<size_t>(2 * i)] & 0x0F) << 4) |
                                 (m_codes[static_cast<size_t>(2 * i + 1)] & 0x0F));
    return true;
}

bool AudioEncoder::NextMp3(std::vector<uint8_t>* payload, std::string* error)
{
    auto* lame = static_cast<lame_global_flags*>(m_lame);
    // The tone never ends, so feed the encoder until one whole frame and the
    // start of the next are buffered; no flush is ever needed.
    for (int round = 0; round < 64; ++round) {
        if (m_mp3Bytes.size() >= 4) {
            const size_t length = Mp3FrameLength(m_mp3Bytes.data(), m_mp3Bytes.size());
            if (length == 0) {
                *error = "the MP3 encoder produced an unexpected frame header";
                return false;
            }
            if (m_mp3Bytes.size() >= length) {
                payload->assign(m_mp3Bytes.begin(), m_mp3Bytes.begin() + static_cast<ptrdiff_t>(length));
                m_mp3Bytes.erase(m_mp3Bytes.begin(), m_mp3Bytes.begin() + static_cast<ptrdiff_t>(length));
                return true;
            }
        }
        Source(m_nextSample, kMp3FrameSamples, m_pcm.data());
        m_nextSample += kMp3FrameSamples;
        const int n = lame_encode_buffer_interleaved(lame, m_pcm.data(), kMp3FrameSamples, m_mp3Out.data(),
                                                     static_cast<int>(m_mp3Out.size()));
        if (n < 0) {
            *error = "MP3 encoding failed";
            return false;
        }
        m_mp3Bytes.insert(m_mp3Bytes.end(), m_mp3Out.begin(), m_mp3Out.begin() + n);
    }
    *error = "the MP3 encoder produced no frame";
    return false;
}

}  // namespace qor::recgen
