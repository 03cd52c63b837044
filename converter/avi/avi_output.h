// AVIOutput writes one AVI file with OpenDML extensions: the header is laid
// out in memory, chunk data goes straight to the file as it arrives, and the
// legacy and OpenDML indexes and all sizes are completed at Close. Files
// larger than one RIFF budget continue in AVIX RIFF chunks; the file never
// reaches 4 GiB.
//
// Calling order: construct; AddVideoStream / AddAudioStream; describe each
// stream (SetStreamHeader, SetFormat); Open; Write on the streams in
// presentation order; Close; destroy.
//
// Threading: not locked; one thread at a time (the caller serialises).
//
// Failures never stop the writer: each is logged once and recorded in a
// sticky error state that the caller reads after Write and after Close, so
// that an incomplete file is not reported as a success.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "converter/avi/avi_output_stream.h"
#include "converter/avi/output_file.h"

namespace vidorra {

// The largest number of consecutive chunk positions, at most maxEntries, that
// can share one standard index: every position of a group must lie less than
// 2^32 bytes beyond the group's first.
uint32_t EntriesPerStandardIndex(const std::vector<uint64_t>& positions, uint32_t maxEntries);

class AVIOutput {
public:
    struct Limits {
        uint32_t riffBudget = 0x7F000000;  // bytes of chunks per RIFF
        uint32_t maxIndexEntries = 8192;   // entries per standard index chunk
        uint64_t fileLimit = uint64_t{1} << 32;
    };
    static constexpr int kSuperIndexSlots = 256;

    enum Error : uint32_t {
        kErrorCreate = 1,     // the file could not be created
        kErrorWrite = 2,      // a seek, write or length change failed
        kErrorNoSpace = 4,    // a chunk was dropped: file size limit or oversized chunk
        kErrorIndex = 8,      // a stream needed more super-index slots than there are
        kErrorNotOpen = 16,   // a chunk was written while no file was open
    };

    enum class ChunkResult { Written, WriteFailed, Dropped };

    AVIOutput() : AVIOutput(Limits{}) {}
    explicit AVIOutput(const Limits& limits);
    ~AVIOutput();
    AVIOutput(const AVIOutput&) = delete;
    AVIOutput& operator=(const AVIOutput&) = delete;

    AVIOutputStream* AddVideoStream();
    AVIOutputStream* AddAudioStream();

    bool Open(const std::string& path);
    // Completes and closes the file; returns false when anything failed since
    // Open (the same as !HasError() afterwards). Does nothing and returns
    // false unless open.
    bool Close();
    bool IsOpen() const { return m_opened; }

    uint32_t Errors() const { return m_errors | (m_file.HasError() ? kErrorWrite : 0u); }
    bool HasError() const { return Errors() != 0; }

    uint64_t Position() const { return m_position; }
    size_t StreamCount() const { return m_streams.size(); }

    // Used by AVIOutputStream::Write.
    ChunkResult WriteChunk(int streamIndex, uint32_t flags, const void* data, uint32_t size);

private:
    struct IndexEntry {
        uint64_t position;  // of the chunk's 8-byte header
        uint32_t chunkId;
        uint32_t size;  // bit 31 set for a chunk that is not a key frame
    };
    static constexpr size_t kIndexBlock = 1024;

    struct StreamState {
        bool video = false;
        uint32_t chunkId = 0;
        uint64_t firstPosition = 0;
        uint64_t lastPosition = 0;
        uint64_t largestGap = 0;
        uint32_t count = 0;
        size_t strhOffset = 0;  // offsets inside the header buffer
        size_t strfOffset = 0;
        uint32_t strfSize = 0;
        size_t superIndexOffset = 0;
    };

    struct RiffRecord {
        uint64_t riffPosition = 0;
        uint64_t moviPosition = 0;
        uint32_t riffSize = 0;
        uint32_t moviSize = 0;
    };

    AVIOutputStream* AddStream(bool video);
    void ResetForOpen();
    uint32_t ChunkIdFor(size_t index) const;
    void FillMainHeader();
    void StoreMainHeader();

    void HeaderFourCC(const char (&code)[5]);
    void HeaderU32(uint32_t value);
    void HeaderBytes(const void* data, size_t size);
    void HeaderPatchU32(size_t offset, uint32_t value);

    bool Append(const void* data, size_t size);
    void AddIndexEntry(const IndexEntry& entry);
    const IndexEntry& EntryAt(size_t i) const { return m_indexBlocks[i / kIndexBlock][i % kIndexBlock]; }
    uint64_t IndexReserve(const StreamState& writing) const;

    void CloseCurrentRiff();
    void BeginAvixRiff();
    void WriteLegacyIndex();
    void WriteStreamIndexes(size_t streamIndex);

    const Limits m_limits;
    std::vector<std::unique_ptr<AVIOutputStream>> m_streams;
    std::vector<StreamState> m_state;
    int m_videoStream = -1;
    int m_audioStream = -1;

    OutputFile m_file;
    uint64_t m_position = 0;
    uint64_t m_highestPosition = 0;
    uint32_t m_riffBudget = 0;
    std::vector<RiffRecord> m_riffs;
    size_t m_closedRiffs = 0;

    std::vector<uint8_t> m_headerBuffer;
    size_t m_avihOffset = 0;
    size_t m_dmlhOffset = 0;

    struct MainAVIHeader {
        uint32_t dwMicroSecPerFrame, dwMaxBytesPerSec, dwPaddingGranularity, dwFlags, dwTotalFrames,
            dwInitialFrames, dwStreams, dwSuggestedBufferSize, dwWidth, dwHeight, dwReserved[4];
    } m_mainHeader{};

    std::vector<std::unique_ptr<IndexEntry[]>> m_indexBlocks;
    size_t m_indexCount = 0;

    uint32_t m_errors = 0;
    bool m_opened = false;
};

}  // namespace vidorra
