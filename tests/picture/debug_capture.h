// Collects debug lines for the duration of a test.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/debug_output.h"

namespace qor::test {

class DebugCapture {
public:
    DebugCapture() {
        m_previous = SetDebugSink([this](std::string_view line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.emplace_back(line);
        });
    }
    ~DebugCapture() { SetDebugSink(m_previous); }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    bool Contains(const std::string& line) {
        for (const auto& l : Lines())
            if (l == line) return true;
        return false;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
    DebugSink m_previous;
};

}  // namespace qor::test
