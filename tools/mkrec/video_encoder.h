// Encodes the generator's pictures: libavcodec's mpeg4 encoder for the
// MPEG-4 families, libx264 (Annex B, baseline) for the YUV family.
#pragma once

#include "recording_generator.h"

#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace qor::recgen {

struct EncodedPicture {
    std::vector<uint8_t> data;  // coded picture; MPEG-4: GOV (key only) + VOP; H.264: NAL units
    bool key = false;
};

class VideoEncoder {
public:
    VideoEncoder() = default;
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Opens a fresh encoder; the next picture is a key frame.
    bool Open(Family family, int width, int height, int frameRate, int keyInterval, int quality, std::string* error);
    void Close();

    // The 19 configuration bytes of the file header: VO + VOL for MPEG-4,
    // all zero for H.264 (its SPS and PPS travel in the key frames).
    const std::vector<uint8_t>& Config() const { return m_config; }

    // Encodes picture `index`; one coded picture out per picture in.
    bool Encode(const PictureSource& source, int index, EncodedPicture* out, std::string* error);

private:
    Family m_family = Family::Marlin;
    int m_width = 0, m_height = 0;
    int64_t m_pts = 0;
    AVCodecContext* m_context = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    std::vector<uint8_t> m_config;
};

// Removes MPEG-4 user-data segments (00 00 01 B2 up to the next start code):
// that start code is the container's file header start code.
void StripMpeg4UserData(std::vector<uint8_t>* data);

constexpr size_t kVideoConfigLength = 19;

}  // namespace qor::recgen
