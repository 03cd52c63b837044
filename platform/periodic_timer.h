// Periodic timer standing in for the 1 ms multimedia timer.
//
// Threading: Start and Stop are called by the owner (not from the callback).
// The callback runs on the timer's own thread, one tick at a time. Ticks are
// scheduled on absolute deadlines (start + n * period), so they do not drift;
// when a tick runs late, the missed deadlines are skipped, not bunched up.
// Stop returns only after the thread has ended, so the callback never runs
// over freed state once Stop (or the destructor) has returned.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace qor {

class PeriodicTimer {
public:
    using Callback = std::function<void()>;

    PeriodicTimer() = default;
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer&) = delete;
    PeriodicTimer& operator=(const PeriodicTimer&) = delete;

    // False when already running or the period is not positive.
    bool Start(std::chrono::microseconds period, Callback tick);
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

private:
    void Run(std::chrono::microseconds period);

    Callback m_tick;
    std::thread m_thread;
    std::atomic<bool> m_bStop{false};
    std::mutex m_wakeLock;  // guards the stop wake-up
    std::condition_variable m_wake;
};

}  // namespace qor
