// A reader for the recorder container written for these tests only: it walks
// the file header and every frame header by the byte layout, sharing no code
// with the generator, so the generator is checked against the layout rather
// than against itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace recgen_test {

uint32_t Le32(const uint8_t* p);
uint16_t Le16(const uint8_t* p);

struct FileHeader {
    int64_t position = -1;
    uint32_t typeCode = 0;
    uint32_t headerLength = 0;
    uint16_t contentFlags = 0;
    int width = 0, height = 0, frameRate = 0;
    std::vector<uint8_t> config;  // 19 bytes at offset 22
    uint32_t audioType = 0;
};

struct Item {
    int type = 0;             // frame type 0..3, 6 file header, 8 unrecognised bytes
    int64_t position = 0;
    uint32_t length = 0;      // frame length, 1024 for a header, run length for type 8
    uint32_t extensionLength = 0;
    int width = 0, height = 0;
    uint32_t time = 0;
    uint32_t i2i = 0;         // first extension word when there is one
    bool truncated = false;   // the frame runs past the end of the file
    FileHeader header;        // for type 6
    const uint8_t* coded = nullptr;  // coded data (after the extension)
    size_t codedLength = 0;
};

struct Parsed {
    FileHeader header;
    std::vector<Item> items;
    uint32_t trailerValue = 0;
    bool hasTrailer = false;
};

FileHeader ReadFileHeader(const uint8_t* p, int64_t position);
// Walks the whole file; anything that is neither a frame nor a file header
// becomes one type 8 item running up to the next start code.
Parsed ReadRecording(const std::vector<uint8_t>& bytes);

}  // namespace recgen_test
