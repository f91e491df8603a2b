// Colour converters: worked values of both families, chroma siting, row
// order, pitch and refused sizes through the public forms; every vector
// kernel set against the scalar reference on seeded random pictures, with
// input and output ending against an unmapped page.
#include "codec/ColourConvert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "codec/ColourConvertKernels.h"
#include "support/PageEndBuffer.h"
#include "synth/FrameMaker.h"

namespace zo::codec {
namespace {

using colour::Format;

using test::PageEndBuffer;

uint64_t TestSeed(uint64_t fallback) {
    const char* env = std::getenv("ZO_TEST_SEED");
    return env ? std::strtoull(env, nullptr, 10) : fallback;
}

// A decoded picture buffer filled with one colour.
std::vector<uint8_t> Uniform(int width, int height, uint8_t y, uint8_t cb, uint8_t cr) {
    const size_t luma = static_cast<size_t>(width) * height;
    std::vector<uint8_t> p(luma * 3 / 2, y);
    std::fill(p.begin() + luma, p.begin() + luma * 5 / 4, cb);
    std::fill(p.begin() + luma * 5 / 4, p.end(), cr);
    return p;
}

using PictureForm = void (*)(uint8_t* out, const uint8_t* picture, int width, int height, int outStrideBytes);

struct Bgr {
    int b, g, r;
    bool operator==(const Bgr&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Bgr& c) {
    return os << "(r " << c.r << ", g " << c.g << ", b " << c.b << ")";
}

// The colour of the first pixel of a 16x2 uniform picture, through the
// public 32-bit forms.
Bgr Video(uint8_t y, uint8_t cb, uint8_t cr) {
    const auto pic = Uniform(16, 2, y, cb, cr);
    std::vector<uint8_t> out(16 * 2 * 4, 0xEE);
    I420ToRgb32(out.data(), pic.data(), 16, 2);
    EXPECT_EQ(out[3], 0);
    return {out[0], out[1], out[2]};
}
Bgr Full(uint8_t y, uint8_t cb, uint8_t cr) {
    const auto pic = Uniform(16, 2, y, cb, cr);
    std::vector<uint8_t> out(16 * 2 * 4, 0xEE);
    I420ToRgb32Full(out.data(), pic.data(), 16, 2);
    EXPECT_EQ(out[3], 0);
    return {out[0], out[1], out[2]};
}
uint16_t Pixel16(PictureForm convert, uint8_t y, uint8_t cb, uint8_t cr) {
    const auto pic = Uniform(16, 2, y, cb, cr);
    std::vector<uint8_t> out(16 * 2 * 2, 0xEE);
    convert(out.data(), pic.data(), 16, 2, 0);
    return static_cast<uint16_t>(out[0] | out[1] << 8);
}

TEST(ColourConvert, VideoRangeWorkedValues) {
    EXPECT_EQ(Video(16, 128, 128), (Bgr{0, 0, 0}));
    EXPECT_EQ(Video(235, 128, 128), (Bgr{255, 255, 255}));
    EXPECT_EQ(Video(236, 128, 128), (Bgr{255, 255, 255})) << "yv 257 clamps";
    for (uint8_t y = 0; y < 16; ++y)
        EXPECT_EQ(Video(y, 90, 200), Video(16, 90, 200)) << "luma " << int(y) << " counts as 16";
    // y 84: yv 98; u -304, v 576: red +115, green +14 -59, blue -77 (multiply-high rounds down).
    EXPECT_EQ(Video(100, 90, 200), (Bgr{21, 53, 213}));
    EXPECT_EQ(Video(255, 255, 255), (Bgr{255, 125, 255}));
    EXPECT_EQ(Video(0, 0, 0), (Bgr{0, 154, 0}));

    EXPECT_EQ(Pixel16(I420ToRgb565, 100, 90, 200), 0xD182);
    EXPECT_EQ(Pixel16(I420ToRgb555, 100, 90, 200), 0x68C2);
    // (4, 4, 4): green 4 has no bit in the top five, so nothing is left.
    EXPECT_EQ(Video(20, 128, 128), (Bgr{4, 4, 4}));
    EXPECT_EQ(Pixel16(I420ToRgb565, 20, 128, 128), 0);
    EXPECT_EQ(Pixel16(I420ToRgb565, 235, 128, 128), 0xFFDF) << "green's lowest bit stays 0";
    EXPECT_EQ(Pixel16(I420ToRgb555, 235, 128, 128), 0x7FFF);
}

TEST(ColourConvert, FullRangeWorkedValues) {
    EXPECT_EQ(Full(0, 128, 128), (Bgr{0, 0, 0}));
    EXPECT_EQ(Full(0, 128, 0), (Bgr{0, 91, 1})) << "red -180 becomes 1";
    EXPECT_EQ(Full(255, 128, 128), (Bgr{255, 255, 255}));
    EXPECT_EQ(Full(2, 128, 127), (Bgr{2, 2, 0})) << "red exactly 0 stays 0";
    EXPECT_EQ(Full(1, 128, 127), (Bgr{1, 1, 1})) << "red -412 >> 10 = -1 becomes 1";
    EXPECT_EQ(Full(100, 90, 200), (Bgr{32, 61, 200}));

    EXPECT_EQ(Pixel16(I420ToRgb555Full, 100, 90, 200), 0x64E4);
    EXPECT_EQ(Pixel16(I420ToRgb565Full, 100, 90, 200), 0xC9E4);
    EXPECT_EQ(Pixel16(I420ToBgr565Full, 100, 90, 200), 0x21F9);
    EXPECT_EQ(Pixel16(I420ToRgb565Full, 255, 128, 128), 0xFFFF) << "six bits of green";
}

// Every pixel takes its own luma and the chroma sample of its 2x2 block: it
// equals the first pixel of a uniform picture of those three values.
TEST(ColourConvert, EachChromaSampleServesItsTwoByTwoBlock) {
    const uint64_t seed = TestSeed(7);
    synth::Rng rng(seed);
    const int w = 48, h = 6;
    std::vector<uint8_t> pic(w * h * 3 / 2);
    for (auto& b : pic)
        b = static_cast<uint8_t>(rng.Next());
    std::vector<uint8_t> video(w * h * 4), full(w * h * 4);
    I420ToRgb32(video.data(), pic.data(), w, h);
    I420ToRgb32Full(full.data(), pic.data(), w, h);
    const uint8_t* cb = pic.data() + w * h;
    const uint8_t* cr = cb + w * h / 4;
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            const size_t c = static_cast<size_t>(r / 2) * (w / 2) + x / 2;
            const uint8_t* v = &video[(r * w + x) * 4];
            const uint8_t* f = &full[(r * w + x) * 4];
            ASSERT_EQ((Bgr{v[0], v[1], v[2]}), Video(pic[r * w + x], cb[c], cr[c])) << "seed " << seed << " at " << x << "," << r;
            ASSERT_EQ((Bgr{f[0], f[1], f[2]}), Full(pic[r * w + x], cb[c], cr[c])) << "seed " << seed << " at " << x << "," << r;
        }
}

TEST(ColourConvert, BottomUpFormsReverseTheRows) {
    const uint64_t seed = TestSeed(11);
    synth::Rng rng(seed);
    const int w = 640, h = 224;
    const size_t row = w * 3;
    std::vector<uint8_t> pic(w * h * 3 / 2);
    for (auto& b : pic)
        b = static_cast<uint8_t>(rng.Next());
    const std::pair<PictureForm, PictureForm> pairs[] = {{I420ToRgb24, I420ToRgb24BottomUp},
                                                         {I420ToRgb24Full, I420ToRgb24FullFlipped}};
    for (const auto& [down, up] : pairs) {
        std::vector<uint8_t> topDown(row * h, 0x11), bottomUp(row * h, 0x22);
        down(topDown.data(), pic.data(), w, h, 0);
        up(bottomUp.data(), pic.data(), w, h, 0);
        // Output bytes 0..1919 hold the picture's last row, and so on.
        for (int k = 0; k < h; ++k)
            ASSERT_EQ(std::memcmp(&bottomUp[k * row], &topDown[(h - 1 - k) * row], row), 0) << "output row " << k;
    }
    // The general form with a negative height is the bottom-up picture form.
    std::vector<uint8_t> general(row * h, 0x33), form(row * h, 0x44);
    I420ToRgb24(pic.data(), w, pic.data() + w * h, pic.data() + w * h * 5 / 4, w / 2, general.data(), w, -h);
    I420ToRgb24BottomUp(form.data(), pic.data(), w, h);
    EXPECT_EQ(general, form);
}

TEST(ColourConvert, PitchSpacesRowsAndLeavesTheGapsAlone) {
    const int w = 320, h = 4;
    synth::Rng rng(TestSeed(5));
    std::vector<uint8_t> pic(w * h * 3 / 2);
    for (auto& b : pic)
        b = static_cast<uint8_t>(rng.Next());
    const std::pair<PictureForm, int> forms[] = {
        {I420ToRgb555, 2},     {I420ToRgb565, 2},     {I420ToRgb24, 3},     {I420ToRgb32, 4},
        {I420ToRgb555Full, 2}, {I420ToRgb565Full, 2}, {I420ToBgr565Full, 2}, {I420ToRgb24Full, 3},
        {I420ToRgb32Full, 4},  {I420ToRgb24BottomUp, 3}, {I420ToRgb24FullFlipped, 3}};
    for (const auto& [convert, bpp] : forms) {
        const size_t row = static_cast<size_t>(w) * bpp, pitch = row + 36;
        std::vector<uint8_t> packed(row * h, 0x5A), pitched(pitch * h, 0xA5);
        convert(packed.data(), pic.data(), w, h, 0);
        convert(pitched.data(), pic.data(), w, h, static_cast<int>(pitch));
        for (int k = 0; k < h; ++k) {
            ASSERT_EQ(std::memcmp(&pitched[k * pitch], &packed[k * row], row), 0) << bpp << " bytes, row " << k;
            for (size_t i = row; i < pitch; ++i)
                ASSERT_EQ(pitched[k * pitch + i], 0xA5) << bpp << " bytes, gap of row " << k;
        }
        // A pitch below the row length means packed rows.
        std::vector<uint8_t> small(row * h, 0x77);
        convert(small.data(), pic.data(), w, h, static_cast<int>(row) - 2);
        EXPECT_EQ(small, packed);
    }
}

TEST(ColourConvert, SizesThatAreNotPicturesWriteNothing) {
    std::vector<uint8_t> pic(64 * 64 * 2, 100);
    std::vector<uint8_t> out(64 * 64 * 4, 0xC3);
    const std::vector<uint8_t> untouched = out;
    for (const auto& [w, h] : {std::pair{0, 2}, {-16, 2}, {15, 2}, {16, 0}, {16, 3}, {16, -3}, {17, -2}}) {
        I420ToRgb24(out.data(), pic.data(), w, h);
        I420ToRgb24BottomUp(out.data(), pic.data(), w, h);
        I420ToRgb32(pic.data(), 64, pic.data(), pic.data(), 32, out.data(), w, h);
        I420ToRgb565Full(out.data(), pic.data(), w, h);
        I420ToRgb24FullFlipped(out.data(), pic.data(), w, h);
        ASSERT_EQ(out, untouched) << w << "x" << h;
    }
    I420ToRgb24BottomUp(out.data(), pic.data(), 16, INT32_MIN);
    EXPECT_EQ(out, untouched);
}

// The first calls of a process, from several threads at once, choose the
// kernels once and give each thread the same bytes as a later lone call.
TEST(ColourConvert, ThreadsConvertAtOnce) {
    const int w = 640, h = 224;
    synth::Rng rng(TestSeed(3));
    std::vector<uint8_t> pic(w * h * 3 / 2);
    for (auto& b : pic)
        b = static_cast<uint8_t>(rng.Next());
    constexpr int kThreads = 4;
    std::vector<std::vector<uint8_t>> video(kThreads, std::vector<uint8_t>(w * h * 3));
    std::vector<std::vector<uint8_t>> full(kThreads, std::vector<uint8_t>(w * h * 3));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            I420ToRgb24BottomUp(video[t].data(), pic.data(), w, h);
            I420ToRgb24FullFlipped(full[t].data(), pic.data(), w, h);
        });
    for (auto& t : threads)
        t.join();
    std::vector<uint8_t> wantVideo(w * h * 3), wantFull(w * h * 3);
    I420ToRgb24BottomUp(wantVideo.data(), pic.data(), w, h);
    I420ToRgb24FullFlipped(wantFull.data(), pic.data(), w, h);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(video[t], wantVideo) << "thread " << t;
        EXPECT_EQ(full[t], wantFull) << "thread " << t;
    }
}

