#include "player/output/video_player.h"

#include "player/output/picture_delivery.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <chrono>
#include <cstddef>
#include <thread>

#include "platform/debug_output.h"

namespace qor {
namespace {

constexpr uint32_t kMagenta = 0xFF00FF;  // colour reference 0x00BBGGRR
constexpr int kLockRetries = 1000;       // 1 ms apart: a busy primary gets a second

int PackedBytesPerPixel(int format) {
    switch (format) {
    case kFormatRGB32: return 4;
    case kFormatRGB24: return 3;
    default: return 2;
    }
}

// RGB24 conversions come out bottom-up, as bitmaps want them; a display
// surface is top-down, so its picture is turned the right way up.
void flipRows(uint8_t* pixels, int pitch, int rowBytes, int height) {
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = pixels + static_cast<ptrdiff_t>(top) * pitch;
        uint8_t* b = pixels + static_cast<ptrdiff_t>(bottom) * pitch;
        std::memcpy(row.data(), a, row.size());
        std::memcpy(a, b, row.size());
        std::memcpy(b, row.data(), row.size());
    }
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

}  // namespace

bool SurfaceFormatForCode(int iCode, SurfaceFormat* format) {
    switch (iCode) {
    case 0: *format = {MakeFourcc('Y', 'V', '1', '2'), 12, 0, 0, 0}; return true;
    case 1: *format = {MakeFourcc('U', 'Y', 'V', 'Y'), 16, 0, 0, 0}; return true;
    case 2: *format = {MakeFourcc('Y', 'U', 'Y', '2'), 16, 0, 0, 0}; return true;
    case 3: *format = {0, 32, 0xFF0000, 0x00FF00, 0x0000FF}; return true;
    case 4: *format = {0, 24, 0xFF0000, 0x00FF00, 0x0000FF}; return true;
    case 5: *format = {0, 16, 0xF800, 0x07E0, 0x001F}; return true;
    case 6: *format = {0, 16, 0x7C00, 0x03E0, 0x001F}; return true;
    default: return false;
    }
}

const char* DisplayErrorText(DisplayResult result) {
    switch (result) {
    case DisplayResult::InvalidParams: return "[QOR]DDraw error msg: DDERR_INVALIDPARAMS.\n";
    case DisplayResult::Generic: return "[QOR]DDraw error msg: DDERR_GENERIC.\n";
    case DisplayResult::Unsupported: return "[QOR]DDraw error msg: DDERR_UNSUPPORTED.\n";
    case DisplayResult::HeightAlign: return "[QOR]DDraw error msg: DDERR_HEIGHTALIGN.\n";
    case DisplayResult::InvalidRect: return "[QOR]DDraw error msg: DDERR_INVALIDRECT.\n";
    case DisplayResult::InvalidObject: return "[QOR]DDraw error msg: DDERR_INVALIDOBJECT.\n";
    case DisplayResult::NoStretchHardware: return "[QOR]DDraw error msg: DDERR_NOSTRETCHHW.\n";
    case DisplayResult::XAlign: return "[QOR]DDraw error msg: DDERR_XALIGN.\n";
    case DisplayResult::SurfaceLost: return "[QOR]DDraw error msg: DDERR_SURFACELOST.\n";
    case DisplayResult::OutOfCaps: return "[QOR]DDraw error msg: DDERR_OUTOFCAPS.\n";
    case DisplayResult::NotOverlaySurface: return "[QOR]DDraw error msg: DDERR_NOTAOVERLAYSURFACE.\n";
    case DisplayResult::DeviceDoesntOwnSurface: return "[QOR]DDraw error msg: DDERR_DEVICEDOESNTOWNSURFACE.\n";
    case DisplayResult::InvalidSurfaceType: return "[QOR]DDraw error msg: DDERR_INVALIDSURFACETYPE.\n";
    default: return "[QOR]DDraw error msg: unknown.\n";
    }
}

CVideoPlayer::CVideoPlayer(DisplayService* pService, const VideoPlayerSettings& settings)
    : m_pService(pService), m_settings(settings), m_hWnd(settings.hWnd) {
    m_converter.SetAdjustments(50, 50, 50);
    m_zoomRect = DisplayRect{0, 0, settings.iWidth, settings.iHeight};
    m_sourceRect = m_zoomRect;
}

CVideoPlayer::~CVideoPlayer() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    releaseAll();
}

