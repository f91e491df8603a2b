// Row kernels of the colour converters, for the converters themselves, their
// tests and benchmarks.
//
// A row kernel converts one picture row: `width` luma samples at y, width/2
// chroma samples at cb and cr, writing exactly width x bytes-per-pixel bytes
// at out (nothing before or after). width is even and > 0. Vector kernels
// do whole vectors and finish the row with the scalar kernel; every version
// gives the same bytes as the scalar reference.
#pragma once

#include <cstdint>

namespace zo::codec::colour {

using RowFn = void (*)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width);

// Output formats, in the order of the RowSet members.
enum class Format { Rgb555, Rgb565, Bgr565, Rgb24, Rgb32 };
inline constexpr int kFormatCount = 5;
int BytesPerPixel(Format format);

// One kernel per output format; a format the family does not offer is null
// (the video range has no BGR 5-6-5).
struct RowSet {
    const char* name;
    RowFn rows[kFormatCount];
    RowFn operator[](Format f) const { return rows[static_cast<int>(f)]; }
};

// Scalar references.
extern const RowSet kVideoScalar;
extern const RowSet kFullScalar;

#if defined(__x86_64__)
// SSE2 (SSSE3 for 24-bit; without SSSE3 the 24-bit kernel is the scalar one).
RowSet VideoSse2();
// Only where the processor has AVX2.
extern const RowSet kVideoAvx2;
extern const RowSet kFullAvx2;
bool HasSsse3();
bool HasAvx2();
#endif

// The sets in use, chosen once per process.
const RowSet& VideoRows();
const RowSet& FullRows();

// Converts a whole picture with `row` (the driver of every converter; see
// ColourConvert.h for the contract).
void ConvertPicture(RowFn row, int bytesPerPixel, const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr,
                    int cStride, uint8_t* out, int width, int height, int outStrideBytes);

}  // namespace zo::codec::colour
