#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "converter/job/video_encode_worker.h"

using vidorra::EncodeRequest;
using vidorra::VideoEncodeWorker;

namespace {

// Encodes by noting the picture's first byte and its time stamp, slowly
// enough that the producer fills the ring and has to wait.
struct SlowEncoder {
    std::mutex lock;
    std::vector<std::pair<uint8_t, uint32_t>> seen;
    std::atomic<int> delayMs{2};
    VideoEncodeWorker::EncodeFunction Function() {
        return [this](uint8_t* picture, const EncodeRequest& request) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs.load()));
            std::lock_guard<std::mutex> guard(lock);
            seen.emplace_back(picture[0], request.timeStamp);
        };
    }
};

}  // namespace

TEST(VideoEncodeWorker, EncodesEveryPictureInOrderAndWaitIdleSeesThemAll) {
    SlowEncoder encoder;
    VideoEncodeWorker worker(16, 3, encoder.Function());
    constexpr int kPictures = 40;
    for (int i = 0; i < kPictures; ++i) {
        uint8_t* buffer = worker.Acquire();
        ASSERT_NE(buffer, nullptr);
        buffer[0] = static_cast<uint8_t>(i);
        if (i % 7 == 3) {
            // A picture the callback could not pack gives its buffer back.
            worker.Discard(buffer);
            continue;
        }
        worker.Submit(buffer, EncodeRequest{static_cast<uint32_t>(i * 40), 16, 16, 0});
    }
    worker.WaitIdle();
    std::lock_guard<std::mutex> guard(encoder.lock);
    std::vector<std::pair<uint8_t, uint32_t>> expected;
    for (int i = 0; i < kPictures; ++i)
        if (i % 7 != 3) expected.emplace_back(static_cast<uint8_t>(i), static_cast<uint32_t>(i * 40));
    EXPECT_EQ(encoder.seen, expected);
}

TEST(VideoEncodeWorker, StopReleasesAProducerWaitingForABufferAndDropsTheRest) {
    SlowEncoder encoder;
    encoder.delayMs = 50;
    VideoEncodeWorker worker(16, 2, encoder.Function());
    for (int i = 0; i < 2; ++i) worker.Submit(worker.Acquire(), EncodeRequest{});
    std::atomic<bool> gotNull{false};
    std::thread producer([&] {
        // The ring is full: this waits until the stop.
        uint8_t* buffer = nullptr;
        do {
            buffer = worker.Acquire();
            if (buffer != nullptr) worker.Submit(buffer, EncodeRequest{});
        } while (buffer != nullptr);
        gotNull = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = std::chrono::steady_clock::now();
    worker.Stop();
    producer.join();
    EXPECT_TRUE(gotNull.load());
    // At most the picture in hand is finished; the queued ones are dropped.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    worker.WaitIdle();  // returns at once once stopped
    EXPECT_EQ(worker.Acquire(), nullptr);
    std::lock_guard<std::mutex> guard(encoder.lock);
    EXPECT_LE(encoder.seen.size(), 2u);
}
