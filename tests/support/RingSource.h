// A simulated DVR disk of any size whose block headers are made on demand:
// a ring turned at `turn`, `perSecond` blocks per second of recording,
// areas of never-written zeros and damaged blocks. Data bytes are zero.
// Counts reads, so tests and benchmarks can see what a search costs.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

#include "media/ByteSource.h"
#include "media/RecordingFormat.h"

namespace zo::test {

class RingSource final : public media::ByteSource {
public:
    struct Area {
        uint64_t first = 0, end = 0;  // blocks [first, end)
        bool zero = true;             // zeros, else damaged headers
    };

    RingSource(uint64_t blocks, uint64_t turn, uint32_t startTime, uint64_t perSecond, bool rawDisk = false)
        : blocks_(blocks), turn_(turn), start_(startTime), perSecond_(perSecond), raw_(rawDisk) {}
    void AddArea(uint64_t first, uint64_t end, bool zero) { areas_.push_back({first, end, zero}); }

    // The time a block carries, -1 for a zero or damaged block.
    int64_t TimeOf(uint64_t block) const {
        for (const Area& a : areas_)
            if (block >= a.first && block < a.end)
                return -1;
        const uint64_t order = (block + blocks_ - turn_) % blocks_;  // place in time order
        return start_ + static_cast<int64_t>(order / perSecond_);
    }

    uint64_t Size() const override { return blocks_ * media::kBlockSize; }
    int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
        reads_.fetch_add(1, std::memory_order_relaxed);
        if (offset >= Size())
            return 0;
        length = static_cast<size_t>(std::min<uint64_t>(length, Size() - offset));
        auto* out = static_cast<uint8_t*>(buffer);
        std::memset(out, 0, length);
        uint8_t block[media::kBlockSize];
        for (uint64_t b = offset / media::kBlockSize; b * media::kBlockSize < offset + length; ++b) {
            std::memset(block, 0, media::kBlockHeaderSize);
            MakeHeader(b, block);
            const uint64_t from = std::max(offset, b * media::kBlockSize);
            const uint64_t to = std::min(offset + length, b * media::kBlockSize + media::kBlockHeaderSize);
            if (from < to)
                std::memcpy(out + (from - offset), block + (from - b * media::kBlockSize), to - from);
        }
        return static_cast<int64_t>(length);
    }
    uint64_t Reads() const { return reads_.load(); }

private:
    void MakeHeader(uint64_t b, uint8_t* header) const {
        for (const Area& a : areas_)
            if (b >= a.first && b < a.end) {
                if (!a.zero) {
                    // A header whose check byte fails.
                    media::EncodeBlockHeader(static_cast<uint32_t>(b * 2654435761u), 1, 1, media::kVideoZOC, header);
                    header[7] ^= 0x5A;
                    if (raw_)
                        media::SwapBytePairs(header, media::kBlockHeaderSize);
                }
                return;
            }
        media::EncodeBlockHeader(static_cast<uint32_t>(TimeOf(b)), 1, 1, media::kVideoZOC, header);
        if (raw_)
            media::SwapBytePairs(header, media::kBlockHeaderSize);
    }

    uint64_t blocks_, turn_;
    uint32_t start_;
    uint64_t perSecond_;
    bool raw_;
    std::vector<Area> areas_;
    mutable std::atomic<uint64_t> reads_{0};
};

}  // namespace zo::test
