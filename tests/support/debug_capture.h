// Collects the debug lines written while it lives, from any thread, and puts
// the sink that was there before back when it goes.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/debug_output.h"

namespace qor::test {

class DebugCapture {
public:
    DebugCapture() {
        m_previous = SetDebugSink([this](std::string_view line) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_lines.emplace_back(line);
        });
    }
    ~DebugCapture() { SetDebugSink(m_previous); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_lines;
    }
    // True when exactly this line (with its newline) was written.
    bool Has(std::string_view line) const { return Count(line) > 0; }
    int Count(std::string_view line) const {
        std::lock_guard<std::mutex> lock(m_lock);
        return static_cast<int>(std::count(m_lines.begin(), m_lines.end(), line));
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
    DebugSink m_previous;
};

}  // namespace qor::test
