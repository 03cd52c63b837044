// A scripted stand-in for the player library with the calling contract the
// conversion job relies on: a probe in file mode, then stream mode where the
// written bytes release scripted pictures and PCM blocks to the callbacks on
// a video thread and an audio thread of its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "converter/job/player_interface.h"

namespace fakeplayer {

struct Picture {
    uint32_t time;
    int width;
    int height;
};

struct AudioBlock {
    uint32_t time;
    uint32_t bytes;
};

struct Script {
    int32_t createResult = 0;  // -1: no slot
    bool fileOpens = true;
    int32_t totalFrames = 50;
    int32_t totalTimeMs = 2000;
    int32_t streamOpenResult = 1;
    int32_t reportedWidth = 352;
    int32_t reportedHeight = 288;
    bool hasAudio = true;
    int mediaStreamType = 0;        // what GetMediaStreamType reports
    QorWaveFormat wave{1, 1, 8000, 16000, 2, 16, 0};
    std::vector<Picture> pictures;  // handed out on the first write
    std::vector<AudioBlock> audio;  // same
    int yPadding = 16;              // stride beyond the row width
    bool refuseWrites = false;      // the stream takes no bytes at all
};

// Pictures every 40 ms and 20 ms PCM blocks covering the same span.
Script RegularScript(int pictures, int width = 352, int height = 288, uint32_t sampleRate = 8000, int channels = 1);

struct Stats {
    std::vector<std::string> calls;  // names of the calls in order
    int created = 0;
    int released = 0;
    int writes = 0;
    int32_t postFilter = -1;
    int32_t dataDriven = -1;
    int32_t audioLeadTime = 0;
};

// Installs the script (resets the stats); the interface below plays it.
void Load(const Script& script);
Stats Snapshot();
const vidorra::PlayerInterface& Interface();

// Luma value of pixel (x, y) of a scripted picture; chroma is flat 128.
uint8_t PatternLuma(int x, int y, uint32_t time);

}  // namespace fakeplayer
