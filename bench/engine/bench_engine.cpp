// Engine benchmarks:
//  1. stream-mode throughput as the converter drives the engine (data driven,
//     no synchronisation, 1 MiB writes, callbacks that do nothing) against
//     libavcodec decoding the same elementary stream directly, 720x576
//     MPEG-4 and H.264;
//  2. pacing in file mode at speed 1.0 with a memory display: standard
//     deviation of the picture release intervals and the CPU time used while
//     playing a 352x288 recording in real time;
//  3. seek latency by index on a long 704x576 recording: median and worst
//     time from the call to the target picture shown.
// Usage: bench_engine [throughput-frames] [pacing-seconds] [seek-minutes]
//        (BENCH_NO_AUDIO=1 paces a recording without sound)
//        (defaults 3000, 6, 60)
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/display_memory.h"
#include "player/container/format.h"
#include "player/decoding/decoder_components.h"
#include "player/decoding/video_decoder_marlin.h"
#include "player/decoding/video_decoder_yuv.h"
#include "player/engine/mpeg_player.h"
#include "player/output/video_player.h"
#include "recording_generator.h"

namespace {

using Clock = std::chrono::steady_clock;
using qor::recgen::Family;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

uint32_t ReadLe32Of(const uint8_t* p) { return qor::ReadLe32(p); }

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::atomic<int> g_pictures{0};
std::atomic<int> g_audioBlocks{0};
void NoVideo(uint32_t, const VideoDecodeFrameInfo*) { g_pictures.fetch_add(1); }
void NoAudio(uint32_t, const AudioDecodeFrameInfo*) { g_audioBlocks.fetch_add(1); }

struct Rate {
    double wall = 0;  // pictures per second of wall time
    double cpu = 0;   // pictures per second of process CPU time (fairer on a busy machine)
};

Rate EngineStream(const std::vector<uint8_t>& bytes, int expected) {
    g_pictures.store(0);
    bool ok = false;
    qor::CMpegPlayer player(&ok);
    player.SetVideoDecodeCallBack(&NoVideo, 0);
    player.SetAudioDecodeCallBack(&NoAudio, 1000, 0);
    qor::EngineInitParams params;
    params.iOpenMode = qor::kOpenStream;
    params.pHeader = bytes.data();
    params.iHeaderLength = 1024;
    params.bCreateIndexTable = params.bCreateIndexFile = false;
    if (!player.Init(params)) return {};
    player.DisableSynchronize();
    player.SetDataDriven(true);
    player.Play();
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    size_t offset = 1024;
    while (offset < bytes.size()) {
        const size_t length = std::min<size_t>(1048576, bytes.size() - offset);
        if (player.StreamWriteToBuf(bytes.data() + offset, int(length), 0) == int(length)) {
            offset += length;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    while (g_pictures.load() < expected && Seconds(start) < 120) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return {double(g_pictures.load()) / Seconds(start), double(g_pictures.load()) / (CpuSeconds() - cpuStart)};
}

Rate DirectDecode(const std::vector<uint8_t>& bytes, const qor::recgen::Recording& info, bool h264) {
    const AVCodec* codec = avcodec_find_decoder(h264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_MPEG4);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    if (!h264) {
        context->extradata = static_cast<uint8_t*>(av_mallocz(info.videoConfig.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(context->extradata, info.videoConfig.data(), info.videoConfig.size());
        context->extradata_size = int(info.videoConfig.size());
    }
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<uint8_t> data;
    int pictures = 0;
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    auto drain = [&] {
        while (avcodec_receive_frame(context, frame) == 0) ++pictures;
    };
    for (const qor::recgen::FrameRecord& record : info.frames) {
        if (record.type != 0 && record.type != 1) continue;
        const size_t begin = size_t(record.position) + qor::kFrameHeaderSize + record.extensionLength;
        const size_t end = size_t(record.position) + record.length;
        data.assign(bytes.begin() + long(begin), bytes.begin() + long(end));
        data.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        packet->data = data.data();
        packet->size = int(end - begin);
        avcodec_send_packet(context, packet);
        drain();
    }
    avcodec_send_packet(context, nullptr);
    drain();
    const Rate rate{double(pictures) / Seconds(start), double(pictures) / (CpuSeconds() - cpuStart)};
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return rate;
}

// The decoder adapter alone, on the caller's thread: what the engine adds is
// the difference between this and the engine.
Rate AdapterDecode(const std::vector<uint8_t>& bytes, const qor::recgen::Recording& info, bool h264) {
    qor::PlayerFileInfo fileInfo;
    fileInfo.uFormatType = ReadLe32Of(bytes.data() + qor::kHeaderFormatTypeOffset);
    fileInfo.iWidth = fileInfo.iCurWidth = 720;
    fileInfo.iHeight = fileInfo.iCurHeight = 576;
    std::copy(bytes.begin() + 22, bytes.begin() + 41, fileInfo.videoConfig);
    fileInfo.iVideoConfigLength = 19;
    fileInfo.pMpegFileHeader = bytes.data();
    fileInfo.iMpegFileHeaderLength = 1024;
    const qor::DecoderComponents* components = qor::LoadDecoderComponents();
    std::unique_ptr<qor::CVideoDecoder> adapter;
    if (h264) {
        adapter = std::make_unique<qor::CVideoDecoderYUV>(&fileInfo, components);
    } else {
        adapter = std::make_unique<qor::CVideoDecoderMarlin>(&fileInfo, components);
    }
    if (!adapter->Initialize()) return {};
    int pictures = 0;
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    for (const qor::recgen::FrameRecord& record : info.frames) {
        if (record.type != 0 && record.type != 1) continue;
        qor::DecodeFrame frame;
        frame.pData = bytes.data() + record.position + qor::kFrameHeaderSize + record.extensionLength;
        frame.uLength = record.length - qor::kFrameHeaderSize - record.extensionLength;
        frame.times.uTime = record.time;
        if (adapter->DecodeVideoVOP(&frame)) ++pictures;
    }
    return {double(pictures) / Seconds(start), double(pictures) / (CpuSeconds() - cpuStart)};
}

void Throughput(int frames) {
    std::printf("Stream-mode throughput, 720x576, %d pictures, callbacks doing nothing\n", frames);
    for (Family family : {Family::Marlin, Family::Yuv}) {
        qor::recgen::Options options;
        options.family = family;
        options.width = 720;
        options.height = 576;
        options.frameCount = frames;
        options.audio = false;  // the video path alone, as the baseline decodes it
        std::vector<uint8_t> bytes;
        qor::recgen::Recording info;
        std::string error;
        if (!qor::recgen::MakeRecording(options, &bytes, &info, &error)) {
            std::printf("  generator: %s\n", error.c_str());
            continue;
        }
        // Alternate, and keep the best of five, to spread out disturbances from
        // other work on the machine: a round lasts under a second.
        Rate engine, direct, adapter;
        for (int round = 0; round < 5; ++round) {
            const Rate e = EngineStream(bytes, frames);
            const Rate d = DirectDecode(bytes, info, family == Family::Yuv);
            const Rate a = AdapterDecode(bytes, info, family == Family::Yuv);
            adapter.wall = std::max(adapter.wall, a.wall);
            adapter.cpu = std::max(adapter.cpu, a.cpu);
            engine.wall = std::max(engine.wall, e.wall);
            engine.cpu = std::max(engine.cpu, e.cpu);
            direct.wall = std::max(direct.wall, d.wall);
            direct.cpu = std::max(direct.cpu, d.cpu);
        }
        std::printf("  %-7s engine %7.1f pictures/s (%7.1f per CPU second), libavcodec directly %7.1f pictures/s "
                    "(%7.1f per CPU second); ratio %.3f wall, %.3f CPU\n",
                    family == Family::Yuv ? "H.264" : "MPEG-4", engine.wall, engine.cpu, direct.wall, direct.cpu,
                    direct.wall > 0 ? engine.wall / direct.wall : 0.0, direct.cpu > 0 ? engine.cpu / direct.cpu : 0.0);
        std::printf("          decoder adapter alone %7.1f pictures/s (%7.1f per CPU second); engine/adapter %.3f wall, %.3f CPU\n",
                    adapter.wall, adapter.cpu, adapter.wall > 0 ? engine.wall / adapter.wall : 0.0,
                    adapter.cpu > 0 ? engine.cpu / adapter.cpu : 0.0);
    }
}

// The video output over a memory display, as the tests' display would be.
class MemoryVideoOutput : public qor::EngineVideoOutput {
public:
    explicit MemoryVideoOutput(const qor::VideoOutputSettings& settings) {
        m_service.AddWindow(1, qor::DisplayRect{0, 0, 352, 288});
        qor::VideoPlayerSettings player;
        player.iWidth = settings.iWidth;
        player.iHeight = settings.iHeight;
        player.iFrameRate = settings.iFrameRate;
        player.hWnd = 1;
        m_player = std::make_unique<qor::CVideoPlayer>(&m_service, player);
        m_player->Create();
    }
    bool Present(const VideoDecodeFrameInfo& picture) override {
        m_times.push_back(Clock::now());
        // Keep the display's record of draws from growing without bound.
        if (m_service.Fake().draws.size() > 8) m_service.Fake().draws.clear();
        return m_player->Present(picture);
    }
    bool Redraw() override { return m_player->Redraw(); }
    bool SetDisplayMode(int iMode) override { return m_player->SetDisplayMode(iMode); }
    bool SetVideoWindow(qor::NativeWindow, const qor::DisplayRect*) override { return true; }
    void EnableOutput(bool bEnable) override { m_player->EnableOutput(bEnable); }
    bool Reinitialise(int, int, int) override { return true; }
    void SetVideoDecodeCallBack(VideoDecodeCallBack, uint32_t) override {}
    void SetDecCallBack(DecCallBack, uint32_t, uint8_t*) override {}
    std::vector<Clock::time_point> m_times;

private:
    qor::MemoryDisplayService m_service;
    std::unique_ptr<qor::CVideoPlayer> m_player;
};

void Pacing(int seconds) {
    const std::string path = "/tmp/bench_engine_pacing.mpg";
    qor::recgen::Options options;
    options.frameCount = seconds * 25;
    options.audio = std::getenv("BENCH_NO_AUDIO") == nullptr;
    qor::recgen::Recording info;
    std::string error;
    if (!qor::recgen::WriteRecording(options, path, &info, &error)) {
        std::printf("generator: %s\n", error.c_str());
        return;
    }
    MemoryVideoOutput* output = nullptr;
    bool ok = false;
    auto player = std::make_unique<qor::CMpegPlayer>(&ok);
    qor::EngineOutputFactory factory = qor::HeadlessOutputFactory();
    factory.makeVideoOutput = [&](const qor::VideoOutputSettings& settings) -> std::unique_ptr<qor::EngineVideoOutput> {
        auto made = std::make_unique<MemoryVideoOutput>(settings);
        output = made.get();
        return made;
    };
    player->SetOutputFactory(factory);
    player->SetEndOfFileNotify([](uint32_t) {});
    qor::EngineInitParams params;
    params.fileName = path;
    params.bCreateIndexFile = false;
    if (!player->Init(params)) {
        std::printf("pacing: open failed\n");
        return;
    }
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    player->Play();
    while (!player->EndOfFile() || player->State() != qor::kStateStopped) {
        if (Seconds(start) > seconds * 2 + 5) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double wall = Seconds(start);
    const double cpu = CpuSeconds() - cpuStart;
    std::vector<double> gaps;
    for (size_t i = 6; i < output->m_times.size(); ++i) {
        gaps.push_back(std::chrono::duration<double, std::milli>(output->m_times[i] - output->m_times[i - 1]).count());
    }
    double mean = 0, variance = 0;
    for (double gap : gaps) mean += gap;
    mean /= double(gaps.size());
    for (double gap : gaps) variance += (gap - mean) * (gap - mean);
    const double deviation = std::sqrt(variance / double(gaps.size()));
    std::printf("File-mode pacing, 352x288 at speed 1.0, %zu pictures: mean interval %.2f ms, standard deviation %.2f ms\n",
                output->m_times.size(), mean, deviation);
    std::printf("  CPU while playing: %.3f s in %.2f s of playing (%.1f%% of one core)\n", cpu, wall, 100.0 * cpu / wall);
    player.reset();
    std::remove(path.c_str());
}

// A long recording made by repeating one generated stretch with its time
// stamps moved on, so that an hour does not have to be encoded.
bool WriteLongRecording(const std::string& path, int minutes, qor::recgen::Recording* stretch) {
    qor::recgen::Options options;
    options.width = 704;
    options.height = 576;
    options.frameCount = 250;
    options.keyInterval = 25;
    options.backLinks = false;
    options.quality = 16;
    std::vector<uint8_t> bytes;
    std::string error;
    if (!qor::recgen::MakeRecording(options, &bytes, stretch, &error)) {
        std::printf("generator: %s\n", error.c_str());
        return false;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), qor::kFileHeaderLength);
    const int repeats = minutes * 60 / 10;
    const int64_t bodyStart = qor::kFileHeaderLength;
    std::vector<uint8_t> body(bytes.begin() + bodyStart, bytes.end());
    for (int r = 0; r < repeats; ++r) {
        std::vector<uint8_t> copy = body;
        for (const qor::recgen::FrameRecord& frame : stretch->frames) {
            if (frame.type == 6) continue;
            uint8_t* header = copy.data() + (frame.position - bodyStart);
            qor::WriteLe32(header + 12, frame.time + uint32_t(r) * 10000u);
        }
        out.write(reinterpret_cast<const char*>(copy.data()), std::streamsize(copy.size()));
    }
    return bool(out);
}

std::atomic<uint32_t> g_lastShown{0};
std::atomic<int> g_shownCount{0};
void Shown(uint32_t, const VideoDecodeFrameInfo* pInfo) {
    g_lastShown.store(pInfo->uTimeStamp);
    g_shownCount.fetch_add(1);
}

void SeekLatency(int minutes) {
    const std::string path = "/tmp/bench_engine_long.mpg";
    qor::recgen::Recording stretch;
    const auto makeStart = Clock::now();
    if (!WriteLongRecording(path, minutes, &stretch)) return;
    std::printf("Seek latency by index, 704x576, %d minutes (recording made in %.1f s)\n", minutes, Seconds(makeStart));
    // Only the seeks are measured here; the index is wanted at once.
    qor::SetIndexBuildPauses(false);
    bool ok = false;
    qor::CMpegPlayer player(&ok);
    player.SetVideoDecodeCallBack(&Shown, 0);
    qor::EngineInitParams params;
    params.fileName = path;
    params.bCreateIndexFile = false;
    if (!player.Init(params)) {
        std::printf("  open failed\n");
        return;
    }
    const auto indexStart = Clock::now();
    while (!player.FileInfo()->bIndexReady.load() && Seconds(indexStart) < 600) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::printf("  index ready after %.2f s, %zu entries\n", Seconds(indexStart), player.FileInfo()->indexTable.size());
    player.Play();
    std::mt19937 random(7);
    std::vector<double> latencies;
    const int total = player.TotalTime();
    for (int i = 0; i < 40; ++i) {
        const int target = int(random() % uint32_t(total));
        const auto start = Clock::now();
        const bool done = player.SetPlayTime(target);
        const double ms = Seconds(start) * 1000.0;
        if (done) latencies.push_back(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) {
        std::printf("  no seek succeeded\n");
    } else {
        std::printf("  %zu seeks: median %.1f ms, worst %.1f ms\n", latencies.size(), latencies[latencies.size() / 2],
                    latencies.back());
    }
    std::remove(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 3000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 6;
    const int minutes = argc > 3 ? std::atoi(argv[3]) : 60;
    if (frames > 0) Throughput(frames);
    if (seconds > 0) Pacing(seconds);
    if (minutes > 0) SeekLatency(minutes);
    return 0;
}
