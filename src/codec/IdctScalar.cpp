#include <cstdlib>
#include <cstring>

#include "codec/Idct.h"

namespace zo::codec {
namespace {

inline int16_t Saturate16(int32_t v) {
    return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}

// Products and sums wrap in 32 bits, as vector multiply-adds give them.
inline uint32_t Mul(int c, int16_t x) { return static_cast<uint32_t>(c) * static_cast<uint32_t>(static_cast<int32_t>(x)); }

// One 8-point transform of x[0..7] into y[0..7].
inline void Transform(const int16_t* x, int16_t* y, uint32_t rounding, int shift) {
    const uint32_t e0 = Mul(kC4, x[0]) + Mul(kC4, x[4]) + Mul(kC2, x[2]) + Mul(kC6, x[6]);
    const uint32_t e1 = Mul(kC4, x[0]) - Mul(kC4, x[4]) + Mul(kC6, x[2]) - Mul(kC2, x[6]);
    const uint32_t e2 = Mul(kC4, x[0]) - Mul(kC4, x[4]) - Mul(kC6, x[2]) + Mul(kC2, x[6]);
    const uint32_t e3 = Mul(kC4, x[0]) + Mul(kC4, x[4]) - Mul(kC2, x[2]) - Mul(kC6, x[6]);
    const uint32_t o0 = Mul(kC1, x[1]) + Mul(kC3, x[3]) + Mul(kC5, x[5]) + Mul(kC7, x[7]);
    const uint32_t o1 = Mul(kC3, x[1]) - Mul(kC7, x[3]) - Mul(kC1, x[5]) - Mul(kC5, x[7]);
    const uint32_t o2 = Mul(kC5, x[1]) - Mul(kC1, x[3]) + Mul(kC7, x[5]) + Mul(kC3, x[7]);
    const uint32_t o3 = Mul(kC7, x[1]) - Mul(kC5, x[3]) + Mul(kC3, x[5]) - Mul(kC1, x[7]);
    const uint32_t e[4] = {e0, e1, e2, e3};
    const uint32_t o[4] = {o0, o1, o2, o3};
    for (int j = 0; j < 4; ++j) {
        // The wrapped 32-bit sum read as signed, then an arithmetic shift.
        y[j] = Saturate16(static_cast<int32_t>(e[j] + o[j] + rounding) >> shift);
        y[7 - j] = Saturate16(static_cast<int32_t>(e[j] - o[j] + rounding) >> shift);
    }
}

bool ForceScalar() {
    const char* v = std::getenv("ZO_FORCE_SCALAR");
    return v && *v && std::strcmp(v, "0") != 0;
}

}  // namespace

void Idct16Scalar(const int16_t* in, int16_t* out) {
    int16_t pass1[64];
    int16_t row[8];
    // Rows, then transpose.
    for (int r = 0; r < 8; ++r) {
        Transform(in + 8 * r, row, 2048, 12);
        for (int j = 0; j < 8; ++j)
            pass1[8 * j + r] = row[j];
    }
    // Rows of the result (the columns of the block), then transpose back.
    for (int r = 0; r < 8; ++r) {
        Transform(pass1 + 8 * r, row, 262144, 19);
        for (int j = 0; j < 8; ++j)
            out[8 * j + r] = row[j];
    }
}

void IdctPutScalar(const int16_t* in, uint8_t* dst, int stride) {
    int16_t samples[64];
    Idct16Scalar(in, samples);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int v = samples[8 * y + x];
            dst[y * stride + x] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
}

void IdctPut2Scalar(const int16_t* a, uint8_t* dstA, int strideA, const int16_t* b, uint8_t* dstB, int strideB) {
    IdctPutScalar(a, dstA, strideA);
    IdctPutScalar(b, dstB, strideB);
}

#if defined(__SSE2__)
void IdctPut2Sse2(const int16_t* a, uint8_t* dstA, int strideA, const int16_t* b, uint8_t* dstB, int strideB) {
    IdctPutSse2(a, dstA, strideA);
    IdctPutSse2(b, dstB, strideB);
}
#endif

void IdctPut4Scalar(const int16_t (*blocks)[64], uint8_t* const* destinations, const int* strides) {
    for (int i = 0; i < 4; ++i)
        IdctPutScalar(blocks[i], destinations[i], strides[i]);
}

#if defined(__x86_64__)
bool IdctHasAvx2() { return __builtin_cpu_supports("avx2"); }
#endif

namespace {
// Four blocks as two pairs, with the pair version in use.
void IdctPut4ByPairs(const int16_t (*blocks)[64], uint8_t* const* destinations, const int* strides) {
    const IdctPut2Fn put2 = IdctPut2();
    put2(blocks[0], destinations[0], strides[0], blocks[1], destinations[1], strides[1]);
    put2(blocks[2], destinations[2], strides[2], blocks[3], destinations[3], strides[3]);
}
}  // namespace

IdctPut4Fn IdctPut4() {
#if defined(__x86_64__)
    static const IdctPut4Fn chosen = ForceScalar()     ? IdctPut4Scalar
                                     : IdctHasAvx512() ? IdctPut4Avx512
                                                       : IdctPut4ByPairs;
#else
    static const IdctPut4Fn chosen = ForceScalar() ? IdctPut4Scalar : IdctPut4ByPairs;
#endif
    return chosen;
}

IdctPut2Fn IdctPut2() {
#if defined(__x86_64__)
    static const IdctPut2Fn chosen = ForceScalar() ? IdctPut2Scalar : IdctHasAvx2() ? IdctPut2Avx2 : IdctPut2Sse2;
#elif defined(__SSE2__)
    static const IdctPut2Fn chosen = ForceScalar() ? IdctPut2Scalar : IdctPut2Sse2;
#else
    static const IdctPut2Fn chosen = IdctPut2Scalar;
#endif
    return chosen;
}

Idct16Fn Idct16() {
#if defined(__SSE2__)
    static const Idct16Fn chosen = ForceScalar() ? Idct16Scalar : Idct16Sse2;
#else
    static const Idct16Fn chosen = Idct16Scalar;
#endif
    return chosen;
}

IdctPutFn IdctPut() {
#if defined(__SSE2__)
    static const IdctPutFn chosen = ForceScalar() ? IdctPutScalar : IdctPutSse2;
#else
    static const IdctPutFn chosen = IdctPutScalar;
#endif
    return chosen;
}

}  // namespace zo::codec
