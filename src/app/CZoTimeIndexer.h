// CZoTimeIndexer: builds the time index of the source on view on a worker
// thread of its own, for the timeline: it reads the index cache when one
// fits, else every block header (through a descriptor of its own, so closing
// the recording never pulls the source from under it), and stores the
// result in the cache. It never touches a widget; the timeline polls it.
//
// Threads: Begin, Cancel and TakeResult belong to the user-interface
// thread; progress and completion are atomics either side may read.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "media/TimeIndex.h"
#include "platform/CZoThread.h"

class CZoTimeIndexer : public zo::platform::CZoThread {
public:
    struct Job {
        std::string path;         // file, image or block device
        std::string key;          // media::SourceKey of the source
        int videoCode = 6;
        bool rawDisk = false;
        std::string cacheFolder;  // empty: no cache
    };

    CZoTimeIndexer() = default;
    ~CZoTimeIndexer() override { Stop(); }

    // Stops a job that runs and starts this one. false when no thread
    // could be started.
    bool Begin(Job job);
    // Stops the job (if any) and forgets its result.
    void Cancel();
    bool Running() const { return HasThread() && !done_.load(std::memory_order_acquire); }
    // Whether a job has ended and its result waits for TakeResult.
    bool Done() const { return HasThread() && done_.load(std::memory_order_acquire); }
    // Bytes read of the whole, for the progress display.
    uint64_t DoneBytes() const { return doneBytes_.load(std::memory_order_relaxed); }
    uint64_t TotalBytes() const { return totalBytes_.load(std::memory_order_relaxed); }
    // Joins the finished job and hands over its index. false with the
    // reason when it could not be made.
    bool TakeResult(zo::media::TimeIndex& index, std::string& error);

protected:
    uint32_t Run() override;

private:
    Job job_;
    // Written by the worker before done_ is set, read after.
    zo::media::TimeIndex index_;
    std::string error_;
    bool ok_ = false;
    std::atomic<bool> done_{false};
    std::atomic<uint64_t> doneBytes_{0};
    std::atomic<uint64_t> totalBytes_{0};
};
