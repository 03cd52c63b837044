// SSE2 versions of the planar-to-RGB and planar-to-UYVY rows: sixteen pixels
// per step in 16-bit lanes, using the same saturating byte steps and
// multiply-high products as the reference, so the bytes come out identical.
#include "player/picture/conversion_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace qor::kernels {

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

namespace {

struct RgbConstants {
    __m128i k16, sub, add, ky, oy, kvr, kug, kvg, kub, c128;
    explicit RgbConstants(const ConversionCoefficients& c)
        : k16(_mm_set1_epi8(16)),
          sub(_mm_set1_epi8(static_cast<char>(c.uLumaSubtract))),
          add(_mm_set1_epi8(static_cast<char>(c.uLumaAdd))),
          ky(_mm_set1_epi16(c.iKy)),
          oy(_mm_set1_epi16(c.iOy)),
          kvr(_mm_set1_epi16(c.iKvr)),
          kug(_mm_set1_epi16(c.iKug)),
          kvg(_mm_set1_epi16(c.iKvg)),
          kub(_mm_set1_epi16(c.iKub)),
          c128(_mm_set1_epi16(128)) {}
};

// Eight chroma bytes -> 8 * (C - 128) in words.
inline __m128i CenteredChroma(const uint8_t* p, __m128i c128) {
    __m128i w = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
    return _mm_slli_epi16(_mm_sub_epi16(w, c128), 3);
}

void StoreRgb(__m128i b, __m128i g, __m128i r, uint8_t* out, int format) {
    const __m128i zero = _mm_setzero_si128();
    if (format == kFormatRGB32) {
        __m128i bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
        __m128i r0Lo = _mm_unpacklo_epi8(r, zero), r0Hi = _mm_unpackhi_epi8(r, zero);
        __m128i* o = reinterpret_cast<__m128i*>(out);
        _mm_storeu_si128(o, _mm_unpacklo_epi16(bgLo, r0Lo));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(bgLo, r0Lo));
        _mm_storeu_si128(o + 2, _mm_unpacklo_epi16(bgHi, r0Hi));
        _mm_storeu_si128(o + 3, _mm_unpackhi_epi16(bgHi, r0Hi));
    } else if (format == kFormatRGB565) {
        const __m128i redMask = _mm_set1_epi16(static_cast<short>(0xF800));
        const __m128i greenMask = _mm_set1_epi16(0x07C0);
        __m128i* o = reinterpret_cast<__m128i*>(out);
        for (int half = 0; half < 2; ++half) {
            __m128i rw = half ? _mm_unpackhi_epi8(zero, r) : _mm_unpacklo_epi8(zero, r);
            __m128i gw = half ? _mm_unpackhi_epi8(g, zero) : _mm_unpacklo_epi8(g, zero);
            __m128i bw = half ? _mm_unpackhi_epi8(b, zero) : _mm_unpacklo_epi8(b, zero);
            __m128i w = _mm_or_si128(_mm_and_si128(rw, redMask),
                                     _mm_or_si128(_mm_and_si128(_mm_slli_epi16(gw, 3), greenMask),
                                                  _mm_srli_epi16(bw, 3)));
            _mm_storeu_si128(o + half, w);
        }
    } else {
        alignas(16) uint8_t bs[16], gs[16], rs[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(bs), b);
        _mm_store_si128(reinterpret_cast<__m128i*>(gs), g);
        _mm_store_si128(reinterpret_cast<__m128i*>(rs), r);
        for (int i = 0; i < 16; ++i) {
            out[3 * i] = bs[i];
            out[3 * i + 1] = gs[i];
            out[3 * i + 2] = rs[i];
        }
    }
}

}  // namespace

