// Stream splitter throughput against a plain loopback socket receive of the
// same bytes.
//
// The stream is a live loop (code-2 pictures of four cameras encoded from
// scenes, sound frames, a status message every few frames) repeated to about
// 8 MB. Each iteration a sender thread writes it over a TCP connection on
// 127.0.0.1 and the benchmark thread:
//   receive        only receives it, 131072 bytes at a time
//   receive_split  receives it and feeds every receive to the splitter
//   split_memory   the splitter alone, over the bytes in memory
// and prints receive_split / receive.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "RateReporter.h"
#include "net/StreamSplitter.h"
#include "net/WireFormat.h"
#include "synth/LiveStream.h"

namespace {

std::vector<uint8_t> g_stream;

void Prepare() {
    zo::synth::LiveLoopOptions o;
    o.channels = 4;
    o.picturesPerChannel = 15;
    o.keyEvery = 15;
    o.realVideo = true;
    o.audio = true;
    const auto loop = zo::synth::MakeLiveLoop(o);
    uint8_t status[32];
    zo::net::WriteControlHeader(status, 32, 8);
    for (int i = 0; i < 5; ++i)
        zo::net::WriteHexField(status + 12 + 4 * i, i);
    size_t frames = 0;
    while (g_stream.size() < (8u << 20)) {
        for (const auto& f : loop->frames) {
            g_stream.insert(g_stream.end(), f.bytes.begin(), f.bytes.end());
            if (++frames % 8 == 0)
                g_stream.insert(g_stream.end(), status, status + sizeof status);
        }
    }
    std::fprintf(stderr, "live stream: %zu bytes, %zu frames per loop\n", g_stream.size(), loop->frames.size());
}

class CountingSink final : public zo::net::StreamSink {
public:
    void OnVideoFrame(std::span<const uint8_t> f) override { bytes += f.size(), ++frames; }
    void OnAudioFrame(std::span<const uint8_t> p) override { bytes += p.size(), ++frames; }
    void OnControlMessage(std::span<const uint8_t>) override { ++messages; }
    uint64_t bytes = 0, frames = 0, messages = 0;
};

// A loopback TCP connection with a sender thread that writes the stream
// once per Send().
class LoopbackSender {
public:
    LoopbackSender() {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
        receiver_ = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(receiver_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        sender_ = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        thread_ = std::thread([this] { Loop(); });
    }
    ~LoopbackSender() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
        ::close(sender_);
        ::close(receiver_);
    }
    void Send() {
        {
            std::lock_guard lock(mutex_);
            ++pending_;
        }
        cv_.notify_all();
    }
    int ReceiverFd() const { return receiver_; }

private:
    void Loop() {
        for (;;) {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [&] { return quit_ || pending_ > 0; });
            if (quit_)
                return;
            --pending_;
            lock.unlock();
            size_t at = 0;
            while (at < g_stream.size()) {
                const ssize_t n = ::send(sender_, g_stream.data() + at, g_stream.size() - at, MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                at += static_cast<size_t>(n);
            }
        }
    }
    int sender_ = -1;
    int receiver_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    int pending_ = 0;
    bool quit_ = false;
};

template <bool kSplit>
void ReceiveStream(benchmark::State& state) {
    LoopbackSender link;
    std::vector<uint8_t> buffer(131072);
    CountingSink sink;
    zo::net::StreamSplitter splitter(&sink);
    for (auto _ : state) {
        link.Send();
        size_t got = 0;
        while (got < g_stream.size()) {
            const ssize_t n = ::recv(link.ReceiverFd(), buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                state.SkipWithError("receive failed");
                return;
            }
            if constexpr (kSplit)
                splitter.Feed(buffer.data(), static_cast<size_t>(n));
            got += static_cast<size_t>(n);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_stream.size()));
    if (kSplit)
        state.counters["frames"] = benchmark::Counter(static_cast<double>(sink.frames), benchmark::Counter::kIsRate);
}

void BM_Receive(benchmark::State& state) {
    ReceiveStream<false>(state);
}
void BM_ReceiveSplit(benchmark::State& state) {
    ReceiveStream<true>(state);
}

void BM_SplitMemory(benchmark::State& state) {
    CountingSink sink;
    zo::net::StreamSplitter splitter(&sink);
    for (auto _ : state) {
        for (size_t at = 0; at < g_stream.size(); at += 131072)
            splitter.Feed(g_stream.data() + at, std::min<size_t>(131072, g_stream.size() - at));
    }
    benchmark::DoNotOptimize(sink.bytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_stream.size()));
}

BENCHMARK(BM_Receive)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReceiveSplit)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_SplitMemory)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Prepare();
    zo::bench::RateReporter reporter("bytes_per_second");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double receive = reporter.Rate("BM_Receive/repeats:5/real_time");
    const double split = reporter.Rate("BM_ReceiveSplit/repeats:5/real_time");
    const double memory = reporter.Rate("BM_SplitMemory/repeats:5");
    if (receive > 0 && split > 0)
        std::printf("receive + split: %.0f MB/s, receive alone: %.0f MB/s, ratio %.2f\n", split / 1e6, receive / 1e6,
                    split / receive);
    if (memory > 0)
        std::printf("split from memory: %.0f MB/s\n", memory / 1e6);
    return 0;
}
