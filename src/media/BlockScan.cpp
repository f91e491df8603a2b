#include "media/BlockScan.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "media/RecordingFormat.h"

namespace zo::media {

namespace {

constexpr size_t kChunkBlocks = 256;  // 1 MiB reads

bool ZeroHeader(const uint8_t* header) {
    for (size_t i = 0; i < kBlockHeaderSize; ++i)
        if (header[i] != 0)
            return false;
    return true;
}

// Reads `count` blocks at `block` into `chunk`; a block that cannot be read
// whole is filled with a header that never validates (0xFF bytes: the check
// of FF FF FF FF FF FF FF is not FF). Returns false if any block failed.
bool ReadBlocks(const ByteSource& source, uint64_t block, uint64_t count, uint8_t* chunk) {
    const size_t bytes = static_cast<size_t>(count) * kBlockSize;
    if (source.ReadAt(block * kBlockSize, chunk, bytes) == static_cast<int64_t>(bytes))
        return true;
    // One at a time, so that one bad sector costs one block.
    bool all = true;
    for (uint64_t k = 0; k < count; ++k) {
        uint8_t* b = chunk + k * kBlockSize;
        if (source.ReadAt((block + k) * kBlockSize, b, kBlockSize) != static_cast<int64_t>(kBlockSize)) {
            std::fill(b, b + kBlockHeaderSize, 0xFF);
            all = false;
        }
    }
    return all;
}

}  // namespace

bool TimeFitsNeighbours(int64_t previous, int64_t time, int64_t next) {
    if (previous < 0 && next < 0)
        return true;
    if (previous >= 0 && std::llabs(time - previous) <= kMaxNeighbourStep)
        return true;
    return next >= 0 && std::llabs(time - next) <= kMaxNeighbourStep;
}

BlockStats ScanBlocks(const ByteSource& source, int videoCode, bool rawDisk,
                      const std::function<bool(uint64_t, uint64_t)>& progress) {
    BlockStats stats;
    const uint64_t size = source.Size();
    stats.blocks = size / kBlockSize;
    stats.trailingBytes = size % kBlockSize;

    // A valid block's time is judged once the next valid block is known, so
    // one valid block is held back (`pending`, with `before`, the time of the
    // trusted block before it). Non-recording blocks before `pending` form the
    // open area; those after it the run, which joins an area once `pending`
    // is judged.
    struct Pending {
        uint64_t index = kNoBlock;
        int64_t time = -1;
        uint16_t channelBits = 0;
    } pending;
    int64_t before = -1;
    uint64_t areaStart = kNoBlock, areaEmpty = 0;
    uint64_t runStart = kNoBlock, runEmpty = 0;

    auto closeArea = [&](uint64_t endBlock) {
        if (areaStart == kNoBlock)
            return;
        ++stats.areaCount;
        if (stats.areas.size() < BlockStats::kMaxAreas)
            stats.areas.push_back({areaStart * kBlockSize, (endBlock - areaStart) * kBlockSize, areaEmpty});
        areaStart = kNoBlock;
        areaEmpty = 0;
    };
    auto settle = [&](int64_t next) {
        if (pending.index == kNoBlock)
            return;
        if (TimeFitsNeighbours(before, pending.time, next)) {
            closeArea(pending.index);
            ++stats.validBlocks;
            stats.channelBits |= pending.channelBits;
            if (stats.firstTime < 0 || pending.time < stats.firstTime)
                stats.firstTime = pending.time;
            if (pending.time > stats.lastTime)
                stats.lastTime = pending.time;
            before = pending.time;
            if (runStart != kNoBlock) {
                areaStart = runStart;
                areaEmpty = runEmpty;
            }
        } else {
            ++stats.untrustedBlocks;
            ++stats.damagedBlocks;
            if (areaStart == kNoBlock)
                areaStart = pending.index;
            areaEmpty += runEmpty;  // the run follows the block directly
        }
        pending.index = kNoBlock;
        runStart = kNoBlock;
        runEmpty = 0;
    };

    std::vector<uint8_t> chunk(kChunkBlocks * kBlockSize);
    uint64_t block = 0;
    while (block < stats.blocks) {
        const uint64_t count = std::min<uint64_t>(kChunkBlocks, stats.blocks - block);
        if (!ReadBlocks(source, block, count, chunk.data()))
            stats.readError = true;
        for (uint64_t k = 0; k < count; ++k) {
            uint8_t* header = chunk.data() + k * kBlockSize;
            if (rawDisk)
                SwapBytePairs(header, kBlockHeaderSize);
            const BlockHeader h = DecodeBlockHeader(header, videoCode);
            if (h.valid) {
                settle(h.timeSeconds);
                pending = {block + k, h.timeSeconds, h.channelBits};
                continue;
            }
            const bool empty = ZeroHeader(header);
            ++stats.damagedBlocks;
            stats.emptyBlocks += empty ? 1 : 0;
            if (pending.index == kNoBlock) {
                if (areaStart == kNoBlock)
                    areaStart = block + k;
                areaEmpty += empty ? 1 : 0;
            } else {
                if (runStart == kNoBlock)
                    runStart = block + k;
                runEmpty += empty ? 1 : 0;
            }
        }
        block += count;
        if (progress && !progress(block * kBlockSize, size))
            break;
    }
    settle(-1);
    closeArea(block);
    return stats;
}

uint64_t FindNextValidBlock(const ByteSource& source, int videoCode, bool rawDisk, uint64_t from,
                            uint64_t* blocksRead, uint64_t limitBytes) {
    uint64_t block = (from + kBlockSize - 1) / kBlockSize;
    uint64_t blocks = source.Size() / kBlockSize;
    if (limitBytes / kBlockSize < blocks - std::min(blocks, block))
        blocks = block + limitBytes / kBlockSize;
    std::vector<uint8_t> chunk;
    while (block < blocks) {
        // Start small: the next valid block is usually near.
        const uint64_t count = std::min<uint64_t>(chunk.empty() ? 8 : kChunkBlocks, blocks - block);
        chunk.resize(static_cast<size_t>(count) * kBlockSize);
        ReadBlocks(source, block, count, chunk.data());
        for (uint64_t k = 0; k < count; ++k) {
            uint8_t* header = chunk.data() + k * kBlockSize;
            if (blocksRead)
                ++*blocksRead;
            if (rawDisk)
                SwapBytePairs(header, kBlockHeaderSize);
            if (DecodeBlockHeader(header, videoCode).valid)
                return (block + k) * kBlockSize;
        }
        block += count;
    }
    return kNoBlock;
}

uint64_t FindPrevValidBlock(const ByteSource& source, int videoCode, bool rawDisk, uint64_t before) {
    uint64_t end = std::min(before, source.Size()) / kBlockSize;  // blocks below `end`, whole ones
    if (before % kBlockSize != 0 && before < source.Size() / kBlockSize * kBlockSize)
        end = before / kBlockSize + 1;
    std::vector<uint8_t> chunk;
    while (end > 0) {
        const uint64_t count = std::min<uint64_t>(chunk.empty() ? 8 : kChunkBlocks, end);
        const uint64_t block = end - count;
        chunk.resize(static_cast<size_t>(count) * kBlockSize);
        ReadBlocks(source, block, count, chunk.data());
        for (uint64_t k = count; k-- > 0;) {
            uint8_t* header = chunk.data() + k * kBlockSize;
            if (rawDisk)
                SwapBytePairs(header, kBlockHeaderSize);
            if (DecodeBlockHeader(header, videoCode).valid)
                return (block + k) * kBlockSize;
        }
        end = block;
    }
    return kNoBlock;
}

}  // namespace zo::media
