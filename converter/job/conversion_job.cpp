#include "converter/job/conversion_job.h"

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "converter/job/picture_widening.h"
#include "platform/debug_output.h"

namespace vidorra {

namespace {

constexpr size_t kChunkBytes = 1048576;
constexpr int32_t kHeaderBytes = 1024;

// Where the file header starts. A damaged or cut recording can carry bytes in
// front of it, and the stream must begin with the header itself, so the job
// starts there. 0 when no header is found in
// the first megabyte: the library then reports the file as unknown.
int64_t FindFileHeader(qor::File* source) {
    constexpr size_t kSearchBytes = 1048576;
    std::vector<uint8_t> bytes(kSearchBytes);
    const int64_t got = source->ReadAt(bytes.data(), bytes.size(), 0);
    for (int64_t p = 0; p + kHeaderBytes <= got; ++p) {
        const uint8_t* b = bytes.data() + p;
        if (b[0] == 0x00 && b[1] == 0x00 && b[2] == 0x01 && b[3] == 0xB2 && b[8] == 0x00 && b[9] == 0x04 &&
            b[10] == 0x00 && b[11] == 0x00) {
            return p;
        }
    }
    return 0;
}
constexpr uint32_t kMaxAudioBlock = 16384;
// Pictures packed and waiting for the encoder: enough to ride out a slow key
// frame without letting the decoder run far ahead.
constexpr size_t kEncodeSlots = 4;
constexpr int kMp3OutputBytes = 16384;
constexpr int32_t kAudioLeadTimeMs = 1000;
// Pointers the recorders' debug heap fills freed memory with.
constexpr uintptr_t kFreedMemoryPattern = 0xCDCDCDCD;

// The job whose callbacks the conversion player calls. One job at a time.
std::atomic<ConversionJob*> g_activeJob{nullptr};
std::mutex g_jobRunLock;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool BadPointer(const void* p) { return p == nullptr || reinterpret_cast<uintptr_t>(p) == kFreedMemoryPattern; }

}  // namespace

std::string_view FailureMessage(JobFailure failure) {
    switch (failure) {
        case JobFailure::None:
            return "";
        case JobFailure::UnknownFormat:
            return "the source file format is unknown!";
        case JobFailure::CannotOpenSource:
            return "cannot open the source file, ensure it is not occupied by other applications!";
        case JobFailure::StreamOpen:
        case JobFailure::StreamWrite:
            return "reading the source file failed!";
        case JobFailure::VideoEncoder:
            return "video compress error, please contact the developper!";
        case JobFailure::NoAudioFormat:
            return "cannot get the audio data format, please contact the developper!";
        case JobFailure::AudioSettings:
            return "setting audio compress option error, please contact the developper!";
        case JobFailure::CannotCreateTarget:
            return "cannot create the target file!";
        case JobFailure::WriteFailed:
            return "writing the target file failed!";
    }
    return "";
}

std::string_view OutcomeStatus(JobOutcome outcome) {
    switch (outcome) {
        case JobOutcome::Succeeded:
            return "succeeded";
        case JobOutcome::Cancelled:
            return "cancelled";
        case JobOutcome::Failed:
            return "failed";
    }
    return "failed";
}

int GapFillRepeats(uint32_t lastTimeStamp, uint32_t timeStamp) {
    int repeats = 0;
    uint32_t last = lastTimeStamp;
    while (last + 60u < timeStamp && timeStamp < last + 600u) {
        last += 40u;
        ++repeats;
    }
    return repeats;
}

ConversionJob::ConversionJob(const PlayerInterface& player, const ConversionSettings& settings, JobFrontEnd frontEnd,
                             JobTiming timing)
    : m_player(player), m_settings(settings), m_frontEnd(std::move(frontEnd)), m_timing(timing) {}

ConversionJob::~ConversionJob() = default;

JobResult ConversionJob::Run(const std::string& source, const std::string& outputPath) {
    JobResult result;
    {
        std::lock_guard<std::mutex> oneJob(g_jobRunLock);
        g_activeJob.store(this);
        result = Convert(source, outputPath);
        g_activeJob.store(nullptr);
    }
    if (m_frontEnd.dialog) {
        if (m_frontEnd.report) m_frontEnd.report(result);
        m_producedFrames.store(0);
        if (m_frontEnd.control != nullptr) m_frontEnd.control->cancelCurrentFile.store(false);
    }
    return result;
}

JobResult ConversionJob::Convert(const std::string& source, const std::string& outputPath) {
    m_producedFrames.store(0);
    m_totalFrames.store(0);
    m_pcm.Clear();
    m_haveLastVideoTime = false;
    if (m_frontEnd.dialog && m_frontEnd.control != nullptr) {
        m_frontEnd.control->paused.store(false);
        m_frontEnd.control->cancelCurrentFile.store(false);
        m_frontEnd.control->cancelAllFiles.store(false);
    }

    if (!Probe(source)) return {JobOutcome::Failed, JobFailure::UnknownFormat};

    JobFailure failure = JobFailure::None;
    if (!SetUp(source, outputPath, &failure)) {
        CleanUp();
        return {JobOutcome::Failed, failure};
    }

    bool writeFailed = false;
    const bool fed = Feed(&writeFailed);
    if (fed && !writeFailed && !Stopping()) Drain();
    ReportProgress();

    // An exit stops the job as a cancel does; the file is then incomplete
    // and must not be reported as a success.
    const bool cancelled = m_frontEnd.dialog && m_frontEnd.control != nullptr &&
                           (m_frontEnd.control->cancelCurrentFile.load() || m_frontEnd.control->exit.load());
    bool closed = true;
    {
        std::scoped_lock locks(m_videoLock, m_audioLock);
        // Close completes the indexes and patches the sizes even after a
        // failed write, so that the part written stays readable.
        closed = m_writer->Close();
    }
    CleanUp();
    if (writeFailed || !closed) return {JobOutcome::Failed, JobFailure::WriteFailed};
    if (!fed) return {JobOutcome::Failed, JobFailure::StreamWrite};
    return {cancelled ? JobOutcome::Cancelled : JobOutcome::Succeeded, JobFailure::None};
}

bool ConversionJob::Probe(const std::string& source) {
    const int32_t probe = m_player.CreatePlayer(5, 0);
    m_player.DisableCreateIndexTable(static_cast<uint32_t>(probe));
    if (m_player.FileOpen(static_cast<uint32_t>(probe), source.c_str(), 0) == 0) {
        qor::DebugOutput("[QOR]call QORPLAYER_FileOpen() error.\n");
        if (probe >= 0) m_player.ReleasePlayer(static_cast<uint32_t>(probe));
        return false;
    }
    // The batch shows no frame total of its own, but the terminal's progress
    // line uses it, so only the window complains about a missing one.
    const int32_t totalFrames = m_player.FileGetTotalFrame(static_cast<uint32_t>(probe));
    if (totalFrames < 1 && m_frontEnd.dialog) {
        qor::DebugOutput("[QOR]QORPLAYER_FileGetTotalFrame() return value error!\n");
    }
    m_totalFrames.store(totalFrames > 0 ? totalFrames : 0);
    // A negative total would read as some 50 days and starve the encoder of
    // bits; it is as unusable as a missing one.
    const int32_t totalMs = m_player.FileGetTotalTime(static_cast<uint32_t>(probe));
    m_totalSeconds = totalMs > 0 ? totalMs / 1000 : 0;
    if (m_totalSeconds <= 0) qor::DebugOutput("[QOR]QORPLAYER_FileGetTotalTime() return value error!\n");
    if (probe >= 0) m_player.ReleasePlayer(static_cast<uint32_t>(probe));
    return true;
}

bool ConversionJob::SetUp(const std::string& source, const std::string& outputPath, JobFailure* failure) {
    if (!m_source.Open(source, qor::File::Mode::Read)) {
        qor::DebugOutput("[QOR]open source file error.\n");
        *failure = JobFailure::CannotOpenSource;
        return false;
    }
    const int64_t size = m_source.Seek(0, qor::File::Origin::End);
    m_bitrate =
        vidorra::TargetBitrate(size > 0 ? static_cast<uint64_t>(size) : 0, m_totalSeconds, m_settings.bitrateFactor);
    uint8_t header[kHeaderBytes] = {};
    const int64_t headerAt = FindFileHeader(&m_source);
    m_source.Seek(headerAt, qor::File::Origin::Begin);
    const int64_t headerRead = m_source.Read(header, sizeof header);
    m_dataStart = headerAt + kHeaderBytes;

    m_playerId = m_player.CreatePlayer(5, 0);
    const uint32_t player = static_cast<uint32_t>(m_playerId);
    // Both report 0: no engine exists before the open; the slot keeps them.
    m_player.RegisterVideoDecodeCallBack(player, &ConversionJob::VideoDecCallBack, 0);
    m_player.RegisterAudioDecodeCallBack(player, &ConversionJob::AudioDecCallBack, kAudioLeadTimeMs, 0);
    // Anything but 1 is a failure: the library answers -1 when its decoder
    // component is unusable.
    if (headerRead < 0 || m_player.StreamOpen(player, header, kHeaderBytes, 100) != 1) {
        qor::DebugOutput("[QOR]call QORPLAYER_StreamOpen() error.\n");
        *failure = JobFailure::StreamOpen;
        return false;
    }
    m_player.DisableSynchronize(player);
    m_player.StreamEnableDataDriven(player, 1);
    m_player.SetPostFilter(player, m_settings.postFilterLevel);
    int32_t width = 0;
    int32_t height = 0;
    m_player.GetPictureSize(player, &width, &height);
    m_width = width;
    m_height = height;

    {
        std::lock_guard<std::mutex> lock(m_videoLock);
        const size_t pictureBytes = PackedPictureSize(width, height);
        int error = 0;
        if (pictureBytes > 0) {
            m_videoEncoder = enc_init(1, width, height, m_settings.frameRate, m_bitrate, m_settings.keyFrameInterval,
                                      m_settings.bFrameCount, &error);
        }
        if (m_videoEncoder == nullptr || error != 0) {
            qor::DebugOutput("[QOR]call enc_init() error.\n");
            *failure = JobFailure::VideoEncoder;
            return false;
        }
        // Sized from the reported picture, not a fixed largest size.
        m_bitstream.assign(pictureBytes * 2, 0);
        m_encodeWorker = std::make_unique<VideoEncodeWorker>(
            pictureBytes, kEncodeSlots,
            [this](uint8_t* picture, const EncodeRequest& request) { EncodePicture(picture, request); });
    }

    m_writer = std::make_unique<AVIOutput>();
    m_videoStream = m_writer->AddVideoStream();
    SetAviVideoStream(m_videoStream, width, height);

    m_hasAudio = m_player.GetAudioWaveOutInfo(player, &m_waveFormat) != 0;
    if (!m_hasAudio) {
        // A recording made without sound (media stream type 1) becomes an AVI
        // with a video stream only; a recording with sound the player cannot
        // describe still fails, since converting it would lose the sound.
        const bool videoOnly = m_player.GetMediaStreamType != nullptr && m_player.GetMediaStreamType(player) == 1;
        if (!videoOnly) {
            qor::DebugOutput("[QOR]call QORPLAYER_GetAudioWaveOutInfo() error.\n");
            *failure = JobFailure::NoAudioFormat;
            return false;
        }
    }
    if (m_hasAudio) {
        m_audioStream = m_writer->AddAudioStream();
        std::lock_guard<std::mutex> lock(m_audioLock);
        if (AudioSettingsFor(m_waveFormat.nSamplesPerSec) == nullptr && m_frontEnd.dialog &&
            m_frontEnd.audioFormatRefused) {
            m_frontEnd.audioFormatRefused();
        }
        if (!SetAviAudioStream(m_audioStream, m_waveFormat, &m_mp3)) {
            qor::DebugOutput("[QOR]call SetAviAudioStream() error.\n");
            *failure = JobFailure::AudioSettings;
            return false;
        }
        m_doubleRate = m_waveFormat.nSamplesPerSec == 8000;
        // The largest block admitted, doubled, plus one frame of remainder.
        m_pcm.Reserve(2 * kMaxAudioBlock + static_cast<size_t>(kMp3MaxFrameSamples) * 2 * 2);
        m_mp3Out.assign(kMp3OutputBytes, 0);
    }

    if (!m_writer->Open(outputPath)) {
        *failure = JobFailure::CannotCreateTarget;
        return false;
    }
    return true;
}

bool ConversionJob::Stopping() const {
    if (!m_frontEnd.dialog || m_frontEnd.control == nullptr) return false;
    return m_frontEnd.control->cancelCurrentFile.load() || m_frontEnd.control->exit.load();
}

bool ConversionJob::WriterFailed() const { return m_writer->HasError(); }

void ConversionJob::Flush(bool final) {
    // The last flush must see every picture handed in. A partial one writes
    // what is encoded so far and leaves the rest to the next, so the encoder
    // goes on with the last pictures of a piece while the next is fed.
    if (final && m_encodeWorker) m_encodeWorker->WaitIdle();
    std::scoped_lock locks(m_videoLock, m_audioLock);
    // Without sound there is nothing to interleave with, so every picture can go out at once.
    m_queues.FlushQueues(
        final || !m_hasAudio,
        [this](uint32_t flags, const uint8_t* data, uint32_t length) {
            return m_videoStream->Write(flags, data, length, 1);
        },
        // The audio stream counts bytes (sample size 1 at the MP3 byte rate), so a
        // chunk stands for its length in units; counting it as one unit would
        // make the stream's length, and so its duration, almost nothing.
        [this](uint32_t flags, const uint8_t* data, uint32_t length) {
            return m_audioStream->Write(flags, data, length, length);
        });
}

void ConversionJob::ReportProgress() {
    if (m_frontEnd.progress) m_frontEnd.progress(m_producedFrames.load(), m_totalFrames.load());
}

bool ConversionJob::Feed(bool* writeFailed) {
    const uint32_t player = static_cast<uint32_t>(m_playerId);
    m_chunk.resize(kChunkBytes);
    m_source.Seek(m_dataStart, qor::File::Origin::Begin);
    int64_t count = m_source.Read(m_chunk.data(), kChunkBytes);
    while (count > 0) {
        int64_t remaining = count;
        const uint8_t* data = m_chunk.data();
        // The library takes a piece whole or not at all.
        auto lastTaken = std::chrono::steady_clock::now();
        while (remaining > 0 && !Stopping()) {
            const int32_t taken = m_player.StreamWriteToBuf(player, data, static_cast<int32_t>(remaining), 0, 0, 0);
            SleepMs(m_timing.feedPollMs);
            if (taken > 0) {
                data += taken;
                remaining -= taken;
                lastTaken = std::chrono::steady_clock::now();
            } else if (std::chrono::steady_clock::now() - lastTaken >
                       std::chrono::milliseconds(m_timing.writeStallMs)) {
                qor::DebugOutput("[QOR]call QORPLAYER_StreamWriteToBuf() error.\n");
                return false;
            }
        }
        while (m_player.StreamGetBufferedFrames(player) > 0 && !Stopping()) SleepMs(m_timing.feedPollMs);
        Flush(false);
        ReportProgress();
        if (WriterFailed()) {
            // The disk is full or gone; converting the rest would be lost work.
            *writeFailed = true;
            return true;
        }
        if (m_frontEnd.dialog && m_frontEnd.control != nullptr) {
            while (m_frontEnd.control->paused.load() && !Stopping()) SleepMs(m_timing.feedPollMs);
        }
        if (Stopping()) return true;
        count = m_source.Read(m_chunk.data(), kChunkBytes);
    }
    return true;
}

void ConversionJob::Drain() {
    const uint32_t player = static_cast<uint32_t>(m_playerId);
    bool firstPass = true;
    int idle = 0;
    for (;;) {
        if (Stopping()) return;
        if (!firstPass && m_player.StreamGetBufferedFrames(player) <= 0) return;
        SleepMs(m_timing.drainPollMs);
        // Not reset when frames reappear: the final flush comes after about a
        // second of quiet in all.
        if (m_player.StreamGetBufferedFrames(player) <= 0 && ++idle > m_timing.drainIdlePolls) {
            Flush(true);
            firstPass = false;
        }
    }
}

void ConversionJob::CleanUp() {
    // Stopped outside the locks: the worker may be waiting for the video lock.
    if (m_encodeWorker) m_encodeWorker->Stop();
    {
        std::scoped_lock locks(m_videoLock, m_audioLock);
        if (m_writer) {
            m_writer->Close();
            m_writer.reset();
        }
        m_videoStream = nullptr;
        m_audioStream = nullptr;
        if (m_videoEncoder != nullptr) {
            enc_stop(m_videoEncoder);
            m_videoEncoder = nullptr;
        }
        if (m_mp3.handle != nullptr) mp3_close(&m_mp3);
        m_queues.Clear();
        m_pcm.Clear();
    }
    // Released after the locks are dropped: the release waits for the
    // player's threads, and a callback among them may be waiting for a lock.
    // Without encoders the callbacks return at once.
    if (m_playerId >= 0) m_player.ReleasePlayer(static_cast<uint32_t>(m_playerId));
    m_playerId = -1;
    m_source.Close();
    // Only now: until the player's threads were gone a callback could still
    // be asking the stopped worker for a buffer.
    std::lock_guard<std::mutex> lock(m_videoLock);
    m_encodeWorker.reset();
}

bool ConversionJob::CallbacksWork() const {
    if (!m_frontEnd.dialog || m_frontEnd.control == nullptr) return true;
    return m_frontEnd.control->converting.load() && !m_frontEnd.control->cancelCurrentFile.load();
}

void ConversionJob::VideoDecCallBack(uint32_t /*uPlayerId*/, const VideoDecodeFrameInfo* pInfo) {
    if (pInfo == nullptr || BadPointer(pInfo->pY)) {
        qor::DebugOutput("[QOR]wrong video frame data.\n");
        return;
    }
    ConversionJob* job = g_activeJob.load();
    if (job != nullptr) job->OnVideo(*pInfo);
}

void ConversionJob::AudioDecCallBack(uint32_t /*uPlayerId*/, const AudioDecodeFrameInfo* pInfo) {
    if (pInfo == nullptr || BadPointer(pInfo->pData) || pInfo->uLength > kMaxAudioBlock) {
        qor::DebugOutput("[QOR]wrong audio frame data.\n");
        return;
    }
    ConversionJob* job = g_activeJob.load();
    if (job != nullptr) job->OnAudio(*pInfo);
}

void ConversionJob::OnVideo(const VideoDecodeFrameInfo& info) {
    const DecodedPicture picture{info.iWidth, info.iHeight,  info.pY,       info.pU,
                                 info.pV,     info.iYStride, info.iUStride, info.iVStride};
    // Planes the copy would read past or through a null pointer.
    if (BadPointer(info.pU) || BadPointer(info.pV) || info.iWidth <= 0 || info.iHeight <= 0 ||
        info.iYStride < info.iWidth || info.iUStride < info.iWidth / 2 || info.iVStride < info.iWidth / 2) {
        qor::DebugOutput("[QOR]wrong video frame data.\n");
        return;
    }
    VideoEncodeWorker* worker = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_videoLock);
        if (!m_encodeWorker || !CallbacksWork()) return;
        worker = m_encodeWorker.get();
    }
    // Waits while the encoder is behind; null once the job is cleaning up.
    uint8_t* packed = worker->Acquire();
    if (packed == nullptr) return;
    // A picture whose size differs from the encoder's (528-wide pictures,
    // reported as 704, or a size change inside the recording) is scaled to
    // it; the encoder takes one size for the whole file.
    if (!PackPicture(picture, m_width, m_height, packed, PackedPictureSize(m_width, m_height))) {
        worker->Discard(packed);
        qor::DebugOutput("[QOR]wrong video frame data.\n");
        return;
    }
    EncodeRequest request{info.uTimeStamp, info.iWidth, info.iHeight, 0};
    {
        std::lock_guard<std::mutex> lock(m_videoLock);
        request.repeats = m_haveLastVideoTime ? GapFillRepeats(m_lastVideoTime, info.uTimeStamp) : 0;
        m_lastVideoTime = info.uTimeStamp;
        m_haveLastVideoTime = true;
    }
    worker->Submit(packed, request);
}

