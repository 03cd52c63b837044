// What the engine needs from its video output and its sound output, and the
// factory that makes them. The library interface hands the engine a factory
// over the real outputs; without one the engine uses the headless outputs
// below, which deliver pictures and sound to the registered decode callbacks
// and otherwise only remember the latest picture.
//
// Threading: Present and Write run on the engine's video and audio threads
// (or on the caller's thread while a seek or step holds the threads parked).
// Settings come from caller threads. Implementations guard their own state
// and never hold a lock while calling back into the application.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/display.h"
#include "player/api/qor_player_records.h"
#include "player/decoding/wave_format.h"

namespace qor {

struct VideoOutputSettings {
    uint32_t uPlayerId = 0;
    int iWidth = 0;
    int iHeight = 0;
    int iFrameRate = 25;
    int iDisplayMode = 0;
    NativeWindow hWnd = 0;
    DisplayRect rect;
    bool bHasRect = false;
};

class EngineVideoOutput {
public:
    virtual ~EngineVideoOutput() = default;
    // Stores the picture as the current one and delivers it to a callback or
    // draws it; the planes need stay valid only during the call.
    virtual bool Present(const VideoDecodeFrameInfo& picture) = 0;
    virtual bool Redraw() = 0;
    virtual bool SetDisplayMode(int iMode) = 0;
    virtual bool SetVideoWindow(NativeWindow hWnd, const DisplayRect* pRect) = 0;
    virtual void EnableOutput(bool bEnable) = 0;
    // A new picture format (a file header with another size).
    virtual bool Reinitialise(int iWidth, int iHeight, int iFrameRate) = 0;
    virtual void SetVideoDecodeCallBack(VideoDecodeCallBack fpCallBack, uint32_t uUserValue) = 0;
    virtual void SetDecCallBack(DecCallBack fpCallBack, uint32_t uUserValue, uint8_t* pBlockBuffer) = 0;
};

class EngineSoundOutput {
public:
    virtual ~EngineSoundOutput() = default;
    // Plays one block of PCM; may wait briefly while the device is full.
    virtual bool Write(const uint8_t* pPcm, uint32_t uLength) = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual void Reset() = 0;
    // Whether QueuedMilliseconds tells how much written sound is still to be
    // heard; without it the engine does not steer pictures by the sound.
    virtual bool HasClock() const { return false; }
    virtual int QueuedMilliseconds() const { return 0; }
};

struct EngineOutputFactory {
    std::function<std::unique_ptr<EngineVideoOutput>(const VideoOutputSettings&)> makeVideoOutput;
    // bufferBytes / blocks: 32768 in 8 for files, 4096 in 2 for streams.
    std::function<std::unique_ptr<EngineSoundOutput>(const WaveFormat&, int iBufferBytes, int iBlocks)> makeSoundOutput;
};

// Delivers pictures to the decode callbacks by the library's delivery rules
// (the video decode callback wins; DecCallBack gets planar pictures as one
// block when a block buffer is given) and draws nothing.
class CallbackVideoOutput : public EngineVideoOutput {
public:
    explicit CallbackVideoOutput(const VideoOutputSettings& settings) : m_settings(settings) {}
    bool Present(const VideoDecodeFrameInfo& picture) override;
    bool Redraw() override { return true; }
    bool SetDisplayMode(int iMode) override;
    bool SetVideoWindow(NativeWindow hWnd, const DisplayRect* pRect) override;
    void EnableOutput(bool bEnable) override;
    bool Reinitialise(int iWidth, int iHeight, int iFrameRate) override;
    void SetVideoDecodeCallBack(VideoDecodeCallBack fpCallBack, uint32_t uUserValue) override;
    void SetDecCallBack(DecCallBack fpCallBack, uint32_t uUserValue, uint8_t* pBlockBuffer) override;

    int PresentedCount() const;
    uint32_t LastTimeStamp() const;

private:
    mutable std::mutex m_lock;  // settings, callbacks and counters; never held across a callback
    VideoOutputSettings m_settings;
    bool m_bEnabled = true;
    VideoDecodeCallBack m_fpVideoDecodeCallBack = nullptr;
    DecCallBack m_fpDecCallBack = nullptr;
    uint32_t m_uUserValue = 0;
    uint8_t* m_pBlockBuffer = nullptr;
    int m_iPresented = 0;
    uint32_t m_uLastTime = 0;
};

// Plays sound into nothing at the rate of a real device: Write waits while
// the buffer is full and the buffer drains in real time while playing, so
// that the audio clock it reports behaves as a sound card's would.
class NullSoundOutput : public EngineSoundOutput {
public:
    NullSoundOutput(const WaveFormat& format, int iBufferBytes);
    bool Write(const uint8_t* pPcm, uint32_t uLength) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    void Reset() override;
    bool HasClock() const override { return m_uBytesPerSecond > 0; }
    int QueuedMilliseconds() const override;
    uint64_t BytesWritten() const;

private:
    void Drain() const;  // under m_lock

    const uint32_t m_uBytesPerSecond;
    const int64_t m_iCapacity;
    mutable std::mutex m_lock;  // everything below
    mutable int64_t m_iQueued = 0;
    mutable std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
    bool m_bPlaying = true;
    uint64_t m_uWritten = 0;
};

EngineOutputFactory HeadlessOutputFactory();

}  // namespace qor
