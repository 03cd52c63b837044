// An independent byte-level reader of the AVI files the writer produces: it
// walks the RIFF tree, checks that every size field nests exactly, and parses
// the headers and indexes so tests can compare them with what was written.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace avitest {

struct Chunk {
    std::string id;
    uint64_t position = 0;  // of the 8-byte chunk header
    uint32_t size = 0;
};

struct Riff {
    std::string type;  // "AVI " or "AVIX"
    uint64_t position = 0;
    uint32_t size = 0;
    uint64_t moviPosition = 0;  // of the LIST header
    uint32_t moviSize = 0;
    std::vector<Chunk> chunks;  // the movi contents, in file order
    std::vector<Chunk> after;   // chunks of this RIFF after its movi (idx1)
};

struct IdxEntry {
    std::string id;
    uint32_t flags, offset, length;
};

struct SuperEntry {
    uint64_t offset;
    uint32_t size, duration;
};

struct StdIndex {
    uint64_t position;
    std::string fcc, chunkId;
    uint16_t longsPerEntry;
    uint8_t subType, type;
    uint64_t baseOffset;
    std::vector<std::pair<uint32_t, uint32_t>> entries;  // offset, size
};

struct Stream {
    std::vector<uint8_t> strh;  // 56 bytes
    std::vector<uint8_t> strf;
    std::string indexFcc;  // "JUNK" or "indx"
    uint32_t indexSize = 0;
    uint16_t longsPerEntry = 0;
    uint8_t indexType = 0;
    std::string indexChunkId;
    std::vector<SuperEntry> super;
};

struct AviFile {
    uint64_t fileSize = 0;
    uint64_t headerEnd = 0;  // position of the first movi LIST
    std::vector<uint32_t> avih;  // 14 words
    std::vector<Stream> streams;
    uint32_t dmlhSize = 0;
    uint32_t dmlhTotalFrames = 0;
    std::vector<Chunk> headerChunks;  // top-level chunks of the first RIFF before movi
    std::vector<Riff> riffs;
    std::vector<IdxEntry> idx1;
    std::map<uint64_t, StdIndex> stdIndexes;  // by position
};

// Parses path; on a structural fault returns false with a description.
bool ReadAvi(const std::string& path, AviFile* out, std::string* error);

// Checks idx1, the super indexes and the standard indexes against the chunks
// found in the movi lists; returns the faults found (empty when consistent).
std::vector<std::string> CheckIndexes(const AviFile& avi, const std::string& path);

uint32_t U32(const std::vector<uint8_t>& b, size_t at);

}  // namespace avitest
