// Colour-space conversion and scaling of decoded pictures into display and
// snapshot layouts, with brightness, contrast and saturation applied.
//
// Threading: one ColorConverter belongs to one video output and is used by
// one thread at a time (the thread presenting pictures, or a snapshot taken
// under the video output's lock). Each converter keeps its own coefficients,
// so different converters may run at the same time.
#pragma once

#include <cstdint>

namespace qor {

// Pixel format codes shared by conversions and display surfaces.
enum PixelFormatCode : int {
    kFormatPlanar = 0,  // YUV 4:2:0 in three planes
    kFormatUYVY = 1,
    kFormatYUY2 = 2,
    kFormatRGB32 = 3,   // B, G, R, 0
    kFormatRGB24 = 4,   // B, G, R; rows stored bottom-up
    kFormatRGB565 = 5,
    kFormatRGB555 = 6,
};

// A decoded 4:2:0 picture. Its size travels in the destination descriptor.
struct PlanarSource {
    const uint8_t* pY = nullptr;
    const uint8_t* pU = nullptr;
    const uint8_t* pV = nullptr;
    int iYStride = 0;
    int iUStride = 0;
    int iVStride = 0;
    int iFormat = kFormatPlanar;
};

struct PackedSource {
    const uint8_t* pData = nullptr;
    int iWidth = 0;
    int iHeight = 0;
    int iStride = 0;
    int iFormat = kFormatUYVY;
};

// Width and height are those of the picture being converted; the scaling
// UYVY routines write the scaled size (for example width / 2 x height / 2)
// from the top-left corner. UYVY rows take (width + 1) / 2 pixel pairs.
struct PackedDestination {
    uint8_t* pData = nullptr;
    int iWidth = 0;
    int iHeight = 0;
    int iStride = 0;
    int iFormat = kFormatRGB32;
};

// Plane order Y, V, U, as the YV12 surfaces lay them out.
struct PlanarDestination {
    uint8_t* pY = nullptr;
    uint8_t* pV = nullptr;
    uint8_t* pU = nullptr;
    int iWidth = 0;
    int iHeight = 0;
    int iYStride = 0;
    int iVStride = 0;
    int iUStride = 0;
    int iFormat = 0;  // must be 0
};

// The integer values derived from brightness, contrast and saturation.
struct ConversionCoefficients {
    uint8_t uLumaSubtract = 0;  // brightness below 50
    uint8_t uLumaAdd = 0;       // brightness above 50
    int16_t iKy = 0;            // luma gain, 1/8192 units
    int16_t iOy = 0;            // luma offset
    int16_t iKvr = 0, iKug = 0, iKvg = 0, iKub = 0;  // chroma gains
    int16_t iGc = 0;            // UYVY contrast gain, 8192 = 1.0
    int16_t iGs = 0;            // UYVY saturation gain
};

class ColorConverter {
public:
    // Reference is the plain per-pixel arithmetic; Sse2 and Vectorised (the
    // widest SIMD the processor has) produce the same bytes faster.
    enum class Path { Reference, Sse2, Vectorised };

    ColorConverter();

    void SetAdjustments(int iBrightness, int iContrast, int iSaturation);
    const ConversionCoefficients& Coefficients() const { return m_coefficients; }
    int Brightness() const { return m_iBrightness; }
    int Contrast() const { return m_iContrast; }
    int Saturation() const { return m_iSaturation; }

    void SetPath(Path path) { m_path = path; }
    Path GetPath() const { return m_path; }

    bool PlannarToPacked(const PlanarSource& source, const PackedDestination& destination,
                         float fHScaler, float fVScaler);
    bool PackedToPacked(const PackedSource& source, const PackedDestination& destination);
    bool PlannarToPlannar(const PlanarSource& source, const PlanarDestination& destination);

    // The two scale factors count as equal when they differ by less than a
    // millionth.
    static bool ScaleEquals(float a, float b);

private:
    bool yuv2rgb(const PlanarSource& source, const PackedDestination& destination, const char* pName);
    bool uyvyScaled(const PlanarSource& source, const PackedDestination& destination, int iScaler);

    ConversionCoefficients m_coefficients;
    int m_iBrightness = 50;
    int m_iContrast = 50;
    int m_iSaturation = 50;
    Path m_path = Path::Vectorised;
};

}  // namespace qor
