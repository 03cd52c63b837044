#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/file.h"
#include "tests/avi/avi_test_support.h"
#include "tests/avi/riff_walker.h"

namespace {

using avitest::AviFile;
using avitest::ChunkBytes;
using avitest::ReadOrFail;
using avitest::TwoStreamWriter;
using vidorra::AVIOutput;
using vidorra::kAviKeyFrame;


std::vector<uint8_t> ReadBytes(const std::string& path, uint64_t at, size_t n) {
    qor::File f;
    std::vector<uint8_t> b(n);
    if (!f.Open(path, qor::File::Mode::Read) || f.ReadAt(b.data(), n, static_cast<int64_t>(at)) != int64_t(n)) {
        b.clear();
    }
    return b;
}

class AviWriter : public testing::Test {
protected:
    std::string Path(const std::string& name) { return dir.path() + "/" + name; }
    avitest::TempDir dir;
};

TEST_F(AviWriter, FileWithoutChunksHasEmptyMoviAndIdx1AndJunkPlaceholders) {
    const std::string path = Path("empty.avi");
    {
        TwoStreamWriter w;
        ASSERT_TRUE(w.writer.Open(path));
        EXPECT_TRUE(w.writer.Close());
        EXPECT_FALSE(w.writer.HasError());
    }
    const AviFile avi = ReadOrFail(path);
    ASSERT_EQ(avi.riffs.size(), 1u);
    EXPECT_EQ(avi.riffs[0].moviSize, 4u);
    ASSERT_EQ(avi.riffs[0].after.size(), 1u);
    EXPECT_EQ(avi.riffs[0].after[0].id, "idx1");
    EXPECT_EQ(avi.riffs[0].after[0].size, 0u);
    EXPECT_TRUE(avi.stdIndexes.empty());
    ASSERT_EQ(avi.streams.size(), 2u);
    for (const auto& s : avi.streams) {
        EXPECT_EQ(s.indexFcc, "JUNK");
        EXPECT_EQ(s.indexSize, 4120u);
    }
    ASSERT_EQ(avi.avih.size(), 14u);
    EXPECT_EQ(avi.avih[0], 40000u);  // dwMicroSecPerFrame at 25/1
    EXPECT_EQ(avi.avih[3], 0x110u);
    EXPECT_EQ(avi.avih[4], 0u);  // dwTotalFrames
    EXPECT_EQ(avi.avih[6], 2u);
    EXPECT_EQ(avi.avih[8], 352u);
    EXPECT_EQ(avi.avih[9], 288u);
    EXPECT_EQ(avi.dmlhSize, 248u);
    EXPECT_EQ(avi.dmlhTotalFrames, 0u);
    EXPECT_EQ(avi.headerEnd % 2048, 0u);
    EXPECT_GE(avi.headerEnd, 8192u);
}

struct PaddingCase {
    uint32_t formatSize;
    uint64_t headerEnd;
    int64_t junkData;  // -1: no padding JUNK
};

void PrintTo(const PaddingCase& c, std::ostream* os) { *os << "format " << c.formatSize; }

class AviWriterPadding : public testing::TestWithParam<PaddingCase> {};

TEST_P(AviWriterPadding, HeaderEndsOnBoundaryOfAtLeast8192) {
    const PaddingCase c = GetParam();
    avitest::TempDir dir;
    const std::string path = dir.path() + "/pad.avi";
    {
        AVIOutput writer;
        auto* video = writer.AddVideoStream();
        video->SetStreamHeader(avitest::VideoHeader(288));
        auto format = avitest::VideoFormat(352, 288);
        format.resize(c.formatSize, 0);
        video->SetFormat(format.data(), c.formatSize);
        ASSERT_TRUE(writer.Open(path));
        ASSERT_TRUE(video->Write(kAviKeyFrame, "abc", 3, 1));
        ASSERT_TRUE(writer.Close());
    }
    const AviFile avi = ReadOrFail(path);
    EXPECT_EQ(avi.headerEnd, c.headerEnd);
    ASSERT_EQ(avi.streams.size(), 1u);
    EXPECT_EQ(avi.streams[0].strf.size(), c.formatSize);
    const avitest::Chunk* junk = nullptr;
    for (const auto& h : avi.headerChunks) {
        if (h.id == "JUNK") junk = &h;
    }
    if (c.junkData < 0) {
        EXPECT_EQ(junk, nullptr);
    } else {
        ASSERT_NE(junk, nullptr);
        EXPECT_EQ(junk->size, static_cast<uint32_t>(c.junkData));
    }
    EXPECT_TRUE(avitest::CheckIndexes(avi, path).empty());
}

// The header before padding is 4568 bytes plus the format (plus its pad byte).
INSTANTIATE_TEST_SUITE_P(Cases, AviWriterPadding,
                         testing::Values(PaddingCase{3624, 8192, -1},     // exactly 8192
                                         PaddingCase{3620, 10240, 2044},  // 8188
                                         PaddingCase{432, 8192, 3184},    // 5000
                                         PaddingCase{431, 8192, 3184},    // odd format, padded to 5000
                                         PaddingCase{5672, 10240, -1},    // 10240, a multiple of 2048
                                         PaddingCase{5674, 12288, 2038}),  // 10242
                         [](const testing::TestParamInfo<PaddingCase>& info) {
                             return "Format" + std::to_string(info.param.formatSize);
                         });

struct ChunkCase {
    bool video;
    uint32_t size;
    bool key;
};

TEST_F(AviWriter, ChunksLandWithPadBytesAndIdx1DescribesEach) {
    const std::vector<ChunkCase> chunks = {
        {false, 417, true}, {true, 1000, true}, {true, 0, false},  {false, 418, true},
        {true, 333, false}, {true, 1, false},   {false, 0, true}, {true, 65535, true},
    };
    const std::string path = Path("chunks.avi");
    uint64_t expectedEnd = 0;
    {
        TwoStreamWriter w;
        ASSERT_TRUE(w.writer.Open(path));
        const uint64_t start = w.writer.Position();
        uint64_t bytes = 0;
        for (size_t i = 0; i < chunks.size(); ++i) {
            const auto data = ChunkBytes(static_cast<int>(i), chunks[i].size);
            auto* stream = chunks[i].video ? w.video : w.audio;
            ASSERT_TRUE(stream->Write(chunks[i].key ? kAviKeyFrame : 0, data.data(), chunks[i].size,
                                      chunks[i].video ? 1 : chunks[i].size));
            bytes += 8 + chunks[i].size + (chunks[i].size & 1);
        }
        EXPECT_EQ(w.writer.Position(), start + bytes);
        EXPECT_EQ(w.video->GetStreamHeader().dwLength, 5u);
        EXPECT_EQ(w.video->GetStreamHeader().dwSuggestedBufferSize, 65535u);
        EXPECT_EQ(w.audio->GetStreamHeader().dwLength, 835u);
        EXPECT_EQ(w.audio->GetStreamHeader().dwSuggestedBufferSize, 418u);
        ASSERT_TRUE(w.writer.Close());
        expectedEnd = start + bytes + 8 + 16 * chunks.size();
    }
    const AviFile avi = ReadOrFail(path);
    EXPECT_EQ(avi.fileSize, expectedEnd);
    ASSERT_EQ(avi.riffs.size(), 1u);
    EXPECT_NE(avi.riffs[0].moviSize, 0x7FFFFFFFu);
    ASSERT_EQ(avi.riffs[0].chunks.size(), chunks.size());
    ASSERT_EQ(avi.idx1.size(), chunks.size());
    for (size_t i = 0; i < chunks.size(); ++i) {
        const auto& c = avi.riffs[0].chunks[i];
        EXPECT_EQ(c.id, chunks[i].video ? "00dc" : "01wb") << i;
        EXPECT_EQ(c.size, chunks[i].size) << i;
        EXPECT_EQ(ReadBytes(path, c.position + 8, c.size), ChunkBytes(static_cast<int>(i), c.size)) << i;
        if (c.size & 1) {
            EXPECT_EQ(ReadBytes(path, c.position + 8 + c.size, 1), std::vector<uint8_t>{0}) << i;
        }
        EXPECT_EQ(avi.idx1[i].flags, chunks[i].key ? 0x10u : 0u) << i;
    }
    EXPECT_TRUE(avitest::CheckIndexes(avi, path).empty());
    EXPECT_EQ(avi.avih[4], 5u);
    EXPECT_EQ(avi.dmlhTotalFrames, 5u);
    EXPECT_EQ(avitest::U32(avi.streams[0].strh, 32), 5u);    // dwLength
    EXPECT_EQ(avitest::U32(avi.streams[0].strh, 36), 65535u);  // dwSuggestedBufferSize
    EXPECT_EQ(avitest::U32(avi.streams[1].strh, 32), 835u);
    EXPECT_EQ(avitest::U32(avi.streams[1].strh, 16), 1u);  // dwInitialFrames kept
}

struct ChunkIdCase {
    int streams;  // video stream first, then audio streams
    uint32_t compression;
    std::string lastId;
};

void PrintTo(const ChunkIdCase& c, std::ostream* os) { *os << c.streams << " streams"; }

class AviWriterChunkIds : public testing::TestWithParam<ChunkIdCase> {};

TEST_P(AviWriterChunkIds, IdsNameStreamPositionAndKind) {
    const ChunkIdCase c = GetParam();
    avitest::TempDir dir;
    const std::string path = dir.path() + "/ids.avi";
    {
        AVIOutput writer;
        auto* video = writer.AddVideoStream();
        video->SetStreamHeader(avitest::VideoHeader(288));
        const auto vf = avitest::VideoFormat(352, 288, c.compression);
        video->SetFormat(vf.data(), 40);
        vidorra::AVIOutputStream* last = video;
        for (int i = 1; i < c.streams; ++i) last = writer.AddAudioStream();
        ASSERT_TRUE(writer.Open(path));
        ASSERT_TRUE(video->Write(kAviKeyFrame, "v", 1, 1));
        if (last != video) {
            ASSERT_TRUE(last->Write(kAviKeyFrame, "a", 1, 1));
        }
        ASSERT_TRUE(writer.Close());
    }
    const AviFile avi = ReadOrFail(path);
    ASSERT_FALSE(avi.riffs[0].chunks.empty());
    EXPECT_EQ(avi.riffs[0].chunks.front().id, c.compression ? "00dc" : "00db");
    EXPECT_EQ(avi.riffs[0].chunks.back().id, c.lastId);
}

INSTANTIATE_TEST_SUITE_P(Cases, AviWriterChunkIds,
                         testing::Values(ChunkIdCase{1, vidorra::MakeFourCC("xvid"), "00dc"},
                                         ChunkIdCase{1, 0, "00db"}, ChunkIdCase{2, 0, "01wb"},
                                         ChunkIdCase{11, vidorra::MakeFourCC("xvid"), "0awb"},
                                         ChunkIdCase{17, vidorra::MakeFourCC("xvid"), "10wb"}),
                         [](const testing::TestParamInfo<ChunkIdCase>& info) {
                             return "Streams" + std::to_string(info.param.streams) +
                                    (info.param.compression ? "Compressed" : "Uncompressed");
                         });

TEST_F(AviWriter, VideoStreamWithoutRateGivesZeroFrameTime) {
    const std::string path = Path("norate.avi");
    {
        AVIOutput writer;
        auto* video = writer.AddVideoStream();
        const auto vf = avitest::VideoFormat(64, 48);
        video->SetFormat(vf.data(), 40);
        ASSERT_TRUE(writer.Open(path));
        ASSERT_TRUE(writer.Close());
    }
    const AviFile avi = ReadOrFail(path);
    EXPECT_EQ(avi.avih[0], 0u);
}

TEST_F(AviWriter, StreamHeaderCountsClearedOrKeptAndLengthSaturates) {
    AVIOutput writer;
    auto* audio = writer.AddAudioStream();
    vidorra::AVIStreamHeader h = avitest::AudioHeader(4000);
    h.dwLength = 0xFFFFFFF0u;
    h.dwSuggestedBufferSize = 99;
    audio->SetStreamHeader(h);
    EXPECT_EQ(audio->GetStreamHeader().dwLength, 0u);
    EXPECT_EQ(audio->GetStreamHeader().dwSuggestedBufferSize, 0u);
    EXPECT_EQ(audio->GetStreamHeader().dwRate, 4000u);
    audio->SetStreamHeaderKeepCounts(h);
    EXPECT_EQ(audio->GetStreamHeader().dwLength, 0xFFFFFFF0u);
    ASSERT_TRUE(writer.Open(Path("sat.avi")));
    ASSERT_TRUE(audio->Write(kAviKeyFrame, "abcd", 4, 100));
    EXPECT_EQ(audio->GetStreamHeader().dwLength, 0xFFFFFFFFu);
    EXPECT_EQ(audio->GetStreamHeader().dwSuggestedBufferSize, 99u);
    EXPECT_TRUE(writer.Close());
}

TEST_F(AviWriter, AudioFormatChangedBeforeCloseIsWrittenWhenItsSizeIsUnchanged) {
    const std::string path = Path("fmt.avi");
    {
        TwoStreamWriter w;
        ASSERT_TRUE(w.writer.Open(path));
        const auto updated = avitest::AudioFormat(1, 16000, 4000);
        w.audio->SetFormat(updated.data(), static_cast<uint32_t>(updated.size()));
        ASSERT_TRUE(w.writer.Close());
    }
    EXPECT_EQ(ReadOrFail(path).streams[1].strf, avitest::AudioFormat(1, 16000, 4000));

    const std::string other = Path("fmt2.avi");
    avitest::DebugCapture capture;
    {
        TwoStreamWriter w;
        ASSERT_TRUE(w.writer.Open(other));
        std::vector<uint8_t> longer(64, 0xEE);
        w.audio->SetFormat(longer.data(), 64);
        ASSERT_TRUE(w.writer.Close());
    }
    const AviFile avi = ReadOrFail(other);
    EXPECT_EQ(avi.streams[1].strf, avitest::AudioFormat(2, 44100, 8000));
    EXPECT_EQ(avi.streams[1].indexFcc, "JUNK");
}

TEST_F(AviWriter, DestroyingAnUnclosedWriterCutsTheFileAtItsData) {
    const std::string path = Path("unclosed.avi");
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(1 << 20, 'x');
    }
    uint64_t end = 0;
    {
        TwoStreamWriter w;
        ASSERT_TRUE(w.writer.Open(path));
        for (int i = 0; i < 5; ++i) {
            const auto data = ChunkBytes(i, 501);
            ASSERT_TRUE(w.video->Write(kAviKeyFrame, data.data(), 501, 1));
        }
        end = w.writer.Position();
    }
    EXPECT_EQ(qor::FileSize(path), static_cast<int64_t>(end));
    const auto head = ReadBytes(path, 0, 12);
    ASSERT_EQ(head.size(), 12u);
    EXPECT_EQ(avitest::U32(head, 4), 0u);  // RIFF size stays a placeholder
}

