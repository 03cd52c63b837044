// The two builders of the key-frame index: walking the I2I back-links from
// the last key frame, and scanning the whole file forward.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "player/container/frame_search.h"
#include "player/container/mpeg_parser.h"

namespace qor {

namespace {

constexpr int kBackLinkBlock = 102400;
constexpr int kBackLinkWindow = 200;  // the key frame's header begins within its first 181 bytes
constexpr int kForwardBlock = 1048576;
// Pauses that leave disk time to playback while the index is built.
constexpr auto kBackLinkPause = std::chrono::milliseconds(1);
constexpr auto kForwardPause = std::chrono::milliseconds(9);

std::atomic<bool> g_indexPausesEnabled{true};

void Pause(std::chrono::milliseconds duration) {
    if (g_indexPausesEnabled) std::this_thread::sleep_for(duration);
}

}  // namespace

void SetIndexBuildPauses(bool bEnabled) { g_indexPausesEnabled = bEnabled; }

bool CMpegParser::HeaderStartsAt(CFileController* pController, int64_t iPosition) {
    uint8_t start[kHeaderLengthOffset + 4] = {};
    int got = 0;
    if (pController->Seek(iPosition, 0) != iPosition || !pController->Read(start, int(sizeof(start)), &got) ||
        got != int(sizeof(start))) {
        return false;
    }
    return ReadLe32(start) == m_uHeaderStartCode && ReadLe32(start + kHeaderLengthOffset) == uint32_t(m_iHeaderLength);
}

void CMpegParser::AppendSentinelAndFinish() {
    IndexEntry sentinel;
    sentinel.uTime = m_pFileInfo->uLastFrameTime + uint32_t(m_pFileInfo->iFrameDuration);
    sentinel.uPosition = uint32_t(m_pFileInfo->iFileSize);
    sentinel.uLength = 0;
    m_pFileInfo->indexTable.push_back(sentinel);
    // Seeking looks for the last header at or before a position, so the list
    // stays ascending and lists each header once.
    std::vector<uint32_t>& headers = m_pFileInfo->headerPositions;
    headers.push_back(uint32_t(m_pFileInfo->iHeaderPosition));
    std::sort(headers.begin(), headers.end());
    headers.erase(std::unique(headers.begin(), headers.end()), headers.end());
    if (m_pFileInfo->bCreateSideFile) WriteIndexToIndexFile();
    m_pFileInfo->bIndexReady = true;
}

bool CMpegParser::StartIndexBuild(CFileController* pController) {
    if (m_pFileInfo == nullptr) return false;
    m_pFileInfo->bIndexReady = false;
    m_pFileInfo->indexTable.clear();
    m_pFileInfo->headerPositions.clear();
    return pController->Create(m_bHasFileName ? m_fileName.c_str() : nullptr, m_pFileInfo);
}

bool CMpegParser::CreateMpegFileIndexTableWithEx() {
    CFileController controller;
    if (!StartIndexBuild(&controller)) return false;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kBackLinkBlock]);
    if (!buffer) {
        DebugOutput("[QOR]CreateMpegFileIndexTableWithEx new pDataBuf error!\n");
        return false;
    }
    const int64_t fileSize = m_pFileInfo->iFileSize;
    // Entries are gathered newest first and reversed once at the end.
    std::vector<IndexEntry> entries;
    int64_t position = m_pFileInfo->iLastKeyFramePosition;
    bool lastStep = false;
    while (!StopRequested()) {
        if (controller.Seek(position, 0) != position) break;
        int held = 0;
        if (!controller.Read(buffer.get(), kBackLinkBlock, &held)) break;
        int window = std::min(kBackLinkWindow, held);
        int offset = 0;
        const uint8_t* frame = nullptr;
        for (;;) {
            int type = kFrameKey;
            frame = SearchForwardResume(buffer.get() + offset, window - offset, &type, nullptr);
            if (frame == nullptr || type != kFrameFileHeader) break;
            int found = int(frame - buffer.get());
            m_pFileInfo->headerPositions.push_back(uint32_t(position + found));
            offset = found + 4;
            frame = nullptr;
        }
        if (frame == nullptr) {
            DebugOutput("[QOR]CreateMpegFileIndexTableWithEx(), I2I offset error!\n");
            m_pFileInfo->headerPositions.clear();
            return false;
        }
        int found = int(frame - buffer.get());
        // A recorder that restarts writes a new header right before its first
        // key frame; the links jump over it, so it is looked for there.
        const int64_t headerBefore = position + found - m_iHeaderLength;
        if (headerBefore > m_pFileInfo->iHeaderPosition && HeaderStartsAt(&controller, headerBefore)) {
            m_pFileInfo->headerPositions.push_back(uint32_t(headerBefore));
        }
        IndexEntry entry;
        entry.uTime = TimeStampOf(frame);
        entry.uPosition = uint32_t(position + found);
        entry.uLength = uint32_t(FrameLengthOf(frame));
        entries.push_back(entry);
        if (lastStep || found + kFrameHeaderSize + kI2IOffsetBytes > held) break;
        uint32_t i2i = I2IOffsetOf(frame);
        if (i2i < kMinI2IOffset) break;
        int64_t next = position + found - int64_t(i2i);
        if (next < 0) {
            next = m_pFileInfo->iHeaderPosition + m_iHeaderLength;
            lastStep = true;
        }
        // Offsets of at least 1024 always move the walk backward; this keeps
        // a damaged link that points forward from looping.
        if (next >= position + found || next >= fileSize) break;
        position = next;
        Pause(kBackLinkPause);
    }
    if (StopRequested() || entries.empty()) {
        m_pFileInfo->indexTable.clear();
        m_pFileInfo->headerPositions.clear();
        m_pFileInfo->bIndexReady = false;
        return false;
    }
    std::reverse(entries.begin(), entries.end());
    // Same rule as the forward scan, so that both builders give one table and
    // the side file written from it passes its own time checks.
    for (size_t i = 0; i < entries.size(); ++i) {
        if (IsUnsetTimeStamp(entries[i].uTime)) {
            entries[i].uTime = i == 0 ? m_pFileInfo->uFirstTime
                                      : entries[i - 1].uTime + uint32_t(m_pFileInfo->iFrameDuration);
        }
    }
    m_pFileInfo->indexTable = std::move(entries);
    AppendSentinelAndFinish();
    return true;
}

