#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>

#include "platform/sound_sdl.h"
#include "player/output/sound_output.h"
#include "tests/output/output_fixture.h"

namespace qor {
namespace {

using test::Mono8k;

// Each test runs in a process of its own, so the driver can be chosen here.
void UseDriver(const char* driver, const std::string& file = "") {
    setenv("SDL_AUDIODRIVER", driver, 1);
    if (!file.empty()) setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
}

TEST(SoundSdl, PcmComesOutOfTheDiskDriverUnchanged) {
    const std::string path = "/tmp/qor_sound_disk_" + std::to_string(::getpid()) + ".raw";
    UseDriver("disk", path);
    std::vector<uint8_t> pcm(40000);  // 2.5 s, never zero so that it stands out from silence
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>((i * 37) % 253 + 1);
    {
        // The file-mode buffer holds 2 s, so a loaded machine cannot starve it.
        CSound sound(std::make_unique<SdlSoundDevice>(), 0, Mono8k(), CSound::kFileBufferSize, CSound::kFileBlocks);
        ASSERT_TRUE(sound.Create());
        size_t written = sound.Write(pcm.data(), static_cast<uint32_t>(pcm.size()), 0);
        ASSERT_TRUE(sound.Play());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (written < pcm.size() && std::chrono::steady_clock::now() < deadline) {
            written += sound.Write(pcm.data() + written, static_cast<uint32_t>(pcm.size() - written), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(written, pcm.size());
        // Let the buffered 2 s play out.
        std::this_thread::sleep_for(std::chrono::milliseconds(2300));
        sound.Stop();
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> out((std::istreambuf_iterator<char>(in)), {});
    std::remove(path.c_str());
    auto start = std::search(out.begin(), out.end(), pcm.begin(), pcm.begin() + 64);
    ASSERT_NE(start, out.end()) << "the PCM never reached the device";
    ASSERT_GE(static_cast<size_t>(out.end() - start), pcm.size());
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), start));
}

TEST(SoundSdl, DummyDriverPlaysAndSetsVolume) {
    UseDriver("dummy");
    CSound sound(std::make_unique<SdlSoundDevice>(), 0, Mono8k(), CSound::kFileBufferSize, CSound::kFileBlocks);
    ASSERT_TRUE(sound.Create());
    std::vector<uint8_t> pcm(8192, 1);
    EXPECT_EQ(sound.Write(pcm.data(), 8192, 0), 8192u);
    EXPECT_TRUE(sound.Play());
    EXPECT_TRUE(sound.SetVolume(5000));
    EXPECT_EQ(sound.GetVolume(), -5000);
    sound.Stop();
    EXPECT_TRUE(sound.IsStopped());
}

}  // namespace
}  // namespace qor

namespace qor {
namespace {

struct Received {
    static inline int calls = 0;
};

void CountAudio(uint32_t, const AudioDecodeFrameInfo*) { ++Received::calls; }

TEST(SoundSdl, WithoutASoundDeviceCallbacksStillGetTheAudio) {
    UseDriver("no-such-driver");
    test::DebugCapture capture;
    CSound sound(CreateSoundDevice(), 0, Mono8k(), CSound::kStreamBufferSize, CSound::kStreamBlocks);
    ASSERT_TRUE(sound.Create());
    EXPECT_TRUE(capture.Has("[QOR]no sound device, sound goes to callbacks only.\n"));
    sound.SetAudioDecodeCallBack(CountAudio, 0);
    std::vector<uint8_t> pcm(320, 3);
    EXPECT_EQ(sound.Write(pcm.data(), 320, 0), 320u);
    EXPECT_EQ(Received::calls, 1);
}

}  // namespace
}  // namespace qor
