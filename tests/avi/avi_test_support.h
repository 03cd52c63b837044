// Shared helpers of the AVI tests: a temporary directory, the debug-line
// capture, and stream descriptions as the conversion engine makes them.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "converter/avi/avi_output.h"
#include "tests/avi/riff_walker.h"
#include "tests/support/debug_capture.h"
#include "tests/support/temp_dir.h"

namespace avitest {

using qor::test::DebugCapture;
using qor::test::TempDir;

// Runs a shell command and returns what it printed on both channels.
inline std::string RunCommand(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    if (!pipe) return "popen failed";
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) out.append(buffer.data(), n);
    return out;
}

inline bool HaveFfmpeg() {
    return std::system("ffprobe -version >/dev/null 2>&1 && ffmpeg -version >/dev/null 2>&1") == 0;
}

inline vidorra::AVIStreamHeader VideoHeader(int height) {
    vidorra::AVIStreamHeader h;
    h.fccType = vidorra::MakeFourCC("vids");
    h.fccHandler = vidorra::MakeFourCC("xvid");
    const bool pal = height == 288 || height == 576;
    h.dwScale = pal ? 1 : 1001;
    h.dwRate = pal ? 25 : 30000;
    return h;
}

inline std::vector<uint8_t> VideoFormat(int width, int height, uint32_t compression = vidorra::MakeFourCC("xvid")) {
    vidorra::BitmapInfoHeader b;
    b.biWidth = width;
    b.biHeight = height;
    b.biCompression = compression;
    return b.Bytes();
}

inline vidorra::AVIStreamHeader AudioHeader(uint32_t avgBytes) {
    vidorra::AVIStreamHeader h;
    h.fccType = vidorra::MakeFourCC("auds");
    h.dwInitialFrames = 1;
    h.dwScale = 1;
    h.dwRate = avgBytes;
    h.dwQuality = 0xFFFFFFFF;
    h.dwSampleSize = 1;
    h.rcFrame = {77, 40, 46, 110};
    return h;
}

inline std::vector<uint8_t> AudioFormat(int channels, uint32_t rate, uint32_t avgBytes) {
    vidorra::MpegLayer3WaveFormat f;
    f.nChannels = static_cast<uint16_t>(channels);
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = avgBytes;
    return f.Bytes();
}

// A writer with the video stream and the MP3 audio stream of a conversion.
struct TwoStreamWriter {
    explicit TwoStreamWriter(const vidorra::AVIOutput::Limits& limits = {}, int width = 352, int height = 288)
        : writer(limits) {
        video = writer.AddVideoStream();
        audio = writer.AddAudioStream();
        video->SetStreamHeader(VideoHeader(height));
        const auto vf = VideoFormat(width, height);
        video->SetFormat(vf.data(), static_cast<uint32_t>(vf.size()));
        audio->SetStreamHeader(AudioHeader(8000));
        const auto af = AudioFormat(2, 44100, 8000);
        audio->SetFormat(af.data(), static_cast<uint32_t>(af.size()));
    }
    vidorra::AVIOutput writer;
    vidorra::AVIOutputStream* video;
    vidorra::AVIOutputStream* audio;
};

// Deterministic chunk contents, so tests can check what landed on disk.
inline std::vector<uint8_t> ChunkBytes(int index, uint32_t size) {
    std::vector<uint8_t> b(size);
    for (uint32_t j = 0; j < size; ++j) b[j] = static_cast<uint8_t>(index * 31 + j * 7 + 1);
    return b;
}

// The file read back by the test's own RIFF walker; a read failure fails the test.
inline AviFile ReadOrFail(const std::string& path) {
    AviFile avi;
    std::string error;
    EXPECT_TRUE(ReadAvi(path, &avi, &error)) << error;
    return avi;
}

}  // namespace avitest
