// The debug-output channel: one line of text at a time.
//
// Threading: DebugOutput may be called from any thread at any time; lines are
// delivered whole and in the order they were written. SetDebugSink may be
// called from any thread; a sink is called with the channel's lock held, so a
// sink must not write debug lines itself and must return promptly.
#pragma once

#include <functional>
#include <string_view>

namespace qor {

// Receives one finished line, including its trailing "\n".
using DebugSink = std::function<void(std::string_view line)>;

// printf-style; the text is written as given (callers end their lines in "\n").
void DebugOutput(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Installs a sink and returns the previous one. An empty sink restores the
// default, which writes every line to standard error.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace qor
