// Bitmap files: a 14-byte file header followed by a device-independent
// bitmap (info header, optional bit-field masks and colour table, bits).
//
// File header, little-endian: type 4D42 ("BM"), file size = DIB bytes + 14,
// two reserved zeros, offset of the bits. The offset is 14 + 40, plus 12
// for bit-field compression, plus the colour table: the colour count x 4
// when the info header gives a colour count, else 2^bit depth x 4 for
// uncompressed or run-length data of 8 bits or less per pixel, else
// nothing; for any other compression it is 14 + 40.
//
// Pure functions; safe on any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zo::render {

// The 40-byte info header's fields, as stored.
struct BitmapInfoHeader {
    uint32_t size = 40;
    int32_t widthPx = 0;
    int32_t heightPx = 0;  // positive: rows bottom-up
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;  // 0 uncompressed, 1 RLE8, 2 RLE4, 3 bit fields
    uint32_t imageBytes = 0;
    int32_t xPixelsPerMetre = 0;
    int32_t yPixelsPerMetre = 0;
    uint32_t coloursUsed = 0;
    uint32_t coloursImportant = 0;
};

inline constexpr uint32_t kBitmapUncompressed = 0;
inline constexpr uint32_t kBitmapRle8 = 1;
inline constexpr uint32_t kBitmapRle4 = 2;
inline constexpr uint32_t kBitmapBitFields = 3;
inline constexpr size_t kBitmapFileHeaderBytes = 14;
inline constexpr size_t kBitmapInfoHeaderBytes = 40;

// Offset of the bits from the start of the file, by the rule above.
uint32_t BitmapBitsOffset(const BitmapInfoHeader& info);

// Reads the info header at the start of `dib`; false if it is shorter than
// 40 bytes.
bool ReadBitmapInfoHeader(std::span<const uint8_t> dib, BitmapInfoHeader& info);

// A 24-bit uncompressed bottom-up DIB of a picture given as top-down rows of
// 0xAARRGGBB pixels (QImage::Format_RGB32 or ARGB32): rows padded to four
// bytes, image size filled in.
std::vector<uint8_t> MakeDib24(const uint32_t* topDownPixels, int widthPx, int heightPx, int pixelsPerRow);

// The 14 bytes of the file header for `dib`; empty when the DIB is shorter
// than its header or its bits would start beyond its end.
std::vector<uint8_t> BitmapFileHeader(std::span<const uint8_t> dib);

// Creates or truncates `path` and writes the file header and `dib`. 1 when
// written; 0 (nothing written, or the partial file removed) otherwise.
int WriteBitmapFile(const std::string& path, std::span<const uint8_t> dib);

}  // namespace zo::render
