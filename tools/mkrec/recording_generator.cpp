// Lays out the container: file header, then video and audio frames
// interleaved by time stamp, with the optional faults the tests need
// (garbage, junk, header copies, false start codes, bad time stamps,
// trailer, truncation).
#include "recording_generator.h"

#include "audio_encoder.h"
#include "video_encoder.h"

#include "platform/file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qor::recgen {

namespace {

constexpr size_t kFileHeaderLength = 1024;
constexpr size_t kFrameHeaderLength = 20;
constexpr uint32_t kMaxFrameLength = 512000;
constexpr uint32_t kInvalidTime = 0xFFFFFFFFu;
constexpr char kTrailerSignature[] = "DKESTRELMOORBRIGHTWATERSTONE58213";
constexpr size_t kSignatureLength = sizeof(kTrailerSignature) - 1;

void PutLe32(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

void PutLe16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

// Bytes from the printable range never form 00 00 01, so they cannot be
// taken for any start code.
void FillJunk(uint8_t* at, size_t length, uint32_t seed)
{
    for (size_t i = 0; i < length; ++i)
        at[i] = static_cast<uint8_t>(0x21 + (seed * 31 + i * 7) % 90);
}

class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const uint8_t* data, size_t length) = 0;
    virtual bool Finish(int64_t truncateBytes) = 0;
    int64_t Position() const { return m_position; }

protected:
    int64_t m_position = 0;
};

class VectorSink final : public ByteSink {
public:
    explicit VectorSink(std::vector<uint8_t>* bytes) : m_bytes(bytes) { m_bytes->clear(); }
    bool Write(const uint8_t* data, size_t length) override
    {
        m_bytes->insert(m_bytes->end(), data, data + length);
        m_position += static_cast<int64_t>(length);
        return true;
    }
    bool Finish(int64_t truncateBytes) override
    {
        m_bytes->resize(m_bytes->size() - static_cast<size_t>(truncateBytes));
        return true;
    }

private:
    std::vector<uint8_t>* m_bytes;
};

class FileSink final : public ByteSink {
public:
    bool Open(const std::string& path, std::string* error)
    {
        if (!m_file.Open(path, File::Mode::CreateAlways)) {
            *error = "cannot create " + path + ": " + std::strerror(m_file.LastError());
            return false;
        }
        m_buffer.reserve(kBufferSize);
        return true;
    }
    bool Write(const uint8_t* data, size_t length) override
    {
        m_position += static_cast<int64_t>(length);
        if (m_buffer.size() + length > kBufferSize && !Flush())
            return false;
        if (length >= kBufferSize)
            return m_file.Write(data, length);
        m_buffer.insert(m_buffer.end(), data, data + length);
        return true;
    }
    bool Finish(int64_t truncateBytes) override
    {
        if (!Flush())
            return false;
        if (truncateBytes > 0) {
            if (m_file.Seek(m_position - truncateBytes, File::Origin::Begin) < 0 || !m_file.SetEndOfFile())
                return false;
        }
        m_file.Close();
        return true;
    }
    // A failed run leaves no half-written recording behind.
    void Abandon()
    {
        const std::string path = m_file.Path();
        m_file.Close();
        if (!path.empty())
            std::remove(path.c_str());
    }

private:
    static constexpr size_t kBufferSize = 4 << 20;
    bool Flush()
    {
        if (m_buffer.empty())
            return true;
        const bool ok = m_file.Write(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
        return ok;
    }
    File m_file;
    std::vector<uint8_t> m_buffer;
};

bool Validate(const Options& o, std::string* error)
{
    auto sizeOk = [](int w, int h) { return w >= 16 && h >= 16 && w <= 4096 && h <= 4096 && w % 2 == 0 && h % 2 == 0; };
    if (!sizeOk(o.width, o.height)) {
        *error = "picture size must be even and between 16x16 and 4096x4096";
        return false;
    }
    if (o.frameRate < 1 || o.frameRate > 1000) {
        *error = "frame rate must be 1..1000";
        return false;
    }
    if (o.frameCount < 0) {
        *error = "frame count must not be negative";
        return false;
    }
    if (o.keyInterval < 1) {
        *error = "key interval must be at least 1";
        return false;
    }
    if (o.quality < 1 || o.quality > 31) {
        *error = "quality must be 1..31";
        return false;
    }
    if (o.truncateBytes < 0) {
        *error = "truncation must not be negative";
        return false;
    }
    if (o.audio && o.family != Family::Osprey) {
        if (o.audioType != 0x4000 && o.audioType != 0x6000 && o.audioType != 0x8000 && o.audioType != 0x10000) {
            *error = "audio type must be 0x4000, 0x6000, 0x8000 or 0x10000";
            return false;
        }
        const int bytes = o.audioType == 0x10000 ? o.audioFrameSamples : o.audioFrameSamples / 2;
        if (o.audioFrameSamples < 2 || o.audioFrameSamples % 2 != 0 || bytes > 4096) {
            *error = "audio frame samples must be even and give at most 4096 bytes";
            return false;
        }
    }
    for (const ExtraHeader& h : o.extraHeaders) {
        if (h.beforeFrame < 0 || h.beforeFrame >= o.frameCount || !sizeOk(h.width, h.height)) {
            *error = "extra header before frame " + std::to_string(h.beforeFrame) + " is out of range";
            return false;
        }
    }
    return true;
}

class Generator {
public:
    Generator(const Options& options, ByteSink* sink, Recording* info)
        : m_o(options), m_sink(sink), m_info(info)
    {
    }

