#include "recording_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qor::test {

namespace {

uint32_t Word(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
int Half(const uint8_t* p) { return p[0] | (p[1] << 8); }

}  // namespace

void ApplyFileHeader(const uint8_t* pHeader, PlayerFileInfo* pInfo) {
    pInfo->uFormatType = Word(pHeader + 4);
    pInfo->iWidth = pInfo->iCurWidth = Half(pHeader + 14);
    pInfo->iHeight = pInfo->iCurHeight = Half(pHeader + 16);
    std::copy(pHeader + 22, pHeader + 41, pInfo->videoConfig);
    pInfo->iVideoConfigLength = 19;
    pInfo->pMpegFileHeader = pHeader;
    pInfo->iMpegFileHeaderLength = 1024;
}

std::unique_ptr<RecordingFixture> MakeFixture(const recgen::Options& options) {
    auto fixture = std::make_unique<RecordingFixture>();
    std::string error;
    if (!recgen::MakeRecording(options, &fixture->bytes, &fixture->info, &error)) {
        ADD_FAILURE() << "generator: " << error;
        return nullptr;
    }
    const uint8_t* base = fixture->bytes.data();
    const uint8_t* header = base + fixture->info.headerPosition;
    bool afterHeader = false;
    for (const auto& record : fixture->info.frames) {
        if (record.type == 6) {
            header = base + record.position;
            afterHeader = true;
            continue;
        }
        if (record.type != 0 && record.type != 1 && record.type != 3) continue;
        const uint8_t* frameHeader = base + record.position;
        const uint32_t word = Word(frameHeader + 4);
        const uint32_t extension = (word >> 20) & 0x3FF;
        CodedFrame frame;
        frame.pData = frameHeader + 20 + extension;
        frame.uLength = record.length - extension - 20;
        frame.uTime = record.time;
        frame.iPosition = record.position;
        frame.iType = record.type;
        frame.iWidth = record.width;
        frame.iHeight = record.height;
        frame.iPictureIndex = record.pictureIndex;
        frame.pHeader = header;
        if (record.type == 3) {
            fixture->audio.push_back(frame);
        } else {
            frame.bAfterHeader = afterHeader;
            afterHeader = false;
            fixture->video.push_back(frame);
        }
    }
    ApplyFileHeader(base + fixture->info.headerPosition, &fixture->fileInfo);
    return fixture;
}

DecodeFrame ToDecodeFrame(const CodedFrame& frame) {
    DecodeFrame record;
    record.pData = frame.pData;
    record.uLength = frame.uLength;
    record.times.uTime = frame.uTime;
    record.times.uPositionLow = static_cast<uint32_t>(frame.iPosition);
    record.times.uPositionHigh = static_cast<uint32_t>(frame.iPosition >> 32);
    record.bNewFileHeader = frame.bAfterHeader;
    return record;
}

double PlanePsnr(const uint8_t* pA, int iStrideA, const uint8_t* pB, int iStrideB, int iWidth, int iHeight,
                 double* pSquaredError) {
    double sum = 0;
    for (int y = 0; y < iHeight; ++y)
        for (int x = 0; x < iWidth; ++x) {
            const double d = static_cast<double>(pA[y * iStrideA + x]) - pB[y * iStrideB + x];
            sum += d * d;
        }
    if (pSquaredError) *pSquaredError = sum;
    const double mse = sum / (static_cast<double>(iWidth) * iHeight);
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

double PicturePsnr(const PictureDescription& picture, int iWidth, int iHeight, int iPictureIndex) {
    const int cw = iWidth / 2, ch = iHeight / 2;
    std::vector<uint8_t> y(static_cast<size_t>(iWidth) * iHeight), u(static_cast<size_t>(cw) * ch), v(u.size());
    recgen::TestPattern(iPictureIndex, iWidth, iHeight, y.data(), iWidth, u.data(), v.data(), cw);
    double ey = 0, eu = 0, ev = 0;
    PlanePsnr(picture.pY, picture.iStrideY, y.data(), iWidth, iWidth, iHeight, &ey);
    PlanePsnr(picture.pU, picture.iStrideU, u.data(), cw, cw, ch, &eu);
    PlanePsnr(picture.pV, picture.iStrideV, v.data(), cw, cw, ch, &ev);
    const double mse = (ey + eu + ev) / (static_cast<double>(iWidth) * iHeight * 3 / 2);
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace qor::test
