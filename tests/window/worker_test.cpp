// Batches converted from the window through the player library, with
// generated recordings, and the worker's stop on close.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "converter/app/window/cancel_dialog.h"
#include "platform/debug_output.h"
#include "window_test_support.h"

using vidorra::MainWindow;
using vidorra::UiLanguage;
using windowtest::CellText;
using windowtest::Enabled;
using windowtest::WidgetText;

namespace {

constexpr int kBatchTimeoutMs = 30000;

class DebugLines {
public:
    DebugLines() {
        m_previous = qor::SetDebugSink([this](std::string_view line) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_lines.emplace_back(line);
        });
    }
    ~DebugLines() { qor::SetDebugSink(m_previous); }
    int Count(std::string_view line) {
        std::lock_guard<std::mutex> lock(m_lock);
        return static_cast<int>(std::count(m_lines.begin(), m_lines.end(), line));
    }

private:
    qor::DebugSink m_previous;
    std::mutex m_lock;
    std::vector<std::string> m_lines;
};

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override { windowtest::EnsureApplication(); }

    std::unique_ptr<MainWindow> Make(const vidorra::PlayerInterface& player = vidorra::LibraryPlayerInterface()) {
        auto window = std::make_unique<MainWindow>(UiLanguage::English, prompts, player);
        window->findChild<QCheckBox*>("useSourcePathBox")->setChecked(false);
        prompts.folders.push_back(recordings.OutputFolder());
        window->OnPath();
        return window;
    }

    QString Avi(const QString& source) {
        return QDir(recordings.OutputFolder()).filePath(QFileInfo(source).completeBaseName() + ".avi");
    }

    static bool WaitForBatchEnd(MainWindow& window) {
        return QTest::qWaitFor([&] { return Enabled(window, "startButton"); }, kBatchTimeoutMs);
    }

    static bool WaitForStatus(MainWindow& window, int row, const QString& status) {
        return QTest::qWaitFor([&] { return CellText(window, row, MainWindow::kStatusColumn) == status; },
                               kBatchTimeoutMs);
    }

    windowtest::ScriptedPrompts prompts;
    windowtest::Recordings recordings;
};

// A well-formed AVI whose sizes were written at close.
void ExpectClosedAvi(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray head = file.read(12);
    ASSERT_EQ(head.size(), 12);
    EXPECT_EQ(head.left(4), "RIFF");
    EXPECT_EQ(head.mid(8, 4), "AVI ");
    const uint32_t riffSize = static_cast<uint8_t>(head[4]) | static_cast<uint8_t>(head[5]) << 8 |
                              static_cast<uint8_t>(head[6]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(head[7])) << 24;
    EXPECT_GT(riffSize, 4u);
    EXPECT_LE(static_cast<qint64>(riffSize) + 8, file.size());
    const QByteArray all = file.readAll();
    EXPECT_TRUE(all.contains("idx1")) << "no legacy index in " << path.toStdString();
}

}  // namespace

