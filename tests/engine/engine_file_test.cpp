#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <fstream>
#include <numeric>
#include <thread>

#include "engine_fixture.h"
#include "platform/display_memory.h"
#include "player/container/format.h"
#include "player/output/video_player.h"

namespace qor {
namespace {

using test::Collector;
using test::DebugCapture;

recgen::Options FileOptions(int frames = 60) {
    recgen::Options options;
    options.width = 176;
    options.height = 144;
    options.frameCount = frames;
    options.keyInterval = 12;
    return options;
}

class EngineFile : public ::testing::Test {
protected:
    void Open(const recgen::Options& options, bool bIndex = true, bool bFollow = false) {
        m_path = test::TempPath(std::to_string(m_id) + ".mpg");
        m_info = test::WriteRecordingFile(options, m_path);
        m_player = test::OpenFile(m_id, m_path, bIndex, bFollow);
        ASSERT_NE(m_player, nullptr);
        m_player->SetEndOfFileNotify([this](uint32_t id) {
            EXPECT_EQ(id, m_id);
            m_endNotices.fetch_add(1);
        });
        if (bIndex) {
            ASSERT_TRUE(test::WaitFor([&] { return m_player->FileInfo()->bIndexReady.load(); }, 5000));
        }
    }
    void TearDown() override {
        m_player.reset();
        std::remove(m_path.c_str());
    }
    std::vector<uint32_t> SeenTimes() const {
        std::vector<uint32_t> times;
        for (const test::PictureSeen& picture : Collector::For(m_id).Pictures()) times.push_back(picture.time);
        return times;
    }
    uint32_t LastSeen() const { return SeenTimes().empty() ? 0xFFFFFFFFu : SeenTimes().back(); }

    const uint32_t m_id = 20;
    std::string m_path;
    recgen::Recording m_info;
    std::unique_ptr<CMpegPlayer> m_player;
    std::atomic<int> m_endNotices{0};
};

TEST_F(EngineFile, PlaysToTheEndShowingEveryPictureAndNotifiesOnce) {
    Open(FileOptions(25));
    EXPECT_EQ(SeenTimes(), std::vector<uint32_t>{0}) << "opening shows the first picture";
    m_player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return m_endNotices.load() == 1; }, 5000));
    std::vector<uint32_t> expected;
    for (int i = 0; i < 25; ++i) expected.push_back(uint32_t(i * 40));
    EXPECT_EQ(SeenTimes(), expected);
    EXPECT_EQ(m_player->State(), kStateStopped);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(m_endNotices.load(), 1);
    EXPECT_EQ(m_player->PlayedTime(), 960);
    EXPECT_EQ(m_player->TotalTime(), 960);
}

TEST_F(EngineFile, PauseHoldsThePictureAndPlayResumes) {
    Open(FileOptions(40));
    m_player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return Collector::For(m_id).PictureCount() >= 5; }, 3000));
    m_player->Pause();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const size_t held = Collector::For(m_id).PictureCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(Collector::For(m_id).PictureCount(), held);
    m_player->Play();
    EXPECT_TRUE(test::WaitFor([&] { return Collector::For(m_id).PictureCount() > held + 2; }, 2000));
}

TEST_F(EngineFile, SpeedTwoReleasesFortyMillisecondPicturesEveryTwenty) {
    Open(FileOptions(60));
    ASSERT_TRUE(m_player->SetPlaySpeed(2.0f));
    EXPECT_FALSE(m_player->SetPlaySpeed(16.5f));
    EXPECT_FALSE(m_player->SetPlaySpeed(-1.0f));
    m_player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return m_endNotices.load() == 1; }, 5000));
    const std::vector<test::PictureSeen> pictures = Collector::For(m_id).Pictures();
    ASSERT_EQ(pictures.size(), 60u);
    // Skip the start, where the reader is still filling the queue.
    std::vector<double> gaps;
    for (size_t i = 6; i < pictures.size(); ++i) {
        gaps.push_back(std::chrono::duration<double, std::milli>(pictures[i].when - pictures[i - 1].when).count());
    }
    // A machine busy with other work delays the odd picture; those few
    // hold-ups say nothing about the pacing, so the slowest tenth is left out.
    std::sort(gaps.begin(), gaps.end());
    gaps.resize(gaps.size() - gaps.size() / 10);
    const double mean = std::accumulate(gaps.begin(), gaps.end(), 0.0) / double(gaps.size());
    EXPECT_NEAR(mean, 20.0, 1.0);
}

