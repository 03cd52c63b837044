// Byte layout of the recording container: start codes, the 1024-byte file
// header, the 20-byte frame header and the trailer. Everything here works on
// plain byte buffers; callers pass the number of bytes they hold so that no
// accessor reads past them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

// Start codes, compared as little-endian 32-bit words at any alignment.
constexpr uint32_t kFileHeaderStartCode = 0xB2010000;      // 00 00 01 B2
constexpr uint32_t kFrameStartCode = 0xB7010000;           // 00 00 01 B7
constexpr uint32_t kForeignStreamStartCode = 0xA5010000;   // 00 00 01 A5
constexpr uint32_t kProgramStreamStartCode = 0xBA010000;   // 00 00 01 BA
constexpr uint32_t kForeignContainerCode = 0x534B5254;     // "TRKS"

constexpr int kFileHeaderLength = 1024;
constexpr int kFrameHeaderSize = 20;
constexpr int kMaxFrameLength = 512000;
constexpr int kInvalidFrameLength = -1;
constexpr int kMaxExtensionLength = 1023;
constexpr int kI2IOffsetBytes = 4;
// An I2I offset below this means there is no earlier key frame.
constexpr uint32_t kMinI2IOffset = 1024;

// File header offsets.
constexpr int kHeaderFormatTypeOffset = 4;
constexpr int kHeaderLengthOffset = 8;
constexpr int kHeaderContentFlagsOffset = 12;
constexpr int kHeaderWidthOffset = 14;
constexpr int kHeaderHeightOffset = 16;
constexpr int kHeaderFrameRateOffset = 18;
constexpr int kHeaderVideoConfigOffset = 22;
constexpr int kVideoConfigLength = 19;
constexpr int kHeaderAudioTypeOffset = 72;

// Content flag values (bits 14-15 of the 16-bit word at offset 12).
constexpr uint16_t kContentFlagsMask = 0xC000;
constexpr uint16_t kContentVideoAudio = 0x0000;
constexpr uint16_t kContentVideoOnly = 0x4000;
constexpr uint16_t kContentAudioOnly = 0x8000;
constexpr uint16_t kContentInvalid = 0xC000;

// Media stream types reported to callers.
constexpr int kMediaVideoAudio = 0;
constexpr int kMediaVideoOnly = 1;
constexpr int kMediaAudioOnly = 2;
constexpr int kMediaInvalid = 3;

// Format type codes (file header offset 4).
constexpr uint32_t kFormatMarlin = 0x00060002;
constexpr uint32_t kFormatHeron = 0x00060008;
constexpr uint32_t kFormatOsprey = 0x00090002;
constexpr uint32_t kFormatYuv = 0x00060009;

enum class Family { Marlin, Heron, Osprey, Yuv, Unsupported };
Family FamilyFromFormatType(uint32_t uFormatType);

// Frame types found in frame headers, plus the values searches ask for and
// report.
enum FrameType : int {
    kFrameKey = 0,
    kFramePredicted = 1,
    kFramePredicted2 = 2,
    kFrameAudio = 3,
    kFrameAnyVideo = 4,   // search request only
    kFrameAny = 5,        // search request only
    kFrameFileHeader = 6,
    kFrameMixed = 7,
    kFrameUnknown = 8,
};

// The trailer's signature; the 32-bit trailer value ends 34 bytes before the
// signature's last byte.
constexpr char kTrailerSignature[] = "DKESTRELMOORBRIGHTWATERSTONE58213";
constexpr int kTrailerSignatureLength = 33;
constexpr int kTrailerValueDistance = 37;  // from the signature's last byte back to the value
constexpr int kTrailerSearchLength = 512000;

inline uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t ReadLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline void WriteLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Frame header accessors. `p` must hold a whole 20-byte header (24 bytes for
// the I2I offset).
inline uint32_t FrameWord(const uint8_t* p) { return ReadLe32(p + 4); }
inline int FrameTypeOf(const uint8_t* p) {
    uint32_t code = ReadLe32(p);
    if (code == kFrameStartCode) return int(FrameWord(p) >> 30);
    if (code == kFileHeaderStartCode) return kFrameFileHeader;
    return kFrameUnknown;
}
inline int FrameLengthOf(const uint8_t* p) {
    uint32_t length = FrameWord(p) & 0xFFFFF;
    return length <= uint32_t(kMaxFrameLength) ? int(length) : kInvalidFrameLength;
}
inline int ExtensionLengthOf(const uint8_t* p) { return int((FrameWord(p) >> 20) & 0x3FF); }
inline bool HasExtensionOf(const uint8_t* p) { return ExtensionLengthOf(p) != 0; }
inline uint32_t TimeStampOf(const uint8_t* p) { return ReadLe32(p + 12); }
inline uint32_t PictureSizeWordOf(const uint8_t* p) { return ReadLe32(p + 8); }
inline uint32_t I2IOffsetOf(const uint8_t* p) { return ReadLe32(p + 20); }

// Time stamps the recorder writes while its clock is not set yet.
inline bool IsUnsetTimeStamp(uint32_t uTime) { return uTime == 0xFFFFFFFE || uTime == 0xFFFFFFFF; }

// Whether a frame's length is usable: valid, at least the header, and large
// enough to hold its extension.
inline bool IsFrameLengthSound(const uint8_t* p) {
    int length = FrameLengthOf(p);
    return length >= kFrameHeaderSize + ExtensionLengthOf(p);
}

// First offset in [0, iLength - 4] whose 32-bit word equals uCode, or -1.
int FindStartCode(const uint8_t* pBuffer, int iLength, uint32_t uCode);

// The trailer value of a buffer holding the end of a recording, 0 if the
// signature is not there.
uint32_t FindTrailerValue(const uint8_t* pBuffer, int iLength);

}  // namespace qor
