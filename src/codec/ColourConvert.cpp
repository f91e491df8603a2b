// Picture driver, kernel choice and the public converter forms.
#include "codec/ColourConvert.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "codec/ColourConvertKernels.h"

namespace zo::codec {
namespace colour {
namespace {

bool ForceScalar() {
    const char* v = std::getenv("ZO_FORCE_SCALAR");
    return v && *v && std::strcmp(v, "0") != 0;
}

const RowSet& ChooseVideo() {
#if defined(__x86_64__)
    static const RowSet sse2 = VideoSse2();
    if (ForceScalar())
        return kVideoScalar;
    return HasAvx2() ? kVideoAvx2 : sse2;
#else
    return kVideoScalar;
#endif
}

const RowSet& ChooseFull() {
#if defined(__x86_64__)
    if (ForceScalar())
        return kFullScalar;
    return HasAvx2() ? kFullAvx2 : kFullScalar;
#else
    return kFullScalar;
#endif
}

}  // namespace

const RowSet& VideoRows() {
    static const RowSet& chosen = ChooseVideo();
    return chosen;
}

const RowSet& FullRows() {
    static const RowSet& chosen = ChooseFull();
    return chosen;
}

void ConvertPicture(RowFn row, int bytesPerPixel, const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr,
                    int cStride, uint8_t* out, int width, int height, int outStrideBytes) {
    if (width <= 0 || (width & 1) != 0 || height == 0 || (height & 1) != 0)
        return;
    const bool bottomUp = height < 0;
    const ptrdiff_t rows = bottomUp ? -static_cast<ptrdiff_t>(height) : height;
    const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(width) * bytesPerPixel;
    const ptrdiff_t pitch = outStrideBytes > rowBytes ? outStrideBytes : rowBytes;
    for (ptrdiff_t k = 0; k < rows; ++k) {
        const ptrdiff_t r = bottomUp ? rows - 1 - k : k;  // picture row
        const ptrdiff_t c = r / 2;                        // its chroma row
        row(y + r * yStride, cb + c * cStride, cr + c * cStride, out + k * pitch, width);
    }
}

}  // namespace colour

namespace {

using colour::Format;

struct Planes {
    const uint8_t* y;
    const uint8_t* cb;
    const uint8_t* cr;
};

// Plane pointers of a decoded picture buffer of width x |height|.
Planes PicturePlanes(const uint8_t* picture, int width, int height) {
    const size_t lumaBytes = static_cast<size_t>(width > 0 ? width : 0) *
                             static_cast<size_t>(height < 0 ? -static_cast<int64_t>(height) : height);
    return {picture, picture + lumaBytes, picture + lumaBytes + lumaBytes / 4};
}

void Video(Format f, const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, uint8_t* out,
           int width, int height, int outStrideBytes) {
    colour::ConvertPicture(colour::VideoRows()[f], colour::BytesPerPixel(f), y, yStride, cb, cr, cStride, out, width,
                           height, outStrideBytes);
}

void VideoPicture(Format f, uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    const Planes p = PicturePlanes(picture, width, height);
    Video(f, p.y, width, p.cb, p.cr, width / 2, out, width, height, outStrideBytes);
}

void FullPicture(Format f, uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    const Planes p = PicturePlanes(picture, width, height);
    colour::ConvertPicture(colour::FullRows()[f], colour::BytesPerPixel(f), p.y, width, p.cb, p.cr, width / 2, out,
                           width, height, outStrideBytes);
}

}  // namespace

void I420ToRgb555(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, uint8_t* out,
                  int width, int height, int outStrideBytes) {
    Video(Format::Rgb555, y, yStride, cb, cr, cStride, out, width, height, outStrideBytes);
}
void I420ToRgb565(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, uint8_t* out,
                  int width, int height, int outStrideBytes) {
    Video(Format::Rgb565, y, yStride, cb, cr, cStride, out, width, height, outStrideBytes);
}
void I420ToRgb24(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, uint8_t* out,
                 int width, int height, int outStrideBytes) {
    Video(Format::Rgb24, y, yStride, cb, cr, cStride, out, width, height, outStrideBytes);
}
void I420ToRgb32(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, uint8_t* out,
                 int width, int height, int outStrideBytes) {
    Video(Format::Rgb32, y, yStride, cb, cr, cStride, out, width, height, outStrideBytes);
}

void I420ToRgb555(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    VideoPicture(Format::Rgb555, out, picture, width, height, outStrideBytes);
}
void I420ToRgb565(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    VideoPicture(Format::Rgb565, out, picture, width, height, outStrideBytes);
}
void I420ToRgb24(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    VideoPicture(Format::Rgb24, out, picture, width, height, outStrideBytes);
}
void I420ToRgb32(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    VideoPicture(Format::Rgb32, out, picture, width, height, outStrideBytes);
}
void I420ToRgb24BottomUp(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    // -INT32_MIN does not exist, and no picture is that tall.
    if (height == INT32_MIN)
        return;
    VideoPicture(Format::Rgb24, out, picture, width, -height, outStrideBytes);
}

void I420ToRgb555Full(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    FullPicture(Format::Rgb555, out, picture, width, height, outStrideBytes);
}
void I420ToRgb565Full(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    FullPicture(Format::Rgb565, out, picture, width, height, outStrideBytes);
}
void I420ToBgr565Full(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    FullPicture(Format::Bgr565, out, picture, width, height, outStrideBytes);
}
void I420ToRgb24Full(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    FullPicture(Format::Rgb24, out, picture, width, height, outStrideBytes);
}
void I420ToRgb24FullFlipped(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    if (height == INT32_MIN)
        return;
    FullPicture(Format::Rgb24, out, picture, width, -height, outStrideBytes);
}
void I420ToRgb32Full(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes) {
    FullPicture(Format::Rgb32, out, picture, width, height, outStrideBytes);
}

const char* ColourKernelName() { return colour::VideoRows().name; }

}  // namespace zo::codec
