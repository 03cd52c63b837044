#include "platform/display_sdl.h"

#include <SDL.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/debug_output.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace qor {
namespace {

// SDL keeps a few allocations until SDL_Quit, which a library cannot call
// on its users' behalf (the D-Bus connection, the X11 window framebuffer's
// bookkeeping); leak checking is not about those.
class IgnoreLeaksOfSdl {
public:
#if defined(__SANITIZE_ADDRESS__)
    IgnoreLeaksOfSdl() { __lsan_disable(); }
    ~IgnoreLeaksOfSdl() { __lsan_enable(); }
#endif
};

std::recursive_mutex& SdlVideoLock() {
    static std::recursive_mutex lock;
    return lock;
}

constexpr uint32_t kYV12 = MakeFourcc('Y', 'V', '1', '2');
constexpr uint32_t kUYVY = MakeFourcc('U', 'Y', 'V', 'Y');
constexpr uint32_t kYUY2 = MakeFourcc('Y', 'U', 'Y', '2');

Uint32 SdlFormatOf(const SurfaceFormat& f) {
    if (f.fourcc == kYV12) return SDL_PIXELFORMAT_YV12;
    if (f.fourcc == kUYVY) return SDL_PIXELFORMAT_UYVY;
    if (f.fourcc == kYUY2) return SDL_PIXELFORMAT_YUY2;
    switch (f.bitsPerPixel) {
    case 32: return SDL_PIXELFORMAT_RGB888;   // bytes B, G, R, x
    case 24: return SDL_PIXELFORMAT_BGR24;    // bytes B, G, R
    case 16: return f.greenMask == 0x03E0 ? SDL_PIXELFORMAT_RGB555 : SDL_PIXELFORMAT_RGB565;
    default: return SDL_PIXELFORMAT_UNKNOWN;
    }
}

SDL_Rect ToSdl(const DisplayRect& r) { return SDL_Rect{r.left, r.top, r.Width(), r.Height()}; }

class SdlSurface : public DisplaySurface {
public:
    SdlSurface(SurfaceKind kind, int width, int height, const SurfaceFormat& format, Uint32 sdlFormat)
        : m_kind(kind), m_width(width), m_height(height), m_format(format), m_sdlFormat(sdlFormat) {
        const bool planar = format.fourcc == kYV12;
        const int bits = planar ? 8 : format.bitsPerPixel;
        m_pitch = (width * bits / 8 + 15) & ~15;
        m_pixels.assign(static_cast<size_t>(m_pitch) * height * (planar ? 3 : 2) / 2, 0);
    }
    ~SdlSurface() override {
        std::lock_guard<std::recursive_mutex> lock(SdlVideoLock());
        if (m_texture) SDL_DestroyTexture(m_texture);
    }

    SurfaceKind Kind() const override { return m_kind; }
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    SurfaceFormat Format() const override { return m_format; }
    DisplayResult Lock(SurfaceLock* lock) override {
        *lock = SurfaceLock{m_pixels.data(), m_pitch, m_width, m_height};
        return DisplayResult::Ok;
    }
    void Unlock() override { m_dirty = true; }
    bool IsLost() const override { return false; }
    DisplayResult Restore() override { return DisplayResult::Ok; }

    // Called under the SDL lock.
    SDL_Texture* Texture(SDL_Renderer* renderer) {
        if (m_texture && m_textureRenderer != renderer) {
            SDL_DestroyTexture(m_texture);
            m_texture = nullptr;
        }
        if (!m_texture) {
            m_texture = SDL_CreateTexture(renderer, m_sdlFormat, SDL_TEXTUREACCESS_STREAMING, m_width, m_height);
            m_textureRenderer = renderer;
            m_dirty = true;
            if (!m_texture) return nullptr;
        }
        if (m_dirty) {
            if (m_format.fourcc == kYV12) {
                const size_t plane = static_cast<size_t>(m_pitch) * m_height;
                SDL_UpdateYUVTexture(m_texture, nullptr, m_pixels.data(), m_pitch, m_pixels.data() + plane * 5 / 4,
                                     m_pitch / 2, m_pixels.data() + plane, m_pitch / 2);
            } else {
                SDL_UpdateTexture(m_texture, nullptr, m_pixels.data(), m_pitch);
            }
            m_dirty = false;
        }
        return m_texture;
    }

private:
    SurfaceKind m_kind;
    int m_width, m_height;
    SurfaceFormat m_format;
    Uint32 m_sdlFormat;
    int m_pitch = 0;
    std::vector<uint8_t> m_pixels;
    bool m_dirty = true;
    SDL_Texture* m_texture = nullptr;
    SDL_Renderer* m_textureRenderer = nullptr;
};

// The primary stands for the screen; drawing happens in windows, so only its
// first pixel is kept, in the screen's own format, for the colour key.
class SdlPrimary : public DisplaySurface {
public:
    explicit SdlPrimary(const SurfaceFormat& format) : m_format(format) {}
    SurfaceKind Kind() const override { return SurfaceKind::Primary; }
    int Width() const override { return 1; }
    int Height() const override { return 1; }
    SurfaceFormat Format() const override { return m_format; }
    DisplayResult Lock(SurfaceLock* lock) override {
        *lock = SurfaceLock{m_pixel, 4, 1, 1};
        return DisplayResult::Ok;
    }
    void Unlock() override {}
    bool IsLost() const override { return false; }
    DisplayResult Restore() override { return DisplayResult::Ok; }

private:
    SurfaceFormat m_format;
    uint8_t m_pixel[4] = {};
};

class SdlDevice : public DisplayDevice {
public:
    SdlDevice(SdlDisplayService* service, ScreenInfo screen) : m_service(service), m_screen(screen) {}