// ---- Vector kernels against the scalar reference ---------------------------

struct KernelSet {
    std::string name;
    const colour::RowSet* rows;
};

std::vector<KernelSet> VectorSets(bool video) {
    std::vector<KernelSet> sets;
#if defined(__x86_64__)
    static const colour::RowSet sse2 = colour::VideoSse2();
    if (video)
        sets.push_back({"sse2", &sse2});
    if (colour::HasAvx2())
        sets.push_back({"avx2", video ? &colour::kVideoAvx2 : &colour::kFullAvx2});
#endif
    sets.push_back({"dispatched", video ? &colour::VideoRows() : &colour::FullRows()});
    return sets;
}

// Random samples, a third of them from the values at the edges of the
// ranges (clamping, the luma floor, neutral chroma).
void FillPicture(synth::Rng& rng, uint8_t* d, size_t n) {
    static const uint8_t kEdges[] = {0, 1, 15, 16, 17, 127, 128, 129, 234, 235, 236, 254, 255};
    for (size_t i = 0; i < n; ++i)
        d[i] = rng.Below(3) == 0 ? kEdges[rng.Below(sizeof kEdges)] : static_cast<uint8_t>(rng.Next());
}

// Converts a random picture with `row` and with the reference, both into
// outputs that end at a page edge and were filled with different bytes; the
// planes are separate buffers ending at page edges. Packed: strides exactly
// the row lengths, so the output is exactly width x |height| x bytes per
// pixel. Skewed: every stride one byte longer, so rows start at every
// alignment, and the bytes between output rows must stay as they were.
void CompareWithReference(const KernelSet& set, bool video, Format format, int width, int height, bool skewed,
                          uint64_t seed) {
    const colour::RowSet& reference = video ? colour::kVideoScalar : colour::kFullScalar;
    const int rows = height < 0 ? -height : height;
    const int bpp = colour::BytesPerPixel(format);
    const int skew = skewed ? 1 : 0;
    const int yStride = width + skew, cStride = width / 2 + skew, outStride = width * bpp + skew;
    const auto planeBytes = [](int stride, int n, int length) {
        return static_cast<size_t>(stride) * static_cast<size_t>(n - 1) + static_cast<size_t>(length);
    };
    synth::Rng rng(seed);
    PageEndBuffer luma(planeBytes(yStride, rows, width)), cb(planeBytes(cStride, rows / 2, width / 2)),
        cr(planeBytes(cStride, rows / 2, width / 2));
    FillPicture(rng, luma.data(), luma.size());
    FillPicture(rng, cb.data(), cb.size());
    FillPicture(rng, cr.data(), cr.size());
    const size_t outBytes = planeBytes(outStride, rows, width * bpp);
    PageEndBuffer got(outBytes), want(outBytes);
    std::memset(got.data(), 0x5A, outBytes);
    std::memset(want.data(), 0xA5, outBytes);
    colour::ConvertPicture(reference[format], bpp, luma.data(), yStride, cb.data(), cr.data(), cStride, want.data(),
                           width, height, outStride);
    colour::ConvertPicture(set.rows->operator[](format), bpp, luma.data(), yStride, cb.data(), cr.data(), cStride,
                           got.data(), width, height, outStride);
    for (size_t i = 0; i < outBytes; ++i) {
        const bool inRow = i % static_cast<size_t>(outStride) < static_cast<size_t>(width) * bpp;
        ASSERT_EQ(got.data()[i], inRow ? want.data()[i] : 0x5A)
            << set.name << (video ? " video" : " full") << " format " << static_cast<int>(format) << " " << width << "x"
            << height << (skewed ? " skewed" : " packed") << " seed " << seed << ": byte " << i << " (row "
            << i / outStride << ", pixel " << i % outStride / bpp << ")";
    }
}

