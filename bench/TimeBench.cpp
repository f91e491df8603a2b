// Time search on simulated DVR disks of 4 thousand, 4 million and 100
// million blocks (16 MB to 400 GB), turned rings with a damaged stretch and
// optionally a never-written area before the turn: reads and time per
// search, beside a plain scan of every block header doing the same search
// on the smallest disk.
#include <benchmark/benchmark.h>

#include <random>

#include "media/TimeLocator.h"
#include "support/RingSource.h"

namespace {

using zo::media::TimeLocator;

void AddAreas(zo::test::RingSource& ring, uint64_t blocks, bool neverWritten) {
    ring.AddArea(blocks / 2, blocks / 2 + 64, false);  // a damaged stretch
    if (neverWritten)  // 1 % never written just before the turn: every search crosses it once
        ring.AddArea(blocks / 3 - blocks / 100, blocks / 3, true);
}

void BM_Locate(benchmark::State& state) {
    const uint64_t blocks = static_cast<uint64_t>(state.range(0));
    zo::test::RingSource ring(blocks, blocks / 3, 1600000000, 25);
    AddAreas(ring, blocks, state.range(1) != 0);
    const uint32_t first = 1600000000, last = first + static_cast<uint32_t>(blocks / 25);
    std::mt19937 rng(7);
    uint64_t reads = 0, blocksRead = 0, searches = 0, worst = 0;
    for (auto _ : state) {
        const uint32_t t = first + rng() % (last - first);
        TimeLocator locator(ring, zo::media::kVideoZOC, false);
        benchmark::DoNotOptimize(locator.Find(t));
        reads += locator.Reads();
        blocksRead += locator.BlocksRead();
        worst = std::max<uint64_t>(worst, locator.Reads());
        ++searches;
    }
    state.counters["reads/search"] = static_cast<double>(reads) / static_cast<double>(searches);
    state.counters["worst reads"] = static_cast<double>(worst);
    state.counters["blocks/search"] = static_cast<double>(blocksRead) / static_cast<double>(searches);
}
BENCHMARK(BM_Locate)
    ->ArgsProduct({{4000, 4000000, 100000000}, {0, 1}})
    ->ArgNames({"blocks", "never_written"})
    ->Unit(benchmark::kMicrosecond);

// The reference: read every header, then look the time up.
void BM_PlainScan(benchmark::State& state) {
    const uint64_t blocks = static_cast<uint64_t>(state.range(0));
    zo::test::RingSource ring(blocks, blocks / 3, 1600000000, 25);
    AddAreas(ring, blocks, true);
    std::mt19937 rng(7);
    for (auto _ : state) {
        const uint32_t t = 1600000000 + rng() % static_cast<uint32_t>(blocks / 25);
        const auto plain = zo::media::PlainTimeScan::Read(ring, zo::media::kVideoZOC, false);
        benchmark::DoNotOptimize(plain.Find(t));
    }
    state.counters["blocks/search"] = static_cast<double>(blocks);
}
BENCHMARK(BM_PlainScan)->Arg(4000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
