#include "engine_fixture.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <unistd.h>

namespace qor::test {

Collector& Collector::For(uint32_t uPlayerId) {
    static std::mutex lock;
    static std::map<uint32_t, std::unique_ptr<Collector>> collectors;
    std::lock_guard<std::mutex> guard(lock);
    auto& slot = collectors[uPlayerId];
    if (!slot) slot = std::make_unique<Collector>();
    return *slot;
}

void Collector::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_pictures.clear();
    m_audioTimes.clear();
    m_uAudioBytes = 0;
    m_bHold = false;
    onPicture = nullptr;
    onAudio = nullptr;
}

std::vector<PictureSeen> Collector::Pictures() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pictures;
}

std::vector<uint32_t> Collector::AudioTimes() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_audioTimes;
}

uint64_t Collector::AudioBytes() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_uAudioBytes;
}

size_t Collector::PictureCount() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pictures.size();
}

void Collector::HoldPictures(bool bHold) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bHold = bHold;
    }
    m_released.notify_all();
}

void Collector::VideoCallBack(uint32_t uPlayerId, const VideoDecodeFrameInfo* pInfo) {
    Collector& self = For(uPlayerId);
    std::function<void()> hook;
    {
        std::unique_lock<std::mutex> guard(self.m_lock);
        self.m_released.wait(guard, [&] { return !self.m_bHold; });
        self.m_pictures.push_back({pInfo->uTimeStamp, pInfo->iWidth, pInfo->iHeight, std::chrono::steady_clock::now()});
        hook = self.onPicture;
    }
    if (hook) hook();
}

void Collector::AudioCallBack(uint32_t uPlayerId, const AudioDecodeFrameInfo* pInfo) {
    Collector& self = For(uPlayerId);
    std::function<void(uint32_t)> hook;
    {
        std::lock_guard<std::mutex> guard(self.m_lock);
        self.m_audioTimes.push_back(pInfo->uTimeStamp);
        self.m_uAudioBytes += pInfo->uLength;
        hook = self.onAudio;
    }
    if (hook) hook(pInfo->uTimeStamp);
}

std::string TempPath(const std::string& name) {
    return "/tmp/qor_engine_" + std::to_string(getpid()) + "_" + name;
}

recgen::Recording WriteRecordingFile(const recgen::Options& options, const std::string& path) {
    recgen::Recording info;
    std::string error;
    if (!recgen::WriteRecording(options, path, &info, &error)) std::fprintf(stderr, "mkrec: %s\n", error.c_str());
    return info;
}

std::vector<uint8_t> MakeRecordingBytes(const recgen::Options& options, recgen::Recording* info) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!recgen::MakeRecording(options, &bytes, info, &error)) std::fprintf(stderr, "mkrec: %s\n", error.c_str());
    return bytes;
}

bool WaitFor(const std::function<bool()>& condition, int iMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(iMs);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

std::unique_ptr<CMpegPlayer> OpenStream(uint32_t uPlayerId, const std::vector<uint8_t>& bytes, bool bDataDriven) {
    Collector::For(uPlayerId).Clear();
    bool ok = false;
    auto player = std::make_unique<CMpegPlayer>(&ok);
    player->SetPlayerId(uPlayerId);
    player->SetVideoDecodeCallBack(&Collector::VideoCallBack, 0);
    player->SetAudioDecodeCallBack(&Collector::AudioCallBack, 1000, 0);
    EngineInitParams params;
    params.iOpenMode = kOpenStream;
    params.pHeader = bytes.data();
    params.iHeaderLength = int(std::min<size_t>(bytes.size(), 1024));
    params.bCreateIndexTable = false;
    params.bCreateIndexFile = false;
    if (!player->Init(params)) return nullptr;
    player->DisableSynchronize();
    player->SetDataDriven(bDataDriven);
    player->Play();
    return player;
}

void PushAll(CMpegPlayer& player, const std::vector<uint8_t>& bytes, size_t piece) {
    size_t offset = std::min<size_t>(bytes.size(), 1024);
    while (offset < bytes.size()) {
        const size_t length = std::min(piece, bytes.size() - offset);
        if (player.StreamWriteToBuf(bytes.data() + offset, int(length), 0) == int(length)) {
            offset += length;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

std::unique_ptr<CMpegPlayer> OpenFile(uint32_t uPlayerId, const std::string& path, bool bIndex, bool bFollow) {
    Collector::For(uPlayerId).Clear();
    bool ok = false;
    auto player = std::make_unique<CMpegPlayer>(&ok);
    player->SetPlayerId(uPlayerId);
    player->SetVideoDecodeCallBack(&Collector::VideoCallBack, 0);
    EngineInitParams params;
    params.iOpenMode = kOpenFile;
    params.fileName = path;
    params.bFollowGrowingFile = bFollow;
    params.bCreateIndexTable = bIndex;
    params.bCreateIndexFile = false;
    if (!player->Init(params)) return nullptr;
    return player;
}

}  // namespace qor::test
