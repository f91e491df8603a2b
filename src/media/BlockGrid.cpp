#include "media/BlockGrid.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "media/RecordingFormat.h"

namespace zo::media {

namespace {

constexpr uint64_t kDenseBytes = 16ull << 20;  // every window tried up to here
constexpr uint64_t kSparseStride = 8;          // then every eighth window
constexpr uint64_t kChunkWindows = 256;        // candidates per read: 1 MiB
// Bytes a chunk reads beyond its candidates: the rest of a run.
constexpr uint64_t kLookahead = kGridRunBlocks * kBlockSize;

bool HeaderPasses(const uint8_t* at, bool rawDisk) {
    uint8_t h[kBlockHeaderSize];
    std::memcpy(h, at, sizeof h);
    uint64_t word;
    std::memcpy(&word, h, sizeof word);
    if (word == 0)
        return false;  // never written
    if (rawDisk)
        SwapBytePairs(h, sizeof h);
    return CheckByte(h) == h[7];
}

}  // namespace

int64_t GridSource::ReadAt(uint64_t offset, void* buffer, size_t length) const {
    if (offset > UINT64_MAX - origin_)
        return 0;
    return inner_->ReadAt(offset + origin_, buffer, length);
}

uint32_t FindBlockGridOrigin(const ByteSource& source, bool rawDisk, uint64_t limitBytes) {
    const uint64_t size = source.Size();
    const uint64_t runBytes = (kGridRunBlocks - 1) * kBlockSize + kBlockHeaderSize;
    if (size < runBytes)
        return 0;
    // Candidates lie below `end`: a run must fit in the source.
    const uint64_t end = std::min(size - runBytes + 1, limitBytes);
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(kChunkWindows * kBlockSize + kLookahead, size)));
    for (uint64_t base = 0; base < end; base += kChunkWindows * kBlockSize) {
        const uint64_t want = std::min<uint64_t>(chunk.size(), size - base);
        const int64_t got = source.ReadAt(base, chunk.data(), static_cast<size_t>(want));
        if (got <= 0)
            continue;  // unreadable: try further on
        const uint64_t have = static_cast<uint64_t>(got);
        for (uint64_t w = 0; w < kChunkWindows; ++w) {
            const uint64_t window = base + w * kBlockSize;
            if (window >= end)
                break;
            if (window >= kDenseBytes && (window / kBlockSize) % kSparseStride != 0)
                continue;
            const uint64_t stop = std::min(window + kBlockSize, end);
            for (uint64_t at = window; at < stop; ++at) {
                const uint64_t local = at - base;
                if (local + runBytes > have)
                    break;  // the read stopped short
                int k = 0;
                while (k < kGridRunBlocks && HeaderPasses(chunk.data() + local + k * kBlockSize, rawDisk))
                    ++k;
                if (k == kGridRunBlocks)
                    return static_cast<uint32_t>(at % kBlockSize);
            }
        }
    }
    return 0;
}

}  // namespace zo::media
