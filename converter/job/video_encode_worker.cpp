#include "converter/job/video_encode_worker.h"

namespace vidorra {

VideoEncodeWorker::VideoEncodeWorker(size_t pictureBytes, size_t slots, EncodeFunction encode)
    : m_encode(std::move(encode)), m_buffers(slots == 0 ? 1 : slots, std::vector<uint8_t>(pictureBytes, 0)) {
    for (auto& buffer : m_buffers) m_free.push_back(buffer.data());
    m_thread = std::thread(&VideoEncodeWorker::Run, this);
}

VideoEncodeWorker::~VideoEncodeWorker() { Stop(); }

uint8_t* VideoEncodeWorker::Acquire() {
    std::unique_lock<std::mutex> lock(m_ringLock);
    m_changed.wait(lock, [this] { return m_stopping || !m_free.empty(); });
    if (m_stopping) return nullptr;
    uint8_t* buffer = m_free.back();
    m_free.pop_back();
    return buffer;
}

void VideoEncodeWorker::Submit(uint8_t* picture, const EncodeRequest& request) {
    {
        std::lock_guard<std::mutex> lock(m_ringLock);
        m_ready.emplace_back(picture, request);
    }
    m_changed.notify_all();
}

void VideoEncodeWorker::Discard(uint8_t* picture) {
    {
        std::lock_guard<std::mutex> lock(m_ringLock);
        m_free.push_back(picture);
    }
    m_changed.notify_all();
}

void VideoEncodeWorker::WaitIdle() {
    std::unique_lock<std::mutex> lock(m_ringLock);
    // Every buffer back in the free list: none is being packed, waits or is
    // being encoded.
    m_changed.wait(lock, [this] { return m_stopping || m_free.size() == m_buffers.size(); });
}

void VideoEncodeWorker::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_ringLock);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void VideoEncodeWorker::Run() {
    std::unique_lock<std::mutex> lock(m_ringLock);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_ready.empty(); });
        if (m_stopping) return;
        const auto [picture, request] = m_ready.front();
        m_ready.pop_front();
        lock.unlock();
        m_encode(picture, request);
        lock.lock();
        m_free.push_back(picture);
        m_changed.notify_all();
    }
}

}  // namespace vidorra
