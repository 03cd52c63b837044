// The window sound output's clock: how much written sound is still to be
// heard, read from the device buffer's play position.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/sound_null.h"
#include "player/api/window_outputs.h"

namespace qor::api {
namespace {

// 8000 Hz mono 16-bit: 16 bytes per millisecond.
WaveFormat Mono8k() {
    WaveFormat format;
    format.wFormatTag = 1;
    format.nChannels = 1;
    format.nSamplesPerSec = 8000;
    format.nAvgBytesPerSec = 16000;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    return format;
}

struct HandPlayed {
    NullSoundDevice* device = nullptr;
    std::unique_ptr<DeviceSoundOutput> output;
};

// File-mode buffer: 32768 bytes in 8 blocks; play moves only by Advance.
HandPlayed MakeHandPlayed() {
    HandPlayed made;
    auto device = std::make_unique<NullSoundDevice>(false);
    made.device = device.get();
    made.output = DeviceSoundOutput::Create(std::move(device), 1, 0, Mono8k(), 32768, 8);
    return made;
}

TEST(DeviceSoundOutput, QueuedSoundFollowsThePlayPositionDownToNothing) {
    HandPlayed sound = MakeHandPlayed();
    ASSERT_NE(sound.output, nullptr);
    EXPECT_TRUE(sound.output->HasClock());
    EXPECT_EQ(sound.output->QueuedMilliseconds(), 0);
    const std::vector<uint8_t> pcm(8000, 1);  // 500 ms
    ASSERT_TRUE(sound.output->Write(pcm.data(), uint32_t(pcm.size())));
    EXPECT_EQ(sound.output->QueuedMilliseconds(), 500);
    sound.output->Play();
    struct Step {
        uint32_t advance;
        int queuedMs;
    };
    // The last step plays past the written sound into old buffer bytes.
    for (const Step& step : {Step{1600, 400}, Step{4800, 100}, Step{1600, 0}, Step{4000, 0}}) {
        sound.device->Advance(step.advance);
        EXPECT_EQ(sound.output->QueuedMilliseconds(), step.queuedMs) << "after " << step.advance;
    }
}

TEST(DeviceSoundOutput, FullBufferCountsAsAllQueuedAndPauseHoldsIt) {
    HandPlayed sound = MakeHandPlayed();
    ASSERT_NE(sound.output, nullptr);
    const std::vector<uint8_t> pcm(32768, 1);
    ASSERT_TRUE(sound.output->Write(pcm.data(), uint32_t(pcm.size())));
    EXPECT_EQ(sound.output->QueuedMilliseconds(), 2048);
    sound.output->Play();
    sound.device->Advance(4096);
    EXPECT_EQ(sound.output->QueuedMilliseconds(), 1792);
    sound.output->Pause();
    sound.device->Advance(4096);
    EXPECT_EQ(sound.output->QueuedMilliseconds(), 1792);
    sound.output->Reset();
    EXPECT_EQ(sound.output->QueuedMilliseconds(), 0);
}

TEST(DeviceSoundOutput, ClockedDevicePlaysTheQueueAwayInRealTime) {
    auto output = DeviceSoundOutput::Create(std::make_unique<NullSoundDevice>(true), 1, 0, Mono8k(), 32768, 8);
    ASSERT_NE(output, nullptr);
    const std::vector<uint8_t> pcm(8000, 1);  // 500 ms
    ASSERT_TRUE(output->Write(pcm.data(), uint32_t(pcm.size())));
    const auto start = std::chrono::steady_clock::now();
    output->Play();
    int last = output->QueuedMilliseconds();
    EXPECT_LE(last, 500);
    while (last > 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int now = output->QueuedMilliseconds();
        EXPECT_LE(now, last);
        last = now;
    }
    EXPECT_EQ(last, 0);
    // Half a second of sound cannot be played away in much less.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

TEST(DeviceSoundOutput, FormatWithoutByteRateHasNoClock) {
    WaveFormat format = Mono8k();
    format.nAvgBytesPerSec = 0;
    auto output = DeviceSoundOutput::Create(std::make_unique<NullSoundDevice>(false), 1, 0, format, 32768, 8);
    ASSERT_NE(output, nullptr);
    EXPECT_FALSE(output->HasClock());
    EXPECT_EQ(output->QueuedMilliseconds(), 0);
}

}  // namespace
}  // namespace qor::api