    bool Run(std::string* error);

private:
    uint32_t VideoBaseTime(int i) const
    {
        return static_cast<uint32_t>((static_cast<int64_t>(i) * 1000 + m_o.frameRate / 2) / m_o.frameRate);
    }
    uint32_t AudioBaseTime(int k) const
    {
        const int64_t samples = static_cast<int64_t>(k) * m_audio.SamplesPerFrame();
        return static_cast<uint32_t>((samples * 1000 + m_audio.SampleRate() / 2) / m_audio.SampleRate());
    }
    // Gaps move every frame from their video frame's time on, audio included,
    // as a pause in the recording would.
    uint32_t GapBefore(uint32_t baseTime) const
    {
        uint32_t sum = 0;
        for (const auto& [frame, ms] : m_o.timeGaps) {
            if (VideoBaseTime(frame) <= baseTime)
                sum += ms;
        }
        return sum;
    }

    bool Put(const uint8_t* data, size_t length, std::string* error)
    {
        if (!m_sink->Write(data, length)) {
            *error = "write failed";
            return false;
        }
        return true;
    }
    void Record(const FrameRecord& record)
    {
        m_info->frames.push_back(record);
        if (record.type == 0)
            m_info->keyFrames.push_back(record);
    }

    bool WriteFileHeader(int width, int height, const std::vector<uint8_t>& config, std::string* error);
    bool WriteFrame(int type, uint32_t time, uint32_t logicalTime, int pictureIndex, const uint8_t* ext,
                    uint32_t extLength, const std::vector<const std::vector<uint8_t>*>& parts, std::string* error);
    bool WriteVideo(int i, std::string* error);
    bool WriteAudio(int k, std::string* error);

