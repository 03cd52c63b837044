#include "fake_player.h"

#include <atomic>
#include <chrono>

namespace fakeplayer {

namespace {

struct State {
    std::mutex lock;
    std::condition_variable wake;
    Script script;
    Stats stats;
    bool streamOpen = false;
    bool released = true;
    bool delivered = false;
    bool stop = false;
    VideoDecodeCallBack video = nullptr;
    AudioDecodeCallBack audio = nullptr;
    std::deque<Picture> pendingPictures;
    std::deque<AudioBlock> pendingAudio;
    std::atomic<int> buffered{0};
    std::thread videoThread;
    std::thread audioThread;
};

State& S() {
    static State state;
    return state;
}

void Record(const char* name) {
    std::lock_guard<std::mutex> lock(S().lock);
    S().stats.calls.emplace_back(name);
}

void VideoThread(uint32_t player) {
    State& s = S();
    std::vector<uint8_t> planes;
    for (;;) {
        Picture picture;
        {
            std::unique_lock<std::mutex> lock(s.lock);
            s.wake.wait(lock, [&] { return s.stop || !s.pendingPictures.empty(); });
            if (s.stop) return;
            picture = s.pendingPictures.front();
            s.pendingPictures.pop_front();
        }
        const int stride = picture.width + s.script.yPadding;
        const int cStride = picture.width / 2 + s.script.yPadding / 2;
        planes.assign(
            static_cast<size_t>(stride) * picture.height + 2 * static_cast<size_t>(cStride) * (picture.height / 2),
            128);
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x)
                planes[static_cast<size_t>(y) * stride + x] = PatternLuma(x, y, picture.time);
        }
        VideoDecodeFrameInfo info{};
        info.iFormat = QOR_PICTURE_PLANAR_YUV420;
        info.iWidth = picture.width;
        info.iHeight = picture.height;
        info.iFrameRate = 25;
        info.uTimeStamp = picture.time;
        info.pY = planes.data();
        info.pU = planes.data() + static_cast<size_t>(stride) * picture.height;
        info.pV = info.pU + static_cast<size_t>(cStride) * (picture.height / 2);
        info.iYStride = stride;
        info.iUStride = cStride;
        info.iVStride = cStride;
        // A picture stops counting as buffered when it is taken for decoding.
        s.buffered.fetch_sub(1);
        s.video(player, &info);
    }
}

void AudioThread(uint32_t player) {
    State& s = S();
    std::vector<int16_t> pcm;
    int64_t sample = 0;
    for (;;) {
        AudioBlock block;
        {
            std::unique_lock<std::mutex> lock(s.lock);
            s.wake.wait(lock, [&] { return s.stop || !s.pendingAudio.empty(); });
            if (s.stop) return;
            block = s.pendingAudio.front();
            s.pendingAudio.pop_front();
        }
        pcm.resize(block.bytes / 2);
        for (int16_t& value : pcm) value = static_cast<int16_t>(((sample++ * 440) % 8000) * 4 - 16000);
        AudioDecodeFrameInfo info{};
        info.uTimeStamp = block.time;
        info.waveFormat = s.script.wave;
        info.pData = reinterpret_cast<uint8_t*>(pcm.data());
        info.uLength = block.bytes;
        s.audio(player, &info);
    }
}

void StopThreads() {
    State& s = S();
    {
        std::lock_guard<std::mutex> lock(s.lock);
        s.stop = true;
    }
    s.wake.notify_all();
    if (s.videoThread.joinable()) s.videoThread.join();
    if (s.audioThread.joinable()) s.audioThread.join();
}

int32_t CreatePlayer(int32_t, int32_t) {
    Record("CreatePlayer");
    std::lock_guard<std::mutex> lock(S().lock);
    if (S().script.createResult < 0) return -1;
    ++S().stats.created;
    return S().script.createResult;
}

void ReleasePlayer(uint32_t) {
    Record("ReleasePlayer");
    StopThreads();
    std::lock_guard<std::mutex> lock(S().lock);
    ++S().stats.released;
    S().streamOpen = false;
}

int32_t DisableCreateIndexTable(uint32_t) {
    Record("DisableCreateIndexTable");
    return 1;
}

int32_t FileOpen(uint32_t, const char*, int32_t) {
    Record("FileOpen");
    return S().script.fileOpens ? 1 : 0;
}

int32_t FileGetTotalFrame(uint32_t) {
    Record("FileGetTotalFrame");
    return S().script.totalFrames;
}

int32_t FileGetTotalTime(uint32_t) {
    Record("FileGetTotalTime");
    return S().script.totalTimeMs;
}

int32_t RegisterVideo(uint32_t, VideoDecodeCallBack callback, uint32_t) {
    Record("RegisterVideoDecodeCallBack");
    S().video = callback;
    return 0;
}

