// Writes synthetic recordings in the recorder container: a 1024-byte file
// header, then 20-byte frame headers with their payloads, for the Marlin,
// Heron, Osprey and YUV families. Tests, benchmarks and the demo use it
// because no real recording is available to us.
//
// Threading: every call is self-contained; separate calls may run on separate
// threads at the same time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qor::recgen {

enum class Family { Marlin, Heron, Osprey, Yuv };  // 0x00060002, 0x00060008, 0x00090002, 0x00060009

uint32_t FormatTypeCode(Family family);
// "marlin", "heron", "osprey", "yuv".
const char* FamilyName(Family family);
bool ParseFamily(const std::string& name, Family* family);

// A copy of the file header written into the stream before video frame
// beforeFrame. The video encoder restarts there at the given size, so that
// frame is a key frame.
struct ExtraHeader {
    int beforeFrame;
    int width;
    int height;
};

using PictureSource = std::function<void(int index, int width, int height, uint8_t* y, int yStride,
                                         uint8_t* u, uint8_t* v, int cStride)>;
// Fills `count` sample frames (interleaved when channels is 2) from sample
// index `first`; same shape as TestTone.
using SoundSource = std::function<void(int sampleRate, int channels, int64_t first, int count, int16_t* out)>;

struct Options {
    Family family = Family::Marlin;
    int width = 352, height = 288;
    int frameRate = 25;              // video frames per second
    int frameCount = 50;             // video frames
    int keyInterval = 25;            // key frame every N video frames
    bool audio = true;               // false: content flags 0x4000, no audio frames
    uint32_t audioType = 0x8000;     // 0x4000/0x6000/0x8000 G.726 32 kbit/s, 0x10000 G.711 mu-law
    bool backLinks = true;           // key frames carry the 4-byte I2I extension
    bool headersInKeyFrames = false; // repeat VO/VOL inside key frames (always on for Osprey)
    size_t leadingGarbage = 0;       // bytes before the file header
    std::optional<uint32_t> trailerValue;  // append the trailer with this value
    int64_t truncateBytes = 0;       // cut this many bytes off the end of the file
    uint32_t startTime = 0;          // time stamp of the first frame (ms)
    std::vector<std::pair<int, uint32_t>> timeGaps;  // (video frame, extra ms from that frame on)
    std::vector<int> invalidTimeFrames;    // video frames stamped 0xFFFFFFFF
    std::vector<ExtraHeader> extraHeaders;
    std::vector<int> unknownBefore;        // junk (no start code) inserted before video frame i
    bool falseStartCodes = false;          // 00 00 01 B7 / 00 00 01 B2 runs after the coded video data
    int quality = 4;                       // quantiser, 1 (best) .. 31
    PictureSource pictureSource;           // default: TestPattern
    // Added beyond the shared contract:
    int audioFrameSamples = 320;           // G.726/G.711 samples per audio frame (40 ms); at most 4096 coded bytes
    size_t unknownLength = 48;             // bytes of each unknownBefore junk block
    SoundSource soundSource;               // default: TestTone
};

struct FrameRecord {          // one per item written, in file order
    int type;                 // 0 key, 1 predicted, 3 audio, 6 file header copy, 8 junk (unknownBefore)
    int64_t position;         // file offset of the frame header (or header copy, or junk)
    uint32_t length;          // total frame length incl. 20-byte header (1024 for a header copy)
    uint32_t time;            // time stamp as written in the header
    uint32_t logicalTime;     // intended time (differs from time only for invalidTimeFrames)
    int width, height;
    uint32_t extensionLength;
    uint32_t i2iOffset;       // for key frames with extension
    int pictureIndex;         // video: source picture; audio: audio frame index; else -1
};

// frames and keyFrames describe everything written before truncateBytes was
// applied; a truncated recording simply ends inside the last of them.
struct Recording {
    std::vector<FrameRecord> frames;      // everything in file order
    std::vector<FrameRecord> keyFrames;   // key frames only, in file order
    int64_t headerPosition = 0;           // offset of the first file header (== leadingGarbage)
    int64_t fileSize = 0;                 // after truncation
    std::vector<uint8_t> videoConfig;     // the 19 bytes at header offset 22 (first header)
    int audioSampleRate = 0;              // 8000 or 44100 (0 without audio)
    int audioChannels = 0;                // 1 or 2 (0 without audio)
    int audioFrameCount = 0;
    int64_t untruncatedSize = 0;          // size before truncateBytes was applied
};

bool MakeRecording(const Options& options, std::vector<uint8_t>* bytes, Recording* info, std::string* error);
// Streams to disk; memory use does not grow with the length of the recording.
bool WriteRecording(const Options& options, const std::string& path, Recording* info, std::string* error);

// The source picture i (I420) of the default picture source; for PSNR checks.
void TestPattern(int index, int width, int height, uint8_t* y, int yStride, uint8_t* u, uint8_t* v, int cStride);
// The source PCM of the default tone (mono 8000 Hz, or stereo 44100 Hz
// interleaved), `count` sample frames from sample index `first`.
void TestTone(int sampleRate, int channels, int64_t first, int count, int16_t* out);

}  // namespace qor::recgen
