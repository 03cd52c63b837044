// mkrec: writes a synthetic recording in the recorder container.
#include "recording_generator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using qor::recgen::Options;

const char kUsage[] =
    "usage: mkrec --out PATH [options]\n"
    "  --family marlin|heron|osprey|yuv   recorder family (default marlin)\n"
    "  --size WxH                         picture size (default 352x288)\n"
    "  --fps N                            video frames per second (default 25)\n"
    "  --seconds S | --frames N           length (default 50 frames)\n"
    "  --key N                            key frame every N frames (default 25)\n"
    "  --audio-type 0x4000|0x6000|0x8000|0x10000  G.726 32 kbit/s or G.711 mu-law (default 0x8000)\n"
    "  --audio-frame-samples N            samples per G.726/G.711 audio frame (default 320)\n"
    "  --no-audio                         video only (content flags 0x4000)\n"
    "  --no-backlinks                     key frames without the I2I extension\n"
    "  --headers-in-key                   repeat VO/VOL inside key frames\n"
    "  --quality Q                        quantiser 1..31 (default 4)\n"
    "  --start-time MS                    time stamp of the first frame\n"
    "  --gap FRAME:MS                     add MS to frame FRAME and all later (repeatable)\n"
    "  --invalid-time FRAME               stamp video frame FRAME 0xFFFFFFFF (repeatable)\n"
    "  --extra-header FRAME[:WxH]         file header copy before video frame FRAME (repeatable)\n"
    "  --unknown FRAME                    junk bytes before video frame FRAME (repeatable)\n"
    "  --false-start-codes                plant 00 00 01 B7/B2 runs after the coded video\n"
    "  --garbage N                        N bytes before the file header\n"
    "  --trailer V                        append the trailer with 32-bit value V\n"
    "  --truncate N                       cut N bytes off the end\n"
    "  --quiet                            print nothing on success\n"
    "  --help                             this text\n";

bool ParseInt(const char* text, long long min, long long max, long long* value)
{
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 0);
    if (errno || end == text || *end || v < min || v > max)
        return false;
    *value = v;
    return true;
}

