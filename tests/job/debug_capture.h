// Collects the debug lines written while it is alive.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/debug_output.h"

class DebugCapture {
public:
    DebugCapture() {
        m_previous = qor::SetDebugSink([this](std::string_view line) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_lines.emplace_back(line);
        });
    }
    ~DebugCapture() { qor::SetDebugSink(m_previous); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_lines;
    }
    int Count(std::string_view line) const {
        std::lock_guard<std::mutex> lock(m_lock);
        return static_cast<int>(std::count(m_lines.begin(), m_lines.end(), line));
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
    qor::DebugSink m_previous;
};
