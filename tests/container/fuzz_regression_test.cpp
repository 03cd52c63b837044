// Hostile recordings run through everything that reads a whole file: the
// header reader, both end scans, both index builders and the reset of the
// end of file. None may crash, loop or index a frame outside the file.
#include <gtest/gtest.h>

#include "memory_source.h"
#include "player/container/frame_search.h"
#include "player/container/mpeg_parser_marlin.h"
#include "recording_fixture.h"

namespace qor {
namespace {

using test::MakeFileHeader;
using test::MakeFrameHeader;
using test::RecordingFixture;

std::vector<uint8_t> KeyWithLink(uint32_t length, uint32_t i2i, int extension = 4) {
    auto f = MakeFrameHeader(kFrameKey, length, 0, extension);
    uint8_t link[4];
    WriteLe32(link, i2i);
    f.insert(f.end(), link, link + 4);
    return f;
}

struct HostileCase {
    const char* name;
    std::vector<uint8_t> bytes;
};

std::vector<HostileCase> HostileRecordings() {
    std::vector<HostileCase> cases;
    auto header = MakeFileHeader();
    auto with = [&](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> out = header;
        for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    cases.push_back({"header only", header});
    cases.push_back({"header cut short", std::vector<uint8_t>(header.begin(), header.begin() + 600)});
    cases.push_back({"key frame longer than the file", with({KeyWithLink(512000, 0)})});
    cases.push_back({"extension longer than the frame", with({KeyWithLink(30, 0, 1023), std::vector<uint8_t>(6, 1)})});
    cases.push_back({"link to the file header", with({KeyWithLink(24, 0), KeyWithLink(24, 1048)})});
    cases.push_back({"link of exactly 1024 from the first key", with({KeyWithLink(24, 1024)})});
    cases.push_back({"huge link", with({KeyWithLink(24, 0), KeyWithLink(24, 0xFFFFFFFF)})});
    cases.push_back({"key frame without extension bytes at the end", with({MakeFrameHeader(kFrameKey, 21, 0, 4)})});
    cases.push_back({"headers back to back", with({header, header, header, KeyWithLink(24, 0)})});
    cases.push_back({"header cut at the end", with({KeyWithLink(24, 0), std::vector<uint8_t>(header.begin(), header.begin() + 900)})});
    cases.push_back({"false start codes only", with({MakeFrameHeader(kFrameKey, 0, 0), MakeFrameHeader(kFramePredicted, 0xFFFFF, 0)})});
    cases.push_back({"frames shorter than a header", with({MakeFrameHeader(kFrameKey, 5, 0), MakeFrameHeader(kFramePredicted, 1, 0), KeyWithLink(24, 0)})});
    RecordingFixture big;
    big.Header().Key(0, 600000 - 24);  // length field would be above the limit
    cases.push_back({"oversized key frame", big.bytes});
    return cases;
}

TEST(ParserFuzzRegression, HostileRecordingsAreHandledSafely) {
    SetIndexBuildPauses(false);
    for (HostileCase& c : HostileRecordings()) {
        test::MemorySource source;
        source.bytes = c.bytes;
        PlayerFileInfo info;
        source.Attach(&info);
        info.bCreateSideFile = false;
        CMpegParserMarlin parser(&info);
        if (parser.Init(nullptr, false)) {
            parser.CreateMpegFileIndexTableWithEx();
            for (const IndexEntry& e : info.indexTable) {
                EXPECT_LE(int64_t(e.uPosition) + e.uLength, int64_t(c.bytes.size())) << c.name;
            }
            parser.CreateMpegFileIndexTable();
            for (const IndexEntry& e : info.indexTable) {
                EXPECT_LE(int64_t(e.uPosition) + e.uLength, int64_t(c.bytes.size())) << c.name;
            }
            parser.FileResetEndOfFile();
        }
        // The same bytes as one stream buffer.
        PlayerFileInfo streamInfo;
        CMpegParserMarlin streamParser(&streamInfo);
        streamParser.Init4Stream(c.bytes.data(), int(c.bytes.size()));
    }
    SetIndexBuildPauses(true);
}

TEST(ParserFuzzRegression, SearchesStayInsideTheBuffer) {
    // Frame lengths that jump to exactly the end, one past, and far past.
    for (uint32_t length : {40u, 41u, 500000u}) {
        std::vector<uint8_t> buf = MakeFrameHeader(kFrameAudio, length, 0);
        buf.resize(40, 0x11);
        for (int wanted = 0; wanted <= 5; ++wanted) {
            int type = -1, rest = -1;
            int64_t resume = -1;
            int found = SearchFrameForward(buf.data(), int(buf.size()), wanted, &type, &rest, &resume);
            if (wanted == kFrameAudio || wanted == kFrameAny) {
                EXPECT_EQ(found, 0);
            } else {
                EXPECT_EQ(found, -1);
                EXPECT_EQ(resume, int64_t(length));
            }
        }
    }
}

}  // namespace
}  // namespace qor
