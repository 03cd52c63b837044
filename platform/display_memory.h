// A display service that keeps surfaces in memory and records every blit and
// overlay update, with switches to make screens and surfaces fail. For tests
// of the video output without a display, and (recording off) the headless
// display of machines without an X server.
//
// Threading: as DisplayService; the recording accessors may be called from
// the test thread while no display call is running.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "platform/display.h"

namespace qor {

class MemoryDisplayService : public DisplayService {
public:
    struct Draw {
        int screen = 0;
        bool overlay = false;
        DisplayRect source;
        DisplayRect destination;
        uint32_t colorKey = 0;
        int width = 0, height = 0, pitch = 0;
        SurfaceFormat format;
        std::vector<uint8_t> pixels;   // the source surface as it was at the draw
    };

    // Shared with the devices and surfaces created from the service.
    struct State {
        std::vector<ScreenInfo> screens;
        std::map<NativeWindow, std::pair<DisplayRect, bool>> windows;  // client rect, visible
        bool failEnumeration = false;
        std::set<int> failDevices;
        std::map<std::pair<int, SurfaceKind>, DisplayResult> failSurfaces;
        DisplayResult failBlit = DisplayResult::Ok;
        int primaryBits = 32;
        DisplayCaps caps;
        int lossGeneration = 0;        // surfaces made before the latest loss are lost
        bool recordDraws = true;       // off: a headless display that draws nowhere
        std::vector<Draw> draws;
        std::map<int, uint32_t> colorKeys;
        std::map<int, NativeWindow> clipperWindows;
        int liveSurfaces = 0;
        int liveDevices = 0;
        int devicesCreated = 0;
    };

    explicit MemoryDisplayService(std::vector<DisplayRect> screens = {DisplayRect{0, 0, 1024, 768}});

    void AddWindow(NativeWindow window, const DisplayRect& client, bool visible = true);
    State& Fake() { return *m_state; }
    const std::vector<Draw>& Draws() const { return m_state->draws; }
    // Marks every existing surface lost, as a display mode change would.
    void LoseSurfaces() { ++m_state->lossGeneration; }

    std::vector<ScreenInfo> EnumerateScreens() override;
    DisplayResult CreateDevice(const ScreenInfo& screen, std::unique_ptr<DisplayDevice>* device) override;
    bool GetClientRect(NativeWindow window, DisplayRect* rect) override;
    bool IsWindowVisible(NativeWindow window) override;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace qor
