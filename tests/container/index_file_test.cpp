#include <gtest/gtest.h>

#include "tests/support/debug_capture.h"
#include "player/container/mpeg_parser_marlin.h"
#include "recording_fixture.h"

namespace qor {
namespace {

using test::DebugCapture;
using test::RecordingFixture;
using test::TempFolder;

TEST(IndexFile, SideFileName) {
    struct Case {
        const char* recording;
        const char* side;
    } cases[] = {
        {"/rec/ch1.mpg", "/rec/ch1.index"},
        {"rec.2024.mpg", "rec.2024.index"},
        {"/rec/noextension", "/rec/noextension.index"},
        {"/rec.d/noextension", "/rec.d/noextension.index"},
        {"ch1.", "ch1.index"},
    };
    for (const Case& c : cases) EXPECT_EQ(IndexFileName(c.recording), c.side) << c.recording;
}

std::vector<uint8_t> Entry(uint32_t time, uint32_t position, uint32_t length) {
    return SerializeIndexRecords({{time, position, length}}, {});
}
std::vector<uint8_t> HeaderRecord(uint32_t position) { return SerializeIndexRecords({}, {position}); }
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(IndexFile, RecordStreamChecks) {
    IndexRecordLimits limits;
    limits.iFirstKeyFramePosition = 1024;
    limits.iHeaderPosition = 0;
    limits.iFileSize = 100000;
    limits.uFirstTime = 1000;
    limits.iLastTimeLimit = 9000;
    std::vector<uint8_t> truncated = Join({Entry(1000, 1024, 100), Entry(2000, 5000, 100)});
    truncated.resize(truncated.size() - 3);
    std::vector<uint8_t> unknownTag = Join({Entry(1000, 1024, 100)});
    WriteLe32(unknownTag.data(), 0xB7000002);
    struct Case {
        const char* name;
        std::vector<uint8_t> stream;
        bool ok;
    } cases[] = {
        {"good", Join({Entry(1000, 1024, 100), Entry(9000, 100000, 0), HeaderRecord(0)}), true},
        {"headers first", Join({HeaderRecord(50000), Entry(1000, 1024, 100)}), true},
        {"position before first key frame", Join({Entry(1000, 1023, 100)}), false},
        {"position beyond the file", Join({Entry(1000, 100001, 0)}), false},
        {"frame running past the end", Join({Entry(1000, 99990, 11)}), false},
        {"time before first time", Join({Entry(999, 1024, 100)}), false},
        {"time after last time", Join({Entry(9001, 1024, 100)}), false},
        {"header beyond the file", Join({Entry(1000, 1024, 100), HeaderRecord(100001)}), false},
        {"unknown tag", unknownTag, false},
        {"truncated record", truncated, false},
        {"headers only", Join({HeaderRecord(0)}), false},
        {"empty", {}, false},
    };
    for (const Case& c : cases) {
        std::vector<IndexEntry> entries{{1, 2, 3}};
        std::vector<uint32_t> headers{9};
        EXPECT_EQ(ParseIndexRecords(c.stream.data(), int64_t(c.stream.size()), limits, &entries, &headers), c.ok)
            << c.name;
        if (!c.ok) {
            EXPECT_TRUE(entries.empty()) << c.name;
            EXPECT_TRUE(headers.empty()) << c.name;
        }
    }
}

TEST(IndexFile, HeaderPositionsComeBackAscendingAndOnce) {
    IndexRecordLimits limits;
    limits.iFileSize = 100000;
    limits.iLastTimeLimit = 9000;
    // Seeking wants the last header at or before a position.
    auto stream =
        Join({HeaderRecord(50000), Entry(0, 0, 100), HeaderRecord(0), HeaderRecord(50000), HeaderRecord(7000)});
    std::vector<IndexEntry> entries;
    std::vector<uint32_t> headers;
    ASSERT_TRUE(ParseIndexRecords(stream.data(), int64_t(stream.size()), limits, &entries, &headers));
    EXPECT_EQ(headers, (std::vector<uint32_t>{0, 7000, 50000}));
}

class IndexFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        SetIndexBuildPauses(false);
        recording.Header();
        for (int k = 0; k < 4; ++k) {
            recording.Key(uint32_t(k * 80), k == 3 ? 300 : 1500, true).Frame(kFramePredicted, uint32_t(k * 80 + 40));
        }
        path = dir.Path("rec.mpg");
        ASSERT_TRUE(recording.Write(path));
    }
    void TearDown() override { SetIndexBuildPauses(true); }

    std::unique_ptr<CMpegParserMarlin> OpenParser(PlayerFileInfo* info) {
        info->iFrameDuration = 40;
        auto parser = std::make_unique<CMpegParserMarlin>(info);
        EXPECT_TRUE(parser->Init(path.c_str(), false));
        return parser;
    }
    std::vector<uint8_t> SideFileBytes() const {
        File f;
        std::vector<uint8_t> bytes;
        if (!f.Open(dir.Path("rec.index"), File::Mode::Read)) return bytes;
        bytes.resize(size_t(f.Size()));
        f.Read(bytes.data(), bytes.size());
        return bytes;
    }
    void WriteSideFile(const std::vector<uint8_t>& bytes) const {
        File f;
        ASSERT_TRUE(f.Open(dir.Path("rec.index"), File::Mode::CreateAlways));
        ASSERT_TRUE(f.Write(bytes.data(), bytes.size()));
    }

