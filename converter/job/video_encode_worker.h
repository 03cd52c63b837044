// Encodes the job's packed pictures on a thread of its own, strictly in the
// order they were handed in, so that the player's video thread decodes the
// next picture while this one is being encoded (the two were the whole of the
// conversion's time, one after the other).
//
// The picture buffers are a small fixed ring: the video callback takes a free
// one (waiting while all are in use, which holds the decoder back to the
// encoder's pace), packs the picture into it and submits it.
//
// Threading: Acquire/Submit/Discard from one producer thread (the player's
// video thread); WaitIdle and Stop from the job's thread; the encode function
// runs on the worker's thread. Stop joins the thread and drops what was not
// encoded yet; the destructor stops.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vidorra {

// What to do with one packed picture.
struct EncodeRequest {
    uint32_t timeStamp = 0;
    int32_t width = 0;  // as the callback record gave it
    int32_t height = 0;
    int repeats = 0;  // extra copies that fill a gap before it
};

class VideoEncodeWorker {
public:
    using EncodeFunction = std::function<void(uint8_t* picture, const EncodeRequest& request)>;

    VideoEncodeWorker(size_t pictureBytes, size_t slots, EncodeFunction encode);
    ~VideoEncodeWorker();
    VideoEncodeWorker(const VideoEncodeWorker&) = delete;
    VideoEncodeWorker& operator=(const VideoEncodeWorker&) = delete;

    // A free picture buffer of pictureBytes, waiting for one if need be; null
    // once stopped. Each buffer taken goes back by Submit or Discard.
    uint8_t* Acquire();
    void Submit(uint8_t* picture, const EncodeRequest& request);
    void Discard(uint8_t* picture);

    // Returns when every buffer taken so far has been encoded or discarded
    // (at once after Stop).
    void WaitIdle();
    void Stop();

private:
    void Run();

    const EncodeFunction m_encode;
    std::vector<std::vector<uint8_t>> m_buffers;

    std::mutex m_ringLock;  // guards the free list, the ready queue and the stop flag
    std::condition_variable m_changed;
    std::vector<uint8_t*> m_free;
    std::deque<std::pair<uint8_t*, EncodeRequest>> m_ready;
    bool m_stopping = false;

    std::thread m_thread;  // last: starts once the ring exists
};

}  // namespace vidorra
