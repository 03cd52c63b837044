#include "platform/periodic_timer.h"

namespace qor {

PeriodicTimer::~PeriodicTimer() { Stop(); }

bool PeriodicTimer::Start(std::chrono::microseconds period, Callback tick) {
    if (m_thread.joinable() || period.count() <= 0 || !tick) {
        return false;
    }
    m_tick = std::move(tick);
    m_bStop.store(false);
    m_thread = std::thread([this, period] { Run(period); });
    return true;
}

void PeriodicTimer::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_wakeLock);
        m_bStop.store(true);
    }
    m_wake.notify_all();
    m_thread.join();
    m_tick = nullptr;
}

void PeriodicTimer::Run(std::chrono::microseconds period) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + period;
    while (true) {
        {
            std::unique_lock<std::mutex> lock(m_wakeLock);
            if (m_wake.wait_until(lock, deadline, [this] { return m_bStop.load(); })) {
                return;
            }
        }
        m_tick();
        deadline += period;
        const auto now = Clock::now();
        if (deadline < now) {
            // Skip the ticks we could not serve instead of firing them back to back.
            const auto behind = (now - deadline) / period + 1;
            deadline += behind * period;
        }
    }
}

}  // namespace qor
