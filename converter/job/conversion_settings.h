// The numbers a conversion hands to the video encoder, the MP3 encoder and
// the two AVI streams: the quality table both front ends share, the target
// bitrate, the audio table, and the stream descriptions.
//
// Threading: the table and the functions below hold no state of their own;
// SetAviVideoStream and SetAviAudioStream touch only what they are given and
// run on the job's thread before the AVI file is opened.
#pragma once

#include <cstdint>
#include <string_view>

#include "converter/avi/avi_output_stream.h"
#include "converter/avi/avi_records.h"
#include "converter/avi/mp3_encoder.h"
#include "player/api/qor_player_records.h"

namespace vidorra {

struct QualityRow {
    std::string_view name;  // the text the options dialog shows
    float bitrateFactor;    // multiplies the source's own average bit rate
    int presetIndex;        // encoder preset, passed with every picture
};

constexpr int kQualityLevelCount = 5;
// A level outside the table falls back to the row the window shows first.
constexpr int kDefaultQualityLevel = 2;

// Levels 0 and 1 share a preset and differ only in bitrate.
constexpr QualityRow kQualityTable[kQualityLevelCount] = {
    {"limited", 0.5f, 2}, {"normal", 0.75f, 2}, {"good", 1.0f, 4}, {"better", 1.25f, 5}, {"best", 1.5f, 6},
};

// Filter choices of the options dialog; shown and stored, never passed on.
constexpr std::string_view kFilterNames[3] = {"no filter", "simple", "advanced"};

// Maps any level to a row index: 0 to 4 stay, everything else becomes 2.
int NormalizeQualityLevel(int level);

struct ConversionSettings {
    int qualityLevel = kDefaultQualityLevel;
    float bitrateFactor = 1.0f;
    int presetIndex = 4;
    float frameRate = 25.0f;
    int keyFrameInterval = 25;
    int bFrameCount = 0;
    int postFilterLevel = 0;

    // Settings of a level (normalised first); the fixed values as above.
    static ConversionSettings ForQualityLevel(int level);
};

// Used when the duration is unknown or shorter than a second.
constexpr int32_t kFallbackBitrate = 768000;

// Bits per second for the video encoder: the whole file's average bit rate
// times the factor, truncated toward zero; kFallbackBitrate unless
// totalSeconds > 0. Results beyond the range of int32_t are clamped.
int32_t TargetBitrate(uint64_t fileSize, int32_t totalSeconds, float bitrateFactor);

struct AudioSettings {
    uint32_t sourceRate;
    int mp3SampleRate;
    int mp3Bitrate;  // bits per second
    uint32_t averageBytesPerSecond;
};

// The row for a decoded sample rate, or null when the rate is not converted.
const AudioSettings* AudioSettingsFor(uint32_t sampleRate);

// The AVI frame rate for a picture height: 25/1 for the 288- and 576-line
// pictures, 30000/1001 for every other height.
struct AviFrameRate {
    uint32_t scale;
    uint32_t rate;
};
AviFrameRate AviFrameRateFor(int height);

// Describes the MPEG-4 video stream. Always true.
bool SetAviVideoStream(AVIOutputStream* stream, int width, int height);

// Checks the decoded audio's rate, (re)initialises the MP3 encoder for it and
// describes the MP3 stream. False, with the encoder closed, when the rate is
// not converted ("[QOR]out wave format error!\n" is written) or the encoder
// refuses the channel count or rate.
bool SetAviAudioStream(AVIOutputStream* stream, const QorWaveFormat& waveFormat, Mp3EncoderState* mp3);

}  // namespace vidorra