TEST_F(WorkerTest, ConvertsCheckedEntriesAndMarksEachOutcome) {
    const QString good = recordings.Small("good.mpg");
    const QString skipped = recordings.Small("skipped.mpg");
    const QString bad = recordings.NotARecording("bad.mpg");
    auto window = Make();
    // A folder given with its trailing separator must not double it.
    prompts.folders.push_back(recordings.OutputFolder() + "/");
    window->OnPath();
    window->AddSourceFiles({good, skipped, bad});
    window->List()->item(1, MainWindow::kNumberColumn)->setCheckState(Qt::Unchecked);
    window->OnStart();
    EXPECT_TRUE(window->Control().converting.load());
    for (const char* name : {"startButton", "optionsButton", "fileButton", "pathButton", "deleteButton"}) {
        EXPECT_FALSE(Enabled(*window, name)) << name;
    }
    EXPECT_TRUE(Enabled(*window, "pauseButton"));
    EXPECT_TRUE(Enabled(*window, "cancelButton"));
    ASSERT_TRUE(WaitForBatchEnd(*window));

    EXPECT_EQ(CellText(*window, 0, MainWindow::kStatusColumn), "succeeded");
    EXPECT_EQ(CellText(*window, 0, MainWindow::kMessageColumn), "");
    EXPECT_EQ(CellText(*window, 1, MainWindow::kStatusColumn), "");
    EXPECT_EQ(CellText(*window, 2, MainWindow::kStatusColumn), "failed");
    EXPECT_EQ(CellText(*window, 2, MainWindow::kMessageColumn), "the source file format is unknown!");
    ExpectClosedAvi(Avi(good));
    EXPECT_FALSE(QFile::exists(Avi(skipped)));
    EXPECT_EQ(WidgetText(*window, "percentText"), "100");
    EXPECT_FALSE(window->Control().converting.load());
    EXPECT_TRUE(Enabled(*window, "pathButton"));
    EXPECT_FALSE(Enabled(*window, "pauseButton"));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(WorkerTest, UncheckingALaterEntryDuringTheBatchSkipsIt) {
    const QStringList sources{recordings.Small("first.mpg"), recordings.Small("second.mpg")};
    auto window = Make();
    window->AddSourceFiles(sources);
    window->OnStart();
    ASSERT_TRUE(WaitForStatus(*window, 0, "converting"));
    window->List()->item(1, MainWindow::kNumberColumn)->setCheckState(Qt::Unchecked);
    ASSERT_TRUE(WaitForBatchEnd(*window));
    EXPECT_EQ(CellText(*window, 0, MainWindow::kStatusColumn), "succeeded");
    EXPECT_EQ(CellText(*window, 1, MainWindow::kStatusColumn), "");
    EXPECT_FALSE(QFile::exists(Avi(sources[1])));
}

TEST_F(WorkerTest, CancelDuringTheSecondOfThreeEntries) {
    struct Case {
        const char* name;
        int choice;
        bool confirmed;
        QStringList statuses;
        bool thirdWritten;
    };
    const Case cases[] = {
        {"current file", vidorra::CancelDialog::kCancelCurrentFile, true, {"succeeded", "cancelled", "succeeded"}, true},
        {"all files", vidorra::CancelDialog::kCancelAllFiles, true, {"succeeded", "cancelled", "cancelled"}, false},
        {"dialog cancelled", vidorra::CancelDialog::kCancelAllFiles, false, {"succeeded", "succeeded", "succeeded"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts = {};
        const QString prefix = QString::fromUtf8(c.name).replace(' ', '_');
        const QStringList sources{recordings.Small(prefix + "1.mpg"), recordings.Small(prefix + "2.mpg"),
                                  recordings.Small(prefix + "3.mpg")};
        auto window = Make();
        window->AddSourceFiles(sources);
        int offered = -2;
        prompts.cancel = [&](vidorra::CancelDialog& dialog) {
            offered = dialog.Choice();
            dialog.SetChoice(c.choice);
            return c.confirmed;
        };
        window->OnStart();
        ASSERT_TRUE(WaitForStatus(*window, 1, "converting"));
        QTest::mouseClick(window->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
        EXPECT_EQ(offered, vidorra::CancelDialog::kCancelAllFiles);
        ASSERT_TRUE(WaitForBatchEnd(*window));
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(CellText(*window, row, MainWindow::kStatusColumn), c.statuses[row]) << row;
        }
        // A cancelled job still leaves a closed file behind.
        ExpectClosedAvi(Avi(sources[1]));
        EXPECT_EQ(QFile::exists(Avi(sources[2])), c.thirdWritten);
    }
}

TEST_F(WorkerTest, PauseHoldsTheJobAndCancelEndsItWithoutResuming) {
    const QString large = recordings.Large();
    auto window = Make();
    window->AddSourceFiles({large});
    window->OnStart();
    // Pause once the job runs (a job start clears paused).
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Worker().ProducedFrames() > 0; }, kBatchTimeoutMs));
    window->OnPause();
    EXPECT_TRUE(window->Control().paused.load());
    EXPECT_EQ(WidgetText(*window, "pauseButton"), "Continue");
    QTest::qWait(1500);
    const int32_t held = window->Worker().ProducedFrames();
    QTest::qWait(400);
    EXPECT_EQ(window->Worker().ProducedFrames(), held);
    EXPECT_LT(held, window->Worker().TotalFrames());
    EXPECT_EQ(CellText(*window, 0, MainWindow::kStatusColumn), "converting");

    // Neither the options nor a second start while the batch runs.
    bool optionsOpened = false;
    prompts.options = [&](vidorra::OptionsDialog&) { return optionsOpened = true; };
    window->OnOptions();
    window->OnStart();
    EXPECT_FALSE(optionsOpened);
    EXPECT_EQ(prompts.messages, (std::vector<QString>{"Files are converting, cannot change the options!\n",
                                                      "Files are converting, cannot complete the operation!\n"}));

    prompts.cancel = [](vidorra::CancelDialog& dialog) {
        dialog.SetChoice(vidorra::CancelDialog::kCancelCurrentFile);
        return true;
    };
    window->OnCancel();
    ASSERT_TRUE(WaitForBatchEnd(*window));
    EXPECT_EQ(CellText(*window, 0, MainWindow::kStatusColumn), "cancelled");
    EXPECT_EQ(WidgetText(*window, "pauseButton"), "Pause");
    ExpectClosedAvi(Avi(large));
}

