#include "media/BlockScan.h"

#include <algorithm>
#include <vector>

#include "media/RecordingFormat.h"

namespace zo::media {

BlockStats ScanBlocks(const ByteSource& source, int videoCode, bool rawDisk,
                      const std::function<bool(uint64_t, uint64_t)>& progress) {
    BlockStats stats;
    const uint64_t size = source.Size();
    stats.blocks = size / kBlockSize;
    stats.trailingBytes = size % kBlockSize;
    constexpr size_t kChunkBlocks = 256;  // 1 MiB reads
    std::vector<uint8_t> chunk(kChunkBlocks * kBlockSize);
    for (uint64_t block = 0; block < stats.blocks;) {
        const uint64_t count = std::min<uint64_t>(kChunkBlocks, stats.blocks - block);
        const int64_t got = source.ReadAt(block * kBlockSize, chunk.data(), count * kBlockSize);
        if (got != static_cast<int64_t>(count * kBlockSize)) {
            stats.readError = true;
            break;
        }
        for (uint64_t k = 0; k < count; ++k) {
            uint8_t* header = chunk.data() + k * kBlockSize;
            if (rawDisk)
                SwapBytePairs(header, kBlockHeaderSize);
            const BlockHeader h = DecodeBlockHeader(header, videoCode);
            if (!h.valid) {
                ++stats.damagedBlocks;
                continue;
            }
            ++stats.validBlocks;
            stats.channelBits |= h.channelBits;
            const int64_t t = h.timeSeconds;
            if (stats.firstTime < 0 || t < stats.firstTime)
                stats.firstTime = t;
            if (t > stats.lastTime)
                stats.lastTime = t;
        }
        block += count;
        if (progress && !progress(block * kBlockSize, size))
            break;
    }
    return stats;
}

}  // namespace zo::media