TEST_F(AviWriter, ReopeningAnExistingLongerFileLeavesNoStaleBytes) {
    const std::string path = Path("reuse.avi");
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(3 << 20, 'x');
    }
    {
        TwoStreamWriter w;
        ASSERT_TRUE(w.writer.Open(path));
        ASSERT_TRUE(w.video->Write(kAviKeyFrame, "data", 4, 1));
        ASSERT_TRUE(w.writer.Close());
    }
    const AviFile avi = ReadOrFail(path);
    EXPECT_EQ(avi.riffs.size(), 1u);
    EXPECT_LT(avi.fileSize, 20000u);
}

TEST_F(AviWriter, CreateFailureIsLoggedAndSticky) {
    avitest::DebugCapture capture;
    const std::string path = Path("missing/dir/x.avi");
    TwoStreamWriter w;
    EXPECT_FALSE(w.writer.Open(path));
    EXPECT_EQ(capture.Count("Unable to open file " + path + ".\n"), 1);
    EXPECT_EQ(w.writer.Errors(), AVIOutput::kErrorCreate);
    EXPECT_FALSE(w.video->Write(kAviKeyFrame, "x", 1, 1));
    EXPECT_TRUE(w.writer.Errors() & AVIOutput::kErrorNotOpen);
    EXPECT_EQ(w.video->GetStreamHeader().dwLength, 0u);
    EXPECT_FALSE(w.writer.Close());
}

