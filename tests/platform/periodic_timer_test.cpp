#include "platform/periodic_timer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(PeriodicTimer, TicksAboutOncePerMillisecondOverOneSecond) {
    qor::PeriodicTimer timer;
    std::mutex ticksLock;
    std::vector<Clock::time_point> ticks;
    ticks.reserve(2000);
    ASSERT_TRUE(timer.Start(1ms, [&] {
        std::lock_guard<std::mutex> g(ticksLock);
        ticks.push_back(Clock::now());
    }));
    std::this_thread::sleep_for(1s);
    timer.Stop();

    std::lock_guard<std::mutex> g(ticksLock);
    ASSERT_GT(ticks.size(), 10u);
    std::vector<double> gaps;
    for (size_t i = 1; i < ticks.size(); ++i) {
        gaps.push_back(std::chrono::duration<double, std::milli>(ticks[i] - ticks[i - 1]).count());
    }
    double mean = 0;
    for (double g2 : gaps) mean += g2;
    mean /= static_cast<double>(gaps.size());
    double var = 0;
    for (double g2 : gaps) var += (g2 - mean) * (g2 - mean);
    const double stddev = std::sqrt(var / static_cast<double>(gaps.size()));
    std::printf("ticks=%zu mean=%.3f ms stddev=%.3f ms max=%.3f ms\n", ticks.size(), mean, stddev,
                *std::max_element(gaps.begin(), gaps.end()));
    // Measured, not held to the millisecond: a loaded 2-core machine may skip ticks,
    // but absolute deadlines keep the count from drifting far above one per ms.
    EXPECT_LE(ticks.size(), 1010u);
    EXPECT_GE(ticks.size(), 100u);
    EXPECT_GE(mean, 0.9);
}

TEST(PeriodicTimer, StopJoinsAndNoTickRunsAfterwards) {
    qor::PeriodicTimer timer;
    std::atomic<int> count{0};
    ASSERT_TRUE(timer.Start(1ms, [&] { count.fetch_add(1); }));
    std::this_thread::sleep_for(20ms);
    timer.Stop();
    EXPECT_FALSE(timer.IsRunning());
    const int atStop = count.load();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(count.load(), atStop);
}

TEST(PeriodicTimer, StopIsPromptEvenWithLongPeriod) {
    qor::PeriodicTimer timer;
    ASSERT_TRUE(timer.Start(10s, [] {}));
    const auto start = Clock::now();
    timer.Stop();
    EXPECT_LT(Clock::now() - start, 500ms);
}

TEST(PeriodicTimer, RefusesBadStartAndCanRestart) {
    qor::PeriodicTimer timer;
    EXPECT_FALSE(timer.Start(0ms, [] {}));
    EXPECT_FALSE(timer.Start(1ms, nullptr));
    std::atomic<int> count{0};
    ASSERT_TRUE(timer.Start(1ms, [&] { ++count; }));
    EXPECT_FALSE(timer.Start(1ms, [] {}));
    timer.Stop();
    ASSERT_TRUE(timer.Start(1ms, [&] { ++count; }));
    std::this_thread::sleep_for(10ms);
}  // destructor stops the second run

}  // namespace
