// The job driven by a scripted player: the sequence of library calls, the AVI
// it writes (read back with ffprobe), gap filling, every failure row, and the
// window's cancel.
#include "converter/job/conversion_job.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/debug_capture.h"
#include "tests/support/temp_dir.h"
#include "fake_player.h"
#include "media_probe.h"

using qor::test::DebugCapture;
using vidorra::ConversionJob;
using vidorra::ConversionSettings;
using vidorra::JobFailure;
using vidorra::JobFrontEnd;
using vidorra::JobOutcome;
using vidorra::JobResult;

namespace {

// The drain waits about a second of quiet in the product; a tenth is plenty
// against the scripted player.
constexpr vidorra::JobTiming kFastTiming{1, 2, 20, 200};

// The window's front end over control, storing the job's reported end in
// *reported when given.
JobFrontEnd WindowFrontEnd(vidorra::JobControl* control, JobResult* reported = nullptr, bool converting = true) {
    control->converting = converting;
    JobFrontEnd frontEnd;
    frontEnd.dialog = true;
    frontEnd.control = control;
    if (reported != nullptr) frontEnd.report = [reported](const JobResult& r) { *reported = r; };
    return frontEnd;
}

class ConversionJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = m_temp.path();
        m_source = m_dir + "/rec.mp4";
        // The scripted player ignores the bytes; the job needs a file of
        // them: a header and a bit more than one 1 MiB piece.
        std::ofstream(m_source, std::ios::binary) << std::string(1024 + 1200000, '\x5a');
        m_output = m_dir + "/rec.avi";
    }
    JobResult Convert(const fakeplayer::Script& script, JobFrontEnd frontEnd = {}, int level = 2) {
        fakeplayer::Load(script);
        ConversionJob job(fakeplayer::Interface(), ConversionSettings::ForQualityLevel(level), std::move(frontEnd),
                          kFastTiming);
        const JobResult result = job.Run(m_source, m_output);
        m_produced = job.ProducedFrames();
        m_bitrate = job.TargetBitrate();
        return result;
    }

    bool OutputExists() const {
        struct stat st {};
        return stat(m_output.c_str(), &st) == 0;
    }

    qor::test::TempDir m_temp{"job_conv"};
    std::string m_dir, m_source, m_output;
    int32_t m_produced = 0;
    int32_t m_bitrate = 0;
};

}  // namespace

TEST(GapFill, RepeatsFillGapsBetween60And600Milliseconds) {
    struct Case {
        uint32_t last, time;
        int repeats;
    };
    const Case cases[] = {
        {1000, 1040, 0},
        {1000, 1060, 0},
        {1000, 1061, 1},
        {1000, 1120, 2},
        {1000, 1200, 4},
        {1000, 1599, 14},
        {1000, 1600, 0},
        {1000, 5000, 0},
        {1000, 900, 0},
        {1000, 1000, 0},
        // Across the wrap of the 32-bit clock.
        {0xFFFFFFF0u, 0x68u, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vidorra::GapFillRepeats(c.last, c.time), c.repeats) << c.last << " -> " << c.time;
    }
}

TEST_F(ConversionJobTest, CallsThePlayerInTheConvertersOrder) {
    ASSERT_EQ(Convert(fakeplayer::RegularScript(10)).outcome, JobOutcome::Succeeded);
    const fakeplayer::Stats stats = fakeplayer::Snapshot();
    const std::vector<std::string> expectedStart = {
        "CreatePlayer",
        "DisableCreateIndexTable",
        "FileOpen",
        "FileGetTotalFrame",
        "FileGetTotalTime",
        "ReleasePlayer",
        "CreatePlayer",
        "RegisterVideoDecodeCallBack",
        "RegisterAudioDecodeCallBack",
        "StreamOpen",
        "DisableSynchronize",
        "StreamEnableDataDriven",
        "SetPostFilter",
        "GetPictureSize",
        "GetAudioWaveOutInfo",
    };
    ASSERT_GE(stats.calls.size(), expectedStart.size());
    EXPECT_EQ(std::vector<std::string>(stats.calls.begin(), stats.calls.begin() + expectedStart.size()), expectedStart);
    EXPECT_EQ(stats.calls.back(), "ReleasePlayer");
    EXPECT_EQ(stats.created, 2);
    EXPECT_EQ(stats.released, 2);
    EXPECT_EQ(stats.writes, 2);  // two pieces: 1 MiB and the rest
    EXPECT_EQ(stats.dataDriven, 1);
    EXPECT_EQ(stats.postFilter, 0);
    EXPECT_EQ(stats.audioLeadTime, 1000);
}

