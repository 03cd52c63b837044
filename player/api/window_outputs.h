// The outputs the library gives an engine whose player has a window: pictures
// drawn through CVideoPlayer on the SDL display service, sound played through
// CSound on the SDL sound device. Where either cannot start (no X display, no
// sound device) the engine gets the headless output instead, so a recording
// still plays and its callbacks still run.
//
// Threading: as EngineVideoOutput and EngineSoundOutput. The exported display
// and volume functions reach the extra operations below from caller threads
// under the library's table lock.
#pragma once

#include <memory>
#include <mutex>

#include "player/engine/engine_outputs.h"
#include "player/output/sound_output.h"
#include "player/output/video_player.h"

namespace qor::api {

class WindowVideoOutput : public EngineVideoOutput {
public:
    // Null when the display service or the output cannot start.
    static std::unique_ptr<WindowVideoOutput> Create(const VideoOutputSettings& settings);
    ~WindowVideoOutput() override;

    bool Present(const VideoDecodeFrameInfo& picture) override;
    bool Redraw() override;
    bool SetDisplayMode(int iMode) override;
    bool SetVideoWindow(NativeWindow hWnd, const DisplayRect* pRect) override;
    void EnableOutput(bool bEnable) override;
    bool Reinitialise(int iWidth, int iHeight, int iFrameRate) override;
    void SetVideoDecodeCallBack(VideoDecodeCallBack fpCallBack, uint32_t uUserValue) override;
    void SetDecCallBack(DecCallBack fpCallBack, uint32_t uUserValue, uint8_t* pBlockBuffer) override;

    bool ZoomInSrcRect(const DisplayRect& rect);
    void SetBrightness(int iValue);
    void SetContrast(int iValue);
    void SetSaturation(int iValue);
    bool CaptureBitmap(const char* pFileName);

private:
    WindowVideoOutput(std::unique_ptr<DisplayService> service, const VideoOutputSettings& settings);
    std::shared_ptr<CVideoPlayer> Player() const;
    std::shared_ptr<CVideoPlayer> MakePlayer(int iWidth, int iHeight, int iFrameRate);

    std::unique_ptr<DisplayService> m_pService;
    mutable std::mutex m_lock;  // the settings below and the player pointer; never held across a call into the player
    VideoOutputSettings m_settings;
    bool m_bEnabled = true;
    int m_iBrightness = 50, m_iContrast = 50, m_iSaturation = 50;
    bool m_bZoomed = false;
    DisplayRect m_zoom;
    VideoDecodeCallBack m_fpVideoDecodeCallBack = nullptr;
    uint32_t m_uVideoUser = 0;
    DecCallBack m_fpDecCallBack = nullptr;
    uint32_t m_uDecUser = 0;
    uint8_t* m_pBlockBuffer = nullptr;
    std::shared_ptr<CVideoPlayer> m_pPlayer;
};

class DeviceSoundOutput : public EngineSoundOutput {
public:
    // Null when the sound device cannot be opened.
    static std::unique_ptr<DeviceSoundOutput> Create(uint32_t uPlayerId, NativeWindow hWnd, const WaveFormat& format,
                                                     int iBufferBytes, int iBlocks);
    // The same over a given device (the null device in tests).
    static std::unique_ptr<DeviceSoundOutput> Create(std::unique_ptr<SoundDevice> device, uint32_t uPlayerId,
                                                     NativeWindow hWnd, const WaveFormat& format, int iBufferBytes,
                                                     int iBlocks);
    bool Write(const uint8_t* pPcm, uint32_t uLength) override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    void Reset() override;
    // The device buffer's unplayed bytes are the sound still to be heard.
    bool HasClock() const override { return m_uBytesPerSecond > 0; }
    int QueuedMilliseconds() const override;

    void SetVolume(int iVolume);
    int GetVolume();

private:
    DeviceSoundOutput(std::unique_ptr<CSound> sound, uint32_t uBytesPerSecond)
        : m_pSound(std::move(sound)), m_uBytesPerSecond(uBytesPerSecond) {}
    std::unique_ptr<CSound> m_pSound;
    const uint32_t m_uBytesPerSecond;
};

// Window outputs for a player with a window, headless ones otherwise.
EngineOutputFactory OutputFactoryFor(uint32_t uPlayerId, NativeWindow hWnd);

}  // namespace qor::api
