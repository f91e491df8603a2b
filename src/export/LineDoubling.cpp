#include "export/LineDoubling.h"

#include <cstddef>
#include <cstring>

namespace zo::exporter {

int DoubleLines(const uint8_t* in, int w, int h, uint8_t* out, int outWidth, int outHeight) {
    if (w <= 0 || h <= 0 || outWidth != w || outHeight != 2 * h)
        return 0;
    const size_t row = static_cast<size_t>(w) * 3;
    for (int r = 0; r < outHeight; ++r) {
        uint8_t* dst = out + static_cast<size_t>(r) * row;
        const uint8_t* a = in + static_cast<size_t>(r / 2) * row;
        if ((r & 1) && r != outHeight - 1) {
            const uint8_t* b = a + row;
            for (size_t i = 0; i < row; ++i)
                dst[i] = static_cast<uint8_t>((a[i] + b[i]) >> 1);
        } else {
            std::memcpy(dst, a, row);
        }
    }
    return 1;
}

}  // namespace zo::exporter
