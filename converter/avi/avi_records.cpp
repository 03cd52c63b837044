#include "converter/avi/avi_records.h"

namespace vidorra {

void AVIStreamHeader::Store(uint8_t* out) const {
    PutU32(out + 0, fccType);
    PutU32(out + 4, fccHandler);
    PutU32(out + 8, dwFlags);
    PutU16(out + 12, wPriority);
    PutU16(out + 14, wLanguage);
    PutU32(out + 16, dwInitialFrames);
    PutU32(out + 20, dwScale);
    PutU32(out + 24, dwRate);
    PutU32(out + 28, dwStart);
    PutU32(out + 32, dwLength);
    PutU32(out + 36, dwSuggestedBufferSize);
    PutU32(out + 40, dwQuality);
    PutU32(out + 44, dwSampleSize);
    PutU16(out + 48, static_cast<uint16_t>(rcFrame.left));
    PutU16(out + 50, static_cast<uint16_t>(rcFrame.top));
    PutU16(out + 52, static_cast<uint16_t>(rcFrame.right));
    PutU16(out + 54, static_cast<uint16_t>(rcFrame.bottom));
}

AVIStreamHeader AVIStreamHeader::Load(const uint8_t* in) {
    AVIStreamHeader h;
    h.fccType = GetU32(in + 0);
    h.fccHandler = GetU32(in + 4);
    h.dwFlags = GetU32(in + 8);
    h.wPriority = GetU16(in + 12);
    h.wLanguage = GetU16(in + 14);
    h.dwInitialFrames = GetU32(in + 16);
    h.dwScale = GetU32(in + 20);
    h.dwRate = GetU32(in + 24);
    h.dwStart = GetU32(in + 28);
    h.dwLength = GetU32(in + 32);
    h.dwSuggestedBufferSize = GetU32(in + 36);
    h.dwQuality = GetU32(in + 40);
    h.dwSampleSize = GetU32(in + 44);
    h.rcFrame.left = static_cast<int16_t>(GetU16(in + 48));
    h.rcFrame.top = static_cast<int16_t>(GetU16(in + 50));
    h.rcFrame.right = static_cast<int16_t>(GetU16(in + 52));
    h.rcFrame.bottom = static_cast<int16_t>(GetU16(in + 54));
    return h;
}

std::vector<uint8_t> BitmapInfoHeader::Bytes() const {
    std::vector<uint8_t> b(kSize);
    PutU32(&b[0], biSize);
    PutU32(&b[4], static_cast<uint32_t>(biWidth));
    PutU32(&b[8], static_cast<uint32_t>(biHeight));
    PutU16(&b[12], biPlanes);
    PutU16(&b[14], biBitCount);
    PutU32(&b[16], biCompression);
    PutU32(&b[20], biSizeImage);
    PutU32(&b[24], static_cast<uint32_t>(biXPelsPerMeter));
    PutU32(&b[28], static_cast<uint32_t>(biYPelsPerMeter));
    PutU32(&b[32], biClrUsed);
    PutU32(&b[36], biClrImportant);
    return b;
}

std::vector<uint8_t> MpegLayer3WaveFormat::Bytes() const {
    std::vector<uint8_t> b(kSize);
    PutU16(&b[0], wFormatTag);
    PutU16(&b[2], nChannels);
    PutU32(&b[4], nSamplesPerSec);
    PutU32(&b[8], nAvgBytesPerSec);
    PutU16(&b[12], nBlockAlign);
    PutU16(&b[14], wBitsPerSample);
    PutU16(&b[16], cbSize);
    PutU16(&b[18], wID);
    PutU32(&b[20], fdwFlags);
    PutU16(&b[24], nBlockSize);
    PutU16(&b[26], nFramesPerBlock);
    PutU16(&b[28], nCodecDelay);
    return b;
}

}  // namespace vidorra