TEST_F(AviWriter, WriteErrorsOnFullDeviceAreLoggedAndReportedAfterWriteAndClose) {
    if (!qor::PathExists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    avitest::DebugCapture capture;
    TwoStreamWriter w;
    ASSERT_TRUE(w.writer.Open("/dev/full"));
    EXPECT_TRUE(w.writer.Errors() & AVIOutput::kErrorWrite);
    EXPECT_FALSE(w.video->Write(kAviKeyFrame, "abc", 3, 1));
    EXPECT_FALSE(w.writer.Close());
    EXPECT_TRUE(w.writer.HasError());
    EXPECT_GE(capture.Count("Write error occurred on file /dev/full.\n"), 2);
}

// A file size limit in a child process plays the full disk: the first
// chunks succeed, then every write fails and the writer says so.
TEST_F(AviWriter, FileSizeLimitMakesLaterWritesAndCloseReportFailure) {
    const std::string path = Path("limited.avi");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64 * 1024, 64 * 1024};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(10);
        qor::SetDebugSink([](std::string_view) {});
        TwoStreamWriter w;
        if (!w.writer.Open(path) || w.writer.HasError()) _exit(11);
        const auto data = ChunkBytes(1, 4000);
        if (!w.video->Write(kAviKeyFrame, data.data(), 4000, 1) || w.writer.HasError()) _exit(12);
        bool failed = false;
        for (int i = 0; i < 30 && !failed; ++i) failed = !w.video->Write(kAviKeyFrame, data.data(), 4000, 1);
        if (!failed || !(w.writer.Errors() & AVIOutput::kErrorWrite)) _exit(13);
        // Still failing and still counted: the caller must not see success.
        w.audio->Write(kAviKeyFrame, data.data(), 100, 100);
        if (w.writer.Close()) _exit(14);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_LE(qor::FileSize(path), 64 * 1024);
}

