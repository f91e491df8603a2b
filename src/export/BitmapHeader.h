// The 40-byte bitmap information header that describes exported pictures:
// 24-bit uncompressed RGB (blue, green, red), rows bottom first for a
// positive height.
#pragma once

#include <cstdint>

namespace zo::exporter {

struct BitmapHeader {
    uint32_t size = 40;
    int32_t width = 640;
    int32_t height = 224;
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;  // uncompressed RGB
    uint32_t sizeImage = 640 * 224 * 3;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;

    friend bool operator==(const BitmapHeader&, const BitmapHeader&) = default;
};

}  // namespace zo::exporter
