// CSound: plays one player's decoded PCM through a looping device buffer
// cut into equal blocks, or hands it to the application's audio decode
// callback instead.
//
// Threading: Write runs on the player's audio thread; Play, Stop, Reset and
// the volume calls come from the engine's control paths on application
// threads. Every operation holds the CSound lock for its duration, except
// that the application callback is called after the lock is left.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sound_device.h"
#include "player/api/qor_player_records.h"

namespace qor {

class CSound {
public:
    // File mode: 32768 bytes in 8 blocks; stream mode: 4096 bytes in 2.
    static constexpr uint32_t kFileBufferSize = 32768;
    static constexpr int kFileBlocks = 8;
    static constexpr uint32_t kStreamBufferSize = 4096;
    static constexpr int kStreamBlocks = 2;

    CSound(std::unique_ptr<SoundDevice> device, NativeWindow hWnd, const QorWaveFormat& waveFormat,
           uint32_t uBufferSize, int iBlockCount, uint32_t uPlayerId = 0);
    ~CSound();
    CSound(const CSound&) = delete;
    CSound& operator=(const CSound&) = delete;

    // Opens the device, creates the buffer and its notifications. False
    // when sound cannot be played; the player then goes on without it.
    bool Create();

    bool Reset();
    bool Play();
    void Stop();
    bool Restore();
    // 0 (silent) to 10000 (full).
    bool SetVolume(int iVolume);
    void EnableSound(bool bOn);
    // The device volume, -10000 to 0; 0 when it cannot be read.
    int GetVolume();

    // Returns the bytes taken; the caller offers the rest again later.
    uint32_t Write(const uint8_t* pData, uint32_t uSize, uint32_t uTimeStamp);

    void SetAudioDecodeCallBack(AudioDecodeCallBack fpCallBack, uint32_t uUserValue);

    // Bytes written to the device buffer and not yet played: the sound still
    // to be heard, which keeps pictures on the sound clock. 0 while the sound
    // goes to the callback.
    uint32_t QueuedBytes();

    std::vector<uint32_t> NotificationOffsets() const;
    bool IsStopped() const;
    bool IsMuted() const;

private:
    enum BlockState : uint8_t { kBlockUsed = 1, kBlockFree = 2 };

    bool initDSound();
    bool initDSoundBuffer();
    bool initDSoundNotify();
    bool resetLocked();
    void freePlayedBlocks();

    std::unique_ptr<SoundDevice> m_pObjDSound;
    std::unique_ptr<SoundBuffer> m_pDSoundBuffer;
    NativeWindow m_hWnd;
    QorWaveFormat m_waveFormat;
    uint32_t m_uBufferSize;
    int m_iBlockCount;
    uint32_t m_uBlockSize;
    uint32_t m_uPlayerId;

    mutable std::mutex m_lock;
    std::vector<uint8_t> m_blockStates;
    int m_iBlockIndex = 0;
    uint32_t m_uWriteOffset = 0;
    bool m_bStopped = true;
    bool m_bHasData = false;
    bool m_bMuted = false;
    int m_iLastVolume = 10000;          // as given to SetVolume, 0 to 10000
    int m_iSavedDeviceVolume = 0;       // device volume before muting

    AudioDecodeCallBack m_fpAudioDisplayCallBack = nullptr;
    uint32_t m_uAudioUserValue = 0;
};

}  // namespace qor
