#include "recording_reader.h"

#include <cstring>

namespace recgen_test {

namespace {

constexpr uint32_t kFileStart = 0xB2010000u;
constexpr uint32_t kFrameStart = 0xB7010000u;
const char kSignature[] = "DKESTRELMOORBRIGHTWATERSTONE58213";

bool IsFrameHeader(const std::vector<uint8_t>& b, size_t at)
{
    if (at + 20 > b.size() || Le32(&b[at]) != kFrameStart)
        return false;
    const uint32_t length = Le32(&b[at + 4]) & 0xFFFFF;
    return length >= 20 && length <= 512000;
}

bool IsFileHeader(const std::vector<uint8_t>& b, size_t at)
{
    return at + 12 <= b.size() && Le32(&b[at]) == kFileStart && Le32(&b[at + 8]) == 1024;
}

}  // namespace

uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

FileHeader ReadFileHeader(const uint8_t* p, int64_t position)
{
    FileHeader h;
    h.position = position;
    h.typeCode = Le32(p + 4);
    h.headerLength = Le32(p + 8);
    h.contentFlags = Le16(p + 12);
    h.width = Le16(p + 14);
    h.height = Le16(p + 16);
    h.frameRate = Le16(p + 18);
    h.config.assign(p + 22, p + 41);
    h.audioType = Le32(p + 72);
    return h;
}

Parsed ReadRecording(const std::vector<uint8_t>& b)
{
    Parsed out;
    size_t at = 0;
    while (at + 4 <= b.size() && Le32(&b[at]) != kFileStart)
        ++at;
    if (at + 1024 > b.size())
        return out;
    out.header = ReadFileHeader(&b[at], static_cast<int64_t>(at));
    at += 1024;

    const size_t signatureLength = std::strlen(kSignature);
    size_t end = b.size();
    if (b.size() >= signatureLength + 5 &&
        std::memcmp(&b[b.size() - signatureLength], kSignature, signatureLength) == 0) {
        out.hasTrailer = true;
        out.trailerValue = Le32(&b[b.size() - signatureLength - 5]);
        end = b.size() - signatureLength - 5;
    }

    while (at < end) {
        Item item;
        item.position = static_cast<int64_t>(at);
        if (IsFrameHeader(b, at)) {
            const uint32_t word = Le32(&b[at + 4]);
            item.type = static_cast<int>(word >> 30);
            item.length = word & 0xFFFFF;
            item.extensionLength = (word >> 20) & 0x3FF;
            item.width = Le16(&b[at + 8]);
            item.height = Le16(&b[at + 10]);
            item.time = Le32(&b[at + 12]);
            if (item.extensionLength >= 4 && at + 24 <= b.size())
                item.i2i = Le32(&b[at + 20]);
            item.truncated = at + item.length > b.size();
            const size_t codedStart = at + 20 + item.extensionLength;
            if (!item.truncated && item.length >= 20 + item.extensionLength) {
                item.coded = &b[codedStart];
                item.codedLength = item.length - 20 - item.extensionLength;
            }
            out.items.push_back(item);
            if (item.truncated)
                break;
            at += item.length;
        } else if (IsFileHeader(b, at) && at + 1024 <= b.size()) {
            item.type = 6;
            item.length = 1024;
            item.header = ReadFileHeader(&b[at], item.position);
            item.width = item.header.width;
            item.height = item.header.height;
            out.items.push_back(item);
            at += 1024;
        } else {
            item.type = 8;
            size_t next = at + 1;
            while (next < end && !IsFrameHeader(b, next) && !IsFileHeader(b, next))
                ++next;
            item.length = static_cast<uint32_t>(next - at);
            out.items.push_back(item);
            at = next;
        }
    }
    return out;
}

}  // namespace recgen_test
