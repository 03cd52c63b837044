// A sound device without hardware: the looping buffer lives in memory and
// play advances with the clock (real time) or only when a test calls
// Advance. Also the shared looping-buffer logic the SDL backend plays from.
//
// Threading: as SoundDevice. LoopingSoundBuffer::Consume runs on the play
// thread; everything else on the owner's thread. One internal mutex guards
// the buffer bytes, positions, notifications and volume; it is held from
// Lock to Unlock.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sound_device.h"

namespace qor {

class LoopingSoundBuffer : public SoundBuffer {
public:
    LoopingSoundBuffer(const SoundFormat& format, uint32_t bytes);

    uint32_t Size() const override { return static_cast<uint32_t>(m_bytes.size()); }
    SoundResult Lock(uint32_t offset, uint32_t bytes, uint8_t** first, uint32_t* firstBytes, uint8_t** second,
                     uint32_t* secondBytes) override;
    void Unlock() override;
    SoundResult Play() override;
    SoundResult Stop() override;
    SoundResult SetPlayPosition(uint32_t offset) override;
    uint32_t PlayPosition() const override;
    SoundResult SetVolume(int hundredthsDb) override;
    SoundResult GetVolume(int* hundredthsDb) override;
    SoundResult Restore() override;
    SoundResult SetNotificationPositions(const std::vector<uint32_t>& offsets) override;
    bool TakeNotification(size_t index) override;
    void ResetNotification(size_t index) override;

    // Play side: fills out with the next bytes (silence while stopped),
    // applying the volume, and signals the positions passed.
    void Consume(uint8_t* out, uint32_t bytes);
    // Makes the buffer report itself lost until restored.
    void Lose() { m_lost = true; }
    bool IsPlaying() const { return m_playing; }
    const SoundFormat& Format() const { return m_format; }

protected:
    SoundFormat m_format;

private:
    mutable std::mutex m_mutex;
    std::vector<uint8_t> m_bytes;
    uint32_t m_playPosition = 0;
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_lost{false};
    int m_volume = kSoundVolumeFull;
    std::vector<uint32_t> m_notifyOffsets;
    std::vector<uint8_t> m_signalled;
};

class NullSoundDevice : public SoundDevice {
public:
    // Switches that make the device fail, for tests of the failure paths.
    struct Faults {
        bool open = false;
        bool cooperativeLevel = false;
        bool createBuffer = false;
        bool caps = false;
        bool notifications = false;
        uint32_t capsFlags = kSoundCapsPrimary16Bit;
    };

    // realTime: a clock thread plays the buffer at the format's byte rate;
    // otherwise play advances only through Advance.
    explicit NullSoundDevice(bool realTime = true);
    NullSoundDevice(bool realTime, const Faults& faults);
    ~NullSoundDevice() override;

    SoundResult Open() override;
    SoundResult SetCooperativeLevel(NativeWindow window) override;
    SoundResult GetCaps(uint32_t* flags) override;
    SoundResult CreateBuffer(const SoundFormat& format, uint32_t bytes, std::unique_ptr<SoundBuffer>* buffer) override;

    // The buffer made last (owned by its creator); null before.
    LoopingSoundBuffer* Buffer() const { return m_buffer; }
    // Plays bytes (when playing) and keeps them in Played().
    void Advance(uint32_t bytes);
    std::vector<uint8_t> Played() const;

private:
    class NullBuffer;
    void clockLoop();

    bool m_realTime;
    Faults m_faults;
    std::mutex m_bufferLock;  // the clock thread's use of m_buffer against its destruction
    LoopingSoundBuffer* m_buffer = nullptr;
    mutable std::mutex m_playedLock;
    std::vector<uint8_t> m_played;
    std::atomic<bool> m_stop{false};
    std::thread m_clock;
};

}  // namespace qor
