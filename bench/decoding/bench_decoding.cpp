// Throughput of the decoding paths, each against the bare library doing the
// same work in the same run:
//  - video: pictures per second through each adapter (and its component)
//    versus libavcodec decoding the same elementary stream directly;
//  - G.726: samples per second on one core;
//  - MPEG audio: CAudioDecoderOsprey versus libmad's minimal loop with the
//    same 16-bit conversion.
// Usage: bench_decoding [frames]   (default 150 video frames per case)
#include <mad.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "player/container/player_file_info.h"
#include "player/decoding/audio_decoder_osprey.h"
#include "player/decoding/decoder_components.h"
#include "player/decoding/deinterlace.h"
#include "player/decoding/g726_decoder.h"
#include "player/decoding/pcm_dither.h"
#include "player/decoding/video_decoder_marlin.h"
#include "player/decoding/video_decoder_osprey.h"
#include "player/decoding/video_decoder_yuv.h"
#include "recording_generator.h"
#include "tests/support/mp3_sample_stream.h"

namespace {

using qor::recgen::Family;

// Thread CPU time: the machine is shared, and wall time would charge us for
// other people's work.
struct Clock {
    using time_point = double;
    static double now() {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec + t.tv_nsec * 1e-9;
    }
};

double Seconds(double start) { return Clock::now() - start; }

struct Stream {
    std::vector<uint8_t> bytes;
    qor::recgen::Recording info;
    std::vector<std::pair<const uint8_t*, uint32_t>> video;
    qor::PlayerFileInfo fileInfo;
};

std::unique_ptr<Stream> Generate(Family family, int width, int height, int frames) {
    auto s = std::make_unique<Stream>();
    qor::recgen::Options options;
    options.family = family;
    options.width = width;
    options.height = height;
    options.frameCount = frames;
    options.audio = false;
    std::string error;
    if (!qor::recgen::MakeRecording(options, &s->bytes, &s->info, &error)) {
        std::fprintf(stderr, "generator: %s\n", error.c_str());
        return nullptr;
    }
    for (const auto& f : s->info.frames) {
        if (f.type != 0 && f.type != 1) continue;
        const uint8_t* h = s->bytes.data() + f.position;
        const uint32_t extension = ((h[4] | (h[5] << 8) | (h[6] << 16) | (static_cast<uint32_t>(h[7]) << 24)) >> 20) & 0x3FF;
        s->video.emplace_back(h + 20 + extension, f.length - extension - 20);
    }
    const uint8_t* header = s->bytes.data() + s->info.headerPosition;
    s->fileInfo.uFormatType = qor::recgen::FormatTypeCode(family);
    s->fileInfo.iWidth = s->fileInfo.iCurWidth = width;
    s->fileInfo.iHeight = s->fileInfo.iCurHeight = height;
    std::copy(header + 22, header + 41, s->fileInfo.videoConfig);
    s->fileInfo.iVideoConfigLength = 19;
    s->fileInfo.pMpegFileHeader = header;
    s->fileInfo.iMpegFileHeaderLength = 1024;
    return s;
}

// Pictures per second through libavcodec alone; optionally deinterlacing
// every picture the way the Osprey adapter's mode 2 does.
double DirectRate(const Stream& s, AVCodecID id, bool withConfig, bool deinterlace) {
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    if (withConfig) {
        ctx->extradata = static_cast<uint8_t*>(av_mallocz(19 + AV_INPUT_BUFFER_PADDING_SIZE));
        std::copy(s.fileInfo.videoConfig, s.fileInfo.videoConfig + 19, ctx->extradata);
        ctx->extradata_size = 19;
    }
    avcodec_open2(ctx, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<uint8_t> buffer;
    const int w = s.fileInfo.iWidth, h = s.fileInfo.iHeight;
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3 / 2);
    int pictures = 0;
    const auto start = Clock::now();
    for (const auto& [data, length] : s.video) {
        buffer.assign(data, data + length);
        buffer.resize(length + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        packet->data = buffer.data();
        packet->size = static_cast<int>(length);
        if (avcodec_send_packet(ctx, packet) < 0) continue;
        while (avcodec_receive_frame(ctx, frame) == 0) {
            ++pictures;
            if (deinterlace) {
                qor::areabased1(frame->data[0], frame->linesize[0], out.data(), w, w, h);
                qor::areabased1(frame->data[1], frame->linesize[1], out.data() + w * h, w / 2, w / 2, h / 2);
                qor::areabased1(frame->data[2], frame->linesize[2], out.data() + w * h * 5 / 4, w / 2, w / 2, h / 2);
            }
            av_frame_unref(frame);
        }
    }
    const double rate = pictures / Seconds(start);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return rate;
}

double AdapterRate(Stream& s, Family family, int displayWidth, int displayHeight) {
    std::unique_ptr<qor::CVideoDecoder> adapter;
    if (family == Family::Marlin || family == Family::Heron)
        adapter = std::make_unique<qor::CVideoDecoderMarlin>(&s.fileInfo);
    else if (family == Family::Osprey)
        adapter = std::make_unique<qor::CVideoDecoderOsprey>(&s.fileInfo);
    else
        adapter = std::make_unique<qor::CVideoDecoderYUV>(&s.fileInfo);
    adapter->SetScreenSize(1920, 1080);
    adapter->SetDisplayArea(displayWidth, displayHeight);
    if (!adapter->Initialize()) return 0;
    int pictures = 0;
    const auto start = Clock::now();
    for (const auto& [data, length] : s.video) {
        qor::DecodeFrame frame;
        frame.pData = data;
        frame.uLength = length;
        if (adapter->DecodeVideoVOP(&frame)) ++pictures;
    }
    return pictures / Seconds(start);
}

void BenchVideo(int frames) {
    struct Case {
        const char* name;
        Family family;
        int width, height;
        int displayWidth, displayHeight;  // chooses the automatic values / output mode
        bool deinterlaced;
    };
    const Case cases[] = {
        {"Marlin 352x288", Family::Marlin, 352, 288, 64, 48, false},
        {"Marlin 720x576", Family::Marlin, 720, 576, 64, 48, false},
        {"Osprey 352x288 (mode 0)", Family::Osprey, 352, 288, 64, 48, false},
        {"Osprey 720x576 (mode 1)", Family::Osprey, 720, 576, 300, 200, false},
        {"Osprey 720x576 (mode 2)", Family::Osprey, 720, 576, 720, 576, true},
        {"YUV 352x288", Family::Yuv, 352, 288, 64, 48, false},
        {"YUV 720x576", Family::Yuv, 720, 576, 64, 48, false},
    };
    std::printf("%-26s %12s %12s %7s   (pictures per CPU second)\n", "video", "adapter/s", "direct/s", "ratio");
    for (const Case& c : cases) {
        auto s = Generate(c.family, c.width, c.height, frames);
        if (!s) continue;
        const AVCodecID id = c.family == Family::Yuv ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4;
        const bool config = c.family == Family::Marlin;
        double best = 0, bestDirect = 0;
        // Alternate the two and keep the best of each, so that load from
        // elsewhere on the machine hits both alike.
        for (int round = 0; round < 5; ++round) {
            bestDirect = std::max(bestDirect, DirectRate(*s, id, config, c.deinterlaced));
            best = std::max(best, AdapterRate(*s, c.family, c.displayWidth, c.displayHeight));
        }
        std::printf("%-26s %12.1f %12.1f %7.3f\n", c.name, best, bestDirect, best / bestDirect);
    }
}

void BenchG726() {
    std::vector<uint8_t> codes(8'000'000);
    uint32_t r = 1;
    for (auto& c : codes) {
        r = r * 1664525u + 1013904223u;
        c = static_cast<uint8_t>(r >> 28);
    }
    qor::G726Decoder decoder;
    unsigned sink = 0;
    const auto start = Clock::now();
    for (uint8_t c : codes) sink += decoder.Decode(c);
    const double seconds = Seconds(start);
    std::printf("G.726: %.1f million samples/s on one core (%.0f x real time at 8000 Hz) [%u]\n",
                codes.size() / seconds / 1e6, codes.size() / seconds / 8000.0, sink & 1);
}

size_t g_lastSamples = 0;

double MadLoopRate(const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<uint8_t> stream;
    for (const auto& f : frames) stream.insert(stream.end(), f.begin(), f.end());
    stream.resize(stream.size() + MAD_BUFFER_GUARD, 0);
    mad_stream ms;
    mad_frame mf;
    mad_synth sy;
    mad_stream_init(&ms);
    mad_frame_init(&mf);
    mad_synth_init(&sy);
    std::vector<int16_t> pcm(1152 * 2);
    qor::DitherState dither[2];
    const auto start = Clock::now();
    mad_stream_buffer(&ms, stream.data(), stream.size());
    size_t samples = 0;
    while (mad_frame_decode(&mf, &ms) == 0) {
        mad_synth_frame(&sy, &mf);
        for (int i = 0; i < sy.pcm.length; ++i) {
            pcm[2 * i] = qor::DitherTo16(sy.pcm.samples[0][i], &dither[0]);
            pcm[2 * i + 1] = qor::DitherTo16(sy.pcm.samples[1][i], &dither[1]);
        }
        samples += sy.pcm.length;
    }
    const double rate = samples / Seconds(start);
    g_lastSamples = samples;
    mad_synth_finish(&sy);
    mad_frame_finish(&mf);
    mad_stream_finish(&ms);
    return rate;
}

double OspreyAudioRate(const std::vector<std::vector<uint8_t>>& frames) {
    qor::CAudioDecoderOsprey decoder;
    size_t samples = 0;
    const auto start = Clock::now();
    for (const auto& f : frames) {
        qor::DecodeFrame frame;
        frame.pData = f.data();
        frame.uLength = static_cast<uint32_t>(f.size());
        decoder.DecodeAudioVOP(&frame);
        samples += frame.uPcmLength / 4;
    }
    g_lastSamples = samples;
    return samples / Seconds(start);
}

void BenchMpegAudio() {
    const auto frames = qor::test::EncodeMp3(2, 2000);
    double ours = 0, mad = 0;
    for (int round = 0; round < 3; ++round) {
        mad = std::max(mad, MadLoopRate(frames));
        const size_t madSamples = g_lastSamples;
        ours = std::max(ours, OspreyAudioRate(frames));
        if (round == 0) std::printf("MPEG audio samples decoded: decoder %zu, libmad loop %zu\n", g_lastSamples, madSamples);
    }
    std::printf("MPEG audio (Layer III 128 kbit/s stereo, %zu frames): decoder %.2f M samples/s, libmad loop %.2f M samples/s, ratio %.3f\n",
                frames.size(), ours / 1e6, mad / 1e6, ours / mad);
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 150;
    if (!qor::LoadDecoderComponents()) {
        std::fprintf(stderr, "decoder components not found\n");
        return 1;
    }
    BenchVideo(frames);
    BenchG726();
    BenchMpegAudio();
    return 0;
}