TEST_F(EngineFile, SeeksToStartMiddleAndRefusesBeyondTheEnd) {
    Open(FileOptions(60));
    DebugCapture capture;
    ASSERT_TRUE(m_player->SetPlayTime(1200));
    EXPECT_EQ(LastSeen(), 1160u) << "the first picture within one interval of the target";
    EXPECT_EQ(m_player->PlayedTime(), 1160);
    ASSERT_TRUE(m_player->SetPlayTime(0));
    EXPECT_EQ(LastSeen(), 0u);
    EXPECT_EQ(m_player->PlayedTime(), 0);
    ASSERT_TRUE(m_player->SetPosition(50.0f));
    EXPECT_NEAR(m_player->GetPosition(), 50.0f, 2.0f) << "a percentage switches positions to percentages";

    const size_t playFrom = Collector::For(m_id).PictureCount();
    m_player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return LastSeen() >= 1400; }, 3000));
    EXPECT_FALSE(m_player->SetPlayTime(m_player->TotalTime() + 1));
    EXPECT_TRUE(capture.Has("[QOR]SeekingPlayTime() iPlayTime unavailable error.\n"));
    ASSERT_TRUE(test::WaitFor([&] { return m_endNotices.load() == 1; }, 5000));
    const std::vector<uint32_t> times = SeenTimes();
    EXPECT_EQ(times.back(), 2360u) << "playback went on undisturbed";
    for (size_t i = playFrom; i < times.size(); ++i) EXPECT_EQ(times[i], times[i - 1] + 40) << "at " << i;
}

TEST_F(EngineFile, SeekWithoutIndexScansToAKeyPictureNearTheTarget) {
    Open(FileOptions(60), false);
    DebugCapture capture;
    ASSERT_TRUE(m_player->SetPlayTime(1500));
    EXPECT_TRUE(capture.Has("[QOR]SeekingPlayTime find no index table error."));
    const uint32_t shown = LastSeen();
    bool key = false;
    for (const recgen::FrameRecord& frame : m_info.keyFrames) key = key || frame.time == shown;
    EXPECT_TRUE(key) << shown;
    EXPECT_LT(std::abs(int(shown) - 1500), 700);
    m_player->Play();
    EXPECT_TRUE(test::WaitFor([&] { return m_endNotices.load() == 1; }, 5000));
}

TEST_F(EngineFile, StepsForwardAndBackAcrossAKeyPicture) {
    Open(FileOptions(60));
    ASSERT_TRUE(m_player->SetPlayTime(1000));  // shows 960, a key picture
    ASSERT_EQ(LastSeen(), 960u);
    struct Step { bool forward; uint32_t expected; };
    const Step steps[] = {{true, 1000}, {true, 1040}, {false, 1000}, {false, 960}, {false, 920}, {false, 880}, {true, 920}};
    for (const Step& step : steps) {
        ASSERT_TRUE(m_player->StepPlay(step.forward));
        EXPECT_EQ(LastSeen(), step.expected);
        EXPECT_EQ(m_player->State(), kStateStepWait);
    }
    m_player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return m_endNotices.load() == 1; }, 5000));
    const std::vector<uint32_t> times = SeenTimes();
    const auto resume = std::find(times.rbegin(), times.rend(), 920u);
    ASSERT_NE(resume, times.rend());
    EXPECT_EQ(*(resume - 1), 960u) << "play goes on after the stepped picture";
}

TEST_F(EngineFile, BackPlayShowsPicturesInReverseTimeOrder) {
    Open(FileOptions(40));
    ASSERT_TRUE(m_player->SetPlayTime(1000));
    const size_t before = Collector::For(m_id).PictureCount();
    ASSERT_TRUE(m_player->BackPlay());
    ASSERT_TRUE(test::WaitFor([&] { return m_endNotices.load() == 1; }, 5000));
    std::vector<uint32_t> times = SeenTimes();
    times.erase(times.begin(), times.begin() + long(before));
    std::vector<uint32_t> expected;
    for (int t = 920; t >= 0; t -= 40) expected.push_back(uint32_t(t));
    EXPECT_EQ(times, expected);
}

