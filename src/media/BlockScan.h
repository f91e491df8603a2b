// Block-level views of a source: a tally of every block header, the search
// for the next valid block (how readers step over damaged or empty areas),
// and the rule by which a block's time is trusted.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "media/ByteSource.h"

namespace zo::media {

// Largest step, in seconds, between a block's time and that of a valid
// neighbour for the time to count.
inline constexpr int64_t kMaxNeighbourStep = 86400;

// Neighbour-consistency rule. One in 256 blocks of random bytes passes the
// check byte by chance; its time is then arbitrary. A valid block's time is
// trusted when it lies within a day of the nearest valid block before it or
// the nearest valid block after it (`previous`/`next` are those blocks'
// times, -1 when there is none). A block with no valid neighbour at all is
// trusted: nothing contradicts it.
bool TimeFitsNeighbours(int64_t previous, int64_t time, int64_t next);

// A run of blocks holding no trusted recording block.
struct BlockArea {
    uint64_t offset = 0;  // byte offset of its first block
    uint64_t bytes = 0;
    uint64_t emptyBlocks = 0;  // blocks whose header is all zero (never written)
};

struct BlockStats {
    uint64_t blocks = 0;        // whole 4096-byte blocks
    uint64_t validBlocks = 0;   // check byte matches and the time fits its neighbours
    uint64_t damagedBlocks = 0; // every other block, empty ones included
    uint64_t emptyBlocks = 0;   // of those, blocks with an all-zero header
    uint64_t untrustedBlocks = 0;  // of those, check byte matches but the time does not fit
    uint64_t trailingBytes = 0; // bytes after the last whole block
    int64_t firstTime = -1;     // earliest and latest trusted block time (seconds), -1 if none
    int64_t lastTime = -1;
    uint16_t channelBits = 0;   // union of the valid blocks' channel bits
    bool readError = false;     // some blocks could not be read (counted as damaged)
    // Runs of non-recording blocks between, before and after the recording,
    // in order; at most kMaxAreas are kept (areaCount counts them all).
    std::vector<BlockArea> areas;
    uint64_t areaCount = 0;
    static constexpr size_t kMaxAreas = 1000;
};

// Reads the source in large chunks. `progress(done, total)` is called now and
// then with bytes examined; it may return false to stop early.
BlockStats ScanBlocks(const ByteSource& source, int videoCode, bool rawDisk,
                      const std::function<bool(uint64_t, uint64_t)>& progress = {});

inline constexpr uint64_t kNoBlock = UINT64_MAX;

// Offset of the first block at or after `from` (rounded up to a block
// boundary) whose check byte matches, reading only forward; blocks that
// cannot be read count as damaged. kNoBlock when there is none before the
// end (or within `limitBytes` of `from`). `blocksRead`, when given, is
// increased by the headers examined.
uint64_t FindNextValidBlock(const ByteSource& source, int videoCode, bool rawDisk, uint64_t from,
                            uint64_t* blocksRead = nullptr, uint64_t limitBytes = UINT64_MAX);

// Offset of the last valid block that begins before `before`, reading
// backward; kNoBlock when there is none.
uint64_t FindPrevValidBlock(const ByteSource& source, int videoCode, bool rawDisk, uint64_t before);

}  // namespace zo::media
