// AVX-512 inverse DCT of four blocks at once: each 512-bit register holds
// the same row of the four blocks, one per 128-bit lane, and every step of
// the two-block AVX2 version works within the lanes. Compiled with
// -mavx512f -mavx512bw; called only where the processor has both.
#include "codec/Idct.h"

#if defined(__x86_64__)
// GCC 12's AVX-512 intrinsics start some results from a deliberately
// undefined vector, which its own -Wuninitialized then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace zo::codec {
namespace {

inline __m512i Pair(int a, int b) {
    return _mm512_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(b) << 16) | (static_cast<uint32_t>(a) & 0xFFFF)));
}

inline void Transpose(__m512i r[8]) {
    const __m512i a0 = _mm512_unpacklo_epi16(r[0], r[1]);
    const __m512i a1 = _mm512_unpackhi_epi16(r[0], r[1]);
    const __m512i a2 = _mm512_unpacklo_epi16(r[2], r[3]);
    const __m512i a3 = _mm512_unpackhi_epi16(r[2], r[3]);
    const __m512i a4 = _mm512_unpacklo_epi16(r[4], r[5]);
    const __m512i a5 = _mm512_unpackhi_epi16(r[4], r[5]);
    const __m512i a6 = _mm512_unpacklo_epi16(r[6], r[7]);
    const __m512i a7 = _mm512_unpackhi_epi16(r[6], r[7]);
    const __m512i b0 = _mm512_unpacklo_epi32(a0, a2);
    const __m512i b1 = _mm512_unpackhi_epi32(a0, a2);
    const __m512i b2 = _mm512_unpacklo_epi32(a1, a3);
    const __m512i b3 = _mm512_unpackhi_epi32(a1, a3);
    const __m512i b4 = _mm512_unpacklo_epi32(a4, a6);
    const __m512i b5 = _mm512_unpackhi_epi32(a4, a6);
    const __m512i b6 = _mm512_unpacklo_epi32(a5, a7);
    const __m512i b7 = _mm512_unpackhi_epi32(a5, a7);
    r[0] = _mm512_unpacklo_epi64(b0, b4);
    r[1] = _mm512_unpackhi_epi64(b0, b4);
    r[2] = _mm512_unpacklo_epi64(b1, b5);
    r[3] = _mm512_unpackhi_epi64(b1, b5);
    r[4] = _mm512_unpacklo_epi64(b2, b6);
    r[5] = _mm512_unpackhi_epi64(b2, b6);
    r[6] = _mm512_unpacklo_epi64(b3, b7);
    r[7] = _mm512_unpackhi_epi64(b3, b7);
}

template <int Shift>
inline void Half(const __m512i p04, const __m512i p26, const __m512i p13, const __m512i p57, __m512i rounding,
                 __m512i y[8]) {
    const __m512i e0 = _mm512_add_epi32(_mm512_madd_epi16(p04, Pair(kC4, kC4)), _mm512_madd_epi16(p26, Pair(kC2, kC6)));
    const __m512i e1 = _mm512_add_epi32(_mm512_madd_epi16(p04, Pair(kC4, -kC4)), _mm512_madd_epi16(p26, Pair(kC6, -kC2)));
    const __m512i e2 = _mm512_add_epi32(_mm512_madd_epi16(p04, Pair(kC4, -kC4)), _mm512_madd_epi16(p26, Pair(-kC6, kC2)));
    const __m512i e3 = _mm512_add_epi32(_mm512_madd_epi16(p04, Pair(kC4, kC4)), _mm512_madd_epi16(p26, Pair(-kC2, -kC6)));
    const __m512i o0 = _mm512_add_epi32(_mm512_madd_epi16(p13, Pair(kC1, kC3)), _mm512_madd_epi16(p57, Pair(kC5, kC7)));
    const __m512i o1 = _mm512_add_epi32(_mm512_madd_epi16(p13, Pair(kC3, -kC7)), _mm512_madd_epi16(p57, Pair(-kC1, -kC5)));
    const __m512i o2 = _mm512_add_epi32(_mm512_madd_epi16(p13, Pair(kC5, -kC1)), _mm512_madd_epi16(p57, Pair(kC7, kC3)));
    const __m512i o3 = _mm512_add_epi32(_mm512_madd_epi16(p13, Pair(kC7, -kC5)), _mm512_madd_epi16(p57, Pair(kC3, -kC1)));
    const __m512i er[4] = {_mm512_add_epi32(e0, rounding), _mm512_add_epi32(e1, rounding),
                           _mm512_add_epi32(e2, rounding), _mm512_add_epi32(e3, rounding)};
    const __m512i o[4] = {o0, o1, o2, o3};
    for (int j = 0; j < 4; ++j) {
        y[j] = _mm512_srai_epi32(_mm512_add_epi32(er[j], o[j]), Shift);
        y[7 - j] = _mm512_srai_epi32(_mm512_sub_epi32(er[j], o[j]), Shift);
    }
}

template <int Shift>
inline void Vertical(__m512i r[8], int32_t roundingValue) {
    const __m512i rounding = _mm512_set1_epi32(roundingValue);
    __m512i lo[8], hi[8];
    Half<Shift>(_mm512_unpacklo_epi16(r[0], r[4]), _mm512_unpacklo_epi16(r[2], r[6]),
                _mm512_unpacklo_epi16(r[1], r[3]), _mm512_unpacklo_epi16(r[5], r[7]), rounding, lo);
    Half<Shift>(_mm512_unpackhi_epi16(r[0], r[4]), _mm512_unpackhi_epi16(r[2], r[6]),
                _mm512_unpackhi_epi16(r[1], r[3]), _mm512_unpackhi_epi16(r[5], r[7]), rounding, hi);
    for (int j = 0; j < 8; ++j)
        r[j] = _mm512_packs_epi32(lo[j], hi[j]);
}

inline void StoreRows(__m128i rows, uint8_t* dst, int stride, int j) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + j * stride), rows);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (j + 1) * stride), _mm_unpackhi_epi64(rows, rows));
}

}  // namespace

void IdctPut4Avx512(const int16_t (*blocks)[64], uint8_t* const* destinations, const int* strides) {
    __m512i r[8];
    for (int j = 0; j < 8; ++j) {
        const __m256i low = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[0] + 8 * j))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[1] + 8 * j)), 1);
        const __m256i high = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[2] + 8 * j))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[3] + 8 * j)), 1);
        r[j] = _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
    }
    Transpose(r);
    Vertical<12>(r, 2048);
    Transpose(r);
    Vertical<19>(r, 262144);
    for (int j = 0; j < 8; j += 2) {
        // Rows j and j+1 of each block, clamped to bytes, one block a lane.
        const __m512i bytes = _mm512_packus_epi16(r[j], r[j + 1]);
        StoreRows(_mm512_castsi512_si128(bytes), destinations[0], strides[0], j);
        StoreRows(_mm512_extracti32x4_epi32(bytes, 1), destinations[1], strides[1], j);
        StoreRows(_mm512_extracti32x4_epi32(bytes, 2), destinations[2], strides[2], j);
        StoreRows(_mm512_extracti32x4_epi32(bytes, 3), destinations[3], strides[3], j);
    }
}

bool IdctHasAvx512() { return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"); }

}  // namespace zo::codec
#endif
