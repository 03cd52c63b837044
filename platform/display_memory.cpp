#include "platform/display_memory.h"

#include <cstddef>
#include <string>

namespace qor {

namespace {

using State = MemoryDisplayService::State;

int AlignedPitch(const SurfaceFormat& format, int width) {
    const int bits = format.fourcc == MakeFourcc('Y', 'V', '1', '2') ? 8 : format.bitsPerPixel;
    return (width * bits / 8 + 15) & ~15;
}

class MemorySurface : public DisplaySurface {
public:
    MemorySurface(std::shared_ptr<State> state, SurfaceKind kind, int width, int height, const SurfaceFormat& format)
        : m_state(std::move(state)), m_kind(kind), m_width(width), m_height(height), m_format(format),
          m_pitch(AlignedPitch(format, width)), m_generation(m_state->lossGeneration) {
        const bool planar = format.fourcc == MakeFourcc('Y', 'V', '1', '2');
        m_pixels.assign(static_cast<size_t>(m_pitch) * height * (planar ? 3 : 2) / 2, 0);
        ++m_state->liveSurfaces;
    }
    ~MemorySurface() override { --m_state->liveSurfaces; }

    SurfaceKind Kind() const override { return m_kind; }
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    SurfaceFormat Format() const override { return m_format; }
    DisplayResult Lock(SurfaceLock* lock) override {
        if (IsLost()) return DisplayResult::SurfaceLost;
        *lock = SurfaceLock{m_pixels.data(), m_pitch, m_width, m_height};
        return DisplayResult::Ok;
    }
    void Unlock() override {}
    bool IsLost() const override { return m_generation != m_state->lossGeneration; }
    DisplayResult Restore() override {
        m_generation = m_state->lossGeneration;
        return DisplayResult::Ok;
    }

    const std::vector<uint8_t>& Pixels() const { return m_pixels; }
    int Pitch() const { return m_pitch; }

private:
    std::shared_ptr<State> m_state;
    SurfaceKind m_kind;
    int m_width, m_height;
    SurfaceFormat m_format;
    int m_pitch;
    int m_generation;
    std::vector<uint8_t> m_pixels;
};

class MemoryDevice : public DisplayDevice {
public:
    MemoryDevice(std::shared_ptr<State> state, ScreenInfo screen) : m_state(std::move(state)), m_screen(screen) {
        ++m_state->liveDevices;
        ++m_state->devicesCreated;
    }
    ~MemoryDevice() override { --m_state->liveDevices; }

