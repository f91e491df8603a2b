// The vector inverse DCT against the scalar reference on seeded random
// coefficients, extreme values included, and the transform's fixed points.
#include "codec/Idct.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

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

// The two-block transforms (the decoder's macroblock path) against the
// scalar reference, each block to its own place and stride.
TEST(Idct, BlockPairsMatchReference) {
    const uint64_t seed = Seed(4321);
    synth::Rng rng(seed);
    alignas(32) int16_t a[64], b[64];
    std::vector<std::pair<const char*, IdctPut2Fn>> impls = {{"dispatched", IdctPut2()}};
#if defined(__SSE2__)
    impls.push_back({"sse2", IdctPut2Sse2});
#endif
#if defined(__x86_64__)
    if (IdctHasAvx2())
        impls.push_back({"avx2", IdctPut2Avx2});
#endif
    for (int round = 0; round < 50000; ++round) {
        for (int k = 0; k < 64; ++k) {
            const bool extreme = rng.Below(4) == 0;
            a[k] = static_cast<int16_t>(extreme ? (rng.Below(2) ? 32767 : -32768) : static_cast<int>(rng.Below(4096)) - 2048);
            b[k] = static_cast<int16_t>(rng.Below(3) == 0 ? static_cast<int>(rng.Below(65536)) - 32768 : 0);
        }
        uint8_t want[2][8 * 40], got[2][8 * 40];
        std::memset(want, 0x5C, sizeof want);
        IdctPut2Scalar(a, want[0] + 1, 40, b, want[1] + 7, 20);
        for (const auto& [name, put2] : impls) {
            std::memset(got, 0x5C, sizeof got);
            put2(a, got[0] + 1, 40, b, got[1] + 7, 20);
            ASSERT_EQ(0, std::memcmp(want, got, sizeof want)) << name << " seed " << seed << " round " << round;
        }
    }
}

// The four-block transforms against the scalar reference, each block to its
// own place and stride.
TEST(Idct, BlockQuadsMatchReference) {
    const uint64_t seed = Seed(2468);
    synth::Rng rng(seed);
    alignas(64) int16_t blocks[4][64];
    std::vector<std::pair<const char*, IdctPut4Fn>> impls = {{"dispatched", IdctPut4()}};
#if defined(__x86_64__)
    if (IdctHasAvx512())
        impls.push_back({"avx512", IdctPut4Avx512});
#endif
    constexpr int kStrides[4] = {40, 24, 8, 17};
    for (int round = 0; round < 50000; ++round) {
        for (auto& block : blocks) {
            const uint32_t mode = rng.Below(3);
            for (int k = 0; k < 64; ++k) {
                int v = static_cast<int>(rng.Below(4096)) - 2048;  // the decoder's range
                if (mode == 1)
                    v = rng.Below(4) == 0 ? (rng.Below(2) ? 32767 : -32768) : v;  // 16-bit extremes
                else if (mode == 2)
                    v = rng.Below(8) == 0 ? static_cast<int>(rng.Below(65536)) - 32768 : 0;  // sparse
                block[k] = static_cast<int16_t>(v);
            }
        }
        uint8_t want[4][8 * 40], got[4][8 * 40];
        std::memset(want, 0x5C, sizeof want);
        uint8_t* wantAt[4] = {want[0] + 1, want[1] + 3, want[2], want[3] + 5};
        IdctPut4Scalar(blocks, wantAt, kStrides);
        for (const auto& [name, put4] : impls) {
            std::memset(got, 0x5C, sizeof got);
            uint8_t* gotAt[4] = {got[0] + 1, got[1] + 3, got[2], got[3] + 5};
            put4(blocks, gotAt, kStrides);
            ASSERT_EQ(0, std::memcmp(want, got, sizeof want)) << name << " seed " << seed << " round " << round;
        }
    }
}

}  // namespace
}  // namespace zo::codec

#include "codec/DctTables.h"

namespace zo::codec {
namespace {

// The decoder's two-table lookup of code plus sign agrees with the
// eight-sub-table lookup followed by reading the sign, for every look-ahead.
TEST(CoefficientTable, FastLookupMatchesReference) {
    const SignedTables& t = CoefficientTables();
    for (uint32_t peek = 0; peek < (1u << 17); ++peek) {
        const CoefficientEntry ref = LookupCoefficient(peek >> 1);
        const SignedEntry& fast = LookupSigned(t, peek);
        if (ref.length == 0) {
            ASSERT_EQ(fast.length, 0) << peek;
            continue;
        }
        ASSERT_EQ(fast.kind, ref.kind) << peek;
        if (ref.kind == kCoefficient) {
            const bool negative = (peek >> (16 - ref.length)) & 1;
            ASSERT_EQ(fast.length, ref.length + 1) << peek;
            ASSERT_EQ(fast.run, ref.run) << peek;
            ASSERT_EQ(fast.level, negative ? -ref.level : ref.level) << peek;
        } else {
            ASSERT_EQ(fast.length, ref.length) << peek;
        }
    }
}

TEST(CoefficientTable, ReferenceLookupKnowsEveryCode) {
    EXPECT_EQ(kRunLevelCodeCount, 111);
    for (const RunLevelCode& c : kRunLevelCodes) {
        const CoefficientEntry e = LookupCoefficient(static_cast<uint32_t>(c.code) << (16 - c.length));
        EXPECT_EQ(e.kind, kCoefficient);
        EXPECT_EQ(e.run, c.run);
        EXPECT_EQ(e.level, c.level);
        EXPECT_EQ(e.length, c.length);
    }
    // Worked rows: 11 -> (0,1); 011 -> (1,1); 0100 -> (0,2); 0101 -> (2,1);
    // 00101 -> (0,3); 0000110 -> (0,4); 0000000000011111 -> (27,1).
    const struct { uint32_t bits; int length, run, level; } rows[] = {
        {0x3, 2, 0, 1}, {0x3, 3, 1, 1}, {0x4, 4, 0, 2}, {0x5, 4, 2, 1}, {0x5, 5, 0, 3}, {0x6, 7, 0, 4}, {0x1F, 16, 27, 1}};
    for (const auto& r : rows) {
        const CoefficientEntry e = LookupCoefficient(r.bits << (16 - r.length));
        EXPECT_EQ(e.length, r.length);
        EXPECT_EQ(e.run, r.run);
        EXPECT_EQ(e.level, r.level);
    }
    EXPECT_EQ(LookupCoefficient(0x8000).kind, kEndOfBlock);
    EXPECT_EQ(LookupCoefficient(0x0400).kind, kEscape);
    EXPECT_EQ(LookupCoefficient(15).length, 0);
    EXPECT_EQ(LookupCoefficient(16).length, 16);
    // No two codes are prefixes of each other: every look-ahead of 16 or
    // more decodes to exactly one entry whose bits it starts with.
    for (uint32_t peek = 16; peek < 65536; ++peek) {
        const CoefficientEntry e = LookupCoefficient(peek);
        ASSERT_NE(e.length, 0) << peek;
    }
}

}  // namespace
}  // namespace zo::codec