TEST(AviOutputFile, AppendOfNullWritesZerosAndFailedAppendKeepsItsPosition) {
    avitest::TempDir dir;
    const std::string path = dir.path() + "/zeros.bin";
    {
        vidorra::OutputFile file;
        ASSERT_TRUE(file.Open(path));
        ASSERT_TRUE(file.Append("ab", 2));
        ASSERT_TRUE(file.Append(nullptr, 5000));
        EXPECT_EQ(file.AppendPosition(), 5002u);
        ASSERT_TRUE(file.WriteAt(1, "Z", 1));
        file.CloseAt(4000);
        EXPECT_FALSE(file.HasError());
    }
    const auto bytes = ReadBytes(path, 0, 4000);
    ASSERT_EQ(bytes.size(), 4000u);
    EXPECT_EQ(bytes[0], 'a');
    EXPECT_EQ(bytes[1], 'Z');
    EXPECT_EQ(std::count(bytes.begin() + 2, bytes.end(), 0), 3998);
    EXPECT_EQ(qor::FileSize(path), 4000);

    if (!qor::PathExists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    avitest::DebugCapture capture;
    vidorra::OutputFile full;
    ASSERT_TRUE(full.Open("/dev/full"));
    EXPECT_FALSE(full.Append("abc", 3));
    EXPECT_EQ(full.AppendPosition(), 0u);
    EXPECT_TRUE(full.HasError());
    EXPECT_EQ(capture.Count("Write error occurred on file /dev/full.\n"), 1);
    full.Close();
    full.Close();
}

}  // namespace