    TempFolder dir;
    std::string path;
    RecordingFixture recording;
};

TEST_F(IndexFileOnDisk, BuilderWritesSideFileThatLoadsBack) {
    PlayerFileInfo built;
    auto parser = OpenParser(&built);
    ASSERT_TRUE(parser->CreateMpegFileIndexTableWithEx());
    std::vector<uint8_t> side = SideFileBytes();
    ASSERT_EQ(side.size(), 2048 + (2 * built.indexTable.size() + built.headerPositions.size()) * 8);
    EXPECT_TRUE(std::equal(side.begin(), side.begin() + 1024, recording.bytes.begin() + recording.keyPositions[0]));
    // The last key frame is near the end: its block is padded with 0x55.
    size_t lastKey = size_t(recording.keyPositions.back());
    size_t inFile = recording.bytes.size() - lastKey;
    ASSERT_LT(inFile, 1024u);
    EXPECT_TRUE(std::equal(side.begin() + 1024, side.begin() + 1024 + long(inFile), recording.bytes.begin() + long(lastKey)));
    EXPECT_EQ(side[2047], 0x55);
    EXPECT_EQ(ReadLe32(side.data() + 2048), kIndexEntryTag);

    PlayerFileInfo loaded;
    auto other = OpenParser(&loaded);
    ASSERT_TRUE(other->GetIndexFromIndexFile());
    EXPECT_EQ(loaded.indexTable, built.indexTable);
    EXPECT_EQ(loaded.headerPositions, built.headerPositions);
}

TEST_F(IndexFileOnDisk, NoSideFileWhenDisabled) {
    PlayerFileInfo info;
    auto parser = OpenParser(&info);
    info.bCreateSideFile = false;
    ASSERT_TRUE(parser->CreateMpegFileIndexTable());
    EXPECT_FALSE(PathExists(dir.Path("rec.index")));
}

TEST_F(IndexFileOnDisk, DamagedSideFilesAreRefused) {
    PlayerFileInfo info;
    auto parser = OpenParser(&info);
    ASSERT_TRUE(parser->CreateMpegFileIndexTable());
    const std::vector<uint8_t> good = SideFileBytes();
    auto stale = good;
    stale[100] ^= 0xFF;
    auto staleLast = good;
    staleLast[1500] ^= 0xFF;
    auto shortFile = std::vector<uint8_t>(good.begin(), good.begin() + 2048);
    auto cut = std::vector<uint8_t>(good.begin(), good.end() - 5);
    auto outOfRange = good;
    WriteLe32(outOfRange.data() + 2048 + 8, uint32_t(recording.bytes.size() + 1));
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {{"first block differs", stale}, {"last block differs", staleLast}, {"no records", shortFile},
                 {"truncated record", cut}, {"position out of range", outOfRange}, {"empty", {}}};
    for (const Case& c : cases) {
        WriteSideFile(c.bytes);
        PlayerFileInfo loaded;
        auto other = OpenParser(&loaded);
        EXPECT_FALSE(other->GetIndexFromIndexFile()) << c.name;
        EXPECT_TRUE(loaded.indexTable.empty()) << c.name;
    }
    WriteSideFile(good);
    PlayerFileInfo loaded;
    EXPECT_TRUE(OpenParser(&loaded)->GetIndexFromIndexFile());
}

TEST_F(IndexFileOnDisk, NoRecordingNameMessages) {
    PlayerFileInfo info;
    CMpegParserMarlin parser(&info);
    DebugCapture capture;
    EXPECT_FALSE(parser.GetIndexFromIndexFile());
    EXPECT_FALSE(parser.WriteIndexToIndexFile());
    EXPECT_TRUE(capture.Has("[QOR]GetIndexFromIndexFile() m_pFileName NULL!\n"));
    EXPECT_TRUE(capture.Has("[QOR]WriteIndexToIndexFile() m_pFileName NULL!\n"));
}

TEST_F(IndexFileOnDisk, CallerSuppliedIndex) {
    PlayerFileInfo info;
    auto parser = OpenParser(&info);
    uint32_t end = uint32_t(recording.bytes.size());
    auto good = Join({Entry(0, uint32_t(recording.keyPositions[0]), 100), Entry(280, end, 0), HeaderRecord(0)});
    ASSERT_TRUE(parser->SetFileIndexTable(good.data(), int(good.size())));
    EXPECT_TRUE(info.bIndexReady);
    EXPECT_EQ(info.indexTable.size(), 2u);
    EXPECT_EQ(info.headerPositions, std::vector<uint32_t>{0});

    PlayerFileInfo other;
    auto second = OpenParser(&other);
    auto beyond = Join({Entry(0, end + 1, 0)});
    EXPECT_FALSE(second->SetFileIndexTable(beyond.data(), int(beyond.size())));
    EXPECT_FALSE(other.bIndexReady);
    DebugCapture capture;
    EXPECT_FALSE(second->SetFileIndexTable(nullptr, 16));
    EXPECT_TRUE(capture.Has("[QOR]GetIndexFromIndexFile() pIndexData NULL error!\n"));
    EXPECT_FALSE(second->SetFileIndexTable(good.data(), 0));
    EXPECT_TRUE(capture.Has("[QOR]GetIndexFromIndexFile() iDataSize error!\n"));
}

}  // namespace
}  // namespace qor
