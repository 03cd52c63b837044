// The ".index" side file next to a recording, and the index record stream it
// shares with caller-supplied index data.
#include <cstring>
#include <vector>

#include "platform/debug_output.h"
#include "platform/file.h"
#include "player/container/mpeg_parser.h"

namespace qor {

namespace {

constexpr int kValidationBlock = 1024;
constexpr int kIndexEntryWords = 4;
constexpr int kHeaderPositionWords = 2;

// Reads the recording's bytes at a position, padded with 0x55 past its end,
// exactly as the side file's validation blocks are written.
bool ReadValidationBlock(CFileController& controller, int64_t iPosition, uint8_t* pBlock) {
    if (controller.Seek(iPosition, 0) != iPosition) return false;
    int got = 0;
    return controller.Read(pBlock, kValidationBlock, &got);
}

}  // namespace

std::string IndexFileName(const std::string& recordingPath) {
    size_t slash = recordingPath.find_last_of('/');
    size_t dot = recordingPath.find_last_of('.');
    // A dot in a folder name must not cut the path there.
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return recordingPath + ".index";
    return recordingPath.substr(0, dot) + ".index";
}

bool ParseIndexRecords(const uint8_t* pData, int64_t iSize, const IndexRecordLimits& limits,
                       std::vector<IndexEntry>* pEntries, std::vector<uint32_t>* pHeaderPositions) {
    std::vector<IndexEntry> entries;
    std::vector<uint32_t> headers;
    bool ok = pData != nullptr && iSize > 0;
    int64_t offset = 0;
    while (ok && offset < iSize) {
        if (iSize - offset < 4) {
            ok = false;
            break;
        }
        uint32_t tag = ReadLe32(pData + offset);
        if (tag == kIndexEntryTag) {
            if (iSize - offset < kIndexEntryWords * 4) {
                ok = false;
                break;
            }
            IndexEntry entry;
            entry.uTime = ReadLe32(pData + offset + 4);
            entry.uPosition = ReadLe32(pData + offset + 8);
            entry.uLength = ReadLe32(pData + offset + 12);
            ok = int64_t(entry.uPosition) >= limits.iFirstKeyFramePosition &&
                 int64_t(entry.uPosition) <= limits.iFileSize &&
                 int64_t(entry.uPosition) + entry.uLength <= limits.iFileSize && entry.uTime >= limits.uFirstTime &&
                 int64_t(entry.uTime) <= limits.iLastTimeLimit;
            entries.push_back(entry);
            offset += kIndexEntryWords * 4;
        } else if (tag == kHeaderPositionTag) {
            if (iSize - offset < kHeaderPositionWords * 4) {
                ok = false;
                break;
            }
            uint32_t value = ReadLe32(pData + offset + 4);
            ok = int64_t(value) >= limits.iHeaderPosition && int64_t(value) <= limits.iFileSize;
            headers.push_back(value);
            offset += kHeaderPositionWords * 4;
        } else {
            ok = false;
        }
    }
    // A stream without a single entry would leave seeking with nothing.
    if (ok && entries.empty()) ok = false;
    if (!ok) {
        entries.clear();
        headers.clear();
    }
    // Seeking looks for the last header at or before a position; streams
    // written by older builds may list them out of order or twice.
    std::sort(headers.begin(), headers.end());
    headers.erase(std::unique(headers.begin(), headers.end()), headers.end());
    if (pEntries != nullptr) *pEntries = std::move(entries);
    if (pHeaderPositions != nullptr) *pHeaderPositions = std::move(headers);
    return ok;
}

std::vector<uint8_t> SerializeIndexRecords(const std::vector<IndexEntry>& entries,
                                           const std::vector<uint32_t>& headerPositions) {
    std::vector<uint8_t> out(entries.size() * kIndexEntryWords * 4 + headerPositions.size() * kHeaderPositionWords * 4);
    uint8_t* p = out.data();
    for (const IndexEntry& e : entries) {
        WriteLe32(p, kIndexEntryTag);
        WriteLe32(p + 4, e.uTime);
        WriteLe32(p + 8, e.uPosition);
        WriteLe32(p + 12, e.uLength);
        p += kIndexEntryWords * 4;
    }
    for (uint32_t h : headerPositions) {
        WriteLe32(p, kHeaderPositionTag);
        WriteLe32(p + 4, h);
        p += kHeaderPositionWords * 4;
    }
    return out;
}

bool CMpegParser::GetIndexFromIndexFile() {
    if (m_pFileInfo == nullptr) return false;
    if (!m_bHasFileName) {
        DebugOutput("[QOR]GetIndexFromIndexFile() m_pFileName NULL!\n");
        return false;
    }
    File sideFile;
    if (!sideFile.Open(IndexFileName(m_fileName), File::Mode::Read)) return false;
    CFileController recording;
    if (!recording.Create(m_fileName.c_str(), m_pFileInfo)) return false;
    int64_t sideSize = sideFile.Size();
    // Both validation blocks and at least one record, and never more than a
    // recording below 2 GiB could need.
    if (sideSize < 2 * kValidationBlock + 1 || sideSize >= kMaxRecordingSize) return false;
    uint8_t expected[kValidationBlock];
    uint8_t stored[kValidationBlock];
    const int64_t blockPositions[2] = {m_pFileInfo->iFirstKeyFramePosition, m_pFileInfo->iLastKeyFramePosition};
    for (int i = 0; i < 2; ++i) {
        if (!ReadValidationBlock(recording, blockPositions[i], expected)) return false;
        if (sideFile.Read(stored, kValidationBlock) != kValidationBlock) return false;
        if (std::memcmp(expected, stored, kValidationBlock) != 0) return false;  // stale side file
    }
    std::vector<uint8_t> records(size_t(sideSize - 2 * kValidationBlock));
    if (sideFile.Read(records.data(), records.size()) != int64_t(records.size())) return false;
    std::vector<IndexEntry> entries;
    std::vector<uint32_t> headers;
    if (!ParseIndexRecords(records.data(), int64_t(records.size()), RecordLimits(), &entries, &headers)) {
        m_pFileInfo->indexTable.clear();
        m_pFileInfo->headerPositions.clear();
        return false;
    }
    m_pFileInfo->indexTable = std::move(entries);
    m_pFileInfo->headerPositions = std::move(headers);
    return true;
}

bool CMpegParser::WriteIndexToIndexFile() {
    if (m_pFileInfo == nullptr) return false;
    if (!m_bHasFileName) {
        DebugOutput("[QOR]WriteIndexToIndexFile() m_pFileName NULL!\n");
        return false;
    }
    CFileController recording;
    if (!recording.Create(m_fileName.c_str(), m_pFileInfo)) return false;
    uint8_t blocks[2 * kValidationBlock];
    if (!ReadValidationBlock(recording, m_pFileInfo->iFirstKeyFramePosition, blocks) ||
        !ReadValidationBlock(recording, m_pFileInfo->iLastKeyFramePosition, blocks + kValidationBlock)) {
        return false;
    }
    std::vector<uint8_t> records = SerializeIndexRecords(m_pFileInfo->indexTable, m_pFileInfo->headerPositions);
    File sideFile;
    if (!sideFile.Open(IndexFileName(m_fileName), File::Mode::CreateAlways)) return false;
    return sideFile.Write(blocks, sizeof(blocks)) && sideFile.Write(records.data(), records.size());
}

bool CMpegParser::SetFileIndexTable(const uint8_t* pIndexData, int iDataSize) {
    if (m_pFileInfo == nullptr) return false;
    if (pIndexData == nullptr) {
        DebugOutput("[QOR]GetIndexFromIndexFile() pIndexData NULL error!\n");
        return false;
    }
    if (iDataSize < 1) {
        DebugOutput("[QOR]GetIndexFromIndexFile() iDataSize error!\n");
        return false;
    }
    std::vector<IndexEntry> entries;
    std::vector<uint32_t> headers;
    if (!ParseIndexRecords(pIndexData, iDataSize, RecordLimits(), &entries, &headers)) return false;
    m_pFileInfo->indexTable = std::move(entries);
    m_pFileInfo->headerPositions = std::move(headers);
    m_pFileInfo->bIndexReady = true;
    return true;
}

}  // namespace qor