const std::pair<int, int> kSizes[] = {
    {640, 224}, {640, 272}, {320, 224}, {320, 272}, {640, 2}, {320, 448}, {640, -224}, {320, -272}, {640, -2},
    // Widths with tails after the vector steps.
    {2, 2}, {6, -4}, {8, 2}, {18, 6}, {30, -2}, {34, 4}, {46, 2}, {48, 2}, {62, -6}, {66, 2}, {800, 4}, {1002, -2},
};

void CompareFamily(bool video, std::initializer_list<Format> formats, uint64_t seed) {
    for (const KernelSet& set : VectorSets(video))
        for (Format f : formats)
            for (const auto& [w, h] : kSizes)
                for (bool skewed : {false, true})
                    CompareWithReference(set, video, f, w, h, skewed,
                                         seed + static_cast<uint64_t>(w) * 131 + static_cast<uint64_t>(h + 1000));
}

TEST(ColourKernels, VideoRangeMatchesTheReference) {
    CompareFamily(true, {Format::Rgb555, Format::Rgb565, Format::Rgb24, Format::Rgb32}, TestSeed(2024));
}

TEST(ColourKernels, FullRangeMatchesTheReference) {
    CompareFamily(false, {Format::Rgb555, Format::Rgb565, Format::Bgr565, Format::Rgb24, Format::Rgb32}, TestSeed(4048));
}

