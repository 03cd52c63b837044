#include "converter/job/picture_widening.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace vidorra {

namespace {

void CopyPlane(const uint8_t* src, int stride, int width, int height, uint8_t* dst) {
    if (stride == width) {
        std::memcpy(dst, src, static_cast<size_t>(width) * height);
        return;
    }
    for (int row = 0; row < height; ++row) {
        std::memcpy(dst + static_cast<size_t>(row) * width, src + static_cast<ptrdiff_t>(row) * stride, width);
    }
}

}  // namespace

void BilinearScalePlane(const PlaneView& src, uint8_t* dst, int dstWidth, int dstHeight) {
    const int64_t w = src.width;
    const int64_t h = std::abs(src.height);
    const int64_t W = dstWidth;
    const int64_t H = dstHeight;
    if (w <= 0 || h <= 0 || W <= 0 || H <= 0) return;

    struct Tap {
        int64_t index;
        int64_t next;
        int64_t weight;
    };
    std::vector<Tap> columns(static_cast<size_t>(W));
    for (int64_t j = 0; j < W; ++j) {
        const int64_t c = (j * w) / W;
        columns[j] = {c, c + 1 < w ? c + 1 : w - 1, (j * w) % W};
    }
    const int64_t divisor = W * H;
    for (int64_t i = 0; i < H; ++i) {
        const int64_t r = (i * h) / H;
        const int64_t f = (i * h) % H;
        const uint8_t* row = src.data + r * src.stride;
        const uint8_t* next = src.data + (r + 1 < h ? r + 1 : h - 1) * src.stride;
        const int64_t outRow = src.height < 0 ? H - 1 - i : i;
        uint8_t* out = dst + outRow * W;
        for (int64_t j = 0; j < W; ++j) {
            const Tap& t = columns[j];
            const int64_t left = (H - f) * row[t.index] + f * next[t.index];
            const int64_t right = f * next[t.next] + (H - f) * row[t.next];
            out[j] = static_cast<uint8_t>((left * (W - t.weight) + t.weight * right) / divisor);
        }
    }
}

size_t PackedPictureSize(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    const size_t luma = static_cast<size_t>(width) * height;
    return luma + 2 * static_cast<size_t>(width / 2) * (height / 2);
}

bool PackPicture(const DecodedPicture& picture, int targetWidth, int targetHeight, uint8_t* buffer, size_t capacity) {
    if (picture.width <= 0 || picture.height <= 0 || targetWidth <= 0 || targetHeight <= 0) return false;
    if (PackedPictureSize(targetWidth, targetHeight) > capacity) return false;
    const size_t luma = static_cast<size_t>(targetWidth) * targetHeight;
    const size_t chroma = static_cast<size_t>(targetWidth / 2) * (targetHeight / 2);
    uint8_t* y = buffer;
    uint8_t* u = buffer + luma;
    uint8_t* v = u + chroma;
    const int cw = picture.width / 2;
    const int ch = picture.height / 2;
    if (picture.width == targetWidth && picture.height == targetHeight) {
        CopyPlane(picture.y, picture.yStride, picture.width, picture.height, y);
        if (cw > 0 && ch > 0) {
            CopyPlane(picture.u, picture.uStride, cw, ch, u);
            CopyPlane(picture.v, picture.vStride, cw, ch, v);
        }
        return true;
    }
    BilinearScalePlane({picture.y, picture.yStride, picture.width, picture.height}, y, targetWidth, targetHeight);
    if (cw > 0 && ch > 0) {
        BilinearScalePlane({picture.u, picture.uStride, cw, ch}, u, targetWidth / 2, targetHeight / 2);
        BilinearScalePlane({picture.v, picture.vStride, cw, ch}, v, targetWidth / 2, targetHeight / 2);
    } else {
        std::memset(u, 128, 2 * chroma);
    }
    return true;
}

}  // namespace vidorra
