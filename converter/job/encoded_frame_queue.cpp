#include "converter/job/encoded_frame_queue.h"

#include <cstring>
#include <new>

#include "platform/debug_output.h"

namespace vidorra {

namespace {

// A chunk this far from the video frame it precedes is worth a warning.
constexpr uint32_t kSyncWarningMs = 100;

uint32_t Distance(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }

}  // namespace

template <typename Entry>
bool EncodedFrameQueue::TakeBlock(std::deque<Entry>& freeList, uint32_t length, Entry* entry) {
    for (auto it = freeList.begin(); it != freeList.end(); ++it) {
        if (it->capacity >= length) {
            *entry = std::move(*it);
            freeList.erase(it);
            return true;
        }
    }
    const size_t capacity = static_cast<size_t>(length) * 3 / 2;
    uint8_t* block = m_allocate ? m_allocate(capacity) : new (std::nothrow) uint8_t[capacity == 0 ? 1 : capacity];
    if (block == nullptr) {
        qor::DebugOutput("AddMp4VideoToList() call new() error.\n");
        return false;
    }
    ++m_allocations;
    entry->data.reset(block);
    entry->capacity = static_cast<uint32_t>(capacity);
    return true;
}

bool EncodedFrameQueue::AddMp4VideoToList(uint32_t flags, const uint8_t* data, uint32_t length, int32_t width,
                                          int32_t height, uint32_t timeStamp) {
    VideoQueueEntry entry;
    if (!TakeBlock(m_videoFree, length, &entry)) return false;
    if (length > 0) std::memcpy(entry.data.get(), data, length);
    entry.flags = flags;
    entry.width = width;
    entry.height = height;
    entry.timeStamp = timeStamp;
    entry.length = length;
    m_video.push_back(std::move(entry));
    return true;
}

bool EncodedFrameQueue::AddMp4VideoToList(uint32_t flags, const uint8_t* data, uint32_t length, uint32_t timeStamp) {
    AudioQueueEntry entry;
    if (!TakeBlock(m_audioFree, length, &entry)) return false;
    if (length > 0) std::memcpy(entry.data.get(), data, length);
    entry.flags = flags;
    entry.timeStamp = timeStamp;
    entry.length = length;
    m_audio.push_back(std::move(entry));
    return true;
}

bool EncodedFrameQueue::FlushQueues(bool final, const ChunkSink& video, const ChunkSink& audio) {
    bool stored = true;
    auto writeAudioFront = [&] {
        AudioQueueEntry& a = m_audio.front();
        stored = audio(a.flags, a.data.get(), a.length) && stored;
        if (!final) m_audioFree.push_back(std::move(a));
        m_audio.pop_front();
    };
    auto writeVideoFront = [&] {
        VideoQueueEntry& v = m_video.front();
        stored = video(v.flags, v.data.get(), v.length) && stored;
        if (!final) m_videoFree.push_back(std::move(v));
        m_video.pop_front();
    };

    if (!final) {
        while (!m_video.empty() && !m_audio.empty()) {
            const uint32_t videoTime = m_video.front().timeStamp;
            bool wroteAudio = false;
            uint32_t lastAudioTime = 0;
            while (!m_audio.empty() && m_audio.front().timeStamp <= videoTime) {
                lastAudioTime = m_audio.front().timeStamp;
                wroteAudio = true;
                writeAudioFront();
            }
            writeVideoFront();
            if (wroteAudio && Distance(lastAudioTime, videoTime) > kSyncWarningMs) {
                qor::DebugOutput("[QOR]audio/video may NOT synchronization!\n");
            }
        }
        return stored;
    }

    while (!m_video.empty()) {
        const uint32_t videoTime = m_video.front().timeStamp;
        while (!m_audio.empty() && m_audio.front().timeStamp <= videoTime) writeAudioFront();
        writeVideoFront();
    }
    while (!m_audio.empty()) writeAudioFront();
    return stored;
}

void EncodedFrameQueue::Clear() {
    m_video.clear();
    m_audio.clear();
    m_videoFree.clear();
    m_audioFree.clear();
}

}  // namespace vidorra
