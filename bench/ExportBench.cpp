// Export throughput of a four-camera demo recording with Xvid, beside Xvid
// alone (ffmpeg -c:v libxvid) encoding the same number of 640x448 pictures
// of the same content at the same constant quantiser. Reports pictures per
// second of each and, after all repetitions, the ratios of the medians.
//
//   zo_export_bench --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "codec/CZoVdec.h"
#include "codec/ColourConvert.h"
#include "export/CZoConverter.h"
#include "export/EncoderRegistry.h"
#include "export/LineDoubling.h"
#include "synth/DemoRecording.h"

namespace {

namespace fs = std::filesystem;
using namespace zo;

constexpr double kSeconds = 8.0;  // 480 pictures, 120 per channel
constexpr int kQuantiser = 4;     // what the default Xvid options give

struct Content {
    fs::path dir;
    fs::path recording;
    fs::path raw;  // the exported pictures, 640x448 BGR top-down, for ffmpeg
    uint64_t pictures = 0;
};

Content& TheContent() {
    static Content c = [] {
        Content c;
        c.dir = fs::temp_directory_path() / ("zo_export_bench_" + std::to_string(::getpid()));
        fs::create_directories(c.dir);
        c.recording = c.dir / "demo.ZRF";
        synth::DemoOptions o;
        o.channels = 4;
        o.seconds = kSeconds;
        o.audio = true;
        synth::DemoStats stats;
        std::string error;
        if (!synth::WriteRecordingFile(o, c.recording.string(), stats, error))
            std::abort();
        // The same pictures as the export writes, for Xvid alone.
        c.raw = c.dir / "pictures.bgr";
        std::FILE* out = std::fopen(c.raw.string().c_str(), "wb");
        media::CZoFile reader;
        reader.Open(c.recording.string(), false);
        codec::CZoVdec decoder;
        decoder.Init(6);
        std::vector<uint8_t> frame(media::kMaxFrameSize);
        std::vector<uint8_t> pictures(codec::kMaxDecodedPictureBytes * 16, 128);
        std::vector<uint8_t> rgb(640 * 224 * 3), doubled(640 * 448 * 3);
        for (int failures = 0; failures <= 32;) {
            const int n = reader.ReadNextFrame(frame);
            if (n <= 0) {
                ++failures;
                continue;
            }
            failures = 0;
            if (reader.IsAudio() || !decoder.ParseHeader(frame.data(), static_cast<size_t>(n)))
                continue;
            uint8_t* p = pictures.data() + codec::kMaxDecodedPictureBytes * static_cast<size_t>(decoder.GetChannel());
            if (decoder.DecodePicture(frame.data(), static_cast<size_t>(n), p) != 1)
                continue;
            codec::I420ToRgb24(rgb.data(), p, 640, 224);
            exporter::DoubleLines(rgb.data(), 640, 224, doubled.data(), 640, 448);
            std::fwrite(doubled.data(), 1, doubled.size(), out);
            ++c.pictures;
        }
        std::fclose(out);
        return c;
    }();
    return c;
}

std::map<std::string, std::vector<double>> g_rates;  // pictures per second of each run

void ExportXvid(benchmark::State& state) {
    Content& content = TheContent();
    const int jobs = static_cast<int>(state.range(0));
    static int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string out = (content.dir / ("out" + std::to_string(run++) + ".avi")).string();
        std::vector<std::unique_ptr<exporter::CZoConverter>> converters;
        for (int j = 0; j < jobs; ++j)
            converters.push_back(std::make_unique<exporter::CZoConverter>());
        exporter::CompressionOptions options;
        options.handler = exporter::kHandlerXvid;
        options.quality = 9300;  // quantiser 4
        exporter::SetSharedOptions(options);
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        uint64_t pictures = 0;
        for (int j = 0; j < jobs; ++j) {
            exporter::CZoConverter& c = *converters[static_cast<size_t>(j)];
            c.Configure(6, 2, 4, 16000, 4);
            uint32_t mask = 0;
            for (int ch = j; ch < 4; ch += jobs)
                mask |= 1u << ch;
            c.SetChannelMask(mask);
            c.SetExportAudio(1);
            c.SetTimeText(true);
            c.SetFrameWaitMs(0);
            c.OpenSource(content.recording.string());
            if (!c.OpenOutputFile(out))
                state.SkipWithError("cannot create the output files");
        }
        for (auto& c : converters)
            c->Start();
        for (auto& c : converters) {
            while (!c->IsFinished())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            c->Stop();
            pictures += c->PicturesWritten();
        }
        converters.clear();  // completes the files
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        g_rates["export jobs " + std::to_string(jobs)].push_back(static_cast<double>(pictures) / seconds);
        state.SetIterationTime(seconds);
        state.counters["pictures"] = static_cast<double>(pictures);
        state.PauseTiming();
        for (int ch = 1; ch <= 4; ++ch)
            fs::remove(exporter::CZoConverter::OutputName(out, ch - 1));
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(content.pictures));
}

void XvidAlone(benchmark::State& state) {
    Content& content = TheContent();
    const std::string command = "ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 640x448 -r 15 -i '" +
                                content.raw.string() + "' -c:v libxvid -threads 1 -bf 0 -g 300 -qscale:v " +
                                std::to_string(kQuantiser) + " -f avi '" + (content.dir / "alone.avi").string() +
                                "'";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("ffmpeg -c:v libxvid failed");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        g_rates["xvid alone"].push_back(static_cast<double>(content.pictures) / seconds);
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(content.pictures));
}

BENCHMARK(XvidAlone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ExportXvid)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);  // the time text needs it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double alone = Median(g_rates["xvid alone"]);
    std::printf("\nmedian pictures per second (%llu pictures of 640x448, quantiser %d, %u processors):\n",
                static_cast<unsigned long long>(TheContent().pictures), kQuantiser,
                std::thread::hardware_concurrency());
    for (const auto& [name, rates] : g_rates)
        std::printf("  %-14s %8.1f  ratio to Xvid alone %.3f  (%zu runs)\n", name.c_str(), Median(rates),
                    alone > 0 ? Median(rates) / alone : 0.0, rates.size());
    fs::remove_all(TheContent().dir);
    return 0;
}
