#include <gtest/gtest.h>

#include <thread>

#include "platform/Clock.h"
#include "platform/MessagePort.h"

namespace zo::platform {
namespace {

TEST(MessagePort, RecordsFromSeveralThreads) {
    RecordingMessagePort port;
    std::thread a([&] {
        for (int i = 0; i < 100; ++i)
            port.Show("a");
    });
    for (int i = 0; i < 100; ++i)
        port.Show("b");
    a.join();
    EXPECT_EQ(port.Texts().size(), 200u);
    port.Clear();
    EXPECT_TRUE(port.Texts().empty());
}

TEST(Clock, ManualClockIsVirtualTime) {
    ManualClock clock(1000);
    EXPECT_EQ(clock.NowUs(), 1000);
    clock.SleepUs(16666);
    EXPECT_EQ(clock.NowUs(), 17666);
    clock.SleepUs(-5);
    clock.Advance(334);
    EXPECT_EQ(clock.NowUs(), 18000);
    EXPECT_EQ(clock.NowMs(), 18);
    EXPECT_EQ(clock.SleptUs(), 16666);
}

TEST(Clock, SystemClockIsMonotonicAndSleeps) {
    SystemClock clock;
    const int64_t before = clock.NowUs();
    clock.SleepUs(2000);
    EXPECT_GE(clock.NowUs() - before, 2000);
}

}  // namespace
}  // namespace zo::platform
