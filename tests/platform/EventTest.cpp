// Manual-reset events and the wait on several events: which one fired,
// timeouts, and wake-ups that must not be lost between threads.
#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace zo::platform {
namespace {

using Steady = std::chrono::steady_clock;

int64_t MsSince(Steady::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
}

TEST(Event, StaysSignalledUntilReset) {
    Event e;
    EXPECT_FALSE(e.IsSet());
    EXPECT_EQ(e.Wait(0), kWaitTimeout);
    e.Set();
    EXPECT_EQ(e.Wait(0), 0);
    EXPECT_EQ(e.Wait(kWaitForever), 0);  // a wait does not consume it
    EXPECT_TRUE(e.IsSet());
    e.Reset();
    EXPECT_EQ(e.Wait(0), kWaitTimeout);
    Event initiallySet(true);
    EXPECT_EQ(initiallySet.Wait(0), 0);
}

TEST(Event, WaitAnyGivesTheLowestSignalledIndexOrTimesOut) {
    Event a, b, c;
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0), kWaitTimeout);
    c.Set();
    EXPECT_EQ(WaitAny({&a, &b, &c}, 0), 2);
    b.Set();
    EXPECT_EQ(WaitAny({&a, &b, &c}, kWaitForever), 1);
    a.Set();
    EXPECT_EQ(WaitAny({&a, &b, &c}), 0);

    Event d;
    const auto start = Steady::now();
    EXPECT_EQ(WaitAny({&d}, 60), kWaitTimeout);
    EXPECT_GE(MsSince(start), 60);

    EXPECT_EQ(WaitAny(std::span<Event* const>{}, kWaitForever), kWaitTimeout);
    std::vector<Event*> tooMany(kMaxWaitEvents + 1, &a);
    EXPECT_EQ(WaitAny(tooMany, kWaitForever), kWaitTimeout);
}

// Events of different objects in one wait, set from another thread while
// the waiter sleeps.
TEST(Event, WaitAnyWakesOnAnEventSetLater) {
    struct Queue { Event data; } video, audio;
    Event stop;
    for (int which = 0; which < 3; ++which) {
        stop.Reset();
        video.data.Reset();
        audio.data.Reset();
        std::thread setter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            (which == 0 ? stop : which == 1 ? video.data : audio.data).Set();
        });
        EXPECT_EQ(WaitAny({&stop, &video.data, &audio.data}, 5000), which);
        setter.join();
    }
}

TEST(Event, SetWakesEveryWaiter) {
    Event go;
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (go.Wait(5000) == 0)
                ++woken;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    go.Set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(woken.load(), 4);
}

// Ping-pong with manual-reset events: a lost wake-up stalls a round until
// the 5 s limit and fails the test.
TEST(Event, NoWakeUpIsLostInPingPong) {
    Event ping, pong, spare;
    constexpr int kRounds = 20000;
    std::atomic<int> timeouts{0};
    std::thread partner([&] {
        for (int i = 0; i < kRounds; ++i) {
            if (WaitAny({&spare, &ping}, 5000) != 1) {
                ++timeouts;
                return;
            }
            ping.Reset();
            pong.Set();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        ping.Set();
        if (pong.Wait(5000) != 0) {
            ++timeouts;
            break;
        }
        pong.Reset();
    }
    partner.join();
    EXPECT_EQ(timeouts.load(), 0);
}

}  // namespace
}  // namespace zo::platform
