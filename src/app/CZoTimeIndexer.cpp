#include "app/CZoTimeIndexer.h"

#include <cstring>

#include "media/BlockGrid.h"

bool CZoTimeIndexer::Begin(Job job) {
    Stop();
    job_ = std::move(job);
    index_ = {};
    error_.clear();
    ok_ = false;
    done_.store(false, std::memory_order_release);
    doneBytes_.store(0, std::memory_order_relaxed);
    totalBytes_.store(0, std::memory_order_relaxed);
    return Start(kPriorityBelowNormal) == 1;
}

void CZoTimeIndexer::Cancel() {
    Stop();
    done_.store(false, std::memory_order_release);
    index_ = {};
}

bool CZoTimeIndexer::TakeResult(zo::media::TimeIndex& index, std::string& error) {
    if (!Done())
        return false;
    Stop();
    done_.store(false, std::memory_order_release);
    index = std::move(index_);
    index_ = {};
    error = error_;
    return ok_;
}

uint32_t CZoTimeIndexer::Run() {
    zo::media::OpenStatus status = zo::media::OpenStatus::Ok;
    int errorNumber = 0;
    auto source = zo::media::FileSource::Open(job_.path, status, &errorNumber);
    if (!source) {
        error_ = status == zo::media::OpenStatus::NoSize ? std::string("its size cannot be read")
                                                         : std::string(std::strerror(errorNumber));
    } else {
        totalBytes_.store(source->Size(), std::memory_order_relaxed);
        if (zo::media::LoadCachedTimeIndex(job_.cacheFolder, job_.key, index_)) {
            ok_ = true;
        } else {
            // Read on the image's own block grid, as zrf index does, so the
            // cache serves both.
            const zo::media::GridSource grid(*source, zo::media::FindBlockGridOrigin(*source, job_.rawDisk));
            index_ = zo::media::BuildTimeIndex(grid, job_.videoCode, job_.rawDisk,
                                               [this](uint64_t done, uint64_t) {
                                                   doneBytes_.store(done, std::memory_order_relaxed);
                                                   return !StopEvent().IsSet();
                                               });
            ok_ = index_.complete;
            // An index with unreadable blocks is shown but not kept: the
            // next look may read them.
            if (ok_ && !index_.readError && !job_.cacheFolder.empty())
                zo::media::StoreCachedTimeIndex(job_.cacheFolder, job_.key, index_);
            if (!ok_)
                error_ = "stopped";
        }
        doneBytes_.store(source->Size(), std::memory_order_relaxed);
    }
    done_.store(true, std::memory_order_release);
    return ok_ ? 0 : 1;
}
