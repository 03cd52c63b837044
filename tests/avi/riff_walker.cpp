#include "tests/avi/riff_walker.h"

#include <cstring>

#include "platform/file.h"

namespace avitest {

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
uint64_t Le64(const uint8_t* p) { return Le32(p) | static_cast<uint64_t>(Le32(p + 4)) << 32; }
std::string Fcc(const uint8_t* p) { return std::string(reinterpret_cast<const char*>(p), 4); }

class Reader {
public:
    explicit Reader(const std::string& path) { ok = file.Open(path, qor::File::Mode::Read); }
    bool Read(uint64_t at, void* out, size_t n) {
        return file.ReadAt(out, n, static_cast<int64_t>(at)) == static_cast<int64_t>(n);
    }
    std::vector<uint8_t> Bytes(uint64_t at, size_t n) {
        std::vector<uint8_t> b(n);
        if (n > 0 && !Read(at, b.data(), n)) b.clear();
        return b;
    }
    qor::File file;
    bool ok = false;
};

struct Walk {
    Reader& r;
    AviFile& avi;
    std::string& error;

    bool Fail(const std::string& what, uint64_t at) {
        error = what + " at " + std::to_string(at);
        return false;
    }

    // Walks the children of a list body [begin, end) and requires that they
    // end exactly at end.
    bool Children(uint64_t begin, uint64_t end, std::vector<Chunk>* out) {
        uint64_t pos = begin;
        while (pos < end) {
            uint8_t h[8];
            if (pos + 8 > end || !r.Read(pos, h, 8)) return Fail("chunk header beyond its list", pos);
            Chunk c{Fcc(h), pos, Le32(h + 4)};
            const uint64_t next = pos + 8 + c.size + (c.size & 1);
            if (next > end) return Fail("chunk " + c.id + " overruns its list", pos);
            out->push_back(c);
            pos = next;
        }
        if (pos != end) return Fail("list contents do not end at the list end", pos);
        return true;
    }

    bool Header(const Chunk& hdrl) {
        std::vector<Chunk> kids;
        if (!Children(hdrl.position + 12, hdrl.position + 8 + hdrl.size, &kids)) return false;
        for (const Chunk& k : kids) {
            if (k.id == "avih") {
                auto b = r.Bytes(k.position + 8, k.size);
                for (size_t i = 0; i + 4 <= b.size(); i += 4) avi.avih.push_back(U32(b, i));
            } else if (k.id == "LIST") {
                uint8_t t[4];
                r.Read(k.position + 8, t, 4);
                std::vector<Chunk> sub;
                if (!Children(k.position + 12, k.position + 8 + k.size, &sub)) return false;
                if (Fcc(t) == "strl") {
                    Stream s;
                    for (const Chunk& c : sub) {
                        if (c.id == "strh") s.strh = r.Bytes(c.position + 8, c.size);
                        if (c.id == "strf") s.strf = r.Bytes(c.position + 8, c.size);
                        if (c.id == "JUNK" || c.id == "indx") {
                            s.indexFcc = c.id;
                            s.indexSize = c.size;
                            if (c.id == "indx") {
                                auto b = r.Bytes(c.position + 8, c.size);
                                if (b.size() < 24) return Fail("short indx", c.position);
                                s.longsPerEntry = static_cast<uint16_t>(b[0] | b[1] << 8);
                                s.indexType = b[3];
                                const uint32_t used = U32(b, 4);
                                s.indexChunkId = Fcc(&b[8]);
                                for (uint32_t i = 0; i < used && 24 + 16 * (i + 1) <= b.size(); ++i) {
                                    const uint8_t* e = &b[24 + 16 * i];
                                    s.super.push_back({Le64(e), Le32(e + 8), Le32(e + 12)});
                                }
                            }
                        }
                    }
                    avi.streams.push_back(s);
                } else if (Fcc(t) == "odml") {
                    for (const Chunk& c : sub) {
                        if (c.id == "dmlh") {
                            avi.dmlhSize = c.size;
                            auto b = r.Bytes(c.position + 8, 4);
                            if (b.size() == 4) avi.dmlhTotalFrames = U32(b, 0);
                        }
                    }
                }
            }
        }
        return true;
    }