bool ParseSize(const std::string& text, int* w, int* h)
{
    const size_t x = text.find('x');
    long long a = 0, b = 0;
    if (x == std::string::npos || !ParseInt(text.substr(0, x).c_str(), 1, 65535, &a) ||
        !ParseInt(text.substr(x + 1).c_str(), 1, 65535, &b))
        return false;
    *w = static_cast<int>(a);
    *h = static_cast<int>(b);
    return true;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "mkrec: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    std::string out;
    double seconds = -1;
    bool quiet = false;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        auto value = [&](const char** v) {
            if (a + 1 >= argc)
                return false;
            *v = argv[++a];
            return true;
        };
        const char* v = nullptr;
        long long n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--no-audio") {
            o.audio = false;
        } else if (arg == "--no-backlinks") {
            o.backLinks = false;
        } else if (arg == "--headers-in-key") {
            o.headersInKeyFrames = true;
        } else if (arg == "--false-start-codes") {
            o.falseStartCodes = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (!value(&v)) {
            return Fail(arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg + "\n" + kUsage);
        } else if (arg == "--out") {
            out = v;
        } else if (arg == "--family") {
            if (!qor::recgen::ParseFamily(v, &o.family))
                return Fail(std::string("unknown family ") + v);
        } else if (arg == "--size") {
            if (!ParseSize(v, &o.width, &o.height))
                return Fail(std::string("bad size ") + v);
        } else if (arg == "--seconds") {
            char* end = nullptr;
            seconds = std::strtod(v, &end);
            if (end == v || *end || seconds < 0 || seconds > 1e6)
                return Fail(std::string("bad seconds ") + v);
        } else if (arg == "--extra-header") {
            const std::string s = v;
            const size_t colon = s.find(':');
            qor::recgen::ExtraHeader h{0, -1, -1};
            if (!ParseInt(s.substr(0, colon).c_str(), 0, 1 << 30, &n))
                return Fail("bad extra header " + s);
            h.beforeFrame = static_cast<int>(n);
            if (colon != std::string::npos && !ParseSize(s.substr(colon + 1), &h.width, &h.height))
                return Fail("bad extra header " + s);
            o.extraHeaders.push_back(h);
        } else if (arg == "--gap") {
            const std::string s = v;
            const size_t colon = s.find(':');
            long long ms = 0;
            if (colon == std::string::npos || !ParseInt(s.substr(0, colon).c_str(), 0, 1 << 30, &n) ||
                !ParseInt(s.substr(colon + 1).c_str(), 0, 0xFFFFFFFFLL, &ms))
                return Fail("bad gap " + s + " (FRAME:MS)");
            o.timeGaps.emplace_back(static_cast<int>(n), static_cast<uint32_t>(ms));
        } else {
            struct IntOption {
                const char* name;
                long long min, max;
            };
            static const IntOption kInts[] = {
                {"--fps", 1, 1000},           {"--frames", 0, 1 << 30},     {"--key", 1, 1 << 30},
                {"--audio-type", 0, 0xFFFFFFFFLL}, {"--garbage", 0, 1 << 30}, {"--trailer", 0, 0xFFFFFFFFLL},
                {"--truncate", 0, 1LL << 40}, {"--quality", 1, 31},         {"--start-time", 0, 0xFFFFFFFFLL},
                {"--invalid-time", 0, 1 << 30}, {"--unknown", 0, 1 << 30},  {"--audio-frame-samples", 2, 8192},
            };
            const IntOption* opt = nullptr;
            for (const IntOption& io : kInts) {
                if (arg == io.name)
                    opt = &io;
            }
            if (!opt)
                return Fail("unknown option " + arg + "\n" + kUsage);
            if (!ParseInt(v, opt->min, opt->max, &n))
                return Fail("bad value for " + arg + ": " + v);
            if (arg == "--fps") o.frameRate = static_cast<int>(n);
            else if (arg == "--frames") o.frameCount = static_cast<int>(n);
            else if (arg == "--key") o.keyInterval = static_cast<int>(n);
            else if (arg == "--audio-type") o.audioType = static_cast<uint32_t>(n);
            else if (arg == "--garbage") o.leadingGarbage = static_cast<size_t>(n);
            else if (arg == "--trailer") o.trailerValue = static_cast<uint32_t>(n);
            else if (arg == "--truncate") o.truncateBytes = n;
            else if (arg == "--quality") o.quality = static_cast<int>(n);
            else if (arg == "--start-time") o.startTime = static_cast<uint32_t>(n);
            else if (arg == "--invalid-time") o.invalidTimeFrames.push_back(static_cast<int>(n));
            else if (arg == "--unknown") o.unknownBefore.push_back(static_cast<int>(n));
            else if (arg == "--audio-frame-samples") o.audioFrameSamples = static_cast<int>(n);
        }
    }
    if (out.empty())
        return Fail(std::string("--out PATH is required\n") + kUsage);
    if (seconds >= 0)
        o.frameCount = static_cast<int>(seconds * o.frameRate + 0.5);
    for (auto& h : o.extraHeaders) {
        if (h.width < 0) {
            h.width = o.width;
            h.height = o.height;
        }
    }

    qor::recgen::Recording info;
    std::string error;
    if (!qor::recgen::WriteRecording(o, out, &info, &error))
        return Fail(error);
    if (!quiet) {
        std::printf("mkrec: wrote %s: %s, %dx%d, %d fps, %d video frames (%zu key), %d audio frames, %lld bytes\n",
                    out.c_str(), qor::recgen::FamilyName(o.family), o.width, o.height, o.frameRate, o.frameCount,
                    info.keyFrames.size(), info.audioFrameCount, static_cast<long long>(info.fileSize));
    }
    return 0;
}
