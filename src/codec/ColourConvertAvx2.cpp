// Row kernels with AVX2: video range 32 pixels per step, full range 16; the
// rest of a row goes through the scalar kernel. Compiled for the baseline
// processor with per-function target attributes, so nothing here runs unless
// the processor has AVX2.
#include "codec/ColourConvertKernels.h"

#if defined(__x86_64__)
#include <immintrin.h>

#define ZO_AVX2 __attribute__((target("avx2")))

namespace zo::codec::colour {
namespace {

inline ZO_AVX2 void Store(uint8_t* out, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v); }

inline ZO_AVX2 void StoreLanes(uint8_t* lower, uint8_t* upper, __m256i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lower), _mm256_castsi256_si128(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(upper), _mm256_extracti128_si256(v, 1));
}

// ---- Video range ----------------------------------------------------------

constexpr int kVideoStep = 32;

// Clamped R, G, B of 32 pixels as bytes, in pixel order.
struct Rgb8 {
    __m256i r;
    __m256i g;
    __m256i b;
};

// One channel of 32 pixels from the luma of pixels 0-7 | 16-23 (ylo) and
// 8-15 | 24-31 (yhi) and the chroma term of samples 0-7 | 8-15. Doubling
// samples 0-3 | 8-11 covers the pixels of ylo, 4-7 | 12-15 those of yhi;
// packing lo with hi restores pixel order.
inline ZO_AVX2 __m256i VideoChannel(__m256i ylo, __m256i yhi, __m256i term) {
    return _mm256_packus_epi16(_mm256_adds_epi16(ylo, _mm256_unpacklo_epi16(term, term)),
                               _mm256_adds_epi16(yhi, _mm256_unpackhi_epi16(term, term)));
}

inline ZO_AVX2 Rgb8 VideoRgb32(const uint8_t* y, const uint8_t* cb, const uint8_t* cr) {
    const __m256i zero = _mm256_setzero_si256();
    // Y - 16, or 0 below 16.
    const __m256i luma =
        _mm256_subs_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y)), _mm256_set1_epi8(16));
    // Unpacking within 128-bit lanes: ylo holds pixels 0-7 | 16-23, yhi 8-15 | 24-31.
    const __m256i yFactor = _mm256_set1_epi16(9576);
    const __m256i ylo = _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_unpacklo_epi8(luma, zero), 3), yFactor);
    const __m256i yhi = _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_unpackhi_epi8(luma, zero), 3), yFactor);

    // Chroma samples 0-7 | 8-15.
    const __m256i bias = _mm256_set1_epi16(1024);
    const __m256i u = _mm256_sub_epi16(
        _mm256_slli_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cb))), 3), bias);
    const __m256i v = _mm256_sub_epi16(
        _mm256_slli_epi16(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cr))), 3), bias);
    const __m256i red = _mm256_mulhi_epi16(v, _mm256_set1_epi16(13123));
    const __m256i green = _mm256_adds_epi16(_mm256_mulhi_epi16(u, _mm256_set1_epi16(-3218)),
                                            _mm256_mulhi_epi16(v, _mm256_set1_epi16(-6686)));
    const __m256i blue = _mm256_mulhi_epi16(u, _mm256_set1_epi16(16591));

    return {VideoChannel(ylo, yhi, red), VideoChannel(ylo, yhi, green), VideoChannel(ylo, yhi, blue)};
}

// 16-bit pixels: red's top five bits at bits kRedShift+7..kRedShift+3 (8 for
// 5-6-5, 7 for 5-5-5), green's at kGreenShift+7..kGreenShift+3, blue's at 4..0.
template <int kRedShift, int kGreenShift>
inline ZO_AVX2 __m256i Pixels16(__m256i redHigh, __m256i green, __m256i blue) {
    return _mm256_or_si256(
        _mm256_or_si256(_mm256_srli_epi16(redHigh, 8 - kRedShift), _mm256_slli_epi16(green, kGreenShift)),
        _mm256_srli_epi16(blue, 3));
}