bool CVideoPlayer::Create() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pService || !initDDraw(m_pService->EnumerateScreens())) {
        DebugOutput("[QOR]call InitDDraw(.) in CreateVideoPlayer(.) error!\n");
        releaseAll();
        return false;
    }
    if (createOffscreenSurface()) {
        m_iMode = kOffscreen;
        return true;
    }
    DebugOutput("[QOR]call CreateOffscreenSurface(.) error.\n");
    if (createOverlaySurface()) {
        m_iMode = kOverlay;
        return true;
    }
    DebugOutput("[QOR]call CreateOverlaySurface(.) error.\n");
    releaseAll();
    return false;
}

bool CVideoPlayer::initDDraw(const std::vector<ScreenInfo>& screens) {
    if (screens.empty()) return false;
    for (const ScreenInfo& info : screens) {
        Screen screen;
        screen.info = info;
        if (m_pService->CreateDevice(info, &screen.device) != DisplayResult::Ok || !screen.device) {
            DebugOutput("[QOR]call DirectDrawCreateEx(.) error.\n");
            return false;
        }
        if (screen.device->SetNormalCooperativeLevel() != DisplayResult::Ok) {
            DebugOutput("[QOR]call SetCooperativeLevel(.) error.\n");
            return false;
        }
        if (screen.device->CreateClipper() != DisplayResult::Ok) {
            DebugOutput("[QOR]call m_lpDDraw7->CreateClipper(.) error.\n");
            return false;
        }
        m_screens.push_back(std::move(screen));
    }
    for (Screen& screen : m_screens) {
        DisplayResult result = screen.device->CreatePrimarySurface(&screen.primary);
        if (result != DisplayResult::Ok || !screen.primary) {
            DebugOutput("[QOR]call m_lpDDraw7->CreateSurface(.) error.\n");
            DebugOutput("[QOR]call CreatePrimarySurface(.) error.\n");
            return false;
        }
    }
    return true;
}

void CVideoPlayer::releasePictureSurfaces() {
    for (Screen& screen : m_screens) screen.picture.reset();
}

void CVideoPlayer::releaseAll() {
    // Surfaces, then clippers and primaries, then the devices.
    releasePictureSurfaces();
    for (Screen& screen : m_screens) screen.primary.reset();
    for (Screen& screen : m_screens) screen.device.reset();
    m_screens.clear();
}

bool CVideoPlayer::createSurfaces(SurfaceKind kind) {
    SurfaceFormat format;
    if (!SurfaceFormatForCode(m_settings.iSurfaceFormat, &format)) {
        DebugOutput(kind == SurfaceKind::Offscreen ? "[QOR]No supportted offscreen surface mode error.\n"
                                                   : "[QOR]No supportted overlay surface modules error.\n");
        return false;
    }
    int created = 0;
    for (size_t i = 0; i < m_screens.size(); ++i) {
        Screen& screen = m_screens[i];
        screen.picture.reset();
        DisplayResult result =
            screen.device->CreateSurface(kind, m_settings.iWidth, m_settings.iHeight, format, &screen.picture);
        if (result != DisplayResult::Ok || !screen.picture) {
            // That screen shows nothing; the others still work.
            screen.picture.reset();
            DebugOutput("[QOR]m_lpDDraw7[%d]->CreateSurface() error.\n", static_cast<int>(i));
            DebugOutput("%s", DisplayErrorText(result));
            continue;
        }
        ++created;
    }
    if (created == 0) {
        DebugOutput("[QOR][QOR]m_lpDDraw7[all]->CreateSurface() error..\n");
        return false;
    }
    return lockForPitch(kind == SurfaceKind::Offscreen ? "[QOR]call offscreen surface's lock(.) error.\n"
                                                       : "[QOR]call overlay surface's lock(.) error.\n");
}

bool CVideoPlayer::lockForPitch(const char* pMessage) {
    for (Screen& screen : m_screens) {
        if (!screen.picture) continue;
        SurfaceLock lock;
        if (screen.picture->Lock(&lock) != DisplayResult::Ok) {
            DebugOutput("%s", pMessage);
            releasePictureSurfaces();
            return false;
        }
        m_iSurfacePitch = lock.pitch;
        m_iSurfaceWidth = lock.width;
        m_iSurfaceHeight = lock.height;
        screen.picture->Unlock();
        recomputeSourceRect();
        return true;
    }
    return false;
}

bool CVideoPlayer::createOffscreenSurface() { return createSurfaces(SurfaceKind::Offscreen); }

