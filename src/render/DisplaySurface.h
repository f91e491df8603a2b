// DisplaySurface: an off-screen drawing surface in the display's pixel
// format, the stand-in for an accelerated video-memory surface. It holds
// width, height, row pitch and pixel format code, a source colour key, and
// the pixels; it can be lost (its memory taken by the display) and
// restored. Blits stretch, fill, and copy with the source colour key; every
// one is clipped to the surfaces' bounds.
//
// Pixel format codes (little-endian pixels):
//   1  15 bits, 5-5-5 (bit 15 zero, red 14..10, green 9..5, blue 4..0)
//   2  16 bits, 5-6-5 with red high (red mask F800)
//   3  16 bits, 5-6-5 with blue high (red mask 001F)
//   4  24 bits, bytes blue, green, red (red mask FF0000)
//   5  32 bits, bytes blue, green, red, 0 (red mask FF0000)
//
// Not thread-safe: the video window uses its surfaces under its own lock.
#pragma once

#include <cstdint>
#include <vector>

#include "render/Stretch.h"

class QImage;

namespace zo::render {

enum SurfaceFormat : int {
    kNoSurfaceFormat = 0,  // palette-indexed or unrecognised: no surfaces
    kRgb555 = 1,
    kRgb565 = 2,
    kBgr565 = 3,
    kRgb24 = 4,
    kRgb32 = 5,
};

// How a display or surface describes its pixels.
struct DisplayPixelFormat {
    bool paletteIndexed = false;
    bool rgb = true;
    int bitsPerPixel = 32;
    uint32_t redMask = 0xFF0000;
    friend bool operator==(const DisplayPixelFormat&, const DisplayPixelFormat&) = default;
};

// 15 bits: 1; 16 bits with red mask F800: 2, with 001F: 3; 24 or 32 bits
// with red mask FF0000: 4 or 5; palette-indexed, non-RGB or anything else:
// kNoSurfaceFormat.
int ClassifyPixelFormat(const DisplayPixelFormat& format);
// The description of code 1..5 (a 256-colour palette for any other code).
DisplayPixelFormat PixelFormatOfCode(int code);
// 2, 2, 2, 3, 4 for codes 1..5; 0 otherwise.
int BytesPerPixel(int code);
// The raw pixel value of an RGB colour in format `code` (top bits kept).
uint32_t PackRgb(int code, uint8_t red, uint8_t green, uint8_t blue);
// The colour of a raw pixel as 0xFFRRGGBB, 5- and 6-bit fields widened by
// repeating their top bits.
uint32_t UnpackToArgb(int code, uint32_t pixel);

class DisplaySurface {
public:
    // Raw value of the fill every surface gets when made or restored: RGB
    // 10, 10, 10 on 24- and 32-bit displays; on 16-bit displays the low 16
    // bits of the same value, as a raw fill gives.
    static constexpr uint32_t kInitialFill = 0x0A0A0A;

    // Makes a surface of the given size and format with its pixels filled
    // with kInitialFill and the black source key; rows are padded beyond
    // width x bytes per pixel, as display memory is. false (nothing made)
    // for an empty size or an unknown format.
    bool Create(int widthPx, int heightPx, int formatCode);
    void Release();
    bool Exists() const { return formatCode_ != kNoSurfaceFormat; }

    int Width() const { return widthPx_; }
    int Height() const { return heightPx_; }
    int Pitch() const { return pitchBytes_; }
    int Format() const { return formatCode_; }

    // Source colour key: pixels with raw values from low to high are not
    // copied by BlitKeyedFrom.
    void SetSourceColourKey(uint32_t low, uint32_t high);

    // The pixels for writing, or nullptr when the surface is missing or lost.
    uint8_t* Lock();
    void Unlock() {}

    bool IsLost() const { return lost_; }
    // The display took the surface's memory: its content is gone until
    // Restore.
    void MarkLost();
    // Gives a lost surface its memory back, filled with kInitialFill.
    void Restore();

    // Fills `rect` (clipped) with the raw value `pixel`.
    void Fill(PixelRect rect, uint32_t pixel);
    void FillAll(uint32_t pixel) { Fill({0, 0, widthPx_, heightPx_}, pixel); }

    // Stretches the whole of `source` (same format) into `dst`, nearest
    // neighbour. false when either surface is missing or lost, or the
    // formats differ.
    bool StretchFrom(const DisplaySurface& source, PixelRect dst);
    // Stretches `sourceRect` of `source` (clipped to it) into `dst`.
    bool StretchFrom(const DisplaySurface& source, PixelRect sourceRect, PixelRect dst);
    // Copies `sourceRect` of `source` to (dstX, dstY) unscaled, leaving out
    // the pixels within the source's colour key. Same failures.
    bool BlitKeyedFrom(const DisplaySurface& source, PixelRect sourceRect, int dstX, int dstY);
    // Copies the surface to `screen` (QImage::Format_RGB32) at (0, 0),
    // converting each pixel to its colour; clipped to the smaller size.
    void CopyToScreen(QImage& screen) const;
    // The same for `rect` alone (clipped).
    void CopyToScreen(QImage& screen, PixelRect rect) const;

    const uint8_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * pitchBytes_; }
    uint8_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * pitchBytes_; }
    // Writes one raw pixel; nothing outside the surface or while lost.
    void SetPixel(int x, int y, uint32_t pixel);
    // The raw value of pixel (x, y), for tests and the key; 0 outside.
    uint32_t PixelAt(int x, int y) const;

private:
    void WritePixel(uint8_t* at, uint32_t pixel) const;
    uint32_t ReadPixel(const uint8_t* at) const;

    int widthPx_ = 0;
    int heightPx_ = 0;
    int pitchBytes_ = 0;
    int formatCode_ = kNoSurfaceFormat;
    bool lost_ = false;
    uint32_t keyLow_ = 0;
    uint32_t keyHigh_ = 0;
    std::vector<uint8_t> pixels_;  // heightPx_ x pitchBytes_
};

}  // namespace zo::render
