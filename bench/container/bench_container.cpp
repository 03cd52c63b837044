// Times building the key-frame index of a one-hour 704x576 recording (about
// 1 GB, written to a temporary folder and removed afterwards) with I2I
// back-links and by forward scan, each against reading the same file
// sequentially with plain reads, with and without the builders' pauses; and
// times loading the index from the side file.
//
// The recording is laid out like a real one (25 frames per second, a key
// frame every 25, 40 ms audio frames, typical frame sizes) but its coded data
// is filler: the index code never looks inside it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/debug_output.h"
#include "platform/file.h"
#include "player/container/format.h"
#include "player/container/mpeg_parser_marlin.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

constexpr int kFrameRate = 25;
constexpr int kKeyInterval = 25;
constexpr int kWidth = 704;
constexpr int kHeight = 576;

void PutFrameHeader(std::vector<uint8_t>& out, int type, uint32_t length, uint32_t time, int extension) {
    uint8_t h[20] = {};
    qor::WriteLe32(h, qor::kFrameStartCode);
    qor::WriteLe32(h + 4, length | (uint32_t(extension) << 20) | (uint32_t(type) << 30));
    h[8] = uint8_t(kWidth);
    h[9] = uint8_t(kWidth >> 8);
    h[10] = uint8_t(kHeight);
    h[11] = uint8_t(kHeight >> 8);
    qor::WriteLe32(h + 12, time);
    out.insert(out.end(), h, h + 20);
}

bool WriteRecording(const std::string& path, int seconds, int64_t* size, int* keyFrames) {
    qor::File f;
    if (!f.Open(path, qor::File::Mode::CreateAlways)) return false;
    std::vector<uint8_t> filler(600000);
    std::mt19937 random(7);
    for (auto& b : filler) b = uint8_t(0x10 + random() % 0xE0);  // never 00 00 01
    std::vector<uint8_t> out;
    out.reserve(8 << 20);
    uint8_t header[1024] = {};
    qor::WriteLe32(header, qor::kFileHeaderStartCode);
    qor::WriteLe32(header + 4, qor::kFormatMarlin);
    qor::WriteLe32(header + 8, 1024);
    header[14] = uint8_t(kWidth);
    header[15] = uint8_t(kWidth >> 8);
    header[16] = uint8_t(kHeight);
    header[17] = uint8_t(kHeight >> 8);
    header[18] = kFrameRate;
    out.insert(out.end(), header, header + 1024);
    int64_t written = 0;
    int64_t previousKey = -1;
    *keyFrames = 0;
    const int frames = seconds * kFrameRate;
    for (int i = 0; i < frames; ++i) {
        uint32_t time = uint32_t(i * 1000 / kFrameRate);
        bool key = i % kKeyInterval == 0;
        int64_t here = written + int64_t(out.size());
        uint32_t payload = key ? 60000 + random() % 8000 : 9000 + random() % 2000;
        if (key) {
            uint32_t length = 20 + 4 + payload;
            PutFrameHeader(out, 0, length, time, 4);
            uint8_t link[4];
            qor::WriteLe32(link, previousKey < 0 ? 0 : uint32_t(here - previousKey));
            out.insert(out.end(), link, link + 4);
            previousKey = here;
            ++*keyFrames;
        } else {
            PutFrameHeader(out, 1, 20 + payload, time, 0);
        }
        out.insert(out.end(), filler.begin(), filler.begin() + payload);
        // 40 ms of G.726 at 32 kbit/s.
        PutFrameHeader(out, 3, 20 + 160, time, 0);
        out.insert(out.end(), filler.begin() + 1000, filler.begin() + 1160);
        if (out.size() > (6 << 20)) {
            if (!f.Write(out.data(), out.size())) return false;
            written += int64_t(out.size());
            out.clear();
        }
    }
    if (!f.Write(out.data(), out.size())) return false;
    *size = written + int64_t(out.size());
    return true;
}

double SequentialRead(const std::string& path) {
    auto start = Clock::now();
    qor::File f;
    if (!f.Open(path, qor::File::Mode::Read)) return -1;
    std::vector<uint8_t> buffer(1 << 20);
    volatile uint8_t sink = 0;
    while (f.Read(buffer.data(), buffer.size()) > 0) sink = sink + buffer[0];
    return Seconds(start);
}

struct Opened {
    qor::PlayerFileInfo info;
    qor::CMpegParserMarlin parser{&info};
};

bool Open(Opened& o, const std::string& path, bool sideFile) {
    o.info.iFrameDuration = 1000 / kFrameRate;
    o.info.bCreateSideFile = sideFile;
    return o.parser.Init(path.c_str(), false);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 3600;
    char folder[] = "/tmp/bench_container_XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = std::string(folder) + "/hour.mpg";
    int64_t size = 0;
    int keyFrames = 0;
    auto start = Clock::now();
    if (!WriteRecording(path, seconds, &size, &keyFrames)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("recording: %d s, %dx%d, %d key frames, %.1f MB, written in %.1f s\n", seconds, kWidth, kHeight,
                keyFrames, size / 1e6, Seconds(start));

    // Read once so that every measurement meets the same cache state.
    SequentialRead(path);
    const double read = SequentialRead(path);
    std::printf("sequential read (1 MiB plain reads): %.3f s (%.0f MB/s)\n", read, size / 1e6 / read);

    int failures = 0;
    auto measure = [&](const char* name, bool pauses, bool backLinks, bool sideFile) {
        qor::SetIndexBuildPauses(pauses);
        Opened o;
        if (!Open(o, path, sideFile)) {
            std::printf("%s: open failed\n", name);
            ++failures;
            return;
        }
        auto t = Clock::now();
        bool ok = backLinks ? o.parser.CreateMpegFileIndexTableWithEx() : o.parser.CreateMpegFileIndexTable();
        double s = Seconds(t);
        if (!ok || o.info.indexTable.size() != size_t(keyFrames) + 1) {
            std::printf("%s: failed (%zu entries)\n", name, o.info.indexTable.size());
            ++failures;
            return;
        }
        std::printf("%-40s %8.3f s  ratio to sequential read %6.2f\n", name, s, s / read);
    };
    measure("back-links, with 1 ms pauses", true, true, false);
    measure("back-links, without pauses", false, true, false);
    measure("forward scan, with 9 ms pauses", true, false, false);
    measure("forward scan, without pauses", false, false, true);  // leaves the side file

    {
        Opened o;
        if (Open(o, path, false)) {
            auto t = Clock::now();
            bool ok = o.parser.GetIndexFromIndexFile();
            double s = Seconds(t);
            if (ok && o.info.indexTable.size() == size_t(keyFrames) + 1) {
                std::printf("%-40s %8.3f ms ratio to sequential read %6.4f\n", "side file load", s * 1000, s / read);
            } else {
                std::printf("side file load: failed\n");
                ++failures;
            }
        }
    }
    std::string cleanup = std::string("rm -rf '") + folder + "'";
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", folder);
    return failures == 0 ? 0 : 1;
}