TEST_F(WorkerTest, ClosingDuringAConversionWaitsForTheJobAndKeepsTheFile) {
    DebugLines lines;
    const QString large = recordings.Large();
    auto window = Make();
    window->AddSourceFiles({large});
    window->show();
    window->OnStart();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Worker().ProducedFrames() > 0; }, kBatchTimeoutMs));
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(window->Control().exit.load());
    // The worker has ended: its thread is joined and the file is complete.
    ExpectClosedAvi(Avi(large));
    EXPECT_EQ(lines.Count("[AVI]kill convert thread.\n"), 0);
}

// A player whose stream takes a long time over one piece, to see the window
// wait past 1,000 ms without killing anything.
namespace slowplayer {

std::atomic<bool> g_writing{false};
std::atomic<uint32_t> g_sampleRate{8000};

int32_t Create(int32_t, int32_t) { return 7; }
void Release(uint32_t) {}
int32_t One(uint32_t) { return 1; }
int32_t Open(uint32_t, const char*, int32_t) { return 1; }
int32_t TotalFrames(uint32_t) { return 50; }
int32_t TotalTime(uint32_t) { return 2000; }
int32_t RegisterVideo(uint32_t, VideoDecodeCallBack, uint32_t) { return 1; }
int32_t RegisterAudio(uint32_t, AudioDecodeCallBack, int32_t, uint32_t) { return 1; }
int32_t StreamOpen(uint32_t, const uint8_t*, int32_t, int32_t) { return 1; }
void DataDriven(uint32_t, int32_t) {}
int32_t PostFilter(uint32_t, int32_t) { return 1; }
int32_t PictureSize(uint32_t, int32_t* width, int32_t* height) {
    *width = 352;
    *height = 288;
    return 1;
}
int32_t Wave(uint32_t, QorWaveFormat* format) {
    const uint32_t rate = g_sampleRate.load();
    *format = QorWaveFormat{1, 1, rate, rate * 2, 2, 16, 0};
    return 1;
}
int32_t Write(uint32_t, const uint8_t*, int32_t length, int32_t, int32_t, int32_t) {
    g_writing.store(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    return length;
}
int32_t Buffered(uint32_t) { return 0; }
int32_t MediaStreamType(uint32_t) { return 0; }

const vidorra::PlayerInterface kPlayer = {Create,     Release,       One,         Open,       TotalFrames,
                                          TotalTime,  RegisterVideo, RegisterAudio, StreamOpen, One,
                                          DataDriven, PostFilter,    PictureSize, Wave,       Write,
                                          Buffered,   MediaStreamType};

}  // namespace slowplayer

TEST_F(WorkerTest, SlowJobOnCloseIsReportedAndAwaitedNotKilled) {
    DebugLines lines;
    slowplayer::g_writing.store(false);
    slowplayer::g_sampleRate.store(8000);
    const QString source = recordings.Small();
    auto window = Make(slowplayer::kPlayer);
    window->AddSourceFiles({source});
    window->OnStart();
    ASSERT_TRUE(QTest::qWaitFor([] { return slowplayer::g_writing.load(); }, kBatchTimeoutMs));
    const auto before = std::chrono::steady_clock::now();
    window->Shutdown();
    const auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_EQ(lines.Count("[AVI]kill convert thread.\n"), 1);
    EXPECT_GE(waited, std::chrono::milliseconds(1000));
    ExpectClosedAvi(Avi(source));
}

TEST_F(WorkerTest, UnconvertedSampleRateShowsFailureBeforeTheEntryFails) {
    slowplayer::g_sampleRate.store(11025);
    const QString source = recordings.Small();
    auto window = Make(slowplayer::kPlayer);
    window->AddSourceFiles({source});
    window->OnStart();
    ASSERT_TRUE(WaitForBatchEnd(*window));
    slowplayer::g_sampleRate.store(8000);
    EXPECT_EQ(prompts.messages, std::vector<QString>{"File converting failed!\n"});
    EXPECT_EQ(CellText(*window, 0, MainWindow::kStatusColumn), "failed");
    EXPECT_EQ(CellText(*window, 0, MainWindow::kMessageColumn),
              "setting audio compress option error, please contact the developper!");
}
