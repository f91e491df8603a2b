#include "media/StartCodeScan.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace zo::media {
namespace {

inline bool IsFrameCode(uint8_t b) { return static_cast<unsigned>(b) - 0xF8u <= 5u; }

// 00 00 01 xx with xx a frame code, the 01 at index k.
inline bool StartAround(const uint8_t* d, size_t k) {
    return d[k - 1] == 0 && d[k - 2] == 0 && IsFrameCode(d[k + 1]);
}

bool ForceScalar() {
    const char* v = std::getenv("ZO_FORCE_SCALAR");
    return v && *v && std::strcmp(v, "0") != 0;
}

}  // namespace

size_t FindStartForwardScalar(const uint8_t* d, size_t from, size_t end) {
    for (size_t j = from; j < end; ++j)
        if (d[j - 3] == 0 && d[j - 2] == 0 && d[j - 1] == 1 && IsFrameCode(d[j]))
            return j;
    return end;
}

size_t FindStartBackwardScalar(const uint8_t* d, size_t lo, size_t hi) {
    if (hi < lo + 3)
        return kNoStartCode;
    for (size_t q = hi - 3 + 1; q-- > lo;)
        if (d[q] == 0 && d[q + 1] == 0 && d[q + 2] == 1 && IsFrameCode(d[q + 3]))
            return q;
    return kNoStartCode;
}

#if defined(__SSE2__)
namespace {

// Places in [p, p + 16) holding 0x01 followed by a byte of F8 or more: the
// rare candidates for a start code (a slice code has a small byte there).
inline unsigned CandidatesSse2(const uint8_t* p) {
    const __m128i ones = _mm_set1_epi8(1);
    const __m128i f8 = _mm_set1_epi8(static_cast<char>(0xF8));
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i high = _mm_cmpeq_epi8(_mm_max_epu8(b, f8), b);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, ones), high)));
}

}  // namespace

size_t FindStartForwardSse2(const uint8_t* d, size_t from, size_t end) {
    if (from >= end)
        return end;
    size_t k = from - 1;          // first place for the 0x01
    const size_t last = end - 2;  // last place for the 0x01; d[last + 1] is the last byte read
    for (; k + 15 <= last; k += 16) {
        unsigned mask = CandidatesSse2(d + k);
        while (mask) {
            const size_t at = k + static_cast<size_t>(__builtin_ctz(mask));
            if (StartAround(d, at))
                return at + 1;
            mask &= mask - 1;
        }
    }
    for (; k <= last; ++k)
        if (d[k] == 1 && StartAround(d, k))
            return k + 1;
    return end;
}

size_t FindStartBackwardSse2(const uint8_t* d, size_t lo, size_t hi) {
    if (hi < lo + 3)
        return kNoStartCode;
    const size_t first = lo + 2;  // lowest place for the 0x01
    size_t top = hi - 1;          // highest place for the 0x01; d[hi] is the last byte read
    for (; top >= first + 15; top -= 16) {
        const size_t base = top - 15;
        unsigned mask = CandidatesSse2(d + base);
        while (mask) {
            const int bit = 31 - __builtin_clz(mask);
            const size_t at = base + static_cast<size_t>(bit);
            if (StartAround(d, at))
                return at - 2;
            mask &= ~(1u << bit);
        }
    }
    for (size_t k = top + 1; k-- > first;)
        if (d[k] == 1 && StartAround(d, k))
            return k - 2;
    return kNoStartCode;
}
#endif

#if defined(__x86_64__)
namespace {

__attribute__((target("avx2"))) inline uint32_t CandidatesAvx2(const uint8_t* p) {
    const __m256i ones = _mm256_set1_epi8(1);
    const __m256i f8 = _mm256_set1_epi8(static_cast<char>(0xF8));
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i high = _mm256_cmpeq_epi8(_mm256_max_epu8(b, f8), b);
    return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, ones), high)));
}

}  // namespace

__attribute__((target("avx2"))) size_t FindStartForwardAvx2(const uint8_t* d, size_t from, size_t end) {
    if (from >= end)
        return end;
    size_t k = from - 1;
    const size_t last = end - 2;
    for (; k + 31 <= last; k += 32) {
        uint32_t mask = CandidatesAvx2(d + k);
        while (mask) {
            const size_t at = k + static_cast<size_t>(__builtin_ctz(mask));
            if (StartAround(d, at))
                return at + 1;
            mask &= mask - 1;
        }
    }
    for (; k <= last; ++k)
        if (d[k] == 1 && StartAround(d, k))
            return k + 1;
    return end;
}

__attribute__((target("avx2"))) size_t FindStartBackwardAvx2(const uint8_t* d, size_t lo, size_t hi) {
    if (hi < lo + 3)
        return kNoStartCode;
    const size_t first = lo + 2;
    size_t top = hi - 1;
    for (; top >= first + 31; top -= 32) {
        const size_t base = top - 31;
        uint32_t mask = CandidatesAvx2(d + base);
        while (mask) {
            const int bit = 31 - __builtin_clz(mask);
            const size_t at = base + static_cast<size_t>(bit);
            if (StartAround(d, at))
                return at - 2;
            mask &= ~(1u << bit);
        }
    }
    for (size_t k = top + 1; k-- > first;)
        if (d[k] == 1 && StartAround(d, k))
            return k - 2;
    return kNoStartCode;
}

bool HasAvx2() { return __builtin_cpu_supports("avx2"); }
#endif

FindForwardFn FindStartForward() {
#if defined(__x86_64__)
    static const FindForwardFn chosen = ForceScalar() ? FindStartForwardScalar
                                        : HasAvx2()   ? FindStartForwardAvx2
                                                      : FindStartForwardSse2;
#else
    static const FindForwardFn chosen = FindStartForwardScalar;
#endif
    return chosen;
}

FindBackwardFn FindStartBackward() {
#if defined(__x86_64__)
    static const FindBackwardFn chosen = ForceScalar() ? FindStartBackwardScalar
                                         : HasAvx2()   ? FindStartBackwardAvx2
                                                       : FindStartBackwardSse2;
#else
    static const FindBackwardFn chosen = FindStartBackwardScalar;
#endif
    return chosen;
}

}  // namespace zo::media
