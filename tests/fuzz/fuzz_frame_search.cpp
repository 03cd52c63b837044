// Frame searches, frame header accessors and the whole-file scans and index
// builders on arbitrary bytes (the file scans read them through the read
// callback).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/debug_output.h"
#include "player/container/format.h"
#include "player/container/frame_search.h"
#include "player/container/mpeg_parser_marlin.h"

namespace {

struct Source {
    const uint8_t* data;
    size_t size;
};

int ReadFromSource(uint8_t* pBuffer, int iCount, uint32_t uPosition, int, void* pUser) {
    auto* source = static_cast<Source*>(pUser);
    if (uPosition >= source->size) return 0;
    size_t n = source->size - uPosition;
    if (n > size_t(iCount)) n = size_t(iCount);
    std::memcpy(pBuffer, source->data + uPosition, n);
    return int(n);
}

void CheckFrame(qor::CMpegParser& parser, const uint8_t* data, size_t size, const uint8_t* frame, int type) {
    if (frame == nullptr) return;
    if (frame < data || frame + 20 > data + size) std::abort();
    if (type == qor::kFrameFileHeader) return;
    (void)parser.GetFrameType(frame);
    (void)parser.GetTimeStamp(frame);
    (void)parser.HasExtension(frame);
    (void)parser.GetPictureSizeWord(frame);
    int length = parser.GetFrameLength(frame);
    if (frame + 24 <= data + size) (void)parser.GetI2IOffset(frame);
    int videoLength = 0;
    const uint8_t* video = parser.GetVideoData(frame, &videoLength);
    if (video != nullptr) {
        if (videoLength < 0 || video + videoLength != frame + length) std::abort();
        // Touch the coded data when the whole frame is in the buffer.
        if (frame + length <= data + size && videoLength > 0) {
            volatile uint8_t sink = video[videoLength - 1];
            (void)sink;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        qor::SetDebugSink([](std::string_view) {});
        qor::SetIndexBuildPauses(false);
        return true;
    }();
    (void)once;
    // Exact-size copy so that any read past the end is caught.
    std::vector<uint8_t> copy(data, data + size);
    const uint8_t* buf = copy.data();
    const int length = int(size);

    qor::PlayerFileInfo info;
    qor::CMpegParserMarlin parser(&info);
    for (int wanted = 0; wanted <= 5; ++wanted) {
        int offset = 0;
        // Walk the buffer the way the reader does: from each find onward.
        for (int guard = 0; guard < 64 && offset < length; ++guard) {
            int type = wanted, rest = 0;
            const uint8_t* frame = parser.SearchForward(buf + offset, length - offset, &type, &rest);
            if (frame == nullptr) break;
            CheckFrame(parser, buf, size, frame, type);
            offset = int(frame - buf) + 1;
        }
        int type = wanted, rest = 0;
        const uint8_t* frame = parser.SearchBackward(buf, length, &type, &rest);
        CheckFrame(parser, buf, size, frame, type);
    }
    (void)qor::FindTrailerValue(buf, length);

    // The same bytes as a recording behind the read callback.
    Source source{buf, size};
    qor::PlayerFileInfo fileInfo;
    fileInfo.fpReadCallBack = &ReadFromSource;
    fileInfo.pReadUser = &source;
    fileInfo.iFileSize = int64_t(size);
    fileInfo.bCreateSideFile = false;
    qor::CMpegParserMarlin fileParser(&fileInfo);
    if (fileParser.Init(nullptr, false)) {
        fileParser.CreateMpegFileIndexTableWithEx();
        fileParser.CreateMpegFileIndexTable();
        for (const qor::IndexEntry& e : fileInfo.indexTable) {
            if (int64_t(e.uPosition) + e.uLength > int64_t(size)) std::abort();
        }
        fileParser.FileResetEndOfFile();
    }
    return 0;
}
