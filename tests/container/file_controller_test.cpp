#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "tests/support/debug_capture.h"
#include "memory_source.h"
#include "player/container/file_controller.h"
#include "player/container/mpeg_parser_marlin.h"
#include "recording_fixture.h"

namespace qor {
namespace {

using test::DebugCapture;
using test::MemorySource;
using test::TempFolder;

std::vector<uint8_t> Counting(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7 + 1);
    return v;
}

TEST(FileController, FileModeReadsAndPadsShortReadWith55) {
    TempFolder dir;
    test::RecordingFixture r;
    r.bytes = Counting(100);
    ASSERT_TRUE(r.Write(dir.Path("a.mpg")));
    PlayerFileInfo info;
    CFileController c;
    ASSERT_TRUE(c.Create(dir.Path("a.mpg").c_str(), &info));
    EXPECT_FALSE(c.IsCallBackMode());
    EXPECT_EQ(c.Size(), 100);
    EXPECT_EQ(c.Seek(90, 0), 90);
    std::vector<uint8_t> buf(30, 0);
    int got = 0;
    ASSERT_TRUE(c.Read(buf.data(), 30, &got));
    EXPECT_EQ(got, 10);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 10, r.bytes.begin() + 90));
    EXPECT_TRUE(std::all_of(buf.begin() + 10, buf.end(), [](uint8_t b) { return b == 0x55; }));
    // At the end nothing is read: failure, and the whole buffer is padding.
    std::fill(buf.begin(), buf.end(), 0);
    EXPECT_FALSE(c.Read(buf.data(), 30, &got));
    EXPECT_EQ(got, 0);
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint8_t b) { return b == 0x55; }));
}

TEST(FileController, MissingFileFailsWithItsMessage) {
    DebugCapture capture;
    TempFolder dir;
    PlayerFileInfo info;
    CFileController c;
    EXPECT_FALSE(c.Create(dir.Path("missing.mpg").c_str(), &info));
    EXPECT_TRUE(capture.Has("[QOR]CFileController open mpeg file error!\n"));
}

TEST(FileController, CallbackModeReadsMemoryAndClampsSeeks) {
    MemorySource source;
    source.bytes = Counting(1000);
    PlayerFileInfo info;
    source.Attach(&info);
    CFileController c;
    ASSERT_TRUE(c.Create("ignored-when-a-callback-is-set.mpg", &info));
    EXPECT_TRUE(c.IsCallBackMode());
    EXPECT_EQ(c.Size(), 1000);
    EXPECT_EQ(c.Seek(100, 0), 100);
    EXPECT_EQ(c.Seek(50, 1), 150);
    EXPECT_EQ(c.Seek(-10, 2), 990);
    EXPECT_EQ(c.Seek(5000, 0), 1000);
    EXPECT_EQ(c.Seek(-5000, 1), 0);
    c.Seek(980, 0);
    std::vector<uint8_t> buf(40);
    int got = 0;
    ASSERT_TRUE(c.Read(buf.data(), 40, &got));
    EXPECT_EQ(got, 20);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 20, source.bytes.begin() + 980));
    EXPECT_TRUE(std::all_of(buf.begin() + 20, buf.end(), [](uint8_t b) { return b == 0x55; }));
    EXPECT_FALSE(c.Read(buf.data(), 40, &got));
    EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](uint8_t b) { return b == 0x55; }));
}

TEST(FileController, CallbackModeGathersShortDeliveries) {
    MemorySource source;
    source.bytes = Counting(1000);
    source.maxPerCall = 7;
    PlayerFileInfo info;
    source.Attach(&info);
    CFileController c;
    ASSERT_TRUE(c.Create(nullptr, &info));
    std::vector<uint8_t> buf(100);
    int got = 0;
    ASSERT_TRUE(c.Read(buf.data(), 100, &got));
    EXPECT_EQ(got, 100);
    EXPECT_TRUE(std::equal(buf.begin(), buf.end(), source.bytes.begin()));
}

int OverclaimingCallBack(uint8_t* pBuffer, int iCount, uint32_t, int, void*) {
    std::memset(pBuffer, 0x11, 4);
    return iCount + 1000;
}

TEST(FileController, CallbackClaimingTooMuchIsLimitedToTheRequest) {
    PlayerFileInfo info;
    info.fpReadCallBack = &OverclaimingCallBack;
    info.iFileSize = 1 << 20;
    CFileController c;
    ASSERT_TRUE(c.Create(nullptr, &info));
    std::vector<uint8_t> buf(16);
    int got = 0;
    ASSERT_TRUE(c.Read(buf.data(), 16, &got));
    EXPECT_EQ(got, 16);
    EXPECT_EQ(c.Seek(0, 1), 16);
}

TEST(FileController, RecordingOfTwoGibibytesIsRefused) {
    TempFolder dir;
    std::string path = dir.Path("big.mpg");
    {
        test::RecordingFixture r;
        r.Header().Key(0).Key(40);
        ASSERT_TRUE(r.Write(path));
    }
    // Sparse: no disk space is used for the hole.
    ASSERT_EQ(truncate(path.c_str(), int64_t(1) << 31), 0);
    DebugCapture capture;
    PlayerFileInfo info;
    CFileController c;
    ASSERT_TRUE(c.Create(path.c_str(), &info));
    EXPECT_EQ(c.Size(), -1);
    EXPECT_TRUE(capture.Has("[QOR]GetFileSize() file size large than 2G, not supported now!\n"));
    CMpegParserMarlin parser(&info);
    EXPECT_FALSE(parser.Init(path.c_str(), false));
    EXPECT_TRUE(capture.Has("[QOR]get mpeg file's size error!\n"));
    // One byte less is accepted by the reader.
    ASSERT_EQ(truncate(path.c_str(), (int64_t(1) << 31) - 1), 0);
    CFileController d;
    ASSERT_TRUE(d.Create(path.c_str(), &info));
    EXPECT_EQ(d.Size(), (int64_t(1) << 31) - 1);
}

}  // namespace
}  // namespace qor
