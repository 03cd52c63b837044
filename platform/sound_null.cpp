#include "platform/sound_null.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace qor {

class NullSoundDevice::NullBuffer : public LoopingSoundBuffer {
public:
    NullBuffer(const SoundFormat& format, uint32_t bytes, bool failNotifications, NullSoundDevice* device)
        : LoopingSoundBuffer(format, bytes), m_failNotifications(failNotifications), m_device(device) {}
    ~NullBuffer() override {
        std::lock_guard<std::mutex> lock(m_device->m_bufferLock);
        if (m_device->m_buffer == this) m_device->m_buffer = nullptr;
    }
    SoundResult SetNotificationPositions(const std::vector<uint32_t>& offsets) override {
        if (m_failNotifications) return SoundResult::Failed;
        return LoopingSoundBuffer::SetNotificationPositions(offsets);
    }

private:
    bool m_failNotifications;
    NullSoundDevice* m_device;
};

LoopingSoundBuffer::LoopingSoundBuffer(const SoundFormat& format, uint32_t bytes)
    : m_format(format), m_bytes(bytes, format.bitsPerSample == 8 ? 0x80 : 0) {}

SoundResult LoopingSoundBuffer::Lock(uint32_t offset, uint32_t bytes, uint8_t** first, uint32_t* firstBytes,
                                     uint8_t** second, uint32_t* secondBytes) {
    if (m_lost) return SoundResult::BufferLost;
    const uint32_t size = Size();
    if (offset >= size || bytes > size) return SoundResult::Failed;
    m_mutex.lock();
    *first = m_bytes.data() + offset;
    *firstBytes = std::min(bytes, size - offset);
    *second = *firstBytes < bytes ? m_bytes.data() : nullptr;
    *secondBytes = bytes - *firstBytes;
    return SoundResult::Ok;
}

void LoopingSoundBuffer::Unlock() { m_mutex.unlock(); }

SoundResult LoopingSoundBuffer::Play() {
    if (m_lost) return SoundResult::BufferLost;
    m_playing = true;
    return SoundResult::Ok;
}

SoundResult LoopingSoundBuffer::Stop() {
    if (m_lost) return SoundResult::BufferLost;
    m_playing = false;
    return SoundResult::Ok;
}

SoundResult LoopingSoundBuffer::SetPlayPosition(uint32_t offset) {
    if (offset >= Size()) return SoundResult::Failed;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_playPosition = offset;
    return SoundResult::Ok;
}

uint32_t LoopingSoundBuffer::PlayPosition() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_playPosition;
}

SoundResult LoopingSoundBuffer::SetVolume(int hundredthsDb) {
    if (hundredthsDb < kSoundVolumeSilent || hundredthsDb > kSoundVolumeFull) return SoundResult::Failed;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_volume = hundredthsDb;
    return SoundResult::Ok;
}

SoundResult LoopingSoundBuffer::GetVolume(int* hundredthsDb) {
    std::lock_guard<std::mutex> lock(m_mutex);
    *hundredthsDb = m_volume;
    return SoundResult::Ok;
}

SoundResult LoopingSoundBuffer::Restore() {
    m_lost = false;
    return SoundResult::Ok;
}

SoundResult LoopingSoundBuffer::SetNotificationPositions(const std::vector<uint32_t>& offsets) {
    for (uint32_t o : offsets)
        if (o >= Size()) return SoundResult::Failed;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notifyOffsets = offsets;
    m_signalled.assign(offsets.size(), 0);
    return SoundResult::Ok;
}

bool LoopingSoundBuffer::TakeNotification(size_t index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_signalled.size() || !m_signalled[index]) return false;
    m_signalled[index] = 0;
    return true;
}

void LoopingSoundBuffer::ResetNotification(size_t index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < m_signalled.size()) m_signalled[index] = 0;
}