    bool StandardIndex(const Chunk& c) {
        auto b = r.Bytes(c.position + 8, c.size);
        if (b.size() < 24) return Fail("short standard index", c.position);
        StdIndex ix;
        ix.position = c.position;
        ix.fcc = c.id;
        ix.longsPerEntry = static_cast<uint16_t>(b[0] | b[1] << 8);
        ix.subType = b[2];
        ix.type = b[3];
        const uint32_t used = U32(b, 4);
        ix.chunkId = Fcc(&b[8]);
        ix.baseOffset = Le64(&b[12]);
        if (24 + 8ull * used != c.size) return Fail("standard index size does not match its entries", c.position);
        for (uint32_t i = 0; i < used; ++i) ix.entries.emplace_back(U32(b, 24 + 8 * i), U32(b, 28 + 8 * i));
        avi.stdIndexes[c.position] = ix;
        return true;
    }

    bool Movi(const Chunk& movi, Riff* riff) {
        riff->moviPosition = movi.position;
        riff->moviSize = movi.size;
        std::vector<Chunk> kids;
        if (!Children(movi.position + 12, movi.position + 8 + movi.size, &kids)) return false;
        for (const Chunk& k : kids) {
            if (k.id.compare(0, 2, "ix") == 0) {
                if (!StandardIndex(k)) return false;
            } else {
                riff->chunks.push_back(k);
            }
        }
        return true;
    }

    bool File() {
        avi.fileSize = static_cast<uint64_t>(r.file.Size());
        uint64_t pos = 0;
        while (pos < avi.fileSize) {
            uint8_t h[12];
            if (!r.Read(pos, h, 12)) return Fail("short RIFF header", pos);
            if (Fcc(h) != "RIFF") return Fail("expected RIFF", pos);
            Riff riff;
            riff.type = Fcc(h + 8);
            riff.position = pos;
            riff.size = Le32(h + 4);
            if (avi.riffs.empty() != (riff.type == "AVI ")) return Fail("unexpected RIFF type " + riff.type, pos);
            const uint64_t end = pos + 8 + riff.size;
            if (end > avi.fileSize) return Fail("RIFF size beyond the end of file", pos);
            std::vector<Chunk> kids;
            if (!Children(pos + 12, end, &kids)) return false;
            bool seenMovi = false;
            for (const Chunk& k : kids) {
                uint8_t t[4] = {};
                if (k.id == "LIST") r.Read(k.position + 8, t, 4);
                if (k.id == "LIST" && Fcc(t) == "hdrl") {
                    if (!Header(k)) return false;
                } else if (k.id == "LIST" && Fcc(t) == "movi") {
                    if (seenMovi) return Fail("second movi in one RIFF", k.position);
                    seenMovi = true;
                    if (avi.riffs.empty()) avi.headerEnd = k.position;
                    if (!Movi(k, &riff)) return false;
                } else if (seenMovi) {
                    riff.after.push_back(k);
                    if (k.id == "idx1") {
                        auto b = r.Bytes(k.position + 8, k.size);
                        for (size_t i = 0; i + 16 <= b.size(); i += 16) {
                            avi.idx1.push_back({Fcc(&b[i]), U32(b, i + 4), U32(b, i + 8), U32(b, i + 12)});
                        }
                    }
                } else if (avi.riffs.empty()) {
                    avi.headerChunks.push_back(k);
                }
            }
            if (!seenMovi) return Fail("RIFF without movi", pos);
            avi.riffs.push_back(riff);
            pos = end;
        }
        if (pos != avi.fileSize) return Fail("data after the last RIFF", pos);
        return true;
    }
};

}  // namespace

uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return Le32(&b[at]); }

bool ReadAvi(const std::string& path, AviFile* out, std::string* error) {
    Reader r(path);
    if (!r.ok) {
        *error = "cannot open " + path;
        return false;
    }
    *out = AviFile{};
    Walk w{r, *out, *error};
    return w.File();
}

std::vector<std::string> CheckIndexes(const AviFile& avi, const std::string& path) {
    std::vector<std::string> faults;
    auto fault = [&](const std::string& s) {
        if (faults.size() < 20) faults.push_back(s);
    };
    if (avi.riffs.empty()) return {"no RIFF"};
    Reader r(path);

    // idx1 covers exactly the chunks of the first RIFF, in order.
    const Riff& first = avi.riffs[0];
    if (avi.idx1.size() != first.chunks.size()) {
        fault("idx1 has " + std::to_string(avi.idx1.size()) + " entries for " + std::to_string(first.chunks.size()) +
              " chunks");
    }
    for (size_t i = 0; i < avi.idx1.size() && i < first.chunks.size(); ++i) {
        const IdxEntry& e = avi.idx1[i];
        const Chunk& c = first.chunks[i];
        if (first.moviPosition + 8 + e.offset != c.position) fault("idx1 offset of entry " + std::to_string(i));
        if (e.id != c.id) fault("idx1 id of entry " + std::to_string(i));
        if (e.length != c.size) fault("idx1 length of entry " + std::to_string(i));
        if (e.flags != 0 && e.flags != 0x10) fault("idx1 flags of entry " + std::to_string(i));
    }

    // Super and standard indexes: every chunk of the stream, in order.
    std::map<std::string, std::vector<Chunk>> byId;
    for (const Riff& riff : avi.riffs) {
        for (const Chunk& c : riff.chunks) byId[c.id].push_back(c);
    }
    size_t referenced = 0;
    for (size_t s = 0; s < avi.streams.size(); ++s) {
        const Stream& st = avi.streams[s];
        if (st.indexFcc != "indx") continue;
        if (st.longsPerEntry != 4 || st.indexType != 0) fault("indx header of stream " + std::to_string(s));
        const std::vector<Chunk>& chunks = byId[st.indexChunkId];
        size_t next = 0;
        for (const SuperEntry& se : st.super) {
            auto it = avi.stdIndexes.find(se.offset);
            if (it == avi.stdIndexes.end()) {
                fault("super index entry points to no standard index");
                continue;
            }
            ++referenced;
            const StdIndex& ix = it->second;
            if (se.size != 32 + 8 * ix.entries.size()) fault("super index entry size");
            if (ix.chunkId != st.indexChunkId || ix.fcc != "ix" + st.indexChunkId.substr(0, 2)) fault("ix ids");
            if (ix.longsPerEntry != 2 || ix.subType != 0 || ix.type != 1) fault("ix header");
            uint64_t bytes = 0;
            for (const auto& [off, size] : ix.entries) {
                if (next >= chunks.size()) {
                    fault("ix has more entries than the stream has chunks");
                    break;
                }
                const Chunk& c = chunks[next++];
                if (ix.baseOffset + off != c.position + 8) fault("ix offset does not land on chunk data");
                if ((size & 0x7FFFFFFF) != c.size) fault("ix size");
                bytes += size & 0x7FFFFFFF;
            }
            const uint32_t sampleSize = st.strh.size() >= 48 ? U32(st.strh, 44) : 0;
            const uint64_t duration = sampleSize == 0 ? ix.entries.size() : bytes / sampleSize;
            if (se.duration != duration) fault("super index duration");
        }
        if (next != chunks.size()) fault("standard indexes miss chunks of stream " + std::to_string(s));
    }
    if (referenced != avi.stdIndexes.size()) fault("standard index not referenced by any super index");
    return faults;
}

}  // namespace avitest
