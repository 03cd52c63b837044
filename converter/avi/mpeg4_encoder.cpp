#include "converter/avi/mpeg4_encoder.h"

#include <xvid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace vidorra {

struct Mpeg4Encoder {
    void* handle = nullptr;
    int width = 0;
    int height = 0;
    float frameRate = 0;
    int bitRate = 0;
    int keyInterval = 0;
    int bFrames = 0;
    size_t worstCase = 0;          // bound on one encoded picture
    std::vector<uint8_t> scratch;  // used only when the caller's buffer is smaller
};

namespace {

constexpr Mpeg4Preset kPresets[7] = {
    {0x00, 0x0000}, {0x00, 0x0001}, {0x02, 0x0011}, {0x06, 0x0053},
    {0x06, 0x3053}, {0x0E, 0x3053}, {0x8E, 0x3C53},
};

constexpr unsigned kForcePlainCode = 0x80000000u;  // XVID_CPU_FORCE with no extensions
constexpr int kProfileAdvancedSimpleL4 = 0xF4;

// The library does not bound its writes, so the adapter does. Even with
// every coefficient escape-coded (30 bits) a 4:2:0 picture takes under six
// bytes per luma pixel; eight leaves room for macroblock headers, and the
// constant for the stream headers.
size_t WorstCaseBytes(int width, int height) {
    const size_t w = (static_cast<size_t>(width) + 15) / 16 * 16;
    const size_t h = (static_cast<size_t>(height) + 15) / 16 * 16;
    return w * h * 8 + 65536;
}

}  // namespace

Mpeg4Preset Mpeg4PresetFor(int quality) { return kPresets[std::clamp(quality, 0, 6)]; }

Mpeg4Timing Mpeg4TimingFor(float frameRate, int keyInterval) {
    Mpeg4Timing t{};
    const float whole = std::trunc(frameRate);
    if (frameRate - whole < 1e-10f) {
        t.fincr = 1;
        t.fbase = static_cast<int>(whole);
    } else {
        t.fincr = 1001;
        t.fbase = static_cast<int>(frameRate * 1001);
    }
    t.maxKeyInterval = keyInterval > 0 ? keyInterval : 10 * static_cast<int>(whole);
    return t;
}

Mpeg4Encoder* enc_init(int useCpuExtensions, int width, int height, float frameRate, int bitRate, int keyInterval,
                       int bFrames, int* error) {
    xvid_gbl_init_t init;
    std::memset(&init, 0, sizeof init);
    init.version = kXvidApiVersion;
    init.cpu_flags = useCpuExtensions ? 0u : kForcePlainCode;
    init.debug = 0;
    int result = xvid_global(nullptr, XVID_GBL_INIT, &init, nullptr);
    if (result < 0 || width <= 0 || height <= 0) {
        if (error) *error = result < 0 ? result : XVID_ERR_FAIL;
        return nullptr;
    }

    xvid_plugin_single_t single;
    std::memset(&single, 0, sizeof single);
    single.version = kXvidApiVersion;
    single.bitrate = bitRate;

    xvid_enc_plugin_t plugin;
    plugin.func = xvid_plugin_single;
    plugin.param = &single;

    const Mpeg4Timing timing = Mpeg4TimingFor(frameRate, keyInterval);
    xvid_enc_create_t create;
    std::memset(&create, 0, sizeof create);
    create.version = kXvidApiVersion;
    create.profile = kProfileAdvancedSimpleL4;
    create.width = width;
    create.height = height;
    create.num_zones = 0;
    create.zones = nullptr;
    create.num_plugins = 1;
    create.plugins = &plugin;
    create.num_threads = 0;
    create.max_bframes = bFrames;
    create.global = 0;
    create.fincr = timing.fincr;
    create.fbase = timing.fbase;
    create.max_key_interval = timing.maxKeyInterval;
    create.frame_drop_ratio = 0;
    create.bquant_ratio = 150;
    create.bquant_offset = 100;

    result = xvid_encore(nullptr, XVID_ENC_CREATE, &create, nullptr);
    if (error) *error = result;
    if (result < 0 || create.handle == nullptr) return nullptr;

    auto* encoder = new Mpeg4Encoder;
    encoder->handle = create.handle;
    encoder->width = width;
    encoder->height = height;
    encoder->frameRate = frameRate;
    encoder->bitRate = bitRate;
    encoder->keyInterval = keyInterval;
    encoder->bFrames = bFrames;
    encoder->worstCase = WorstCaseBytes(width, height);
    return encoder;
}

int enc_encode(Mpeg4Encoder* encoder, int quality, const uint8_t* picture, uint8_t* out, int capacity, int* keyFrame,
               int* frameType, int* quant, int* length, int* sseY, int* sseU, int* sseV) {
    if (encoder == nullptr || encoder->handle == nullptr || out == nullptr || capacity < 0) return XVID_ERR_FAIL;

    const bool direct = static_cast<size_t>(capacity) >= encoder->worstCase;
    uint8_t* target = out;
    if (!direct) {
        if (encoder->scratch.size() < encoder->worstCase) encoder->scratch.resize(encoder->worstCase);
        target = encoder->scratch.data();
    }

    const Mpeg4Preset preset = Mpeg4PresetFor(quality);
    xvid_enc_frame_t frame;
    std::memset(&frame, 0, sizeof frame);
    frame.version = kXvidApiVersion;
    frame.vol_flags = 0;
    frame.vop_flags = preset.vopFlags;
    frame.motion = preset.motionFlags;
    if (picture != nullptr) {
        frame.input.csp = XVID_CSP_I420;
        frame.input.plane[0] = const_cast<uint8_t*>(picture);
        frame.input.stride[0] = encoder->width;
    } else {
        frame.input.csp = XVID_CSP_NULL;
    }
    frame.type = XVID_TYPE_AUTO;
    frame.quant = 0;
    frame.bframe_threshold = 0;
    frame.bitstream = target;
    frame.length = -1;

    xvid_enc_stats_t stats;
    std::memset(&stats, 0, sizeof stats);
    stats.version = kXvidApiVersion;

    const int result = xvid_encore(encoder->handle, XVID_ENC_ENCODE, &frame, &stats);
    if (result > 0 && !direct) {
        if (result > capacity) {
            if (length) *length = result;
            return kEncOutputTooSmall;
        }
        std::memcpy(out, target, static_cast<size_t>(result));
    }
    if (keyFrame) *keyFrame = frame.out_flags & XVID_KEYFRAME;
    if (frameType) *frameType = stats.type;
    if (quant) *quant = stats.quant;
    if (length) *length = stats.length;
    if (sseY) *sseY = stats.sse_y;
    if (sseU) *sseU = stats.sse_u;
    if (sseV) *sseV = stats.sse_v;
    return result;
}

void enc_stop(Mpeg4Encoder* encoder) {
    if (encoder == nullptr) return;
    if (encoder->handle != nullptr) xvid_encore(encoder->handle, XVID_ENC_DESTROY, nullptr, nullptr);
    delete encoder;
}

}  // namespace vidorra
