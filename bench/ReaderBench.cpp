// Reader speed against the plain sequential pread loop over the same file.
//
// Builds (once) a synthetic recording of ZO_BENCH_BYTES bytes (default 1 GiB)
// in ZO_BENCH_DIR (default /tmp), warms the page cache, then measures:
//   pread     sequential pread loop, nothing else, 4096 bytes a call and
//             (for comparison: the reader reads up to 16 blocks a call) 65536
//   forward   ReadNextFrame from position 0 to the end
//   backward  ReadPrevFrame from the end to position 0
//   seek      SetStartPosition + ReadFirstFrame at random block positions
// and prints the forward and backward throughput as ratios to both loops.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "RateReporter.h"
#include "media/CZoFile.h"
#include "synth/DemoRecording.h"

namespace {

std::string g_path;
uint64_t g_size = 0;

void Prepare() {
    const char* dir = std::getenv("ZO_BENCH_DIR");
    const char* bytes = std::getenv("ZO_BENCH_BYTES");
    const uint64_t target = bytes ? std::strtoull(bytes, nullptr, 10) : (1ull << 30);
    g_path = std::string(dir ? dir : "/tmp") + "/zo_bench_" + std::to_string(target) + ".ZRF";
    std::error_code ec;
    if (!std::filesystem::exists(g_path, ec) || std::filesystem::file_size(g_path, ec) < target) {
        zo::synth::DemoOptions o;
        o.targetBytes = target;
        o.channels = 16;
        o.audio = true;
        o.audioChannels = 4;
        o.realVideo = false;  // placeholder slices: the reader never decodes
        zo::synth::DemoStats stats;
        std::string error;
        std::fprintf(stderr, "building %s ...\n", g_path.c_str());
        if (!zo::synth::WriteRecordingFile(o, g_path, stats, error)) {
            std::fprintf(stderr, "cannot write %s: %s\n", g_path.c_str(), error.c_str());
            std::exit(1);
        }
    }
    g_size = std::filesystem::file_size(g_path);
}

void BM_PreadSequential(benchmark::State& state) {
    const int fd = ::open(g_path.c_str(), O_RDONLY);
    const size_t chunk = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> block(chunk);
    uint64_t total = 0;
    for (auto _ : state) {
        uint64_t sum = 0;
        for (uint64_t off = 0; off < g_size; off += chunk) {
            if (::pread(fd, block.data(), chunk, static_cast<off_t>(off)) <= 100)
                break;
            sum += block[100];
        }
        benchmark::DoNotOptimize(sum);
        total += g_size;
    }
    ::close(fd);
    state.SetBytesProcessed(static_cast<int64_t>(total));
}

void BM_ReadForward(benchmark::State& state) {
    zo::media::CZoFile reader;
    reader.SetFormat(6);
    reader.Open(g_path, false);
    std::vector<uint8_t> frame(zo::media::kMaxFrameSize);
    uint64_t frames = 0, total = 0;
    for (auto _ : state) {
        reader.SetPosition(0);
        while (reader.ReadNextFrame(frame) > 0)
            ++frames;
        total += g_size;
    }
    state.SetBytesProcessed(static_cast<int64_t>(total));
    state.counters["frames"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
}

void BM_ReadBackward(benchmark::State& state) {
    zo::media::CZoFile reader;
    reader.SetFormat(6);
    reader.Open(g_path, false);
    std::vector<uint8_t> frame(zo::media::kMaxFrameSize);
    uint64_t frames = 0, total = 0;
    for (auto _ : state) {
        reader.SetPosition(reader.GetSize());
        while (reader.ReadPrevFrame(frame) > 0)
            ++frames;
        total += g_size;
    }
    state.SetBytesProcessed(static_cast<int64_t>(total));
    state.counters["frames"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
}

void BM_Seek(benchmark::State& state) {
    zo::media::CZoFile reader;
    reader.SetFormat(6);
    reader.Open(g_path, false);
    std::vector<uint8_t> frame(zo::media::kMaxFrameSize);
    uint64_t x = 88172645463325252ull;
    for (auto _ : state) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        reader.SetStartPosition(x % (g_size / 4096) * 4096);
        benchmark::DoNotOptimize(reader.ReadFirstFrame(frame));
    }
}

BENCHMARK(BM_PreadSequential)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadForward)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadBackward)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Seek)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Prepare();
    {
        // Warm the page cache.
        const int fd = ::open(g_path.c_str(), O_RDONLY);
        std::vector<uint8_t> chunk(1 << 20);
        while (::read(fd, chunk.data(), chunk.size()) > 0) {
        }
        ::close(fd);
    }
    zo::bench::RateReporter reporter("bytes_per_second");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double pread = reporter.Rate("BM_PreadSequential/4096/iterations:3");
    const double pread64 = reporter.Rate("BM_PreadSequential/65536/iterations:3");
    if (pread > 0 && pread64 > 0) {
        for (const char* name : {"BM_ReadForward/iterations:3", "BM_ReadBackward/iterations:3"}) {
            if (reporter.Rate(name) > 0)
                std::printf("%-30s %.2f x the 4096-byte pread loop, %.2f x the 65536-byte loop\n", name,
                            reporter.Rate(name) / pread, reporter.Rate(name) / pread64);
        }
    }
    return 0;
}
