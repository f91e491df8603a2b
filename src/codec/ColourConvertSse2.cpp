// Video-range row kernels with SSE2 (SSSE3 for the 24-bit byte shuffle),
// 16 pixels per step; the rest of a row goes through the scalar kernel.
#include "codec/ColourConvertKernels.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace zo::codec::colour {
namespace {

constexpr int kStep = 16;

// Clamped R, G, B of 16 pixels as bytes.
struct Rgb8 {
    __m128i r;
    __m128i g;
    __m128i b;
};

inline Rgb8 VideoRgb16(const uint8_t* y, const uint8_t* cb, const uint8_t* cr) {
    const __m128i zero = _mm_setzero_si128();
    // Y - 16, or 0 below 16.
    const __m128i luma = _mm_subs_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)), _mm_set1_epi8(16));
    const __m128i yFactor = _mm_set1_epi16(9576);
    const __m128i ylo = _mm_mulhi_epi16(_mm_slli_epi16(_mm_unpacklo_epi8(luma, zero), 3), yFactor);
    const __m128i yhi = _mm_mulhi_epi16(_mm_slli_epi16(_mm_unpackhi_epi8(luma, zero), 3), yFactor);

    const __m128i bias = _mm_set1_epi16(1024);
    const __m128i u = _mm_sub_epi16(
        _mm_slli_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb)), zero), 3), bias);
    const __m128i v = _mm_sub_epi16(
        _mm_slli_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr)), zero), 3), bias);
    const __m128i red = _mm_mulhi_epi16(v, _mm_set1_epi16(13123));
    const __m128i green =
        _mm_adds_epi16(_mm_mulhi_epi16(u, _mm_set1_epi16(-3218)), _mm_mulhi_epi16(v, _mm_set1_epi16(-6686)));
    const __m128i blue = _mm_mulhi_epi16(u, _mm_set1_epi16(16591));

    // Each chroma term serves two neighbouring pixels.
    const __m128i rlo = _mm_unpacklo_epi16(red, red), rhi = _mm_unpackhi_epi16(red, red);
    const __m128i glo = _mm_unpacklo_epi16(green, green), ghi = _mm_unpackhi_epi16(green, green);
    const __m128i blo = _mm_unpacklo_epi16(blue, blue), bhi = _mm_unpackhi_epi16(blue, blue);
    return {_mm_packus_epi16(_mm_adds_epi16(ylo, rlo), _mm_adds_epi16(yhi, rhi)),
            _mm_packus_epi16(_mm_adds_epi16(ylo, glo), _mm_adds_epi16(yhi, ghi)),
            _mm_packus_epi16(_mm_adds_epi16(ylo, blo), _mm_adds_epi16(yhi, bhi))};
}

inline void Store(uint8_t* out, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v); }

// 16-bit pixels from the top five bits of each channel: red's land at
// bits redShift+7..redShift+3 (8 for 5-6-5, 7 for 5-5-5), green's at
// greenShift+7..greenShift+3, blue's at 4..0.
template <int kRedShift, int kGreenShift>
inline void Store16Bit(uint8_t* out, const Rgb8& p) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i top5 = _mm_set1_epi8(static_cast<char>(0xF8));
    const __m128i r = _mm_and_si128(p.r, top5);
    const __m128i g = _mm_and_si128(p.g, top5);
    const auto pixels = [&](__m128i rw, __m128i gw, __m128i bw) {
        return _mm_or_si128(_mm_or_si128(_mm_srli_epi16(rw, 8 - kRedShift), _mm_slli_epi16(gw, kGreenShift)),
                            _mm_srli_epi16(bw, 3));
    };
    // Red unpacked into the high byte is red << 8.
    Store(out, pixels(_mm_unpacklo_epi8(zero, r), _mm_unpacklo_epi8(g, zero), _mm_unpacklo_epi8(p.b, zero)));
    Store(out + 16, pixels(_mm_unpackhi_epi8(zero, r), _mm_unpackhi_epi8(g, zero), _mm_unpackhi_epi8(p.b, zero)));
}

