// The vector inverse DCT against the scalar reference on seeded random
// coefficients, extreme values included, and the transform's fixed points.
#include "codec/Idct.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "synth/FrameMaker.h"

namespace zo::codec {
namespace {

uint64_t Seed(uint64_t fallback) {
    const char* s = std::getenv("ZO_TEST_SEED");
    return s ? std::strtoull(s, nullptr, 10) : fallback;
}

TEST(Idct, DcOnlyBlocksAreFlat) {
    for (int d = 0; d < 256; ++d) {
        int16_t in[64] = {};
        in[0] = static_cast<int16_t>(8 * d);
        uint8_t out[64];
        IdctPutScalar(in, out, 8);
        for (uint8_t v : out)
            ASSERT_EQ(v, d);
    }
}

TEST(Idct, KnownCoefficients) {
    // A single first horizontal AC coefficient gives a left-to-right ramp,
    // the same in every row.
    int16_t in[64] = {};
    in[0] = 8 * 128;
    in[1] = 200;
    int16_t out[64];
    Idct16Scalar(in, out);
    for (int y = 1; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(out[8 * y + x], out[x]);
    for (int x = 0; x < 7; ++x)
        EXPECT_GT(out[x], out[x + 1]);
    EXPECT_EQ(out[0] + out[7], 2 * 128);
    // The same coefficient vertically gives the transposed block.
    int16_t vin[64] = {};
    vin[0] = 8 * 128;
    vin[8] = 200;
    int16_t vout[64];
    Idct16Scalar(vin, vout);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(vout[8 * y + x], out[8 * x + y]);
}

TEST(Idct, VectorMatchesReferenceOnRandomAndExtremeInput) {
    const uint64_t seed = Seed(1234);
    synth::Rng rng(seed);
    alignas(16) int16_t in[64];
    int16_t want[64], got[64];
    uint8_t wantBytes[8 * 24], gotBytes[8 * 24];
    for (int round = 0; round < 200000; ++round) {
        const uint32_t mode = rng.Below(6);
        for (int k = 0; k < 64; ++k) {
            int v = 0;
            switch (mode) {
            case 0:  // what the decoder produces: saturated dequantised values
                v = static_cast<int>(rng.Below(4096)) - 2048;
                break;
            case 1:  // extremes of the decoder's range
                v = rng.Below(2) ? 2047 : -2048;
                break;
            case 2:  // full 16-bit extremes: sums wrap in 32 bits
                v = rng.Below(3) == 0 ? 32767 : (rng.Below(2) ? -32768 : static_cast<int>(rng.Below(65536)) - 32768);
                break;
            case 3:  // sparse, as in real pictures
                v = rng.Below(8) == 0 ? static_cast<int>(rng.Below(512)) - 256 : 0;
                break;
            default:
                v = static_cast<int>(rng.Below(65536)) - 32768;
                break;
            }
            in[k] = static_cast<int16_t>(v);
        }
        Idct16Scalar(in, want);
        std::memset(gotBytes, 0xA5, sizeof gotBytes);
        std::memset(wantBytes, 0xA5, sizeof wantBytes);
        IdctPutScalar(in, wantBytes + 3, 24);
#if defined(__SSE2__)
        Idct16Sse2(in, got);
        ASSERT_EQ(0, std::memcmp(want, got, sizeof want)) << "seed " << seed << " round " << round;
        IdctPutSse2(in, gotBytes + 3, 24);
        ASSERT_EQ(0, std::memcmp(wantBytes, gotBytes, sizeof wantBytes)) << "seed " << seed << " round " << round;
#endif
        Idct16()(in, got);
        ASSERT_EQ(0, std::memcmp(want, got, sizeof want));
    }
}

}  // namespace
}  // namespace zo::codec
