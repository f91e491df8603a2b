#include "codec/DctTables.h"

#include <array>
#include <cstddef>

namespace zo::codec {

const uint8_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

const uint8_t kIntraMatrix[64] = {
    8,  16, 19, 22, 26, 27, 29, 34,  //
    16, 16, 22, 24, 27, 29, 34, 37,  //
    19, 22, 26, 27, 29, 34, 34, 38,  //
    22, 22, 26, 27, 29, 34, 37, 40,  //
    22, 26, 27, 29, 32, 35, 40, 48,  //
    26, 27, 29, 32, 35, 40, 48, 58,  //
    26, 27, 29, 34, 38, 46, 56, 69,  //
    27, 29, 35, 38, 46, 56, 69, 83,
};

// ISO/IEC 11172-2 Table B.5c-f (dct_coeff_next), by run and level.
const RunLevelCode kRunLevelCodes[kRunLevelCodeCount] = {
    // run 0
    {0x3, 2, 0, 1}, {0x4, 4, 0, 2}, {0x5, 5, 0, 3}, {0x6, 7, 0, 4}, {0x26, 8, 0, 5}, {0x21, 8, 0, 6},
    {0xA, 10, 0, 7}, {0x1D, 12, 0, 8}, {0x18, 12, 0, 9}, {0x13, 12, 0, 10}, {0x10, 12, 0, 11},
    {0x1A, 13, 0, 12}, {0x19, 13, 0, 13}, {0x18, 13, 0, 14}, {0x17, 13, 0, 15}, {0x1F, 14, 0, 16},
    {0x1E, 14, 0, 17}, {0x1D, 14, 0, 18}, {0x1C, 14, 0, 19}, {0x1B, 14, 0, 20}, {0x1A, 14, 0, 21},
    {0x19, 14, 0, 22}, {0x18, 14, 0, 23}, {0x17, 14, 0, 24}, {0x16, 14, 0, 25}, {0x15, 14, 0, 26},
    {0x14, 14, 0, 27}, {0x13, 14, 0, 28}, {0x12, 14, 0, 29}, {0x11, 14, 0, 30}, {0x10, 14, 0, 31},
    {0x18, 15, 0, 32}, {0x17, 15, 0, 33}, {0x16, 15, 0, 34}, {0x15, 15, 0, 35}, {0x14, 15, 0, 36},
    {0x13, 15, 0, 37}, {0x12, 15, 0, 38}, {0x11, 15, 0, 39}, {0x10, 15, 0, 40},
    // run 1
    {0x3, 3, 1, 1}, {0x6, 6, 1, 2}, {0x25, 8, 1, 3}, {0xC, 10, 1, 4}, {0x1B, 12, 1, 5}, {0x16, 13, 1, 6},
    {0x15, 13, 1, 7}, {0x1F, 15, 1, 8}, {0x1E, 15, 1, 9}, {0x1D, 15, 1, 10}, {0x1C, 15, 1, 11},
    {0x1B, 15, 1, 12}, {0x1A, 15, 1, 13}, {0x19, 15, 1, 14}, {0x13, 16, 1, 15}, {0x12, 16, 1, 16},
    {0x11, 16, 1, 17}, {0x10, 16, 1, 18},
    // runs 2 to 16
    {0x5, 4, 2, 1}, {0x4, 7, 2, 2}, {0xB, 10, 2, 3}, {0x14, 12, 2, 4}, {0x14, 13, 2, 5},
    {0x7, 5, 3, 1}, {0x24, 8, 3, 2}, {0x1C, 12, 3, 3}, {0x13, 13, 3, 4},
    {0x6, 5, 4, 1}, {0xF, 10, 4, 2}, {0x12, 12, 4, 3},
    {0x7, 6, 5, 1}, {0x9, 10, 5, 2}, {0x12, 13, 5, 3},
    {0x5, 6, 6, 1}, {0x1E, 12, 6, 2}, {0x14, 16, 6, 3},
    {0x4, 6, 7, 1}, {0x15, 12, 7, 2},
    {0x7, 7, 8, 1}, {0x11, 12, 8, 2},
    {0x5, 7, 9, 1}, {0x11, 13, 9, 2},
    {0x27, 8, 10, 1}, {0x10, 13, 10, 2},
    {0x23, 8, 11, 1}, {0x1A, 16, 11, 2},
    {0x22, 8, 12, 1}, {0x19, 16, 12, 2},
    {0x20, 8, 13, 1}, {0x18, 16, 13, 2},
    {0xE, 10, 14, 1}, {0x17, 16, 14, 2},
    {0xD, 10, 15, 1}, {0x16, 16, 15, 2},
    {0x8, 10, 16, 1}, {0x15, 16, 16, 2},
    // runs 17 to 31, level 1
    {0x1F, 12, 17, 1}, {0x1A, 12, 18, 1}, {0x19, 12, 19, 1}, {0x17, 12, 20, 1}, {0x16, 12, 21, 1},
    {0x1F, 13, 22, 1}, {0x1E, 13, 23, 1}, {0x1D, 13, 24, 1}, {0x1C, 13, 25, 1}, {0x1B, 13, 26, 1},
    {0x1F, 16, 27, 1}, {0x1E, 16, 28, 1}, {0x1D, 16, 29, 1}, {0x1C, 16, 30, 1}, {0x1B, 16, 31, 1},
};

namespace {

// Sub-table k serves look-aheads in [kLow[k], kHigh[k]) and is indexed by
// (peek >> kShift[k]) - (kLow[k] >> kShift[k]).
constexpr uint32_t kLow[8] = {16384, 1024, 512, 256, 128, 64, 32, 16};
constexpr uint32_t kHigh[8] = {65536, 16384, 1024, 512, 256, 128, 64, 32};
// Each range's longest code: 4, 8, 10, 12, 13, 14, 15, 16 bits.
constexpr int kShift[8] = {11, 8, 6, 4, 3, 2, 1, 0};

constexpr size_t EntryCount() {
    size_t n = 0;
    for (int k = 0; k < 8; ++k)
        n += (kHigh[k] - kLow[k]) >> kShift[k];
    return n;
}

struct Lookup {
    std::array<CoefficientEntry, EntryCount()> entries{};
    int base[8] = {};

