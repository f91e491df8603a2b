// Nearest-neighbour stretching of a picture into a rectangle of a pixel
// buffer, shared by the bitmap path and the surface blits.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zo::render {

// A rectangle in pixels: left and top inside, right and bottom outside.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Stretches a srcWidthPx x srcHeightPx source into `dst` of a
// dstWidthPx x dstHeightPx buffer. Each destination pixel takes the source
// pixel under its centre; the part of `dst` outside the buffer is left out.
// srcRow(y) and dstRow(y) give the start of a row; copy(dstPixel, srcPixel)
// writes one pixel from the source pixel alone, and the destination must not
// overlap the source. Only rows 0..srcHeightPx-1 and columns
// 0..srcWidthPx-1 of the source are read.
template <class SrcRow, class DstRow, class CopyPixel>
void StretchNearest(int srcWidthPx, int srcHeightPx, int srcBytesPerPixel, SrcRow srcRow, int dstWidthPx,
                    int dstHeightPx, int dstBytesPerPixel, DstRow dstRow, PixelRect dst, CopyPixel copy) {
    const int rectWidth = dst.Width();
    const int rectHeight = dst.Height();
    if (srcWidthPx <= 0 || srcHeightPx <= 0 || rectWidth <= 0 || rectHeight <= 0)
        return;
    const int x0 = std::max(dst.left, 0);
    const int x1 = std::min(dst.right, dstWidthPx);
    const int y0 = std::max(dst.top, 0);
    const int y1 = std::min(dst.bottom, dstHeightPx);
    if (x0 >= x1 || y0 >= y1)
        return;
    // Column of destination x: floor((2 (x - left) + 1) x srcWidth / (2 x rectWidth)),
    // stepped exactly as a quotient and remainder (a rounded fixed-point
    // step drifts by a column now and then).
    const uint64_t den = 2 * static_cast<uint64_t>(rectWidth);
    const uint64_t num0 = (2 * static_cast<uint64_t>(x0 - dst.left) + 1) * static_cast<uint64_t>(srcWidthPx);
    const uint64_t stepQ = 2 * static_cast<uint64_t>(srcWidthPx) / den;
    const uint64_t stepR = 2 * static_cast<uint64_t>(srcWidthPx) % den;
    // When enlarging, consecutive rows often take the same source row: the
    // row made before is copied instead of stepped again.
    const size_t spanBytes = static_cast<size_t>(x1 - x0) * static_cast<size_t>(dstBytesPerPixel);
    const uint8_t* previousOut = nullptr;
    int64_t previousSy = -1;
    for (int y = y0; y < y1; ++y) {
        const int64_t sy = (2 * static_cast<int64_t>(y - dst.top) + 1) * srcHeightPx / (2 * int64_t{rectHeight});
        uint8_t* out = dstRow(y) + static_cast<std::ptrdiff_t>(x0) * dstBytesPerPixel;
        if (sy == previousSy) {
            std::memcpy(out, previousOut, spanBytes);
            continue;
        }
        previousSy = sy;
        previousOut = out;
        const uint8_t* src = srcRow(static_cast<int>(sy));
        uint64_t q = num0 / den;
        uint64_t r = num0 % den;
        for (int x = x0; x < x1; ++x, out += dstBytesPerPixel) {
            copy(out, src + static_cast<std::ptrdiff_t>(q) * srcBytesPerPixel);
            q += stepQ;
            r += stepR;
            if (r >= den) {
                r -= den;
                ++q;
            }
        }
    }
}

}  // namespace zo::render
