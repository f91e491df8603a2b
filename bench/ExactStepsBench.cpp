// Exact Steps on a 16-channel recording with a key picture every 30
// pictures of a channel: the latency of one step back (from a fresh search
// position, so that the picture is rebuilt from its key picture; after a
// stretch of forward play; in a row) beside the latency of one step forward,
// and pictures per second of reverse play with every picture beside forward
// play, paced at x1 and flat out.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "engine/CZoViewer2.h"
#include "media/ByteSource.h"
#include "platform/MessagePort.h"
#include "render/NullAudioDevice.h"
#include "synth/DemoRecording.h"

namespace {

using zo::engine::CZoViewer2;
using Clock = std::chrono::steady_clock;

const std::vector<uint8_t>& Recording() {
    static std::vector<uint8_t> bytes;
    if (bytes.empty()) {
        zo::synth::DemoOptions options;
        options.channels = 16;
        options.keyEvery = 30;
        options.seconds = 40;  // 2400 pictures, five key-picture runs of every channel
        zo::synth::GenerateRecording(options, [&](const uint8_t* block, size_t size) {
            bytes.insert(bytes.end(), block, block + size);
        });
    }
    return bytes;
}

// An engine on the recording with Exact Steps, a 16-cell split, and a way
// to wait for the state after a command.
class Player {
public:
    explicit Player(bool exact, bool pacing = true) {
        CZoViewer2::Ports ports;
        ports.messages = &messages_;
        ports.audioDevice = std::make_unique<zo::render::NullAudioDevice>();
        engine_ = std::make_unique<CZoViewer2>(std::move(ports));
        engine_->Create(640, 448, 6, 2, 16, 16000, 4);
        engine_->SetMode(CZoViewer2::kModePlayer, 16);
        engine_->SetLayout(16, 0);
        engine_->SetExactSteps(exact);
        engine_->SetPacing(pacing);
        engine_->SetPictureObserver([this](int, const zo::media::CalendarTime&, const uint8_t*, int, int, int) {
            std::lock_guard lock(mutex_);
            ++shown_;
            lastShownAt_ = Clock::now();
        });
        engine_->SetStateObserver([this](int state) {
            std::lock_guard lock(mutex_);
            ++entries_;
            last_ = state;
            changed_.notify_all();
        });
        const auto& bytes = Recording();
        engine_->OpenRecordingSource(std::make_unique<zo::media::MemorySource>(bytes), "bench.ZRF", 0);
        Run([&] { engine_->Pause(); }, CZoViewer2::kStatePause);
    }
    ~Player() { engine_->CloseRecording(); }