    Lookup() {
        int offset = 0;
        for (int k = 0; k < 8; ++k) {
            base[k] = offset;
            offset += static_cast<int>((kHigh[k] - kLow[k]) >> kShift[k]);
        }
        auto fill = [&](uint16_t code, int length, CoefficientEntry e) {
            // Every look-ahead that starts with the code maps to it.
            const uint32_t first = uint32_t{code} << (16 - length);
            const uint32_t last = first | ((1u << (16 - length)) - 1);
            for (int k = 0; k < 8; ++k) {
                if (first < kLow[k] || first >= kHigh[k])
                    continue;
                for (uint32_t p = first; p <= last; p += 1u << kShift[k])
                    entries[static_cast<size_t>(base[k] + static_cast<int>((p - kLow[k]) >> kShift[k]))] = e;
            }
        };
        for (const RunLevelCode& c : kRunLevelCodes)
            fill(c.code, c.length, {c.run, c.level, c.length, kCoefficient});
        fill(kEndOfBlockCode, kEndOfBlockLength, {0, 0, kEndOfBlockLength, kEndOfBlock});
        fill(kEscapeCode, kEscapeLength, {0, 0, kEscapeLength, kEscape});
    }
};

const Lookup& Table() {
    static const Lookup table;
    return table;
}

}  // namespace

const SignedTables& CoefficientTables() {
    static const SignedTables tables = [] {
        SignedTables t{};
        // Derived from the reference lookup, entry by entry.
        auto entryFor = [](uint32_t peek17) {
            SignedEntry out;
            const CoefficientEntry e = LookupCoefficient(peek17 >> 1);
            if (e.length == 0)
                return out;
            out.kind = e.kind;
            out.run = e.run;
            if (e.kind == kCoefficient) {
                const bool negative = (peek17 >> (16 - e.length)) & 1;
                out.level = static_cast<int16_t>(negative ? -e.level : e.level);
                out.length = static_cast<uint8_t>(e.length + 1);
            } else {
                out.length = e.length;
            }
            return out;
        };
        for (uint32_t i = 0; i < 512; ++i)
            t.shortCodes[i] = i >= 8 ? entryFor(i << 8) : SignedEntry{};
        for (uint32_t i = 0; i < 2048; ++i)
            t.longCodes[i] = entryFor(i);
        return t;
    }();
    return tables;
}

CoefficientEntry LookupCoefficient(uint32_t peek16) {
    const Lookup& t = Table();
    for (int k = 0; k < 8; ++k)
        if (peek16 >= kLow[k])
            return t.entries[static_cast<size_t>(t.base[k] + static_cast<int>((peek16 - kLow[k]) >> kShift[k]))];
    return {};
}

}  // namespace zo::codec
