// Searches a block's bytes for recording start codes 00 00 01 F8..FD.
//
// Each search has a plain scalar reference, an SSE2 and an AVX2 version; the
// one used is chosen once per process from the processor's features
// (ZO_FORCE_SCALAR=1 forces the reference).
// Both must return the same index for every input.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zo::media {

inline constexpr size_t kNoStartCode = SIZE_MAX;

// Smallest j in [from, end) with d[j-3..j] = 00 00 01 F8..FD, or `end`.
// Reads d[from-3 .. end-1]; from >= 3.
using FindForwardFn = size_t (*)(const uint8_t* d, size_t from, size_t end);
// Largest q with lo <= q and q + 3 <= hi and d[q..q+3] = 00 00 01 F8..FD,
// or kNoStartCode. Reads d[lo .. hi].
using FindBackwardFn = size_t (*)(const uint8_t* d, size_t lo, size_t hi);

size_t FindStartForwardScalar(const uint8_t* d, size_t from, size_t end);
size_t FindStartBackwardScalar(const uint8_t* d, size_t lo, size_t hi);
#if defined(__SSE2__)
size_t FindStartForwardSse2(const uint8_t* d, size_t from, size_t end);
size_t FindStartBackwardSse2(const uint8_t* d, size_t lo, size_t hi);
#endif
#if defined(__x86_64__)
// Only where the processor has AVX2.
size_t FindStartForwardAvx2(const uint8_t* d, size_t from, size_t end);
size_t FindStartBackwardAvx2(const uint8_t* d, size_t lo, size_t hi);
bool HasAvx2();
#endif

// The versions in use.
FindForwardFn FindStartForward();
FindBackwardFn FindStartBackward();

}  // namespace zo::media
