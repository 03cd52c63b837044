#include "media_check.h"

#include "recording_generator.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/mem.h>
}
#include <spandsp.h>

namespace recgen_test {

namespace {

// The libavcodec objects a decoder of either kind holds.
struct CodecState {
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    CodecState() = default;
    CodecState(const CodecState&) = delete;
    CodecState& operator=(const CodecState&) = delete;
    ~CodecState()
    {
        avcodec_free_context(&context);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

}  // namespace

struct VideoDecoder::Impl : CodecState {};

VideoDecoder::VideoDecoder(bool h264, const std::vector<uint8_t>& config) : m_impl(std::make_unique<Impl>())
{
    const AVCodec* codec = avcodec_find_decoder(h264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4);
    if (!codec)
        return;
    m_impl->context = avcodec_alloc_context3(codec);
    m_impl->frame = av_frame_alloc();
    m_impl->packet = av_packet_alloc();
    m_impl->context->thread_count = 1;
    if (!config.empty()) {
        m_impl->context->extradata =
            static_cast<uint8_t*>(av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(m_impl->context->extradata, config.data(), config.size());
        m_impl->context->extradata_size = static_cast<int>(config.size());
    }
    m_ok = avcodec_open2(m_impl->context, codec, nullptr) == 0;
}

VideoDecoder::~VideoDecoder() = default;

bool VideoDecoder::Decode(const uint8_t* data, size_t length, Picture* picture)
{
    std::vector<uint8_t> padded(length + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(padded.data(), data, length);
    m_impl->packet->data = padded.data();
    m_impl->packet->size = static_cast<int>(length);
    if (avcodec_send_packet(m_impl->context, m_impl->packet) < 0)
        return false;
    if (avcodec_receive_frame(m_impl->context, m_impl->frame) < 0)
        return false;
    const AVFrame* f = m_impl->frame;
    picture->width = f->width;
    picture->height = f->height;
    auto copy = [](const uint8_t* src, int stride, int w, int h, std::vector<uint8_t>* dst) {
        dst->resize(static_cast<size_t>(w) * h);
        for (int r = 0; r < h; ++r)
            std::memcpy(dst->data() + static_cast<size_t>(r) * w, src + static_cast<ptrdiff_t>(r) * stride, w);
    };
    copy(f->data[0], f->linesize[0], f->width, f->height, &picture->y);
    copy(f->data[1], f->linesize[1], (f->width + 1) / 2, (f->height + 1) / 2, &picture->u);
    copy(f->data[2], f->linesize[2], (f->width + 1) / 2, (f->height + 1) / 2, &picture->v);
    av_frame_unref(m_impl->frame);
    return true;
}

double PsnrAgainstPattern(const Picture& picture, int index)
{
    const int w = picture.width, h = picture.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    std::vector<uint8_t> y(static_cast<size_t>(w) * h), u(static_cast<size_t>(cw) * ch), v(u.size());
    qor::recgen::TestPattern(index, w, h, y.data(), w, u.data(), v.data(), cw);
    double sum = 0;
    size_t count = 0;
    auto add = [&](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
            const double d = static_cast<double>(a[i]) - b[i];
            sum += d * d;
        }
        count += a.size();
    };
    add(y, picture.y);
    add(u, picture.u);
    add(v, picture.v);
    const double mse = sum / static_cast<double>(count);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Mu-law output, expanded afterwards: the same path the player's decoder takes.
G726Decoder::G726Decoder() : m_state(g726_init(nullptr, 32000, G726_ENCODING_ULAW, G726_PACKING_NONE)) {}

G726Decoder::~G726Decoder()
{
    g726_free(static_cast<g726_state_t*>(m_state));
}

void G726Decoder::Decode(const uint8_t* data, size_t length, std::vector<int16_t>* pcm)
{
    std::vector<uint8_t> codes(length * 2);
    for (size_t i = 0; i < length; ++i) {
        codes[2 * i] = data[i] >> 4;
        codes[2 * i + 1] = data[i] & 0x0F;
    }
    // In mu-law mode the decoder writes one byte per sample into the buffer.
    std::vector<int16_t> out(codes.size());
    const int n = g726_decode(static_cast<g726_state_t*>(m_state), out.data(), codes.data(),
                              static_cast<int>(codes.size()));
    const auto* bytes = reinterpret_cast<const uint8_t*>(out.data());
    for (int i = 0; i < n; ++i)
        pcm->push_back(MulawToLinear(bytes[i]));
}

int16_t MulawToLinear(uint8_t code)
{
    const int inverted = static_cast<uint8_t>(~code);
    const int t = (((inverted & 0x0F) << 3) + 132) << ((inverted & 0x70) >> 4);
    return static_cast<int16_t>((inverted & 0x80) ? 132 - t : t - 132);
}

struct Mp3Decoder::Impl : CodecState {};

Mp3Decoder::Mp3Decoder() : m_impl(std::make_unique<Impl>())
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MP3);
    m_impl->context = avcodec_alloc_context3(codec);
    m_impl->frame = av_frame_alloc();
    m_impl->packet = av_packet_alloc();
    avcodec_open2(m_impl->context, codec, nullptr);
}

Mp3Decoder::~Mp3Decoder() = default;

bool Mp3Decoder::Decode(const uint8_t* data, size_t length, std::vector<int16_t>* pcm, int* channels, int* rate)
{
    std::vector<uint8_t> padded(length + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memcpy(padded.data(), data, length);
    m_impl->packet->data = padded.data();
    m_impl->packet->size = static_cast<int>(length);
    if (avcodec_send_packet(m_impl->context, m_impl->packet) < 0)
        return false;
    while (avcodec_receive_frame(m_impl->context, m_impl->frame) == 0) {
        const AVFrame* f = m_impl->frame;
        *channels = f->ch_layout.nb_channels;
        *rate = f->sample_rate;
        for (int i = 0; i < f->nb_samples; ++i) {
            for (int c = 0; c < *channels; ++c) {
                float s = 0;
                if (f->format == AV_SAMPLE_FMT_FLTP)
                    s = reinterpret_cast<const float*>(f->extended_data[c])[i];
                else if (f->format == AV_SAMPLE_FMT_S16P)
                    s = reinterpret_cast<const int16_t*>(f->extended_data[c])[i] / 32768.0f;
                else
                    return false;
                pcm->push_back(static_cast<int16_t>(std::lround(std::fmax(-1.0f, std::fmin(1.0f, s)) * 32767.0f)));
            }
        }
        av_frame_unref(m_impl->frame);
    }
    return true;
}

double BestSnr(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded, int maxLag, int* lag)
{
    double best = -1e9;
    for (int l = 0; l <= maxLag; ++l) {
        if (static_cast<size_t>(l) >= decoded.size())
            break;
        const size_t n = std::min(reference.size(), decoded.size() - static_cast<size_t>(l));
        double signal = 0, noise = 0;
        for (size_t i = 0; i < n; ++i) {
            const double r = reference[i], d = decoded[i + static_cast<size_t>(l)];
            signal += r * r;
            noise += (r - d) * (r - d);
        }
        const double snr = noise == 0 ? 99.0 : 10.0 * std::log10(signal / noise);
        if (snr > best) {
            best = snr;
            if (lag)
                *lag = l;
        }
    }
    return best;
}

}  // namespace recgen_test
