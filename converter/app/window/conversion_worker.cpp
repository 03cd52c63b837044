#include "converter/app/window/conversion_worker.h"

#include <chrono>

#include "converter/app/output_path.h"

namespace vidorra {

namespace {

constexpr int kIdlePollMs = 10;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

ConversionWorker::ConversionWorker(JobControl& control, WorkerListener& listener, const PlayerInterface& player,
                                   JobTiming timing)
    : m_control(control), m_listener(listener), m_player(player), m_timing(timing) {
    m_thread = std::thread([this] { Run(); });
}

ConversionWorker::~ConversionWorker() {
    m_control.exit.store(true);
    Join();
}

void ConversionWorker::SetBatch(WorkerBatch batch) {
    std::lock_guard<std::mutex> lock(m_batchLock);
    m_batch = std::move(batch);
}

void ConversionWorker::SetChecked(int row, bool checked) {
    std::lock_guard<std::mutex> lock(m_batchLock);
    if (row >= 0 && static_cast<size_t>(row) < m_batch.entries.size()) m_batch.entries[row].checked = checked;
}

bool ConversionWorker::WaitForEnd(int ms) {
    std::unique_lock<std::mutex> lock(m_endLock);
    return m_endSignal.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_ended; });
}

void ConversionWorker::Join() {
    if (m_thread.joinable()) m_thread.join();
}

void ConversionWorker::SetCountersForTest(int32_t produced, int32_t total) {
    m_producedFrames.store(produced);
    m_totalFrames.store(total);
}

void ConversionWorker::Run() {
    while (!m_control.exit.load()) {
        if (!m_control.converting.load()) {
            SleepMs(kIdlePollMs);
            continue;
        }
        RunBatch();
    }
    {
        std::lock_guard<std::mutex> lock(m_endLock);
        m_ended = true;
    }
    m_endSignal.notify_all();
}

bool ConversionWorker::EntryAt(size_t row, WorkerEntry* entry) {
    std::lock_guard<std::mutex> lock(m_batchLock);
    if (row >= m_batch.entries.size()) return false;
    *entry = m_batch.entries[row];
    return true;
}

void ConversionWorker::RunBatch() {
    m_producedFrames.store(0);
    m_control.paused.store(false);
    m_control.cancelCurrentFile.store(false);
    m_control.cancelAllFiles.store(false);
    size_t count = 0;
    std::string targetPath;
    ConversionSettings settings;
    {
        std::lock_guard<std::mutex> lock(m_batchLock);
        count = m_batch.entries.size();
        targetPath = m_batch.targetPath;
        settings = m_batch.settings;
    }

    int previousRow = -1;
    int32_t lastTotal = m_totalFrames.load();
    for (size_t row = 0; row < count && !m_control.exit.load(); ++row) {
        WorkerEntry entry;
        if (!EntryAt(row, &entry) || !entry.checked) continue;
        const int thisRow = static_cast<int>(row);
        m_listener.EntrySelected(thisRow, previousRow);
        previousRow = thisRow;
        if (m_control.cancelAllFiles.load()) {
            m_listener.EntryStatus(thisRow, OutcomeStatus(JobOutcome::Cancelled), "");
            continue;
        }
        m_listener.EntryStatus(thisRow, "converting", "");

        JobFrontEnd frontEnd;
        frontEnd.dialog = true;
        frontEnd.control = &m_control;
        frontEnd.progress = [this](int32_t produced, int32_t total) {
            m_totalFrames.store(total);
            m_producedFrames.store(produced);
        };
        frontEnd.audioFormatRefused = [this] {
            // The user learns why before the entry turns "failed"; an exit
            // must not wait for a box nobody will close.
            auto dismissed = std::make_shared<std::atomic<bool>>(false);
            m_listener.ConversionFailedNotice(dismissed);
            while (!dismissed->load() && !m_control.exit.load()) SleepMs(kIdlePollMs);
        };
        ConversionJob job(m_player, settings, std::move(frontEnd), m_timing);
        const JobResult result = job.Run(entry.source, TargetPathInDirectory(targetPath, entry.source));
        lastTotal = m_totalFrames.load();
        m_listener.EntryStatus(thisRow, OutcomeStatus(result.outcome), FailureMessage(result.failure));
        m_producedFrames.store(0);
        m_control.cancelCurrentFile.store(false);
    }

    const bool completed = !m_control.exit.load() && !m_control.cancelAllFiles.load();
    if (completed) m_producedFrames.store(lastTotal);
    // Cleared first: once the window shows the idle buttons, a new Start
    // must find the worker ready for it.
    m_control.converting.store(false);
    m_listener.BatchEnded(completed);
}

}  // namespace vidorra
