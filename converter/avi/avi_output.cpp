#include "converter/avi/avi_output.h"

#include <algorithm>
#include <cstring>

#include "platform/debug_output.h"

namespace vidorra {

namespace {

constexpr uint32_t kSuperIndexPlaceholder = AVIOutput::kSuperIndexSlots * 16 + 24;  // 4120
constexpr uint32_t kDmlhSize = 248;
constexpr size_t kHeaderAlign = 2048;
constexpr size_t kMinimumHeader = 8192;
constexpr size_t kLegacyBatch = 1024;
constexpr size_t kStandardBatch = 64;
constexpr uint32_t kNotKeyFrame = 0x80000000u;

char HexDigit(unsigned v) { return "0123456789abcdef"[v & 15]; }

}  // namespace

uint32_t EntriesPerStandardIndex(const std::vector<uint64_t>& positions, uint32_t maxEntries) {
    uint32_t per = std::max<uint32_t>(maxEntries, 1);
    while (per > 1) {
        bool fits = true;
        for (size_t start = 0; start < positions.size() && fits; start += per) {
            const size_t end = std::min(positions.size(), start + per);
            for (size_t i = start; i < end; ++i) {
                if (positions[i] - positions[start] >= (uint64_t{1} << 32)) {
                    fits = false;
                    break;
                }
            }
        }
        if (fits) break;
        --per;
    }
    return per;
}

AVIOutput::AVIOutput(const Limits& limits) : m_limits(limits) { m_headerBuffer.reserve(16384); }

AVIOutput::~AVIOutput() {
    m_indexBlocks.clear();
    // An unclosed file keeps its placeholder sizes; at least cut away
    // whatever an older file at the same path had beyond our data.
    if (m_opened) m_file.CloseAt(m_highestPosition);
    m_file.Close();
}

AVIOutputStream* AVIOutput::AddStream(bool video) {
    const int index = static_cast<int>(m_streams.size());
    m_streams.emplace_back(new AVIOutputStream(this, index));
    StreamState state;
    state.video = video;
    m_state.push_back(state);
    if (video && m_videoStream < 0) m_videoStream = index;
    if (!video && m_audioStream < 0) m_audioStream = index;
    return m_streams.back().get();
}

AVIOutputStream* AVIOutput::AddVideoStream() { return AddStream(true); }
AVIOutputStream* AVIOutput::AddAudioStream() { return AddStream(false); }

uint32_t AVIOutput::ChunkIdFor(size_t index) const {
    const AVIOutputStream& stream = *m_streams[index];
    char id[5] = {HexDigit(static_cast<unsigned>(index) >> 4), HexDigit(static_cast<unsigned>(index)), 'w', 'b', 0};
    if (m_state[index].video) {
        const bool compressed = stream.GetFormatSize() >= 20 && GetU32(stream.GetFormat() + 16) != 0;
        id[2] = 'd';
        id[3] = compressed ? 'c' : 'b';
    }
    return MakeFourCC(id);
}

void AVIOutput::ResetForOpen() {
    m_indexBlocks.clear();
    m_indexCount = 0;
    m_riffs.clear();
    m_closedRiffs = 0;
    m_riffBudget = 0;
    m_position = 0;
    m_highestPosition = 0;
    m_headerBuffer.clear();
    m_errors = 0;
    m_file.ClearError();
    for (StreamState& s : m_state) {
        const bool video = s.video;
        s = StreamState{};
        s.video = video;
    }
}

void AVIOutput::FillMainHeader() {
    m_mainHeader = MainAVIHeader{};
    if (m_videoStream >= 0) {
        const AVIOutputStream& video = *m_streams[static_cast<size_t>(m_videoStream)];
        const AVIStreamHeader& h = video.GetStreamHeader();
        // A stream described without a rate must not take the writer down.
        if (h.dwRate != 0) {
            m_mainHeader.dwMicroSecPerFrame = static_cast<uint32_t>(uint64_t{h.dwScale} * 1000000u / h.dwRate);
        }
        if (video.GetFormatSize() >= 12) {
            m_mainHeader.dwWidth = GetU32(video.GetFormat() + 4);
            m_mainHeader.dwHeight = GetU32(video.GetFormat() + 8);
        }
    }
    m_mainHeader.dwFlags = 0x110;  // AVIF_HASINDEX | AVIF_ISINTERLEAVED
    m_mainHeader.dwStreams = static_cast<uint32_t>(m_streams.size());
}

void AVIOutput::StoreMainHeader() {
    const uint32_t* words = &m_mainHeader.dwMicroSecPerFrame;
    static_assert(sizeof(MainAVIHeader) == 56);
    for (int i = 0; i < 14; ++i) PutU32(&m_headerBuffer[m_avihOffset + 8 + 4 * static_cast<size_t>(i)], words[i]);
}

void AVIOutput::HeaderFourCC(const char (&code)[5]) { HeaderU32(MakeFourCC(code)); }

void AVIOutput::HeaderU32(uint32_t value) {
    uint8_t b[4];
    PutU32(b, value);
    HeaderBytes(b, 4);
}

void AVIOutput::HeaderBytes(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (bytes == nullptr) {
        m_headerBuffer.insert(m_headerBuffer.end(), size, 0);
    } else {
        m_headerBuffer.insert(m_headerBuffer.end(), bytes, bytes + size);
    }
}

void AVIOutput::HeaderPatchU32(size_t offset, uint32_t value) { PutU32(&m_headerBuffer[offset], value); }

bool AVIOutput::Open(const std::string& path) {
    if (m_opened) return false;
    ResetForOpen();
    FillMainHeader();
    if (!m_file.Open(path)) {
        m_file.ClearError();  // reported as kErrorCreate, not as a write error
        m_errors |= kErrorCreate;
        return false;
    }

    auto patchList = [this](size_t listOffset) {
        HeaderPatchU32(listOffset + 4, static_cast<uint32_t>(m_headerBuffer.size() - listOffset - 8));
    };

    HeaderFourCC("RIFF");
    HeaderU32(0);
    HeaderFourCC("AVI ");
    const size_t hdrl = m_headerBuffer.size();
    HeaderFourCC("LIST");
    HeaderU32(0);
    HeaderFourCC("hdrl");
    m_avihOffset = m_headerBuffer.size();
    HeaderFourCC("avih");
    HeaderU32(56);
    HeaderBytes(nullptr, 56);
    StoreMainHeader();

    for (size_t i = 0; i < m_streams.size(); ++i) {
        AVIOutputStream& stream = *m_streams[i];
        StreamState& state = m_state[i];
        state.chunkId = ChunkIdFor(i);
        const size_t strl = m_headerBuffer.size();
        HeaderFourCC("LIST");
        HeaderU32(0);
        HeaderFourCC("strl");
        state.strhOffset = m_headerBuffer.size();
        HeaderFourCC("strh");
        HeaderU32(AVIStreamHeader::kSize);
        uint8_t strh[AVIStreamHeader::kSize];
        stream.GetStreamHeader().Store(strh);
        HeaderBytes(strh, sizeof strh);
        state.strfOffset = m_headerBuffer.size();
        state.strfSize = stream.GetFormatSize();
        HeaderFourCC("strf");
        HeaderU32(state.strfSize);
        HeaderBytes(stream.GetFormat(), state.strfSize);
        if (state.strfSize & 1) HeaderBytes(nullptr, 1);
        state.superIndexOffset = m_headerBuffer.size();
        HeaderFourCC("JUNK");
        HeaderU32(kSuperIndexPlaceholder);
        HeaderBytes(nullptr, kSuperIndexPlaceholder);
        patchList(strl);
    }

    const size_t odml = m_headerBuffer.size();
    HeaderFourCC("LIST");
    HeaderU32(0);
    HeaderFourCC("odml");
    m_dmlhOffset = m_headerBuffer.size();
    HeaderFourCC("dmlh");
    HeaderU32(kDmlhSize);
    HeaderBytes(nullptr, kDmlhSize);
    patchList(odml);
    patchList(hdrl);

    // Players read faster when the first movi starts on a sector-friendly
    // boundary, and an 8 KB minimum leaves room for larger headers later.
    const size_t n = m_headerBuffer.size();
    if (n < kMinimumHeader || n % kHeaderAlign != 0) {
        size_t d = (n + 8 + kHeaderAlign - 1) / kHeaderAlign * kHeaderAlign;
        d = std::max(d, kMinimumHeader);
        const size_t junk = d - n - 8;
        HeaderFourCC("JUNK");
        HeaderU32(static_cast<uint32_t>(junk));
        HeaderBytes(nullptr, junk + (junk & 1));
    }

    Append(m_headerBuffer.data(), m_headerBuffer.size());

    RiffRecord first;
    first.riffPosition = 0;
    first.moviPosition = m_position;
    m_riffs.push_back(first);
    uint8_t movi[12];
    PutU32(movi, MakeFourCC("LIST"));
    PutU32(movi + 4, 0x7FFFFFFF);
    PutU32(movi + 8, MakeFourCC("movi"));
    Append(movi, sizeof movi);

    m_opened = true;
    return true;
}

bool AVIOutput::Append(const void* data, size_t size) {
    // The writer's own position advances even when the disk refused the
    // bytes, so that the layout and every offset stay consistent; the sticky
    // error tells the caller the file is incomplete.
    const bool ok = m_file.Append(data, size);
    m_position += size;
    if (!ok) m_file.SetAppendPosition(m_position);
    m_highestPosition = std::max(m_highestPosition, m_position);
    return ok;
}

void AVIOutput::AddIndexEntry(const IndexEntry& entry) {
    if (m_indexCount % kIndexBlock == 0) m_indexBlocks.emplace_back(new IndexEntry[kIndexBlock]);
    m_indexBlocks[m_indexCount / kIndexBlock][m_indexCount % kIndexBlock] = entry;
    ++m_indexCount;
}

uint64_t AVIOutput::IndexReserve(const StreamState& writing) const {
    const uint64_t c = writing.count;
    uint64_t reserve = 8;
    for (const StreamState& s : m_state) {
        if (s.largestGap != 0) {
            const uint64_t per = std::min<uint64_t>(m_limits.maxIndexEntries, 0xFFFFFFFFull / s.largestGap + 1);
            reserve += (s.count + per - 1) / per * (per + 4) * 8;
            reserve += 8 * c;
        }
        reserve += 16 * c;
    }
    return reserve;
}

AVIOutput::ChunkResult AVIOutput::WriteChunk(int streamIndex, uint32_t flags, const void* data, uint32_t size) {
    if (!m_opened || streamIndex < 0 || static_cast<size_t>(streamIndex) >= m_streams.size()) {
        m_errors |= kErrorNotOpen;
        return ChunkResult::Dropped;
    }
    StreamState& stream = m_state[static_cast<size_t>(streamIndex)];
    const uint64_t cost = uint64_t{size} + (size & 1) + 16;
    if (cost > m_limits.riffBudget) {
        // No RIFF could hold it, and its size would collide with the
        // key-frame bit of the index.
        qor::DebugOutput("[QOR]AVIOutput: chunk of %u bytes is too large for a RIFF chunk.\n", size);
        m_errors |= kErrorNoSpace;
        return ChunkResult::Dropped;
    }
    const bool newRiff = m_riffBudget + cost > m_limits.riffBudget;
    const uint64_t pos = m_position + (newRiff ? 24 : 0);

    if (stream.firstPosition == 0) stream.firstPosition = pos;
    stream.largestGap = std::max(stream.largestGap, pos - stream.lastPosition);

    const uint64_t target = (pos + size + IndexReserve(stream) + 6166) & ~uint64_t{0x7FF};
    if (target >= m_limits.fileLimit) {
        qor::DebugOutput("[QOR]Out of file space: Files cannot exceed 4 gigabytes on a FAT32 partition.\n");
        m_errors |= kErrorNoSpace;
        return ChunkResult::Dropped;
    }
    stream.lastPosition = pos;

    const bool errorsBefore = m_file.HasError();
    if (newRiff) {
        CloseCurrentRiff();
        BeginAvixRiff();
    }
    AddIndexEntry({m_position, stream.chunkId, size | ((flags & kAviKeyFrame) ? 0u : kNotKeyFrame)});
    ++stream.count;

    uint8_t header[8];
    PutU32(header, stream.chunkId);
    PutU32(header + 4, size);
    bool ok = Append(header, sizeof header);
    if (size > 0) ok = Append(data, size) && ok;
    if (size & 1) {
        const uint8_t pad = 0;
        ok = Append(&pad, 1) && ok;
    }
    m_riffBudget += static_cast<uint32_t>(cost);
    return ok && (errorsBefore || !m_file.HasError()) ? ChunkResult::Written : ChunkResult::WriteFailed;
}

void AVIOutput::WriteLegacyIndex() {
    uint8_t head[8];
    PutU32(head, MakeFourCC("idx1"));
    PutU32(head + 4, static_cast<uint32_t>(16 * m_indexCount));
    Append(head, sizeof head);
    const uint64_t base = m_riffs[0].moviPosition + 8;
    std::vector<uint8_t> batch(16 * kLegacyBatch);
    for (size_t start = 0; start < m_indexCount; start += kLegacyBatch) {
        const size_t n = std::min(kLegacyBatch, m_indexCount - start);
        for (size_t i = 0; i < n; ++i) {
            const IndexEntry& e = EntryAt(start + i);
            uint8_t* out = &batch[16 * i];
            PutU32(out, e.chunkId);
            PutU32(out + 4, (e.size & kNotKeyFrame) ? 0u : kAviKeyFrame);
            PutU32(out + 8, static_cast<uint32_t>(e.position - base));
            PutU32(out + 12, e.size & ~kNotKeyFrame);
        }
        Append(batch.data(), 16 * n);
    }
}

void AVIOutput::CloseCurrentRiff() {
    RiffRecord& riff = m_riffs.back();
    riff.moviSize = static_cast<uint32_t>(m_position - riff.moviPosition - 8);
    if (m_closedRiffs == 0) {
        m_mainHeader.dwTotalFrames =
            m_videoStream >= 0 ? m_streams[static_cast<size_t>(m_videoStream)]->GetStreamHeader().dwLength : 0;
        WriteLegacyIndex();
    }
    riff.riffSize = static_cast<uint32_t>(m_position - riff.riffPosition - 8);
    ++m_closedRiffs;
    m_riffBudget = 0;
}

void AVIOutput::BeginAvixRiff() {
    RiffRecord riff;
    riff.riffPosition = m_position;
    uint8_t head[24];
    PutU32(head, MakeFourCC("RIFF"));
    PutU32(head + 4, 0x7F000000);
    PutU32(head + 8, MakeFourCC("AVIX"));
    PutU32(head + 12, MakeFourCC("LIST"));
    PutU32(head + 16, 0x7F000000);
    PutU32(head + 20, MakeFourCC("movi"));
    Append(head, sizeof head);
    riff.moviPosition = m_position - 12;
    m_riffs.push_back(riff);
}

void AVIOutput::WriteStreamIndexes(size_t streamIndex) {
    const StreamState& stream = m_state[streamIndex];
    std::vector<size_t> entries;
    std::vector<uint64_t> positions;
    for (size_t i = 0; i < m_indexCount; ++i) {
        if (EntryAt(i).chunkId == stream.chunkId) {
            entries.push_back(i);
            positions.push_back(EntryAt(i).position);
        }
    }
    if (entries.empty()) return;

    const size_t per = EntriesPerStandardIndex(positions, m_limits.maxIndexEntries);
    const size_t needed = (entries.size() + per - 1) / per;
    if (needed > kSuperIndexSlots) {
        qor::DebugOutput(
            "[QOR]AVIOutput: Not enough superindex entries to index AVI file.  (%d slots required, %d slots "
            "preallocated)\n",
            static_cast<int>(needed), kSuperIndexSlots);
        m_errors |= kErrorIndex;
        return;
    }

    const uint32_t sampleSize = m_streams[streamIndex]->GetStreamHeader().dwSampleSize;
    struct SuperEntry {
        uint64_t offset;
        uint32_t size;
        uint32_t duration;
    };
    std::vector<SuperEntry> super;
    std::vector<uint8_t> batch(8 * kStandardBatch);
    const char ixId[5] = {'i', 'x', static_cast<char>(stream.chunkId & 0xFF),
                          static_cast<char>((stream.chunkId >> 8) & 0xFF), 0};

    for (size_t start = 0; start < entries.size(); start += per) {
        const size_t n = std::min(per, entries.size() - start);
        const uint32_t chunkBytes = static_cast<uint32_t>(32 + 8 * n);
        if (uint64_t{m_riffBudget} + chunkBytes > m_limits.riffBudget) {
            CloseCurrentRiff();
            BeginAvixRiff();
        }
        const uint64_t groupFirst = positions[start];
        SuperEntry entry{m_position, chunkBytes, 0};

        uint8_t head[32];
        PutU32(head, MakeFourCC(ixId));
        PutU32(head + 4, chunkBytes - 8);
        PutU16(head + 8, 2);
        head[10] = 0;  // bIndexSubType
        head[11] = 1;  // bIndexType: index of chunks
        PutU32(head + 12, static_cast<uint32_t>(n));
        PutU32(head + 16, stream.chunkId);
        PutU64(head + 20, groupFirst + 8);
        PutU32(head + 28, 0);
        Append(head, sizeof head);

        uint64_t bytes = 0;
        for (size_t b = 0; b < n; b += kStandardBatch) {
            const size_t m = std::min(kStandardBatch, n - b);
            for (size_t i = 0; i < m; ++i) {
                const IndexEntry& e = EntryAt(entries[start + b + i]);
                PutU32(&batch[8 * i], static_cast<uint32_t>(e.position - groupFirst));
                PutU32(&batch[8 * i + 4], e.size);
                bytes += e.size & ~kNotKeyFrame;
            }
            Append(batch.data(), 8 * m);
        }
        m_riffBudget += chunkBytes;
        entry.duration = sampleSize == 0 ? static_cast<uint32_t>(n) : static_cast<uint32_t>(bytes / sampleSize);
        super.push_back(entry);
    }

    uint8_t* out = &m_headerBuffer[stream.superIndexOffset];
    std::memset(out, 0, 8 + kSuperIndexPlaceholder);
    PutU32(out, MakeFourCC("indx"));
    PutU32(out + 4, kSuperIndexPlaceholder);
    PutU16(out + 8, 4);
    out[10] = 0;  // bIndexSubType
    out[11] = 0;  // bIndexType: index of indexes
    PutU32(out + 12, static_cast<uint32_t>(super.size()));
    PutU32(out + 16, stream.chunkId);
    for (size_t i = 0; i < super.size(); ++i) {
        uint8_t* slot = out + 32 + 16 * i;
        PutU64(slot, super[i].offset);
        PutU32(slot + 8, super[i].size);
        PutU32(slot + 12, super[i].duration);
    }
}

bool AVIOutput::Close() {
    if (!m_opened) return false;
    const uint32_t totalFrames =
        m_videoStream >= 0 ? m_streams[static_cast<size_t>(m_videoStream)]->GetStreamHeader().dwLength : 0;
    HeaderPatchU32(m_dmlhOffset + 8, totalFrames);

    if (m_closedRiffs > 0) {
        for (size_t i = 0; i < m_streams.size(); ++i) WriteStreamIndexes(i);
    }
    CloseCurrentRiff();
    m_file.SetLengthAt(m_position);

    StoreMainHeader();
    for (size_t i = 0; i < m_streams.size(); ++i) {
        const StreamState& state = m_state[i];
        const AVIOutputStream& stream = *m_streams[i];
        stream.GetStreamHeader().Store(&m_headerBuffer[state.strhOffset + 8]);
        if (!state.video) {
            // The header has room only for the format it was opened with.
            if (stream.GetFormatSize() == state.strfSize) {
                if (state.strfSize > 0) {
                    std::memcpy(&m_headerBuffer[state.strfOffset + 8], stream.GetFormat(), state.strfSize);
                }
            } else {
                qor::DebugOutput("[QOR]AVIOutput: format of stream %d changed size; the opened one is kept.\n",
                                 static_cast<int>(i));
            }
        }
    }
    m_file.WriteAt(0, m_headerBuffer.data(), m_headerBuffer.size());
    for (const RiffRecord& riff : m_riffs) {
        uint8_t size[4];
        PutU32(size, riff.riffSize);
        m_file.WriteAt(riff.riffPosition + 4, size, 4);
        PutU32(size, riff.moviSize);
        m_file.WriteAt(riff.moviPosition + 4, size, 4);
    }
    m_file.Close();
    m_opened = false;
    return !HasError();
}

}  // namespace vidorra