// Every (Y, Cb, Cr) triple once, through the 32-bit kernels (the arithmetic
// every format shares): one 512x128 picture per Cb value, chroma column k
// holding Cr = k, the 2x2 luma block of chroma row m holding Y = 4m .. 4m+3.
TEST(ColourKernels, EveryInputTripleMatchesTheReference) {
    const int w = 512, h = 128;
    std::vector<uint8_t> luma(w * h), cb(w / 2 * h / 2), cr(w / 2 * h / 2);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            luma[r * w + x] = static_cast<uint8_t>(4 * (r / 2) + 2 * (r % 2) + x % 2);
    for (int m = 0; m < h / 2; ++m)
        for (int k = 0; k < w / 2; ++k)
            cr[m * (w / 2) + k] = static_cast<uint8_t>(k);
    std::vector<uint8_t> want(w * h * 4), got(w * h * 4);
    for (bool video : {true, false}) {
        const colour::RowSet& reference = video ? colour::kVideoScalar : colour::kFullScalar;
        for (int blue = 0; blue < 256; ++blue) {
            std::fill(cb.begin(), cb.end(), static_cast<uint8_t>(blue));
            colour::ConvertPicture(reference[Format::Rgb32], 4, luma.data(), w, cb.data(), cr.data(), w / 2,
                                   want.data(), w, h, 0);
            for (const KernelSet& set : VectorSets(video)) {
                std::fill(got.begin(), got.end(), 0x5A);
                colour::ConvertPicture(set.rows->operator[](Format::Rgb32), 4, luma.data(), w, cb.data(), cr.data(),
                                       w / 2, got.data(), w, h, 0);
                if (got != want) {
                    size_t i = 0;
                    while (got[i] == want[i])
                        ++i;
                    const size_t px = i / 4, x = px % w, r = px / w;
                    FAIL() << set.name << (video ? " video" : " full") << ": Y " << int(luma[px]) << " Cb " << blue
                           << " Cr " << x / 2 << " (row " << r << ")";
                }
            }
        }
    }
}