void RgbRowPairVector(const ConversionCoefficients& c, const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                      const uint8_t* v, int width, uint8_t* out0, uint8_t* out1, int format, bool allowAvx2) {
    const RgbConstants k(c);
    const __m128i zero = _mm_setzero_si128();
    const int bytesPerPixel = format == kFormatRGB32 ? 4 : format == kFormatRGB24 ? 3 : 2;
    const int vectorWidth = width & ~15;
    const int start = allowAvx2 && HasAvx2() ? RgbRowPairAvx2(c, y0, y1, u, v, width, out0, out1, format) : 0;
    for (int x = start; x < vectorWidth; x += 16) {
        __m128i uc = CenteredChroma(u + x / 2, k.c128);
        __m128i vc = CenteredChroma(v + x / 2, k.c128);
        __m128i rt = _mm_mulhi_epi16(vc, k.kvr);
        __m128i gt = _mm_adds_epi16(_mm_mulhi_epi16(uc, k.kug), _mm_mulhi_epi16(vc, k.kvg));
        __m128i bt = _mm_mulhi_epi16(uc, k.kub);
        // One chroma sample serves two neighbouring pixels.
        const __m128i rtl = _mm_unpacklo_epi16(rt, rt), rth = _mm_unpackhi_epi16(rt, rt);
        const __m128i gtl = _mm_unpacklo_epi16(gt, gt), gth = _mm_unpackhi_epi16(gt, gt);
        const __m128i btl = _mm_unpacklo_epi16(bt, bt), bth = _mm_unpackhi_epi16(bt, bt);
        for (int row = 0; row < 2; ++row) {
            const uint8_t* yr = row ? y1 : y0;
            uint8_t* out = row ? out1 : out0;
            if (!yr) break;
            __m128i yb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(yr + x));
            yb = _mm_adds_epu8(_mm_subs_epu8(_mm_subs_epu8(yb, k.k16), k.sub), k.add);
            __m128i yl = _mm_slli_epi16(_mm_unpacklo_epi8(yb, zero), 3);
            __m128i yh = _mm_slli_epi16(_mm_unpackhi_epi8(yb, zero), 3);
            yl = _mm_subs_epi16(_mm_mulhi_epi16(yl, k.ky), k.oy);
            yh = _mm_subs_epi16(_mm_mulhi_epi16(yh, k.ky), k.oy);
            __m128i r = _mm_packus_epi16(_mm_adds_epi16(yl, rtl), _mm_adds_epi16(yh, rth));
            __m128i g = _mm_packus_epi16(_mm_adds_epi16(yl, gtl), _mm_adds_epi16(yh, gth));
            __m128i b = _mm_packus_epi16(_mm_adds_epi16(yl, btl), _mm_adds_epi16(yh, bth));
            StoreRgb(b, g, r, out + x * bytesPerPixel, format);
        }
    }
    if (vectorWidth < width) {
        RgbRowReference(c, y0, u, v, vectorWidth, width, out0, format);
        if (y1) RgbRowReference(c, y1, u, v, vectorWidth, width, out1, format);
    }
}

void UyvyRowPairVector(const ConversionCoefficients& c, const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                       const uint8_t* v, int width, uint8_t* out0, uint8_t* out1, bool allowAvx2) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i c128 = _mm_set1_epi16(128);
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i sub = _mm_set1_epi8(static_cast<char>(c.uLumaSubtract));
    const __m128i add = _mm_set1_epi8(static_cast<char>(c.uLumaAdd));
    const __m128i gc = _mm_set1_epi16(c.iGc);
    const __m128i gs = _mm_set1_epi16(c.iGs);
    const int vectorWidth = width & ~15;
    const int start = allowAvx2 && HasAvx2() ? UyvyRowPairAvx2(c, y0, y1, u, v, width, out0, out1) : 0;
    for (int x = start; x < vectorWidth; x += 16) {
        // Signed saturation to a byte is the clamp to -128..127; flipping the
        // top bit then adds 128.
        __m128i uo = _mm_mulhi_epi16(CenteredChroma(u + x / 2, c128), gs);
        __m128i vo = _mm_mulhi_epi16(CenteredChroma(v + x / 2, c128), gs);
        __m128i uv = _mm_unpacklo_epi8(_mm_xor_si128(_mm_packs_epi16(uo, zero), flip),
                                       _mm_xor_si128(_mm_packs_epi16(vo, zero), flip));
        for (int row = 0; row < 2; ++row) {
            const uint8_t* yr = row ? y1 : y0;
            uint8_t* out = row ? out1 : out0;
            if (!yr) break;
            __m128i yb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(yr + x));
            yb = _mm_adds_epu8(_mm_subs_epu8(yb, sub), add);
            __m128i yl = _mm_slli_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(yb, zero), c128), 3);
            __m128i yh = _mm_slli_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(yb, zero), c128), 3);
            __m128i yo = _mm_xor_si128(_mm_packs_epi16(_mm_mulhi_epi16(yl, gc), _mm_mulhi_epi16(yh, gc)), flip);
            __m128i* o = reinterpret_cast<__m128i*>(out + 2 * x);
            _mm_storeu_si128(o, _mm_unpacklo_epi8(uv, yo));
            _mm_storeu_si128(o + 1, _mm_unpackhi_epi8(uv, yo));
        }
    }
    if (vectorWidth < width) {
        const int p0 = vectorWidth / 2, p1 = (width + 1) / 2;
        UyvyRowReference(c, y0, u, v, p0, p1, width, out0);
        if (y1) UyvyRowReference(c, y1, u, v, p0, p1, width, out1);
    }
}

}  // namespace qor::kernels

#else  // without SSE2 the reference serves every path

namespace qor::kernels {

bool HasAvx2() { return false; }

void RgbRowPairVector(const ConversionCoefficients& c, const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                      const uint8_t* v, int width, uint8_t* out0, uint8_t* out1, int format, bool) {
    RgbRowReference(c, y0, u, v, 0, width, out0, format);
    if (y1) RgbRowReference(c, y1, u, v, 0, width, out1, format);
}

void UyvyRowPairVector(const ConversionCoefficients& c, const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                       const uint8_t* v, int width, uint8_t* out0, uint8_t* out1, bool) {
    UyvyRowReference(c, y0, u, v, 0, (width + 1) / 2, width, out0);
    if (y1) UyvyRowReference(c, y1, u, v, 0, (width + 1) / 2, width, out1);
}

}  // namespace qor::kernels

#endif