    DisplayResult SetNormalCooperativeLevel() override { return DisplayResult::Ok; }
    DisplayResult CreateClipper() override { return DisplayResult::Ok; }
    DisplayResult CreatePrimarySurface(std::unique_ptr<DisplaySurface>* surface) override {
        SurfaceFormat format = m_state->primaryBits == 16 ? SurfaceFormat{0, 16, 0xF800, 0x07E0, 0x001F}
                                                          : SurfaceFormat{0, 32, 0xFF0000, 0x00FF00, 0x0000FF};
        *surface = std::make_unique<MemorySurface>(m_state, SurfaceKind::Primary, m_screen.bounds.Width(),
                                                   m_screen.bounds.Height(), format);
        return DisplayResult::Ok;
    }
    DisplayResult CreateSurface(SurfaceKind kind, int width, int height, const SurfaceFormat& format,
                                std::unique_ptr<DisplaySurface>* surface) override {
        auto failure = m_state->failSurfaces.find({m_screen.index, kind});
        if (failure != m_state->failSurfaces.end()) return failure->second;
        if (width <= 0 || height <= 0) return DisplayResult::InvalidParams;
        if (kind == SurfaceKind::Overlay && !m_state->caps.overlay) return DisplayResult::NoStretchHardware;
        *surface = std::make_unique<MemorySurface>(m_state, kind, width, height, format);
        return DisplayResult::Ok;
    }
    DisplayResult AttachClipperToWindow(NativeWindow window) override {
        m_state->clipperWindows[m_screen.index] = window;
        return DisplayResult::Ok;
    }
    DisplayResult AttachClipperToPrimary(DisplaySurface&) override { return DisplayResult::Ok; }
    DisplayResult DrawPixel(DisplaySurface& primary, int x, int y, uint32_t colorRef) override {
        SurfaceLock lock;
        DisplayResult result = primary.Lock(&lock);
        if (result != DisplayResult::Ok) return result;
        const int r = colorRef & 0xFF, g = (colorRef >> 8) & 0xFF, b = (colorRef >> 16) & 0xFF;
        uint8_t* p = lock.pixels + static_cast<ptrdiff_t>(y) * lock.pitch;
        if (primary.Format().bitsPerPixel == 16) {
            const uint16_t w = static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
            p[2 * x] = static_cast<uint8_t>(w);
            p[2 * x + 1] = static_cast<uint8_t>(w >> 8);
        } else {
            p[4 * x] = static_cast<uint8_t>(b);
            p[4 * x + 1] = static_cast<uint8_t>(g);
            p[4 * x + 2] = static_cast<uint8_t>(r);
            p[4 * x + 3] = 0;
        }
        primary.Unlock();
        return DisplayResult::Ok;
    }
    DisplayResult SetOverlayColorKey(DisplaySurface&, uint32_t key) override {
        m_state->colorKeys[m_screen.index] = key;
        return DisplayResult::Ok;
    }
    DisplayResult Blit(DisplaySurface& primary, const DisplayRect& destination, DisplaySurface& source,
                       const DisplayRect& sourceRect) override {
        return Record(primary, destination, source, sourceRect, false, 0);
    }
    DisplayResult UpdateOverlay(DisplaySurface& overlay, const DisplayRect& sourceRect, DisplaySurface& primary,
                                const DisplayRect& destination, uint32_t colorKey) override {
        return Record(primary, destination, overlay, sourceRect, true, colorKey);
    }
    DisplayResult GetCaps(DisplayCaps* caps) override {
        *caps = m_state->caps;
        return DisplayResult::Ok;
    }

private:
    DisplayResult Record(DisplaySurface& primary, const DisplayRect& destination, DisplaySurface& source,
                         const DisplayRect& sourceRect, bool overlay, uint32_t colorKey) {
        if (m_state->failBlit != DisplayResult::Ok) return m_state->failBlit;
        if (primary.IsLost() || source.IsLost()) return DisplayResult::SurfaceLost;
        if (!m_state->recordDraws) return DisplayResult::Ok;
        auto& s = static_cast<MemorySurface&>(source);
        MemoryDisplayService::Draw draw;
        draw.screen = m_screen.index;
        draw.overlay = overlay;
        draw.source = sourceRect;
        draw.destination = destination;
        draw.colorKey = colorKey;
        draw.width = s.Width();
        draw.height = s.Height();
        draw.pitch = s.Pitch();
        draw.format = s.Format();
        draw.pixels = s.Pixels();
        m_state->draws.push_back(std::move(draw));
        return DisplayResult::Ok;
    }

    std::shared_ptr<State> m_state;
    ScreenInfo m_screen;
};

}  // namespace

MemoryDisplayService::MemoryDisplayService(std::vector<DisplayRect> screens) : m_state(std::make_shared<State>()) {
    for (size_t i = 0; i < screens.size(); ++i)
        m_state->screens.push_back(ScreenInfo{static_cast<int>(i), screens[i], "memory" + std::to_string(i)});
    m_state->caps.overlay = true;
}

void MemoryDisplayService::AddWindow(NativeWindow window, const DisplayRect& client, bool visible) {
    m_state->windows[window] = {client, visible};
}

std::vector<ScreenInfo> MemoryDisplayService::EnumerateScreens() {
    if (m_state->failEnumeration) return {};
    return m_state->screens;
}

DisplayResult MemoryDisplayService::CreateDevice(const ScreenInfo& screen, std::unique_ptr<DisplayDevice>* device) {
    if (m_state->failDevices.count(screen.index)) return DisplayResult::Generic;
    *device = std::make_unique<MemoryDevice>(m_state, screen);
    return DisplayResult::Ok;
}

bool MemoryDisplayService::GetClientRect(NativeWindow window, DisplayRect* rect) {
    auto it = m_state->windows.find(window);
    if (it == m_state->windows.end()) return false;
    *rect = it->second.first;
    return true;
}

bool MemoryDisplayService::IsWindowVisible(NativeWindow window) {
    auto it = m_state->windows.find(window);
    return it != m_state->windows.end() && it->second.second;
}

}  // namespace qor
