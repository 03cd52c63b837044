// CVideoPlayer: shows one player's decoded pictures in its window on every
// screen through the display service, or hands them to the application's
// display callbacks; applies brightness, contrast, saturation, zoom and the
// UYVY scale factors; serves snapshots.
//
// Threading: Present runs on the player's video thread; window, mode, zoom,
// adjustment, restore and snapshot calls come from application threads. All
// surface work and the current picture are guarded by one lock; the lock is
// not held while an application callback runs.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/display.h"
#include "player/api/qor_player_records.h"
#include "player/picture/color_converter.h"

namespace qor {

// What the video output needs to know of its player.
struct VideoPlayerSettings {
    uint32_t uPlayerId = 0;
    int iWidth = 0;          // picture size as the player reports it (528 stays 528)
    int iHeight = 0;
    int iFrameRate = 25;
    int iSurfaceFormat = kFormatRGB32;   // pixel format code of the picture surfaces
    NativeWindow hWnd = 0;
};

// Surface pixel format of a format code; false for codes without a row (7 and above).
bool SurfaceFormatForCode(int iCode, SurfaceFormat* format);
// The text naming a display failure, logged after a failing surface call.
const char* DisplayErrorText(DisplayResult result);

class CVideoPlayer {
public:
    enum Mode { kOffscreen = 0, kOverlay = 1 };
    static constexpr size_t kBlockBufferSize = 829440;

    CVideoPlayer(DisplayService* pService, const VideoPlayerSettings& settings);
    ~CVideoPlayer();
    CVideoPlayer(const CVideoPlayer&) = delete;
    CVideoPlayer& operator=(const CVideoPlayer&) = delete;

    // Initialises every screen and creates the picture surfaces (off-screen,
    // overlay when that fails). False when the output cannot work.
    bool Create();

    // Stores the picture as the current one, then delivers it to a callback
    // or draws it. The planes need stay valid only during the call.
    bool Present(const VideoDecodeFrameInfo& picture);
    // Draws the current picture again (after a window or zoom change).
    bool Redraw();

    bool SetDisplayMode(int iMode);
    bool SetVideoWindow(NativeWindow hWnd, const DisplayRect* pRect, bool bRedraw);
    bool ZoomInSrcRect(const DisplayRect& rect);
    void SetBrightness(int iValue);
    void SetContrast(int iValue);
    void SetSaturation(int iValue);
    void SetScaler(float fHScaler, float fVScaler);
    void EnableOutput(bool bEnable);
    bool RestoreAllSurface();

    // The application callbacks; a null function unregisters. The block
    // buffer (kBlockBufferSize bytes, owned by the caller) makes DecCallBack
    // receive planar pictures as one I420 block.
    void SetVideoDecodeCallBack(VideoDecodeCallBack fpCallBack, uint32_t uUserValue);
    void SetDecCallBack(DecCallBack fpCallBack, uint32_t uUserValue, uint8_t* pBlockBuffer);

    // Saves the current picture as a 24-bit bitmap into a file, a buffer of
    // BitmapFileSize() bytes, or both.
    bool CaptureBitmap(const char* pFileName, uint8_t* pBitmap);
    // Size of the bitmap CaptureBitmap writes for the current settings.
    size_t BitmapFileSize() const;

    int GetMode() const;
    DisplayRect GetSourceRect() const;
    DisplayRect GetDestinationRect() const;
    bool HasCurrentPicture() const;

private:
    struct Screen {
        ScreenInfo info;
        std::unique_ptr<DisplayDevice> device;
        std::unique_ptr<DisplaySurface> primary;
        std::unique_ptr<DisplaySurface> picture;
        uint32_t colorKey = 0;
    };
    // A private copy of the current picture, so that redraws and snapshots
    // never read decoder memory that has moved on.
    struct StoredPicture {
        bool valid = false;
        int iFormat = 0, iWidth = 0, iHeight = 0;
        uint32_t uTimeStamp = 0;
        std::vector<uint8_t> bytes;  // packed picture, or Y then U then V without padding
    };

    bool initDDraw(const std::vector<ScreenInfo>& screens);
    void releaseAll();
    void releasePictureSurfaces();
    bool createOffscreenSurface();
    bool createOverlaySurface();
    bool createSurfaces(SurfaceKind kind);
    bool learnColorKey(Screen& screen);
    bool lockForPitch(const char* pMessage);
    void storePicture(const VideoDecodeFrameInfo& picture);
    bool deliverToCallbacks(const VideoDecodeFrameInfo& picture);
    bool draw();
    bool convertInto(DisplaySurface& surface);
    bool displayOffscreenSurface();
    bool displayOverlaySurface();
    bool attachWindow();
    void recomputeSourceRect();
    int screenForWindow() const;
    bool convertForSnapshot(std::vector<uint8_t>* pixels, int* width, int* height, int* bytesPerPixel);

    DisplayService* m_pService;
    VideoPlayerSettings m_settings;
    mutable std::recursive_mutex m_lock;  // surfaces, picture, rectangles; re-entered by restore
    std::vector<Screen> m_screens;
    ColorConverter m_converter;
    int m_iBrightness = 50, m_iContrast = 50, m_iSaturation = 50;
    float m_fHScaler = 1.0f, m_fVScaler = 1.0f;
    int m_iMode = kOffscreen;
    bool m_bOutputEnabled = true;
    NativeWindow m_hWnd = 0;
    bool m_bHasDestination = false;
    bool m_bExplicitDestination = false;
    DisplayRect m_destinationRect;
    DisplayRect m_zoomRect;
    DisplayRect m_sourceRect;
    int m_iSurfacePitch = 0, m_iSurfaceWidth = 0, m_iSurfaceHeight = 0;
    StoredPicture m_current;

    std::mutex m_callbackLock;  // guards the callback registrations only
    VideoDecodeCallBack m_fpNewVideoDisplayCallBack = nullptr;
    DecCallBack m_fpVideoDisplayCallBack = nullptr;
    uint32_t m_uUserValue = 0;
    uint8_t* m_pBlockBuffer = nullptr;
};

}  // namespace qor
