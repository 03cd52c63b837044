// The scans run on a file: the first key frame after the header, and the last
// frames (with the trailer) from the end backward.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/debug_output.h"
#include "player/container/frame_search.h"
#include "player/container/mpeg_parser.h"

namespace qor {

namespace {

constexpr int kEndScanBlock = 512000;

}  // namespace

CMpegParser::ForwardWalkEnd CMpegParser::WalkKeyFramesForward(
    CFileController* pController, uint8_t* pBuffer, int iBlockSize, int64_t iPosition,
    const std::function<bool()>& bGoOn, const std::function<void(int64_t)>& onHeader,
    const std::function<bool(const uint8_t*, int64_t, int)>& onKeyFrame) {
    const int64_t fileSize = m_pFileInfo->iFileSize;
    int64_t position = iPosition;
    while (position < fileSize) {
        if (!bGoOn()) return ForwardWalkEnd::Stopped;
        if (pController->Seek(position, 0) != position) return ForwardWalkEnd::ReadFailed;
        int held = 0;
        if (!pController->Read(pBuffer, iBlockSize, &held)) return ForwardWalkEnd::ReadFailed;
        const bool atEnd = position + held >= fileSize;
        int offset = 0;
        int64_t next = -1;  // file position where the next read begins
        while (next < 0) {
            int type = kFrameKey;
            int64_t resume = 0;
            const uint8_t* frame = SearchForwardResume(pBuffer + offset, held - offset, &type, &resume);
            if (frame == nullptr) {
                next = position + offset + std::max<int64_t>(resume, 0);
                break;
            }
            const int found = int(frame - pBuffer);
            if (type == kFrameFileHeader) {
                // The recorder repeats the header (after a power cut, or when
                // the picture size changes); skip over it.
                if (onHeader) onHeader(position + found);
                if (found + m_iHeaderLength >= held) {
                    next = position + found + m_iHeaderLength;
                } else {
                    offset = found + m_iHeaderLength;
                }
                continue;
            }
            // The search passes over start codes with no length, so the
            // length is at least 1 and the walk moves on.
            const int length = FrameLengthOf(frame);
            if (found + int64_t(length) > held) {
                next = position + found;  // runs past the bytes read: read it whole
                break;
            }
            if (!onKeyFrame(frame, position + found, length)) return ForwardWalkEnd::Stopped;
            offset = found + length;
        }
        if (atEnd || next <= position) return ForwardWalkEnd::EndOfFile;
        position = next;
    }
    return ForwardWalkEnd::EndOfFile;
}

bool CMpegParser::ScanFirstKeyFrame(CFileController* pController) {
    if (pController == nullptr || m_pFileInfo == nullptr) return false;
    std::vector<uint8_t> buffer(kEndScanBlock);
    bool found = false;
    WalkKeyFramesForward(
        pController, buffer.data(), kEndScanBlock, m_pFileInfo->iHeaderPosition + m_iHeaderLength,
        [this] { return !StopRequested(); }, {},
        [&](const uint8_t* frame, int64_t position, int) {
            m_pFileInfo->uFirstTime = TimeStampOf(frame);
            m_pFileInfo->iFirstKeyFramePosition = position;
            m_pFileInfo->bHasBackLinks = HasExtensionOf(frame);
            m_bFirstKeyHasExtension = m_pFileInfo->bHasBackLinks;
            found = true;
            return false;
        });
    return found;
}

bool CMpegParser::GetFinalFrameInfo(CFileController* pController, int iWantedType) {
    if (pController == nullptr || m_pFileInfo == nullptr) return false;
    const int64_t fileSize = m_pFileInfo->iFileSize;
    if (fileSize <= 0) return false;
    // One block plus the unsearched head of the previous one.
    std::vector<uint8_t> buffer(kEndScanBlock + kFrameHeaderSize);
    int64_t blockStart = std::max<int64_t>(fileSize - kEndScanBlock, 0);
    int64_t blockEnd = fileSize;
    bool firstBuffer = true;
    bool haveLastFrame = false;
    bool haveLastKey = false;
    bool haveAnyFrame = false;
    uint32_t anyFrameTime = 0;
    int64_t anyFramePosition = 0;
    while (!StopRequested()) {
        int want = int(blockEnd - blockStart);
        if (pController->Seek(blockStart, 0) != blockStart) return false;
        int held = 0;
        if (!pController->Read(buffer.data(), want, &held)) return false;
        if (firstBuffer) {
            m_pFileInfo->uTrailerValue = FindTrailerValue(buffer.data(), held);
            firstBuffer = false;
        }
        int searchLength = held;
        for (;;) {
            int type = iWantedType;
            int rest = 0;
            const uint8_t* frame = SearchBackward(buffer.data(), searchLength, &type, &rest);
            if (frame == nullptr) break;
            int found = int(frame - buffer.data());
            searchLength = found + kFrameHeaderSize - 1;  // go on just before this header
            if (type > kFramePredicted2) continue;
            int length = FrameLengthOf(frame);
            // A start code followed by a length shorter than a header is a
            // false one found inside coded data.
            if (length < kFrameHeaderSize || blockStart + found + int64_t(length) > fileSize) continue;
            const int64_t position = blockStart + found;
            if (!haveAnyFrame) {
                haveAnyFrame = true;
                anyFrameTime = TimeStampOf(frame);
                anyFramePosition = position;
            }
            // An unset time stamp would make the recording end before it
            // began; the last frame with a real time stands for the end.
            if (!haveLastFrame && !IsUnsetTimeStamp(TimeStampOf(frame))) {
                m_pFileInfo->uLastFrameTime = TimeStampOf(frame);
                m_pFileInfo->iLastFramePosition = position;
                haveLastFrame = true;
            }
            if (type == kFrameKey && !haveLastKey) {
                m_pFileInfo->iLastKeyFramePosition = position;
                haveLastKey = true;
            }
            if (haveLastKey && haveLastFrame) return true;
        }
        if (blockStart == 0) break;
        // Keep the 19 bytes a header reaching across the block border needs.
        blockEnd = std::min<int64_t>(blockStart + kFrameHeaderSize - 1, fileSize);
        blockStart = std::max<int64_t>(blockStart - kEndScanBlock, 0);
    }
    if (StopRequested() || !haveLastKey) return false;
    // No frame with a real time at all: the last frame stands as it is.
    m_pFileInfo->uLastFrameTime = anyFrameTime;
    m_pFileInfo->iLastFramePosition = anyFramePosition;
    return true;
}

bool CMpegParser::FileResetEndOfFile() {
    if (m_pFileInfo == nullptr) return false;
    std::unique_ptr<CFileController> controller(new (std::nothrow) CFileController);
    if (!controller || !controller->Create(m_bHasFileName ? m_fileName.c_str() : nullptr, m_pFileInfo)) {
        DebugOutput("[QOR]FileResetEndOfFile() new CFileController error!\n");
        return false;
    }
    int64_t size = controller->Size();
    if (size < 0) {
        DebugOutput("[QOR]FileResetEndOfFile() get mpeg file's size error!\n");
        return false;
    }
    m_pFileInfo->iFileSize = size;
    if (!GetFinalFrameInfo(controller.get(), kFrameAnyVideo)) {
        DebugOutput("[QOR]FileResetEndOfFile() GetFinalFrameInfo error!\n");
        return false;
    }
    return true;
}

}  // namespace qor
