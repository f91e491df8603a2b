// Export throughput of a four-camera demo recording with Xvid, beside the
// export's limit: xvidcore alone, called in this process through the same
// encoder wrapper with the settings of the same "CompOptions" file, on the
// very pictures the export hands its encoder (decoded, converted to
// bottom-up BGR, line-doubled, time burned in), prepared in memory
// beforehand. One encoder per channel, as in the export.
//
// Reports pictures per second of each, the ratios of the medians, and the
// output size and RGB PSNR of both (decoded with xvidcore), so equal
// settings can be seen. Beside the elapsed time it reports pictures per
// second of processor time (all threads), which a machine shared with other
// work disturbs far less; interleaving the repetitions helps there too.
//
//   zo_export_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>
#include <xvid.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <QGuiApplication>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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
#include "export/TimeText.h"
#include "export/XvidEncoder.h"
#include "synth/DemoRecording.h"

namespace {

namespace fs = std::filesystem;
using namespace zo;

constexpr double kSeconds = 8.0;  // 480 pictures, 120 per channel
constexpr int kChannels = 4;
constexpr int kWidth = 640;
constexpr int kHeight = 448;
constexpr size_t kPictureBytes = size_t{kWidth} * kHeight * 3;

struct Content {
    fs::path dir;
    fs::path recording;
    exporter::CompressionOptions options;  // as read back from the options file
    std::vector<uint8_t> pictures;         // what the export encodes, in recording order
    std::vector<int> channelOf;            // channel of each picture
    uint64_t count = 0;
};

const uint8_t* PictureAt(const Content& c, size_t i) { return c.pictures.data() + i * kPictureBytes; }

Content& TheContent() {
    static Content c = [] {
        Content c;
        c.dir = fs::temp_directory_path() / ("zo_export_bench_" + std::to_string(::getpid()));
        fs::create_directories(c.dir);
        c.recording = c.dir / "demo.ZRF";
        synth::DemoOptions o;
        o.channels = kChannels;
        o.seconds = kSeconds;
        o.audio = true;
        synth::DemoStats stats;
        std::string error;
        if (!synth::WriteRecordingFile(o, c.recording.string(), stats, error))
            std::abort();

        // One options file for both sides: Xvid at quality 9300 (quantiser 4).
        exporter::CompressionOptions options;
        options.handler = exporter::kHandlerXvid;
        options.quality = 9300;
        options.flags = exporter::kOptionValid;
        const std::vector<uint8_t> bytes = exporter::SerializeCompressionOptions(options);
        std::ofstream(exporter::OptionsFilePath(c.dir.string()), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!exporter::LoadOptionsFile(c.dir.string(), c.options))
            std::abort();

        // The export's own picture path, kept in memory.
        exporter::TimeText time;
        time.Prepare();
        media::CZoFile reader;
        reader.Open(c.recording.string(), false);
        reader.SetFormat(6);
        codec::CZoVdec decoder;
        decoder.Init(6);
        std::vector<uint8_t> frame(media::kMaxFrameSize);
        std::vector<uint8_t> planes(codec::kMaxDecodedPictureBytes * 16, 128);
        for (int ch = 0; ch < 16; ++ch)
            std::memset(planes.data() + codec::kMaxDecodedPictureBytes * static_cast<size_t>(ch), 0, 640 * 272);
        std::vector<uint8_t> rgb(640 * 224 * 3), doubled(kPictureBytes);
        c.pictures.reserve(kPictureBytes * static_cast<size_t>(kSeconds * 15 * kChannels));
        for (int failures = 0; failures <= 32;) {
            const int n = reader.ReadNextFrame(frame);
            if (n <= 0) {
                ++failures;
                continue;
            }
            failures = 0;
            if (reader.IsAudio() || !decoder.ParseHeader(frame.data(), static_cast<size_t>(n)))
                continue;
            const int ch = decoder.GetChannel() & 15;
            uint8_t* p = planes.data() + codec::kMaxDecodedPictureBytes * static_cast<size_t>(ch);
            if (decoder.DecodePicture(frame.data(), static_cast<size_t>(n), p) != 1 || decoder.GetHeight() != 224)
                continue;
            codec::I420ToRgb24BottomUp(rgb.data(), p, 640, 224);
            exporter::DoubleLines(rgb.data(), 640, 224, doubled.data(), kWidth, kHeight);
            time.Draw(exporter::CZoConverter::FormatTimeText(reader.Time()), doubled.data(), kWidth, kHeight);
            c.pictures.insert(c.pictures.end(), doubled.begin(), doubled.end());
            c.channelOf.push_back(ch);
            ++c.count;
        }
        return c;
    }();
    return c;
}

std::map<std::string, std::vector<double>> g_rates;     // pictures per second of each run
std::map<std::string, std::vector<double>> g_cpuRates;  // pictures per second of processor time

double ProcessorSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Coded pictures of one side, per channel, for the size and PSNR report.
struct Coded {
    std::array<std::vector<std::vector<uint8_t>>, kChannels> pictures;
    uint64_t Bytes() const {
        uint64_t n = 0;
        for (const auto& ch : pictures)
            for (const auto& p : ch)
                n += p.size();
        return n;
    }
};
Coded g_alone, g_export;

void XvidAlone(benchmark::State& state) {
    Content& content = TheContent();
    const exporter::XvidSettings settings = exporter::XvidSettingsFrom(content.options);
    for (auto _ : state) {
        std::array<exporter::XvidEncoder, kChannels> encoders;
        Coded coded;
        for (auto& ch : coded.pictures)
            ch.reserve(content.count);
        const double cpuStart = ProcessorSeconds();
        const auto start = std::chrono::steady_clock::now();
        for (auto& e : encoders)
            if (!e.Open(kWidth, kHeight, 15, 1, settings))
                state.SkipWithError("xvid cannot be opened");
        for (size_t i = 0; i < content.count; ++i) {
            bool key = false;
            const size_t ch = static_cast<size_t>(content.channelOf[i]);
            const int bytes = encoders[ch].Encode(PictureAt(content, i), key);
            if (bytes < 0) {
                state.SkipWithError("xvid failed");
                break;
            }
            coded.pictures[ch].emplace_back(encoders[ch].Output(), encoders[ch].Output() + bytes);
        }
        for (auto& e : encoders)
            e.Close();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        g_rates["xvid alone"].push_back(static_cast<double>(content.count) / seconds);
        g_cpuRates["xvid alone"].push_back(static_cast<double>(content.count) / (ProcessorSeconds() - cpuStart));
        state.SetIterationTime(seconds);
        g_alone = std::move(coded);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(content.count));
}

// The video packets of an AVI file, in order.
std::vector<std::vector<uint8_t>> ReadVideoPackets(const std::string& path) {
    std::vector<std::vector<uint8_t>> out;
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, path.c_str(), nullptr, nullptr) < 0)
        return out;
    if (avformat_find_stream_info(ctx, nullptr) >= 0) {
        const int video = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        AVPacket* packet = av_packet_alloc();
        while (video >= 0 && av_read_frame(ctx, packet) >= 0) {
            if (packet->stream_index == video)
                out.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&ctx);
    return out;
}

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
        exporter::SetSharedOptions(content.options);
        state.ResumeTiming();
        const double cpuStart = ProcessorSeconds();
        const auto start = std::chrono::steady_clock::now();
        uint64_t pictures = 0;
        for (int j = 0; j < jobs; ++j) {
            exporter::CZoConverter& c = *converters[static_cast<size_t>(j)];
            c.Configure(6, 2, 4, 16000, 4);
            uint32_t mask = 0;
            for (int ch = j; ch < kChannels; ch += jobs)
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
        g_cpuRates["export jobs " + std::to_string(jobs)].push_back(static_cast<double>(pictures) /
                                                                    (ProcessorSeconds() - cpuStart));
        state.SetIterationTime(seconds);
        state.counters["pictures"] = static_cast<double>(pictures);
        state.PauseTiming();
        for (int ch = 0; ch < kChannels; ++ch) {
            const std::string name = exporter::CZoConverter::OutputName(out, ch);
            if (jobs == 1)
                g_export.pictures[static_cast<size_t>(ch)] = ReadVideoPackets(name);
            fs::remove(name);
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(content.count));
}

