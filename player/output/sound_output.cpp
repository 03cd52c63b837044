#include "player/output/sound_output.h"

#include <algorithm>
#include <cstring>

#include "platform/debug_output.h"

namespace qor {
namespace {

// A lost buffer is restored and the call tried again a few times; a device
// that keeps losing it is treated as failing.
constexpr int kLostRetries = 8;

template <typename Call>
SoundResult RetryWhileLost(SoundBuffer& buffer, Call call) {
    SoundResult result = call();
    for (int attempt = 0; attempt < kLostRetries && result == SoundResult::BufferLost; ++attempt) {
        buffer.Restore();
        result = call();
    }
    return result;
}

}  // namespace

CSound::CSound(std::unique_ptr<SoundDevice> device, NativeWindow hWnd, const QorWaveFormat& waveFormat,
               uint32_t uBufferSize, int iBlockCount, uint32_t uPlayerId)
    : m_pObjDSound(std::move(device)), m_hWnd(hWnd), m_waveFormat(waveFormat), m_uBufferSize(uBufferSize),
      m_iBlockCount(std::max(iBlockCount, 1)), m_uBlockSize(uBufferSize / static_cast<uint32_t>(std::max(iBlockCount, 1))),
      m_uPlayerId(uPlayerId) {}

CSound::~CSound() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_pDSoundBuffer) resetLocked();
    // Buffer before device.
    m_pDSoundBuffer.reset();
    m_pObjDSound.reset();
}

bool CSound::Create() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!initDSound()) {
        DebugOutput("[QOR]call InitDSound(.) error!\n");
        return false;
    }
    // A half-built output keeps no buffer, so that it takes and plays nothing.
    if (!initDSoundBuffer()) {
        DebugOutput("[QOR]call InitDSoundBuffer(.) error!\n");
        m_pDSoundBuffer.reset();
        return false;
    }
    if (!initDSoundNotify()) {
        DebugOutput("[QOR]call InitDSoundNotify(.) error!\n");
        m_pDSoundBuffer.reset();
        return false;
    }
    if (!resetLocked()) {
        m_pDSoundBuffer.reset();
        return false;
    }
    return true;
}

bool CSound::initDSound() {
    if (!m_pObjDSound || m_pObjDSound->Open() != SoundResult::Ok) {
        DebugOutput("[QOR]DirectSoundCreate8() error.\n");
        return false;
    }
    if (m_pObjDSound->SetCooperativeLevel(m_hWnd) != SoundResult::Ok) {
        DebugOutput("[QOR]m_pObjDSound->SetCooperativeLevel() error.\n");
        return false;
    }
    return true;
}

bool CSound::initDSoundBuffer() {
    // Blocks must be whole sample frames, or notifications would split samples.
    const uint32_t frame = m_waveFormat.nBlockAlign ? m_waveFormat.nBlockAlign : 1;
    SoundFormat format{m_waveFormat.nChannels, static_cast<int>(m_waveFormat.nSamplesPerSec),
                       m_waveFormat.wBitsPerSample};
    if (m_uBlockSize == 0 || m_uBlockSize % frame != 0 ||
        m_pObjDSound->CreateBuffer(format, m_uBufferSize, &m_pDSoundBuffer) != SoundResult::Ok || !m_pDSoundBuffer) {
        DebugOutput("[QOR]m_pObjDSound->CreateSoundBuffer() error.\n");
        return false;
    }
    uint32_t flags = 0;
    if (m_pObjDSound->GetCaps(&flags) != SoundResult::Ok) {
        DebugOutput("[QOR]m_pObjDSound->GetCaps() error.\n");
        return false;
    }
    if (!(flags & kSoundCapsPrimary16Bit)) {
        DebugOutput("[QOR]m_pObjDSound not support DSBCAPS_LOCSOFTWARE.\n");
        return false;
    }
    if (!resetLocked()) {
        DebugOutput("[QOR]call CSound::Reset() error.\n");
        return false;
    }
    return true;
}

bool CSound::initDSoundNotify() {
    std::vector<uint32_t> offsets;
    for (int k = 1; k <= m_iBlockCount; ++k)
        offsets.push_back(static_cast<uint32_t>(static_cast<uint64_t>(m_uBufferSize) * k / m_iBlockCount - 1));
    if (m_pDSoundBuffer->SetNotificationPositions(offsets) != SoundResult::Ok) {
        DebugOutput("[QOR]pDSNotify->SetNotificationPositions() error.\n");
        return false;
    }
    return true;
}

