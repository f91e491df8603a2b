// AVX2 inverse DCT of two blocks at once: each 256-bit register holds the
// same row of both blocks, one per 128-bit half, and every step of the SSE2
// version works within the halves. Compiled with -mavx2; called only where
// the processor has AVX2.
#include "codec/Idct.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace zo::codec {
namespace {

inline __m256i Pair(int a, int b) {
    return _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(b) << 16) | (static_cast<uint32_t>(a) & 0xFFFF)));
}

inline void Transpose(__m256i r[8]) {
    const __m256i a0 = _mm256_unpacklo_epi16(r[0], r[1]);
    const __m256i a1 = _mm256_unpackhi_epi16(r[0], r[1]);
    const __m256i a2 = _mm256_unpacklo_epi16(r[2], r[3]);
    const __m256i a3 = _mm256_unpackhi_epi16(r[2], r[3]);
    const __m256i a4 = _mm256_unpacklo_epi16(r[4], r[5]);
    const __m256i a5 = _mm256_unpackhi_epi16(r[4], r[5]);
    const __m256i a6 = _mm256_unpacklo_epi16(r[6], r[7]);
    const __m256i a7 = _mm256_unpackhi_epi16(r[6], r[7]);
    const __m256i b0 = _mm256_unpacklo_epi32(a0, a2);
    const __m256i b1 = _mm256_unpackhi_epi32(a0, a2);
    const __m256i b2 = _mm256_unpacklo_epi32(a1, a3);
    const __m256i b3 = _mm256_unpackhi_epi32(a1, a3);
    const __m256i b4 = _mm256_unpacklo_epi32(a4, a6);
    const __m256i b5 = _mm256_unpackhi_epi32(a4, a6);
    const __m256i b6 = _mm256_unpacklo_epi32(a5, a7);
    const __m256i b7 = _mm256_unpackhi_epi32(a5, a7);
    r[0] = _mm256_unpacklo_epi64(b0, b4);
    r[1] = _mm256_unpackhi_epi64(b0, b4);
    r[2] = _mm256_unpacklo_epi64(b1, b5);
    r[3] = _mm256_unpackhi_epi64(b1, b5);
    r[4] = _mm256_unpacklo_epi64(b2, b6);
    r[5] = _mm256_unpackhi_epi64(b2, b6);
    r[6] = _mm256_unpacklo_epi64(b3, b7);
    r[7] = _mm256_unpackhi_epi64(b3, b7);
}

template <int Shift>
inline void Half(const __m256i p04, const __m256i p26, const __m256i p13, const __m256i p57, __m256i rounding,
                 __m256i y[8]) {
    const __m256i e0 = _mm256_add_epi32(_mm256_madd_epi16(p04, Pair(kC4, kC4)), _mm256_madd_epi16(p26, Pair(kC2, kC6)));
    const __m256i e1 = _mm256_add_epi32(_mm256_madd_epi16(p04, Pair(kC4, -kC4)), _mm256_madd_epi16(p26, Pair(kC6, -kC2)));
    const __m256i e2 = _mm256_add_epi32(_mm256_madd_epi16(p04, Pair(kC4, -kC4)), _mm256_madd_epi16(p26, Pair(-kC6, kC2)));
    const __m256i e3 = _mm256_add_epi32(_mm256_madd_epi16(p04, Pair(kC4, kC4)), _mm256_madd_epi16(p26, Pair(-kC2, -kC6)));
    const __m256i o0 = _mm256_add_epi32(_mm256_madd_epi16(p13, Pair(kC1, kC3)), _mm256_madd_epi16(p57, Pair(kC5, kC7)));
    const __m256i o1 = _mm256_add_epi32(_mm256_madd_epi16(p13, Pair(kC3, -kC7)), _mm256_madd_epi16(p57, Pair(-kC1, -kC5)));
    const __m256i o2 = _mm256_add_epi32(_mm256_madd_epi16(p13, Pair(kC5, -kC1)), _mm256_madd_epi16(p57, Pair(kC7, kC3)));
    const __m256i o3 = _mm256_add_epi32(_mm256_madd_epi16(p13, Pair(kC7, -kC5)), _mm256_madd_epi16(p57, Pair(kC3, -kC1)));
    const __m256i er[4] = {_mm256_add_epi32(e0, rounding), _mm256_add_epi32(e1, rounding),
                           _mm256_add_epi32(e2, rounding), _mm256_add_epi32(e3, rounding)};
    const __m256i o[4] = {o0, o1, o2, o3};
    for (int j = 0; j < 4; ++j) {
        y[j] = _mm256_srai_epi32(_mm256_add_epi32(er[j], o[j]), Shift);
        y[7 - j] = _mm256_srai_epi32(_mm256_sub_epi32(er[j], o[j]), Shift);
    }
}

template <int Shift>
inline void Vertical(__m256i r[8], int32_t roundingValue) {
    const __m256i rounding = _mm256_set1_epi32(roundingValue);
    __m256i lo[8], hi[8];
    Half<Shift>(_mm256_unpacklo_epi16(r[0], r[4]), _mm256_unpacklo_epi16(r[2], r[6]),
                _mm256_unpacklo_epi16(r[1], r[3]), _mm256_unpacklo_epi16(r[5], r[7]), rounding, lo);
    Half<Shift>(_mm256_unpackhi_epi16(r[0], r[4]), _mm256_unpackhi_epi16(r[2], r[6]),
                _mm256_unpackhi_epi16(r[1], r[3]), _mm256_unpackhi_epi16(r[5], r[7]), rounding, hi);
    for (int j = 0; j < 8; ++j)
        r[j] = _mm256_packs_epi32(lo[j], hi[j]);
}

}  // namespace

void IdctPut2Avx2(const int16_t* a, uint8_t* dstA, int strideA, const int16_t* b, uint8_t* dstB, int strideB) {
    __m256i r[8];
    for (int j = 0; j < 8; ++j)
        r[j] = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * j))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * j)), 1);
    Transpose(r);
    Vertical<12>(r, 2048);
    Transpose(r);
    Vertical<19>(r, 262144);
    for (int j = 0; j < 8; j += 2) {
        // Rows j and j+1 of both blocks, clamped to bytes: [a_j a_j+1 | b_j b_j+1].
        const __m256i bytes = _mm256_packus_epi16(r[j], r[j + 1]);
        const __m128i forA = _mm256_castsi256_si128(bytes);
        const __m128i forB = _mm256_extracti128_si256(bytes, 1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dstA + j * strideA), forA);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dstA + (j + 1) * strideA), _mm_unpackhi_epi64(forA, forA));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dstB + j * strideB), forB);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dstB + (j + 1) * strideB), _mm_unpackhi_epi64(forB, forB));
    }
}

}  // namespace zo::codec
#endif
