#include "platform/display.h"

#include <algorithm>

#include "platform/debug_output.h"
#include "platform/display_memory.h"
#include "platform/display_sdl.h"

namespace qor {

DisplayRect Intersect(const DisplayRect& a, const DisplayRect& b) {
    DisplayRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom)};
    if (r.IsEmpty()) return DisplayRect{};
    return r;
}

std::unique_ptr<DisplayService> CreateDisplayService() {
    auto sdl = std::make_unique<SdlDisplayService>();
    if (sdl->IsAvailable() && !sdl->EnumerateScreens().empty()) return sdl;
    sdl.reset();
    DebugOutput("[QOR]no display, pictures go to callbacks only.\n");
    auto headless = std::make_unique<MemoryDisplayService>();
    headless->Fake().recordDraws = false;
    return headless;
}

}  // namespace qor
