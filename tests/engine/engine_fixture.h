// Helpers shared by the engine tests: generated recordings on disk or in
// memory, collectors behind the C callbacks, a debug-line capture, and a
// stream driver that pushes a recording the way the converter does.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "player/engine/mpeg_player.h"
#include "recording_generator.h"
#include "tests/support/debug_capture.h"

namespace qor::test {

struct PictureSeen {
    uint32_t time;
    int width, height;
    std::chrono::steady_clock::time_point when;
};

// Collects what the decode callbacks receive; one per player number.
class Collector {
public:
    static Collector& For(uint32_t uPlayerId);
    void Clear();
    std::vector<PictureSeen> Pictures() const;
    std::vector<uint32_t> AudioTimes() const;
    uint64_t AudioBytes() const;
    size_t PictureCount() const;
    // Blocks the video callback until released (to fill the queues).
    void HoldPictures(bool bHold);
    // Runs inside the video callback when set (e.g. to time a close).
    std::function<void()> onPicture;
    // Runs inside the audio callback when set, with the block's time.
    std::function<void(uint32_t)> onAudio;

    static void VideoCallBack(uint32_t uPlayerId, const VideoDecodeFrameInfo* pInfo);
    static void AudioCallBack(uint32_t uPlayerId, const AudioDecodeFrameInfo* pInfo);

private:
    mutable std::mutex m_lock;
    std::condition_variable m_released;
    bool m_bHold = false;
    std::vector<PictureSeen> m_pictures;
    std::vector<uint32_t> m_audioTimes;
    uint64_t m_uAudioBytes = 0;
};

std::string TempPath(const std::string& name);
recgen::Recording WriteRecordingFile(const recgen::Options& options, const std::string& path);
std::vector<uint8_t> MakeRecordingBytes(const recgen::Options& options, recgen::Recording* info);

// Waits up to iMs for the condition; true when it became true.
bool WaitFor(const std::function<bool()>& condition, int iMs);

// An engine in stream mode with the converter's settings: callbacks, no
// synchronisation, data driven.
std::unique_ptr<CMpegPlayer> OpenStream(uint32_t uPlayerId, const std::vector<uint8_t>& bytes, bool bDataDriven = true);
// Pushes everything after the first 1024 bytes in pieces, retrying what was not taken.
void PushAll(CMpegPlayer& player, const std::vector<uint8_t>& bytes, size_t piece = 1048576);

// An engine in file mode with the headless outputs and the video callback.
std::unique_ptr<CMpegPlayer> OpenFile(uint32_t uPlayerId, const std::string& path, bool bIndex = true,
                                      bool bFollow = false);

}  // namespace qor::test
