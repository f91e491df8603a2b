#include "platform/Clock.h"

#include <thread>

namespace zo::platform {

int64_t SystemClock::NowUs() const {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::SleepUs(int64_t us) {
    if (us > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(us));
}

int64_t ManualClock::NowUs() const {
    std::lock_guard lock(mutex_);
    return nowUs_;
}

void ManualClock::SleepUs(int64_t us) {
    if (us <= 0)
        return;
    std::lock_guard lock(mutex_);
    nowUs_ += us;
    sleptUs_ += us;
}

void ManualClock::Advance(int64_t us) {
    std::lock_guard lock(mutex_);
    nowUs_ += us;
}

int64_t ManualClock::SleptUs() const {
    std::lock_guard lock(mutex_);
    return sleptUs_;
}

Clock& DefaultClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace zo::platform
