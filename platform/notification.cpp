#include "platform/notification.h"

#include <dlfcn.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace qor {
namespace {

// libxcb entry points, resolved at run time: the library must load on
// servers without any X libraries.
struct XcbApi {
    decltype(&xcb_connect) connect = nullptr;
    decltype(&xcb_connection_has_error) hasError = nullptr;
    decltype(&xcb_send_event_checked) sendEventChecked = nullptr;
    decltype(&xcb_request_check) requestCheck = nullptr;
    decltype(&xcb_disconnect) disconnect = nullptr;
};

std::mutex xConnectionLock;  // guards the connection and the api table
XcbApi xcb;
bool xcbResolved = false;
xcb_connection_t* xConnection = nullptr;

bool ResolveXcb() {
    if (xcbResolved) return xcb.connect != nullptr;
    xcbResolved = true;
    void* library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    XcbApi api;
    api.connect = reinterpret_cast<decltype(api.connect)>(dlsym(library, "xcb_connect"));
    api.hasError = reinterpret_cast<decltype(api.hasError)>(dlsym(library, "xcb_connection_has_error"));
    api.sendEventChecked = reinterpret_cast<decltype(api.sendEventChecked)>(dlsym(library, "xcb_send_event_checked"));
    api.requestCheck = reinterpret_cast<decltype(api.requestCheck)>(dlsym(library, "xcb_request_check"));
    api.disconnect = reinterpret_cast<decltype(api.disconnect)>(dlsym(library, "xcb_disconnect"));
    if (!api.connect || !api.hasError || !api.sendEventChecked || !api.requestCheck || !api.disconnect) return false;
    xcb = api;
    return true;
}

// Called with xConnectionLock held.
xcb_connection_t* Connection() {
    if (xConnection != nullptr && xcb.hasError(xConnection) == 0) return xConnection;
    if (xConnection != nullptr) {
        xcb.disconnect(xConnection);
        xConnection = nullptr;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') return nullptr;
    xcb_connection_t* connection = xcb.connect(nullptr, nullptr);
    if (xcb.hasError(connection) != 0) {
        xcb.disconnect(connection);
        return nullptr;
    }
    xConnection = connection;
    return xConnection;
}

}  // namespace

bool PostWindowMessage(NativeWindow hWnd, uint32_t uMessage, uint32_t uParam1, uint32_t uParam2) {
    if (hWnd == 0) return false;
    std::lock_guard<std::mutex> guard(xConnectionLock);
    if (!ResolveXcb()) return false;
    xcb_connection_t* connection = Connection();
    if (connection == nullptr) return false;
    // xcb_send_event copies exactly 32 bytes from the event.
    char raw[32] = {};
    auto* event = reinterpret_cast<xcb_client_message_event_t*>(raw);
    event->response_type = XCB_CLIENT_MESSAGE;
    event->format = 32;
    event->window = static_cast<xcb_window_t>(hWnd);
    event->type = static_cast<xcb_atom_t>(uMessage);
    event->data.data32[0] = uParam1;
    event->data.data32[1] = uParam2;
    const xcb_void_cookie_t cookie =
        xcb.sendEventChecked(connection, 0, static_cast<xcb_window_t>(hWnd), XCB_EVENT_MASK_NO_EVENT, raw);
    // A checked request reports a vanished window here instead of through a
    // process-wide error handler that would fight the caller's toolkit.
    xcb_generic_error_t* error = xcb.requestCheck(connection, cookie);
    if (error != nullptr) {
        std::free(error);
        return false;
    }
    return true;
}

bool SignalEventFd(int iEventFd) {
    if (iEventFd < 0) return false;
    const uint64_t one = 1;
    for (;;) {
        const ssize_t written = write(iEventFd, &one, sizeof one);
        if (written == static_cast<ssize_t>(sizeof one)) return true;
        if (written < 0 && errno == EINTR) continue;
        return false;
    }
}

}  // namespace qor
