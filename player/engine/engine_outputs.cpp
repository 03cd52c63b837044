#include "player/engine/engine_outputs.h"

#include "player/output/picture_delivery.h"

#include <cstring>
#include <thread>

namespace qor {

bool CallbackVideoOutput::Present(const VideoDecodeFrameInfo& picture) {
    PictureCallbacks callbacks;
    uint32_t uPlayerId;
    int iFrameRate;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_iPresented;
        m_uLastTime = picture.uTimeStamp;
        if (!m_bEnabled) return true;
        callbacks = {m_fpVideoDecodeCallBack, m_fpDecCallBack, m_uUserValue, m_pBlockBuffer};
        uPlayerId = m_settings.uPlayerId;
        iFrameRate = m_settings.iFrameRate;
    }
    DeliverPictureToCallbacks(uPlayerId, iFrameRate, picture, callbacks);
    return true;
}

bool CallbackVideoOutput::SetDisplayMode(int iMode) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings.iDisplayMode = iMode;
    return true;
}

bool CallbackVideoOutput::SetVideoWindow(NativeWindow hWnd, const DisplayRect* pRect) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings.hWnd = hWnd;
    m_settings.bHasRect = pRect != nullptr;
    if (pRect != nullptr) m_settings.rect = *pRect;
    return true;
}

void CallbackVideoOutput::EnableOutput(bool bEnable) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bEnabled = bEnable;
}

bool CallbackVideoOutput::Reinitialise(int iWidth, int iHeight, int iFrameRate) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_settings.iWidth = iWidth;
    m_settings.iHeight = iHeight;
    m_settings.iFrameRate = iFrameRate;
    return true;
}

void CallbackVideoOutput::SetVideoDecodeCallBack(VideoDecodeCallBack fpCallBack, uint32_t uUserValue) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_fpVideoDecodeCallBack = fpCallBack;
    m_uUserValue = uUserValue;
}

void CallbackVideoOutput::SetDecCallBack(DecCallBack fpCallBack, uint32_t uUserValue, uint8_t* pBlockBuffer) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_fpDecCallBack = fpCallBack;
    m_uUserValue = uUserValue;
    m_pBlockBuffer = pBlockBuffer;
}

int CallbackVideoOutput::PresentedCount() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_iPresented;
}

uint32_t CallbackVideoOutput::LastTimeStamp() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_uLastTime;
}

NullSoundOutput::NullSoundOutput(const WaveFormat& format, int iBufferBytes)
    : m_uBytesPerSecond(format.nAvgBytesPerSec), m_iCapacity(iBufferBytes > 0 ? iBufferBytes : 32768) {}

void NullSoundOutput::Drain() const {
    const auto now = std::chrono::steady_clock::now();
    if (m_bPlaying) {
        const double seconds = std::chrono::duration<double>(now - m_last).count();
        m_iQueued -= int64_t(seconds * double(m_uBytesPerSecond));
        if (m_iQueued < 0) m_iQueued = 0;
    }
    m_last = now;
}

bool NullSoundOutput::Write(const uint8_t*, uint32_t uLength) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_uWritten += uLength;
    if (m_uBytesPerSecond == 0) return true;
    Drain();
    // Wait, in short steps, for room; a pause or stop ends the wait at once.
    while (m_bPlaying && m_iQueued + int64_t(uLength) > m_iCapacity) {
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        lock.lock();
        Drain();
    }
    m_iQueued += uLength;
    return true;
}

void NullSoundOutput::Play() {
    std::lock_guard<std::mutex> guard(m_lock);
    Drain();
    m_bPlaying = true;
}

void NullSoundOutput::Pause() {
    std::lock_guard<std::mutex> guard(m_lock);
    Drain();
    m_bPlaying = false;
}

void NullSoundOutput::Stop() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bPlaying = false;
    m_iQueued = 0;
}

void NullSoundOutput::Reset() {
    std::lock_guard<std::mutex> guard(m_lock);
    Drain();
    m_iQueued = 0;
}

int NullSoundOutput::QueuedMilliseconds() const {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_uBytesPerSecond == 0) return 0;
    Drain();
    return int(m_iQueued * 1000 / int64_t(m_uBytesPerSecond));
}

uint64_t NullSoundOutput::BytesWritten() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_uWritten;
}

EngineOutputFactory HeadlessOutputFactory() {
    EngineOutputFactory factory;
    factory.makeVideoOutput = [](const VideoOutputSettings& settings) -> std::unique_ptr<EngineVideoOutput> {
        return std::make_unique<CallbackVideoOutput>(settings);
    };
    factory.makeSoundOutput = [](const WaveFormat& format, int iBufferBytes, int) -> std::unique_ptr<EngineSoundOutput> {
        return std::make_unique<NullSoundOutput>(format, iBufferBytes);
    };
    return factory;
}

}  // namespace qor
