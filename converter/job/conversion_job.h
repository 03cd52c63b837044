// ConversionJob turns one recording into one AVI file: it probes the
// recording's duration, opens a second player in stream mode, pushes the
// file's bytes into it in 1 MiB pieces, encodes every picture and every PCM
// block the player hands back, and writes the encoded pieces to the AVI
// writer, audio before video by time stamp.
//
// The batch converter and the window's worker run the same job; a
// JobFrontEnd says how each is told about progress and failure and whether
// the job can be paused or cancelled.
//
// Threading: Run blocks the calling thread (the job's thread). The player
// calls VideoDecCallBack and AudioDecCallBack on its own video and audio
// threads; they take the video lock and the audio lock respectively. The
// video callback only packs the picture: the job's encode worker encodes it
// on a thread of its own and queues the result under the video lock. The job
// thread takes both locks, always video first, to flush and to clean up; the
// final flush first waits until the worker has encoded every picture handed
// in. Only one job runs at a time in the process: Run waits for a job running
// elsewhere.
// JobControl flags are written by the window's thread and polled by the job
// and the callbacks; progress and report are called on the job's thread with
// neither the video nor the audio lock held (report after the job has ended).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "converter/avi/avi_output.h"
#include "converter/avi/mp3_encoder.h"
#include "converter/avi/mpeg4_encoder.h"
#include "converter/job/conversion_settings.h"
#include "converter/job/encoded_frame_queue.h"
#include "converter/job/pcm_accumulator.h"
#include "converter/job/player_interface.h"
#include "converter/job/video_encode_worker.h"
#include "platform/file.h"

namespace vidorra {

// Requests from the window's thread to its worker (dialog front end only).
struct JobControl {
    std::atomic<bool> converting{false};
    std::atomic<bool> cancelCurrentFile{false};
    std::atomic<bool> cancelAllFiles{false};
    std::atomic<bool> paused{false};
    std::atomic<bool> exit{false};
};

enum class JobFailure {
    None,
    UnknownFormat,       // the probe could not open the recording
    CannotOpenSource,    // the source could not be read
    StreamOpen,          // the conversion player refused the header
    StreamWrite,         // the conversion player stopped taking the source's bytes
    VideoEncoder,        // the MPEG-4 encoder could not be created
    NoAudioFormat,       // the player reported no audio format
    AudioSettings,       // sample rate not converted, or the MP3 encoder refused it
    CannotCreateTarget,  // the AVI file could not be created
    WriteFailed,         // a write to the AVI file failed (full disk and the like)
};

enum class JobOutcome { Succeeded, Cancelled, Failed };

struct JobResult {
    JobOutcome outcome = JobOutcome::Failed;
    JobFailure failure = JobFailure::None;
};

// The window's Message column text for a failure ("" for None).
std::string_view FailureMessage(JobFailure failure);
// The window's Status column text: "succeeded", "cancelled" or "failed".
std::string_view OutcomeStatus(JobOutcome outcome);

struct JobFrontEnd {
    // false: the batch (probe reads the total time only as far as debug lines
    // go, no pause or cancel). true: the window's worker.
    bool dialog = false;
    // Dialog only; must outlive Run.
    JobControl* control = nullptr;
    // Produced frames against the probe's total (which may be 0); called
    // between pieces of input.
    std::function<void(int32_t producedFrames, int32_t totalFrames)> progress;
    // Dialog only: the job's end, for the Status and Message columns.
    std::function<void(const JobResult& result)> report;
    // Dialog only: shown before a sample rate that is not converted is refused.
    std::function<void()> audioFormatRefused;
};

// Pacing of the feed loop and the drain. The defaults are the product's;
// tests shorten the drain.
struct JobTiming {
    int feedPollMs = 1;
    int drainPollMs = 10;
    int drainIdlePolls = 100;  // polls with nothing buffered before the final flush
    // The player waits for room itself, so a piece it keeps refusing this
    // long will never be taken (its stream is gone).
    int writeStallMs = 10000;
};

// Extra repeats of a picture that arrives timeStamp after the previous one at
// lastTimeStamp: gaps of more than 60 ms and less than 600 ms are filled at
// 40 ms steps (120 ms gives 2, 600 ms gives none). Unsigned arithmetic.
int GapFillRepeats(uint32_t lastTimeStamp, uint32_t timeStamp);

class ConversionJob {
public:
    ConversionJob(const PlayerInterface& player, const ConversionSettings& settings, JobFrontEnd frontEnd,
                  JobTiming timing = {});
    ~ConversionJob();
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    // Converts source into outputPath (the front end chose the name).
    JobResult Run(const std::string& source, const std::string& outputPath);

