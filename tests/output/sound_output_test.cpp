#include "player/output/sound_output.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/sound_null.h"
#include "tests/output/output_fixture.h"

namespace qor {
namespace {

using test::DebugCapture;
using test::Mono8k;

// Counts the volume calls that reach the device.
class CountingDevice : public NullSoundDevice {
public:
    struct Counters {
        int setVolume = 0;
        int lastVolume = 0;
    };
    explicit CountingDevice(Counters* counters) : NullSoundDevice(false), m_counters(counters) {}
    SoundResult CreateBuffer(const SoundFormat& format, uint32_t bytes, std::unique_ptr<SoundBuffer>* buffer) override {
        std::unique_ptr<SoundBuffer> inner;
        SoundResult result = NullSoundDevice::CreateBuffer(format, bytes, &inner);
        if (result == SoundResult::Ok) *buffer = std::make_unique<Counting>(std::move(inner), m_counters);
        return result;
    }

private:
    class Counting : public SoundBuffer {
    public:
        Counting(std::unique_ptr<SoundBuffer> inner, Counters* counters) : m_inner(std::move(inner)), m_c(counters) {}
        uint32_t Size() const override { return m_inner->Size(); }
        SoundResult Lock(uint32_t o, uint32_t b, uint8_t** f, uint32_t* fb, uint8_t** s, uint32_t* sb) override {
            return m_inner->Lock(o, b, f, fb, s, sb);
        }
        void Unlock() override { m_inner->Unlock(); }
        SoundResult Play() override { return m_inner->Play(); }
        SoundResult Stop() override { return m_inner->Stop(); }
        SoundResult SetPlayPosition(uint32_t o) override { return m_inner->SetPlayPosition(o); }
        uint32_t PlayPosition() const override { return m_inner->PlayPosition(); }
        SoundResult SetVolume(int v) override {
            ++m_c->setVolume;
            m_c->lastVolume = v;
            return m_inner->SetVolume(v);
        }
        SoundResult GetVolume(int* v) override { return m_inner->GetVolume(v); }
        SoundResult Restore() override { return m_inner->Restore(); }
        SoundResult SetNotificationPositions(const std::vector<uint32_t>& o) override {
            return m_inner->SetNotificationPositions(o);
        }
        bool TakeNotification(size_t i) override { return m_inner->TakeNotification(i); }
        void ResetNotification(size_t i) override { m_inner->ResetNotification(i); }