std::vector<uint32_t> CSound::NotificationOffsets() const {
    std::vector<uint32_t> offsets;
    for (int k = 1; k <= m_iBlockCount; ++k)
        offsets.push_back(static_cast<uint32_t>(static_cast<uint64_t>(m_uBufferSize) * k / m_iBlockCount - 1));
    return offsets;
}

bool CSound::Reset() {
    std::lock_guard<std::mutex> lock(m_lock);
    return resetLocked();
}

bool CSound::resetLocked() {
    if (!m_pDSoundBuffer) return false;
    RetryWhileLost(*m_pDSoundBuffer, [&] { return m_pDSoundBuffer->Stop(); });
    m_bStopped = true;
    uint8_t *first = nullptr, *second = nullptr;
    uint32_t firstBytes = 0, secondBytes = 0;
    SoundResult result = RetryWhileLost(*m_pDSoundBuffer, [&] {
        return m_pDSoundBuffer->Lock(0, m_uBufferSize, &first, &firstBytes, &second, &secondBytes);
    });
    if (result != SoundResult::Ok) {
        DebugOutput("[QOR]m_pDSoundBuffer->Lock() error.\n");
        return false;
    }
    const uint8_t silence = m_waveFormat.wBitsPerSample == 8 ? 0x80 : 0;
    std::memset(first, silence, firstBytes);
    if (second) std::memset(second, silence, secondBytes);
    m_pDSoundBuffer->Unlock();
    m_pDSoundBuffer->SetPlayPosition(0);
    m_blockStates.assign(static_cast<size_t>(m_iBlockCount), kBlockFree);
    for (size_t i = 0; i < m_blockStates.size(); ++i) m_pDSoundBuffer->ResetNotification(i);
    m_iBlockIndex = 0;
    m_uWriteOffset = 0;
    m_bHasData = false;
    return true;
}

bool CSound::Play() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_pDSoundBuffer || !m_bStopped || !m_bHasData) return !m_bStopped && m_pDSoundBuffer;
    if (RetryWhileLost(*m_pDSoundBuffer, [&] { return m_pDSoundBuffer->Play(); }) != SoundResult::Ok) {
        DebugOutput("[QOR]m_pDSoundBuffer->Play() error.\n");
        return false;
    }
    m_bStopped = false;
    return true;
}

void CSound::Stop() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_pDSoundBuffer || m_bStopped) return;
    RetryWhileLost(*m_pDSoundBuffer, [&] { return m_pDSoundBuffer->Stop(); });
    m_bStopped = true;
}

bool CSound::Restore() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_pDSoundBuffer || m_pDSoundBuffer->Restore() != SoundResult::Ok) {
        DebugOutput("[QOR]m_pDSoundBuffer->Restore() error.\n");
        return false;
    }
    return true;
}

bool CSound::SetVolume(int iVolume) {
    std::lock_guard<std::mutex> lock(m_lock);
    iVolume = std::clamp(iVolume, 0, 10000);
    if (iVolume == m_iLastVolume) return true;
    if (!m_pDSoundBuffer || m_pDSoundBuffer->SetVolume(iVolume - 10000) != SoundResult::Ok) {
        DebugOutput("[QOR]m_pDSoundBuffer->SetVolume() error.\n");
        return false;
    }
    m_iLastVolume = iVolume;
    return true;
}

void CSound::EnableSound(bool bOn) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_pDSoundBuffer) return;
    if (!bOn && !m_bMuted) {
        int volume = 0;
        if (m_pDSoundBuffer->GetVolume(&volume) == SoundResult::Ok) m_iSavedDeviceVolume = volume;
        m_pDSoundBuffer->SetVolume(kSoundVolumeSilent);
        m_bMuted = true;
    } else if (bOn && m_bMuted) {
        m_pDSoundBuffer->SetVolume(m_iSavedDeviceVolume);
        m_bMuted = false;
    }
}

int CSound::GetVolume() {
    std::lock_guard<std::mutex> lock(m_lock);
    int volume = 0;
    if (!m_pDSoundBuffer || m_pDSoundBuffer->GetVolume(&volume) != SoundResult::Ok) {
        DebugOutput("[QOR]m_pDSoundBuffer->GetVolume() error.\n");
        return 0;
    }
    // Kept on SetVolume's own 0..10000 scale, so that a later SetVolume
    // compares like with like.
    m_iLastVolume = volume + 10000;
    return volume;
}