bool CVideoPlayer::learnColorKey(Screen& screen) {
    screen.device->DrawPixel(*screen.primary, 0, 0, kMagenta);
    SurfaceLock lock;
    DisplayResult result = DisplayResult::StillDrawing;
    for (int attempt = 0; attempt < kLockRetries && result == DisplayResult::StillDrawing; ++attempt) {
        result = screen.primary->Lock(&lock);
        if (result == DisplayResult::StillDrawing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (result == DisplayResult::Ok) {
        const int bits = screen.primary->Format().bitsPerPixel;
        uint32_t pixel = 0;
        std::memcpy(&pixel, lock.pixels, static_cast<size_t>(std::clamp((bits + 7) / 8, 1, 4)));
        screen.colorKey = bits >= 32 ? pixel : pixel & ((1u << bits) - 1);
        screen.primary->Unlock();
    }
    if (screen.device->SetOverlayColorKey(*screen.primary, screen.colorKey) != DisplayResult::Ok) {
        DebugOutput("[QOR]call m_lpDDraw7->SetColorKey(.) error.\n");
        return false;
    }
    return true;
}

bool CVideoPlayer::createOverlaySurface() {
    if (m_settings.iWidth == 0 || m_settings.iHeight == 0) {
        DebugOutput("[QOR]overlay surface's size error.\n");
        return false;
    }
    for (Screen& screen : m_screens)
        if (!learnColorKey(screen)) return false;
    return createSurfaces(SurfaceKind::Overlay);
}

void CVideoPlayer::SetVideoDecodeCallBack(VideoDecodeCallBack fpCallBack, uint32_t uUserValue) {
    std::lock_guard<std::mutex> lock(m_callbackLock);
    m_fpNewVideoDisplayCallBack = fpCallBack;
    m_uUserValue = uUserValue;
}

void CVideoPlayer::SetDecCallBack(DecCallBack fpCallBack, uint32_t uUserValue, uint8_t* pBlockBuffer) {
    std::lock_guard<std::mutex> lock(m_callbackLock);
    m_fpVideoDisplayCallBack = fpCallBack;
    m_uUserValue = uUserValue;
    m_pBlockBuffer = pBlockBuffer;
}

void CVideoPlayer::storePicture(const VideoDecodeFrameInfo& picture) {
    StoredPicture& s = m_current;
    s.iFormat = picture.iFormat;
    s.iWidth = picture.iWidth;
    s.iHeight = picture.iHeight;
    s.uTimeStamp = picture.uTimeStamp;
    s.valid = false;
    if (picture.iWidth <= 0 || picture.iHeight <= 0) return;
    if (picture.iFormat == QOR_PICTURE_PLANAR_YUV420) {
        if (!picture.pY || !picture.pU || !picture.pV) return;
        const int w = picture.iWidth, h = picture.iHeight, cw = (w + 1) / 2, ch = (h + 1) / 2;
        s.bytes.resize(static_cast<size_t>(w) * h + 2 * static_cast<size_t>(cw) * ch);
        uint8_t* out = s.bytes.data();
        for (int r = 0; r < h; ++r, out += w) std::memcpy(out, picture.pY + static_cast<ptrdiff_t>(r) * picture.iYStride, w);
        for (int r = 0; r < ch; ++r, out += cw) std::memcpy(out, picture.pU + static_cast<ptrdiff_t>(r) * picture.iUStride, cw);
        for (int r = 0; r < ch; ++r, out += cw) std::memcpy(out, picture.pV + static_cast<ptrdiff_t>(r) * picture.iVStride, cw);
    } else {
        const size_t need = static_cast<size_t>(picture.iWidth) * picture.iHeight * PackedBytesPerPixel(picture.iFormat);
        if (!picture.pPackedData || picture.uPackedLength < need) return;
        s.bytes.assign(picture.pPackedData, picture.pPackedData + need);
    }
    s.valid = true;
}

bool CVideoPlayer::deliverToCallbacks(const VideoDecodeFrameInfo& picture) {
    PictureCallbacks callbacks;
    {
        std::lock_guard<std::mutex> lock(m_callbackLock);
        callbacks = {m_fpNewVideoDisplayCallBack, m_fpVideoDisplayCallBack, m_uUserValue, m_pBlockBuffer};
    }
    return DeliverPictureToCallbacks(m_settings.uPlayerId, picture.iFrameRate, picture, callbacks);
}

bool CVideoPlayer::Present(const VideoDecodeFrameInfo& picture) {
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        storePicture(picture);
    }
    if (deliverToCallbacks(picture)) return true;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return draw();
}

bool CVideoPlayer::Redraw() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return draw();
}