TEST_F(EngineFile, FollowsAGrowingFileWithoutEndNotice) {
    recgen::Options options = FileOptions(40);
    options.audio = false;
    const std::string full = test::TempPath("growing_full.mpg");
    recgen::Recording info = test::WriteRecordingFile(options, full);
    std::vector<uint8_t> bytes(size_t(info.fileSize));
    {
        std::ifstream in(full, std::ios::binary);
        in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::remove(full.c_str());
    m_path = test::TempPath("growing.mpg");
    const size_t half = size_t(info.frames[20].position + 7);
    {
        std::ofstream out(m_path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(half));
    }
    m_player = test::OpenFile(m_id, m_path, false, true);
    ASSERT_NE(m_player, nullptr);
    m_player->SetEndOfFileNotify([this](uint32_t) { m_endNotices.fetch_add(1); });
    m_player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return Collector::For(m_id).PictureCount() >= 19; }, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(m_endNotices.load(), 0);
    {
        std::ofstream out(m_path, std::ios::binary | std::ios::app);
        out.write(reinterpret_cast<const char*>(bytes.data() + half), std::streamsize(bytes.size() - half));
    }
    EXPECT_TRUE(test::WaitFor([&] { return Collector::For(m_id).PictureCount() == 40; }, 5000))
        << Collector::For(m_id).PictureCount();
    EXPECT_EQ(m_endNotices.load(), 0);
}

TEST_F(EngineFile, DamagedRecordingsPlayEveryWholePictureWithItsTime) {
    struct Case {
        const char* name;
        std::function<void(recgen::Options*)> damage;
        int pictures;
    };
    const Case cases[] = {
        {"ends inside a frame", [](recgen::Options* o) { o->truncateBytes = 100; }, 19},
        {"junk between frames", [](recgen::Options* o) { o->unknownBefore = {3, 11}; }, 20},
        {"unreadable time stamps", [](recgen::Options* o) { o->invalidTimeFrames = {4, 5, 13}; }, 20},
        {"false start codes in payloads", [](recgen::Options* o) { o->falseStartCodes = true; }, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recgen::Options options = FileOptions(20);
        options.audio = false;
        c.damage(&options);
        m_endNotices.store(0);
        Open(options, false);
        m_player->SetPlaySpeed(4.0f);  // only what is shown matters here
        m_player->Play();
        ASSERT_TRUE(test::WaitFor([&] { return m_endNotices.load() == 1; }, 5000));
        std::vector<uint32_t> expected;
        for (int i = 0; i < c.pictures; ++i) expected.push_back(uint32_t(i * 40));
        EXPECT_EQ(SeenTimes(), expected);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(m_endNotices.load(), 1);
        m_player.reset();
    }
}

// The real video output over a memory display, counting what reaches the screen.
class MemoryDisplayOutput : public EngineVideoOutput {
public:
    MemoryDisplayOutput(const VideoOutputSettings& settings, std::atomic<int>* pDraws) : m_pDraws(pDraws) {
        m_service.AddWindow(1, DisplayRect{0, 0, 352, 288});
        VideoPlayerSettings player;
        player.iWidth = settings.iWidth;
        player.iHeight = settings.iHeight;
        player.iFrameRate = settings.iFrameRate;
        player.hWnd = 1;
        m_player = std::make_unique<CVideoPlayer>(&m_service, player);
        m_bCreated = m_player->Create();
    }
    bool Present(const VideoDecodeFrameInfo& picture) override {
        const bool ok = m_bCreated && m_player->Present(picture);
        m_pDraws->store(int(m_service.Draws().size()));
        return ok;
    }
    bool Redraw() override { return m_player->Redraw(); }
    bool SetDisplayMode(int iMode) override { return m_player->SetDisplayMode(iMode); }
    bool SetVideoWindow(NativeWindow, const DisplayRect*) override { return true; }
    void EnableOutput(bool bEnable) override { m_player->EnableOutput(bEnable); }
    bool Reinitialise(int, int, int) override { return true; }
    void SetVideoDecodeCallBack(VideoDecodeCallBack, uint32_t) override {}
    void SetDecCallBack(DecCallBack, uint32_t, uint8_t*) override {}

private:
    MemoryDisplayService m_service;
    std::unique_ptr<CVideoPlayer> m_player;
    bool m_bCreated = false;
    std::atomic<int>* m_pDraws;
};

TEST_F(EngineFile, PlaysWithAMemoryDisplayAndSoundThatTakesRealTime) {
    m_path = test::TempPath("memory_display.mpg");
    recgen::Options options = FileOptions(25);
    m_info = test::WriteRecordingFile(options, m_path);
    std::atomic<int> draws{0};
    NullSoundOutput* sound = nullptr;
    EngineOutputFactory factory;
    factory.makeVideoOutput = [&](const VideoOutputSettings& settings) -> std::unique_ptr<EngineVideoOutput> {
        return std::make_unique<MemoryDisplayOutput>(settings, &draws);
    };
    factory.makeSoundOutput = [&](const WaveFormat& format, int bytes, int) -> std::unique_ptr<EngineSoundOutput> {
        auto made = std::make_unique<NullSoundOutput>(format, bytes);
        sound = made.get();
        return made;
    };
    bool ok = false;
    m_player = std::make_unique<CMpegPlayer>(&ok);
    m_player->SetOutputFactory(factory);
    m_player->SetEndOfFileNotify([this](uint32_t) { m_endNotices.fetch_add(1); });
    EngineInitParams params;
    params.fileName = m_path;
    params.bCreateIndexFile = false;
    ASSERT_TRUE(m_player->Init(params));
    ASSERT_NE(sound, nullptr);
    m_player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return m_endNotices.load() == 1; }, 5000));
    EXPECT_EQ(draws.load(), 25);
    // Every audio frame of the recording was played: 320 samples of 16 bits each.
    EXPECT_TRUE(test::WaitFor([&] { return sound->BytesWritten() == uint64_t(m_info.audioFrameCount) * 640; }, 3000))
        << sound->BytesWritten();
}

