#include "platform/CZoThread.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zo::platform {

namespace {
// The worker object whose Run is on this thread's stack, if any.
thread_local const CZoThread* tCurrentWorker = nullptr;
}  // namespace

CZoThread::CZoThread() = default;

CZoThread::~CZoThread() {
    Stop();
}

int CZoThread::Start(int priority) {
    if (hasThread_)
        return 0;
    stopEvent_.Reset();
    priority_ = priority;
    exitCode_ = 0;

    pthread_attr_t attr;
    int error = pthread_attr_init(&attr);
    if (error == 0 && stackSizeBytes_ != 0)
        error = pthread_attr_setstacksize(&attr, stackSizeBytes_);
    if (error == 0)
        error = pthread_create(&thread_, &attr, &CZoThread::Trampoline, this);
    pthread_attr_destroy(&attr);
    if (error != 0)
        return static_cast<int>(kErrorFacilityBits | (static_cast<uint32_t>(error) & 0xFFFFu));
    hasThread_ = true;
    return 1;
}

int CZoThread::Stop() {
    if (tCurrentWorker == this || !hasThread_)
        return 0;
    stopEvent_.Set();
    pthread_join(thread_, nullptr);
    hasThread_ = false;
    return 1;
}

void* CZoThread::Trampoline(void* self) {
    auto* thread = static_cast<CZoThread*>(self);
    tCurrentWorker = thread;
    ApplyPriority(thread->priority_);
    thread->exitCode_ = thread->Run();
    return nullptr;
}

// Normal-policy threads take their priority from their nice value: each step
// of the platform's scale is five nice steps, counted from the nice value the
// thread started with (a program run under `nice` keeps its threads' order
// below it). Lowering a nice value is refused without privilege; the thread
// then keeps the one it has.
void CZoThread::ApplyPriority(int priority) {
    if (priority == kPriorityNormal)
        return;
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (current == -1 && errno != 0)
        return;
    const int nice = std::clamp(current - 5 * priority, -20, 19);
    (void)::setpriority(PRIO_PROCESS, tid, nice);
}

bool CZoThread::PinCurrentThread(uint64_t mask, uint64_t* previousMask) {
    cpu_set_t previous;
    CPU_ZERO(&previous);
    if (pthread_getaffinity_np(pthread_self(), sizeof previous, &previous) != 0)
        return false;
    cpu_set_t wanted;
    CPU_ZERO(&wanted);
    for (int cpu = 0; cpu < 64; ++cpu)
        if (mask & (uint64_t{1} << cpu))
            CPU_SET(cpu, &wanted);
    if (pthread_setaffinity_np(pthread_self(), sizeof wanted, &wanted) != 0)
        return false;
    if (previousMask) {
        uint64_t bits = 0;
        for (int cpu = 0; cpu < 64; ++cpu)
            if (CPU_ISSET(cpu, &previous))
                bits |= uint64_t{1} << cpu;
        *previousMask = bits;
    }
    return true;
}

}  // namespace zo::platform
