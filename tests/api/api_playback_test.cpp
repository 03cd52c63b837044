// Recordings played through the exported functions only, as callers do:
// the converter's calling order, file-mode positions and speeds, stream-mode
// refusals, and the end-of-file and end-of-index notices.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "api_test_support.h"
#include "recording_generator.h"

namespace qor::apitest {
namespace {

std::string WriteGenerated(const TempDir& dir, const std::string& name, const recgen::Options& options,
                           recgen::Recording* info = nullptr) {
    const std::string path = dir.path() + "/" + name;
    recgen::Recording recording;
    std::string error;
    EXPECT_TRUE(recgen::WriteRecording(options, path, &recording, &error)) << error;
    if (info != nullptr) *info = recording;
    return path;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the converter's callbacks saw.
struct Received {
    std::mutex lock;
    std::vector<uint32_t> pictureTimes;
    std::vector<std::pair<int, int>> pictureSizes;
    int wrongPlanes = 0;
    uint32_t videoUser = 0;
    uint64_t audioBytes = 0;
    uint32_t audioUser = 0;
    int audioRate = 0;
};
Received* received = nullptr;

void OnPicture(uint32_t, const VideoDecodeFrameInfo* pInfo) {
    std::lock_guard<std::mutex> guard(received->lock);
    received->pictureTimes.push_back(pInfo->uTimeStamp);
    received->pictureSizes.emplace_back(pInfo->iWidth, pInfo->iHeight);
    received->videoUser = pInfo->uUserValue;
    if (pInfo->iFormat != QOR_PICTURE_PLANAR_YUV420 || pInfo->pY == nullptr || pInfo->pU == nullptr ||
        pInfo->pV == nullptr || pInfo->iYStride < pInfo->iWidth)
        ++received->wrongPlanes;
}

void OnAudio(uint32_t, const AudioDecodeFrameInfo* pInfo) {
    std::lock_guard<std::mutex> guard(received->lock);
    received->audioBytes += pInfo->uLength;
    received->audioUser = pInfo->uUserValue;
    received->audioRate = int(pInfo->waveFormat.nSamplesPerSec);
}

class ApiPlayback : public ::testing::Test {
protected:
    void SetUp() override { received = &m_received; }
    void TearDown() override { received = nullptr; }
    Received m_received;
    TempDir m_dir;
};

// The bytes a read-file callback serves, by user value.
std::vector<uint8_t>* servedBytes = nullptr;
std::atomic<int> servedUser{-1};

int32_t ServeBytes(uint8_t* pBuffer, int32_t iCount, uint32_t uPosition, int32_t, uint32_t uUserValue) {
    servedUser.store(int(uUserValue));
    if (servedBytes == nullptr || uPosition >= servedBytes->size() || iCount <= 0) return 0;
    const size_t count = std::min(size_t(iCount), servedBytes->size() - uPosition);
    std::memcpy(pBuffer, servedBytes->data() + uPosition, count);
    return int32_t(count);
}

TEST_F(ApiPlayback, ReleaseDuringAWriteLeavesTheWriterSafe) {
    recgen::Options options;
    options.frameCount = 250;
    const std::vector<uint8_t> bytes = ReadAll(WriteGenerated(m_dir, "race.mpg", options));
    const int32_t player = QORPLAYER_CreatePlayer(0, 0);
    ASSERT_GE(player, 0);
    const uint32_t id = uint32_t(player);
    ASSERT_EQ(QORPLAYER_StreamOpen(id, bytes.data(), 1024, 0), 1);
    std::atomic<int> writes{0};
    std::thread writer([&] {
        // Small pieces, no wait limit: the writer keeps coming back until the
        // player is gone and its writes are refused.
        for (size_t offset = 1024; offset < bytes.size();) {
            const int32_t length = int32_t(std::min<size_t>(16384, bytes.size() - offset));
            if (QORPLAYER_StreamWriteToBuf(id, bytes.data() + offset, length, 0, 0, 0) != length) break;
            offset += size_t(length);
            writes.fetch_add(1);
        }
    });
    WaitFor([&] { return writes.load() >= 3; }, 5000);
    QORPLAYER_ReleasePlayer(id);
    writer.join();
    EXPECT_EQ(QORPLAYER_StreamWriteToBuf(id, bytes.data(), 16, 0, 1, 0), 0);
}

bool Readable(int fd, int iMilliseconds) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, iMilliseconds) == 1 && (p.revents & POLLIN) != 0;
}

// The converter's order: a probe player for the duration, then a stream
// player fed the whole file with callbacks registered before the open.
struct ConversionResult {
    int32_t totalTime = 0, totalFrames = 0;
    int32_t width = 0, height = 0;
    QorWaveFormat wave{};
    int32_t registerVideo = -1, registerAudio = -1;
};

ConversionResult ConvertLikeTheConverter(const std::string& path) {
    ConversionResult result;
    const int32_t probe = QORPLAYER_CreatePlayer(0, 0);
    EXPECT_GE(probe, 0);
    EXPECT_EQ(QORPLAYER_DisableCreateIndexTable(uint32_t(probe)), 1);
    EXPECT_EQ(QORPLAYER_FileOpen(uint32_t(probe), path.c_str(), 0), 1);
    result.totalFrames = QORPLAYER_FileGetTotalFrame(uint32_t(probe));
    result.totalTime = QORPLAYER_FileGetTotalTime(uint32_t(probe));
    QORPLAYER_ReleasePlayer(uint32_t(probe));

    const std::vector<uint8_t> bytes = ReadAll(path);
    const int32_t player = QORPLAYER_CreatePlayer(0, 0);
    EXPECT_GE(player, 0);
    const uint32_t id = uint32_t(player);
    result.registerVideo = QORPLAYER_RegisterVideoDecodeCallBack(id, OnPicture, 77);
    result.registerAudio = QORPLAYER_RegisterAudioDecodeCallBack(id, OnAudio, 1000, 88);
    EXPECT_EQ(QORPLAYER_StreamOpen(id, bytes.data(), 1024, 0), 1);
    EXPECT_EQ(QORPLAYER_DisableSynchronize(id), 1);
    QORPLAYER_StreamEnableDataDriven(id, 1);
    QORPLAYER_SetPostFilter(id, 0);
    EXPECT_EQ(QORPLAYER_GetPictureSize(id, &result.width, &result.height), 1);
    QORPLAYER_GetAudioWaveOutInfo(id, &result.wave);
    constexpr size_t kPiece = 1 << 20;
    for (size_t offset = 1024; offset < bytes.size();) {
        const int32_t length = int32_t(std::min(kPiece, bytes.size() - offset));
        const int32_t taken = QORPLAYER_StreamWriteToBuf(id, bytes.data() + offset, length, 0, 0, 0);
        if (taken == length) {
            offset += size_t(length);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // The stream has no end marker: wait until nothing is buffered and the
    // callbacks have been quiet for a while, as the converter does.
    size_t lastCount = SIZE_MAX;
    int quietRounds = 0;
    WaitFor([&] {
        size_t count;
        {
            std::lock_guard<std::mutex> guard(received->lock);
            count = received->pictureTimes.size();
        }
        quietRounds = (count == lastCount && QORPLAYER_StreamGetBufferedFrames(id) == 0) ? quietRounds + 1 : 0;
        lastCount = count;
        return quietRounds >= 60;
    }, 20000);
    QORPLAYER_ReleasePlayer(id);
    return result;
}

TEST_F(ApiPlayback, ConverterCallingOrderDeliversEveryPictureAndTheSound) {
    recgen::Options options;
    options.frameCount = 50;
    const std::string path = WriteGenerated(m_dir, "marlin.mpg", options);
    const ConversionResult result = ConvertLikeTheConverter(path);

    EXPECT_EQ(result.totalTime, 49 * 40);
    EXPECT_EQ(result.totalFrames, 49);
    EXPECT_EQ(result.registerVideo, 0);  // no engine yet: stored for the open
    EXPECT_EQ(result.registerAudio, 0);
    EXPECT_EQ(result.width, 352);
    EXPECT_EQ(result.height, 288);
    EXPECT_EQ(result.wave.wFormatTag, 1);
    EXPECT_EQ(result.wave.nSamplesPerSec, 8000u);
    EXPECT_EQ(result.wave.wBitsPerSample, 16);

    std::lock_guard<std::mutex> guard(m_received.lock);
    EXPECT_EQ(m_received.pictureTimes.size(), 50u);
    EXPECT_TRUE(std::is_sorted(m_received.pictureTimes.begin(), m_received.pictureTimes.end()));
    EXPECT_EQ(m_received.wrongPlanes, 0);
    EXPECT_EQ(m_received.videoUser, 77u);
    EXPECT_EQ(m_received.audioUser, 88u);
    // Two seconds of 8 kHz 16-bit mono, give or take the last block.
    EXPECT_GT(m_received.audioBytes, 28000u);
    EXPECT_LT(m_received.audioBytes, 36000u);
}

TEST_F(ApiPlayback, EveryFamilyConvertsThroughTheStreamPath) {
    struct Case {
        recgen::Family family;
        uint32_t sampleRate;
    };
    for (const Case& c : {Case{recgen::Family::Marlin, 8000}, Case{recgen::Family::Heron, 8000},
                          Case{recgen::Family::Osprey, 44100}, Case{recgen::Family::Yuv, 8000}}) {
        SCOPED_TRACE(recgen::FamilyName(c.family));
        {
            std::lock_guard<std::mutex> guard(m_received.lock);
            m_received.pictureTimes.clear();
            m_received.audioBytes = 0;
        }
        recgen::Options options;
        options.family = c.family;
        options.frameCount = 30;
        options.keyInterval = 10;
        const std::string path = WriteGenerated(m_dir, std::string(recgen::FamilyName(c.family)) + ".mpg", options);
        const ConversionResult result = ConvertLikeTheConverter(path);
        EXPECT_EQ(result.totalTime, 29 * 40);
        EXPECT_EQ(result.wave.nSamplesPerSec, c.sampleRate);
        std::lock_guard<std::mutex> guard(m_received.lock);
        EXPECT_EQ(m_received.pictureTimes.size(), 30u);
        EXPECT_EQ(m_received.wrongPlanes, 0);
        EXPECT_GT(m_received.audioBytes, 0u);
    }
}

TEST_F(ApiPlayback, A528WideRecordingReports704ButDeliversItsCodedWidth) {
    recgen::Options options;
    options.width = 528;
    options.height = 480;
    options.frameCount = 10;
    options.frameRate = 30;
    options.keyInterval = 5;
    const std::string path = WriteGenerated(m_dir, "wide.mpg", options);
    const ConversionResult result = ConvertLikeTheConverter(path);
    EXPECT_EQ(result.width, 704);
    EXPECT_EQ(result.height, 480);
    std::lock_guard<std::mutex> guard(m_received.lock);
    ASSERT_FALSE(m_received.pictureSizes.empty());
    for (const auto& size : m_received.pictureSizes) EXPECT_EQ(size, std::make_pair(528, 480));
}

TEST_F(ApiPlayback, FileModePositionsSpeedsAndTheIndexSwitch) {
    recgen::Options options;
    options.frameCount = 100;
    const std::string path = WriteGenerated(m_dir, "file.mpg", options);
    PlayerGuard player;
    ASSERT_TRUE(player.Valid());
    ASSERT_EQ(QORPLAYER_RegisterVideoDecodeCallBack(player.Id(), OnPicture, 1), 0);
    ASSERT_EQ(QORPLAYER_FileOpen(player.Id(), path.c_str(), 0), 1);
    {
        LineCapture lines;
        EXPECT_EQ(QORPLAYER_DisableCreateIndexTable(player.Id()), 0);
        EXPECT_TRUE(lines.Has("[QOR]QORPLAYER_DisableCreateIndexTable() MUST be called before FileOpen().\n"));
        EXPECT_EQ(QORPLAYER_DisableCreateIndexFile(player.Id()), 0);
        EXPECT_TRUE(lines.Has("[QOR]QORPLAYER_DisableCreateIndexFile() MUST be called before FileOpen().\n"));
    }
    EXPECT_EQ(QORPLAYER_GetSdkVersion(player.Id()), 2);
    EXPECT_EQ(QORPLAYER_GetMediaStreamType(player.Id()), 0);
    const FileInfo info = QORPLAYER_GetFileInfo(player.Id());
    EXPECT_EQ(info.iWord[0], 8000);
    EXPECT_EQ(info.iWord[1], 1);
    EXPECT_EQ(info.iWord[3], 25);
    EXPECT_EQ(info.iWord[6], 352);
    EXPECT_EQ(info.iWord[7], 288);
    EXPECT_EQ(QORPLAYER_GetBmpFileSize(player.Id()), (288 * 352 + 18) * 3);

    struct SpeedCase {
        float speed;
        int32_t result;
    };
    for (const SpeedCase& c : {SpeedCase{16.0f, 1}, SpeedCase{16.5f, 0}, SpeedCase{-1.0f, 0}, SpeedCase{0.0f, 1},
                               SpeedCase{1.0f, 1}}) {
        EXPECT_EQ(QORPLAYER_SetPlaySpeed(player.Id(), c.speed), c.result) << c.speed;
    }

    // Seek through the finished index, so that the seek lands on the picture
    // asked for rather than on the key picture a scan finds.
    const int indexed = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ASSERT_EQ(QORPLAYER_FileSetEndIndexNotify(player.Id(), 0, 0x500, indexed), 1);
    ASSERT_TRUE(Readable(indexed, 10000));
    close(indexed);
    ASSERT_EQ(QORPLAYER_Play(player.Id()), 1);
    EXPECT_EQ(QORPLAYER_Pause(player.Id()), 1);
    EXPECT_EQ(QORPLAYER_FileSetPosition(player.Id(), 50.0f), 1);
    EXPECT_NEAR(QORPLAYER_FileGetPosition(player.Id()), 50.0f, 3.0f);
    {
        LineCapture lines;
        EXPECT_EQ(QORPLAYER_FileSetPosition(player.Id(), 150.0f), 0);
        EXPECT_TRUE(lines.Has("[QOR]FileSetPosition() fPercent error.\n"));
    }
    EXPECT_EQ(QORPLAYER_Stop(player.Id()), 1);
    EXPECT_EQ(QORPLAYER_FileClose(player.Id()), 1);
    EXPECT_EQ(QORPLAYER_Play(player.Id()), 0);
}

TEST_F(ApiPlayback, ReadFileCallbackSuppliesTheBytesInsteadOfTheNamedFile) {
    recgen::Options options;
    options.frameCount = 50;
    std::vector<uint8_t> bytes = ReadAll(WriteGenerated(m_dir, "served.mpg", options));
    servedBytes = &bytes;
    {
        PlayerGuard player;
        ASSERT_TRUE(player.Valid());
        ASSERT_EQ(QORPLAYER_RegisterReadFileCallBack(player.Id(), ServeBytes, 42, 0, uint32_t(bytes.size())), 1);
        ASSERT_EQ(QORPLAYER_FileOpen(player.Id(), "/no/such/file.mpg", 0), 1);
        EXPECT_EQ(QORPLAYER_FileGetTotalTime(player.Id()), 49 * 40);
        EXPECT_EQ(servedUser.load(), 42);
        // Registration is refused while a recording is open.
        EXPECT_EQ(QORPLAYER_RegisterReadFileCallBack(player.Id(), ServeBytes, 43, 0, 10), 0);
    }
    servedBytes = nullptr;
}

TEST_F(ApiPlayback, StreamModeRefusesFileOnlyControlsAndIgnoresOutOfRangeBuffering) {
    recgen::Options options;
    options.frameCount = 10;
    const std::vector<uint8_t> bytes = ReadAll(WriteGenerated(m_dir, "stream.mpg", options));
    PlayerGuard player;
    ASSERT_TRUE(player.Valid());
    ASSERT_EQ(QORPLAYER_StreamOpen(player.Id(), bytes.data(), 1024, 0), 1);
    EXPECT_EQ(QORPLAYER_Stop(player.Id()), 0);
    EXPECT_EQ(QORPLAYER_Pause(player.Id()), 0);
    EXPECT_EQ(QORPLAYER_SetPlaySpeed(player.Id(), 2.0f), 0);
    EXPECT_EQ(QORPLAYER_FileStepPlay(player.Id(), 1), 0);
    EXPECT_EQ(QORPLAYER_FileSetPosition(player.Id(), 0.5f), 0);
    EXPECT_EQ(QORPLAYER_FileGetTotalTime(player.Id()), 0);
    EXPECT_EQ(QORPLAYER_FileGetTotalFrame(player.Id()), 0);
    EXPECT_EQ(QORPLAYER_FileGetPosition(player.Id()), 0.0f);
    EXPECT_EQ(QORPLAYER_FileSetEndNotify(player.Id(), 0, 1, 5), 0);
    for (int32_t frames : {0, 1000, -3}) {
        EXPECT_EQ(QORPLAYER_StreamSetBufferedFrames(player.Id(), frames), 0) << frames;
        EXPECT_EQ(QORPLAYER_StreamSetDelayFrames(player.Id(), frames), 0) << frames;
    }
    EXPECT_EQ(QORPLAYER_StreamSetBufferedFrames(player.Id(), 20), 1);
    EXPECT_EQ(QORPLAYER_StreamGetFreeBufSize(player.Id()), 2097152);

    QORPLAYER_StreamEnableRemoteFilePlay(player.Id(), 1);
    EXPECT_EQ(QORPLAYER_SetPlaySpeed(player.Id(), 2.0f), 1);
    EXPECT_EQ(QORPLAYER_Pause(player.Id()), 1);
    EXPECT_EQ(QORPLAYER_Stop(player.Id()), 0);
    QORPLAYER_StreamEnableRemoteFilePlay(player.Id(), 0);
}

TEST_F(ApiPlayback, RemoteFilePlayStepsAStreamAndFileInfoFollowsTheShownPicture) {
    recgen::Options options;
    options.frameCount = 30;
    recgen::Recording recording;
    const std::vector<uint8_t> bytes = ReadAll(WriteGenerated(m_dir, "steps.mpg", options, &recording));
    PlayerGuard player;
    ASSERT_TRUE(player.Valid());
    ASSERT_EQ(QORPLAYER_RegisterVideoDecodeCallBack(player.Id(), OnPicture, 5), 0);
    ASSERT_EQ(QORPLAYER_StreamOpen(player.Id(), bytes.data(), 1024, 0), 1);
    QORPLAYER_StreamEnableRemoteFilePlay(player.Id(), 1);
    ASSERT_EQ(QORPLAYER_Pause(player.Id()), 1);
    const int32_t length = int32_t(bytes.size() - 1024);
    ASSERT_EQ(QORPLAYER_StreamWriteToBuf(player.Id(), bytes.data() + 1024, length, 0, 0, 0), length);
    ASSERT_TRUE(WaitFor([&] { return QORPLAYER_StreamGetBufferedFrames(player.Id()) >= 10; }, 5000));

    std::vector<uint32_t> pictureTimes;
    for (const recgen::FrameRecord& frame : recording.frames)
        if (frame.type == 0 || frame.type == 1) pictureTimes.push_back(frame.time);
    for (int step = 0; step < 3; ++step) ASSERT_EQ(QORPLAYER_FileStepPlay(player.Id(), 1), 1) << step;
    EXPECT_EQ(QORPLAYER_FileStepPlay(player.Id(), 0), 0) << "a stream cannot step back";
    {
        std::lock_guard<std::mutex> guard(m_received.lock);
        EXPECT_EQ(m_received.pictureTimes, std::vector<uint32_t>(pictureTimes.begin(), pictureTimes.begin() + 3));
    }
    // Words 2 to 5 as the parser leaves them after word 3 took the frame
    // rate; word 8 counts the pictures shown after the key picture.
    const FileInfo info = QORPLAYER_GetFileInfo(player.Id());
    const int32_t expected[9] = {8000, 1, 0, 25, 2, 0, 352, 288, 2};
    for (int word = 0; word < 9; ++word) EXPECT_EQ(info.iWord[word], expected[word]) << "word " << word;
}

TEST_F(ApiPlayback, EndOfFileEventBecomesReadableOnceAtTheEnd) {
    recgen::Options options;
    options.frameCount = 25;
    const std::string path = WriteGenerated(m_dir, "eof.mpg", options);
    const int event = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ASSERT_GE(event, 0);
    PlayerGuard player;
    ASSERT_TRUE(player.Valid());
    EXPECT_EQ(QORPLAYER_FileSetEndNotify(player.Id(), 0, 0x400 + 7, event), 1);  // stored for the open
    ASSERT_EQ(QORPLAYER_FileOpen(player.Id(), path.c_str(), 0), 1);
    ASSERT_EQ(QORPLAYER_SetPlaySpeed(player.Id(), 4.0f), 1);
    EXPECT_FALSE(Readable(event, 0));
    ASSERT_EQ(QORPLAYER_Play(player.Id()), 1);
    ASSERT_TRUE(Readable(event, 10000));
    uint64_t value = 0;
    ASSERT_EQ(read(event, &value, sizeof value), ssize_t(sizeof value));
    EXPECT_EQ(value, 1u);
    EXPECT_FALSE(Readable(event, 500));
    close(event);
}

TEST_F(ApiPlayback, EndOfIndexNoticeFiresAtOnceWhenRegisteredAfterIndexing) {
    recgen::Options options;
    options.frameCount = 50;
    const std::string path = WriteGenerated(m_dir, "index.mpg", options);
    const int early = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int late = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    PlayerGuard player;
    ASSERT_TRUE(player.Valid());
    ASSERT_EQ(QORPLAYER_FileOpen(player.Id(), path.c_str(), 0), 1);
    ASSERT_EQ(QORPLAYER_FileSetEndIndexNotify(player.Id(), 0, 0x500, early), 1);
    ASSERT_TRUE(Readable(early, 10000));  // the index is finished now
    ASSERT_EQ(QORPLAYER_FileSetEndIndexNotify(player.Id(), 0, 0x501, late), 1);
    EXPECT_TRUE(Readable(late, 0));
    close(early);
    close(late);
}

}  // namespace
}  // namespace qor::apitest