template <int kRedShift, int kGreenShift>
inline ZO_AVX2 void Store16Bit(uint8_t* out, const Rgb8& p) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top5 = _mm256_set1_epi8(static_cast<char>(0xF8));
    const __m256i r = _mm256_and_si256(p.r, top5);
    const __m256i g = _mm256_and_si256(p.g, top5);
    // Red unpacked into the high byte is red << 8. lo: pixels 0-7 | 16-23, hi: 8-15 | 24-31.
    const __m256i lo = Pixels16<kRedShift, kGreenShift>(_mm256_unpacklo_epi8(zero, r), _mm256_unpacklo_epi8(g, zero),
                                                        _mm256_unpacklo_epi8(p.b, zero));
    const __m256i hi = Pixels16<kRedShift, kGreenShift>(_mm256_unpackhi_epi8(zero, r), _mm256_unpackhi_epi8(g, zero),
                                                        _mm256_unpackhi_epi8(p.b, zero));
    Store(out, _mm256_permute2x128_si256(lo, hi, 0x20));
    Store(out + 32, _mm256_permute2x128_si256(lo, hi, 0x31));
}

ZO_AVX2 void VideoRowRgb555Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    int x = 0;
    for (; x + kVideoStep <= width; x += kVideoStep)
        Store16Bit<7, 2>(out + 2 * x, VideoRgb32(y + x, cb + x / 2, cr + x / 2));
    if (x < width)
        kVideoScalar[Format::Rgb555](y + x, cb + x / 2, cr + x / 2, out + 2 * x, width - x);
}

ZO_AVX2 void VideoRowRgb565Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    int x = 0;
    for (; x + kVideoStep <= width; x += kVideoStep)
        Store16Bit<8, 3>(out + 2 * x, VideoRgb32(y + x, cb + x / 2, cr + x / 2));
    if (x < width)
        kVideoScalar[Format::Rgb565](y + x, cb + x / 2, cr + x / 2, out + 2 * x, width - x);
}

ZO_AVX2 void VideoRowRgb32Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    const __m256i zero = _mm256_setzero_si256();
    int x = 0;
    for (; x + kVideoStep <= width; x += kVideoStep) {
        const Rgb8 p = VideoRgb32(y + x, cb + x / 2, cr + x / 2);
        const __m256i bgLo = _mm256_unpacklo_epi8(p.b, p.g), bgHi = _mm256_unpackhi_epi8(p.b, p.g);
        const __m256i r0Lo = _mm256_unpacklo_epi8(p.r, zero), r0Hi = _mm256_unpackhi_epi8(p.r, zero);
        const __m256i q0 = _mm256_unpacklo_epi16(bgLo, r0Lo);  // pixels 0-3 | 16-19
        const __m256i q1 = _mm256_unpackhi_epi16(bgLo, r0Lo);  // 4-7 | 20-23
        const __m256i q2 = _mm256_unpacklo_epi16(bgHi, r0Hi);  // 8-11 | 24-27
        const __m256i q3 = _mm256_unpackhi_epi16(bgHi, r0Hi);  // 12-15 | 28-31
        uint8_t* o = out + 4 * x;
        // Lane by lane: a 128-bit store of the upper lane needs no shuffle.
        StoreLanes(o, o + 64, q0);
        StoreLanes(o + 16, o + 80, q1);
        StoreLanes(o + 32, o + 96, q2);
        StoreLanes(o + 48, o + 112, q3);
    }
    if (x < width)
        kVideoScalar[Format::Rgb32](y + x, cb + x / 2, cr + x / 2, out + 4 * x, width - x);
}

// Output bytes 32k..32k+31 of 32 pixels packed as 24-bit: byte j is channel
// j % 3 of pixel j / 3. vpshufb picks within 128-bit lanes, so each output
// vector is shuffled from a source whose lanes hold the pixels it needs:
// k = 0 both lanes pixels 0-15, k = 1 the bytes as they are (0-15 | 16-31),
// k = 2 both lanes pixels 16-31.
struct Rgb24Masks {
    alignas(32) int8_t m[3][3][32];  // [k][channel][i]
    constexpr Rgb24Masks() : m{} {
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 3; ++c)
                for (int i = 0; i < 32; ++i) {
                    const int j = 32 * k + i;
                    const bool upperHalf = k == 2 || (k == 1 && i >= 16);
                    m[k][c][i] = static_cast<int8_t>(j % 3 == c ? j / 3 - (upperHalf ? 16 : 0) : -128);
                }
    }
};
constexpr Rgb24Masks kRgb24Masks;