TEST_F(EngineFile, HeaderInsideTheFileChangesThePictureSizeForPlayAndSeek) {
    recgen::Options options = FileOptions(40);
    options.extraHeaders = {{20, 352, 288}};
    DebugCapture capture;
    Open(options);
    m_player->SetPlaySpeed(4.0f);
    m_player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return m_endNotices.load() == 1; }, 5000));
    std::vector<test::PictureSeen> pictures = Collector::For(m_id).Pictures();
    ASSERT_EQ(pictures.size(), 40u);
    EXPECT_EQ(pictures[19].width, 176);
    EXPECT_EQ(pictures[20].width, 352);
    EXPECT_TRUE(capture.Has("[QOR]another file header(F) found.\n"));
    struct Case { int time; int width; };
    for (const Case c : {Case{200, 176}, Case{1200, 352}, Case{0, 176}, Case{1560, 352}}) {
        ASSERT_TRUE(m_player->SetPlayTime(c.time));
        pictures = Collector::For(m_id).Pictures();
        EXPECT_EQ(pictures.back().width, c.width) << "seek to " << c.time;
        EXPECT_EQ(int(pictures.back().time), c.time == 0 ? 0 : c.time - 40) << "seek to " << c.time;
    }
}

int ReadFromMemory(uint8_t* pBuffer, int iCount, uint32_t uPosition, int, void* pUser) {
    const auto* bytes = static_cast<const std::vector<uint8_t>*>(pUser);
    if (uPosition >= bytes->size()) return 0;
    const int n = std::min<int>(iCount, int(bytes->size() - uPosition));
    std::memcpy(pBuffer, bytes->data() + uPosition, size_t(n));
    return n;
}

TEST_F(EngineFile, PlaysThroughTheCallersReadCallBack) {
    recgen::Recording info;
    recgen::Options options = FileOptions(20);
    const std::vector<uint8_t> bytes = test::MakeRecordingBytes(options, &info);
    Collector::For(m_id).Clear();
    bool ok = false;
    m_player = std::make_unique<CMpegPlayer>(&ok);
    m_player->SetPlayerId(m_id);
    m_player->SetVideoDecodeCallBack(&Collector::VideoCallBack, 0);
    m_player->SetReadFileCallBack(&ReadFromMemory, const_cast<std::vector<uint8_t>*>(&bytes), int64_t(bytes.size()));
    m_player->SetEndOfFileNotify([this](uint32_t) { m_endNotices.fetch_add(1); });
    EngineInitParams params;
    params.bCreateIndexFile = false;
    ASSERT_TRUE(m_player->Init(params));
    EXPECT_EQ(m_player->TotalTime(), 760);
    m_player->SetPlaySpeed(4.0f);
    m_player->Play();
    ASSERT_TRUE(test::WaitFor([&] { return m_endNotices.load() == 1; }, 5000));
    EXPECT_EQ(Collector::For(m_id).PictureCount(), 20u);
    m_player.reset();
}

TEST_F(EngineFile, KeyFramePositionsFollowTheIndex) {
    Open(FileOptions(60));
    ASSERT_TRUE(m_player->SetPlayTime(1000));
    uint32_t position = 0;
    ASSERT_TRUE(m_player->GetKeyFramePos(&position, false));
    EXPECT_EQ(int64_t(position), m_info.keyFrames[2].position);
    ASSERT_TRUE(m_player->GetKeyFramePos(&position, true));
    EXPECT_EQ(int64_t(position), m_info.keyFrames[3].position);
    EXPECT_EQ(m_player->TotalFrames(), 2360 / 40);
    EXPECT_EQ(m_player->PlayedFrames(), 24);
}

}  // namespace
}  // namespace qor
