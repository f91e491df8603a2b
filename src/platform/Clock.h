// Clock port: the monotonic time and sleeps that pacing code uses.
//
// SystemClock is steady_clock and sleep_for. ManualClock is virtual time for
// tests: Now() only moves when the test advances it or a sleeper asks for it,
// so pacing can be tested exactly and instantly.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace zo::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Microseconds since an arbitrary fixed origin; never goes backwards.
    virtual int64_t NowUs() const = 0;
    // Blocks the caller for about `us` microseconds (no-op for us <= 0).
    virtual void SleepUs(int64_t us) = 0;
    int64_t NowMs() const { return NowUs() / 1000; }
};

class SystemClock final : public Clock {
public:
    int64_t NowUs() const override;
    void SleepUs(int64_t us) override;
};

// Virtual time. SleepUs advances the time by the amount asked and returns at
// once; Advance moves it from a test. Safe to use from several threads.
class ManualClock final : public Clock {
public:
    explicit ManualClock(int64_t startUs = 0) : nowUs_(startUs) {}
    int64_t NowUs() const override;
    void SleepUs(int64_t us) override;
    void Advance(int64_t us);
    // Total time asked for by SleepUs calls so far.
    int64_t SleptUs() const;

private:
    mutable std::mutex mutex_;  // guards nowUs_ and sleptUs_
    int64_t nowUs_ = 0;
    int64_t sleptUs_ = 0;
};

// The process's system clock, for components given no clock.
Clock& DefaultClock();

}  // namespace zo::platform