void VideoRowRgb555Sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    int x = 0;
    for (; x + kStep <= width; x += kStep)
        Store16Bit<7, 2>(out + 2 * x, VideoRgb16(y + x, cb + x / 2, cr + x / 2));
    if (x < width)
        kVideoScalar[Format::Rgb555](y + x, cb + x / 2, cr + x / 2, out + 2 * x, width - x);
}

void VideoRowRgb565Sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    int x = 0;
    for (; x + kStep <= width; x += kStep)
        Store16Bit<8, 3>(out + 2 * x, VideoRgb16(y + x, cb + x / 2, cr + x / 2));
    if (x < width)
        kVideoScalar[Format::Rgb565](y + x, cb + x / 2, cr + x / 2, out + 2 * x, width - x);
}

void VideoRowRgb32Sse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + kStep <= width; x += kStep) {
        const Rgb8 p = VideoRgb16(y + x, cb + x / 2, cr + x / 2);
        const __m128i bgLo = _mm_unpacklo_epi8(p.b, p.g), bgHi = _mm_unpackhi_epi8(p.b, p.g);
        const __m128i r0Lo = _mm_unpacklo_epi8(p.r, zero), r0Hi = _mm_unpackhi_epi8(p.r, zero);
        uint8_t* o = out + 4 * x;
        Store(o, _mm_unpacklo_epi16(bgLo, r0Lo));
        Store(o + 16, _mm_unpackhi_epi16(bgLo, r0Lo));
        Store(o + 32, _mm_unpacklo_epi16(bgHi, r0Hi));
        Store(o + 48, _mm_unpackhi_epi16(bgHi, r0Hi));
    }
    if (x < width)
        kVideoScalar[Format::Rgb32](y + x, cb + x / 2, cr + x / 2, out + 4 * x, width - x);
}

// Shuffle masks taking channel c (0 blue, 1 green, 2 red) of 16 pixels to
// output bytes 16k..16k+15 of their 48 packed bytes.
struct Rgb24Masks {
    alignas(16) int8_t m[3][3][16];  // [k][c][i]
    constexpr Rgb24Masks() : m{} {
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 3; ++c)
                for (int i = 0; i < 16; ++i) {
                    const int j = 16 * k + i;
                    m[k][c][i] = static_cast<int8_t>(j % 3 == c ? j / 3 : -128);
                }
    }
};
constexpr Rgb24Masks kRgb24Masks;

__attribute__((target("ssse3"))) void VideoRowRgb24Ssse3(const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                                                         uint8_t* out, int width) {
    __m128i mask[3][3];
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c)
            mask[k][c] = _mm_load_si128(reinterpret_cast<const __m128i*>(kRgb24Masks.m[k][c]));
    int x = 0;
    for (; x + kStep <= width; x += kStep) {
        const Rgb8 p = VideoRgb16(y + x, cb + x / 2, cr + x / 2);
        uint8_t* o = out + 3 * x;
        for (int k = 0; k < 3; ++k)
            Store(o + 16 * k, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(p.b, mask[k][0]), _mm_shuffle_epi8(p.g, mask[k][1])),
                                           _mm_shuffle_epi8(p.r, mask[k][2])));
    }
    if (x < width)
        kVideoScalar[Format::Rgb24](y + x, cb + x / 2, cr + x / 2, out + 3 * x, width - x);
}

}  // namespace

bool HasSsse3() { return __builtin_cpu_supports("ssse3"); }

RowSet VideoSse2() {
    return {"sse2",
            {VideoRowRgb555Sse2, VideoRowRgb565Sse2, nullptr,
             HasSsse3() ? VideoRowRgb24Ssse3 : kVideoScalar[Format::Rgb24], VideoRowRgb32Sse2}};
}

}  // namespace zo::codec::colour
#endif