BENCHMARK(XvidAlone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ExportXvid)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// RGB PSNR of the coded pictures against the pictures encoded, decoded with
// xvidcore per channel; -1 when a channel's picture count differs.
double Psnr(const Content& content, const Coded& coded) {
    std::vector<uint8_t> decoded(kPictureBytes);
    double squares = 0;
    uint64_t samples = 0;
    for (int ch = 0; ch < kChannels; ++ch) {
        std::vector<size_t> originals;
        for (size_t i = 0; i < content.count; ++i)
            if (content.channelOf[i] == ch)
                originals.push_back(i);
        const auto& packets = coded.pictures[static_cast<size_t>(ch)];
        if (packets.size() != originals.size())
            return -1;
        xvid_dec_create_t create;
        std::memset(&create, 0, sizeof create);
        create.version = XVID_VERSION;
        if (xvid_decore(nullptr, XVID_DEC_CREATE, &create, nullptr) < 0)
            return -1;
        for (size_t k = 0; k < packets.size(); ++k) {
            const uint8_t* data = packets[k].data();
            int left = static_cast<int>(packets[k].size());
            bool got = false;
            while (left > 0 && !got) {
                xvid_dec_frame_t frame;
                std::memset(&frame, 0, sizeof frame);
                frame.version = XVID_VERSION;
                frame.bitstream = const_cast<uint8_t*>(data);
                frame.length = left;
                frame.output.csp = XVID_CSP_BGR | XVID_CSP_VFLIP;
                frame.output.plane[0] = decoded.data();
                frame.output.stride[0] = kWidth * 3;
                xvid_dec_stats_t stats;
                std::memset(&stats, 0, sizeof stats);
                stats.version = XVID_VERSION;
                const int used = xvid_decore(create.handle, XVID_DEC_DECODE, &frame, &stats);
                if (used <= 0)
                    break;
                data += used;
                left -= used;
                got = stats.type > 0;
            }
            if (!got)
                return -1;
            const uint8_t* original = PictureAt(content, originals[k]);
            for (size_t i = 0; i < kPictureBytes; ++i) {
                const double d = static_cast<double>(original[i]) - static_cast<double>(decoded[i]);
                squares += d * d;
            }
            samples += kPictureBytes;
        }
        xvid_decore(create.handle, XVID_DEC_DESTROY, nullptr, nullptr);
    }
    if (samples == 0 || squares == 0)
        return -1;
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(samples) / squares);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);  // the time text needs it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const Content& content = TheContent();
    const exporter::XvidSettings s = exporter::XvidSettingsFrom(content.options);
    const double alone = Median(g_rates["xvid alone"]);
    std::printf("\nmedian pictures per second (%llu pictures of %dx%d, quantiser %d, key interval %d, "
                "%u processors):\n",
                static_cast<unsigned long long>(content.count), kWidth, kHeight, s.quantiser, s.maxKeyInterval,
                std::thread::hardware_concurrency());
    const double aloneCpu = Median(g_cpuRates["xvid alone"]);
    for (const auto& [name, rates] : g_rates) {
        const double cpu = Median(g_cpuRates[name]);
        std::printf("  %-14s %8.1f  ratio to xvid alone %.3f  (%zu runs); per processor second %8.1f, ratio %.3f\n",
                    name.c_str(), Median(rates), alone > 0 ? Median(rates) / alone : 0.0, rates.size(), cpu,
                    aloneCpu > 0 ? cpu / aloneCpu : 0.0);
    }
    if (g_alone.Bytes() > 0 && g_export.Bytes() > 0)
        std::printf("output: xvid alone %llu bytes, PSNR %.2f dB; export (1 job) %llu bytes, PSNR %.2f dB\n",
                    static_cast<unsigned long long>(g_alone.Bytes()), Psnr(content, g_alone),
                    static_cast<unsigned long long>(g_export.Bytes()), Psnr(content, g_export));
    fs::remove_all(content.dir);
    return 0;
}
