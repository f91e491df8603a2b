// Conversion of decoded pictures (planar Y, Cb, Cr at 4:2:0) to RGB pixels.
//
// Two families with slightly different colours, each used where the caller's
// situation asks for it:
//  - video range (new pictures, export): luma expanded from 16 with 16-bit
//    fixed-point BT.601 studio-range factors (multiply-high, saturating adds),
//    RGB 5-5-5, 5-6-5, 24 and 32 bit; vector kernels beside a scalar
//    reference, chosen once per process (ZO_FORCE_SCALAR=1 forces the
//    reference);
//  - full range (redraws of stored pictures): 10-bit fixed-point factors, no
//    luma offset, a negative channel becomes 1; RGB 5-5-5, 5-6-5, BGR 5-6-5,
//    24 and 32 bit.
//
// Pixel formats, little-endian:
//   RGB 5-5-5  2 bytes  bit 15 zero, red 14..10, green 9..5, blue 4..0
//   RGB 5-6-5  2 bytes  red 15..11, green 10..5, blue 4..0 (video range:
//                       green carries five bits, bit 5 is always 0)
//   BGR 5-6-5  2 bytes  blue 15..11, green 10..5, red 4..0
//   RGB 24     3 bytes  blue, green, red
//   RGB 32     4 bytes  blue, green, red, 0
//
// Each chroma sample serves the 2 x 2 luma samples it covers; there is no
// interpolation.
//
// Common contract of every converter:
//  - width and height are even and width > 0 (decoded pictures are 640 or 320
//    wide with even heights); for any other size nothing is written. Width
//    need not be a multiple of 8 and has no upper limit.
//  - a negative height writes bottom-up: the first output row is the last
//    picture row.
//  - output rows are width x bytes-per-pixel long; `outStrideBytes` is the
//    distance between the starts of output rows, 0 (or anything below the row
//    length) meaning rows packed one after another. Nothing is written outside
//    the |height| rows of width x bytes-per-pixel bytes, so the last row ends
//    exactly at (|height| - 1) x stride + width x bytes-per-pixel.
//  - reads only the rows and samples the picture has: luma width x |height|,
//    each chroma plane width/2 x |height|/2.
//  - no allocation, no failure; safe to call from any thread at once (the
//    only shared state is the kernel choice, made once).
#pragma once

#include <cstdint>

namespace zo::codec {

// ---- Video range, general form -------------------------------------------
// y: luma plane with yStride bytes per row; cb, cr: chroma planes sharing
// cStride. Output pixels:
//   y' = max(Y - 16, 0), yv = mulhi(8 y', 9576), u = 8 (Cb - 128), v = 8 (Cr - 128)
//   R = clamp(yv +s mulhi(v, 13123))
//   G = clamp(yv +s (mulhi(u, -3218) +s mulhi(v, -6686)))
//   B = clamp(yv +s mulhi(u, 16591))
// with mulhi the upper 16 bits of the 32-bit product, +s a saturating 16-bit
// add and clamp to 0..255; 16-bit formats keep the top five bits of each.
void I420ToRgb555(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, uint8_t* out,
                  int width, int height, int outStrideBytes = 0);
void I420ToRgb565(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, uint8_t* out,
                  int width, int height, int outStrideBytes = 0);
void I420ToRgb24(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, uint8_t* out,
                 int width, int height, int outStrideBytes = 0);
void I420ToRgb32(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, uint8_t* out,
                 int width, int height, int outStrideBytes = 0);

// ---- Picture forms ---------------------------------------------------------
// `picture` is a decoded picture buffer of width x |height| x 3/2 bytes: Y at
// offset 0 (stride width), Cb at width x |height| and Cr at
// width x |height| x 5/4 (both stride width/2), no padding.

// Video range, top-down for a positive height.
void I420ToRgb555(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);
void I420ToRgb565(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);
void I420ToRgb24(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);
void I420ToRgb32(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);
// Video range 24-bit, bottom-up (a bitmap's row order): I420ToRgb24 with -height.
void I420ToRgb24BottomUp(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);

// Full range:
//   R = (1024 Y + 1436 (Cr - 128)) >> 10
//   G = (1024 Y - 352 (Cb - 128) - 731 (Cr - 128)) >> 10
//   B = (1024 Y + 1815 (Cb - 128)) >> 10
// (arithmetic shifts); above 255 becomes 255, below 0 becomes 1.
// 16-bit formats keep the top five bits of red and blue, of green five
// (5-5-5) or six (5-6-5).
void I420ToRgb555Full(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);
void I420ToRgb565Full(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);
void I420ToBgr565Full(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);
void I420ToRgb24Full(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);
// Bottom-up: the first output row is the last picture row.
void I420ToRgb24FullFlipped(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);
void I420ToRgb32Full(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes = 0);

// Name of the kernel set in use ("scalar", "sse2", "avx2"), for benchmarks
// and test messages.
const char* ColourKernelName();

}  // namespace zo::codec
