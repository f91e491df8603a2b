// The vector start-code searches against the scalar reference on seeded
// random blocks, with the block's end against an unmapped page so any read
// past it faults.
#include "media/StartCodeScan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

#include "support/PageEndBuffer.h"
#include "synth/FrameMaker.h"

namespace zo::media {
namespace {

using test::PageEndBuffer;

struct Impl {
    const char* name;
    FindForwardFn forward;
    FindBackwardFn backward;
};

std::vector<Impl> Implementations() {
    std::vector<Impl> impls;
#if defined(__SSE2__)
    impls.push_back({"sse2", FindStartForwardSse2, FindStartBackwardSse2});
#endif
#if defined(__x86_64__)
    if (HasAvx2())
        impls.push_back({"avx2", FindStartForwardAvx2, FindStartBackwardAvx2});
#endif
    impls.push_back({"dispatched", FindStartForward(), FindStartBackward()});
    return impls;
}

TEST(StartCodeScan, VectorVersionsMatchTheReference) {
    const char* env = std::getenv("ZO_TEST_SEED");
    const uint64_t seed = env ? std::strtoull(env, nullptr, 10) : 99;
    synth::Rng rng(seed);
    PageEndBuffer buffer(4096);
    uint8_t* d = buffer.data();
    const auto impls = Implementations();
    for (int round = 0; round < 20000; ++round) {
        // Dense in the bytes that matter: 00, 01, F8..FD and their neighbours.
        const uint32_t density = 2 + rng.Below(60);
        for (size_t i = 0; i < 4096; ++i) {
            const uint32_t r = rng.Below(density);
            d[i] = r == 0 ? 0 : r == 1 ? 1 : r == 2 ? static_cast<uint8_t>(0xF6 + rng.Below(10))
                                                    : static_cast<uint8_t>(rng.Next());
        }
        for (uint32_t n = rng.Below(4); n > 0; --n) {  // whole start codes, some at the very ends
            const size_t at = rng.Below(3) == 0 ? (rng.Below(2) ? 0 : 4092) : rng.Below(4093);
            d[at] = 0;
            d[at + 1] = 0;
            d[at + 2] = 1;
            d[at + 3] = static_cast<uint8_t>(0xF8 + rng.Below(6));
        }
        const size_t from = 3 + rng.Below(4093);
        const size_t end = from + rng.Below(static_cast<uint32_t>(4096 - from + 1));
        const size_t lo = rng.Below(4096);
        const size_t hi = lo + rng.Below(static_cast<uint32_t>(4096 - lo));
        const size_t wantForward = FindStartForwardScalar(d, from, end);
        const size_t wantBackward = FindStartBackwardScalar(d, lo, hi);
        for (const Impl& impl : impls) {
            ASSERT_EQ(impl.forward(d, from, end), wantForward)
                << impl.name << " seed " << seed << " round " << round << " from " << from << " end " << end;
            ASSERT_EQ(impl.backward(d, lo, hi), wantBackward)
                << impl.name << " seed " << seed << " round " << round << " lo " << lo << " hi " << hi;
        }
    }
}

TEST(StartCodeScan, ReferenceFindsEachCodeAndNothingElse) {
    uint8_t d[64] = {};
    std::fill(std::begin(d), std::end(d), 0x55);
    EXPECT_EQ(FindStartForwardScalar(d, 3, 64), 64u);
    EXPECT_EQ(FindStartBackwardScalar(d, 0, 63), kNoStartCode);
    const uint8_t code[4] = {0, 0, 1, 0xFB};
    std::copy(code, code + 4, d + 20);
    std::copy(code, code + 4, d + 40);
    d[43] = 0xFE;  // not a recording start code
    EXPECT_EQ(FindStartForwardScalar(d, 3, 64), 23u);
    EXPECT_EQ(FindStartForwardScalar(d, 24, 64), 64u);
    EXPECT_EQ(FindStartForwardScalar(d, 3, 23), 23u) << "end is exclusive";
    EXPECT_EQ(FindStartBackwardScalar(d, 0, 63), 20u);
    EXPECT_EQ(FindStartBackwardScalar(d, 0, 22), kNoStartCode) << "the whole code must lie below hi";
    EXPECT_EQ(FindStartBackwardScalar(d, 21, 63), kNoStartCode);
    d[43] = 0xF8;
    EXPECT_EQ(FindStartBackwardScalar(d, 0, 63), 40u);
}

}  // namespace
}  // namespace zo::media