TEST_F(ConversionJobTest, WritesAnAviThatAnIndependentReaderDecodes) {
    ASSERT_EQ(Convert(fakeplayer::RegularScript(50)).outcome, JobOutcome::Succeeded);
    EXPECT_EQ(m_produced, 50);
    auto video = ProbeStream(m_output, "v");
    EXPECT_EQ(video["codec_name"], "mpeg4");
    EXPECT_EQ(video["codec_tag_string"], "xvid");
    EXPECT_EQ(video["width"], "352");
    EXPECT_EQ(video["height"], "288");
    EXPECT_EQ(video["avg_frame_rate"], "25/1");
    EXPECT_EQ(video["nb_read_frames"], "50");
    auto audio = ProbeStream(m_output, "a");
    EXPECT_EQ(audio["codec_name"], "mp3");
    EXPECT_EQ(audio["sample_rate"], "16000");
    EXPECT_EQ(audio["channels"], "1");
    EXPECT_EQ(DecodeErrors(m_output), "");
}

TEST_F(ConversionJobTest, StereoAt44100IsEncodedWithoutResampling) {
    fakeplayer::Script script = fakeplayer::RegularScript(25, 352, 240, 44100, 2);
    ASSERT_EQ(Convert(script).outcome, JobOutcome::Succeeded);
    auto audio = ProbeStream(m_output, "a");
    EXPECT_EQ(audio["sample_rate"], "44100");
    EXPECT_EQ(audio["channels"], "2");
    // The encoder is told 25 frames per second whatever the height, so only
    // the AVI stream header (avg_frame_rate, time_base) carries the NTSC rate.
    auto video = ProbeStream(m_output, "v");
    EXPECT_EQ(video["avg_frame_rate"], "30000/1001");
    EXPECT_EQ(video["time_base"], "1001/30000");
}

TEST_F(ConversionJobTest, GapsAreFilledWithRepeatsOfTheNewPicture) {
    fakeplayer::Script script = fakeplayer::RegularScript(0);
    // 40 ms steps, then 120 ms (picture plus two repeats), then 600 ms (one).
    for (uint32_t t : {0u, 40u, 80u, 200u, 800u, 840u}) script.pictures.push_back({t, 352, 288});
    for (uint32_t t = 0; t <= 840; t += 20) script.audio.push_back({t, 320});
    ASSERT_EQ(Convert(script).outcome, JobOutcome::Succeeded);
    EXPECT_EQ(m_produced, 8);
    EXPECT_EQ(ProbeStream(m_output, "v")["nb_read_frames"], "8");
}

TEST_F(ConversionJobTest, Widens528PicturesTo704) {
    ASSERT_EQ(Convert(fakeplayer::RegularScript(10, 528, 576)).outcome, JobOutcome::Succeeded);
    auto video = ProbeStream(m_output, "v");
    EXPECT_EQ(video["width"], "704");
    EXPECT_EQ(video["height"], "576");
    EXPECT_EQ(video["nb_read_frames"], "10");
}

TEST_F(ConversionJobTest, PictureOfAnotherSizeIsScaledToTheEncodersSize) {
    fakeplayer::Script script = fakeplayer::RegularScript(10);
    for (int i = 5; i < 10; ++i) {
        script.pictures[i].width = 704;
        script.pictures[i].height = 576;
    }
    ASSERT_EQ(Convert(script).outcome, JobOutcome::Succeeded);
    auto video = ProbeStream(m_output, "v");
    EXPECT_EQ(video["width"], "352");
    EXPECT_EQ(video["nb_read_frames"], "10");
    EXPECT_EQ(DecodeErrors(m_output), "");
}

