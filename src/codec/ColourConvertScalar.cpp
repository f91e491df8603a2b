// Scalar reference row kernels: the conversion equations written out pixel by
// pixel.
#include <algorithm>

#include "codec/ColourConvertKernels.h"

namespace zo::codec::colour {
namespace {

struct Rgb {
    int r;
    int g;
    int b;
};

// Upper 16 bits of the 32-bit product (floor(a x b / 65536)).
inline int MulHi16(int a, int b) { return (a * b) >> 16; }
inline int AddSat16(int a, int b) { return std::clamp(a + b, -32768, 32767); }
inline int Clamp8(int x) { return std::clamp(x, 0, 255); }

// Chroma terms of one Cb/Cr pair, shared by both pixels of the pair.
struct VideoChroma {
    int red;
    int green;
    int blue;
};

inline VideoChroma VideoTerms(int cb, int cr) {
    const int u = 8 * (cb - 128);
    const int v = 8 * (cr - 128);
    return {MulHi16(v, 13123), AddSat16(MulHi16(u, -3218), MulHi16(v, -6686)), MulHi16(u, 16591)};
}

inline Rgb VideoPixel(int luma, const VideoChroma& c) {
    const int yv = MulHi16(8 * std::max(luma - 16, 0), 9576);
    return {Clamp8(AddSat16(yv, c.red)), Clamp8(AddSat16(yv, c.green)), Clamp8(AddSat16(yv, c.blue))};
}

// Full range: >> 10 of a negative value rounds towards minus infinity.
inline int FullClamp(int x) { return x > 255 ? 255 : x < 0 ? 1 : x; }

struct FullChroma {
    int red;
    int green;
    int blue;
};

inline FullChroma FullTerms(int cb, int cr) {
    const int u = cb - 128;
    const int v = cr - 128;
    return {1436 * v, -352 * u - 731 * v, 1815 * u};
}

inline Rgb FullPixel(int luma, const FullChroma& c) {
    const int y = 1024 * luma;
    return {FullClamp((y + c.red) >> 10), FullClamp((y + c.green) >> 10), FullClamp((y + c.blue) >> 10)};
}

// Writers of one pixel; 16-bit formats store little-endian.
inline void Store16(uint8_t* out, unsigned v) {
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
}

struct VideoRgb555 {
    static constexpr int kBytes = 2;
    static void Put(uint8_t* o, const Rgb& p) {
        Store16(o, (unsigned(p.r & 0xF8) << 7) | (unsigned(p.g & 0xF8) << 2) | (unsigned(p.b & 0xF8) >> 3));
    }
};
struct VideoRgb565 {
    static constexpr int kBytes = 2;
    static void Put(uint8_t* o, const Rgb& p) {
        Store16(o, (unsigned(p.r & 0xF8) << 8) | (unsigned(p.g & 0xF8) << 3) | (unsigned(p.b & 0xF8) >> 3));
    }
};
struct FullRgb555 {
    static constexpr int kBytes = 2;
    static void Put(uint8_t* o, const Rgb& p) {
        Store16(o, (unsigned(p.r >> 3) << 10) | (unsigned(p.g >> 3) << 5) | unsigned(p.b >> 3));
    }
};
struct FullRgb565 {
    static constexpr int kBytes = 2;
    static void Put(uint8_t* o, const Rgb& p) {
        Store16(o, (unsigned(p.r >> 3) << 11) | (unsigned(p.g >> 2) << 5) | unsigned(p.b >> 3));
    }
};
struct FullBgr565 {
    static constexpr int kBytes = 2;
    static void Put(uint8_t* o, const Rgb& p) {
        Store16(o, (unsigned(p.b >> 3) << 11) | (unsigned(p.g >> 2) << 5) | unsigned(p.r >> 3));
    }
};
struct Rgb24 {
    static constexpr int kBytes = 3;
    static void Put(uint8_t* o, const Rgb& p) {
        o[0] = static_cast<uint8_t>(p.b);
        o[1] = static_cast<uint8_t>(p.g);
        o[2] = static_cast<uint8_t>(p.r);
    }
};
struct Rgb32 {
    static constexpr int kBytes = 4;
    static void Put(uint8_t* o, const Rgb& p) {
        o[0] = static_cast<uint8_t>(p.b);
        o[1] = static_cast<uint8_t>(p.g);
        o[2] = static_cast<uint8_t>(p.r);
        o[3] = 0;
    }
};

template <class Writer>
void VideoRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    for (int x = 0; x < width; x += 2) {
        const VideoChroma c = VideoTerms(cb[x / 2], cr[x / 2]);
        Writer::Put(out + x * Writer::kBytes, VideoPixel(y[x], c));
        Writer::Put(out + (x + 1) * Writer::kBytes, VideoPixel(y[x + 1], c));
    }
}

template <class Writer>
void FullRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, int width) {
    for (int x = 0; x < width; x += 2) {
        const FullChroma c = FullTerms(cb[x / 2], cr[x / 2]);
        Writer::Put(out + x * Writer::kBytes, FullPixel(y[x], c));
        Writer::Put(out + (x + 1) * Writer::kBytes, FullPixel(y[x + 1], c));
    }
}

}  // namespace

const RowSet kVideoScalar = {
    "scalar",
    {VideoRow<VideoRgb555>, VideoRow<VideoRgb565>, nullptr, VideoRow<Rgb24>, VideoRow<Rgb32>},
};

const RowSet kFullScalar = {
    "scalar",
    {FullRow<FullRgb555>, FullRow<FullRgb565>, FullRow<FullBgr565>, FullRow<Rgb24>, FullRow<Rgb32>},
};

int BytesPerPixel(Format format) {
    switch (format) {
    case Format::Rgb24:
        return 3;
    case Format::Rgb32:
        return 4;
    default:
        return 2;
    }
}

}  // namespace zo::codec::colour
