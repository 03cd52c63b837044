// Small hand-built recordings for the container tests: a header, frames of
// chosen kinds, lengths and times, garbage and a trailer, byte for byte.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "player/container/format.h"

namespace qor::test {

inline std::vector<uint8_t> MakeFileHeader(int width = 352, int height = 288, uint16_t flags = 0,
                                           uint32_t formatType = kFormatMarlin, uint8_t configSeed = 1) {
    std::vector<uint8_t> h(kFileHeaderLength, 0);
    WriteLe32(h.data(), kFileHeaderStartCode);
    WriteLe32(h.data() + kHeaderFormatTypeOffset, formatType);
    WriteLe32(h.data() + kHeaderLengthOffset, kFileHeaderLength);
    h[kHeaderContentFlagsOffset] = uint8_t(flags);
    h[kHeaderContentFlagsOffset + 1] = uint8_t(flags >> 8);
    h[kHeaderWidthOffset] = uint8_t(width);
    h[kHeaderWidthOffset + 1] = uint8_t(width >> 8);
    h[kHeaderHeightOffset] = uint8_t(height);
    h[kHeaderHeightOffset + 1] = uint8_t(height >> 8);
    h[kHeaderFrameRateOffset] = 25;
    const uint8_t vol[4] = {0, 0, 1, 0};
    std::memcpy(h.data() + kHeaderVideoConfigOffset, vol, 4);
    for (int i = 4; i < kVideoConfigLength; ++i) h[kHeaderVideoConfigOffset + i] = uint8_t(configSeed + i);
    WriteLe32(h.data() + kHeaderAudioTypeOffset, 0x8000);
    return h;
}

// A 20-byte frame header; `length` is the raw 20-bit field.
inline std::vector<uint8_t> MakeFrameHeader(int type, uint32_t length, uint32_t time, int extension = 0,
                                            int width = 352, int height = 288) {
    std::vector<uint8_t> f(kFrameHeaderSize, 0);
    WriteLe32(f.data(), kFrameStartCode);
    WriteLe32(f.data() + 4, (length & 0xFFFFF) | (uint32_t(extension & 0x3FF) << 20) | (uint32_t(type & 3) << 30));
    f[8] = uint8_t(width);
    f[9] = uint8_t(width >> 8);
    f[10] = uint8_t(height);
    f[11] = uint8_t(height >> 8);
    WriteLe32(f.data() + 12, time);
    return f;
}

class RecordingFixture {
public:
    std::vector<uint8_t> bytes;
    std::vector<int64_t> keyPositions;
    std::vector<uint32_t> keyTimes;
    std::vector<uint32_t> keyLengths;

    RecordingFixture& Garbage(size_t n, uint8_t value = 0xAA) {
        bytes.insert(bytes.end(), n, value);
        return *this;
    }
    RecordingFixture& Header(int width = 352, int height = 288, uint16_t flags = 0) {
        auto h = MakeFileHeader(width, height, flags);
        bytes.insert(bytes.end(), h.begin(), h.end());
        return *this;
    }
    // A key frame; with backLink it carries an I2I offset to the previous key
    // frame (0 for the first), or `i2iOverride` when given.
    RecordingFixture& Key(uint32_t time, int payload = 200, bool backLink = true, int64_t i2iOverride = -1) {
        int extension = backLink ? 4 : 0;
        uint32_t length = uint32_t(kFrameHeaderSize + extension + payload);
        int64_t position = int64_t(bytes.size());
        Append(MakeFrameHeader(kFrameKey, length, time, extension));
        if (backLink) {
            uint32_t i2i = keyPositions.empty() ? 0 : uint32_t(position - keyPositions.back());
            if (i2iOverride >= 0) i2i = uint32_t(i2iOverride);
            uint8_t word[4];
            WriteLe32(word, i2i);
            bytes.insert(bytes.end(), word, word + 4);
        }
        Payload(payload);
        keyPositions.push_back(position);
        keyTimes.push_back(time);
        keyLengths.push_back(length);
        return *this;
    }
    RecordingFixture& Frame(int type, uint32_t time, int payload = 100) {
        Append(MakeFrameHeader(type, uint32_t(kFrameHeaderSize + payload), time));
        Payload(payload);
        return *this;
    }
    RecordingFixture& Raw(const std::vector<uint8_t>& raw) {
        Append(raw);
        return *this;
    }
    RecordingFixture& Trailer(uint32_t value) {
        uint8_t word[4];
        WriteLe32(word, value);
        bytes.insert(bytes.end(), word, word + 4);
        bytes.push_back(0);  // the byte before the signature
        bytes.insert(bytes.end(), kTrailerSignature, kTrailerSignature + kTrailerSignatureLength);
        return *this;
    }
    bool Write(const std::string& path) const {
        File f;
        return f.Open(path, File::Mode::CreateAlways) && f.Write(bytes.data(), bytes.size());
    }

private:
    void Append(const std::vector<uint8_t>& v) { bytes.insert(bytes.end(), v.begin(), v.end()); }
    void Payload(int n) {
        // Payload bytes never form a start code.
        for (int i = 0; i < n; ++i) bytes.push_back(uint8_t(0x10 + (i % 0x60)));
    }
};

// A fresh folder per test, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = std::string(::testing::TempDir()) + "qor_container_XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) != nullptr) m_path = buf.data();
    }
    ~TempFolder() {
        if (!m_path.empty()) {
            std::string cmd = "rm -rf '" + m_path + "'";
            (void)!std::system(cmd.c_str());
        }
    }
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

}  // namespace qor::test