TEST_F(ConversionJobTest, BitrateFollowsTheSourceAndFallsBackUnderOneSecond) {
    fakeplayer::Script script = fakeplayer::RegularScript(5);
    script.totalTimeMs = 10000;
    ASSERT_EQ(Convert(script).outcome, JobOutcome::Succeeded);
    // 1,201,024 bytes over 10 s at factor 1.0.
    EXPECT_EQ(m_bitrate, 960819);

    DebugCapture capture;
    script.totalTimeMs = 999;
    ASSERT_EQ(Convert(script).outcome, JobOutcome::Succeeded);
    EXPECT_EQ(m_bitrate, 768000);
    EXPECT_EQ(capture.Count("[QOR]QORPLAYER_FileGetTotalTime() return value error!\n"), 1);

    script.totalTimeMs = -40;  // read as unsigned it would be 49 days
    ASSERT_EQ(Convert(script).outcome, JobOutcome::Succeeded);
    EXPECT_EQ(m_bitrate, 768000);
}

TEST_F(ConversionJobTest, OnlyTheWindowComplainsAboutAMissingFrameTotal) {
    fakeplayer::Script script = fakeplayer::RegularScript(3);
    script.totalFrames = 0;
    const std::string line = "[QOR]QORPLAYER_FileGetTotalFrame() return value error!\n";
    {
        DebugCapture capture;
        ASSERT_EQ(Convert(script).outcome, JobOutcome::Succeeded);
        EXPECT_EQ(capture.Count(line), 0);
    }
    vidorra::JobControl control;
    JobFrontEnd dialog = WindowFrontEnd(&control);
    DebugCapture capture;
    ASSERT_EQ(Convert(script, dialog).outcome, JobOutcome::Succeeded);
    EXPECT_EQ(capture.Count(line), 1);
}

namespace {

struct FailureCase {
    const char* name;
    void (*setUp)(fakeplayer::Script&, std::string& source, std::string& output);
    JobFailure failure;
    std::vector<std::string> lines;
    bool fileCreated;
};

const FailureCase kFailureCases[] = {
    {"unknown format",
     [](fakeplayer::Script& s, std::string&, std::string&) { s.fileOpens = false; },
     JobFailure::UnknownFormat,
     {"[QOR]call QORPLAYER_FileOpen() error.\n"},
     false},
    {"unreadable source",
     [](fakeplayer::Script&, std::string& source, std::string&) { source += ".missing"; },
     JobFailure::CannotOpenSource,
     {"[QOR]open source file error.\n"},
     false},
    {"stream open refused",
     [](fakeplayer::Script& s, std::string&, std::string&) { s.streamOpenResult = 0; },
     JobFailure::StreamOpen,
     {"[QOR]call QORPLAYER_StreamOpen() error.\n"},
     false},
    {"stream open -1",
     [](fakeplayer::Script& s, std::string&, std::string&) { s.streamOpenResult = -1; },
     JobFailure::StreamOpen,
     {"[QOR]call QORPLAYER_StreamOpen() error.\n"},
     false},
    {"stream takes no bytes",
     [](fakeplayer::Script& s, std::string&, std::string&) { s.refuseWrites = true; },
     JobFailure::StreamWrite,
     {"[QOR]call QORPLAYER_StreamWriteToBuf() error.\n"},
     true},
    {"no picture size",
     [](fakeplayer::Script& s, std::string&, std::string&) { s.reportedWidth = 0; },
     JobFailure::VideoEncoder,
     {"[QOR]call enc_init() error.\n"},
     false},
    {"no audio format",
     [](fakeplayer::Script& s, std::string&, std::string&) { s.hasAudio = false; },
     JobFailure::NoAudioFormat,
     {"[QOR]call QORPLAYER_GetAudioWaveOutInfo() error.\n"},
     false},
    {"22050 Hz",
     [](fakeplayer::Script& s, std::string&, std::string&) { s.wave.nSamplesPerSec = 22050; },
     JobFailure::AudioSettings,
     {"[QOR]out wave format error!\n", "[QOR]call SetAviAudioStream() error.\n"},
     false},
    {"three channels",
     [](fakeplayer::Script& s, std::string&, std::string&) { s.wave.nChannels = 3; },
     JobFailure::AudioSettings,
     {"[QOR]call SetAviAudioStream() error.\n"},
     false},
    {"target directory missing",
     [](fakeplayer::Script&, std::string&, std::string& output) { output += ".d/missing/out.avi"; },
     JobFailure::CannotCreateTarget,
     {},
     false},
};

}  // namespace

