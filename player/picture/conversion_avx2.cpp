// AVX2 versions of the planar-to-RGB and planar-to-UYVY rows, thirty-two
// pixels per step, chosen at run time when the processor has AVX2. Same
// arithmetic as the reference; the lane shuffles only restore pixel order.
#include "player/picture/conversion_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

// Everything in this file is AVX2 code; it only runs after HasAvx2().
#pragma GCC target("avx2")

namespace qor::kernels {

namespace {

inline __m256i CenteredChroma16(const uint8_t* p) {
    __m256i w = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    return _mm256_slli_epi16(_mm256_sub_epi16(w, _mm256_set1_epi16(128)), 3);
}

void StoreRgbAvx2(__m256i b, __m256i g, __m256i r, uint8_t* out, int format) {
    const __m256i zero = _mm256_setzero_si256();
    if (format == kFormatRGB32) {
        // After the in-lane unpacks p0 holds pixels 0-3 | 16-19, p1 4-7 | 20-23,
        // p2 8-11 | 24-27, p3 12-15 | 28-31.
        __m256i bgLo = _mm256_unpacklo_epi8(b, g), bgHi = _mm256_unpackhi_epi8(b, g);
        __m256i r0Lo = _mm256_unpacklo_epi8(r, zero), r0Hi = _mm256_unpackhi_epi8(r, zero);
        __m256i p0 = _mm256_unpacklo_epi16(bgLo, r0Lo), p1 = _mm256_unpackhi_epi16(bgLo, r0Lo);
        __m256i p2 = _mm256_unpacklo_epi16(bgHi, r0Hi), p3 = _mm256_unpackhi_epi16(bgHi, r0Hi);
        __m256i* o = reinterpret_cast<__m256i*>(out);
        _mm256_storeu_si256(o, _mm256_permute2x128_si256(p0, p1, 0x20));
        _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(p2, p3, 0x20));
        _mm256_storeu_si256(o + 2, _mm256_permute2x128_si256(p0, p1, 0x31));
        _mm256_storeu_si256(o + 3, _mm256_permute2x128_si256(p2, p3, 0x31));
    } else if (format == kFormatRGB565) {
        const __m256i redMask = _mm256_set1_epi16(static_cast<short>(0xF800));
        const __m256i greenMask = _mm256_set1_epi16(0x07C0);
        auto words = [redMask, greenMask](__m256i rw, __m256i gw, __m256i bw) __attribute__((target("avx2"))) {
            return _mm256_or_si256(_mm256_and_si256(rw, redMask),
                                   _mm256_or_si256(_mm256_and_si256(_mm256_slli_epi16(gw, 3), greenMask),
                                                   _mm256_srli_epi16(bw, 3)));
        };
        // lo: pixels 0-7 | 16-23, hi: 8-15 | 24-31.
        __m256i lo = words(_mm256_unpacklo_epi8(zero, r), _mm256_unpacklo_epi8(g, zero), _mm256_unpacklo_epi8(b, zero));
        __m256i hi = words(_mm256_unpackhi_epi8(zero, r), _mm256_unpackhi_epi8(g, zero), _mm256_unpackhi_epi8(b, zero));
        __m256i* o = reinterpret_cast<__m256i*>(out);
        _mm256_storeu_si256(o, _mm256_permute2x128_si256(lo, hi, 0x20));
        _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(lo, hi, 0x31));
    } else {
        alignas(32) uint8_t bs[32], gs[32], rs[32];
        _mm256_store_si256(reinterpret_cast<__m256i*>(bs), b);
        _mm256_store_si256(reinterpret_cast<__m256i*>(gs), g);
        _mm256_store_si256(reinterpret_cast<__m256i*>(rs), r);
        for (int i = 0; i < 32; ++i) {
            out[3 * i] = bs[i];
            out[3 * i + 1] = gs[i];
            out[3 * i + 2] = rs[i];
        }
    }
}

}  // namespace

