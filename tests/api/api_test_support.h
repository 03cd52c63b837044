// Helpers for tests that use the library the way a caller does: through the
// public header only.
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qor_player.h"
// By its own path: this target sees the public header, not the tree root.
#include "../support/temp_dir.h"

namespace qor::apitest {

// Collects the library's debug lines through QORPLAYER_SetDebugOutput.
class LineCapture {
public:
    LineCapture() { QORPLAYER_SetDebugOutput(&LineCapture::Receive, this); }
    ~LineCapture() { QORPLAYER_SetDebugOutput(nullptr, nullptr); }
    bool Has(const std::string& line) const {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const std::string& l : m_lines)
            if (l == line) return true;
        return false;
    }
    int Count(const std::string& line) const {
        std::lock_guard<std::mutex> guard(m_lock);
        int n = 0;
        for (const std::string& l : m_lines) n += l == line ? 1 : 0;
        return n;
    }
    void Clear() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.clear();
    }

private:
    static void Receive(const char* pLine, void* pUser) {
        auto* self = static_cast<LineCapture*>(pUser);
        std::lock_guard<std::mutex> guard(self->m_lock);
        self->m_lines.emplace_back(pLine);
    }
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
};

using qor::test::TempDir;

// Polls until pred holds or the time runs out.
inline bool WaitFor(const std::function<bool()>& pred, int iMilliseconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iMilliseconds);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Creates players until none is left; releases them all at the end.
class PlayerGuard {
public:
    explicit PlayerGuard(int32_t id = QORPLAYER_CreatePlayer(0, 0)) : m_id(id) {}
    ~PlayerGuard() {
        if (m_id >= 0) QORPLAYER_ReleasePlayer(static_cast<uint32_t>(m_id));
    }
    PlayerGuard(const PlayerGuard&) = delete;
    PlayerGuard& operator=(const PlayerGuard&) = delete;
    uint32_t Id() const { return static_cast<uint32_t>(m_id); }
    bool Valid() const { return m_id >= 0; }

private:
    int32_t m_id;
};

}  // namespace qor::apitest
