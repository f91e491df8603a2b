// Playback engine: pictures shown per second flat out, beside the same
// reading, decoding and 24-bit conversion without the engine and window;
// CPU share and resident memory of x1 playback.
#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <mutex>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RateReporter.h"
#include "codec/CZoVdec.h"
#include "codec/ColourConvert.h"
#include "engine/CZoViewer2.h"
#include "media/ByteSource.h"
#include "media/CZoFile.h"
#include "platform/MessagePort.h"
#include "render/NullAudioDevice.h"
#include "synth/DemoRecording.h"
#include "synth/DvrSim.h"

namespace {

using zo::engine::CZoViewer2;

const std::vector<uint8_t>& Recording(int channels, bool audio) {
    static std::vector<uint8_t> made[2][17];
    std::vector<uint8_t>& bytes = made[audio][channels];
    if (bytes.empty()) {
        zo::synth::DemoOptions options;
        options.channels = channels;
        options.seconds = 8;
        options.audio = audio;
        zo::synth::GenerateRecording(options, [&](const uint8_t* block, size_t size) {
            bytes.insert(bytes.end(), block, block + size);
        });
    }
    return bytes;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident set size in bytes.
double ResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb * 1024;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

struct Player {
    zo::platform::NullMessagePort messages;
    std::unique_ptr<CZoViewer2> engine;
    std::atomic<uint64_t> shown{0};

    explicit Player(int channels) {
        CZoViewer2::Ports ports;
        ports.messages = &messages;
        ports.audioDevice = std::make_unique<zo::render::NullAudioDevice>();
        engine = std::make_unique<CZoViewer2>(std::move(ports));
        engine->Create(640, 448, 6, 2, channels, 16000, 4);
        engine->SetMode(CZoViewer2::kModePlayer, -1);
        engine->SetLayout(engine->GetSplitCount(), 0);
        engine->SetPictureObserver(
            [this](int, const zo::media::CalendarTime&, const uint8_t*, int, int, int) { ++shown; });
    }
    bool Open(const std::vector<uint8_t>& bytes) {
        return engine->OpenRecordingSource(std::make_unique<zo::media::MemorySource>(bytes), "bench.ZRF", 0) == 1;
    }
    void WaitForEnd() {
        // Play has ended when it pauses at the end of the recording.
        while (engine->GetState() != CZoViewer2::kStatePause)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

// Every picture of a 16-channel recording, no pacing (benchmark mode).
void BM_EngineFlatOut16(benchmark::State& state) {
    const auto& bytes = Recording(16, false);
    uint64_t pictures = 0;
    for (auto _ : state) {
        Player player(16);
        player.engine->SetPacing(false);
        if (!player.Open(bytes)) {
            state.SkipWithError("open failed");
            return;
        }
        player.WaitForEnd();
        pictures += player.shown.load();
        player.engine->CloseRecording();
    }
    state.SetItemsProcessed(static_cast<int64_t>(pictures));
}
BENCHMARK(BM_EngineFlatOut16)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same pictures read, decoded into per-channel pictures and converted
// to 24-bit bitmaps on one thread, without the engine and the window.
void BM_ReadDecodeConvert16(benchmark::State& state) {
    const auto& bytes = Recording(16, false);
    std::vector<uint8_t> frame(zo::media::kMaxFrameSize);
    std::vector<uint8_t> pictures(16 * zo::codec::kMaxDecodedPictureBytes);
    std::vector<uint8_t> bitmap(640 * 272 * 3);
    uint64_t count = 0;
    for (auto _ : state) {
        zo::media::CZoFile reader;
        reader.OpenSource(std::make_unique<zo::media::MemorySource>(bytes), "bench.ZRF", false);
        zo::codec::CZoVdec vdec;
        vdec.Init(6);
        int failures = 0;
        while (failures < 5) {
            const int n = reader.ReadNextFrame(frame);
            if (n == 0) {
                ++failures;
                continue;
            }
            failures = 0;
            if (reader.IsAudio() || !vdec.ParseHeader(frame.data(), static_cast<size_t>(n)))
                continue;
            uint8_t* picture = pictures.data() + static_cast<size_t>(vdec.GetChannel()) * zo::codec::kMaxDecodedPictureBytes;
            if (!vdec.DecodePicture(frame.data(), static_cast<size_t>(n), picture))
                continue;
            zo::codec::I420ToRgb24BottomUp(bitmap.data(), picture, static_cast<int>(vdec.GetWidth()),
                                           static_cast<int>(vdec.GetHeight()));
            ++count;
        }
        benchmark::DoNotOptimize(bitmap.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(count));
}
BENCHMARK(BM_ReadDecodeConvert16)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Fast play at x128 with its pacing: key pictures only, skipping ahead.
void BM_EngineFast128_16(benchmark::State& state) {
    const auto& bytes = Recording(16, false);
    uint64_t pictures = 0;
    for (auto _ : state) {
        Player player(16);
        if (!player.Open(bytes)) {
            state.SkipWithError("open failed");
            return;
        }
        while (player.engine->GetSpeed() < 128.0) {
            player.engine->FastForward();
            while (player.engine->GetState() != CZoViewer2::kStatePlay)
                std::this_thread::yield();
        }
        player.WaitForEnd();
        pictures += player.shown.load();
        player.engine->CloseRecording();
    }
    state.SetItemsProcessed(static_cast<int64_t>(pictures));
}
BENCHMARK(BM_EngineFast128_16)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// x1 playback in real time for three seconds: CPU time per second of
// playback (all threads of the process) and the engine's resident memory.
void X1Playback(benchmark::State& state, int channels, bool audio) {
    const auto& bytes = Recording(channels, audio);
    double cpuShare = 0, residentMb = 0, processMb = 0, picturesPerSecond = 0;
    for (auto _ : state) {
        const double residentBefore = ResidentBytes();
        Player player(channels);
        if (!player.Open(bytes)) {
            state.SkipWithError("open failed");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // settle
        const double cpu0 = CpuSeconds();
        const uint64_t shown0 = player.shown.load();
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpuShare = (CpuSeconds() - cpu0) / wall;
        picturesPerSecond = static_cast<double>(player.shown.load() - shown0) / wall;
        residentMb = (ResidentBytes() - residentBefore) / (1024.0 * 1024.0);
        processMb = ResidentBytes() / (1024.0 * 1024.0);
        player.engine->CloseRecording();
    }
    state.counters["cpu_percent_of_a_core"] = cpuShare * 100;
    // The engine's growth can hide in memory freed by earlier benchmarks;
    // run this one alone for the whole process's figure (recording, Qt and
    // the engine together).
    state.counters["engine_resident_MB"] = residentMb;
    state.counters["process_resident_MB"] = processMb;
    state.counters["pictures_per_s"] = picturesPerSecond;
}
void BM_EngineX1_4chSound(benchmark::State& state) { X1Playback(state, 4, true); }
void BM_EngineX1_16ch(benchmark::State& state) { X1Playback(state, 16, false); }
BENCHMARK(BM_EngineX1_4chSound)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_EngineX1_16ch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Live view: from the simulated DVR sending a picture to ShowPicture. A
// frame is complete for the receiver only when the next frame's start code
// arrives, so the latency is measured from the send of that next frame
// (frames are sent in one go, a few microseconds from first to last
// byte); "from_own_send" counts from the picture's own last byte and so
// includes the wait for the next frame.
void BM_LiveLatency(benchmark::State& state) {
    struct Sent {
        bool video;
        int64_t us;
    };
    std::mutex mutex;
    std::vector<Sent> sent;
    std::vector<int64_t> shownUs;
    zo::platform::SystemClock clock;
    double medianUs = 0, p95Us = 0, ownMedianUs = 0;
    size_t pictures = 0;
    for (auto _ : state) {
        sent.clear();
        shownUs.clear();
        zo::synth::DvrSimOptions options;
        options.password = "bench";
        options.acceptPauseMs = 0;
        options.clock = &clock;
        options.loopOptions.channels = 1;
        options.onFrameSent = [&](const zo::synth::SentFrame& f) {
            std::lock_guard lock(mutex);
            sent.push_back({f.kind == zo::media::FrameKind::Video, f.sentUs});
        };
        zo::synth::DvrSim sim(options);
        if (!sim.Start()) {
            state.SkipWithError("simulator did not start");
            return;
        }
        zo::platform::NullMessagePort messages;
        CZoViewer2::Ports ports;
        ports.messages = &messages;
        ports.clock = &clock;
        ports.audioDevice = std::make_unique<zo::render::NullAudioDevice>();
        CZoViewer2 engine(std::move(ports));
        engine.Create(640, 448, 6, 2, 4, 16000, 4);
        engine.SetPictureObserver([&](int, const zo::media::CalendarTime&, const uint8_t*, int, int, int) {
            const int64_t now = clock.NowUs();
            std::lock_guard lock(mutex);
            shownUs.push_back(now);
        });
        engine.Connect("127.0.0.1", sim.Port(), "bench");
        std::this_thread::sleep_for(std::chrono::seconds(4));
        engine.Disconnect();
        sim.Stop();
        std::lock_guard lock(mutex);
        std::vector<int64_t> latency, own;
        size_t video = 0;
        for (size_t i = 0; i + 1 < sent.size() && video < shownUs.size(); ++i) {
            if (!sent[i].video)
                continue;
            latency.push_back(std::max<int64_t>(0, shownUs[video] - sent[i + 1].us));
            own.push_back(shownUs[video] - sent[i].us);
            ++video;
        }
        if (latency.empty()) {
            state.SkipWithError("no pictures shown");
            return;
        }
        std::sort(latency.begin(), latency.end());
        std::sort(own.begin(), own.end());
        medianUs = static_cast<double>(latency[latency.size() / 2]);
        p95Us = static_cast<double>(latency[latency.size() * 95 / 100]);
        ownMedianUs = static_cast<double>(own[own.size() / 2]);
        pictures = latency.size();
    }
    state.counters["median_ms"] = medianUs / 1000;
    state.counters["p95_ms"] = p95Us / 1000;
    state.counters["from_own_send_median_ms"] = ownMedianUs / 1000;
    state.counters["pictures"] = static_cast<double>(pictures);
}
BENCHMARK(BM_LiveLatency)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);  // titles need fonts
    benchmark::Initialize(&argc, argv);
    zo::bench::RateReporter reporter("items_per_second");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double engine = reporter.Rate("BM_EngineFlatOut16/iterations:3/real_time");
    const double alone = reporter.Rate("BM_ReadDecodeConvert16/iterations:3/real_time");
    if (engine > 0 && alone > 0)
        std::printf("engine flat out / read+decode+convert alone: %.2f\n", engine / alone);
    benchmark::Shutdown();
    return 0;
}
