// The job's queues of encoded pieces: one for video frames, one for MP3
// chunks, each with a free list of spent entries whose blocks are reused, and
// the flushes that hand them to the AVI streams interleaved by time stamp.
//
// Threading: not locked. The job's video lock guards the video side, its
// audio lock the audio side; the flushes need both.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

namespace vidorra {

struct VideoQueueEntry {
    uint32_t flags = 0;  // 0x10 for a key frame
    uint32_t capacity = 0;
    int32_t width = 0;  // as the callback record gave it; not written
    int32_t height = 0;
    std::unique_ptr<uint8_t[]> data;
    uint32_t timeStamp = 0;
    uint32_t length = 0;
};

struct AudioQueueEntry {
    uint32_t flags = 0;
    uint32_t capacity = 0;
    std::unique_ptr<uint8_t[]> data;
    uint32_t timeStamp = 0;
    uint32_t length = 0;
};

// Receives one chunk: flags, data, length. Returns false when it was not
// stored (the writer keeps the reason).
using ChunkSink = std::function<bool(uint32_t flags, const uint8_t* data, uint32_t length)>;

class EncodedFrameQueue {
public:
    // Queues one encoded video frame, reusing the first spare block that is
    // large enough, else allocating one and a half times the length. False
    // (with a debug line) when no block could be had; the frame is lost.
    bool AddMp4VideoToList(uint32_t flags, const uint8_t* data, uint32_t length, int32_t width, int32_t height,
                           uint32_t timeStamp);
    // The same for one MP3 chunk.
    bool AddMp4VideoToList(uint32_t flags, const uint8_t* data, uint32_t length, uint32_t timeStamp);

    // Partial: while both queues hold entries, writes the audio chunks due up
    // to the front video frame, then that frame; video waits while no audio
    // is queued. Written entries go to the free lists.
    // Final: writes everything, audio before video by time stamp, and frees
    // the entries with their blocks.
    // False when a sink refused a chunk (the flush still writes the rest).
    bool FlushQueues(bool final, const ChunkSink& video, const ChunkSink& audio);

    // Destroys every entry of both queues and both free lists.
    void Clear();

    size_t VideoQueued() const { return m_video.size(); }
    size_t AudioQueued() const { return m_audio.size(); }
    size_t VideoSpare() const { return m_videoFree.size(); }
    size_t AudioSpare() const { return m_audioFree.size(); }
    // Number of blocks allocated since construction (for the reuse checks).
    uint64_t Allocations() const { return m_allocations.load(); }

    // Replaces the block allocator (it must return new[] memory or null); tests
    // use it to make an allocation fail.
    void SetAllocatorForTest(std::function<uint8_t*(size_t)> allocate) { m_allocate = std::move(allocate); }

private:
    template <typename Entry>
    bool TakeBlock(std::deque<Entry>& freeList, uint32_t length, Entry* entry);

    std::deque<VideoQueueEntry> m_video;
    std::deque<AudioQueueEntry> m_audio;
    std::deque<VideoQueueEntry> m_videoFree;
    std::deque<AudioQueueEntry> m_audioFree;
    // Counted from both sides, which run under different locks.
    std::atomic<uint64_t> m_allocations{0};
    std::function<uint8_t*(size_t)> m_allocate;
};

}  // namespace vidorra
