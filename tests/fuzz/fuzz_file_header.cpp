// File header parsing and stream start-up on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/debug_output.h"
#include "player/container/format.h"
#include "player/container/mpeg_parser_marlin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        qor::SetDebugSink([](std::string_view) {});
        return true;
    }();
    (void)once;
    std::vector<uint8_t> copy(data, data + size);
    qor::PlayerFileInfo info;
    qor::CMpegParserMarlin parser(&info);
    (void)parser.Init4Stream(copy.data(), int(copy.size()));
    // Every whole 1024-byte window as a header, the way the engine re-parses
    // headers met in the stream.
    for (size_t offset = 0; offset + qor::kFileHeaderLength <= copy.size(); offset += 512) {
        bool changed = false;
        int delay = 0;
        (void)parser.ParseMpegFileHeaderInfo(copy.data() + offset, &changed, &delay);
        if (delay != 0) __builtin_trap();
    }
    if (info.iMediaStreamType < 0 || info.iMediaStreamType > 3) __builtin_trap();
    return 0;
}
