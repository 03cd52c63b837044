// Collects the debug lines written while it lives.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
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
    bool Has(const std::string& line) const {
        std::lock_guard<std::mutex> lock(m_lock);
        return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_lines;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
    DebugSink m_previous;
};

}  // namespace qor::test
