// One line of batch progress on a terminal: file n of m, percent of frames,
// frames per second and time left, redrawn in place.
//
// Threading: Begin, Update and End run on the batch's thread; WriteLine may
// come from any thread (debug lines of the library's threads) and is
// serialised with the redraws by an internal lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace vidorra {

// The text of the line, without carriage return or padding. Percent may pass
// 100 when repeats fill gaps; without a known total only the frames show.
std::string FormatProgressLine(int number, int count, int32_t producedFrames, int32_t totalFrames,
                               double elapsedSeconds);

class BatchProgress {
public:
    // Draws only when enabled (standard error is a terminal).
    BatchProgress(std::FILE* out, bool enabled) : m_out(out), m_enabled(enabled) {}

    void Begin(int number, int count);
    void Update(int32_t producedFrames, int32_t totalFrames);
    // Finishes the file's line so that later output starts on a fresh line.
    void End();
    // Writes a line of other output without tearing the progress line.
    void WriteLine(std::string_view line);

private:
    void DrawLocked(const std::string& text);
    void ClearLocked();

    std::FILE* m_out;
    bool m_enabled;
    std::mutex m_lock;
    int m_number = 0;
    int m_count = 0;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
    std::string m_shown;  // what the terminal line holds now
};

}  // namespace vidorra
