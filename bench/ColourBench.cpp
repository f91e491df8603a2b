// Colour converter speed against libyuv, in one run, on a seeded random
// 640x224 picture (the recorders' picture size):
//   Ours...      the dispatched video-range converters (public picture forms)
//   Sse2...      the baseline kernels (what runs without AVX2)
//   Scalar...    the scalar reference kernels through the same driver
//   Libyuv...    I420ToRGB24, I420ToARGB, I420ToRGB565 (BT.601 limited range);
//                LibyuvSsse3... the same held to SSSE3
//   Full...      the full-range redraw converters, for information
// Then prints ours/libyuv in pictures per second, and how far libyuv's
// colours are from ours (libyuv uses other factors; for information only).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <libyuv.h>

#include "RateReporter.h"
#include "codec/ColourConvert.h"
#include "codec/ColourConvertKernels.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 224;

struct Picture {
    std::vector<uint8_t> data;
    const uint8_t* y() const { return data.data(); }
    const uint8_t* cb() const { return data.data() + kWidth * kHeight; }
    const uint8_t* cr() const { return data.data() + kWidth * kHeight * 5 / 4; }
};

const Picture& TestPicture() {
    static const Picture picture = [] {
        Picture p;
        p.data.resize(kWidth * kHeight * 3 / 2);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (auto& b : p.data) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            b = static_cast<uint8_t>(x >> 24);
        }
        return p;
    }();
    return picture;
}

