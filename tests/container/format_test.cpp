#include <gtest/gtest.h>

#include "player/container/format.h"
#include "recording_fixture.h"

namespace qor {
namespace {

using test::MakeFrameHeader;

TEST(ContainerFormat, FrameLengthLimitIsInclusive) {
    struct Case {
        uint32_t length;
        int expected;
    } cases[] = {{1, 1}, {20, 20}, {512000, 512000}, {512001, kInvalidFrameLength}, {0xFFFFF, kInvalidFrameLength}};
    for (const Case& c : cases) {
        auto f = MakeFrameHeader(kFrameKey, c.length, 0);
        EXPECT_EQ(FrameLengthOf(f.data()), c.expected) << c.length;
    }
}

TEST(ContainerFormat, FrameWordFieldsDecode) {
    auto f = MakeFrameHeader(kFrameAudio, 300, 1234, 4, 704, 576);
    EXPECT_EQ(FrameTypeOf(f.data()), kFrameAudio);
    EXPECT_EQ(FrameLengthOf(f.data()), 300);
    EXPECT_EQ(ExtensionLengthOf(f.data()), 4);
    EXPECT_TRUE(HasExtensionOf(f.data()));
    EXPECT_EQ(TimeStampOf(f.data()), 1234u);
    EXPECT_EQ(PictureSizeWordOf(f.data()), 704u | (576u << 16));
    auto plain = MakeFrameHeader(kFramePredicted, 300, 0, 0);
    EXPECT_FALSE(HasExtensionOf(plain.data()));
}

TEST(ContainerFormat, FrameTypeOfHeaderAndUnknownWords) {
    auto header = test::MakeFileHeader();
    EXPECT_EQ(FrameTypeOf(header.data()), kFrameFileHeader);
    std::vector<uint8_t> junk(20, 0x42);
    EXPECT_EQ(FrameTypeOf(junk.data()), kFrameUnknown);
}

TEST(ContainerFormat, FamilyFromFormatType) {
    EXPECT_EQ(FamilyFromFormatType(0x00060002), Family::Marlin);
    EXPECT_EQ(FamilyFromFormatType(0x00060008), Family::Heron);
    EXPECT_EQ(FamilyFromFormatType(0x00090002), Family::Osprey);
    EXPECT_EQ(FamilyFromFormatType(0x00060009), Family::Yuv);
    for (uint32_t code : {0x00060007u, 0x00060010u, 0x00070001u, 0x00060708u, 0u}) {
        EXPECT_EQ(FamilyFromFormatType(code), Family::Unsupported) << std::hex << code;
    }
}

TEST(ContainerFormat, FindStartCodeAtAnyAlignmentAndNeverInShortWindows) {
    std::vector<uint8_t> buf = {9, 9, 9, 0, 0, 1, 0xB2, 7};
    EXPECT_EQ(FindStartCode(buf.data(), int(buf.size()), kFileHeaderStartCode), 3);
    EXPECT_EQ(FindStartCode(buf.data(), 6, kFileHeaderStartCode), -1);
    EXPECT_EQ(FindStartCode(buf.data() + 3, 3, kFileHeaderStartCode), -1);
    EXPECT_EQ(FindStartCode(buf.data(), int(buf.size()), kFrameStartCode), -1);
}

TEST(ContainerTrailer, ValueBeforeSignatureIsFound) {
    test::RecordingFixture r;
    r.Garbage(100).Trailer(0xDEADBEEF);
    EXPECT_EQ(FindTrailerValue(r.bytes.data(), int(r.bytes.size())), 0xDEADBEEFu);
    // Bytes after the signature do not hide it.
    r.Garbage(50);
    EXPECT_EQ(FindTrailerValue(r.bytes.data(), int(r.bytes.size())), 0xDEADBEEFu);
}

TEST(ContainerTrailer, MissingOrTooEarlySignatureGivesZero) {
    std::vector<uint8_t> none(500, 0x33);
    EXPECT_EQ(FindTrailerValue(none.data(), int(none.size())), 0u);
    // Signature ending at index 36: no room for the value in front of it.
    std::vector<uint8_t> early(37, 0x77);
    std::memcpy(early.data() + 4, kTrailerSignature, kTrailerSignatureLength);
    EXPECT_EQ(FindTrailerValue(early.data(), int(early.size())), 0u);
    // Ending at index 37 it is taken, with the value at indexes 0-3.
    std::vector<uint8_t> exact(38, 0);
    WriteLe32(exact.data(), 0x04030201);
    std::memcpy(exact.data() + 5, kTrailerSignature, kTrailerSignatureLength);
    EXPECT_EQ(FindTrailerValue(exact.data(), int(exact.size())), 0x04030201u);
    // A cut signature is not a signature.
    std::vector<uint8_t> cut(exact.begin(), exact.end() - 1);
    EXPECT_EQ(FindTrailerValue(cut.data(), int(cut.size())), 0u);
}

}  // namespace
}  // namespace qor