bool CMpegParser::CreateMpegFileIndexTable() {
    CFileController controller;
    if (!StartIndexBuild(&controller)) return false;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kForwardBlock]);
    if (!buffer) return false;
    std::vector<IndexEntry>& table = m_pFileInfo->indexTable;
    bool stopped = false;
    // A failed read ends the scan with the entries found so far.
    WalkKeyFramesForward(
        &controller, buffer.get(), kForwardBlock, m_pFileInfo->iHeaderPosition,
        [&] {
            if (StopRequested()) {
                stopped = true;
                return false;
            }
            Pause(kForwardPause);
            return true;
        },
        [this](int64_t position) {
            // The opening header is listed once, after the scan.
            if (position != m_pFileInfo->iHeaderPosition) m_pFileInfo->headerPositions.push_back(uint32_t(position));
        },
        [&](const uint8_t* frame, int64_t position, int length) {
            uint32_t time = TimeStampOf(frame);
            if (IsUnsetTimeStamp(time)) {
                time = table.empty() ? m_pFileInfo->uFirstTime
                                     : table.back().uTime + uint32_t(m_pFileInfo->iFrameDuration);
            }
            table.push_back({time, uint32_t(position), uint32_t(length)});
            return true;
        });
    if (stopped) {
        table.clear();
        m_pFileInfo->headerPositions.clear();
        return false;
    }
    if (table.empty()) {
        m_pFileInfo->headerPositions.clear();
        return false;
    }
    AppendSentinelAndFinish();
    return true;
}

}  // namespace qor