void ConversionJob::EncodePicture(uint8_t* picture, const EncodeRequest& request) {
    try {
        for (int n = 0; n <= request.repeats; ++n) {
            int keyFrame = 0;
            const int length = enc_encode(m_videoEncoder, m_settings.presetIndex, picture, m_bitstream.data(),
                                          static_cast<int>(m_bitstream.size()), &keyFrame, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr);
            if (length < 0) throw std::runtime_error("encoder");
            std::lock_guard<std::mutex> lock(m_videoLock);
            m_queues.AddMp4VideoToList(keyFrame != 0 ? kAviKeyFrame : 0u, m_bitstream.data(),
                                       static_cast<uint32_t>(length), request.width, request.height,
                                       request.timeStamp);
        }
        m_producedFrames.fetch_add(request.repeats + 1);
    } catch (...) {
        qor::DebugOutput("[QOR]VideoDecCallBack() report ZRV.\n");
    }
}

void ConversionJob::OnAudio(const AudioDecodeFrameInfo& info) {
    std::lock_guard<std::mutex> lock(m_audioLock);
    if (m_mp3.handle == nullptr || !CallbacksWork()) return;
    try {
        const int samples = mp3_frame_size(&m_mp3);
        const int channels = mp3_channel_count(&m_mp3);
        const size_t frameBytes = static_cast<size_t>(samples) * channels * 2;
        if (frameBytes == 0) throw std::runtime_error("mp3 frame size");
        m_pcm.Append(info.pData, info.uLength, m_doubleRate);
        while (m_pcm.Fill() >= frameBytes) {
            const int produced = mp3_encode(&m_mp3, channels, static_cast<int>(m_mp3Out.size()), m_mp3Out.data(),
                                            samples, reinterpret_cast<const int16_t*>(m_pcm.Data()));
            if (produced > 0) {
                m_queues.AddMp4VideoToList(0, m_mp3Out.data(), static_cast<uint32_t>(produced), info.uTimeStamp);
            }
            m_pcm.Consume(frameBytes);
        }
        m_pcm.Compact();
    } catch (...) {
        qor::DebugOutput("[QOR]AudioDecCallBack() report ZRV.\n");
    }
}

}  // namespace vidorra
