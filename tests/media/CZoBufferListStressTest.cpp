// One producer and one consumer thread move a million frames of varying
// length through a queue. Every frame carries its sequence number and a
// checksum of its bytes: none may be lost except those refused as full, none
// reordered and none corrupted. Sized to stay fast under ThreadSanitizer.
#include "media/CZoBufferList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

namespace zo::media {
namespace {

uint64_t Seed() {
    const char* env = std::getenv("ZO_TEST_SEED");
    return env ? std::strtoull(env, nullptr, 10) : 1234;
}

uint32_t Mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return static_cast<uint32_t>(x);
}

uint32_t Checksum(const uint8_t* p, uint32_t n) {
    uint32_t h = 2166136261u;
    for (uint32_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 16777619u;
    return h;
}

TEST(CZoBufferListStress, MillionFramesArriveWholeAndInOrder) {
    constexpr int kFrames = 1000000;
    constexpr uint32_t kBufferBytes = 128;
    const uint64_t seed = Seed();
    CZoBufferList q("Default");
    ASSERT_EQ(q.Allocate(kBufferBytes, 16), 1);

    std::vector<uint8_t> accepted(kFrames, 0);  // written by the producer only
    std::vector<int32_t> received;              // written by the consumer only
    received.reserve(kFrames);
    platform::Event done;
    std::atomic<int> corrupted{0};

    std::thread consumer([&] {
        std::vector<uint8_t> buffer(kBufferBytes);
        CZoSample r;
        r.data = buffer.data();
        r.capacity = kBufferBytes;
        for (;;) {
            const int fired = platform::WaitAny({&q.GetDataEvent(), &done}, 10000);
            if (fired == platform::kWaitTimeout) {
                ++corrupted;  // a stall: counted as a failure
                return;
            }
            bool took = false;
            while (q.GetSample(r)) {
                took = true;
                const int32_t seq = r.extra[0];
                if (r.length != static_cast<uint32_t>(r.extra[1]) ||
                    Checksum(buffer.data(), r.length) != static_cast<uint32_t>(r.extra[2]) ||
                    r.time.second != static_cast<uint16_t>(seq % 60))
                    ++corrupted;
                received.push_back(seq);
                if (Mix(seq ^ seed) % 97 == 0)
                    std::this_thread::yield();  // let a backlog build now and then
            }
            if (!took && fired == 1)
                return;  // producer done and the queue drained
        }
    });

    std::vector<uint8_t> frame(kBufferBytes);
    int refused = 0;
    for (int seq = 0; seq < kFrames; ++seq) {
        const uint32_t h = Mix(static_cast<uint64_t>(seq) * 0x9E3779B97F4A7C15ULL ^ seed);
        const uint32_t length = h % 8 == 0 ? kBufferBytes : h % (kBufferBytes + 1);
        for (uint32_t i = 0; i < length; ++i)
            frame[i] = static_cast<uint8_t>(h >> (i % 24) ^ i);
        CZoSample s;
        s.data = frame.data();
        s.length = length;
        s.time.second = static_cast<uint16_t>(seq % 60);
        s.extra[0] = seq;
        s.extra[1] = static_cast<int32_t>(length);
        s.extra[2] = static_cast<int32_t>(Checksum(frame.data(), length));
        if (q.PutSample(s)) {
            accepted[seq] = 1;
        } else {
            ++refused;
            q.GetSpaceEvent().Wait(1000);  // drop it, and go on once there is room
        }
    }
    done.Set();
    consumer.join();

    EXPECT_EQ(corrupted.load(), 0) << "seed " << seed;
    std::vector<int32_t> expected;
    expected.reserve(kFrames);
    for (int seq = 0; seq < kFrames; ++seq)
        if (accepted[seq])
            expected.push_back(seq);
    EXPECT_EQ(static_cast<int>(expected.size()) + refused, kFrames);
    EXPECT_EQ(received.size(), expected.size()) << "seed " << seed;
    EXPECT_TRUE(received == expected) << "lost or reordered frames, seed " << seed;
    EXPECT_GT(expected.size(), size_t{kFrames / 4}) << "the consumer hardly ran";
    EXPECT_EQ(q.FreeCount(), 16);
    RecordProperty("refused", refused);
}

}  // namespace
}  // namespace zo::media
