// The read thread of file mode: reads the recording in blocks from the
// current read position, cuts whole frames and dispatches them, waiting while
// the controller is full so that nothing is ever dropped.
#include <chrono>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "player/container/format.h"
#include "player/engine/mpeg_player.h"

namespace qor {

bool CMpegPlayer::SleepUnlessStopping(int iMilliseconds) {
    std::unique_lock<std::mutex> lock(m_stopWakeLock);
    return !m_stopWake.wait_for(lock, std::chrono::milliseconds(iMilliseconds), [this] { return m_bStop.load(); });
}

void CMpegPlayer::ParkForSeek(std::atomic<bool>& idle) {
    idle.store(true);
    while (m_bSeeking.load() && !m_bStop.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    idle.store(false);
}

void CMpegPlayer::ReadThreadFunc() {
    try {
        ReadThreadBody();
    } catch (...) {
        DebugOutput("[QOR]ReadThreadFunc() report ZRV.\n");
    }
}

void CMpegPlayer::ReadThreadBody() {
    // Reads are spread out a little so that several players on one disk do
    // not all read at the same moment.
    std::minstd_rand random(uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::vector<uint8_t> buffer(kReadBlockSize);
    int held = 0;
    int64_t bufferPosition = m_iReadPosition.load();
    m_bRepositioned.store(false);
    CFileController& reader = *m_pFileController;

    while (!m_bStop.load()) {
        if (m_bSeeking.load()) {
            ParkForSeek(m_bReadIdle);
            continue;
        }
        if (m_bRepositioned.exchange(false)) {
            held = 0;
            bufferPosition = m_iReadPosition.load();
        }
        const int state = m_iState.load();
        if (m_bEndOfFile.load() || state == kStateStepWait || state == kStateStepsExhausted || m_bBackPlay.load()) {
            SleepUnlessStopping(10);
            continue;
        }
        if (!SleepUnlessStopping(int(random() % 40) + 1)) break;
        if (m_bSeeking.load() || m_bRepositioned.load()) continue;

        int got = 0;
        bool ok = reader.Seek(bufferPosition + held, 0) == bufferPosition + held &&
                  reader.Read(buffer.data() + held, int(buffer.size()) - held, &got) && got > 0;
        if (!ok) {
            // A recording still being written is read again once it has grown.
            if (!m_bFollowGrowingFile.load()) m_bEndOfFile.store(true);
            SleepUnlessStopping(10);
            continue;
        }
        held += got;

        int pos = 0;
        bool abandoned = false;
        const int headerSize = m_pMpegParser->GetFrameHeaderSize();
        while (held - pos >= headerSize && !abandoned) {
            const int at = pos;
            if (!FindUnitStart(buffer.data(), held, &pos)) break;
            if (pos != at) continue;
            const uint8_t* frame = buffer.data() + pos;
            const int type = m_pMpegParser->GetFrameType(frame);
            int size = kFileHeaderLength;
            if (type != kFrameFileHeader) {
                size = m_pMpegParser->GetFrameLength(frame);
                if (size < headerSize) {
                    // Not a usable frame: look for the next start past this one.
                    ++pos;
                    continue;
                }
            }
            if (held - pos < size) {
                if (pos == 0 && size > int(buffer.size())) {
                    try {
                        buffer.resize(size_t(size));
                    } catch (const std::bad_alloc&) {
                        DebugOutput("[QOR]ReadThreadFunc() alloc mem error.\n");
                        return;
                    }
                }
                break;
            }
            const int64_t position = bufferPosition + pos;
            bool dispatched = true;
            switch (type) {
                case kFrameAudio: dispatched = DealAudioFrame(MakeFrameRecord(frame, size, type, position), -1); break;
                case kFrameKey:
                case kFramePredicted:
                case kFramePredicted2:
                    dispatched = DealVideoFrame(MakeFrameRecord(frame, size, type, position), -1);
                    break;
                case kFrameMixed: dispatched = DealMixedFrame(MakeFrameRecord(frame, size, type, position), -1); break;
                case kFrameFileHeader: {
                    const int rate = ReadLe16(frame + kHeaderFrameRateOffset);
                    if (rate >= 1 && rate <= 100) m_iFrameInterval.store(1000 / rate);
                    dispatched = DealFileHeaderFrame(MakeFrameRecord(frame, size, type, position), -1);
                    break;
                }
                default:
                    DebugOutput("[QOR]Frame type error, ignore this frame.\n");
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    break;
            }
            // Refused only for a stop or a seek; the seek repositions us.
            if (!dispatched) abandoned = true;
            pos += size;
        }
        if (abandoned) continue;
        if (pos > 0) {
            std::memmove(buffer.data(), buffer.data() + pos, size_t(held - pos));
            held -= pos;
            bufferPosition += pos;
        }
    }
}

}  // namespace qor
