#include "video_encoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace qor::recgen {

namespace {

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

// Offset of the next 00 00 01 at or after `from`, or size.
size_t FindStartCodePrefix(const std::vector<uint8_t>& data, size_t from)
{
    for (size_t i = from; i + 3 <= data.size(); ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    }
    return data.size();
}

}  // namespace

void StripMpeg4UserData(std::vector<uint8_t>* data)
{
    size_t at = FindStartCodePrefix(*data, 0);
    while (at < data->size()) {
        if (at + 3 < data->size() && (*data)[at + 3] == 0xB2) {
            const size_t end = FindStartCodePrefix(*data, at + 4);
            data->erase(data->begin() + static_cast<ptrdiff_t>(at), data->begin() + static_cast<ptrdiff_t>(end));
            at = FindStartCodePrefix(*data, at);
        } else {
            at = FindStartCodePrefix(*data, at + 3);
        }
    }
}

VideoEncoder::~VideoEncoder()
{
    Close();
}

void VideoEncoder::Close()
{
    avcodec_free_context(&m_context);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    m_config.clear();
}

bool VideoEncoder::Open(Family family, int width, int height, int frameRate, int keyInterval, int quality,
                        std::string* error)
{
    Close();
    m_family = family;
    m_width = width;
    m_height = height;
    m_pts = 0;
    const bool h264 = family == Family::Yuv;
    const AVCodec* codec = avcodec_find_encoder_by_name(h264 ? "libx264" : "mpeg4");
    if (!codec) {
        *error = h264 ? "libavcodec has no libx264 encoder" : "libavcodec has no mpeg4 encoder";
        return false;
    }
    m_context = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_context || !m_frame || !m_packet) {
        *error = "out of memory";
        return false;
    }
    m_context->width = width;
    m_context->height = height;
    m_context->pix_fmt = AV_PIX_FMT_YUV420P;
    m_context->time_base = AVRational{1, frameRate};
    m_context->framerate = AVRational{frameRate, 1};
    m_context->gop_size = keyInterval;
    m_context->max_b_frames = 0;
    m_context->thread_count = 1;
    // Bit-exact output carries no encoder identification; for MPEG-4 that
    // would be user data, whose start code is the file header start code.
    m_context->flags |= AV_CODEC_FLAG_BITEXACT;
    if (h264) {
        const int qp = std::clamp(12 + 3 * quality, 0, 51);
        const std::string params = "repeat-headers=1:annexb=1:bframes=0:scenecut=0:keyint=" +
                                   std::to_string(keyInterval) + ":min-keyint=" + std::to_string(keyInterval) +
                                   ":qp=" + std::to_string(qp) + ":log=-1";
        av_opt_set(m_context->priv_data, "preset", "ultrafast", 0);
        av_opt_set(m_context->priv_data, "tune", "zerolatency", 0);
        av_opt_set(m_context->priv_data, "profile", "baseline", 0);
        av_opt_set(m_context->priv_data, "x264-params", params.c_str(), 0);
    } else {
        // VO and VOL go to the file header, so ask for them as global headers.
        m_context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER | AV_CODEC_FLAG_QSCALE;
        m_context->global_quality = FF_QP2LAMBDA * std::clamp(quality, 1, 31);
        // Key frames exactly every keyInterval pictures, never on scene cuts.
        av_opt_set_int(m_context->priv_data, "sc_threshold", 1000000000, 0);
    }
    const int rc = avcodec_open2(m_context, codec, nullptr);
    if (rc < 0) {
        *error = "cannot open the video encoder: " + AvError(rc);
        return false;
    }
    m_frame->width = width;
    m_frame->height = height;
    m_frame->format = AV_PIX_FMT_YUV420P;
    if (av_frame_get_buffer(m_frame, 0) < 0) {
        *error = "out of memory";
        return false;
    }

    m_config.assign(kVideoConfigLength, 0);
    if (!h264) {
        // Extradata is VOS + VO + VOL; the file header keeps VO + VOL.
        std::vector<uint8_t> headers;
        if (m_context->extradata)
            headers.assign(m_context->extradata, m_context->extradata + m_context->extradata_size);
        StripMpeg4UserData(&headers);
        size_t vo = headers.size();
        for (size_t i = 0; i + 4 <= headers.size(); ++i) {
            if (headers[i] == 0 && headers[i + 1] == 0 && headers[i + 2] == 1 && headers[i + 3] == 0x00) {
                vo = i;
                break;
            }
        }
        const size_t length = headers.size() - vo;
        if (length == 0 || length > kVideoConfigLength) {
            *error = "the encoder's VO+VOL headers are " + std::to_string(length) + " bytes, not " +
                     std::to_string(kVideoConfigLength);
            return false;
        }
        std::copy(headers.begin() + static_cast<ptrdiff_t>(vo), headers.end(), m_config.begin());
    }
    return true;
}

bool VideoEncoder::Encode(const PictureSource& source, int index, EncodedPicture* out, std::string* error)
{
    if (!m_context) {
        *error = "video encoder not open";
        return false;
    }
    if (av_frame_make_writable(m_frame) < 0) {
        *error = "out of memory";
        return false;
    }
    if (source) {
        source(index, m_width, m_height, m_frame->data[0], m_frame->linesize[0], m_frame->data[1],
               m_frame->data[2], m_frame->linesize[1]);
    } else {
        TestPattern(index, m_width, m_height, m_frame->data[0], m_frame->linesize[0], m_frame->data[1],
                    m_frame->data[2], m_frame->linesize[1]);
    }
    m_frame->pts = m_pts++;
    int rc = avcodec_send_frame(m_context, m_frame);
    if (rc < 0) {
        *error = "video encoding failed: " + AvError(rc);
        return false;
    }
    rc = avcodec_receive_packet(m_context, m_packet);
    if (rc < 0) {
        // Without B-frames and with zero latency every picture comes straight
        // back; a delay would break the one-frame-per-picture container.
        *error = "the video encoder held back a picture: " + AvError(rc);
        return false;
    }
    out->data.assign(m_packet->data, m_packet->data + m_packet->size);
    out->key = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
    av_packet_unref(m_packet);
    if (m_family != Family::Yuv)
        StripMpeg4UserData(&out->data);
    return true;
}

}  // namespace qor::recgen
