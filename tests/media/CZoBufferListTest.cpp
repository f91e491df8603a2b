// The sample queue's rules: bounded pool, FIFO order, refusals, and the data
// and space events that follow the filled list.
#include "media/CZoBufferList.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace zo::media {
namespace {

CZoSample Frame(std::vector<uint8_t>& bytes, int tag) {
    CZoSample s;
    s.data = bytes.data();
    s.length = static_cast<uint32_t>(bytes.size());
    s.capacity = s.length;
    s.time.year = static_cast<uint16_t>(2000 + tag);
    s.time.milliseconds = static_cast<uint16_t>(tag);
    s.extra[0] = tag;
    s.extra[3] = -tag;
    return s;
}

struct Receiver {
    std::vector<uint8_t> buffer = std::vector<uint8_t>(8192, 0);
    CZoSample record;
    Receiver() {
        record.data = buffer.data();
        record.capacity = static_cast<uint32_t>(buffer.size());
    }
};

TEST(CZoBufferList, SixteenFramesFillThePoolAndComeBackInOrder) {
    platform::ManualClock clock(5000);
    CZoBufferList q("Default", &clock);
    EXPECT_EQ(q.Name(), "Default");
    EXPECT_FALSE(q.GetSpaceEvent().IsSet());
    ASSERT_EQ(q.Allocate(4096, 16), 1);
    EXPECT_EQ(q.PoolSize(), 16);
    EXPECT_TRUE(q.GetSpaceEvent().IsSet());
    EXPECT_FALSE(q.GetDataEvent().IsSet());

    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 17; ++i)
        frames.emplace_back(100 + i, static_cast<uint8_t>(i));
    for (int i = 0; i < 16; ++i) {
        clock.Advance(1000);
        auto f = Frame(frames[i], i);
        ASSERT_EQ(q.PutSample(f), 1) << i;
    }
    EXPECT_EQ(q.LastPutTickMs(), 21u);  // clock at 5 ms, then 16 puts 1 ms apart
    auto seventeenth = Frame(frames[16], 16);
    EXPECT_EQ(q.PutSample(seventeenth), 0);
    EXPECT_TRUE(q.GetDataEvent().IsSet());
    EXPECT_FALSE(q.GetSpaceEvent().IsSet());

    Receiver r;
    ASSERT_EQ(q.GetSample(r.record), 1);
    EXPECT_EQ(r.record.length, 100u);
    EXPECT_EQ(r.record.extra[0], 0);
    EXPECT_TRUE(q.GetSpaceEvent().IsSet());
    EXPECT_EQ(q.PutSample(seventeenth), 1);

    for (int i = 1; i <= 16; ++i) {
        ASSERT_EQ(q.GetSample(r.record), 1);
        ASSERT_EQ(r.record.length, frames[i].size());
        EXPECT_TRUE(std::equal(frames[i].begin(), frames[i].end(), r.buffer.begin()));
        EXPECT_EQ(r.record.time.year, 2000 + i);
        EXPECT_EQ(r.record.time.milliseconds, i);
        EXPECT_EQ(r.record.extra[0], i);
        EXPECT_EQ(r.record.extra[3], -i);
        EXPECT_EQ(q.GetDataEvent().IsSet(), i < 16);
    }
    EXPECT_EQ(q.GetSample(r.record), 0);
    EXPECT_FALSE(q.GetDataEvent().IsSet());
    EXPECT_EQ(q.FreeCount(), 16);
}

TEST(CZoBufferList, RefusesTooLongFramesAndKeepsTheSpaceEventInAlternation) {
    CZoBufferList q("Default");
    ASSERT_EQ(q.Allocate(64, 2), 1);
    std::vector<uint8_t> tooLong(65, 1), exact(64, 2), empty;
    auto f = Frame(tooLong, 1);
    EXPECT_EQ(q.PutSample(f), 0);
    EXPECT_EQ(q.FreeCount(), 2);
    EXPECT_FALSE(q.GetDataEvent().IsSet());

    Receiver r;
    for (int i = 0; i < 100; ++i) {
        auto g = Frame(i % 2 ? exact : empty, i);
        ASSERT_EQ(q.PutSample(g), 1);
        EXPECT_TRUE(q.GetSpaceEvent().IsSet());
        ASSERT_EQ(q.GetSample(r.record), 1);
        EXPECT_EQ(r.record.length, i % 2 ? 64u : 0u);
        EXPECT_EQ(r.record.extra[0], i);
        EXPECT_TRUE(q.GetSpaceEvent().IsSet());
        EXPECT_FALSE(q.GetDataEvent().IsSet());
    }
}

// A consumer buffer smaller than the frame must not be overrun; the frame is
// dropped so the data event cannot stay set over a frame nobody can take.
TEST(CZoBufferList, AFrameLongerThanTheConsumersBufferIsDropped) {
    CZoBufferList q("Default");
    ASSERT_EQ(q.Allocate(4096, 4), 1);
    std::vector<uint8_t> big(4000, 7), small(10, 8);
    auto f1 = Frame(big, 1), f2 = Frame(small, 2);
    ASSERT_EQ(q.PutSample(f1), 1);
    ASSERT_EQ(q.PutSample(f2), 1);

    std::vector<uint8_t> buffer(100, 0xEE);
    CZoSample record;
    record.data = buffer.data();
    record.capacity = 99;
    EXPECT_EQ(q.GetSample(record), 0);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(q.FreeCount(), 3);
    EXPECT_TRUE(q.GetDataEvent().IsSet());
    ASSERT_EQ(q.GetSample(record), 1);
    EXPECT_EQ(record.extra[0], 2);
    EXPECT_EQ(buffer[9], 8);
    EXPECT_EQ(buffer[10], 0xEE);
}

TEST(CZoBufferList, PoolIsMadeOnceAndNothingFlowsWithoutIt) {
    CZoBufferList q("Default");
    std::vector<uint8_t> bytes(10, 1);
    auto f = Frame(bytes, 1);
    EXPECT_EQ(q.PutSample(f), 0);
    ASSERT_EQ(q.Allocate(16, 25), 1);  // three node blocks
    EXPECT_EQ(q.Allocate(16, 5), 0);
    EXPECT_EQ(q.PoolSize(), 25);
    for (int i = 0; i < 25; ++i)
        ASSERT_EQ(q.PutSample(f), 1);
    EXPECT_EQ(q.PutSample(f), 0);
}

// The live worker's wait: the stop event and the data events of two queues.
TEST(CZoBufferList, DataEventsWakeAWaitOnSeveralQueues) {
    CZoBufferList video("Default"), audio("Default");
    ASSERT_EQ(video.Allocate(256, 4), 1);
    ASSERT_EQ(audio.Allocate(256, 4), 1);
    platform::Event stop;
    std::vector<uint8_t> bytes(10, 3);
    std::thread producer([&] {
        auto f = Frame(bytes, 5);
        audio.PutSample(f);
    });
    EXPECT_EQ(platform::WaitAny({&stop, &video.GetDataEvent(), &audio.GetDataEvent()}, 5000), 2);
    producer.join();
    Receiver r;
    EXPECT_EQ(audio.GetSample(r.record), 1);
    EXPECT_EQ(platform::WaitAny({&stop, &video.GetDataEvent(), &audio.GetDataEvent()}, 0), platform::kWaitTimeout);
}

}  // namespace
}  // namespace zo::media