    int32_t ProducedFrames() const { return m_producedFrames.load(); }
    int32_t TotalFrames() const { return m_totalFrames.load(); }
    int32_t TargetBitrate() const { return m_bitrate; }

    // The callbacks registered with the conversion player.
    static void VideoDecCallBack(uint32_t uPlayerId, const VideoDecodeFrameInfo* pInfo);
    static void AudioDecCallBack(uint32_t uPlayerId, const AudioDecodeFrameInfo* pInfo);

private:
    JobResult Convert(const std::string& source, const std::string& outputPath);
    bool Probe(const std::string& source);
    bool SetUp(const std::string& source, const std::string& outputPath, JobFailure* failure);
    // False when the player stopped taking the source's bytes.
    bool Feed(bool* writeFailed);
    void Drain();
    void CleanUp();
    void Flush(bool final);
    bool WriterFailed() const;

    bool CallbacksWork() const;
    bool Stopping() const;  // dialog: cancel current file or exit
    void OnVideo(const VideoDecodeFrameInfo& info);
    // On the encode worker's thread.
    void EncodePicture(uint8_t* picture, const EncodeRequest& request);
    void OnAudio(const AudioDecodeFrameInfo& info);
    void ReportProgress();

    const PlayerInterface& m_player;
    const ConversionSettings m_settings;
    const JobFrontEnd m_frontEnd;
    const JobTiming m_timing;

    std::atomic<int32_t> m_totalFrames{0};
    int32_t m_totalSeconds = 0;
    int32_t m_bitrate = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_playerId = -1;
    qor::File m_source;
    int64_t m_dataStart = 0;  // file position right after the file header
    std::vector<uint8_t> m_chunk;
    QorWaveFormat m_waveFormat{};

    // Guarded by m_videoLock. The encoder and the bitstream buffer belong to
    // the encode worker's thread while the worker runs.
    std::mutex m_videoLock;
    Mpeg4Encoder* m_videoEncoder = nullptr;
    std::unique_ptr<VideoEncodeWorker> m_encodeWorker;
    std::vector<uint8_t> m_bitstream;
    bool m_haveLastVideoTime = false;
    uint32_t m_lastVideoTime = 0;
    std::atomic<int32_t> m_producedFrames{0};

    // Guarded by m_audioLock.
    std::mutex m_audioLock;
    Mp3EncoderState m_mp3;
    PcmAccumulator m_pcm;
    std::vector<uint8_t> m_mp3Out;
    bool m_doubleRate = false;
    bool m_hasAudio = true;  // false for a recording made without sound

    // Guarded by both locks (each queue by its own, flushes take both).
    EncodedFrameQueue m_queues;
    std::unique_ptr<AVIOutput> m_writer;
    AVIOutputStream* m_videoStream = nullptr;
    AVIOutputStream* m_audioStream = nullptr;
};

// The batch form: converts source into target with the library's players;
// true only when the AVI file was written completely. progress, when given,
// is called on the calling thread between pieces of input.
bool ConvertRecording(const std::string& source, const std::string& target, const ConversionSettings& settings,
                      std::function<void(int32_t producedFrames, int32_t totalFrames)> progress = {});

}  // namespace vidorra
