// Tables of the picture coding: the zigzag scan, the intra quantiser matrix
// and the run/level code table of the AC coefficients (the MPEG-1
// dct_coeff_next table, end of block coded 10, escape 000001).
#pragma once

#include <cstdint>

namespace zo::codec {

// Natural index (8 x row + column) of zigzag position i.
extern const uint8_t kZigzag[64];
// Default intra quantiser matrix, natural order.
extern const uint8_t kIntraMatrix[64];

// One row of the code table: code bits (right-aligned), their count without
// the sign bit, run and level.
struct RunLevelCode {
    uint16_t code;
    uint8_t length;
    uint8_t run;
    uint8_t level;
};
inline constexpr int kRunLevelCodeCount = 111;
extern const RunLevelCode kRunLevelCodes[kRunLevelCodeCount];

// End of block "10" and escape "000001".
inline constexpr uint16_t kEndOfBlockCode = 0x2;
inline constexpr int kEndOfBlockLength = 2;
inline constexpr uint16_t kEscapeCode = 0x1;
inline constexpr int kEscapeLength = 6;

// Result of looking up a 16-bit look-ahead.
struct CoefficientEntry {
    uint8_t run = 0;
    uint8_t level = 0;   // 0 for end of block, escape and invalid codes
    uint8_t length = 0;  // bits of the code without the sign; 0 = invalid
    uint8_t kind = 0;    // kCoefficient, kEndOfBlock, kEscape
};
inline constexpr uint8_t kCoefficient = 0;
inline constexpr uint8_t kEndOfBlock = 1;
inline constexpr uint8_t kEscape = 2;

// Looks up the code at the top of a 16-bit look-ahead, through eight
// sub-tables chosen by the position of its leading one. A look-ahead below
// 16 (twelve or more leading zeros) has no code: length 0.
CoefficientEntry LookupCoefficient(uint32_t peek16);

// The decoder's fast form: the code and, for run/level codes, its sign bit,
// from a 17-bit look-ahead in two tables. `length` counts the sign bit and
// `level` is signed. Identical in meaning to LookupCoefficient followed by
// reading the sign.
struct SignedEntry {
    int16_t level = 0;
    uint8_t run = 0;
    uint8_t length = 0;  // 0 = invalid code
    uint8_t kind = 0;
};
struct SignedTables {
    SignedEntry shortCodes[512];  // look-aheads of 2048 and more, by their top 9 bits
    SignedEntry longCodes[2048];  // look-aheads below 2048 (six or more leading zeros)
};
const SignedTables& CoefficientTables();

inline const SignedEntry& LookupSigned(const SignedTables& t, uint32_t peek17) {
    return peek17 >= 2048 ? t.shortCodes[peek17 >> 8] : t.longCodes[peek17];
}

}  // namespace zo::codec
