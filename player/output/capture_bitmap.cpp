// CVideoPlayer::CaptureBitmap: the current picture as a 24-bit bitmap.
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "platform/file.h"
#include "player/output/video_player.h"
#include "player/picture/picture_resize.h"

namespace qor {
namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
// The recorders' 528-pixel pictures are meant to be seen 4/3 wider.
constexpr int kNarrowWidth = 528;
constexpr int kWidenedWidth = 704;

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

// Rows padded to four bytes so that every reader accepts the file; for the
// recorders' widths (multiples of 4) that is exactly width x 3.
size_t RowBytes(int width) { return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3); }

int SavedWidth(int nominalWidth) { return nominalWidth == kNarrowWidth ? kWidenedWidth : nominalWidth; }

}  // namespace

size_t CVideoPlayer::BitmapFileSize() const {
    const int width = SavedWidth(m_settings.iWidth);
    return kHeadersSize + RowBytes(width) * static_cast<size_t>(m_settings.iHeight > 0 ? m_settings.iHeight : 0);
}

bool CVideoPlayer::convertForSnapshot(std::vector<uint8_t>* pixels, int* width, int* height, int* bytesPerPixel) {
    const StoredPicture& p = m_current;
    const bool narrow = m_settings.iWidth == kNarrowWidth;
    const int format = narrow ? kFormatRGB32 : kFormatRGB24;
    const int bpp = narrow ? 4 : 3;
    const int w = p.valid ? p.iWidth : 0, h = p.valid ? p.iHeight : 0;
    std::vector<uint8_t> converted(static_cast<size_t>(w) * h * bpp);
    PackedDestination destination{converted.data(), w, h, w * bpp, format};
    if (p.valid && p.iFormat != QOR_PICTURE_PLANAR_YUV420) {
        const int sourceBpp = p.iFormat == kFormatRGB32 ? 4 : p.iFormat == kFormatRGB24 ? 3 : 2;
        PackedSource source{p.bytes.data(), w, h, w * sourceBpp, p.iFormat};
        if (!m_converter.PackedToPacked(source, destination)) {
            DebugOutput("[QOR]CVideoPlayer::CaptureBitmap PackedToPacked() error!\n");
            return false;
        }
    } else {
        PlanarSource source;
        if (p.valid) {
            const int cw = (w + 1) / 2, ch = (h + 1) / 2;
            source = PlanarSource{p.bytes.data(), p.bytes.data() + static_cast<size_t>(w) * h,
                                  p.bytes.data() + static_cast<size_t>(w) * h + static_cast<size_t>(cw) * ch,
                                  w, cw, cw, kFormatPlanar};
        }
        if (!m_converter.PlannarToPacked(source, destination, m_fHScaler, m_fVScaler)) {
            DebugOutput("[QOR]CVideoPlayer::CaptureBitmap PlannarToPacked() error!\n");
            return false;
        }
    }
    const int nominalWidth = m_settings.iWidth, nominalHeight = m_settings.iHeight;
    if (w != nominalWidth || h != nominalHeight) {
        std::vector<uint8_t> resized(static_cast<size_t>(nominalWidth) * nominalHeight * bpp);
        ResizeBilinear(converted.data(), w, h, w * bpp, resized.data(), nominalWidth, nominalHeight,
                       nominalWidth * bpp, bpp);
        converted.swap(resized);
    }
    if (narrow) {
        std::vector<uint8_t> wide(static_cast<size_t>(kWidenedWidth) * nominalHeight * 4);
        StretchCubicHorizontal(converted.data(), kNarrowWidth, nominalHeight, kNarrowWidth * 4, wide.data(),
                               kWidenedWidth, kWidenedWidth * 4, 4);
        converted.assign(static_cast<size_t>(kWidenedWidth) * nominalHeight * 3, 0);
        PackedSource source{wide.data(), kWidenedWidth, nominalHeight, kWidenedWidth * 4, kFormatRGB32};
        PackedDestination narrowed{converted.data(), kWidenedWidth, nominalHeight, kWidenedWidth * 3, kFormatRGB24};
        if (!m_converter.PackedToPacked(source, narrowed)) {
            DebugOutput("[QOR]CVideoPlayer::CaptureBitmap PackedToPacked() error!\n");
            return false;
        }
    }
    pixels->swap(converted);
    *width = SavedWidth(nominalWidth);
    *height = nominalHeight;
    *bytesPerPixel = 3;
    return true;
}

bool CVideoPlayer::CaptureBitmap(const char* pFileName, uint8_t* pBitmap) {
    if (!pFileName && !pBitmap) {
        DebugOutput("[QOR]CVideoPlayer::CaptureBitmap NULL pFileName and pBitmap error!\n");
        return false;
    }
    File file;
    if (pFileName && !file.Open(pFileName, File::Mode::CreateAlways)) {
        DebugOutput("[QOR]create file for bitmap error!\n");
        if (!pBitmap) {
            DebugOutput("[QOR]CVideoPlayer::CaptureBitmap CreateFile failed and NULL pBitmap error!\n");
            return false;
        }
    }
    for (int attempt = 0; attempt < 10 && !HasCurrentPicture(); ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    std::vector<uint8_t> pixels;
    int width = 0, height = 0, bytesPerPixel = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (m_settings.iWidth <= 0 || m_settings.iHeight <= 0 ||
            !convertForSnapshot(&pixels, &width, &height, &bytesPerPixel)) {
            if (m_settings.iWidth <= 0 || m_settings.iHeight <= 0)
                DebugOutput("[QOR]CVideoPlayer::CaptureBitmap PlannarToPacked() error!\n");
            return false;
        }
    }
    const size_t rowBytes = RowBytes(width);
    const size_t imageSize = rowBytes * static_cast<size_t>(height);
    std::vector<uint8_t> image(kHeadersSize + imageSize, 0);
    uint8_t* h = image.data();
    Put16(h, 0x4D42);
    Put32(h + 2, static_cast<uint32_t>(kHeadersSize + imageSize));
    Put32(h + 10, kHeadersSize);
    Put32(h + 14, kInfoHeaderSize);
    Put32(h + 18, static_cast<uint32_t>(width));
    Put32(h + 22, static_cast<uint32_t>(height));
    Put16(h + 26, 1);
    Put16(h + 28, 24);
    Put32(h + 34, static_cast<uint32_t>(imageSize));
    // The converter already wrote RGB24 bottom-up, the order bitmaps keep.
    for (int row = 0; row < height; ++row)
        std::memcpy(h + kHeadersSize + row * rowBytes, pixels.data() + static_cast<size_t>(row) * width * 3,
                    static_cast<size_t>(width) * 3);
    if (file.IsOpen()) {
        file.Write(image.data(), image.size());
        file.Close();
    }
    if (pBitmap) std::memcpy(pBitmap, image.data(), image.size());
    return true;
}

}  // namespace qor