ZO_AVX2 void VideoRowRgb24Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    __m256i mask[3][3];
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c)
            mask[k][c] = _mm256_load_si256(reinterpret_cast<const __m256i*>(kRgb24Masks.m[k][c]));
    int x = 0;
    for (; x + kVideoStep <= width; x += kVideoStep) {
        const Rgb8 p = VideoRgb32(y + x, cb + x / 2, cr + x / 2);
        const __m256i src[3][3] = {
            {_mm256_permute4x64_epi64(p.b, 0x44), _mm256_permute4x64_epi64(p.g, 0x44),
             _mm256_permute4x64_epi64(p.r, 0x44)},
            {p.b, p.g, p.r},
            {_mm256_permute4x64_epi64(p.b, 0xEE), _mm256_permute4x64_epi64(p.g, 0xEE),
             _mm256_permute4x64_epi64(p.r, 0xEE)},
        };
        uint8_t* o = out + 3 * x;
        for (int k = 0; k < 3; ++k)
            Store(o + 32 * k, _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(src[k][0], mask[k][0]),
                                                              _mm256_shuffle_epi8(src[k][1], mask[k][1])),
                                              _mm256_shuffle_epi8(src[k][2], mask[k][2])));
    }
    if (x < width)
        kVideoScalar[Format::Rgb24](y + x, cb + x / 2, cr + x / 2, out + 3 * x, width - x);
}

// ---- Full range -------------------------------------------------------------

constexpr int kFullStep = 16;

// R, G, B of 16 pixels as 16-bit lanes 0..255, in pixel order.
struct Rgb16 {
    __m256i r;
    __m256i g;
    __m256i b;
};

// Above 255 becomes 255, below 0 becomes 1.
inline ZO_AVX2 __m256i FullClamp(__m256i x) {
    const __m256i negativeToOne = _mm256_and_si256(_mm256_cmpgt_epi16(_mm256_setzero_si256(), x), _mm256_set1_epi16(1));
    return _mm256_min_epi16(_mm256_max_epi16(x, negativeToOne), _mm256_set1_epi16(255));
}

inline ZO_AVX2 __m256i DoubledChroma(const uint8_t* c) {
    const __m128i samples = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(c));
    return _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(samples, samples)), _mm256_set1_epi16(128));
}

// (1024 Y + t) >> 10 is Y + (t >> 10) since 1024 Y is a multiple of 1024;
// for a single term t = f x c, (f x c) >> 10 = mulhi(64 c, f) exactly.
inline ZO_AVX2 Rgb16 FullRgb16(const uint8_t* y, const uint8_t* cb, const uint8_t* cr) {
    const __m256i luma = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)));
    const __m256i u = DoubledChroma(cb);
    const __m256i v = DoubledChroma(cr);
    const __m256i red = _mm256_mulhi_epi16(_mm256_slli_epi16(v, 6), _mm256_set1_epi16(1436));
    const __m256i blue = _mm256_mulhi_epi16(_mm256_slli_epi16(u, 6), _mm256_set1_epi16(1815));
    // Green's two terms are summed at 32 bits before the shift: u in the low,
    // v in the high half of each pair.
    const __m256i factors = _mm256_set1_epi32(static_cast<int>((static_cast<uint32_t>(static_cast<uint16_t>(-731)) << 16) |
                                                               static_cast<uint16_t>(-352)));
    const __m256i gLo = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(u, v), factors), 10);
    const __m256i gHi = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(u, v), factors), 10);
    const __m256i green = _mm256_packs_epi32(gLo, gHi);  // in-lane unpack and pack: pixel order kept
    return {FullClamp(_mm256_add_epi16(luma, red)), FullClamp(_mm256_add_epi16(luma, green)),
            FullClamp(_mm256_add_epi16(luma, blue))};
}

// 16-bit pixels: (hi & hiMask) << 8 | (g & gMask) << 3 (5-6-5) or << 2 (5-5-5) | lo >> 3.
template <int kGreenMask, int kGreenShift, int kHighShift>
inline ZO_AVX2 __m256i Pack16(__m256i high, __m256i g, __m256i low) {
    const __m256i hi = _mm256_slli_epi16(_mm256_and_si256(high, _mm256_set1_epi16(0xF8)), kHighShift);
    const __m256i mid = _mm256_slli_epi16(_mm256_and_si256(g, _mm256_set1_epi16(kGreenMask)), kGreenShift);
    return _mm256_or_si256(_mm256_or_si256(hi, mid), _mm256_srli_epi16(low, 3));
}

ZO_AVX2 void FullRowRgb555Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    int x = 0;
    for (; x + kFullStep <= width; x += kFullStep) {
        const Rgb16 p = FullRgb16(y + x, cb + x / 2, cr + x / 2);
        Store(out + 2 * x, Pack16<0xF8, 2, 7>(p.r, p.g, p.b));
    }
    if (x < width)
        kFullScalar[Format::Rgb555](y + x, cb + x / 2, cr + x / 2, out + 2 * x, width - x);
}

