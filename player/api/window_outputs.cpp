#include "player/api/window_outputs.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/debug_output.h"
#include "platform/display_sdl.h"
#include "platform/sound_sdl.h"

namespace qor::api {

namespace {
// A sound block that finds the device full waits this long for room before
// it is given up, so that a stalled device cannot hold up a stopping engine.
constexpr int kSoundWriteWaitMs = 500;
}  // namespace

WindowVideoOutput::WindowVideoOutput(std::unique_ptr<DisplayService> service, const VideoOutputSettings& settings)
    : m_pService(std::move(service)), m_settings(settings) {}

WindowVideoOutput::~WindowVideoOutput() {
    // The player's surfaces go before the service that made them.
    std::shared_ptr<CVideoPlayer> player;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        player = std::move(m_pPlayer);
    }
    player.reset();
}

std::unique_ptr<WindowVideoOutput> WindowVideoOutput::Create(const VideoOutputSettings& settings) {
    auto service = std::make_unique<SdlDisplayService>();
    if (!service->IsAvailable()) return nullptr;
    std::unique_ptr<WindowVideoOutput> output(new WindowVideoOutput(std::move(service), settings));
    std::shared_ptr<CVideoPlayer> player = output->MakePlayer(settings.iWidth, settings.iHeight, settings.iFrameRate);
    if (!player) return nullptr;
    output->m_pPlayer = std::move(player);
    return output;
}

std::shared_ptr<CVideoPlayer> WindowVideoOutput::MakePlayer(int iWidth, int iHeight, int iFrameRate) {
    VideoPlayerSettings playerSettings;
    VideoOutputSettings settings;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        settings = m_settings;
    }
    playerSettings.uPlayerId = settings.uPlayerId;
    playerSettings.iWidth = iWidth;
    playerSettings.iHeight = iHeight;
    playerSettings.iFrameRate = iFrameRate;
    playerSettings.hWnd = settings.hWnd;
    auto player = std::make_shared<CVideoPlayer>(m_pService.get(), playerSettings);
    if (!player->Create()) return nullptr;
    return player;
}

std::shared_ptr<CVideoPlayer> WindowVideoOutput::Player() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pPlayer;
}

bool WindowVideoOutput::Present(const VideoDecodeFrameInfo& picture) {
    std::shared_ptr<CVideoPlayer> player = Player();
    return player && player->Present(picture);
}

bool WindowVideoOutput::Redraw() {
    std::shared_ptr<CVideoPlayer> player = Player();
    return player && player->Redraw();
}

bool WindowVideoOutput::SetDisplayMode(int iMode) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_settings.iDisplayMode = iMode;
    }
    std::shared_ptr<CVideoPlayer> player = Player();
    return player && player->SetDisplayMode(iMode);
}

bool WindowVideoOutput::SetVideoWindow(NativeWindow hWnd, const DisplayRect* pRect) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_settings.hWnd = hWnd;
        m_settings.bHasRect = pRect != nullptr;
        if (pRect != nullptr) m_settings.rect = *pRect;
    }
    std::shared_ptr<CVideoPlayer> player = Player();
    return player && player->SetVideoWindow(hWnd, pRect, true);
}

void WindowVideoOutput::EnableOutput(bool bEnable) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bEnabled = bEnable;
    }
    if (std::shared_ptr<CVideoPlayer> player = Player()) player->EnableOutput(bEnable);
}

bool WindowVideoOutput::Reinitialise(int iWidth, int iHeight, int iFrameRate) {
    // A new picture size needs new surfaces: build a fresh output and carry
    // every setting over to it.
    std::shared_ptr<CVideoPlayer> player = MakePlayer(iWidth, iHeight, iFrameRate);
    if (!player) return false;
    VideoOutputSettings settings;
    bool bEnabled, bZoomed;
    int iBrightness, iContrast, iSaturation;
    DisplayRect zoom;
    VideoDecodeCallBack fpVideo;
    uint32_t uVideoUser, uDecUser;
    DecCallBack fpDec;
    uint8_t* pBlock;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        settings = m_settings;
        bEnabled = m_bEnabled;
        bZoomed = m_bZoomed;
        zoom = m_zoom;
        iBrightness = m_iBrightness;
        iContrast = m_iContrast;
        iSaturation = m_iSaturation;
        fpVideo = m_fpVideoDecodeCallBack;
        uVideoUser = m_uVideoUser;
        fpDec = m_fpDecCallBack;
        uDecUser = m_uDecUser;
        pBlock = m_pBlockBuffer;
        m_settings.iWidth = iWidth;
        m_settings.iHeight = iHeight;
        m_settings.iFrameRate = iFrameRate;
    }
    player->SetDisplayMode(settings.iDisplayMode);
    player->SetVideoWindow(settings.hWnd, settings.bHasRect ? &settings.rect : nullptr, false);
    player->SetBrightness(iBrightness);
    player->SetContrast(iContrast);
    player->SetSaturation(iSaturation);
    if (bZoomed) player->ZoomInSrcRect(zoom);
    player->EnableOutput(bEnabled);
    player->SetVideoDecodeCallBack(fpVideo, uVideoUser);
    player->SetDecCallBack(fpDec, uDecUser, pBlock);
    std::shared_ptr<CVideoPlayer> old;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        old = std::move(m_pPlayer);
        m_pPlayer = std::move(player);
    }
    return true;
}