    DisplayResult SetNormalCooperativeLevel() override { return DisplayResult::Ok; }
    DisplayResult CreateClipper() override { return DisplayResult::Ok; }
    DisplayResult CreatePrimarySurface(std::unique_ptr<DisplaySurface>* surface) override {
        std::lock_guard<std::recursive_mutex> lock(SdlVideoLock());
        SDL_DisplayMode mode;
        SurfaceFormat format{0, 32, 0xFF0000, 0x00FF00, 0x0000FF};
        if (SDL_GetDesktopDisplayMode(m_screen.index, &mode) == 0) {
            int bits = 0;
            Uint32 r = 0, g = 0, b = 0, a = 0;
            if (SDL_PixelFormatEnumToMasks(mode.format, &bits, &r, &g, &b, &a) && bits > 0)
                format = SurfaceFormat{0, bits, r, g, b};
        }
        *surface = std::make_unique<SdlPrimary>(format);
        return DisplayResult::Ok;
    }
    DisplayResult CreateSurface(SurfaceKind kind, int width, int height, const SurfaceFormat& format,
                                std::unique_ptr<DisplaySurface>* surface) override {
        if (width <= 0 || height <= 0) return DisplayResult::InvalidParams;
        const Uint32 sdlFormat = SdlFormatOf(format);
        if (sdlFormat == SDL_PIXELFORMAT_UNKNOWN) return DisplayResult::InvalidSurfaceType;
        if (format.fourcc == kYV12 && (width % 2 || height % 2)) return DisplayResult::HeightAlign;
        *surface = std::make_unique<SdlSurface>(kind, width, height, format, sdlFormat);
        return DisplayResult::Ok;
    }
    DisplayResult AttachClipperToWindow(NativeWindow window) override {
        std::lock_guard<std::recursive_mutex> lock(SdlVideoLock());
        if (!m_service->Adopt(window)) return DisplayResult::InvalidObject;
        m_window = window;
        return DisplayResult::Ok;
    }
    DisplayResult AttachClipperToPrimary(DisplaySurface&) override { return DisplayResult::Ok; }
    DisplayResult DrawPixel(DisplaySurface& primary, int x, int y, uint32_t colorRef) override {
        if (x != 0 || y != 0) return DisplayResult::InvalidParams;
        SurfaceLock lock;
        primary.Lock(&lock);
        std::lock_guard<std::recursive_mutex> sdl(SdlVideoLock());
        const SurfaceFormat f = primary.Format();
        Uint32 pixelFormat = SDL_MasksToPixelFormatEnum(f.bitsPerPixel, f.redMask, f.greenMask, f.blueMask, 0);
        SDL_PixelFormat* format = SDL_AllocFormat(pixelFormat);
        if (!format) return DisplayResult::Generic;
        const Uint32 value = SDL_MapRGB(format, colorRef & 0xFF, (colorRef >> 8) & 0xFF, (colorRef >> 16) & 0xFF);
        SDL_FreeFormat(format);
        std::memcpy(lock.pixels, &value, 4);
        primary.Unlock();
        return DisplayResult::Ok;
    }
    DisplayResult SetOverlayColorKey(DisplaySurface&, uint32_t) override { return DisplayResult::Ok; }
    DisplayResult Blit(DisplaySurface&, const DisplayRect& destination, DisplaySurface& source,
                       const DisplayRect& sourceRect) override {
        return draw(source, sourceRect, destination);
    }
    DisplayResult UpdateOverlay(DisplaySurface& overlay, const DisplayRect& sourceRect, DisplaySurface&,
                                const DisplayRect& destination, uint32_t) override {
        return draw(overlay, sourceRect, destination);
    }
    DisplayResult GetCaps(DisplayCaps* caps) override {
        *caps = DisplayCaps{true, 1000, false, 0};
        return DisplayResult::Ok;
    }

private:
    DisplayResult draw(DisplaySurface& source, const DisplayRect& sourceRect, const DisplayRect& destination) {
        std::lock_guard<std::recursive_mutex> lock(SdlVideoLock());
        // Without a window there is nothing of ours on the screen to draw into.
        if (!m_window) return DisplayResult::Ok;
        SdlDisplayService::Adopted* adopted = m_service->Adopt(m_window);
        if (!adopted) return DisplayResult::InvalidObject;
        DisplayRect client;
        if (!m_service->GetClientRect(m_window, &client)) return DisplayResult::InvalidObject;
        SDL_Texture* texture = static_cast<SdlSurface&>(source).Texture(adopted->renderer);
        if (!texture) return DisplayResult::Generic;
        // Desktop coordinates to the window's own.
        DisplayRect local{destination.left - client.left, destination.top - client.top, destination.right - client.left,
                          destination.bottom - client.top};
        const SDL_Rect src = ToSdl(sourceRect), dst = ToSdl(local);
        if (SDL_RenderCopy(adopted->renderer, texture, &src, &dst) != 0) return DisplayResult::Generic;
        [[maybe_unused]] IgnoreLeaksOfSdl ignore;
        SDL_RenderPresent(adopted->renderer);
        return DisplayResult::Ok;
    }

