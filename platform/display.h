// The 2-D display service the video output draws through: screens, a device
// per screen, surfaces of a size and pixel format that can be locked for
// writing, copies of a surface region to a window region with scaling,
// overlays shown through a colour key, surface loss and restore, and the
// device's capabilities.
//
// Backends: display_sdl (real X11 windows through SDL2) and display_memory
// (records what was drawn where, for tests).
//
// Threading: a DisplayService and everything created from it is used under
// one lock held by its user (the video output's lock); backends need not be
// thread-safe themselves. EnumerateScreens, window queries and device
// creation may be called from any thread under that rule. Surfaces must be
// released before the device that created them, and devices before the
// service.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qor {

// A native window: an X11 window id; 0 means none.
using NativeWindow = uint64_t;

// What a display call reports. The failure kinds mirror the classic
// display-service error codes, so that the video output can name them.
enum class DisplayResult {
    Ok,
    StillDrawing,        // the surface is busy; retry the lock shortly
    SurfaceLost,         // restore the surface, then retry
    InvalidParams,
    Generic,
    Unsupported,
    HeightAlign,
    InvalidRect,
    InvalidObject,
    NoStretchHardware,
    XAlign,
    OutOfCaps,
    NotOverlaySurface,
    DeviceDoesntOwnSurface,
    InvalidSurfaceType,
    Other,
};

struct DisplayRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const DisplayRect&) const = default;
};

DisplayRect Intersect(const DisplayRect& a, const DisplayRect& b);

struct ScreenInfo {
    int index = 0;
    DisplayRect bounds;   // desktop coordinates
    std::string name;
};

enum class SurfaceKind { Primary, Offscreen, Overlay };

// A surface pixel format: a FOURCC for YUV layouts, or RGB bit count and masks.
struct SurfaceFormat {
    uint32_t fourcc = 0;   // 0 for RGB
    int bitsPerPixel = 0;
    uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    bool operator==(const SurfaceFormat&) const = default;
};

constexpr uint32_t MakeFourcc(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

struct DisplayCaps {
    bool overlay = false;
    int minOverlayStretch = 1000;        // thousandths
    bool alignSizeDestination = false;
    int alignSizeDestinationBoundary = 0;
};

struct SurfaceLock {
    uint8_t* pixels = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
};

class DisplaySurface {
public:
    virtual ~DisplaySurface() = default;
    virtual SurfaceKind Kind() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual SurfaceFormat Format() const = 0;
    // Planar YV12 surfaces hold the V plane at pitch x height and the U plane
    // at pitch x height x 5 / 4, each with pitch / 2.
    virtual DisplayResult Lock(SurfaceLock* lock) = 0;
    virtual void Unlock() = 0;
    virtual bool IsLost() const = 0;
    virtual DisplayResult Restore() = 0;
};

// One screen's device: its clipper, primary surface and picture surfaces.
class DisplayDevice {
public:
    virtual ~DisplayDevice() = default;
    virtual DisplayResult SetNormalCooperativeLevel() = 0;
    virtual DisplayResult CreateClipper() = 0;
    virtual DisplayResult CreatePrimarySurface(std::unique_ptr<DisplaySurface>* surface) = 0;
    // Off-screen or overlay surface in video memory.
    virtual DisplayResult CreateSurface(SurfaceKind kind, int width, int height, const SurfaceFormat& format,
                                        std::unique_ptr<DisplaySurface>* surface) = 0;
    // The clipper limits drawing on the primary to the window.
    virtual DisplayResult AttachClipperToWindow(NativeWindow window) = 0;
    virtual DisplayResult AttachClipperToPrimary(DisplaySurface& primary) = 0;
    // Draws one pixel of colour 0x00BBGGRR through a device context.
    virtual DisplayResult DrawPixel(DisplaySurface& primary, int x, int y, uint32_t colorRef) = 0;
    virtual DisplayResult SetOverlayColorKey(DisplaySurface& primary, uint32_t key) = 0;
    // Copies sourceRect of source to destination (desktop coordinates) on the
    // primary, scaling as needed.
    virtual DisplayResult Blit(DisplaySurface& primary, const DisplayRect& destination, DisplaySurface& source,
                               const DisplayRect& sourceRect) = 0;
    // Shows sourceRect of the overlay at destination where the primary holds the key colour.
    virtual DisplayResult UpdateOverlay(DisplaySurface& overlay, const DisplayRect& sourceRect,
                                        DisplaySurface& primary, const DisplayRect& destination,
                                        uint32_t colorKey) = 0;
    virtual DisplayResult GetCaps(DisplayCaps* caps) = 0;
};

class DisplayService {
public:
    virtual ~DisplayService() = default;
    // An empty list means the screens cannot be enumerated.
    virtual std::vector<ScreenInfo> EnumerateScreens() = 0;
    virtual DisplayResult CreateDevice(const ScreenInfo& screen, std::unique_ptr<DisplayDevice>* device) = 0;
    // Client area in desktop coordinates; false for an unknown window.
    virtual bool GetClientRect(NativeWindow window, DisplayRect* rect) = 0;
    virtual bool IsWindowVisible(NativeWindow window) = 0;
};

// The display service for a player: SDL2 on the X display when one can be
// opened, otherwise a headless service whose screens draw nowhere (pictures
// still reach callbacks and snapshots).
std::unique_ptr<DisplayService> CreateDisplayService();

}  // namespace qor