void LoopingSoundBuffer::Consume(uint8_t* out, uint32_t bytes) {
    const uint8_t silence = m_format.bitsPerSample == 8 ? 0x80 : 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    const uint32_t size = Size();
    if (!m_playing || m_lost || size == 0) {
        std::memset(out, silence, bytes);
        return;
    }
    for (uint32_t done = 0; done < bytes;) {
        const uint32_t piece = std::min(bytes - done, size - m_playPosition);
        std::memcpy(out + done, m_bytes.data() + m_playPosition, piece);
        for (size_t i = 0; i < m_notifyOffsets.size(); ++i)
            if (m_notifyOffsets[i] >= m_playPosition && m_notifyOffsets[i] < m_playPosition + piece) m_signalled[i] = 1;
        m_playPosition = (m_playPosition + piece) % size;
        done += piece;
    }
    // Full volume passes the samples through untouched.
    if (m_volume != kSoundVolumeFull) {
        const double gain = m_volume <= kSoundVolumeSilent ? 0.0 : std::pow(10.0, m_volume / 2000.0);
        if (m_format.bitsPerSample == 8) {
            for (uint32_t i = 0; i < bytes; ++i)
                out[i] = static_cast<uint8_t>(std::lround((out[i] - 128) * gain) + 128);
        } else {
            for (uint32_t i = 0; i + 1 < bytes; i += 2) {
                int16_t s;
                std::memcpy(&s, out + i, 2);
                s = static_cast<int16_t>(std::lround(s * gain));
                std::memcpy(out + i, &s, 2);
            }
        }
    }
}

NullSoundDevice::NullSoundDevice(bool realTime) : NullSoundDevice(realTime, Faults{}) {}

NullSoundDevice::NullSoundDevice(bool realTime, const Faults& faults) : m_realTime(realTime), m_faults(faults) {}

NullSoundDevice::~NullSoundDevice() {
    m_stop = true;
    if (m_clock.joinable()) m_clock.join();
}

SoundResult NullSoundDevice::Open() { return m_faults.open ? SoundResult::Failed : SoundResult::Ok; }

SoundResult NullSoundDevice::SetCooperativeLevel(NativeWindow) {
    return m_faults.cooperativeLevel ? SoundResult::Failed : SoundResult::Ok;
}

SoundResult NullSoundDevice::GetCaps(uint32_t* flags) {
    if (m_faults.caps) return SoundResult::Failed;
    *flags = m_faults.capsFlags;
    return SoundResult::Ok;
}

SoundResult NullSoundDevice::CreateBuffer(const SoundFormat& format, uint32_t bytes,
                                          std::unique_ptr<SoundBuffer>* buffer) {
    if (m_faults.createBuffer || bytes == 0 || format.channels <= 0 || format.samplesPerSecond <= 0 ||
        (format.bitsPerSample != 8 && format.bitsPerSample != 16))
        return SoundResult::Failed;
    auto made = std::make_unique<NullBuffer>(format, bytes, m_faults.notifications, this);
    {
        std::lock_guard<std::mutex> lock(m_bufferLock);
        m_buffer = made.get();
    }
    *buffer = std::move(made);
    if (m_realTime && !m_clock.joinable()) m_clock = std::thread([this] { clockLoop(); });
    return SoundResult::Ok;
}

void NullSoundDevice::Advance(uint32_t bytes) {
    std::lock_guard<std::mutex> bufferLock(m_bufferLock);
    if (!m_buffer) return;
    std::vector<uint8_t> out(bytes);
    const bool playing = m_buffer->IsPlaying();
    m_buffer->Consume(out.data(), bytes);
    if (!playing) return;
    std::lock_guard<std::mutex> lock(m_playedLock);
    m_played.insert(m_played.end(), out.begin(), out.end());
}

std::vector<uint8_t> NullSoundDevice::Played() const {
    std::lock_guard<std::mutex> lock(m_playedLock);
    return m_played;
}

void NullSoundDevice::clockLoop() {
    using Clock = std::chrono::steady_clock;
    auto last = Clock::now();
    double pending = 0;
    while (!m_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const auto now = Clock::now();
        std::lock_guard<std::mutex> lock(m_bufferLock);
        LoopingSoundBuffer* buffer = m_buffer;
        if (!buffer) {
            last = now;
            continue;
        }
        const SoundFormat& f = buffer->Format();
        const double rate = static_cast<double>(f.samplesPerSecond) * f.channels * (f.bitsPerSample / 8);
        pending += std::chrono::duration<double>(now - last).count() * rate;
        last = now;
        const uint32_t frame = static_cast<uint32_t>(f.channels * (f.bitsPerSample / 8));
        const uint32_t due = static_cast<uint32_t>(pending) / frame * frame;
        if (due == 0) continue;
        pending -= due;
        std::vector<uint8_t> scratch(due);
        buffer->Consume(scratch.data(), due);
    }
}

}  // namespace qor
