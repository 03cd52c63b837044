// Writer throughput against plain sequential writes of the same bytes, and
// pictures per second of the MPEG-4 adapter at the job's presets against
// ffmpeg's libxvid encoder on the same raw pictures at the same bit rate.
//
// Usage: bench_avi [megabytes=1024] [directory=/tmp] [pictures=150]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "converter/avi/avi_output.h"
#include "converter/avi/mpeg4_encoder.h"
#include "platform/file.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Chunk sizes like a conversion's: one large key frame, smaller predicted
// frames, and a small audio chunk per picture.
std::vector<uint32_t> ChunkPlan(uint64_t totalBytes) {
    std::vector<uint32_t> plan;
    uint64_t sum = 0;
    for (int i = 0; sum < totalBytes; ++i) {
        const uint32_t video = i % 25 == 0 ? 120000 : 30000 + static_cast<uint32_t>((i * 7919) % 20000);
        plan.push_back(417);
        plan.push_back(video);
        sum += video + 417;
    }
    return plan;
}

double WriteWithAviOutput(const std::string& path, const std::vector<uint32_t>& plan, const std::vector<uint8_t>& data) {
    const auto start = Clock::now();
    vidorra::AVIOutput writer;
    auto* video = writer.AddVideoStream();
    auto* audio = writer.AddAudioStream();
    vidorra::AVIStreamHeader vh;
    vh.fccType = vidorra::MakeFourCC("vids");
    vh.dwScale = 1;
    vh.dwRate = 25;
    video->SetStreamHeader(vh);
    vidorra::BitmapInfoHeader bih;
    bih.biWidth = 720;
    bih.biHeight = 576;
    bih.biCompression = vidorra::MakeFourCC("xvid");
    const auto format = bih.Bytes();
    video->SetFormat(format.data(), 40);
    vidorra::AVIStreamHeader ah;
    ah.fccType = vidorra::MakeFourCC("auds");
    ah.dwScale = 1;
    ah.dwRate = 8000;
    ah.dwSampleSize = 1;
    audio->SetStreamHeader(ah);
    if (!writer.Open(path)) return -1;
    for (size_t i = 0; i < plan.size(); ++i) {
        auto* stream = (i & 1) ? video : audio;
        stream->Write((i % 50 == 1 || !(i & 1)) ? vidorra::kAviKeyFrame : 0, data.data(), plan[i], (i & 1) ? 1 : plan[i]);
    }
    writer.Close();
    return writer.HasError() ? -1 : Seconds(start);
}

double WritePlain(const std::string& path, const std::vector<uint32_t>& plan, const std::vector<uint8_t>& data) {
    const auto start = Clock::now();
    qor::File file;
    if (!file.Open(path, qor::File::Mode::CreateAlways)) return -1;
    for (uint32_t size : plan) {
        if (!file.Write(data.data(), size)) return -1;
    }
    file.Close();
    return Seconds(start);
}

void BenchWriter(uint64_t megabytes, const std::string& dir) {
    const auto plan = ChunkPlan(megabytes << 20);
    std::vector<uint8_t> data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13);
    uint64_t bytes = 0;
    for (uint32_t s : plan) bytes += s;
    const std::string aviPath = dir + "/bench_avi_writer.avi", plainPath = dir + "/bench_avi_plain.bin";
    double bestAvi = 1e9, bestPlain = 1e9;
    for (int round = 0; round < 3; ++round) {
        const double p = WritePlain(plainPath, plan, data);
        unlink(plainPath.c_str());
        const double a = WriteWithAviOutput(aviPath, plan, data);
        unlink(aviPath.c_str());
        if (p < 0 || a < 0) {
            std::printf("writer: write failed in %s\n", dir.c_str());
            return;
        }
        bestPlain = std::min(bestPlain, p);
        bestAvi = std::min(bestAvi, a);
    }
    const double mb = static_cast<double>(bytes) / (1 << 20);
    std::printf("writer: %zu chunks, %.0f MB; AVIOutput %.0f MB/s, plain writes %.0f MB/s, ratio %.2f (best of 3)\n",
                plan.size(), mb, mb / bestAvi, mb / bestPlain, bestPlain / bestAvi);
}