TEST_F(ConversionJobTest, EachFailureEndsTheJobWithItsLineAndMessage) {
    for (const FailureCase& c : kFailureCases) {
        SCOPED_TRACE(c.name);
        fakeplayer::Script script = fakeplayer::RegularScript(5);
        std::string source = m_source;
        std::string output = m_dir + "/out.avi";
        c.setUp(script, source, output);
        std::remove(output.c_str());
        fakeplayer::Load(script);
        vidorra::JobControl control;
        JobResult reported;
        JobFrontEnd dialog = WindowFrontEnd(&control, &reported);
        DebugCapture capture;
        ConversionJob job(fakeplayer::Interface(), ConversionSettings::ForQualityLevel(2), dialog, kFastTiming);
        const JobResult result = job.Run(source, output);
        EXPECT_EQ(result.outcome, JobOutcome::Failed);
        EXPECT_EQ(result.failure, c.failure);
        EXPECT_EQ(reported.failure, c.failure);
        EXPECT_EQ(vidorra::OutcomeStatus(reported.outcome), "failed");
        EXPECT_FALSE(vidorra::FailureMessage(c.failure).empty());
        for (const std::string& line : c.lines) EXPECT_EQ(capture.Count(line), 1) << line;
        struct stat st {};
        EXPECT_EQ(stat(output.c_str(), &st) == 0, c.fileCreated);
        const fakeplayer::Stats stats = fakeplayer::Snapshot();
        EXPECT_EQ(stats.created, stats.released);
    }
}

TEST(ConversionJobMessages, MessageTextsAreTheWindowsTexts) {
    const std::pair<JobFailure, std::string_view> rows[] = {
        {JobFailure::UnknownFormat, "the source file format is unknown!"},
        {JobFailure::CannotOpenSource, "cannot open the source file, ensure it is not occupied by other applications!"},
        {JobFailure::StreamOpen, "reading the source file failed!"},
        {JobFailure::StreamWrite, "reading the source file failed!"},
        {JobFailure::VideoEncoder, "video compress error, please contact the developper!"},
        {JobFailure::NoAudioFormat, "cannot get the audio data format, please contact the developper!"},
        {JobFailure::AudioSettings, "setting audio compress option error, please contact the developper!"},
        {JobFailure::CannotCreateTarget, "cannot create the target file!"},
        {JobFailure::WriteFailed, "writing the target file failed!"},
    };
    for (const auto& [failure, text] : rows) EXPECT_EQ(vidorra::FailureMessage(failure), text);
}

TEST_F(ConversionJobTest, WindowShowsTheBoxBeforeRefusingTheSampleRate) {
    fakeplayer::Script script = fakeplayer::RegularScript(5);
    script.wave.nSamplesPerSec = 22050;
    vidorra::JobControl control;
    JobFrontEnd dialog = WindowFrontEnd(&control);
    int boxes = 0;
    dialog.audioFormatRefused = [&] { ++boxes; };
    EXPECT_EQ(Convert(script, dialog).failure, JobFailure::AudioSettings);
    EXPECT_EQ(boxes, 1);
    EXPECT_FALSE(OutputExists());
}

TEST_F(ConversionJobTest, WriteErrorFailsTheJobAndStopsFeeding) {
    // Every write to /dev/full fails as on a full disk.
    m_output = "/dev/full";
    vidorra::JobControl control;
    JobResult reported;
    JobFrontEnd dialog = WindowFrontEnd(&control, &reported);
    DebugCapture capture;
    const JobResult result = Convert(fakeplayer::RegularScript(25), dialog);
    EXPECT_EQ(result.outcome, JobOutcome::Failed);
    EXPECT_EQ(result.failure, JobFailure::WriteFailed);
    EXPECT_EQ(vidorra::OutcomeStatus(reported.outcome), "failed");
    EXPECT_EQ(vidorra::FailureMessage(reported.failure), "writing the target file failed!");
    // The second piece of the source is not pushed once writing failed.
    EXPECT_EQ(fakeplayer::Snapshot().writes, 1);
}