void WindowVideoOutput::SetVideoDecodeCallBack(VideoDecodeCallBack fpCallBack, uint32_t uUserValue) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_fpVideoDecodeCallBack = fpCallBack;
        m_uVideoUser = uUserValue;
    }
    if (std::shared_ptr<CVideoPlayer> player = Player()) player->SetVideoDecodeCallBack(fpCallBack, uUserValue);
}

void WindowVideoOutput::SetDecCallBack(DecCallBack fpCallBack, uint32_t uUserValue, uint8_t* pBlockBuffer) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_fpDecCallBack = fpCallBack;
        m_uDecUser = uUserValue;
        m_pBlockBuffer = pBlockBuffer;
    }
    if (std::shared_ptr<CVideoPlayer> player = Player()) player->SetDecCallBack(fpCallBack, uUserValue, pBlockBuffer);
}

bool WindowVideoOutput::ZoomInSrcRect(const DisplayRect& rect) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bZoomed = true;
        m_zoom = rect;
    }
    std::shared_ptr<CVideoPlayer> player = Player();
    return player && player->ZoomInSrcRect(rect);
}

void WindowVideoOutput::SetBrightness(int iValue) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_iBrightness = iValue;
    }
    if (std::shared_ptr<CVideoPlayer> player = Player()) player->SetBrightness(iValue);
}

void WindowVideoOutput::SetContrast(int iValue) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_iContrast = iValue;
    }
    if (std::shared_ptr<CVideoPlayer> player = Player()) player->SetContrast(iValue);
}

void WindowVideoOutput::SetSaturation(int iValue) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_iSaturation = iValue;
    }
    if (std::shared_ptr<CVideoPlayer> player = Player()) player->SetSaturation(iValue);
}

bool WindowVideoOutput::CaptureBitmap(const char* pFileName) {
    std::shared_ptr<CVideoPlayer> player = Player();
    return player && player->CaptureBitmap(pFileName, nullptr);
}

std::unique_ptr<DeviceSoundOutput> DeviceSoundOutput::Create(uint32_t uPlayerId, NativeWindow hWnd,
                                                             const WaveFormat& format, int iBufferBytes, int iBlocks) {
    return Create(std::make_unique<SdlSoundDevice>(), uPlayerId, hWnd, format, iBufferBytes, iBlocks);
}

std::unique_ptr<DeviceSoundOutput> DeviceSoundOutput::Create(std::unique_ptr<SoundDevice> device, uint32_t uPlayerId,
                                                             NativeWindow hWnd, const WaveFormat& format,
                                                             int iBufferBytes, int iBlocks) {
    QorWaveFormat wave;
    static_assert(sizeof wave == sizeof format, "both wave format records are 18 bytes");
    std::memcpy(&wave, &format, sizeof wave);
    auto sound = std::make_unique<CSound>(std::move(device), hWnd, wave, static_cast<uint32_t>(iBufferBytes), iBlocks,
                                          uPlayerId);
    if (!sound->Create()) return nullptr;
    return std::unique_ptr<DeviceSoundOutput>(new DeviceSoundOutput(std::move(sound), format.nAvgBytesPerSec));
}

int DeviceSoundOutput::QueuedMilliseconds() const {
    if (m_uBytesPerSecond == 0) return 0;
    return static_cast<int>(uint64_t(m_pSound->QueuedBytes()) * 1000 / m_uBytesPerSecond);
}

bool DeviceSoundOutput::Write(const uint8_t* pPcm, uint32_t uLength) {
    uint32_t taken = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSoundWriteWaitMs);
    while (taken < uLength) {
        taken += m_pSound->Write(pPcm + taken, uLength - taken, 0);
        if (taken >= uLength) break;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void DeviceSoundOutput::Play() { m_pSound->Play(); }
// The device has no pause of its own: stopping keeps the buffer and its position.
void DeviceSoundOutput::Pause() { m_pSound->Stop(); }
void DeviceSoundOutput::Stop() { m_pSound->Stop(); }
void DeviceSoundOutput::Reset() { m_pSound->Reset(); }
void DeviceSoundOutput::SetVolume(int iVolume) { m_pSound->SetVolume(iVolume); }
int DeviceSoundOutput::GetVolume() { return m_pSound->GetVolume(); }

EngineOutputFactory OutputFactoryFor(uint32_t uPlayerId, NativeWindow hWnd) {
    EngineOutputFactory headless = HeadlessOutputFactory();
    if (hWnd == 0) return headless;
    EngineOutputFactory factory;
    factory.makeVideoOutput = [headless](const VideoOutputSettings& settings) -> std::unique_ptr<EngineVideoOutput> {
        if (std::unique_ptr<WindowVideoOutput> output = WindowVideoOutput::Create(settings)) return output;
        DebugOutput("[QOR]no display for window 0x%llx, pictures go to the callbacks only.\n",
                    static_cast<unsigned long long>(settings.hWnd));
        return headless.makeVideoOutput(settings);
    };
    factory.makeSoundOutput = [headless, uPlayerId, hWnd](const WaveFormat& format, int iBufferBytes,
                                                         int iBlocks) -> std::unique_ptr<EngineSoundOutput> {
        if (auto output = DeviceSoundOutput::Create(uPlayerId, hWnd, format, iBufferBytes, iBlocks)) return output;
        return headless.makeSoundOutput(format, iBufferBytes, iBlocks);
    };
    return factory;
}

}  // namespace qor::api
