// Sound through SDL2 audio: the default output device of whatever driver SDL
// picks (set SDL_AUDIODRIVER=dummy or =disk with SDL_DISKAUDIOFILE for
// headless runs). SDL's audio thread plays the looping buffer.
//
// Threading: as SoundDevice; SDL's audio thread calls only
// LoopingSoundBuffer::Consume.
#pragma once

#include "platform/sound_device.h"

namespace qor {

class SdlSoundDevice : public SoundDevice {
public:
    SdlSoundDevice() = default;
    ~SdlSoundDevice() override;

    SoundResult Open() override;
    SoundResult SetCooperativeLevel(NativeWindow window) override;
    SoundResult GetCaps(uint32_t* flags) override;
    SoundResult CreateBuffer(const SoundFormat& format, uint32_t bytes, std::unique_ptr<SoundBuffer>* buffer) override;

private:
    bool m_open = false;
};

}  // namespace qor