int32_t RegisterAudio(uint32_t, AudioDecodeCallBack callback, int32_t lead, uint32_t) {
    Record("RegisterAudioDecodeCallBack");
    S().audio = callback;
    S().stats.audioLeadTime = lead;
    return 0;
}

int32_t StreamOpen(uint32_t player, const uint8_t*, int32_t, int32_t) {
    Record("StreamOpen");
    State& s = S();
    if (s.script.streamOpenResult != 1) return s.script.streamOpenResult;
    s.stop = false;
    s.streamOpen = true;
    s.delivered = false;
    s.videoThread = std::thread(VideoThread, player);
    s.audioThread = std::thread(AudioThread, player);
    return 1;
}

int32_t DisableSynchronize(uint32_t) {
    Record("DisableSynchronize");
    return 1;
}

void EnableDataDriven(uint32_t, int32_t enable) {
    Record("StreamEnableDataDriven");
    S().stats.dataDriven = enable;
}

int32_t SetPostFilter(uint32_t, int32_t level) {
    Record("SetPostFilter");
    S().stats.postFilter = level;
    return 1;
}

int32_t GetPictureSize(uint32_t, int32_t* width, int32_t* height) {
    Record("GetPictureSize");
    *width = S().script.reportedWidth;
    *height = S().script.reportedHeight;
    return 1;
}

int32_t GetAudioWaveOutInfo(uint32_t, QorWaveFormat* wave) {
    Record("GetAudioWaveOutInfo");
    if (!S().script.hasAudio) return 0;
    *wave = S().script.wave;
    return 1;
}

int32_t StreamWriteToBuf(uint32_t, const uint8_t*, int32_t length, int32_t, int32_t, int32_t) {
    State& s = S();
    {
        std::lock_guard<std::mutex> lock(s.lock);
        ++s.stats.writes;
        if (!s.streamOpen || s.script.refuseWrites) return 0;
        if (!s.delivered) {
            s.delivered = true;
            s.pendingPictures.assign(s.script.pictures.begin(), s.script.pictures.end());
            s.pendingAudio.assign(s.script.audio.begin(), s.script.audio.end());
            s.buffered.store(static_cast<int>(s.pendingPictures.size()));
        }
    }
    s.wake.notify_all();
    return length;
}

int32_t StreamGetBufferedFrames(uint32_t) { return S().buffered.load(); }

int32_t GetMediaStreamType(uint32_t) { return S().script.mediaStreamType; }

const vidorra::PlayerInterface kInterface = {
    CreatePlayer,      ReleasePlayer,       DisableCreateIndexTable, FileOpen,
    FileGetTotalFrame, FileGetTotalTime,    RegisterVideo,           RegisterAudio,
    StreamOpen,        DisableSynchronize,  EnableDataDriven,        SetPostFilter,
    GetPictureSize,    GetAudioWaveOutInfo, StreamWriteToBuf,        StreamGetBufferedFrames,
    GetMediaStreamType,
};

}  // namespace

Script RegularScript(int pictures, int width, int height, uint32_t sampleRate, int channels) {
    Script script;
    script.reportedWidth = width == 528 ? 704 : width;
    script.reportedHeight = height;
    script.totalFrames = pictures;
    script.totalTimeMs = pictures * 40;
    script.wave.nChannels = static_cast<uint16_t>(channels);
    script.wave.nSamplesPerSec = sampleRate;
    script.wave.nBlockAlign = static_cast<uint16_t>(2 * channels);
    script.wave.nAvgBytesPerSec = sampleRate * 2 * channels;
    for (int i = 0; i < pictures; ++i) script.pictures.push_back({static_cast<uint32_t>(i * 40), width, height});
    const uint32_t blockBytes = sampleRate / 50 * 2 * channels;
    for (int i = 0; i < pictures * 2; ++i) script.audio.push_back({static_cast<uint32_t>(i * 20), blockBytes});
    return script;
}

void Load(const Script& script) {
    StopThreads();
    State& s = S();
    std::lock_guard<std::mutex> lock(s.lock);
    s.script = script;
    s.stats = Stats{};
    s.streamOpen = false;
    s.delivered = false;
    s.stop = false;
    s.pendingPictures.clear();
    s.pendingAudio.clear();
    s.buffered.store(0);
}

Stats Snapshot() {
    std::lock_guard<std::mutex> lock(S().lock);
    return S().stats;
}

const vidorra::PlayerInterface& Interface() { return kInterface; }

uint8_t PatternLuma(int x, int y, uint32_t time) { return static_cast<uint8_t>((x + y + time / 40 * 4) & 0xFF); }

}  // namespace fakeplayer
