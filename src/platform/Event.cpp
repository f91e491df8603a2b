#include "platform/Event.h"

#include <chrono>
#include <condition_variable>

namespace zo::platform {

// One per wait, on the waiting thread's stack. Set marks it woken under its
// mutex, so a wake-up between the waiter's last look and its sleep is kept.
struct Event::Waiter {
    std::mutex mutex;  // guards woken
    std::condition_variable wake;
    bool woken = false;
};

void Event::Link(WaitNode* node) {
    node->prev = nullptr;
    node->next = waiters_;
    if (waiters_)
        waiters_->prev = node;
    waiters_ = node;
}

void Event::Unlink(WaitNode* node) {
    if (node->prev)
        node->prev->next = node->next;
    else
        waiters_ = node->next;
    if (node->next)
        node->next->prev = node->prev;
    node->prev = node->next = nullptr;
}

void Event::Set() {
    std::lock_guard lock(mutex_);
    // Already signalled: every waiter linked since the last change from clear
    // to set either was woken then or looks at the flag after linking.
    if (signalled_)
        return;
    signalled_ = true;
    for (WaitNode* n = waiters_; n; n = n->next) {
        std::lock_guard waiterLock(n->waiter->mutex);
        n->waiter->woken = true;
        n->waiter->wake.notify_one();
    }
}

void Event::Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool Event::IsSet() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

int Event::Wait(int64_t timeoutMs) {
    Event* self = this;
    return WaitAny(std::span<Event* const>(&self, 1), timeoutMs);
}

namespace {

int FirstSignalled(std::span<Event* const> events) {
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i]->IsSet())
            return static_cast<int>(i);
    return kWaitTimeout;
}

}  // namespace

int WaitAny(std::span<Event* const> events, int64_t timeoutMs) {
    if (events.empty() || events.size() > kMaxWaitEvents)
        return kWaitTimeout;
    for (Event* e : events)
        if (!e)
            return kWaitTimeout;

    int fired = FirstSignalled(events);
    if (fired != kWaitTimeout || timeoutMs == 0)
        return fired;

    using Steady = std::chrono::steady_clock;
    const bool forever = timeoutMs < 0;
    const Steady::time_point deadline = forever ? Steady::time_point::max()
                                                : Steady::now() + std::chrono::milliseconds(timeoutMs);

    Event::Waiter waiter;
    Event::WaitNode nodes[kMaxWaitEvents];
    // Register with every event. An event already signalled ends the wait;
    // one signalled after its registration marks the waiter woken.
    size_t linked = 0;
    for (; linked < events.size(); ++linked) {
        std::lock_guard lock(events[linked]->mutex_);
        nodes[linked].waiter = &waiter;
        events[linked]->Link(&nodes[linked]);
    }

    for (;;) {
        fired = FirstSignalled(events);
        if (fired != kWaitTimeout)
            break;
        std::unique_lock lock(waiter.mutex);
        bool timedOut = false;
        while (!waiter.woken && !timedOut) {
            if (forever)
                waiter.wake.wait(lock);
            else
                timedOut = waiter.wake.wait_until(lock, deadline) == std::cv_status::timeout;
        }
        const bool woken = waiter.woken;
        waiter.woken = false;
        lock.unlock();
        if (!woken) {  // timed out; one last look
            fired = FirstSignalled(events);
            break;
        }
        // Woken: an event was set, though it may have been reset again
        // before this look; then wait on.
    }

    for (size_t i = 0; i < linked; ++i) {
        std::lock_guard lock(events[i]->mutex_);
        events[i]->Unlink(&nodes[i]);
    }
    return fired;
}

}  // namespace zo::platform
