// Line doubling of a recorded picture (one field) to a full frame.
#pragma once

#include <cstdint>

namespace zo::exporter {

// `in`: h rows of 3w bytes; `out`: outHeight rows of 3 x outWidth bytes.
// Output row r is input row r/2, except that an odd row other than the last
// is the byte-wise average, rounded down, of input rows r/2 and r/2 + 1.
// Rows are taken in memory order, whatever their picture order. Returns 0
// (nothing written) unless outWidth == w and outHeight == 2h; else 1.
int DoubleLines(const uint8_t* in, int w, int h, uint8_t* out, int outWidth, int outHeight);

}  // namespace zo::exporter