bool CVideoPlayer::draw() {
    if (!m_current.valid || !m_bOutputEnabled) return true;
    if (!m_hWnd && !m_bHasDestination) return true;
    if (m_hWnd && !m_pService->IsWindowVisible(m_hWnd)) return true;
    for (Screen& screen : m_screens) {
        if (screen.picture && screen.picture->IsLost()) {
            DebugOutput("[QOR]ddrawSurface lost now.\n");
            return RestoreAllSurface();
        }
    }
    bool converted = false;
    for (Screen& screen : m_screens)
        if (screen.picture && convertInto(*screen.picture)) converted = true;
    if (!converted) return false;
    return m_iMode == kOverlay ? displayOverlaySurface() : displayOffscreenSurface();
}

bool CVideoPlayer::convertInto(DisplaySurface& surface) {
    SurfaceLock lock;
    if (surface.Lock(&lock) != DisplayResult::Ok) return false;
    const StoredPicture& p = m_current;
    // Never write beyond the surface even if the picture grew.
    const int width = std::min(p.iWidth, lock.width), height = std::min(p.iHeight, lock.height);
    const int code = m_settings.iSurfaceFormat;
    bool ok = false;
    if (p.iFormat == QOR_PICTURE_PLANAR_YUV420) {
        const int cw = (p.iWidth + 1) / 2, ch = (p.iHeight + 1) / 2;
        PlanarSource source{p.bytes.data(), p.bytes.data() + static_cast<size_t>(p.iWidth) * p.iHeight,
                            p.bytes.data() + static_cast<size_t>(p.iWidth) * p.iHeight + static_cast<size_t>(cw) * ch,
                            p.iWidth, cw, cw, kFormatPlanar};
        if (code == kFormatUYVY || code == kFormatRGB32 || code == kFormatRGB24 || code == kFormatRGB565) {
            PackedDestination d{lock.pixels, width, height, lock.pitch, code};
            ok = m_converter.PlannarToPacked(source, d, m_fHScaler, m_fVScaler);
            if (ok && code == kFormatRGB24) flipRows(lock.pixels, lock.pitch, width * 3, height);
        } else if (code == kFormatPlanar) {
            const size_t plane = static_cast<size_t>(lock.pitch) * lock.height;
            PlanarDestination d{lock.pixels, lock.pixels + plane, lock.pixels + plane * 5 / 4, width, height,
                                lock.pitch, lock.pitch / 2, lock.pitch / 2, 0};
            ok = m_converter.PlannarToPlannar(source, d);
        } else {
            DebugOutput("[QOR]no colorSpace convert available error.\n");
        }
    } else if (code == kFormatUYVY || code == kFormatRGB32 || code == kFormatRGB24 || code == kFormatRGB565) {
        PackedSource source{p.bytes.data(), p.iWidth, p.iHeight, p.iWidth * PackedBytesPerPixel(p.iFormat), p.iFormat};
        PackedDestination d{lock.pixels, width, height, lock.pitch, code};
        ok = m_converter.PackedToPacked(source, d);
    } else {
        DebugOutput("[QOR]no colorSpace convert available error.\n");
    }
    surface.Unlock();
    return ok;
}

bool CVideoPlayer::displayOffscreenSurface() {
    DisplayRect client = m_destinationRect;
    if (m_hWnd && !m_bExplicitDestination && !m_pService->GetClientRect(m_hWnd, &client)) return false;
    if (client.IsEmpty() || m_sourceRect.IsEmpty()) return true;
    bool ok = true;
    for (Screen& screen : m_screens) {
        if (!screen.picture) continue;
        DisplayRect part = Intersect(client, screen.info.bounds);
        if (part.IsEmpty()) continue;
        // The share of the source rectangle that falls on this screen.
        const DisplayRect& s = m_sourceRect;
        DisplayRect source{
            s.left + static_cast<int>(static_cast<int64_t>(part.left - client.left) * s.Width() / client.Width()),
            s.top + static_cast<int>(static_cast<int64_t>(part.top - client.top) * s.Height() / client.Height()),
            s.left + static_cast<int>(static_cast<int64_t>(part.right - client.left) * s.Width() / client.Width()),
            s.top + static_cast<int>(static_cast<int64_t>(part.bottom - client.top) * s.Height() / client.Height())};
        if (source.IsEmpty()) continue;
        if (screen.device->Blit(*screen.primary, part, *screen.picture, source) != DisplayResult::Ok) {
            DebugOutput("[QOR]call m_lpDDS7Primary->Blt(.) error, try restore surface.\n");
            RestoreAllSurface();
            ok = false;
            break;
        }
    }
    return ok;
}