ZO_AVX2 void FullRowRgb565Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    int x = 0;
    for (; x + kFullStep <= width; x += kFullStep) {
        const Rgb16 p = FullRgb16(y + x, cb + x / 2, cr + x / 2);
        Store(out + 2 * x, Pack16<0xFC, 3, 8>(p.r, p.g, p.b));
    }
    if (x < width)
        kFullScalar[Format::Rgb565](y + x, cb + x / 2, cr + x / 2, out + 2 * x, width - x);
}

ZO_AVX2 void FullRowBgr565Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    int x = 0;
    for (; x + kFullStep <= width; x += kFullStep) {
        const Rgb16 p = FullRgb16(y + x, cb + x / 2, cr + x / 2);
        Store(out + 2 * x, Pack16<0xFC, 3, 8>(p.b, p.g, p.r));
    }
    if (x < width)
        kFullScalar[Format::Bgr565](y + x, cb + x / 2, cr + x / 2, out + 2 * x, width - x);
}

ZO_AVX2 void FullRowRgb32Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    int x = 0;
    for (; x + kFullStep <= width; x += kFullStep) {
        const Rgb16 p = FullRgb16(y + x, cb + x / 2, cr + x / 2);
        const __m256i bg = _mm256_or_si256(p.b, _mm256_slli_epi16(p.g, 8));
        const __m256i lo = _mm256_unpacklo_epi16(bg, p.r);  // pixels 0-3 | 8-11
        const __m256i hi = _mm256_unpackhi_epi16(bg, p.r);  // 4-7 | 12-15
        Store(out + 4 * x, _mm256_permute2x128_si256(lo, hi, 0x20));
        Store(out + 4 * x + 32, _mm256_permute2x128_si256(lo, hi, 0x31));
    }
    if (x < width)
        kFullScalar[Format::Rgb32](y + x, cb + x / 2, cr + x / 2, out + 4 * x, width - x);
}

// 16 lanes of 0..255 as 16 bytes in order.
inline ZO_AVX2 __m128i Bytes(__m256i lanes) {
    return _mm_packus_epi16(_mm256_castsi256_si128(lanes), _mm256_extracti128_si256(lanes, 1));
}

struct Rgb24Masks16 {
    alignas(16) int8_t m[3][3][16];  // [k][channel][i]: output bytes 16k..16k+15
    constexpr Rgb24Masks16() : m{} {
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 3; ++c)
                for (int i = 0; i < 16; ++i) {
                    const int j = 16 * k + i;
                    m[k][c][i] = static_cast<int8_t>(j % 3 == c ? j / 3 : -128);
                }
    }
};
constexpr Rgb24Masks16 kRgb24Masks16;

ZO_AVX2 void FullRowRgb24Avx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    __m128i mask[3][3];
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c)
            mask[k][c] = _mm_load_si128(reinterpret_cast<const __m128i*>(kRgb24Masks16.m[k][c]));
    int x = 0;
    for (; x + kFullStep <= width; x += kFullStep) {
        const Rgb16 p = FullRgb16(y + x, cb + x / 2, cr + x / 2);
        const __m128i b = Bytes(p.b), g = Bytes(p.g), r = Bytes(p.r);
        uint8_t* o = out + 3 * x;
        for (int k = 0; k < 3; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 16 * k),
                             _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, mask[k][0]), _mm_shuffle_epi8(g, mask[k][1])),
                                          _mm_shuffle_epi8(r, mask[k][2])));
    }
    if (x < width)
        kFullScalar[Format::Rgb24](y + x, cb + x / 2, cr + x / 2, out + 3 * x, width - x);
}

}  // namespace

bool HasAvx2() { return __builtin_cpu_supports("avx2"); }

const RowSet kVideoAvx2 = {
    "avx2",
    {VideoRowRgb555Avx2, VideoRowRgb565Avx2, nullptr, VideoRowRgb24Avx2, VideoRowRgb32Avx2},
};

const RowSet kFullAvx2 = {
    "avx2",
    {FullRowRgb555Avx2, FullRowRgb565Avx2, FullRowBgr565Avx2, FullRowRgb24Avx2, FullRowRgb32Avx2},
};

}  // namespace zo::codec::colour
#endif