    const Options& m_o;
    ByteSink* m_sink;
    Recording* m_info;
    VideoEncoder m_video;
    AudioEncoder m_audio;
    int m_width = 0, m_height = 0;
    int64_t m_previousKey = -1;
    bool m_headersInKeys = false;
    std::vector<uint8_t> m_header = std::vector<uint8_t>(kFileHeaderLength);
    std::vector<uint8_t> m_payload;
    EncodedPicture m_picture;
    std::vector<uint8_t> m_falseStarts;
};

bool Generator::WriteFileHeader(int width, int height, const std::vector<uint8_t>& config, std::string* error)
{
    std::fill(m_header.begin(), m_header.end(), 0);
    uint8_t* h = m_header.data();
    h[0] = 0x00, h[1] = 0x00, h[2] = 0x01, h[3] = 0xB2;
    PutLe32(h + 4, FormatTypeCode(m_o.family));
    PutLe32(h + 8, kFileHeaderLength);
    PutLe16(h + 12, m_o.audio ? 0x0000 : 0x4000);  // media stream type 0 video+audio, 1 video only
    PutLe16(h + 14, static_cast<uint32_t>(width));
    PutLe16(h + 16, static_cast<uint32_t>(height));
    PutLe16(h + 18, static_cast<uint32_t>(m_o.frameRate));
    std::copy(config.begin(), config.end(), h + 22);
    PutLe32(h + 72, m_o.audio ? m_o.audioType : 0);
    return Put(h, kFileHeaderLength, error);
}

bool Generator::WriteFrame(int type, uint32_t time, uint32_t logicalTime, int pictureIndex, const uint8_t* ext,
                           uint32_t extLength, const std::vector<const std::vector<uint8_t>*>& parts,
                           std::string* error)
{
    size_t length = kFrameHeaderLength + extLength;
    for (const auto* part : parts)
        length += part->size();
    if (length > kMaxFrameLength) {
        *error = "frame of " + std::to_string(length) + " bytes exceeds 512000; lower the quality or size";
        return false;
    }
    const int64_t position = m_sink->Position();
    uint8_t header[kFrameHeaderLength] = {0x00, 0x00, 0x01, 0xB7};
    PutLe32(header + 4, static_cast<uint32_t>(length) | (extLength << 20) | (static_cast<uint32_t>(type) << 30));
    PutLe16(header + 8, static_cast<uint32_t>(m_width));
    PutLe16(header + 10, static_cast<uint32_t>(m_height));
    PutLe32(header + 12, time);
    PutLe32(header + 16, 0);
    if (!Put(header, sizeof(header), error) || (extLength && !Put(ext, extLength, error)))
        return false;
    for (const auto* part : parts) {
        if (!part->empty() && !Put(part->data(), part->size(), error))
            return false;
    }
    FrameRecord r{};
    r.type = type;
    r.position = position;
    r.length = static_cast<uint32_t>(length);
    r.time = time;
    r.logicalTime = logicalTime;
    r.width = m_width;
    r.height = m_height;
    r.extensionLength = extLength;
    r.i2iOffset = extLength >= 4 ? static_cast<uint32_t>(ext[0] | ext[1] << 8 | ext[2] << 16 | ext[3] << 24) : 0;
    r.pictureIndex = pictureIndex;
    Record(r);
    return true;
}

bool Generator::WriteVideo(int i, std::string* error)
{
    for (size_t j = 0; j < m_o.unknownBefore.size(); ++j) {
        if (m_o.unknownBefore[j] != i)
            continue;
        std::vector<uint8_t> junk(std::max<size_t>(m_o.unknownLength, 1));
        FillJunk(junk.data(), junk.size(), static_cast<uint32_t>(i + j));
        FrameRecord r{};
        r.type = 8;
        r.position = m_sink->Position();
        r.length = static_cast<uint32_t>(junk.size());
        r.width = m_width;
        r.height = m_height;
        r.pictureIndex = -1;
        if (!Put(junk.data(), junk.size(), error))
            return false;
        Record(r);
    }
    for (const ExtraHeader& extra : m_o.extraHeaders) {
        if (extra.beforeFrame != i)
            continue;
        // A recorder that restarts writes a new header and begins again with
        // a key frame, possibly at another picture size.
        if (!m_video.Open(m_o.family, extra.width, extra.height, m_o.frameRate, m_o.keyInterval, m_o.quality, error))
            return false;
        m_width = extra.width;
        m_height = extra.height;
        FrameRecord r{};
        r.type = 6;
        r.position = m_sink->Position();
        r.length = kFileHeaderLength;
        r.width = m_width;
        r.height = m_height;
        r.pictureIndex = -1;
        if (!WriteFileHeader(m_width, m_height, m_video.Config(), error))
            return false;
        Record(r);
    }

    if (!m_video.Encode(m_o.pictureSource, i, &m_picture, error))
        return false;
    const uint32_t logical = m_o.startTime + VideoBaseTime(i) + GapBefore(VideoBaseTime(i));
    const bool invalid = std::find(m_o.invalidTimeFrames.begin(), m_o.invalidTimeFrames.end(), i) !=
                         m_o.invalidTimeFrames.end();
    const uint32_t time = invalid ? kInvalidTime : logical;

    static const std::vector<uint8_t> kNone;
    std::vector<const std::vector<uint8_t>*> parts;
    uint8_t ext[4] = {};
    uint32_t extLength = 0;
    if (m_picture.key) {
        if (m_o.backLinks) {
            const int64_t here = m_sink->Position();
            PutLe32(ext, m_previousKey < 0 ? 0 : static_cast<uint32_t>(here - m_previousKey));
            extLength = 4;
        }
        m_previousKey = m_sink->Position();
        if (m_headersInKeys)
            parts.push_back(&m_video.Config());
    }
    parts.push_back(&m_picture.data);
    parts.push_back(m_o.falseStartCodes ? &m_falseStarts : &kNone);
    return WriteFrame(m_picture.key ? 0 : 1, time, logical, i, ext, extLength, parts, error);
}

bool Generator::WriteAudio(int k, std::string* error)
{
    if (!m_audio.Next(&m_payload, error))
        return false;
    const uint32_t time = m_o.startTime + AudioBaseTime(k) + GapBefore(AudioBaseTime(k));
    return WriteFrame(3, time, time, k, nullptr, 0, {&m_payload}, error);
}

bool Generator::Run(std::string* error)
{
    if (!Validate(m_o, error))
        return false;
    *m_info = Recording{};
    m_width = m_o.width;
    m_height = m_o.height;
    m_headersInKeys = m_o.family == Family::Osprey || (m_o.headersInKeyFrames && m_o.family != Family::Yuv);
    // Followed by a frame length that is 0 or far too large, these runs can
    // only be false start codes; the file header one has no valid length.
    m_falseStarts = {0x00, 0x00, 0x01, 0xB7, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0xB7, 0x00, 0x00, 0x00,
                     0x00, 0x00, 0x00, 0x01, 0xB2, 0x55, 0x55, 0x55, 0x55, 0x00, 0x00, 0x00, 0x00};

    if (!m_video.Open(m_o.family, m_width, m_height, m_o.frameRate, m_o.keyInterval, m_o.quality, error))
        return false;
    int audioFrames = 0;
    if (m_o.audio) {
        if (!m_audio.Open(m_o, error))
            return false;
        // Sound covers the same span as the pictures.
        const uint32_t duration = VideoBaseTime(m_o.frameCount);
        while (AudioBaseTime(audioFrames) < duration)
            ++audioFrames;
        m_info->audioSampleRate = m_audio.SampleRate();
        m_info->audioChannels = m_audio.Channels();
        m_info->audioFrameCount = audioFrames;
    }

    std::vector<uint8_t> garbage(m_o.leadingGarbage);
    FillJunk(garbage.data(), garbage.size(), 7);
    if (!garbage.empty() && !Put(garbage.data(), garbage.size(), error))
        return false;
    m_info->headerPosition = m_sink->Position();
    m_info->videoConfig = m_video.Config();
    if (!WriteFileHeader(m_width, m_height, m_video.Config(), error))
        return false;

    int i = 0, k = 0;
    while (i < m_o.frameCount || k < audioFrames) {
        // At equal times the picture goes first, so a recording opens with a key frame.
        const bool audioNext = k < audioFrames && (i >= m_o.frameCount || AudioBaseTime(k) < VideoBaseTime(i));
        if (audioNext ? !WriteAudio(k++, error) : !WriteVideo(i++, error))
            return false;
    }

    if (m_o.trailerValue) {
        uint8_t trailer[5 + kSignatureLength] = {};
        PutLe32(trailer, *m_o.trailerValue);
        std::memcpy(trailer + 5, kTrailerSignature, kSignatureLength);
        if (!Put(trailer, sizeof(trailer), error))
            return false;
    }
    m_info->untruncatedSize = m_sink->Position();
    if (m_o.truncateBytes > m_info->untruncatedSize) {
        *error = "cannot truncate more bytes than the recording has";
        return false;
    }
    if (!m_sink->Finish(m_o.truncateBytes)) {
        *error = "write failed";
        return false;
    }
    m_info->fileSize = m_info->untruncatedSize - m_o.truncateBytes;
    return true;
}

}  // namespace

