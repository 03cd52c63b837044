// Collects the debug lines written while it lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/debug_output.h"

namespace convprep_test {

class DebugCapture {
public:
    DebugCapture() {
        m_previous = qor::SetDebugSink([this](std::string_view line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.emplace_back(line);
        });
    }
    ~DebugCapture() { qor::SetDebugSink(m_previous); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    qor::DebugSink m_previous;
};

}  // namespace convprep_test
