// The worker base: one thread at a time, stop event and join, exit codes,
// creation failures, priority and processor pinning.
#include "platform/CZoThread.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zo::platform {
namespace {

class Worker final : public CZoThread {
public:
    ~Worker() override { Stop(); }

    std::atomic<int> runs{0};
    std::atomic<bool> ended{false};
    std::atomic<bool> waitForStop{true};
    std::atomic<int> niceSeen{-100};
    std::atomic<int> stopFromInside{-1};
    uint32_t code = 7;

protected:
    uint32_t Run() override {
        ended = false;
        ++runs;
        errno = 0;
        niceSeen = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
        stopFromInside = Stop();
        if (waitForStop)
            StopEvent().Wait();
        ended = true;
        return code;
    }
};

TEST(CZoThread, RunsOneThreadAtATimeAndJoinsOnStop) {
    Worker w;
    EXPECT_EQ(w.Stop(), 0);  // nothing to stop
    ASSERT_EQ(w.Start(CZoThread::kPriorityNormal), 1);
    EXPECT_TRUE(w.HasThread());
    EXPECT_EQ(w.Start(CZoThread::kPriorityNormal), 0);  // refused while it exists
    EXPECT_EQ(w.Stop(), 1);
    EXPECT_TRUE(w.ended.load());
    EXPECT_FALSE(w.HasThread());
    EXPECT_EQ(w.ExitCode(), 7u);
    EXPECT_EQ(w.stopFromInside.load(), 0);  // the thread cannot join itself

    // A restart resets the stop event: the new Run waits again.
    w.code = 9;
    ASSERT_EQ(w.Start(CZoThread::kPriorityNormal), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(w.ended.load());
    EXPECT_EQ(w.Stop(), 1);
    EXPECT_EQ(w.runs.load(), 2);
    EXPECT_EQ(w.ExitCode(), 9u);
}

TEST(CZoThread, AThreadThatEndedStillCountsUntilStop) {
    Worker w;
    w.waitForStop = false;
    ASSERT_EQ(w.Start(CZoThread::kPriorityNormal), 1);
    while (!w.ended.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(w.Start(CZoThread::kPriorityNormal), 0);
    EXPECT_EQ(w.Stop(), 1);
    EXPECT_EQ(w.Start(CZoThread::kPriorityNormal), 1);
    EXPECT_EQ(w.Stop(), 1);
}

TEST(CZoThread, CreationFailureGivesTheSystemErrorAsAnHresult) {
    Worker w;
    w.SetStackSizeBytes(size_t{1} << 60);  // cannot be mapped
    const int result = w.Start(CZoThread::kPriorityNormal);
    const auto bits = static_cast<uint32_t>(result);
    EXPECT_EQ(bits & 0xFFFF0000u, CZoThread::kErrorFacilityBits) << std::hex << bits;
    EXPECT_NE(bits & 0xFFFFu, 0u);
    EXPECT_LT(result, 0);
    EXPECT_FALSE(w.HasThread());
    w.SetStackSizeBytes(0);
    EXPECT_EQ(w.Start(CZoThread::kPriorityNormal), 1);
    EXPECT_EQ(w.Stop(), 1);
}

TEST(CZoThread, PriorityIsAppliedWherePermitted) {
    errno = 0;
    const int baseNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
    Worker low;
    ASSERT_EQ(low.Start(CZoThread::kPriorityBelowNormal), 1);
    low.Stop();
    EXPECT_EQ(low.niceSeen.load(), std::min(baseNice + 5, 19));  // lowering is always allowed

    Worker high;  // raising needs privilege: either applied or quietly left
    ASSERT_EQ(high.Start(CZoThread::kPriorityAboveNormal), 1);
    high.Stop();
    EXPECT_TRUE(high.niceSeen.load() == baseNice || high.niceSeen.load() == std::max(baseNice - 5, -20))
        << high.niceSeen.load();
}

TEST(CZoThread, PinsAndRestoresTheProcessors) {
    std::thread t([] {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
        int first = -1;
        for (int cpu = 0; cpu < 64 && first < 0; ++cpu)
            if (CPU_ISSET(cpu, &allowed))
                first = cpu;
        ASSERT_GE(first, 0);

        uint64_t previous = 0;
        ASSERT_TRUE(CZoThread::PinCurrentThread(uint64_t{1} << first, &previous));
        cpu_set_t now;
        CPU_ZERO(&now);
        sched_getaffinity(0, sizeof now, &now);
        EXPECT_EQ(CPU_COUNT(&now), 1);
        EXPECT_TRUE(CPU_ISSET(first, &now));
        EXPECT_NE(previous & (uint64_t{1} << first), 0u);

        uint64_t pinned = 0;
        EXPECT_TRUE(CZoThread::PinCurrentThread(previous, &pinned));
        EXPECT_EQ(pinned, uint64_t{1} << first);
        EXPECT_FALSE(CZoThread::PinCurrentThread(0, nullptr));  // no processor: refused, no change
        CPU_ZERO(&now);
        sched_getaffinity(0, sizeof now, &now);
        EXPECT_EQ(CPU_COUNT(&now), CPU_COUNT(&allowed));
    });
    t.join();
}

}  // namespace
}  // namespace zo::platform