int RgbRowPairAvx2(const ConversionCoefficients& c, const uint8_t* y0,
                                                   const uint8_t* y1, const uint8_t* u, const uint8_t* v, int width,
                                                   uint8_t* out0, uint8_t* out1, int format) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i k16 = _mm256_set1_epi8(16);
    const __m256i sub = _mm256_set1_epi8(static_cast<char>(c.uLumaSubtract));
    const __m256i add = _mm256_set1_epi8(static_cast<char>(c.uLumaAdd));
    const __m256i ky = _mm256_set1_epi16(c.iKy), oy = _mm256_set1_epi16(c.iOy);
    const __m256i kvr = _mm256_set1_epi16(c.iKvr), kug = _mm256_set1_epi16(c.iKug);
    const __m256i kvg = _mm256_set1_epi16(c.iKvg), kub = _mm256_set1_epi16(c.iKub);
    const int bytesPerPixel = format == kFormatRGB32 ? 4 : format == kFormatRGB24 ? 3 : 2;
    const int vectorWidth = width & ~31;
    for (int x = 0; x < vectorWidth; x += 32) {
        __m256i uc = CenteredChroma16(u + x / 2);
        __m256i vc = CenteredChroma16(v + x / 2);
        __m256i rt = _mm256_mulhi_epi16(vc, kvr);
        __m256i gt = _mm256_adds_epi16(_mm256_mulhi_epi16(uc, kug), _mm256_mulhi_epi16(vc, kvg));
        __m256i bt = _mm256_mulhi_epi16(uc, kub);
        // Doubled chroma: lo covers pixels 0-7 | 16-23, hi 8-15 | 24-31, the
        // same order the in-lane luma unpacks give.
        const __m256i rtl = _mm256_unpacklo_epi16(rt, rt), rth = _mm256_unpackhi_epi16(rt, rt);
        const __m256i gtl = _mm256_unpacklo_epi16(gt, gt), gth = _mm256_unpackhi_epi16(gt, gt);
        const __m256i btl = _mm256_unpacklo_epi16(bt, bt), bth = _mm256_unpackhi_epi16(bt, bt);
        for (int row = 0; row < 2; ++row) {
            const uint8_t* yr = row ? y1 : y0;
            uint8_t* out = row ? out1 : out0;
            if (!yr) break;
            __m256i yb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(yr + x));
            yb = _mm256_adds_epu8(_mm256_subs_epu8(_mm256_subs_epu8(yb, k16), sub), add);
            __m256i yl = _mm256_slli_epi16(_mm256_unpacklo_epi8(yb, zero), 3);
            __m256i yh = _mm256_slli_epi16(_mm256_unpackhi_epi8(yb, zero), 3);
            yl = _mm256_subs_epi16(_mm256_mulhi_epi16(yl, ky), oy);
            yh = _mm256_subs_epi16(_mm256_mulhi_epi16(yh, ky), oy);
            __m256i r = _mm256_packus_epi16(_mm256_adds_epi16(yl, rtl), _mm256_adds_epi16(yh, rth));
            __m256i g = _mm256_packus_epi16(_mm256_adds_epi16(yl, gtl), _mm256_adds_epi16(yh, gth));
            __m256i b = _mm256_packus_epi16(_mm256_adds_epi16(yl, btl), _mm256_adds_epi16(yh, bth));
            StoreRgbAvx2(b, g, r, out + x * bytesPerPixel, format);
        }
    }
    return vectorWidth;
}

int UyvyRowPairAvx2(const ConversionCoefficients& c, const uint8_t* y0,
                                                    const uint8_t* y1, const uint8_t* u, const uint8_t* v, int width,
                                                    uint8_t* out0, uint8_t* out1) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i c128 = _mm256_set1_epi16(128);
    const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i sub = _mm256_set1_epi8(static_cast<char>(c.uLumaSubtract));
    const __m256i add = _mm256_set1_epi8(static_cast<char>(c.uLumaAdd));
    const __m256i gc = _mm256_set1_epi16(c.iGc), gs = _mm256_set1_epi16(c.iGs);
    const __m128i flip128 = _mm_set1_epi8(static_cast<char>(0x80));
    const int vectorWidth = width & ~31;
    for (int x = 0; x < vectorWidth; x += 32) {
        __m256i uo = _mm256_mulhi_epi16(CenteredChroma16(u + x / 2), gs);
        __m256i vo = _mm256_mulhi_epi16(CenteredChroma16(v + x / 2), gs);
        __m128i u8 = _mm_xor_si128(_mm_packs_epi16(_mm256_castsi256_si128(uo), _mm256_extracti128_si256(uo, 1)), flip128);
        __m128i v8 = _mm_xor_si128(_mm_packs_epi16(_mm256_castsi256_si128(vo), _mm256_extracti128_si256(vo, 1)), flip128);
        // Lane 0 carries pairs 0-7 (pixels 0-15), lane 1 pairs 8-15.
        __m256i uv = _mm256_set_m128i(_mm_unpackhi_epi8(u8, v8), _mm_unpacklo_epi8(u8, v8));
        for (int row = 0; row < 2; ++row) {
            const uint8_t* yr = row ? y1 : y0;
            uint8_t* out = row ? out1 : out0;
            if (!yr) break;
            __m256i yb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(yr + x));
            yb = _mm256_adds_epu8(_mm256_subs_epu8(yb, sub), add);
            __m256i yl = _mm256_slli_epi16(_mm256_sub_epi16(_mm256_unpacklo_epi8(yb, zero), c128), 3);
            __m256i yh = _mm256_slli_epi16(_mm256_sub_epi16(_mm256_unpackhi_epi8(yb, zero), c128), 3);
            __m256i yo = _mm256_xor_si256(
                _mm256_packs_epi16(_mm256_mulhi_epi16(yl, gc), _mm256_mulhi_epi16(yh, gc)), flip);
            __m256i lo = _mm256_unpacklo_epi8(uv, yo);  // pixels 0-7 | 16-23
            __m256i hi = _mm256_unpackhi_epi8(uv, yo);  // pixels 8-15 | 24-31
            __m256i* o = reinterpret_cast<__m256i*>(out + 2 * x);
            _mm256_storeu_si256(o, _mm256_permute2x128_si256(lo, hi, 0x20));
            _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(lo, hi, 0x31));
        }
    }
    return vectorWidth;
}

}  // namespace qor::kernels

#else  // no AVX2 outside x86; HasAvx2() is false there

namespace qor::kernels {

int RgbRowPairAvx2(const ConversionCoefficients&, const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, int,
                   uint8_t*, uint8_t*, int) {
    return 0;
}

int UyvyRowPairAvx2(const ConversionCoefficients&, const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*,
                    int, uint8_t*, uint8_t*) {
    return 0;
}

}  // namespace qor::kernels

#endif
