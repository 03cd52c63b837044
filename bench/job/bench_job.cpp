// Converts a generated Marlin recording (G.726 audio) at quality level 2 and
// has ffmpeg do the same work on the same elementary streams: decode MPEG-4,
// encode with libxvid at the same bitrate (key interval 25, no B-frames,
// motion preset 4 and, as our preset 4 does, four motion vectors per
// macroblock: ffmpeg asks xvid for those only with +mv4) and G.726 -> 16 kHz
// MP3 at 32 kbit/s with libmp3lame, into AVI. Each side runs in a child process so that its peak memory is its own.
//
// Usage: bench_job [minutes=5] [width=704 height=576]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "converter/job/conversion_job.h"
#include "platform/file.h"
#include "recording_generator.h"

namespace {

struct Measure {
    double seconds = 0.0;
    double cpuSeconds = 0.0;  // user + system
    long peakKiB = 0;
    int status = -1;
};

Measure InChild(const std::function<int()>& body) {
    std::fflush(stdout);  // or the child repeats what is still buffered
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) _exit(body());
    Measure m;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.peakKiB = usage.ru_maxrss;
    m.cpuSeconds =
        usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return m;
}

// Writes the payloads of one kind of frame (video or audio) one after another.
bool ExtractStream(const std::string& recording, const qor::recgen::Recording& info, bool video,
                   const std::vector<uint8_t>& prefix, const std::string& path) {
    qor::File in;
    if (!in.Open(recording, qor::File::Mode::Read)) return false;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(prefix.data()), static_cast<std::streamsize>(prefix.size()));
    std::vector<uint8_t> buffer;
    for (const auto& frame : info.frames) {
        const bool isVideo = frame.type == 0 || frame.type == 1;
        if ((video && !isVideo) || (!video && frame.type != 3)) continue;
        const uint32_t skip = 20 + frame.extensionLength;
        if (frame.length <= skip) continue;
        buffer.resize(frame.length - skip);
        if (in.ReadAt(buffer.data(), buffer.size(), frame.position + skip) != static_cast<int64_t>(buffer.size()))
            return false;
        out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    }
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::atof(argv[1]) : 5.0;
    const int width = argc > 3 ? std::atoi(argv[2]) : 704;
    const int height = argc > 3 ? std::atoi(argv[3]) : 576;
    char dirTemplate[] = "/tmp/bench_job_XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);
    const std::string recording = dir + "/bench.mp4";

    qor::recgen::Options options;
    options.family = qor::recgen::Family::Marlin;
    options.width = width;
    options.height = height;
    options.frameCount = static_cast<int>(minutes * 60 * 25);
    options.audioType = 0x8000;
    options.headersInKeyFrames = true;  // the video elementary stream then stands alone
    qor::recgen::Recording info;
    std::string error;
    const auto genStart = std::chrono::steady_clock::now();
    if (!qor::recgen::WriteRecording(options, recording, &info, &error)) {
        std::fprintf(stderr, "bench_job: cannot generate the recording: %s\n", error.c_str());
        return 1;
    }
    const double genSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - genStart).count();
    const int totalSeconds = (options.frameCount - 1) * 40 / 1000;
    const int32_t bitrate = vidorra::TargetBitrate(static_cast<uint64_t>(info.fileSize), totalSeconds, 1.0f);
    std::printf("recording: %d frames %dx%d, %.1f MB, generated in %.1f s; target bitrate %d bit/s\n",
                options.frameCount, width, height, info.fileSize / 1e6, genSeconds, bitrate);

    const std::string videoEs = dir + "/video.m4v";
    const std::string audioEs = dir + "/audio.g726";
    if (!ExtractStream(recording, info, true, info.videoConfig, videoEs) ||
        !ExtractStream(recording, info, false, {}, audioEs)) {
        std::fprintf(stderr, "bench_job: cannot extract the elementary streams\n");
        return 1;
    }

    const Measure ours = InChild([&] {
        vidorra::ConversionJob job(vidorra::LibraryPlayerInterface(), vidorra::ConversionSettings::ForQualityLevel(2),
                                   vidorra::JobFrontEnd{});
        const vidorra::JobResult result = job.Run(recording, dir + "/ours.avi");
        std::printf("ours: %d frames produced, bitrate %d\n", job.ProducedFrames(), job.TargetBitrate());
        std::fflush(stdout);
        return result.outcome == vidorra::JobOutcome::Succeeded ? 0 : 1;
    });

    const std::string ffmpeg = "ffmpeg -y -nostdin -v error -f m4v -r 25 -i '" + videoEs +
                               "' -f g726le -code_size 4 -sample_rate 8000 -i '" + audioEs +
                               "' -map 0:v -map 1:a -c:v libxvid -b:v " + std::to_string(bitrate) +
                               " -g 25 -bf 0 -me_quality 4 -flags +mv4 -c:a libmp3lame -ar 16000 -b:a 32k '" + dir + "/ffmpeg.avi'";
    const Measure theirs = InChild([&] { return std::system(ffmpeg.c_str()) == 0 ? 0 : 1; });

    const double frames = options.frameCount;
    std::printf("ours:   %.2f s wall, %.2f s CPU, %.1f frames/s, peak %ld KiB, %s\n", ours.seconds, ours.cpuSeconds,
                frames / ours.seconds, ours.peakKiB, ours.status == 0 ? "ok" : "FAILED");
    std::printf("ffmpeg: %.2f s wall, %.2f s CPU, %.1f frames/s, peak %ld KiB, %s\n", theirs.seconds, theirs.cpuSeconds,
                frames / theirs.seconds, theirs.peakKiB, theirs.status == 0 ? "ok" : "FAILED");
    std::printf("ratio (ours / ffmpeg wall time): %.2f\n", ours.seconds / theirs.seconds);
    std::printf("files: %s (%.1f MB), %s (%.1f MB)\n", (dir + "/ours.avi").c_str(),
                qor::FileSize(dir + "/ours.avi") / 1e6, (dir + "/ffmpeg.avi").c_str(),
                qor::FileSize(dir + "/ffmpeg.avi") / 1e6);
    if (std::getenv("BENCH_JOB_KEEP") == nullptr) std::system(("rm -rf '" + dir + "'").c_str());
    return ours.status == 0 && theirs.status == 0 ? 0 : 1;
}
