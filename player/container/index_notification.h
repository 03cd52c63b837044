// How the index thread tells its owner that the key-frame index is finished:
// a window message (window, message, parameter, 0) and/or an event. Until the
// library interface delivers these for real, `deliver` is called with the
// registered values; it runs on the index thread, or on the registering
// thread when the index had already finished.
#pragma once

#include <cstdint>
#include <functional>

namespace qor {

struct IndexNotification {
    void* hWnd = nullptr;
    uint32_t uMsg = 0;
    uintptr_t wParam = 0;
    void* hEvent = nullptr;
    std::function<void(const IndexNotification&)> deliver;
};

}  // namespace qor