bool CVideoPlayer::displayOverlaySurface() {
    if (m_destinationRect.IsEmpty() || m_sourceRect.IsEmpty()) return true;
    const int index = screenForWindow();
    if (index < 0) return false;
    Screen& screen = m_screens[static_cast<size_t>(index)];
    if (!screen.picture) return false;
    DisplayResult result = screen.device->UpdateOverlay(*screen.picture, m_sourceRect, *screen.primary,
                                                        m_destinationRect, screen.colorKey);
    if (result == DisplayResult::SurfaceLost) {
        DebugOutput("[QOR]surface lost, try restore surface.\n");
        RestoreAllSurface();
        return false;
    }
    if (result != DisplayResult::Ok) {
        DebugOutput("[QOR]call UpdateOverlay() error.\n");
        return false;
    }
    return true;
}

int CVideoPlayer::screenForWindow() const {
    if (m_screens.empty()) return -1;
    const DisplayRect& r = m_destinationRect;
    const int cx = r.left + r.Width() / 2, cy = r.top + r.Height() / 2;
    for (size_t i = 0; i < m_screens.size(); ++i) {
        const DisplayRect& b = m_screens[i].info.bounds;
        if (cx >= b.left && cx < b.right && cy >= b.top && cy < b.bottom) return static_cast<int>(i);
    }
    return 0;
}

bool CVideoPlayer::SetDisplayMode(int iMode) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (iMode == m_iMode) return true;
    if (iMode == kOffscreen) {
        releasePictureSurfaces();
        if (!createOffscreenSurface()) {
            DebugOutput("[QOR]call CreateOffscreenSurface(.) error.\n");
            return false;
        }
        m_iMode = kOffscreen;
        return true;
    }
    if (iMode == kOverlay) {
        releasePictureSurfaces();
        if (!createOverlaySurface()) {
            DebugOutput("[QOR]call CreateOverlaySurface(.) error.\n");
            return false;
        }
        m_iMode = kOverlay;
        return attachWindow();
    }
    DebugOutput("[QOR]CVideoPlayer::SetDisplayMode() iMode=%d error.\n", iMode);
    return false;
}

bool CVideoPlayer::attachWindow() {
    if (m_hWnd) {
        const int index = screenForWindow();
        if (index >= 0) {
            Screen& screen = m_screens[static_cast<size_t>(index)];
            if (screen.device->AttachClipperToWindow(m_hWnd) != DisplayResult::Ok) {
                DebugOutput("[QOR]call m_lpDDClipper->SetHWnd(.) error.\n");
                return false;
            }
            if (screen.device->AttachClipperToPrimary(*screen.primary) != DisplayResult::Ok) {
                DebugOutput("[QOR]call m_lpDDS7Primary->SetClipper(.) error.\n");
                return false;
            }
        }
    }
    if (m_iMode == kOverlay && m_bHasDestination) {
        const int index = screenForWindow();
        if (index < 0) return false;
        DisplayCaps caps;
        if (m_screens[static_cast<size_t>(index)].device->GetCaps(&caps) != DisplayResult::Ok) {
            DebugOutput("[QOR]call m_lpDDraw7->GetCaps(.) error.\n");
            return false;
        }
        const int64_t m = caps.minOverlayStretch < 1001 ? 1000 : caps.minOverlayStretch;
        DisplayRect r = m_destinationRect;
        const int64_t width = r.Width(), height = r.Height();
        DisplayRect fitted;
        fitted.left = static_cast<int>(CeilDiv(r.left * m, 1000));
        fitted.top = static_cast<int>(FloorDiv(r.top * m, 1000));
        fitted.right = fitted.left + static_cast<int>(CeilDiv(width * m, 1000));
        fitted.bottom = fitted.top + static_cast<int>(FloorDiv(height * m, 1000));
        if (caps.alignSizeDestination && caps.alignSizeDestinationBoundary > 0) {
            const int a = caps.alignSizeDestinationBoundary;
            fitted.right = static_cast<int>(CeilDiv(fitted.right, a) * a);
        }
        m_destinationRect = fitted;
    }
    recomputeSourceRect();
    return true;
}

