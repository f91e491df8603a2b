// CZoThread: base of the worker objects. It owns one thread at a time and a
// manual-reset stop event; the derived class's Run is the thread body and its
// result the thread's exit code.
//
// Threads: Start, Stop, HasThread and ExitCode belong to the owner (the
// user-interface thread); Run runs on the new thread and watches StopEvent().
// A derived class must call Stop in its own destructor, before its members
// go: the base destructor stops a thread that is still there as a last
// resort only.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "platform/Event.h"

namespace zo::platform {

class CZoThread {
public:
    // Priorities in the platform's steps. Raising one above normal needs a
    // privilege most users lack; without it the thread runs at normal
    // priority.
    static constexpr int kPriorityIdle = -15;
    static constexpr int kPriorityLowest = -2;
    static constexpr int kPriorityBelowNormal = -1;
    static constexpr int kPriorityNormal = 0;
    static constexpr int kPriorityAboveNormal = 1;
    static constexpr int kPriorityHighest = 2;
    static constexpr int kPriorityTimeCritical = 15;

    // The bits every creation failure code carries: the system error number
    // sits in the low 16 bits.
    static constexpr uint32_t kErrorFacilityBits = 0x80070000u;

    CZoThread();
    virtual ~CZoThread();
    CZoThread(const CZoThread&) = delete;
    CZoThread& operator=(const CZoThread&) = delete;

    // Starts a thread on Run. Returns 1 when started; 0 (refused) while a
    // thread exists, even one whose Run has returned, until Stop; when the
    // thread cannot be created, the system error as an HRESULT-style code,
    // static_cast<int>(kErrorFacilityBits | error), which is negative.
    // Resets the stop event before the thread begins.
    int Start(int priority);

    // Sets the stop event and waits without limit for the thread to end,
    // then forgets it. 1 if a thread was stopped; 0 if there was none or the
    // call comes from the thread itself (which cannot wait for itself).
    int Stop();

    bool HasThread() const { return hasThread_; }
    // Result of the last Run that ended and was joined by Stop.
    uint32_t ExitCode() const { return exitCode_; }

    platform::Event& StopEvent() { return stopEvent_; }

    // Stack size of threads started from now on; 0 (the default) is the
    // system's. A size that cannot be mapped makes Start fail.
    void SetStackSizeBytes(size_t bytes) { stackSizeBytes_ = bytes; }

    // Pins the calling thread to the processors of `mask` (bit n: processor
    // n) and returns the previous mask in `previousMask`. false, with no
    // change, where that is not permitted or the processors are not
    // available.
    static bool PinCurrentThread(uint64_t mask, uint64_t* previousMask);

protected:
    // The thread body. Returns the exit code.
    virtual uint32_t Run() = 0;

private:
    static void* Trampoline(void* self);
    static void ApplyPriority(int priority);

    platform::Event stopEvent_;
    pthread_t thread_{};
    bool hasThread_ = false;
    int priority_ = kPriorityNormal;  // read by the new thread after Start publishes it
    size_t stackSizeBytes_ = 0;
    uint32_t exitCode_ = 0;  // written by the thread, read after the join
};

}  // namespace zo::platform
