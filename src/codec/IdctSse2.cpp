// SSE2 inverse DCT: the block is held as eight rows of eight 16-bit lanes;
// a transform along the vertical direction works lane-wise with pairs of
// rows interleaved into multiply-adds; transposes turn rows into columns.
#include "codec/Idct.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace zo::codec {
namespace {

inline __m128i Pair(int a, int b) {
    return _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(b) << 16) | (static_cast<uint32_t>(a) & 0xFFFF)));
}

inline void Transpose(__m128i r[8]) {
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]);
    const __m128i a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]);
    const __m128i a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]);
    const __m128i a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]);
    const __m128i a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2);
    const __m128i b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3);
    const __m128i b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6);
    const __m128i b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7);
    const __m128i b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// Four lanes of the transform across rows x[0..7] (32-bit products of
// interleaved pairs), written to y[0..7] as 32-bit values before packing.
template <int Shift>
inline void Half(const __m128i p04, const __m128i p26, const __m128i p13, const __m128i p57, __m128i rounding,
                 __m128i y[8]) {
    const __m128i e0 = _mm_add_epi32(_mm_madd_epi16(p04, Pair(kC4, kC4)), _mm_madd_epi16(p26, Pair(kC2, kC6)));
    const __m128i e1 = _mm_add_epi32(_mm_madd_epi16(p04, Pair(kC4, -kC4)), _mm_madd_epi16(p26, Pair(kC6, -kC2)));
    const __m128i e2 = _mm_add_epi32(_mm_madd_epi16(p04, Pair(kC4, -kC4)), _mm_madd_epi16(p26, Pair(-kC6, kC2)));
    const __m128i e3 = _mm_add_epi32(_mm_madd_epi16(p04, Pair(kC4, kC4)), _mm_madd_epi16(p26, Pair(-kC2, -kC6)));
    const __m128i o0 = _mm_add_epi32(_mm_madd_epi16(p13, Pair(kC1, kC3)), _mm_madd_epi16(p57, Pair(kC5, kC7)));
    const __m128i o1 = _mm_add_epi32(_mm_madd_epi16(p13, Pair(kC3, -kC7)), _mm_madd_epi16(p57, Pair(-kC1, -kC5)));
    const __m128i o2 = _mm_add_epi32(_mm_madd_epi16(p13, Pair(kC5, -kC1)), _mm_madd_epi16(p57, Pair(kC7, kC3)));
    const __m128i o3 = _mm_add_epi32(_mm_madd_epi16(p13, Pair(kC7, -kC5)), _mm_madd_epi16(p57, Pair(kC3, -kC1)));
    const __m128i er[4] = {_mm_add_epi32(e0, rounding), _mm_add_epi32(e1, rounding), _mm_add_epi32(e2, rounding),
                           _mm_add_epi32(e3, rounding)};
    const __m128i o[4] = {o0, o1, o2, o3};
    for (int j = 0; j < 4; ++j) {
        y[j] = _mm_srai_epi32(_mm_add_epi32(er[j], o[j]), Shift);
        y[7 - j] = _mm_srai_epi32(_mm_sub_epi32(er[j], o[j]), Shift);
    }
}

// The transform along the rows of registers r[0..7], lane by lane.
template <int Shift>
inline void Vertical(__m128i r[8], int32_t roundingValue) {
    const __m128i rounding = _mm_set1_epi32(roundingValue);
    __m128i lo[8], hi[8];
    Half<Shift>(_mm_unpacklo_epi16(r[0], r[4]), _mm_unpacklo_epi16(r[2], r[6]), _mm_unpacklo_epi16(r[1], r[3]),
                _mm_unpacklo_epi16(r[5], r[7]), rounding, lo);
    Half<Shift>(_mm_unpackhi_epi16(r[0], r[4]), _mm_unpackhi_epi16(r[2], r[6]), _mm_unpackhi_epi16(r[1], r[3]),
                _mm_unpackhi_epi16(r[5], r[7]), rounding, hi);
    for (int j = 0; j < 8; ++j)
        r[j] = _mm_packs_epi32(lo[j], hi[j]);  // saturates to 16 bits
}

inline void Transform(const int16_t* in, __m128i r[8]) {
    for (int j = 0; j < 8; ++j)
        r[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8 * j));
    // Rows of the block: transpose so that each register holds one column
    // position of every row, transform, and the registers are the rows of
    // the transposed intermediate.
    Transpose(r);
    Vertical<12>(r, 2048);
    // Rows of the intermediate, the same way; the result comes out in
    // sample order.
    Transpose(r);
    Vertical<19>(r, 262144);
}

}  // namespace

void Idct16Sse2(const int16_t* in, int16_t* out) {
    __m128i r[8];
    Transform(in, r);
    for (int j = 0; j < 8; ++j)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * j), r[j]);
}

void IdctPutSse2(const int16_t* in, uint8_t* dst, int stride) {
    __m128i r[8];
    Transform(in, r);
    for (int j = 0; j < 8; j += 2) {
        const __m128i bytes = _mm_packus_epi16(r[j], r[j + 1]);  // clamps to 0..255
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + j * stride), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (j + 1) * stride), _mm_unpackhi_epi64(bytes, bytes));
    }
}

}  // namespace zo::codec
#endif
