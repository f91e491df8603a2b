// The integer 8x8 inverse DCT of the picture coding and the block store.
//
// Two passes of one 8-point transform (rows with rounding 2048 and shift
// 12, then columns with 262144 and 19), sums in 32-bit two's complement,
// each pass's outputs saturated to 16 bits, finally clamped to 0..255.
// Each routine has a scalar reference and an SSE2 version (AVX2 or AVX-512
// where the processor has it); the version used is chosen once per process
// (ZO_FORCE_SCALAR=1 forces the reference). All give identical results.
#pragma once

#include <cstdint>

namespace zo::codec {

// Transform constants: cosines times sqrt(2) times 16384.
inline constexpr int kC1 = 22725, kC2 = 21407, kC3 = 19266, kC4 = 16384, kC5 = 12873, kC6 = 8867,
                     kC7 = 4520;

// Coefficients in natural order (8 x vertical frequency + horizontal) to
// samples (8 x y + x), before the final clamp.
using Idct16Fn = void (*)(const int16_t* coefficients, int16_t* samples);
// The same, clamped to 0..255 and stored as 8 rows of 8 bytes at `stride`.
using IdctPutFn = void (*)(const int16_t* coefficients, uint8_t* destination, int stride);

void Idct16Scalar(const int16_t* coefficients, int16_t* samples);
void IdctPutScalar(const int16_t* coefficients, uint8_t* destination, int stride);
#if defined(__SSE2__)
void Idct16Sse2(const int16_t* coefficients, int16_t* samples);
void IdctPutSse2(const int16_t* coefficients, uint8_t* destination, int stride);
#endif

// Two blocks at once (the decoder pairs the blocks of a macroblock).
using IdctPut2Fn = void (*)(const int16_t* a, uint8_t* destinationA, int strideA, const int16_t* b,
                            uint8_t* destinationB, int strideB);
void IdctPut2Scalar(const int16_t* a, uint8_t* destinationA, int strideA, const int16_t* b, uint8_t* destinationB,
                    int strideB);
#if defined(__SSE2__)
void IdctPut2Sse2(const int16_t* a, uint8_t* destinationA, int strideA, const int16_t* b, uint8_t* destinationB,
                  int strideB);
#endif
#if defined(__x86_64__)
// Only where the processor has AVX2.
void IdctPut2Avx2(const int16_t* a, uint8_t* destinationA, int strideA, const int16_t* b, uint8_t* destinationB,
                  int strideB);
bool IdctHasAvx2();
#endif

// Four blocks at once (consecutive in memory), each to its own destination
// and stride.
using IdctPut4Fn = void (*)(const int16_t (*blocks)[64], uint8_t* const* destinations, const int* strides);
void IdctPut4Scalar(const int16_t (*blocks)[64], uint8_t* const* destinations, const int* strides);
#if defined(__x86_64__)
// Only where the processor has AVX-512 F and BW.
void IdctPut4Avx512(const int16_t (*blocks)[64], uint8_t* const* destinations, const int* strides);
bool IdctHasAvx512();
#endif

// The versions in use.
Idct16Fn Idct16();
IdctPutFn IdctPut();
IdctPut2Fn IdctPut2();
// Without AVX-512: two calls of the pair version in use.
IdctPut4Fn IdctPut4();

}  // namespace zo::codec