    SdlDisplayService* m_service;
    ScreenInfo m_screen;
    NativeWindow m_window = 0;
};

}  // namespace

SdlDisplayService::SdlDisplayService() {
    std::lock_guard<std::recursive_mutex> lock(SdlVideoLock());
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
    // Present straight through X11 images rather than through an OpenGL
    // window texture: works on every X server and keeps GL out of the process.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    {
        [[maybe_unused]] IgnoreLeaksOfSdl ignore;  // its D-Bus connection lives until SDL_Quit
        m_available = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    }
    if (!m_available) DebugOutput("[QOR]SDL video: %s\n", SDL_GetError());
}

SdlDisplayService::~SdlDisplayService() {
    std::lock_guard<std::recursive_mutex> lock(SdlVideoLock());
    for (auto& [id, adopted] : m_windows) {
        if (adopted.renderer) SDL_DestroyRenderer(adopted.renderer);
        // Only SDL's record of the window goes; the caller's window stays.
        if (adopted.window) SDL_DestroyWindow(adopted.window);
    }
    m_windows.clear();
    if (m_available) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

std::vector<ScreenInfo> SdlDisplayService::EnumerateScreens() {
    std::lock_guard<std::recursive_mutex> lock(SdlVideoLock());
    std::vector<ScreenInfo> screens;
    if (!m_available) return screens;
    const int count = SDL_GetNumVideoDisplays();
    for (int i = 0; i < count; ++i) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(i, &bounds) != 0) continue;
        const char* name = SDL_GetDisplayName(i);
        screens.push_back(ScreenInfo{i, DisplayRect{bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h},
                                     name ? name : ""});
    }
    return screens;
}

DisplayResult SdlDisplayService::CreateDevice(const ScreenInfo& screen, std::unique_ptr<DisplayDevice>* device) {
    if (!m_available) return DisplayResult::Generic;
    *device = std::make_unique<SdlDevice>(this, screen);
    return DisplayResult::Ok;
}

SdlDisplayService::Adopted* SdlDisplayService::Adopt(NativeWindow window) {
    std::lock_guard<std::recursive_mutex> lock(SdlVideoLock());
    if (!m_available || window == 0) return nullptr;
    auto it = m_windows.find(window);
    if (it != m_windows.end()) return &it->second;
    Adopted adopted;
    adopted.window = SDL_CreateWindowFrom(reinterpret_cast<const void*>(static_cast<uintptr_t>(window)));
    if (!adopted.window) {
        DebugOutput("[QOR]SDL video: %s\n", SDL_GetError());
        return nullptr;
    }
    adopted.renderer = SDL_CreateRenderer(adopted.window, -1, SDL_RENDERER_SOFTWARE);
    if (!adopted.renderer) {
        DebugOutput("[QOR]SDL video: %s\n", SDL_GetError());
        SDL_DestroyWindow(adopted.window);
        return nullptr;
    }
    return &m_windows.emplace(window, adopted).first->second;
}

bool SdlDisplayService::GetClientRect(NativeWindow window, DisplayRect* rect) {
    std::lock_guard<std::recursive_mutex> lock(SdlVideoLock());
    Adopted* adopted = Adopt(window);
    if (!adopted) return false;
    SDL_PumpEvents();
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(adopted->window, &x, &y);
    SDL_GetWindowSize(adopted->window, &w, &h);
    *rect = DisplayRect{x, y, x + w, y + h};
    return true;
}

bool SdlDisplayService::IsWindowVisible(NativeWindow window) {
    std::lock_guard<std::recursive_mutex> lock(SdlVideoLock());
    Adopted* adopted = Adopt(window);
    if (!adopted) return false;
    const Uint32 flags = SDL_GetWindowFlags(adopted->window);
    return (flags & SDL_WINDOW_SHOWN) && !(flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
}

}  // namespace qor