std::vector<uint8_t> Picture(int index, int w, int h) {
    std::vector<uint8_t> p(static_cast<size_t>(w) * h * 3 / 2);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const int x = c + 3 * index, y = r + 2 * index;
            p[static_cast<size_t>(r) * w + c] =
                static_cast<uint8_t>(((x / 24 + y / 24) & 1 ? 190 : 50) + 20 * std::sin((x + y) * 0.1));
        }
    }
    for (size_t i = static_cast<size_t>(w) * h; i < p.size(); ++i) {
        p[i] = static_cast<uint8_t>(128 + 40 * std::sin(static_cast<double>(i % w + index) * 0.03));
    }
    return p;
}

void BenchEncoder(int pictures, const std::string& dir) {
    constexpr int kW = 720, kH = 576, kBitRate = 2000000;
    std::vector<std::vector<uint8_t>> raw;
    for (int i = 0; i < pictures; ++i) raw.push_back(Picture(i, kW, kH));
    const std::string rawPath = dir + "/bench_avi_raw.yuv";
    {
        qor::File f;
        if (!f.Open(rawPath, qor::File::Mode::CreateAlways)) return;
        for (const auto& p : raw) f.Write(p.data(), p.size());
    }
    // The closest ffmpeg options to each preset's motion and VOP flags.
    struct Preset {
        int index;
        const char* ffmpegOptions;
    } presets[] = {{2, "-me_quality 2"},
                   {4, "-me_quality 4 -flags +mv4"},
                   {5, "-me_quality 4 -flags +mv4 -trellis 1"},
                   {6, "-me_quality 6 -flags +mv4 -trellis 1"}};
    std::vector<uint8_t> out(4 << 20);
    for (const Preset& p : presets) {
        int error = 0;
        vidorra::Mpeg4Encoder* enc = vidorra::enc_init(1, kW, kH, 25.0f, kBitRate, 25, 0, &error);
        if (enc == nullptr) {
            std::printf("encoder: creation failed (%d)\n", error);
            return;
        }
        uint64_t bytes = 0;
        const auto start = Clock::now();
        for (const auto& pic : raw) {
            const int n = vidorra::enc_encode(enc, p.index, pic.data(), out.data(), static_cast<int>(out.size()),
                                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
            if (n > 0) bytes += static_cast<uint64_t>(n);
        }
        const double ours = Seconds(start);
        vidorra::enc_stop(enc);

        const std::string command = "ffmpeg -nostdin -v error -f rawvideo -pix_fmt yuv420p -s 720x576 -r 25 -i '" +
                                    rawPath + "' -threads 1 -c:v libxvid -b:v " + std::to_string(kBitRate) + " -g 25 " +
                                    p.ffmpegOptions + " -f null - >/dev/null 2>&1";
        const auto fstart = Clock::now();
        const int rc = std::system(command.c_str());
        const double theirs = Seconds(fstart);
        const double oursFps = pictures / ours, theirFps = pictures / theirs;
        if (rc != 0) {
            std::printf("encoder preset %d: %.1f pictures/s, %.0f kbit/s; ffmpeg libxvid failed\n", p.index, oursFps,
                        bytes * 8.0 / (pictures / 25.0) / 1000);
        } else {
            std::printf("encoder preset %d: %.1f pictures/s (%.0f kbit/s); ffmpeg libxvid %.1f pictures/s; ratio %.2f\n",
                        p.index, oursFps, bytes * 8.0 / (pictures / 25.0) / 1000, theirFps, oursFps / theirFps);
        }
    }
    unlink(rawPath.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const int pictures = argc > 3 ? std::atoi(argv[3]) : 150;
    BenchWriter(megabytes, dir);
    BenchEncoder(pictures, dir);
    return 0;
}
