#include "render/DisplaySurface.h"

#include <QImage>

#include <algorithm>
#include <cstring>

namespace zo::render {

int ClassifyPixelFormat(const DisplayPixelFormat& format) {
    if (format.paletteIndexed || !format.rgb)
        return kNoSurfaceFormat;
    switch (format.bitsPerPixel) {
    case 15:
        return kRgb555;
    case 16:
        if (format.redMask == 0xF800)
            return kRgb565;
        if (format.redMask == 0x001F)
            return kBgr565;
        return kNoSurfaceFormat;
    case 24:
        return format.redMask == 0xFF0000 ? kRgb24 : kNoSurfaceFormat;
    case 32:
        return format.redMask == 0xFF0000 ? kRgb32 : kNoSurfaceFormat;
    default:
        return kNoSurfaceFormat;
    }
}

DisplayPixelFormat PixelFormatOfCode(int code) {
    switch (code) {
    case kRgb555:
        return {false, true, 15, 0x7C00};
    case kRgb565:
        return {false, true, 16, 0xF800};
    case kBgr565:
        return {false, true, 16, 0x001F};
    case kRgb24:
        return {false, true, 24, 0xFF0000};
    case kRgb32:
        return {false, true, 32, 0xFF0000};
    default:
        return {true, true, 8, 0};
    }
}

int BytesPerPixel(int code) {
    switch (code) {
    case kRgb555:
    case kRgb565:
    case kBgr565:
        return 2;
    case kRgb24:
        return 3;
    case kRgb32:
        return 4;
    default:
        return 0;
    }
}

uint32_t PackRgb(int code, uint8_t red, uint8_t green, uint8_t blue) {
    switch (code) {
    case kRgb555:
        return static_cast<uint32_t>(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
    case kRgb565:
        return static_cast<uint32_t>(((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3));
    case kBgr565:
        return static_cast<uint32_t>(((blue >> 3) << 11) | ((green >> 2) << 5) | (red >> 3));
    case kRgb24:
    case kRgb32:
        return (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) | blue;
    default:
        return 0;
    }
}

namespace {
uint32_t Widen5(uint32_t v) { return (v << 3) | (v >> 2); }
uint32_t Widen6(uint32_t v) { return (v << 2) | (v >> 4); }
uint32_t Argb(uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | (r << 16) | (g << 8) | b; }
}  // namespace

uint32_t UnpackToArgb(int code, uint32_t pixel) {
    switch (code) {
    case kRgb555:
        return Argb(Widen5((pixel >> 10) & 31), Widen5((pixel >> 5) & 31), Widen5(pixel & 31));
    case kRgb565:
        return Argb(Widen5((pixel >> 11) & 31), Widen6((pixel >> 5) & 63), Widen5(pixel & 31));
    case kBgr565:
        return Argb(Widen5(pixel & 31), Widen6((pixel >> 5) & 63), Widen5((pixel >> 11) & 31));
    case kRgb24:
    case kRgb32:
        return 0xFF000000u | (pixel & 0xFFFFFF);
    default:
        return 0xFF000000u;
    }
}

bool DisplaySurface::Create(int widthPx, int heightPx, int formatCode) {
    Release();
    const int bpp = BytesPerPixel(formatCode);
    if (widthPx <= 0 || heightPx <= 0 || bpp == 0)
        return false;
    // Display memory rows are usually longer than the pixels they hold; a
    // pitch beyond the row keeps every writer honest about it.
    const int rowBytes = widthPx * bpp;
    pitchBytes_ = (rowBytes + 63) / 64 * 64 + 64;
    widthPx_ = widthPx;
    heightPx_ = heightPx;
    formatCode_ = formatCode;
    pixels_.assign(static_cast<size_t>(pitchBytes_) * static_cast<size_t>(heightPx), 0);
    lost_ = false;
    SetSourceColourKey(0, 0);
    FillAll(kInitialFill);
    return true;
}

void DisplaySurface::Release() {
    widthPx_ = heightPx_ = pitchBytes_ = 0;
    formatCode_ = kNoSurfaceFormat;
    lost_ = false;
    // The memory stays for the next Create, so a video surface re-made at
    // another picture size costs no allocation.
    pixels_.clear();
}

void DisplaySurface::SetSourceColourKey(uint32_t low, uint32_t high) {
    keyLow_ = low;
    keyHigh_ = high;
}

uint8_t* DisplaySurface::Lock() {
    if (!Exists() || lost_)
        return nullptr;
    return pixels_.data();
}

void DisplaySurface::MarkLost() {
    if (Exists())
        lost_ = true;
}

void DisplaySurface::Restore() {
    if (!Exists() || !lost_)
        return;
    lost_ = false;
    FillAll(kInitialFill);
}

void DisplaySurface::WritePixel(uint8_t* at, uint32_t pixel) const {
    switch (BytesPerPixel(formatCode_)) {
    case 2:
        at[0] = static_cast<uint8_t>(pixel);
        at[1] = static_cast<uint8_t>(pixel >> 8);
        break;
    case 3:
        at[0] = static_cast<uint8_t>(pixel);
        at[1] = static_cast<uint8_t>(pixel >> 8);
        at[2] = static_cast<uint8_t>(pixel >> 16);
        break;
    case 4:
        at[0] = static_cast<uint8_t>(pixel);
        at[1] = static_cast<uint8_t>(pixel >> 8);
        at[2] = static_cast<uint8_t>(pixel >> 16);
        at[3] = static_cast<uint8_t>(pixel >> 24);
        break;
    default:
        break;
    }
}

uint32_t DisplaySurface::ReadPixel(const uint8_t* at) const {
    switch (BytesPerPixel(formatCode_)) {
    case 2:
        return static_cast<uint32_t>(at[0] | (at[1] << 8));
    case 3:
        return static_cast<uint32_t>(at[0] | (at[1] << 8) | (at[2] << 16));
    case 4:
        return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
               (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
    default:
        return 0;
    }
}

uint32_t DisplaySurface::PixelAt(int x, int y) const {
    if (!Exists() || x < 0 || y < 0 || x >= widthPx_ || y >= heightPx_)
        return 0;
    return ReadPixel(Row(y) + static_cast<ptrdiff_t>(x) * BytesPerPixel(formatCode_));
}

void DisplaySurface::SetPixel(int x, int y, uint32_t pixel) {
    if (!Exists() || lost_ || x < 0 || y < 0 || x >= widthPx_ || y >= heightPx_)
        return;
    WritePixel(Row(y) + static_cast<ptrdiff_t>(x) * BytesPerPixel(formatCode_), pixel);
}

void DisplaySurface::Fill(PixelRect rect, uint32_t pixel) {
    if (!Exists() || lost_)
        return;
    const int bpp = BytesPerPixel(formatCode_);
    const int x0 = std::max(rect.left, 0);
    const int x1 = std::min(rect.right, widthPx_);
    const int y0 = std::max(rect.top, 0);
    const int y1 = std::min(rect.bottom, heightPx_);
    if (x0 >= x1 || y0 >= y1)
        return;
    // Build one row of the fill, then copy it to every row.
    uint8_t* first = Row(y0) + static_cast<ptrdiff_t>(x0) * bpp;
    for (int x = x0; x < x1; ++x)
        WritePixel(first + static_cast<ptrdiff_t>(x - x0) * bpp, pixel);
    const size_t bytes = static_cast<size_t>(x1 - x0) * bpp;
    for (int y = y0 + 1; y < y1; ++y)
        std::memcpy(Row(y) + static_cast<ptrdiff_t>(x0) * bpp, first, bytes);
}

bool DisplaySurface::StretchFrom(const DisplaySurface& source, PixelRect dst) {
    return StretchFrom(source, {0, 0, source.widthPx_, source.heightPx_}, dst);
}

bool DisplaySurface::StretchFrom(const DisplaySurface& source, PixelRect sourceRect, PixelRect dst) {
    if (!Exists() || lost_ || !source.Exists() || source.lost_ || source.formatCode_ != formatCode_)
        return false;
    const int bpp = BytesPerPixel(formatCode_);
    const int left = std::clamp(sourceRect.left, 0, source.widthPx_);
    const int top = std::clamp(sourceRect.top, 0, source.heightPx_);
    const int right = std::clamp(sourceRect.right, left, source.widthPx_);
    const int bottom = std::clamp(sourceRect.bottom, top, source.heightPx_);
    const auto stretch = [&](auto copy) {
        StretchNearest(
            right - left, bottom - top, bpp,
            [&](int y) { return source.Row(top + y) + static_cast<std::ptrdiff_t>(left) * bpp; }, widthPx_, heightPx_,
            bpp, [&](int y) { return Row(y); }, dst, copy);
    };
    // A copy of a constant size compiles to one move, not a call per pixel.
    switch (bpp) {
    case 4: stretch([](uint8_t* out, const uint8_t* in) { std::memcpy(out, in, 4); }); break;
    case 3: stretch([](uint8_t* out, const uint8_t* in) { std::memcpy(out, in, 3); }); break;
    case 2: stretch([](uint8_t* out, const uint8_t* in) { std::memcpy(out, in, 2); }); break;
    default: stretch([bpp](uint8_t* out, const uint8_t* in) { std::memcpy(out, in, static_cast<size_t>(bpp)); }); break;
    }
    return true;
}

bool DisplaySurface::BlitKeyedFrom(const DisplaySurface& source, PixelRect sourceRect, int dstX, int dstY) {
    if (!Exists() || lost_ || !source.Exists() || source.lost_ || source.formatCode_ != formatCode_)
        return false;
    const int bpp = BytesPerPixel(formatCode_);
    // Clip the source rectangle to the source, then the destination.
    int sx0 = std::max(sourceRect.left, 0);
    int sy0 = std::max(sourceRect.top, 0);
    int sx1 = std::min(sourceRect.right, source.widthPx_);
    int sy1 = std::min(sourceRect.bottom, source.heightPx_);
    int dx0 = dstX + (sx0 - sourceRect.left);
    int dy0 = dstY + (sy0 - sourceRect.top);
    if (dx0 < 0) {
        sx0 -= dx0;
        dx0 = 0;
    }
    if (dy0 < 0) {
        sy0 -= dy0;
        dy0 = 0;
    }
    sx1 = std::min(sx1, sx0 + (widthPx_ - dx0));
    sy1 = std::min(sy1, sy0 + (heightPx_ - dy0));
    for (int sy = sy0; sy < sy1; ++sy) {
        const uint8_t* in = source.Row(sy) + static_cast<ptrdiff_t>(sx0) * bpp;
        uint8_t* out = Row(dy0 + sy - sy0) + static_cast<ptrdiff_t>(dx0) * bpp;
        for (int sx = sx0; sx < sx1; ++sx, in += bpp, out += bpp) {
            const uint32_t pixel = source.ReadPixel(in);
            if (pixel < source.keyLow_ || pixel > source.keyHigh_)
                std::memcpy(out, in, bpp);
        }
    }
    return true;
}

void DisplaySurface::CopyToScreen(QImage& screen) const { CopyToScreen(screen, {0, 0, widthPx_, heightPx_}); }

void DisplaySurface::CopyToScreen(QImage& screen, PixelRect rect) const {
    if (!Exists() || lost_ || screen.format() != QImage::Format_RGB32)
        return;
    const int bpp = BytesPerPixel(formatCode_);
    const int x0 = std::max(rect.left, 0);
    const int y0 = std::max(rect.top, 0);
    const int x1 = std::min({rect.right, widthPx_, static_cast<int>(screen.width())});
    const int y1 = std::min({rect.bottom, heightPx_, static_cast<int>(screen.height())});
    for (int y = y0; y < y1; ++y) {
        const uint8_t* in = Row(y) + static_cast<ptrdiff_t>(x0) * bpp;
        auto* out = reinterpret_cast<uint32_t*>(screen.scanLine(y));
        if (formatCode_ == kRgb32) {
            for (int x = x0; x < x1; ++x, in += 4)
                out[x] = 0xFF000000u | in[0] | (in[1] << 8) | (in[2] << 16);
        } else {
            for (int x = x0; x < x1; ++x, in += bpp)
                out[x] = UnpackToArgb(formatCode_, ReadPixel(in));
        }
    }
}

}  // namespace zo::render
