#include "platform/debug_output.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace qor {
namespace {

std::mutex sinkLock;
DebugSink currentSink;

}  // namespace

void DebugOutput(const char* format, ...) {
    char stackBuffer[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, args);
    va_end(args);
    std::string line;
    if (needed < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(needed) < sizeof stackBuffer) {
        line.assign(stackBuffer, static_cast<size_t>(needed));
    } else {
        line.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(line.data(), line.size(), format, copy);
        line.resize(static_cast<size_t>(needed));
    }
    va_end(copy);

    std::lock_guard<std::mutex> guard(sinkLock);
    if (currentSink) {
        currentSink(line);
    } else {
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> guard(sinkLock);
    DebugSink previous = std::move(currentSink);
    currentSink = std::move(sink);
    return previous;
}

}  // namespace qor