// The picture forms at the buffer ends the callers have: input exactly
// width x height x 3/2 bytes, 24-bit output exactly width x height x 3.
TEST(ColourKernels, PictureFormsStayInsideTheirBuffers) {
    const uint64_t seed = TestSeed(99);
    synth::Rng rng(seed);
    for (const auto& [w, h] : {std::pair{640, 224}, {640, 272}, {320, 224}, {320, 2}}) {
        PageEndBuffer pic(static_cast<size_t>(w) * h * 3 / 2);
        FillPicture(rng, pic.data(), pic.size());
        PageEndBuffer out(static_cast<size_t>(w) * h * 3);
        I420ToRgb24(out.data(), pic.data(), w, h);
        I420ToRgb24BottomUp(out.data(), pic.data(), w, h);
        I420ToRgb24Full(out.data(), pic.data(), w, h);
        I420ToRgb24FullFlipped(out.data(), pic.data(), w, h);
        PageEndBuffer out16(static_cast<size_t>(w) * h * 2);
        I420ToRgb555(out16.data(), pic.data(), w, h);
        I420ToRgb565(out16.data(), pic.data(), w, h);
        I420ToBgr565Full(out16.data(), pic.data(), w, h);
        PageEndBuffer out32(static_cast<size_t>(w) * h * 4);
        I420ToRgb32(out32.data(), pic.data(), w, h);
        I420ToRgb32Full(out32.data(), pic.data(), w, h);
        // Reaching here without a fault is the test; the last pixel was written.
        std::vector<uint8_t> again(static_cast<size_t>(w) * h * 4);
        I420ToRgb32Full(again.data(), pic.data(), w, h);
        EXPECT_EQ(std::memcmp(again.data(), out32.data(), again.size()), 0);
    }
}

TEST(ColourKernels, ForceScalarSelectsTheReference) {
    const char* v = std::getenv("ZO_FORCE_SCALAR");
    const bool forced = v && *v && std::strcmp(v, "0") != 0;
    if (forced) {
        EXPECT_STREQ(ColourKernelName(), "scalar");
        EXPECT_EQ(&colour::VideoRows(), &colour::kVideoScalar);
        EXPECT_EQ(&colour::FullRows(), &colour::kFullScalar);
    } else {
#if defined(__x86_64__)
        EXPECT_STREQ(ColourKernelName(), colour::HasAvx2() ? "avx2" : "sse2");
#endif
    }
}

}  // namespace
}  // namespace zo::codec
