// Generated recordings cut into the frame records the decoders take, plus
// the file information the parser would have filled for them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "player/container/player_file_info.h"
#include "player/decoding/decode_frame.h"
#include "recording_generator.h"

namespace qor::test {

struct CodedFrame {
    const uint8_t* pData = nullptr;
    uint32_t uLength = 0;
    uint32_t uTime = 0;
    int64_t iPosition = 0;
    int iType = 0;          // 0 key, 1 predicted, 3 audio
    int iWidth = 0;
    int iHeight = 0;
    int iPictureIndex = 0;
    bool bAfterHeader = false;  // a file header copy precedes this frame
    const uint8_t* pHeader = nullptr;  // the file header in force for this frame
};

struct RecordingFixture {
    std::vector<uint8_t> bytes;
    recgen::Recording info;
    std::vector<CodedFrame> video;
    std::vector<CodedFrame> audio;
    PlayerFileInfo fileInfo;
};

// Null (with a test failure) when the generator fails.
std::unique_ptr<RecordingFixture> MakeFixture(const recgen::Options& options);

// Writes what the parser reads from a 1024-byte file header.
void ApplyFileHeader(const uint8_t* pHeader, PlayerFileInfo* pInfo);

// The frame record the engine would hand the decoders for this frame.
DecodeFrame ToDecodeFrame(const CodedFrame& frame);

// PSNR in dB of an I420 picture against the generator's source picture.
double PicturePsnr(const PictureDescription& picture, int iWidth, int iHeight, int iPictureIndex);
double PlanePsnr(const uint8_t* pA, int iStrideA, const uint8_t* pB, int iStrideB, int iWidth, int iHeight,
                 double* pSquaredError = nullptr);

}  // namespace qor::test
