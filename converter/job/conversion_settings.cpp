#include "converter/job/conversion_settings.h"

#include <limits>

#include "platform/debug_output.h"

namespace vidorra {

namespace {

constexpr AudioSettings kAudioTable[] = {
    {8000, 16000, 32000, 4000},  // doubled to 16 kHz before encoding
    {44100, 44100, 64000, 8000},
};

}  // namespace

int NormalizeQualityLevel(int level) {
    return level >= 0 && level < kQualityLevelCount ? level : kDefaultQualityLevel;
}

ConversionSettings ConversionSettings::ForQualityLevel(int level) {
    ConversionSettings settings;
    settings.qualityLevel = NormalizeQualityLevel(level);
    const QualityRow& row = kQualityTable[settings.qualityLevel];
    settings.bitrateFactor = row.bitrateFactor;
    settings.presetIndex = row.presetIndex;
    return settings;
}

int32_t TargetBitrate(uint64_t fileSize, int32_t totalSeconds, float bitrateFactor) {
    if (totalSeconds <= 0) return kFallbackBitrate;
    // Double keeps every byte count a file system can hold exact enough and
    // cannot overflow; a very short, very large file would exceed the encoder's
    // integer, so the result is clamped rather than wrapped.
    const double bits = static_cast<double>(fileSize) * 8.0 * static_cast<double>(bitrateFactor) / totalSeconds;
    if (!(bits >= 0.0)) return 0;
    if (bits >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(bits);
}

const AudioSettings* AudioSettingsFor(uint32_t sampleRate) {
    for (const AudioSettings& row : kAudioTable) {
        if (row.sourceRate == sampleRate) return &row;
    }
    return nullptr;
}

AviFrameRate AviFrameRateFor(int height) {
    // PAL recorders deliver 288 or 576 lines; everything else is NTSC timing.
    if (height == 288 || height == 576) return {1, 25};
    return {1001, 30000};
}

bool SetAviVideoStream(AVIOutputStream* stream, int width, int height) {
    AVIStreamHeader header;
    header.fccType = MakeFourCC("vids");
    header.fccHandler = MakeFourCC("xvid");
    const AviFrameRate frameRate = AviFrameRateFor(height);
    header.dwScale = frameRate.scale;
    header.dwRate = frameRate.rate;
    stream->SetStreamHeader(header);

    BitmapInfoHeader format;
    format.biSize = BitmapInfoHeader::kSize;
    format.biWidth = width;
    format.biHeight = height;
    format.biPlanes = 0;
    format.biBitCount = 0;
    format.biCompression = MakeFourCC("xvid");
    const std::vector<uint8_t> bytes = format.Bytes();
    stream->SetFormat(bytes.data(), BitmapInfoHeader::kSize);
    return true;
}

bool SetAviAudioStream(AVIOutputStream* stream, const QorWaveFormat& waveFormat, Mp3EncoderState* mp3) {
    const AudioSettings* audio = AudioSettingsFor(waveFormat.nSamplesPerSec);
    if (audio == nullptr) {
        qor::DebugOutput("[QOR]out wave format error!\n");
        return false;
    }
    // An encoder left open by an earlier failure would otherwise leak when
    // the state is cleared.
    if (mp3->handle != nullptr) mp3_close(mp3);
    *mp3 = Mp3EncoderState{};
    if (mp3_init(mp3, waveFormat.nChannels, audio->mp3SampleRate, audio->mp3Bitrate) != 0) return false;

    AVIStreamHeader header;
    header.fccType = MakeFourCC("auds");
    header.fccHandler = 0;
    header.dwFlags = 0;
    header.wPriority = 0;
    header.wLanguage = 0;
    header.dwInitialFrames = 1;
    header.dwScale = 1;
    header.dwRate = audio->averageBytesPerSecond;
    header.dwStart = 0;
    header.dwQuality = 0xFFFFFFFFu;
    header.dwSampleSize = 1;
    header.rcFrame.left = 77;
    header.rcFrame.top = 40;
    header.rcFrame.right = 46;
    header.rcFrame.bottom = 110;
    stream->SetStreamHeader(header);

    MpegLayer3WaveFormat format;
    format.wFormatTag = 0x0055;
    format.nChannels = waveFormat.nChannels;
    format.nSamplesPerSec = static_cast<uint32_t>(audio->mp3SampleRate);
    format.nAvgBytesPerSec = audio->averageBytesPerSecond;
    format.nBlockAlign = 1;
    format.wBitsPerSample = 0;
    format.cbSize = 12;
    format.wID = 1;
    format.fdwFlags = 2;
    format.nBlockSize = 4608;
    format.nFramesPerBlock = 1;
    format.nCodecDelay = 0;
    const std::vector<uint8_t> bytes = format.Bytes();
    stream->SetFormat(bytes.data(), MpegLayer3WaveFormat::kSize);
    return true;
}

}  // namespace vidorra
