// Feeds arbitrary bytes to the stream splitter in arbitrary chunks and
// checks what it hands on, and the bytes it drops, against their bounds.
//
// Input: [n][n chunk sizes][stream bytes]. The chunk sizes are used in turn
// (a size of 0 feeds nothing); after the last one the rest goes in one feed.
// The same bytes fed whole must give the same output.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "net/StreamSplitter.h"

namespace {

class CheckingSink final : public zo::net::StreamSink {
public:
    void OnVideoFrame(std::span<const uint8_t> f) override {
        if (f.size() < 4 || f.size() > zo::net::StreamSplitter::kVideoCapacity || f[0] != 0 || f[1] != 0 ||
            f[2] != 1 || (f[3] != 0xF8 && f[3] != 0xF9))
            std::abort();
        Mix(1, f);
    }
    void OnAudioFrame(std::span<const uint8_t> p) override {
        if (p.size() > zo::net::StreamSplitter::kAudioCapacity)
            std::abort();
        Mix(2, p);
    }
    void OnControlMessage(std::span<const uint8_t> m) override {
        if (m.size() < 8 || m.size() > zo::net::StreamSplitter::kControlCapacity || m[3] != 0xFE)
            std::abort();
        Mix(3, m);
    }
    uint64_t hash = 1469598103934665603ull;
    uint64_t count = 0;

private:
    void Mix(uint8_t kind, std::span<const uint8_t> b) {
        ++count;
        hash = (hash ^ kind) * 1099511628211ull;
        for (uint8_t x : b)
            hash = (hash ^ x) * 1099511628211ull;
        hash = (hash ^ b.size()) * 1099511628211ull;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const size_t chunks = data[0] % 32;
    if (size < 1 + chunks)
        return 0;
    const uint8_t* sizes = data + 1;
    const uint8_t* stream = data + 1 + chunks;
    const size_t length = size - 1 - chunks;

    CheckingSink chunked;
    zo::net::StreamSplitter a(&chunked);
    size_t at = 0;
    for (size_t i = 0; i < chunks && at < length; ++i) {
        const size_t n = std::min<size_t>(sizes[i], length - at);
        a.Feed(stream + at, n);
        at += n;
    }
    a.Feed(stream + at, length - at);

    CheckingSink whole;
    zo::net::StreamSplitter b(&whole);
    b.Feed(stream, length);
    if (whole.hash != chunked.hash || whole.count != chunked.count)
        std::abort();
    const auto& ca = a.GetCounters();
    const auto& cb = b.GetCounters();
    if (ca.videoTooLong != cb.videoTooLong || ca.audioTooLong != cb.audioTooLong ||
        ca.controlTooLong != cb.controlTooLong || ca.garbageBytes != cb.garbageBytes || cb.garbageBytes > length)
        std::abort();
    return 0;
}