void CSound::SetAudioDecodeCallBack(AudioDecodeCallBack fpCallBack, uint32_t uUserValue) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_fpAudioDisplayCallBack = fpCallBack;
    m_uAudioUserValue = uUserValue;
}

void CSound::freePlayedBlocks() {
    for (size_t i = 0; i < m_blockStates.size(); ++i)
        if (m_pDSoundBuffer->TakeNotification(i)) m_blockStates[i] = kBlockFree;
}

uint32_t CSound::Write(const uint8_t* pData, uint32_t uSize, uint32_t uTimeStamp) {
    std::unique_lock<std::mutex> lock(m_lock);
    if (!pData || uSize == 0) return 0;
    if (m_fpAudioDisplayCallBack) {
        AudioDecodeCallBack callBack = m_fpAudioDisplayCallBack;
        AudioDecodeFrameInfo info{};
        info.uTimeStamp = uTimeStamp;
        info.waveFormat = m_waveFormat;
        info.pData = const_cast<uint8_t*>(pData);
        info.uLength = uSize;
        info.uUserValue = m_uAudioUserValue;
        m_bHasData = true;
        lock.unlock();
        try {
            callBack(m_uPlayerId, &info);
        } catch (...) {
            DebugOutput("[QOR]m_fpAudioDisplayCallBack() report ZRV.");
        }
        return uSize;
    }
    // A sound output whose set-up failed half-way has no blocks to fill.
    if (!m_pDSoundBuffer || m_blockStates.empty()) return 0;
    freePlayedBlocks();
    uint32_t taken = 0;
    while (taken < uSize && m_blockStates[static_cast<size_t>(m_iBlockIndex)] == kBlockFree) {
        const uint32_t piece = std::min(uSize - taken, m_uBlockSize - m_uWriteOffset);
        const uint32_t offset = static_cast<uint32_t>(m_iBlockIndex) * m_uBlockSize + m_uWriteOffset;
        uint8_t *first = nullptr, *second = nullptr;
        uint32_t firstBytes = 0, secondBytes = 0;
        SoundResult result = RetryWhileLost(*m_pDSoundBuffer, [&] {
            return m_pDSoundBuffer->Lock(offset, piece, &first, &firstBytes, &second, &secondBytes);
        });
        if (result != SoundResult::Ok) {
            DebugOutput("[QOR]m_pDSoundBuffer->Lock() error.\n");
            return 0;
        }
        std::memcpy(first, pData + taken, firstBytes);
        if (second) std::memcpy(second, pData + taken + firstBytes, secondBytes);
        m_pDSoundBuffer->Unlock();
        taken += piece;
        m_bHasData = true;
        m_uWriteOffset += piece;
        if (m_uWriteOffset == m_uBlockSize) {
            m_blockStates[static_cast<size_t>(m_iBlockIndex)] = kBlockUsed;
            m_iBlockIndex = (m_iBlockIndex + 1) % m_iBlockCount;
            m_uWriteOffset = 0;
        }
    }
    return taken;
}

uint32_t CSound::QueuedBytes() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_fpAudioDisplayCallBack || !m_pDSoundBuffer || m_blockStates.empty() || m_uBufferSize == 0) return 0;
    freePlayedBlocks();
    const uint32_t blockStart = static_cast<uint32_t>(m_iBlockIndex) * m_uBlockSize;
    const uint32_t write = blockStart + m_uWriteOffset;
    const uint32_t play = m_pDSoundBuffer->PlayPosition() % m_uBufferSize;
    const bool anyUsed = std::find(m_blockStates.begin(), m_blockStates.end(), kBlockUsed) != m_blockStates.end();
    if (!anyUsed) {
        // Only the block being filled holds sound; once play has passed the
        // write position the device replays old bytes and nothing is queued.
        return play >= blockStart && play < write ? write - play : (play < blockStart ? m_uWriteOffset : 0);
    }
    // Play is inside the filled blocks; meeting the write position there
    // means the whole buffer is waiting.
    const uint32_t ahead = (write + m_uBufferSize - play) % m_uBufferSize;
    return ahead == 0 ? m_uBufferSize : ahead;
}

bool CSound::IsStopped() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_bStopped;
}

bool CSound::IsMuted() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_bMuted;
}

}  // namespace qor
