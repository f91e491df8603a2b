// Picture decoding speed of CZoVdec against FFmpeg's MPEG-1 video decoder
// (one thread) on intra-only MPEG-1 pictures of the same size and about the
// same number of bits per picture, made from the same synthetic scenes with
// the ffmpeg tool (-g 1).
//
//   key      every picture a key picture, both decoders
//   update   our usual stream (a key picture every 15, updates between)
//
// Prints pictures per second of each and the ratios (of the medians when run
// with --benchmark_repetitions=N; the machine may be shared and noisy).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "RateReporter.h"
#include "codec/CZoVdec.h"
#include "synth/Scene.h"
#include "synth/VideoEncoder.h"

namespace {

constexpr int kPictures = 60;
constexpr int kHeight = 224;

struct Encoded {
    std::vector<std::vector<uint8_t>> frames;
    double averageBytes = 0;
};

std::vector<std::vector<uint8_t>> g_scenes;
std::map<std::string, Encoded> g_ours;                          // "key q4", "update q4"
std::map<std::string, std::vector<std::vector<uint8_t>>> g_mpeg;  // "q5"
std::map<std::string, double> g_mpegBytes;

void MakeScenes() {
    for (int i = 0; i < kPictures; ++i) {
        std::vector<uint8_t> p(zo::codec::DecodedPictureBytes(640, kHeight));
        zo::synth::RenderScene(p.data(), kHeight, 3, static_cast<uint64_t>(i), 1237034096u + static_cast<uint32_t>(i / 60));
        g_scenes.push_back(std::move(p));
    }
}

Encoded EncodeOurs(int quantiser, int keyEvery) {
    zo::synth::VideoEncoder encoder;
    Encoded e;
    for (int i = 0; i < kPictures; ++i) {
        zo::synth::PictureHeader h;
        h.channel = 3;
        h.quantiser = quantiser;
        std::vector<uint8_t> frame;
        encoder.Encode(g_scenes[static_cast<size_t>(i)].data(), kHeight, i % keyEvery == 0, h, frame);
        e.averageBytes += static_cast<double>(frame.size()) / kPictures;
        e.frames.push_back(std::move(frame));
    }
    return e;
}

// MPEG-1 elementary stream from the scenes, split into one packet per picture.
bool EncodeMpeg1(int qscale, std::vector<std::vector<uint8_t>>& packets, double& averageBytes) {
    const std::string yuv = "/tmp/zo_decode_bench.yuv";
    const std::string m1v = "/tmp/zo_decode_bench_q" + std::to_string(qscale) + ".m1v";
    {
        std::ofstream out(yuv, std::ios::binary);
        for (const auto& p : g_scenes)
            out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
    }
    const std::string command = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt yuv420p -s 640x" +
                                std::to_string(kHeight) + " -r 30 -i " + yuv +
                                " -c:v mpeg1video -g 1 -bf 0 -qscale:v " + std::to_string(qscale) + " -f mpeg1video " + m1v;
    if (std::system(command.c_str()) != 0)
        return false;
    std::ifstream in(m1v, std::ios::binary);
    const std::vector<uint8_t> stream((std::istreambuf_iterator<char>(in)), {});
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG1VIDEO);
    AVCodecParserContext* parser = av_parser_init(codec->id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    const uint8_t* data = stream.data();
    int left = static_cast<int>(stream.size());
    while (left > 0 || true) {
        uint8_t* out = nullptr;
        int outSize = 0;
        const int used = av_parser_parse2(parser, ctx, &out, &outSize, data, left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        data += used;
        left -= used;
        if (outSize > 0)
            packets.emplace_back(out, out + outSize);
        if (left == 0 && outSize == 0)
            break;
    }
    av_parser_close(parser);
    avcodec_free_context(&ctx);
    averageBytes = 0;
    for (const auto& p : packets)
        averageBytes += static_cast<double>(p.size()) / static_cast<double>(packets.size());
    if (packets.size() != kPictures)
        std::fprintf(stderr, "%zu MPEG-1 pictures, expected %d\n", packets.size(), kPictures);
    return packets.size() >= kPictures - 1;
}

void BM_Ours(benchmark::State& state, std::string name) {
    const Encoded& e = g_ours[name];
    zo::codec::CZoVdec decoder;
    decoder.Init(6);
    std::vector<uint8_t> picture(zo::codec::kMaxDecodedPictureBytes);
    int64_t pictures = 0;
    for (auto _ : state) {
        for (const auto& frame : e.frames) {
            decoder.ParseHeader(frame.data(), frame.size());
            benchmark::DoNotOptimize(decoder.DecodePicture(frame.data(), frame.size(), picture.data()));
            ++pictures;
        }
    }
    state.SetItemsProcessed(pictures);
    state.counters["bytes/picture"] = e.averageBytes;
}

void BM_Ffmpeg(benchmark::State& state, std::string name) {
    const auto& packets = g_mpeg[name];
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG1VIDEO);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int64_t pictures = 0;
    for (auto _ : state) {
        for (const auto& p : packets) {
            packet->data = const_cast<uint8_t*>(p.data());
            packet->size = static_cast<int>(p.size());
            avcodec_send_packet(ctx, packet);
            while (avcodec_receive_frame(ctx, frame) == 0)
                ++pictures;
        }
    }
    state.SetItemsProcessed(pictures);
    state.counters["bytes/picture"] = g_mpegBytes[name];
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    MakeScenes();
    // Ours at two quantisers; FFmpeg at the qscale giving the closest size.
    const std::pair<int, int> pairs[] = {{3, 4}, {6, 8}};
    std::vector<std::pair<std::string, std::string>> compared;
    for (auto [ourQ, mpegQ] : pairs) {
        const std::string key = "key q" + std::to_string(ourQ);
        const std::string update = "update q" + std::to_string(ourQ);
        g_ours[key] = EncodeOurs(ourQ, 1);
        g_ours[update] = EncodeOurs(ourQ, 15);
        const std::string mpeg = "mpeg1 q" + std::to_string(mpegQ);
        if (!EncodeMpeg1(mpegQ, g_mpeg[mpeg], g_mpegBytes[mpeg])) {
            std::fprintf(stderr, "the ffmpeg tool could not make the MPEG-1 reference\n");
            return 1;
        }
        benchmark::RegisterBenchmark(("ours/" + key).c_str(), BM_Ours, key);
        benchmark::RegisterBenchmark(("ours/" + update).c_str(), BM_Ours, update);
        benchmark::RegisterBenchmark(("ffmpeg/" + mpeg).c_str(), BM_Ffmpeg, mpeg);
        compared.push_back({key, mpeg});
        compared.push_back({update, mpeg});
    }
    zo::bench::RateReporter reporter("items_per_second");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const auto& [ours, mpeg] : compared) {
        const double a = reporter.Rate("ours/" + ours), b = reporter.Rate("ffmpeg/" + mpeg);
        if (a > 0 && b > 0)
            std::printf("%-16s %7.0f pictures/s (%6.0f bytes)  vs %s %7.0f pictures/s (%6.0f bytes): %.2f x\n",
                        ours.c_str(), a, g_ours[ours].averageBytes, mpeg.c_str(), b, g_mpegBytes[mpeg], a / b);
    }
    return 0;
}
