// Manual-reset events and a wait on several of them at once.
//
// An Event stays signalled from Set until Reset. WaitAny blocks until one of
// the events it is given is signalled (or the timeout passes) and returns the
// lowest index among those signalled when it looks; the events may belong to
// different objects. There is no polling: a waiter registers itself with each
// event and Set wakes it.
//
// Threads: Set, Reset, IsSet and the waits may be called from any thread.
// An Event must outlive every wait that uses it; it is neither copied nor
// moved, because waiters keep pointers to it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <span>

namespace zo::platform {

// Timeout value of the waits: no limit.
inline constexpr int64_t kWaitForever = -1;
// Result of the waits when the timeout passed with nothing signalled.
inline constexpr int kWaitTimeout = -1;

class Event {
public:
    explicit Event(bool signalled = false) : signalled_(signalled) {}
    ~Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;

    // 0 once the event is signalled, kWaitTimeout after `timeoutMs`
    // (0 polls, kWaitForever waits without limit).
    int Wait(int64_t timeoutMs = kWaitForever);

private:
    friend int WaitAny(std::span<Event* const> events, int64_t timeoutMs);
    struct Waiter;
    struct WaitNode {
        Waiter* waiter = nullptr;
        WaitNode* prev = nullptr;
        WaitNode* next = nullptr;
    };
    void Link(WaitNode* node);    // caller holds mutex_
    void Unlink(WaitNode* node);  // caller holds mutex_

    mutable std::mutex mutex_;  // guards signalled_ and the waiter list
    bool signalled_ = false;
    WaitNode* waiters_ = nullptr;
};

// At most this many events in one wait.
inline constexpr size_t kMaxWaitEvents = 16;

// Index of a signalled event (the lowest one signalled when the wait looks),
// or kWaitTimeout. More than kMaxWaitEvents events, an empty list or a null
// entry give kWaitTimeout at once.
int WaitAny(std::span<Event* const> events, int64_t timeoutMs = kWaitForever);
inline int WaitAny(std::initializer_list<Event*> events, int64_t timeoutMs = kWaitForever) {
    return WaitAny(std::span<Event* const>(events.begin(), events.size()), timeoutMs);
}

}  // namespace zo::platform