    private:
        std::unique_ptr<SoundBuffer> m_inner;
        Counters* m_c;
    };
    Counters* m_counters;
};

std::vector<uint8_t> Pcm(size_t bytes, uint32_t seed) {
    std::vector<uint8_t> pcm(bytes);
    for (size_t i = 0; i < bytes; ++i) pcm[i] = static_cast<uint8_t>((i * 131 + seed * 7) % 251 + 1);
    return pcm;
}

TEST(Sound, NotificationOffsetsForFileAndStreamBuffers) {
    CSound file(std::make_unique<NullSoundDevice>(false), 0, Mono8k(), CSound::kFileBufferSize, CSound::kFileBlocks);
    EXPECT_EQ(file.NotificationOffsets(),
              (std::vector<uint32_t>{4095, 8191, 12287, 16383, 20479, 24575, 28671, 32767}));
    CSound stream(std::make_unique<NullSoundDevice>(false), 0, Mono8k(), CSound::kStreamBufferSize,
                  CSound::kStreamBlocks);
    EXPECT_EQ(stream.NotificationOffsets(), (std::vector<uint32_t>{2047, 4095}));
}

TEST(Sound, PlayNeedsDataFirst) {
    CSound sound(std::make_unique<NullSoundDevice>(false), 0, Mono8k(), 4096, 2);
    ASSERT_TRUE(sound.Create());
    EXPECT_FALSE(sound.Play());
    EXPECT_TRUE(sound.IsStopped());
    const auto pcm = Pcm(100, 1);
    EXPECT_EQ(sound.Write(pcm.data(), 100, 0), 100u);
    EXPECT_TRUE(sound.Play());
    EXPECT_FALSE(sound.IsStopped());
}

TEST(Sound, BlocksAreRefilledOnlyAfterPlayPassedThem) {
    auto device = std::make_unique<NullSoundDevice>(false);
    NullSoundDevice* raw = device.get();
    CSound sound(std::move(device), 0, Mono8k(), 4096, 2);
    ASSERT_TRUE(sound.Create());
    const auto pcm = Pcm(10000, 2);
    uint32_t written = sound.Write(pcm.data(), 3000, 0);
    EXPECT_EQ(written, 3000u);
    written += sound.Write(pcm.data() + written, 7000, 0);
    EXPECT_EQ(written, 4096u);  // the buffer is full; the rest waits
    ASSERT_TRUE(sound.Play());
    raw->Advance(1000);
    EXPECT_EQ(sound.Write(pcm.data() + written, 10000 - written, 0), 0u);  // block 0 not yet passed
    raw->Advance(1048);
    EXPECT_EQ(sound.Write(pcm.data() + written, 10000 - written, 0), 2048u);
    written += 2048;
    raw->Advance(2048);
    written += sound.Write(pcm.data() + written, 10000 - written, 0);
    raw->Advance(4096);
    written += sound.Write(pcm.data() + written, 10000 - written, 0);
    raw->Advance(4096);
    EXPECT_GE(written, 8192u);
    const auto played = raw->Played();
    ASSERT_GE(played.size(), 8192u);
    EXPECT_TRUE(std::equal(played.begin(), played.begin() + 8192, pcm.begin()));
}

TEST(Sound, ResetSilencesAndStops) {
    auto device = std::make_unique<NullSoundDevice>(false);
    NullSoundDevice* raw = device.get();
    CSound sound(std::move(device), 0, Mono8k(), 4096, 2);
    ASSERT_TRUE(sound.Create());
    const auto pcm = Pcm(4096, 3);
    sound.Write(pcm.data(), 4096, 0);
    sound.Play();
    ASSERT_TRUE(sound.Reset());
    EXPECT_TRUE(sound.IsStopped());
    EXPECT_FALSE(sound.Play());  // no data since the reset
    EXPECT_EQ(raw->Buffer()->PlayPosition(), 0u);
    EXPECT_EQ(sound.Write(pcm.data(), 4096, 0), 4096u);  // every block free again
}

TEST(Sound, VolumeRules) {
    CountingDevice::Counters counters;
    CSound sound(std::make_unique<CountingDevice>(&counters), 0, Mono8k(), 4096, 2);
    ASSERT_TRUE(sound.Create());
    EXPECT_TRUE(sound.SetVolume(0));
    EXPECT_EQ(counters.lastVolume, -10000);
    EXPECT_TRUE(sound.SetVolume(10000));
    EXPECT_EQ(counters.lastVolume, 0);
    EXPECT_TRUE(sound.SetVolume(7000));
    EXPECT_EQ(counters.lastVolume, -3000);
    const int calls = counters.setVolume;
    EXPECT_TRUE(sound.SetVolume(7000));
    EXPECT_EQ(counters.setVolume, calls);  // the same value again makes no device call
    EXPECT_EQ(sound.GetVolume(), -3000);
}

TEST(Sound, MutingRestoresThePreviousVolume) {
    CountingDevice::Counters counters;
    CSound sound(std::make_unique<CountingDevice>(&counters), 0, Mono8k(), 4096, 2);
    ASSERT_TRUE(sound.Create());
    sound.SetVolume(6000);
    sound.EnableSound(false);
    EXPECT_TRUE(sound.IsMuted());
    EXPECT_EQ(sound.GetVolume(), -10000);
    sound.EnableSound(false);  // already muted: nothing changes
    sound.EnableSound(true);
    EXPECT_FALSE(sound.IsMuted());
    EXPECT_EQ(sound.GetVolume(), -4000);
}

TEST(Sound, SilencingAfterReadingFullVolumeStillReachesTheDevice) {
    CountingDevice::Counters counters;
    CSound sound(std::make_unique<CountingDevice>(&counters), 0, Mono8k(), 4096, 2);
    ASSERT_TRUE(sound.Create());
    EXPECT_EQ(sound.GetVolume(), 0);
    EXPECT_TRUE(sound.SetVolume(0));
    EXPECT_EQ(counters.lastVolume, -10000);
}

struct AudioLog {
    static inline int calls = 0;
    static inline AudioDecodeFrameInfo last{};
    static inline std::vector<uint8_t> data;
};

void OnAudio(uint32_t, const AudioDecodeFrameInfo* info) {
    ++AudioLog::calls;
    AudioLog::last = *info;
    AudioLog::data.assign(info->pData, info->pData + info->uLength);
}

void ThrowingAudio(uint32_t, const AudioDecodeFrameInfo*) { throw std::runtime_error("fault"); }

TEST(Sound, CallbackTakesEverythingAndNothingReachesTheDevice) {
    AudioLog::calls = 0;
    auto device = std::make_unique<NullSoundDevice>(false);
    NullSoundDevice* raw = device.get();
    CSound sound(std::move(device), 0, Mono8k(), 4096, 2, 9);
    ASSERT_TRUE(sound.Create());
    sound.SetAudioDecodeCallBack(OnAudio, 55);
    const auto pcm = Pcm(20000, 4);
    EXPECT_EQ(sound.Write(pcm.data(), 20000, 1234), 20000u);
    EXPECT_EQ(AudioLog::calls, 1);
    EXPECT_EQ(AudioLog::last.uTimeStamp, 1234u);
    EXPECT_EQ(AudioLog::last.uUserValue, 55u);
    EXPECT_EQ(AudioLog::last.waveFormat.nSamplesPerSec, 8000u);
    EXPECT_EQ(AudioLog::data, pcm);
    EXPECT_TRUE(sound.Play());  // the handed-over block counts as data
    raw->Advance(4096);
    const auto played = raw->Played();
    EXPECT_TRUE(std::all_of(played.begin(), played.end(), [](uint8_t b) { return b == 0; }));

    DebugCapture capture;
    sound.SetAudioDecodeCallBack(ThrowingAudio, 0);
    EXPECT_EQ(sound.Write(pcm.data(), 100, 0), 100u);
    EXPECT_TRUE(capture.Has("[QOR]m_fpAudioDisplayCallBack() report ZRV."));
}

TEST(Sound, LostBufferIsRestoredAndWritingGoesOn) {
    auto device = std::make_unique<NullSoundDevice>(false);
    NullSoundDevice* raw = device.get();
    CSound sound(std::move(device), 0, Mono8k(), 4096, 2);
    ASSERT_TRUE(sound.Create());
    raw->Buffer()->Lose();
    const auto pcm = Pcm(1000, 5);
    EXPECT_EQ(sound.Write(pcm.data(), 1000, 0), 1000u);
    raw->Buffer()->Lose();
    EXPECT_TRUE(sound.Play());
}

TEST(Sound, ConstructionFailuresAreReported) {
    struct Case {
        NullSoundDevice::Faults faults;
        const char* first;
        const char* second;
    };
    NullSoundDevice::Faults open, cooperative, create, caps, flags, notify;
    open.open = true;
    cooperative.cooperativeLevel = true;
    create.createBuffer = true;
    caps.caps = true;
    flags.capsFlags = 0;
    notify.notifications = true;
    const Case cases[] = {
        {open, "[QOR]DirectSoundCreate8() error.\n", "[QOR]call InitDSound(.) error!\n"},
        {cooperative, "[QOR]m_pObjDSound->SetCooperativeLevel() error.\n", "[QOR]call InitDSound(.) error!\n"},
        {create, "[QOR]m_pObjDSound->CreateSoundBuffer() error.\n", "[QOR]call InitDSoundBuffer(.) error!\n"},
        {caps, "[QOR]m_pObjDSound->GetCaps() error.\n", "[QOR]call InitDSoundBuffer(.) error!\n"},
        {flags, "[QOR]m_pObjDSound not support DSBCAPS_LOCSOFTWARE.\n", "[QOR]call InitDSoundBuffer(.) error!\n"},
        {notify, "[QOR]pDSNotify->SetNotificationPositions() error.\n", "[QOR]call InitDSoundNotify(.) error!\n"},
    };
    for (const Case& t : cases) {
        DebugCapture capture;
        CSound sound(std::make_unique<NullSoundDevice>(false, t.faults), 0, Mono8k(), 4096, 2);
        EXPECT_FALSE(sound.Create()) << t.first;
        EXPECT_TRUE(capture.Has(t.first)) << t.first;
        EXPECT_TRUE(capture.Has(t.second)) << t.second;
        // A half-built output takes nothing and plays nothing.
        const uint8_t pcm[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        EXPECT_EQ(sound.Write(pcm, 8, 0), 0u);
        EXPECT_FALSE(sound.Play());
    }
}

TEST(Sound, RealTimeNullDevicePlaysThrough) {
    auto device = std::make_unique<NullSoundDevice>(true);
    NullSoundDevice* raw = device.get();
    CSound sound(std::move(device), 0, Mono8k(), 4096, 2);
    ASSERT_TRUE(sound.Create());
    const auto pcm = Pcm(4096, 6);
    ASSERT_EQ(sound.Write(pcm.data(), 4096, 0), 4096u);
    ASSERT_TRUE(sound.Play());
    // 2048 bytes are 128 ms at 8000 Hz mono 16-bit.
    uint32_t taken = 0;
    for (int i = 0; i < 100 && taken == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        taken = sound.Write(pcm.data(), 2048, 0);
    }
    EXPECT_EQ(taken, 2048u);
    (void)raw;
}

}  // namespace
}  // namespace qor
