#include <gtest/gtest.h>

#include <ostream>

#include <numeric>

#include "tests/avi/avi_test_support.h"
#include "tests/avi/riff_walker.h"

namespace {

using avitest::AviFile;
using avitest::ChunkBytes;
using avitest::ReadOrFail;
using avitest::TwoStreamWriter;
using vidorra::AVIOutput;
using vidorra::kAviKeyFrame;


struct Written {
    bool video;
    uint32_t size;
    bool key;
};

// Writes an interleaved pattern: per round one audio chunk, one video chunk,
// a key frame every 5 video frames, sizes varying and some odd.
std::vector<Written> WritePattern(TwoStreamWriter& w, int rounds) {
    std::vector<Written> out;
    for (int i = 0; i < rounds; ++i) {
        const uint32_t audioSize = 200 + static_cast<uint32_t>(i % 3);
        const auto a = ChunkBytes(2 * i, audioSize);
        EXPECT_TRUE(w.audio->Write(kAviKeyFrame, a.data(), audioSize, audioSize));
        out.push_back({false, audioSize, true});
        const uint32_t videoSize = 900 + static_cast<uint32_t>((i * 37) % 301);
        const bool key = i % 5 == 0;
        const auto v = ChunkBytes(2 * i + 1, videoSize);
        EXPECT_TRUE(w.video->Write(key ? kAviKeyFrame : 0, v.data(), videoSize, 1));
        out.push_back({true, videoSize, key});
    }
    return out;
}

TEST(OpenDml, ChunksBeyondTheBudgetContinueInAvixRiffsWithConsistentIndexes) {
    avitest::TempDir dir;
    const std::string path = dir.path() + "/multi.avi";
    AVIOutput::Limits limits;
    limits.riffBudget = 64 * 1024;
    std::vector<Written> written;
    {
        TwoStreamWriter w(limits);
        ASSERT_TRUE(w.writer.Open(path));
        written = WritePattern(w, 200);
        ASSERT_TRUE(w.writer.Close());
    }
    const AviFile avi = ReadOrFail(path);
    ASSERT_GE(avi.riffs.size(), 4u);
    EXPECT_EQ(avi.riffs[0].type, "AVI ");
    for (size_t r = 1; r < avi.riffs.size(); ++r) EXPECT_EQ(avi.riffs[r].type, "AVIX") << r;

    // Every chunk, in order, across all RIFFs.
    size_t k = 0;
    for (const auto& riff : avi.riffs) {
        uint64_t cost = 0;
        for (const auto& c : riff.chunks) {
            ASSERT_LT(k, written.size());
            EXPECT_EQ(c.id, written[k].video ? "00dc" : "01wb");
            EXPECT_EQ(c.size, written[k].size);
            cost += c.size + (c.size & 1) + 16;
            ++k;
        }
        EXPECT_LE(cost, limits.riffBudget);
    }
    EXPECT_EQ(k, written.size());

    // idx1 belongs to the first RIFF only; dwTotalFrames counts its video
    // frames, dmlh the whole file's.
    EXPECT_EQ(avi.riffs[0].after.size(), 1u);
    for (size_t r = 1; r < avi.riffs.size(); ++r) EXPECT_TRUE(avi.riffs[r].after.empty());
    size_t firstVideo = 0;
    for (const auto& c : avi.riffs[0].chunks) firstVideo += c.id == "00dc";
    EXPECT_EQ(avi.avih[4], firstVideo);
    EXPECT_EQ(avi.dmlhTotalFrames, 200u);
    for (size_t i = 0; i < avi.idx1.size(); ++i) EXPECT_EQ(avi.idx1[i].flags, written[i].key ? 0x10u : 0u) << i;

    ASSERT_EQ(avi.streams.size(), 2u);
    for (const auto& s : avi.streams) {
        EXPECT_EQ(s.indexFcc, "indx");
        EXPECT_EQ(s.indexSize, 4120u);
        EXPECT_EQ(s.super.size(), 1u);
    }
    EXPECT_EQ(avi.streams[0].super[0].duration, 200u);  // frames: dwSampleSize 0
    const uint64_t audioBytes = std::accumulate(written.begin(), written.end(), uint64_t{0},
                                                [](uint64_t s, const Written& x) { return s + (x.video ? 0 : x.size); });
    EXPECT_EQ(avi.streams[1].super[0].duration, audioBytes);  // bytes: dwSampleSize 1

    // Non-key frames carry bit 31 in the standard index.
    const auto& ix = avi.stdIndexes.at(avi.streams[0].super[0].offset);
    ASSERT_EQ(ix.entries.size(), 200u);
    for (size_t i = 0; i < ix.entries.size(); ++i) {
        EXPECT_EQ((ix.entries[i].second & 0x80000000u) != 0, i % 5 != 0) << i;
    }
    const auto faults = avitest::CheckIndexes(avi, path);
    EXPECT_TRUE(faults.empty()) << faults.front();
}

struct GroupCase {
    uint32_t maxEntries;
    int rounds;
    size_t videoIndexes;
};

void PrintTo(const GroupCase& c, std::ostream* os) { *os << c.maxEntries << " per index, " << c.rounds << " rounds"; }

class OpenDmlGroups : public testing::TestWithParam<GroupCase> {};

TEST_P(OpenDmlGroups, StandardIndexesHoldAtMostTheirEntryLimit) {
    const GroupCase c = GetParam();
    avitest::TempDir dir;
    const std::string path = dir.path() + "/groups.avi";
    AVIOutput::Limits limits;
    limits.riffBudget = 32 * 1024;
    limits.maxIndexEntries = c.maxEntries;
    {
        TwoStreamWriter w(limits);
        ASSERT_TRUE(w.writer.Open(path));
        WritePattern(w, c.rounds);
        ASSERT_TRUE(w.writer.Close());
        EXPECT_FALSE(w.writer.HasError());
    }
    const AviFile avi = ReadOrFail(path);
    ASSERT_EQ(avi.streams[0].indexFcc, "indx");
    EXPECT_EQ(avi.streams[0].super.size(), c.videoIndexes);
    for (const auto& se : avi.streams[0].super) {
        EXPECT_LE(avi.stdIndexes.at(se.offset).entries.size(), c.maxEntries);
    }
    const auto faults = avitest::CheckIndexes(avi, path);
    EXPECT_TRUE(faults.empty()) << faults.front();
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenDmlGroups,
                         testing::Values(GroupCase{8192, 60, 1}, GroupCase{10, 60, 6}, GroupCase{7, 60, 9},
                                         GroupCase{1, 256, 256}),
                         [](const testing::TestParamInfo<GroupCase>& info) {
                             return "Max" + std::to_string(info.param.maxEntries) + "Chunks" +
                                    std::to_string(info.param.rounds);
                         });

TEST(OpenDml, StreamNeedingMoreThan256SuperIndexSlotsKeepsItsPlaceholder) {
    avitest::TempDir dir;
    const std::string path = dir.path() + "/slots.avi";
    AVIOutput::Limits limits;
    limits.riffBudget = 32 * 1024;
    limits.maxIndexEntries = 1;
    avitest::DebugCapture capture;
    {
        TwoStreamWriter w(limits);
        ASSERT_TRUE(w.writer.Open(path));
        WritePattern(w, 257);
        EXPECT_FALSE(w.writer.Close());
        EXPECT_TRUE(w.writer.Errors() & AVIOutput::kErrorIndex);
    }
    EXPECT_GE(capture.Count("[QOR]AVIOutput: Not enough superindex entries to index AVI file.  (257 slots required, "
                            "256 slots preallocated)\n"),
              1);
    const AviFile avi = ReadOrFail(path);
    EXPECT_EQ(avi.streams[0].indexFcc, "JUNK");
    EXPECT_EQ(avi.streams[0].indexSize, 4120u);
}

TEST(OpenDml, FileThatStaysInOneRiffHasNoOpenDmlIndexes) {
    avitest::TempDir dir;
    const std::string path = dir.path() + "/single.avi";
    {
        TwoStreamWriter w;
        ASSERT_TRUE(w.writer.Open(path));
        WritePattern(w, 100);
        ASSERT_TRUE(w.writer.Close());
    }
    const AviFile avi = ReadOrFail(path);
    ASSERT_EQ(avi.riffs.size(), 1u);
    EXPECT_TRUE(avi.stdIndexes.empty());
    for (const auto& s : avi.streams) EXPECT_EQ(s.indexFcc, "JUNK");
    EXPECT_EQ(avi.idx1.size(), 200u);
    EXPECT_EQ(avi.avih[4], 100u);
    EXPECT_EQ(avi.dmlhTotalFrames, 100u);
}

TEST(OpenDml, ChunkThatWouldPassTheFileLimitIsDroppedAndLaterOnesTestedAlike) {
    avitest::TempDir dir;
    const std::string path = dir.path() + "/limit.avi";
    AVIOutput::Limits limits;
    limits.fileLimit = 160 * 1024;  // the index reserve takes 64 KiB of it
    avitest::DebugCapture capture;
    uint32_t videoWritten = 0;
    {
        TwoStreamWriter w(limits);
        ASSERT_TRUE(w.writer.Open(path));
        const auto big = ChunkBytes(1, 4000);
        for (int i = 0; i < 40; ++i) videoWritten += w.video->Write(kAviKeyFrame, big.data(), 4000, 1);
        EXPECT_TRUE(w.writer.Errors() & AVIOutput::kErrorNoSpace);
        EXPECT_EQ(w.video->GetStreamHeader().dwLength, videoWritten);
        EXPECT_FALSE(w.writer.Close());
    }
    EXPECT_GT(videoWritten, 5u);
    EXPECT_LT(videoWritten, 40u);
    EXPECT_EQ(capture.Count("[QOR]Out of file space: Files cannot exceed 4 gigabytes on a FAT32 partition.\n"),
              static_cast<int>(40 - videoWritten));
    const AviFile avi = ReadOrFail(path);
    EXPECT_LT(avi.fileSize, limits.fileLimit);
    EXPECT_EQ(avi.riffs[0].chunks.size(), videoWritten);
    EXPECT_EQ(avi.dmlhTotalFrames, videoWritten);
    EXPECT_TRUE(avitest::CheckIndexes(avi, path).empty());
}

TEST(OpenDml, ChunkLargerThanAnyRiffIsRefused) {
    avitest::TempDir dir;
    AVIOutput::Limits limits;
    limits.riffBudget = 4096;
    avitest::DebugCapture capture;
    TwoStreamWriter w(limits);
    ASSERT_TRUE(w.writer.Open(dir.path() + "/huge.avi"));
    const auto data = ChunkBytes(0, 5000);
    EXPECT_FALSE(w.video->Write(kAviKeyFrame, data.data(), 5000, 1));
    EXPECT_TRUE(w.writer.Errors() & AVIOutput::kErrorNoSpace);
    EXPECT_EQ(w.video->GetStreamHeader().dwLength, 0u);
    EXPECT_EQ(capture.Count("[QOR]AVIOutput: chunk of 5000 bytes is too large for a RIFF chunk.\n"), 1);
}

struct BudgetCase {
    uint32_t chunkSize;
    uint32_t budget;
    size_t chunksInFirstRiff;
};

void PrintTo(const BudgetCase& c, std::ostream* os) { *os << c.chunkSize << " bytes, budget " << c.budget; }

class OpenDmlBudget : public testing::TestWithParam<BudgetCase> {};

// Each chunk costs its size, its pad byte and 16 bytes (header and idx1 entry).
TEST_P(OpenDmlBudget, NextRiffStartsOnceBudgetPlusCostExceedsTheLimit) {
    const BudgetCase c = GetParam();
    avitest::TempDir dir;
    const std::string path = dir.path() + "/budget.avi";
    AVIOutput::Limits limits;
    limits.riffBudget = c.budget;
    {
        TwoStreamWriter w(limits);
        ASSERT_TRUE(w.writer.Open(path));
        const auto data = ChunkBytes(3, c.chunkSize);
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(w.video->Write(kAviKeyFrame, data.data(), c.chunkSize, 1));
        ASSERT_TRUE(w.writer.Close());
    }
    const AviFile avi = ReadOrFail(path);
    ASSERT_GE(avi.riffs.size(), 2u);
    EXPECT_EQ(avi.riffs[0].chunks.size(), c.chunksInFirstRiff);
    EXPECT_EQ(avi.idx1.size(), c.chunksInFirstRiff);
    EXPECT_EQ(avi.avih[4], c.chunksInFirstRiff);
    const auto faults = avitest::CheckIndexes(avi, path);
    EXPECT_TRUE(faults.empty()) << faults.front();
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenDmlBudget,
                         testing::Values(BudgetCase{101, 3 * 118, 3}, BudgetCase{101, 3 * 118 - 1, 2},
                                         BudgetCase{100, 3 * 116, 3}, BudgetCase{100, 3 * 116 + 1, 3},
                                         BudgetCase{0, 3 * 16, 3}));

TEST(OpenDml, StandardIndexThatDoesNotFitTheLastRiffStartsAnotherAvix) {
    avitest::TempDir dir;
    const std::string path = dir.path() + "/ixriff.avi";
    AVIOutput::Limits limits;
    limits.riffBudget = 10 * 118;  // ten 101-byte chunks fill a RIFF exactly
    {
        TwoStreamWriter w(limits);
        ASSERT_TRUE(w.writer.Open(path));
        const auto data = ChunkBytes(5, 101);
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(w.video->Write(kAviKeyFrame, data.data(), 101, 1));
        ASSERT_TRUE(w.writer.Close());
    }
    const AviFile avi = ReadOrFail(path);
    ASSERT_EQ(avi.riffs.size(), 3u);
    EXPECT_EQ(avi.riffs[1].chunks.size(), 10u);
    EXPECT_TRUE(avi.riffs[2].chunks.empty());
    ASSERT_EQ(avi.stdIndexes.size(), 1u);
    const uint64_t ix = avi.stdIndexes.begin()->first;
    EXPECT_GT(ix, avi.riffs[2].moviPosition);
    EXPECT_EQ(avi.streams[1].indexFcc, "JUNK");  // the audio stream has no chunks
    const auto faults = avitest::CheckIndexes(avi, path);
    EXPECT_TRUE(faults.empty()) << faults.front();
}

struct PerIndexCase {
    std::vector<uint64_t> positions;
    uint32_t maxEntries;
    uint32_t expected;
};

void PrintTo(const PerIndexCase& c, std::ostream* os) { *os << c.positions.size() << " positions, max " << c.maxEntries; }

class OpenDmlEntriesPerIndex : public testing::TestWithParam<PerIndexCase> {};

TEST_P(OpenDmlEntriesPerIndex, GroupsSpanLessThanFourGibibytes) {
    const PerIndexCase c = GetParam();
    EXPECT_EQ(vidorra::EntriesPerStandardIndex(c.positions, c.maxEntries), c.expected);
}

constexpr uint64_t kG = uint64_t{1} << 30;
INSTANTIATE_TEST_SUITE_P(Cases, OpenDmlEntriesPerIndex,
                         testing::Values(PerIndexCase{{}, 8192, 8192}, PerIndexCase{{100, 200, 300}, 8192, 8192},
                                         // 0 and 4 GiB cannot share a group; two per group splits them.
                                         PerIndexCase{{0, 2 * kG, 4 * kG, 5 * kG}, 8192, 2},
                                         PerIndexCase{{0, 4 * kG - 1}, 8192, 8192},
                                         PerIndexCase{{0, 1, 4 * kG}, 8192, 2},
                                         PerIndexCase{{0, 4 * kG, 8 * kG}, 8192, 1}, PerIndexCase{{1, 2, 3}, 2, 2}));

}  // namespace
