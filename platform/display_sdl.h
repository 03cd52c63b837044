// The display service over SDL2 on X11: screens from SDL's display list,
// the caller's X11 windows adopted with SDL_CreateWindowFrom, picture
// surfaces kept in memory and drawn into the window through a software
// renderer (so it works on any X server, Xvfb included). Overlays are
// emulated: an overlay update draws the picture into the window's
// destination rectangle directly, so the colour key is never needed.
//
// Threading: as DisplayService. In addition, every SDL video call of every
// SdlDisplayService in the process is made under one process-wide lock, as
// SDL's video functions are not safe to call concurrently.
#pragma once

#include <map>
#include <memory>

#include "platform/display.h"

struct SDL_Window;
struct SDL_Renderer;

namespace qor {

class SdlDisplayService : public DisplayService {
public:
    SdlDisplayService();
    ~SdlDisplayService() override;
    SdlDisplayService(const SdlDisplayService&) = delete;
    SdlDisplayService& operator=(const SdlDisplayService&) = delete;

    // False when SDL's video could not start (no X display).
    bool IsAvailable() const { return m_available; }

    std::vector<ScreenInfo> EnumerateScreens() override;
    DisplayResult CreateDevice(const ScreenInfo& screen, std::unique_ptr<DisplayDevice>* device) override;
    bool GetClientRect(NativeWindow window, DisplayRect* rect) override;
    bool IsWindowVisible(NativeWindow window) override;

    // The adopted window and its renderer; created on first use.
    struct Adopted {
        SDL_Window* window = nullptr;
        SDL_Renderer* renderer = nullptr;
    };
    Adopted* Adopt(NativeWindow window);

private:
    bool m_available = false;
    std::map<NativeWindow, Adopted> m_windows;
};

}  // namespace qor