uint32_t FormatTypeCode(Family family)
{
    switch (family) {
    case Family::Marlin: return 0x00060002;
    case Family::Heron: return 0x00060008;
    case Family::Osprey: return 0x00090002;
    case Family::Yuv: return 0x00060009;
    }
    return 0;
}

const char* FamilyName(Family family)
{
    switch (family) {
    case Family::Marlin: return "marlin";
    case Family::Heron: return "heron";
    case Family::Osprey: return "osprey";
    case Family::Yuv: return "yuv";
    }
    return "?";
}

bool ParseFamily(const std::string& name, Family* family)
{
    for (Family f : {Family::Marlin, Family::Heron, Family::Osprey, Family::Yuv}) {
        if (name == FamilyName(f)) {
            *family = f;
            return true;
        }
    }
    return false;
}

bool MakeRecording(const Options& options, std::vector<uint8_t>* bytes, Recording* info, std::string* error)
{
    Recording local;
    std::string localError;
    VectorSink sink(bytes);
    Generator generator(options, &sink, info ? info : &local);
    return generator.Run(error ? error : &localError);
}

bool WriteRecording(const Options& options, const std::string& path, Recording* info, std::string* error)
{
    Recording local;
    std::string localError;
    std::string* err = error ? error : &localError;
    FileSink sink;
    if (!sink.Open(path, err))
        return false;
    Generator generator(options, &sink, info ? info : &local);
    if (generator.Run(err))
        return true;
    sink.Abandon();
    return false;
}

}  // namespace qor::recgen