    CZoViewer2& Engine() { return *engine_; }
    uint64_t Shown() {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    Clock::time_point LastShownAt() {
        std::lock_guard lock(mutex_);
        return lastShownAt_;
    }
    // Runs `command` and waits until the worker has entered `state` after it.
    template <typename F>
    void Run(F command, int state) {
        std::unique_lock lock(mutex_);
        const uint64_t mark = entries_;
        lock.unlock();
        command();
        lock.lock();
        changed_.wait(lock, [&] { return entries_ > mark && last_ == state; });
    }

private:
    zo::platform::NullMessagePort messages_;
    std::unique_ptr<CZoViewer2> engine_;
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t entries_ = 0;
    int last_ = 0;
    uint64_t shown_ = 0;
    Clock::time_point lastShownAt_;
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Times each step and reports the median and the 90th percentile beside
// the mean.
class StepTimes {
public:
    void Add(benchmark::State& state, Clock::duration d) {
        state.SetIterationTime(std::chrono::duration<double>(d).count());
        ms_.push_back(Ms(d));
    }
    void Report(benchmark::State& state) {
        if (ms_.empty())
            return;
        std::sort(ms_.begin(), ms_.end());
        state.counters["median_ms"] = ms_[ms_.size() / 2];
        state.counters["p90_ms"] = ms_[ms_.size() * 9 / 10];
    }

private:
    std::vector<double> ms_;
};

// One step back from a position reached by a search, so that nothing of the
// picture's run is kept: it is rebuilt from its channel's key picture.
void BM_BackstepFromAFreshPosition(benchmark::State& state) {
    Player player(true);
    CZoViewer2& e = player.Engine();
    const uint64_t size = Recording().size();
    std::mt19937_64 random(7);
    StepTimes times;
    for (auto _ : state) {
        const uint64_t target = size / 5 + random() % (size * 3 / 5);
        player.Run([&] { e.Seek(target); }, CZoViewer2::kStatePause);
        const auto start = Clock::now();
        player.Run([&] { e.PrevFrame(); }, CZoViewer2::kStatePause);
        times.Add(state, Clock::now() - start);
    }
    times.Report(state);
}
BENCHMARK(BM_BackstepFromAFreshPosition)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

// One step back after a short stretch of x1 play from a fresh position:
// forward play has kept some of its pictures to start from.
void BM_BackstepAfterPlay(benchmark::State& state) {
    Player player(true);
    CZoViewer2& e = player.Engine();
    const uint64_t size = Recording().size();
    std::mt19937_64 random(11);
    StepTimes times;
    for (auto _ : state) {
        const uint64_t target = size / 5 + random() % (size * 3 / 5);
        player.Run([&] { e.Seek(target); }, CZoViewer2::kStatePause);
        player.Run([&] { e.Play(1); }, CZoViewer2::kStatePlay);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        player.Run([&] { e.Pause(); }, CZoViewer2::kStatePause);
        const auto start = Clock::now();
        player.Run([&] { e.PrevFrame(); }, CZoViewer2::kStatePause);
        times.Add(state, Clock::now() - start);
    }
    times.Report(state);
}
BENCHMARK(BM_BackstepAfterPlay)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

// Steps back one after another through the recording.
void BM_BackstepInARow(benchmark::State& state) {
    Player player(true);
    CZoViewer2& e = player.Engine();
    player.Run([&] { e.Seek(Recording().size() * 9 / 10); }, CZoViewer2::kStatePause);
    StepTimes times;
    for (auto _ : state) {
        const auto start = Clock::now();
        player.Run([&] { e.PrevFrame(); }, CZoViewer2::kStatePause);
        times.Add(state, Clock::now() - start);
    }
    times.Report(state);
}
BENCHMARK(BM_BackstepInARow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1000);

// Steps forward one after another from the beginning (every channel has its
// key picture there, so each step decodes one picture).
void BM_ForwardStep(benchmark::State& state) {
    Player player(true);
    CZoViewer2& e = player.Engine();
    player.Run([&] { e.Seek(0); }, CZoViewer2::kStatePause);
    StepTimes times;
    for (auto _ : state) {
        const auto start = Clock::now();
        player.Run([&] { e.NextFrame(); }, CZoViewer2::kStatePause);
        times.Add(state, Clock::now() - start);
    }
    times.Report(state);
}
BENCHMARK(BM_ForwardStep)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1000);

// Pictures per second shown by play for a while: forward from the first
// quarter, reverse (every picture) from the last quarter, at x1 in real time
// or flat out (no pacing), from the command to the last picture shown.
void PlayFor(benchmark::State& state, bool reverse, bool pacing) {
    const double seconds = pacing ? 4.0 : 2.0;
    double pictures = 0;
    double elapsed = 0;
    for (auto _ : state) {
        Player player(true, pacing);
        CZoViewer2& e = player.Engine();
        const uint64_t size = Recording().size();
        player.Run([&] { e.Seek(reverse ? size * 3 / 4 : size / 4); }, CZoViewer2::kStatePause);
        const uint64_t before = player.Shown();
        const auto start = Clock::now();
        if (reverse)
            e.PlayReverse(1);
        else
            e.Play(1);
        // Until the time is up or play has ended in Pause.
        while (Clock::now() - start < std::chrono::duration<double>(seconds) &&
               (Clock::now() - start < std::chrono::milliseconds(100) || e.GetState() != CZoViewer2::kStatePause))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        e.Pause();
        while (e.GetState() != CZoViewer2::kStatePause)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        pictures += static_cast<double>(player.Shown() - before);
        elapsed += Ms(player.LastShownAt() - start) / 1000.0;
    }
    state.counters["pictures_per_s"] = pictures / elapsed;
}

void BM_ForwardX1(benchmark::State& state) { PlayFor(state, false, true); }
void BM_ExactReverseX1(benchmark::State& state) { PlayFor(state, true, true); }
void BM_ForwardFlatOut(benchmark::State& state) { PlayFor(state, false, false); }
void BM_ExactReverseFlatOut(benchmark::State& state) { PlayFor(state, true, false); }
BENCHMARK(BM_ForwardX1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExactReverseX1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ForwardFlatOut)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExactReverseFlatOut)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);  // titles need fonts
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
