#include "platform/sound_sdl.h"

#include <SDL.h>

#include "platform/debug_output.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#include "platform/sound_null.h"

namespace qor {
namespace {

class SdlSoundBuffer : public LoopingSoundBuffer {
public:
    SdlSoundBuffer(const SoundFormat& format, uint32_t bytes) : LoopingSoundBuffer(format, bytes) {}
    ~SdlSoundBuffer() override { close(); }

    bool OpenDevice() {
        SDL_AudioSpec want{};
        want.freq = m_format.samplesPerSecond;
        want.format = m_format.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
        want.channels = static_cast<Uint8>(m_format.channels);
        // About 30 ms a period: short enough for the block notifications.
        want.samples = m_format.samplesPerSecond <= 16000 ? 256 : 1024;
        want.callback = [](void* user, Uint8* stream, int length) {
            static_cast<SdlSoundBuffer*>(user)->Consume(stream, static_cast<uint32_t>(length));
        };
        want.userdata = this;
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to what the hardware takes.
        m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (m_device == 0) return false;
        SDL_PauseAudioDevice(m_device, IsPlaying() ? 0 : 1);
        return true;
    }

    SoundResult Lock(uint32_t offset, uint32_t bytes, uint8_t** first, uint32_t* firstBytes, uint8_t** second,
                     uint32_t* secondBytes) override {
        checkLost();
        return LoopingSoundBuffer::Lock(offset, bytes, first, firstBytes, second, secondBytes);
    }
    SoundResult Play() override {
        checkLost();
        SoundResult result = LoopingSoundBuffer::Play();
        if (result == SoundResult::Ok) SDL_PauseAudioDevice(m_device, 0);
        return result;
    }
    SoundResult Stop() override {
        checkLost();
        SoundResult result = LoopingSoundBuffer::Stop();
        if (result == SoundResult::Ok) SDL_PauseAudioDevice(m_device, 1);
        return result;
    }
    SoundResult Restore() override {
        if (m_device == 0 || SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_STOPPED) {
            close();
            if (!OpenDevice()) return SoundResult::Failed;
        }
        return LoopingSoundBuffer::Restore();
    }

private:
    // A device that SDL has stopped on its own was unplugged or lost.
    void checkLost() {
        if (m_device == 0 || SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_STOPPED) Lose();
    }
    void close() {
        if (m_device != 0) SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }

    SDL_AudioDeviceID m_device = 0;
};

}  // namespace

namespace {

class FallbackSoundDevice : public SoundDevice {
public:
    SoundResult Open() override {
        if (m_sdl.Open() != SoundResult::Ok) useNull();
        return active().Open();
    }
    SoundResult SetCooperativeLevel(NativeWindow window) override { return active().SetCooperativeLevel(window); }
    SoundResult GetCaps(uint32_t* flags) override { return active().GetCaps(flags); }
    SoundResult CreateBuffer(const SoundFormat& format, uint32_t bytes, std::unique_ptr<SoundBuffer>* buffer) override {
        SoundResult result = active().CreateBuffer(format, bytes, buffer);
        if (result == SoundResult::Ok || m_null) return result;
        useNull();
        m_null->Open();
        return m_null->CreateBuffer(format, bytes, buffer);
    }

private:
    void useNull() {
        if (m_null) return;
        DebugOutput("[QOR]no sound device, sound goes to callbacks only.\n");
        m_null = std::make_unique<NullSoundDevice>(true);
    }
    SoundDevice& active() { return m_null ? static_cast<SoundDevice&>(*m_null) : m_sdl; }

    std::unique_ptr<NullSoundDevice> m_null;
    SdlSoundDevice m_sdl;
};

}  // namespace

std::unique_ptr<SoundDevice> CreateSoundDevice() { return std::make_unique<FallbackSoundDevice>(); }

SdlSoundDevice::~SdlSoundDevice() {
    if (m_open) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

SoundResult SdlSoundDevice::Open() {
    if (m_open) return SoundResult::Ok;
#if defined(__SANITIZE_ADDRESS__)
    // SDL keeps its D-Bus connection until SDL_Quit, which a library cannot
    // call on its users' behalf.
    __lsan_disable();
#endif
    const int result = SDL_InitSubSystem(SDL_INIT_AUDIO);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    if (result != 0) {
        DebugOutput("[QOR]SDL audio: %s\n", SDL_GetError());
        return SoundResult::Failed;
    }
    m_open = true;
    return SoundResult::Ok;
}

SoundResult SdlSoundDevice::SetCooperativeLevel(NativeWindow) {
    return m_open ? SoundResult::Ok : SoundResult::Failed;
}

SoundResult SdlSoundDevice::GetCaps(uint32_t* flags) {
    if (!m_open) return SoundResult::Failed;
    // SDL converts any 8- or 16-bit format to what the device takes.
    *flags = kSoundCapsPrimary16Bit;
    return SoundResult::Ok;
}

SoundResult SdlSoundDevice::CreateBuffer(const SoundFormat& format, uint32_t bytes,
                                         std::unique_ptr<SoundBuffer>* buffer) {
    if (!m_open || bytes == 0 || format.channels <= 0 || format.channels > 8 || format.samplesPerSecond <= 0 ||
        (format.bitsPerSample != 8 && format.bitsPerSample != 16))
        return SoundResult::Failed;
    auto made = std::make_unique<SdlSoundBuffer>(format, bytes);
    if (!made->OpenDevice()) {
        DebugOutput("[QOR]SDL audio: %s\n", SDL_GetError());
        return SoundResult::Failed;
    }
    *buffer = std::move(made);
    return SoundResult::Ok;
}

}  // namespace qor
