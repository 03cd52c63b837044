#include <gtest/gtest.h>
#include <spandsp.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "player/decoding/g711.h"
#include "player/decoding/g726_decoder.h"

namespace {

std::vector<uint16_t> ReadWords(const std::string& name) {
    std::vector<uint16_t> words;
    const std::string path = std::string(QOR_TESTDATA_DIR) + "/g726/" + name;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return words;
    uint8_t pair[2];
    while (std::fread(pair, 1, 2, f) == 2) words.push_back(static_cast<uint16_t>(pair[0] | (pair[1] << 8)));
    std::fclose(f);
    return words;
}

struct ResetSequence {
    const char* input;
    const char* expected;
    size_t count;
};

class G726ResetSequence : public ::testing::TestWithParam<ResetSequence> {};

TEST_P(G726ResetSequence, ReproducesReferenceOutputExactly) {
    const auto codes = ReadWords(GetParam().input);
    const auto expected = ReadWords(GetParam().expected);
    ASSERT_EQ(codes.size(), GetParam().count);
    ASSERT_EQ(expected.size(), GetParam().count);
    qor::G726Decoder decoder;
    size_t mismatches = 0;
    size_t first = codes.size();
    for (size_t i = 0; i < codes.size(); ++i) {
        if (decoder.Decode(codes[i]) != (expected[i] & 0xFF)) {
            if (mismatches++ == 0) first = i;
        }
    }
    EXPECT_EQ(mismatches, 0u) << "first mismatch at sample " << first;
}

INSTANTIATE_TEST_SUITE_P(Itu, G726ResetSequence,
                         ::testing::Values(ResetSequence{"rn32fm.i", "rn32fm.o", 16384},
                                           ResetSequence{"rv32fm.i", "rv32fm.o", 2048}),
                         [](const auto& info) { return std::string(info.param.input[1] == 'n' ? "Normal" : "Overload"); });

TEST(G726, MatchesSpandspOverLongRandomStream) {
    g726_state_t* reference = g726_init(nullptr, 32000, G726_ENCODING_ULAW, G726_PACKING_NONE);
    ASSERT_NE(reference, nullptr);
    qor::G726Decoder decoder;
    std::mt19937 random(726);
    // White noise codes alternate with runs of small codes so that the tone
    // and transition paths of the predictor are exercised too.
    constexpr int kCodes = 400000;
    std::vector<uint8_t> codes(kCodes);
    for (int i = 0; i < kCodes; ++i) {
        const bool quiet = (i / 8000) % 3 == 1;
        codes[i] = static_cast<uint8_t>(quiet ? (random() % 2) * 15 : random() % 16);
    }
    // With a compressed output law spandsp writes one byte per sample into
    // the sample buffer.
    std::vector<int16_t> referenceBuffer(kCodes);
    ASSERT_EQ(g726_decode(reference, referenceBuffer.data(), codes.data(), kCodes), kCodes);
    const auto* referenceOut = reinterpret_cast<const uint8_t*>(referenceBuffer.data());
    g726_free(reference);
    size_t mismatches = 0;
    for (int i = 0; i < kCodes; ++i) {
        if (decoder.Decode(codes[i]) != referenceOut[i]) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0u);
}

struct MuLawCase {
    uint8_t code;
    int16_t expected;
};

class MuLawExpansion : public ::testing::TestWithParam<MuLawCase> {};

TEST_P(MuLawExpansion, GivesTheLinearValue) {
    EXPECT_EQ(qor::MuLawToLinear(GetParam().code), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(MuLaw, MuLawExpansion,
                         ::testing::Values(MuLawCase{0xFF, 0}, MuLawCase{0x00, -32124}, MuLawCase{0x80, 32124},
                                           MuLawCase{0x7F, 0}, MuLawCase{0xFE, 8}, MuLawCase{0x7E, -8}),
                         [](const auto& info) { return "Code" + std::to_string(info.param.code); });

TEST(MuLaw, CompressionInvertsExpansionForEveryCode) {
    for (int code = 0; code < 256; ++code) {
        if (code == 0x7F) continue;  // negative zero compresses to positive zero
        EXPECT_EQ(qor::LinearToMuLaw(qor::MuLawToLinear(static_cast<uint8_t>(code))), code) << code;
    }
}

}  // namespace
