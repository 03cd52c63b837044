// The sound device the sound output plays through: one looping buffer of PCM
// that the device plays round and round, with notification positions that
// are signalled as play passes them, volume in hundredths of a decibel,
// play/stop/position, and restore after the buffer was lost.
//
// Backends: sound_sdl (SDL2 audio: a real device, or SDL's dummy and disk
// drivers) and sound_null (no device; play advances with the clock or by
// hand, for tests and machines without sound).
//
// Threading: a SoundDevice and its buffer are driven by one owner at a time
// (CSound serialises its calls under its own lock). The backend's play side
// runs on a thread of its own (the SDL audio thread, the null backend's
// clock thread) and shares the buffer with the owner under the backend's
// internal lock; notifications are set on that thread and read and cleared
// by the owner. Lock/Unlock pairs must not nest and must be short.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/display.h"  // NativeWindow

namespace qor {

enum class SoundResult { Ok, BufferLost, Failed };

struct SoundFormat {
    int channels = 1;
    int samplesPerSecond = 8000;
    int bitsPerSample = 16;    // 8 (unsigned) or 16 (signed little-endian)
};

// Device capability flags.
constexpr uint32_t kSoundCapsPrimary16Bit = 0x8;

constexpr int kSoundVolumeSilent = -10000;  // hundredths of a decibel
constexpr int kSoundVolumeFull = 0;

class SoundBuffer {
public:
    virtual ~SoundBuffer() = default;
    virtual uint32_t Size() const = 0;
    // Up to two pieces: the second is the wrap to the start of the buffer.
    virtual SoundResult Lock(uint32_t offset, uint32_t bytes, uint8_t** first, uint32_t* firstBytes, uint8_t** second,
                             uint32_t* secondBytes) = 0;
    virtual void Unlock() = 0;
    virtual SoundResult Play() = 0;   // looping
    virtual SoundResult Stop() = 0;
    virtual SoundResult SetPlayPosition(uint32_t offset) = 0;
    virtual uint32_t PlayPosition() const = 0;
    virtual SoundResult SetVolume(int hundredthsDb) = 0;
    virtual SoundResult GetVolume(int* hundredthsDb) = 0;
    virtual SoundResult Restore() = 0;
    // Each offset is signalled when play passes it.
    virtual SoundResult SetNotificationPositions(const std::vector<uint32_t>& offsets) = 0;
    // True once per signal: reading clears it (an auto-reset event).
    virtual bool TakeNotification(size_t index) = 0;
    virtual void ResetNotification(size_t index) = 0;
};

class SoundDevice {
public:
    virtual ~SoundDevice() = default;
    // Opens the default output device.
    virtual SoundResult Open() = 0;
    virtual SoundResult SetCooperativeLevel(NativeWindow window) = 0;
    virtual SoundResult GetCaps(uint32_t* flags) = 0;
    virtual SoundResult CreateBuffer(const SoundFormat& format, uint32_t bytes,
                                     std::unique_ptr<SoundBuffer>* buffer) = 0;
};

// The sound device for a player: SDL2 audio, falling back to the clocked
// null device where no sound device can be opened (decoded audio then still
// reaches callbacks, and playback keeps its pace).
std::unique_ptr<SoundDevice> CreateSoundDevice();

}  // namespace qor