TEST_F(ConversionJobTest, FileSizeLimitLeavesAReadablePartialFileAndFails) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child gets a 30 KB file-size limit, like a nearly full disk; the
    // 2-second conversion needs about twice that.
    auto convertWithLimit = [this] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {30000, 30000};
        setrlimit(RLIMIT_FSIZE, &limit);
        // std::exit skips the fixture's destructor, so the child removes its
        // own scratch directory.
        auto leave = [this](int code) {
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
            std::exit(code);
        };
        const JobResult result = Convert(fakeplayer::RegularScript(50));
        if (result.failure != JobFailure::WriteFailed) leave(2);
        auto video = ProbeStream(m_output, "v");
        leave(video["codec_name"] == "mpeg4" ? 0 : 3);
    };
    EXPECT_EXIT(convertWithLimit(), ::testing::ExitedWithCode(0), "");
}

TEST_F(ConversionJobTest, CancelledOrExitedWindowJobKeepsAReadableFile) {
    for (const bool exitInstead : {false, true}) {
        SCOPED_TRACE(exitInstead ? "exit" : "cancel current file");
        vidorra::JobControl control;
        JobResult reported;
        JobFrontEnd dialog = WindowFrontEnd(&control, &reported);
        // Stop once the first piece has been flushed.
        dialog.progress = [&](int32_t produced, int32_t) {
            if (produced > 0) (exitInstead ? control.exit : control.cancelCurrentFile) = true;
        };
        const JobResult result = Convert(fakeplayer::RegularScript(50), dialog);
        EXPECT_EQ(result.outcome, JobOutcome::Cancelled);
        EXPECT_EQ(vidorra::OutcomeStatus(reported.outcome), "cancelled");
        EXPECT_FALSE(control.cancelCurrentFile.load());
        ASSERT_TRUE(OutputExists());
        EXPECT_EQ(DecodeErrors(m_output), "");
        EXPECT_EQ(fakeplayer::Snapshot().writes, 1);
    }
}

TEST_F(ConversionJobTest, CallbacksIgnorePicturesWhileTheWindowIsNotConverting) {
    vidorra::JobControl control;
    JobFrontEnd dialog = WindowFrontEnd(&control, nullptr, /*converting=*/false);
    int32_t produced = -1;
    dialog.progress = [&](int32_t frames, int32_t) { produced = std::max(produced, frames); };
    ASSERT_EQ(Convert(fakeplayer::RegularScript(10), dialog).outcome, JobOutcome::Succeeded);
    EXPECT_EQ(produced, 0);
}

TEST_F(ConversionJobTest, PausedWindowJobWaitsBetweenPiecesUntilResumed) {
    vidorra::JobControl control;
    JobFrontEnd dialog = WindowFrontEnd(&control);
    std::thread resume;
    int progressCalls = 0;
    dialog.progress = [&](int32_t, int32_t) {
        if (++progressCalls != 1) return;
        control.paused = true;
        resume = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            control.paused = false;
        });
    };
    const auto start = std::chrono::steady_clock::now();
    const JobResult result = Convert(fakeplayer::RegularScript(10), dialog);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    resume.join();
    EXPECT_EQ(result.outcome, JobOutcome::Succeeded);
    EXPECT_GE(elapsed, std::chrono::milliseconds(200));
    EXPECT_EQ(fakeplayer::Snapshot().writes, 2);
}

TEST(ConversionJobCallbacks, MalformedRecordsAreRefusedWithTheirLines) {
    DebugCapture capture;
    VideoDecodeFrameInfo video{};
    ConversionJob::VideoDecCallBack(0, &video);
    video.pY = reinterpret_cast<uint8_t*>(uintptr_t{0xCDCDCDCD});
    ConversionJob::VideoDecCallBack(0, &video);
    ConversionJob::VideoDecCallBack(0, nullptr);
    EXPECT_EQ(capture.Count("[QOR]wrong video frame data.\n"), 3);

    uint8_t pcm[16] = {};
    AudioDecodeFrameInfo audio{};
    ConversionJob::AudioDecCallBack(0, &audio);
    audio.pData = pcm;
    audio.uLength = 16385;
    ConversionJob::AudioDecCallBack(0, &audio);
    EXPECT_EQ(capture.Count("[QOR]wrong audio frame data.\n"), 2);
}
