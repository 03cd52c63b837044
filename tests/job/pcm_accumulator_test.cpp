#include "converter/job/pcm_accumulator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using vidorra::DoubleSampleRate;
using vidorra::PcmAccumulator;

namespace {

std::vector<int16_t> Doubled(const std::vector<int16_t>& in) {
    std::vector<int16_t> out(in.size() * 2, 0x5555);
    DoubleSampleRate(in.data(), in.size(), out.data());
    return out;
}

std::vector<int16_t> Samples(const PcmAccumulator& pcm) {
    std::vector<int16_t> out(pcm.Fill() / 2);
    std::memcpy(out.data(), pcm.Data(), out.size() * 2);
    return out;
}

}  // namespace

TEST(PcmAccumulator, DoublingInterpolatesAndRepeatsTheLastSample) {
    struct Case {
        std::vector<int16_t> in;
        std::vector<int16_t> out;
    };
    const Case cases[] = {
        {{7}, {7, 7}},
        {{0, 10, 20}, {0, 5, 10, 15, 20, 20}},
        // The mean truncates toward zero, also for negative sums.
        {{-3, 0, 3, 32767, 32767}, {-3, -1, 0, 1, 3, 16385, 32767, 32767, 32767, 32767}},
        {{-32768, -32768}, {-32768, -32768, -32768, -32768}},
    };
    for (const Case& c : cases) EXPECT_EQ(Doubled(c.in), c.out);
}

TEST(PcmAccumulator, DoubledBlockIsTwiceTheInputLength) {
    PcmAccumulator pcm;
    const int16_t block[4] = {100, 200, 300, 400};
    pcm.Append(reinterpret_cast<const uint8_t*>(block), sizeof block, true);
    EXPECT_EQ(pcm.Fill(), 2 * sizeof block);
    const std::vector<int16_t> samples = Samples(pcm);
    EXPECT_EQ(samples.back(), samples[samples.size() - 2]);
}

TEST(PcmAccumulator, UndoubledBlockIsAppendedUnchanged) {
    PcmAccumulator pcm;
    const int16_t first[3] = {1, -2, 3};
    const int16_t second[2] = {4, 5};
    pcm.Append(reinterpret_cast<const uint8_t*>(first), sizeof first, false);
    pcm.Append(reinterpret_cast<const uint8_t*>(second), sizeof second, false);
    EXPECT_EQ(Samples(pcm), (std::vector<int16_t>{1, -2, 3, 4, 5}));
}

TEST(PcmAccumulator, ConsumedFramesLeaveTheRemainderAtTheFront) {
    PcmAccumulator pcm;
    std::vector<int16_t> block(10);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<int16_t>(i);
    pcm.Append(reinterpret_cast<const uint8_t*>(block.data()), block.size() * 2, false);
    pcm.Consume(8);  // one "frame" of four samples
    pcm.Compact();
    EXPECT_EQ(Samples(pcm), (std::vector<int16_t>{4, 5, 6, 7, 8, 9}));
    pcm.Consume(100);
    EXPECT_EQ(pcm.Fill(), 0u);
}

TEST(PcmAccumulator, HoldsTheLargestDoubledBlockPlusARemainder) {
    // 16,384 bytes doubled plus almost a stereo frame exceed the 16,384-byte
    // reference buffer; nothing may be lost.
    PcmAccumulator pcm;
    std::vector<uint8_t> remainder(4607, 1);
    pcm.Append(remainder.data(), remainder.size(), false);
    std::vector<uint8_t> block(16384, 2);
    pcm.Append(block.data(), block.size(), true);
    EXPECT_EQ(pcm.Fill(), 4607u + 32768u);
}
