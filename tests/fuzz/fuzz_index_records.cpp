// The index record stream of the side file and of caller-supplied index data.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/debug_output.h"
#include "player/container/mpeg_parser_marlin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        qor::SetDebugSink([](std::string_view) {});
        return true;
    }();
    (void)once;
    if (size < 16) return 0;
    // The first 16 bytes choose the limits, the rest is the record stream.
    qor::IndexRecordLimits limits;
    uint32_t words[4];
    std::memcpy(words, data, sizeof(words));
    limits.iFileSize = words[0] & 0x7FFFFFFF;
    limits.iFirstKeyFramePosition = words[1] % (uint64_t(limits.iFileSize) + 1);
    limits.iHeaderPosition = limits.iFirstKeyFramePosition / 2;
    limits.uFirstTime = words[2];
    limits.iLastTimeLimit = int64_t(words[2]) + words[3];
    std::vector<uint8_t> stream(data + 16, data + size);
    std::vector<qor::IndexEntry> entries;
    std::vector<uint32_t> headers;
    bool ok = qor::ParseIndexRecords(stream.data(), int64_t(stream.size()), limits, &entries, &headers);
    if (!ok && (!entries.empty() || !headers.empty())) __builtin_trap();
    if (ok) {
        if (entries.empty()) __builtin_trap();
        for (const qor::IndexEntry& e : entries) {
            if (int64_t(e.uPosition) + e.uLength > limits.iFileSize) __builtin_trap();
        }
        // What is accepted survives a round trip unchanged.
        std::vector<uint8_t> again = qor::SerializeIndexRecords(entries, headers);
        std::vector<qor::IndexEntry> entries2;
        std::vector<uint32_t> headers2;
        if (!qor::ParseIndexRecords(again.data(), int64_t(again.size()), limits, &entries2, &headers2) ||
            entries2 != entries || headers2 != headers) {
            __builtin_trap();
        }
    }

    qor::PlayerFileInfo info;
    info.iFileSize = limits.iFileSize;
    info.iFirstKeyFramePosition = limits.iFirstKeyFramePosition;
    info.iHeaderPosition = limits.iHeaderPosition;
    info.uFirstTime = limits.uFirstTime;
    qor::CMpegParserMarlin parser(&info);
    bool set = parser.SetFileIndexTable(stream.data(), int(stream.size()));
    if (set != info.bIndexReady.load()) __builtin_trap();
    return 0;
}
