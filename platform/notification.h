// Notifications a player sends to its caller: a message posted to the
// caller's X11 window and an event file descriptor made readable.
//
// Backends: X11 through libxcb, loaded when first needed so that the library
// runs on machines without X (posting then reports false); the event side is
// a plain write(2) and works with an eventfd or the write end of a pipe.
//
// Threading: both functions may be called from any thread at any time; the
// X connection is shared by the process under one internal lock.
#pragma once

#include <cstdint>

#include "platform/display.h"  // NativeWindow

namespace qor {

// Sends a ClientMessage to hWnd: message_type = uMessage, format 32,
// data.l[0] = uParam1, data.l[1] = uParam2. False without a window, without a
// reachable X display, or when the server refuses (for example, a window that
// no longer exists).
bool PostWindowMessage(NativeWindow hWnd, uint32_t uMessage, uint32_t uParam1, uint32_t uParam2);

// Writes the 8-byte value 1 to iEventFd; false for -1 or a failed write.
bool SignalEventFd(int iEventFd);

}  // namespace qor