template <class Convert>
void RunPictures(benchmark::State& state, int bytesPerPixel, Convert convert) {
    const Picture& p = TestPicture();
    std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * bytesPerPixel);
    for (auto _ : state) {
        convert(p, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
}

using zo::codec::colour::Format;

void Scalar(Format f, const Picture& p, uint8_t* out, int height) {
    zo::codec::colour::ConvertPicture(zo::codec::colour::kVideoScalar[f], zo::codec::colour::BytesPerPixel(f), p.y(),
                                      kWidth, p.cb(), p.cr(), kWidth / 2, out, kWidth, height, 0);
}

// The baseline kernels, as on a processor without AVX2.
void Sse2(Format f, const Picture& p, uint8_t* out) {
    static const zo::codec::colour::RowSet sse2 = zo::codec::colour::VideoSse2();
    zo::codec::colour::ConvertPicture(sse2[f], zo::codec::colour::BytesPerPixel(f), p.y(), kWidth, p.cb(), p.cr(),
                                      kWidth / 2, out, kWidth, kHeight, 0);
}

void BM_OursRgb24(benchmark::State& s) {
    RunPictures(s, 3, [](const Picture& p, uint8_t* o) { zo::codec::I420ToRgb24(o, p.y(), kWidth, kHeight); });
}
void BM_OursRgb24BottomUp(benchmark::State& s) {
    RunPictures(s, 3, [](const Picture& p, uint8_t* o) { zo::codec::I420ToRgb24BottomUp(o, p.y(), kWidth, kHeight); });
}
void BM_OursRgb32(benchmark::State& s) {
    RunPictures(s, 4, [](const Picture& p, uint8_t* o) { zo::codec::I420ToRgb32(o, p.y(), kWidth, kHeight); });
}
void BM_OursRgb565(benchmark::State& s) {
    RunPictures(s, 2, [](const Picture& p, uint8_t* o) { zo::codec::I420ToRgb565(o, p.y(), kWidth, kHeight); });
}
void BM_ScalarRgb24(benchmark::State& s) {
    RunPictures(s, 3, [](const Picture& p, uint8_t* o) { Scalar(Format::Rgb24, p, o, kHeight); });
}
void BM_ScalarRgb32(benchmark::State& s) {
    RunPictures(s, 4, [](const Picture& p, uint8_t* o) { Scalar(Format::Rgb32, p, o, kHeight); });
}
void BM_Sse2Rgb24(benchmark::State& s) {
    RunPictures(s, 3, [](const Picture& p, uint8_t* o) { Sse2(Format::Rgb24, p, o); });
}
void BM_Sse2Rgb32(benchmark::State& s) {
    RunPictures(s, 4, [](const Picture& p, uint8_t* o) { Sse2(Format::Rgb32, p, o); });
}
void BM_LibyuvRGB24(benchmark::State& s) {
    RunPictures(s, 3, [](const Picture& p, uint8_t* o) {
        libyuv::I420ToRGB24(p.y(), kWidth, p.cb(), kWidth / 2, p.cr(), kWidth / 2, o, kWidth * 3, kWidth, kHeight);
    });
}
// libyuv held to SSSE3 (what it runs without AVX), beside our baseline kernels.
class LibyuvWithoutAvx {
public:
    LibyuvWithoutAvx() {
        libyuv::MaskCpuFlags(~(libyuv::kCpuHasAVX | libyuv::kCpuHasAVX2 | libyuv::kCpuHasFMA3 | libyuv::kCpuHasF16C |
                               libyuv::kCpuHasAVX512BW | libyuv::kCpuHasAVX512VL | libyuv::kCpuHasAVX512VNNI |
                               libyuv::kCpuHasAVX512VBMI | libyuv::kCpuHasAVX512VBMI2 | libyuv::kCpuHasAVX512VBITALG |
                               libyuv::kCpuHasAVX512VPOPCNTDQ | libyuv::kCpuHasGFNI));
    }
    ~LibyuvWithoutAvx() { libyuv::MaskCpuFlags(-1); }
    LibyuvWithoutAvx(const LibyuvWithoutAvx&) = delete;
    LibyuvWithoutAvx& operator=(const LibyuvWithoutAvx&) = delete;
};

void BM_LibyuvSsse3RGB24(benchmark::State& s) {
    LibyuvWithoutAvx limit;
    RunPictures(s, 3, [](const Picture& p, uint8_t* o) {
        libyuv::I420ToRGB24(p.y(), kWidth, p.cb(), kWidth / 2, p.cr(), kWidth / 2, o, kWidth * 3, kWidth, kHeight);
    });
}
void BM_LibyuvSsse3ARGB(benchmark::State& s) {
    LibyuvWithoutAvx limit;
    RunPictures(s, 4, [](const Picture& p, uint8_t* o) {
        libyuv::I420ToARGB(p.y(), kWidth, p.cb(), kWidth / 2, p.cr(), kWidth / 2, o, kWidth * 4, kWidth, kHeight);
    });
}
void BM_LibyuvRGB24BottomUp(benchmark::State& s) {
    RunPictures(s, 3, [](const Picture& p, uint8_t* o) {
        libyuv::I420ToRGB24(p.y(), kWidth, p.cb(), kWidth / 2, p.cr(), kWidth / 2, o, kWidth * 3, kWidth, -kHeight);
    });
}
void BM_LibyuvARGB(benchmark::State& s) {
    RunPictures(s, 4, [](const Picture& p, uint8_t* o) {
        libyuv::I420ToARGB(p.y(), kWidth, p.cb(), kWidth / 2, p.cr(), kWidth / 2, o, kWidth * 4, kWidth, kHeight);
    });
}
void BM_LibyuvRGB565(benchmark::State& s) {
    RunPictures(s, 2, [](const Picture& p, uint8_t* o) {
        libyuv::I420ToRGB565(p.y(), kWidth, p.cb(), kWidth / 2, p.cr(), kWidth / 2, o, kWidth * 2, kWidth, kHeight);
    });
}
void BM_FullRgb24Flipped(benchmark::State& s) {
    RunPictures(s, 3, [](const Picture& p, uint8_t* o) { zo::codec::I420ToRgb24FullFlipped(o, p.y(), kWidth, kHeight); });
}
void BM_FullRgb24FlippedScalar(benchmark::State& s) {
    RunPictures(s, 3, [](const Picture& p, uint8_t* o) {
        zo::codec::colour::ConvertPicture(zo::codec::colour::kFullScalar[Format::Rgb24], 3, p.y(), kWidth, p.cb(),
                                          p.cr(), kWidth / 2, o, kWidth, -kHeight, 0);
    });
}

BENCHMARK(BM_OursRgb24);
BENCHMARK(BM_LibyuvRGB24);
BENCHMARK(BM_OursRgb32);
BENCHMARK(BM_LibyuvARGB);
BENCHMARK(BM_OursRgb24BottomUp);
BENCHMARK(BM_LibyuvRGB24BottomUp);
BENCHMARK(BM_OursRgb565);
BENCHMARK(BM_LibyuvRGB565);
BENCHMARK(BM_Sse2Rgb24);
BENCHMARK(BM_LibyuvSsse3RGB24);
BENCHMARK(BM_Sse2Rgb32);
BENCHMARK(BM_LibyuvSsse3ARGB);
BENCHMARK(BM_ScalarRgb24);
BENCHMARK(BM_ScalarRgb32);
BENCHMARK(BM_FullRgb24Flipped);
BENCHMARK(BM_FullRgb24FlippedScalar);


// Largest and mean absolute difference per colour byte between libyuv's
// output and ours, both as blue, green, red in memory.
void PrintDifference(const char* what, const std::vector<uint8_t>& ours, const std::vector<uint8_t>& theirs,
                     int bytesPerPixel) {
    int largest = 0;
    double sum = 0;
    size_t count = 0, differing = 0;
    for (size_t i = 0; i < ours.size(); i += bytesPerPixel)
        for (int c = 0; c < 3; ++c) {
            const int d = std::abs(int(ours[i + c]) - int(theirs[i + c]));
            largest = std::max(largest, d);
            sum += d;
            differing += d != 0;
            ++count;
        }
    std::printf("%-28s libyuv vs ours: largest difference %d, mean %.2f, %.1f%% of channel values differ\n", what,
                largest, sum / static_cast<double>(count), 100.0 * static_cast<double>(differing) / static_cast<double>(count));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    zo::bench::RateReporter reporter("items_per_second");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nkernels in use: %s\n", zo::codec::ColourKernelName());
    const std::pair<const char*, const char*> pairs[] = {
        {"BM_OursRgb24", "BM_LibyuvRGB24"},
        {"BM_OursRgb32", "BM_LibyuvARGB"},
        {"BM_OursRgb24BottomUp", "BM_LibyuvRGB24BottomUp"},
        {"BM_OursRgb565", "BM_LibyuvRGB565"},
        {"BM_Sse2Rgb24", "BM_LibyuvRGB24"},
        {"BM_Sse2Rgb32", "BM_LibyuvARGB"},
        {"BM_Sse2Rgb24", "BM_LibyuvSsse3RGB24"},
        {"BM_Sse2Rgb32", "BM_LibyuvSsse3ARGB"},
        {"BM_ScalarRgb24", "BM_LibyuvRGB24"},
        {"BM_ScalarRgb32", "BM_LibyuvARGB"},
    };
    for (const auto& [ours, theirs] : pairs)
        if (reporter.Rate(ours) > 0 && reporter.Rate(theirs) > 0)
            std::printf("%-22s / %-22s %.2f x libyuv (pictures per second)\n", ours, theirs,
                        reporter.Rate(ours) / reporter.Rate(theirs));
    if (reporter.Rate("BM_ScalarRgb24") > 0 && reporter.Rate("BM_ScalarRgb32") > 0)
        std::printf("vector / scalar: RGB24 %.1f x, RGB32 %.1f x\n",
                    reporter.Rate("BM_OursRgb24") / reporter.Rate("BM_ScalarRgb24"),
                    reporter.Rate("BM_OursRgb32") / reporter.Rate("BM_ScalarRgb32"));

    const Picture& p = TestPicture();
    std::vector<uint8_t> ours24(kWidth * kHeight * 3), theirs24(ours24.size());
    zo::codec::I420ToRgb24(ours24.data(), p.y(), kWidth, kHeight);
    libyuv::I420ToRGB24(p.y(), kWidth, p.cb(), kWidth / 2, p.cr(), kWidth / 2, theirs24.data(), kWidth * 3, kWidth,
                        kHeight);
    PrintDifference("I420ToRgb24 / I420ToRGB24", ours24, theirs24, 3);
    std::vector<uint8_t> ours32(kWidth * kHeight * 4), theirs32(ours32.size());
    zo::codec::I420ToRgb32(ours32.data(), p.y(), kWidth, kHeight);
    libyuv::I420ToARGB(p.y(), kWidth, p.cb(), kWidth / 2, p.cr(), kWidth / 2, theirs32.data(), kWidth * 4, kWidth,
                       kHeight);
    PrintDifference("I420ToRgb32 / I420ToARGB", ours32, theirs32, 4);
    return 0;
}
