// The window's worker: a thread created with the window that converts the
// checked entries of a batch one after another, one ConversionJob each.
//
// Threading: the worker never touches widgets. It tells its listener about
// entries and the batch end on the worker thread; the listener posts that to
// its own thread. SetBatch, SetChecked, the counters and the JobControl flags
// may be used from any thread. The owner stops the worker by setting exit and
// joining (WaitForEnd, Join, or the destructor).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "converter/job/conversion_job.h"
#include "converter/job/conversion_settings.h"
#include "converter/job/player_interface.h"

namespace vidorra {

struct WorkerEntry {
    std::string source;
    bool checked = true;
};

// What Start hands over: the list as it stands and the window's choices.
struct WorkerBatch {
    std::vector<WorkerEntry> entries;
    std::string targetPath;
    ConversionSettings settings;
};

// Called on the worker thread; implementations must not block on the
// thread that owns the worker (it may be waiting for the worker to end).
class WorkerListener {
public:
    virtual ~WorkerListener() = default;
    // The worker moved to entry row (previousRow -1 for the first).
    virtual void EntrySelected(int row, int previousRow) = 0;
    // Status and Message columns, in English (the listener translates).
    virtual void EntryStatus(int row, std::string_view status, std::string_view message) = 0;
    // Show "File converting failed!" and set dismissed once the user closed it.
    virtual void ConversionFailedNotice(std::shared_ptr<std::atomic<bool>> dismissed) = 0;
    // Buttons back to idle; completed: show the percent "100".
    virtual void BatchEnded(bool completed) = 0;
};

class ConversionWorker {
public:
    ConversionWorker(JobControl& control, WorkerListener& listener, const PlayerInterface& player,
                     JobTiming timing = {});
    ~ConversionWorker();
    ConversionWorker(const ConversionWorker&) = delete;
    ConversionWorker& operator=(const ConversionWorker&) = delete;

    // The next batch; takes effect when converting is set after it.
    void SetBatch(WorkerBatch batch);
    // The user ticked or cleared an entry while a batch runs.
    void SetChecked(int row, bool checked);

    // True once the thread has ended (exit must be set); waits up to ms.
    bool WaitForEnd(int ms);
    void Join();

    int32_t ProducedFrames() const { return m_producedFrames.load(); }
    int32_t TotalFrames() const { return m_totalFrames.load(); }
    // For the window's own tests of the percent display.
    void SetCountersForTest(int32_t produced, int32_t total);

private:
    void Run();
    void RunBatch();
    bool EntryAt(size_t row, WorkerEntry* entry);

    JobControl& m_control;
    WorkerListener& m_listener;
    const PlayerInterface& m_player;
    const JobTiming m_timing;

    std::atomic<int32_t> m_producedFrames{0};
    std::atomic<int32_t> m_totalFrames{1};

    std::mutex m_batchLock;  // guards m_batch
    WorkerBatch m_batch;

    std::mutex m_endLock;  // guards m_ended
    std::condition_variable m_endSignal;
    bool m_ended = false;

    std::thread m_thread;
};

}  // namespace vidorra