bool CVideoPlayer::SetVideoWindow(NativeWindow hWnd, const DisplayRect* pRect, bool bRedraw) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_hWnd = hWnd;
    m_bHasDestination = false;
    m_bExplicitDestination = pRect != nullptr;
    DisplayRect client;
    if (hWnd && m_pService->GetClientRect(hWnd, &client)) {
        m_destinationRect = client;
        m_bHasDestination = true;
    }
    if (pRect) {
        m_destinationRect = *pRect;
        m_bHasDestination = true;
    }
    if (!attachWindow()) return false;
    if (bRedraw) draw();
    return true;
}

void CVideoPlayer::recomputeSourceRect() {
    const DisplayRect& z = m_zoomRect;
    if (m_settings.iWidth <= 0 || m_settings.iHeight <= 0) return;
    const int64_t sw = m_iSurfaceWidth ? m_iSurfaceWidth : m_settings.iWidth;
    const int64_t sh = m_iSurfaceHeight ? m_iSurfaceHeight : m_settings.iHeight;
    m_sourceRect = DisplayRect{static_cast<int>(z.left * sw / m_settings.iWidth),
                               static_cast<int>(z.top * sh / m_settings.iHeight),
                               static_cast<int>(z.right * sw / m_settings.iWidth),
                               static_cast<int>(z.bottom * sh / m_settings.iHeight)};
}

bool CVideoPlayer::ZoomInSrcRect(const DisplayRect& rect) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (rect.left < 0 || rect.top < 0 || rect.right > m_settings.iWidth || rect.bottom > m_settings.iHeight) {
        DebugOutput("[QOR]CVideoPlayer::ZoomInSrcRect() pRect parameter error!\n");
        DebugOutput("[QOR]pRect->left=%d, pRect->right=%d, pRect->top=%d, pRect->bottom=%d.\n", rect.left, rect.right,
                    rect.top, rect.bottom);
        return false;
    }
    m_zoomRect = rect;
    recomputeSourceRect();
    return true;
}

void CVideoPlayer::SetBrightness(int iValue) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_iBrightness = std::clamp(iValue, 0, 100);
    m_converter.SetAdjustments(m_iBrightness, m_iContrast, m_iSaturation);
}

void CVideoPlayer::SetContrast(int iValue) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_iContrast = std::clamp(iValue, 0, 100);
    m_converter.SetAdjustments(m_iBrightness, m_iContrast, m_iSaturation);
}

void CVideoPlayer::SetSaturation(int iValue) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_iSaturation = std::clamp(iValue, 0, 100);
    m_converter.SetAdjustments(m_iBrightness, m_iContrast, m_iSaturation);
}

void CVideoPlayer::SetScaler(float fHScaler, float fVScaler) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_fHScaler = fHScaler;
    m_fVScaler = fVScaler;
}

void CVideoPlayer::EnableOutput(bool bEnable) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_bOutputEnabled = bEnable;
}

bool CVideoPlayer::RestoreAllSurface() {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    std::vector<ScreenInfo> screens = m_pService->EnumerateScreens();
    if (screens.empty()) {
        DebugOutput("[QOR]RestoreAllSurface() call EnumerateScreens() error.\n");
        return false;
    }
    releaseAll();
    if (!initDDraw(screens)) {
        DebugOutput("[QOR]call InitDDraw(.) in RestoreAllSurface(.) error!\n");
        releaseAll();
        return false;
    }
    // The surfaces come back in the mode the output was in.
    if (m_iMode == kOverlay) {
        if (!createOverlaySurface()) {
            DebugOutput("[QOR]call CreateOverlaySurface(.) error.\n");
            return false;
        }
    } else if (!createOffscreenSurface()) {
        DebugOutput("[QOR]call CreateOffscreenSurface(.) error.\n");
        return false;
    }
    return attachWindow();
}

int CVideoPlayer::GetMode() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_iMode;
}

DisplayRect CVideoPlayer::GetSourceRect() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_sourceRect;
}

DisplayRect CVideoPlayer::GetDestinationRect() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_destinationRect;
}

bool CVideoPlayer::HasCurrentPicture() const {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return m_current.valid;
}

}  // namespace qor
