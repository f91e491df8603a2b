// Finds a time on a recording or a whole DVR disk without reading all of it.
//
// A disk is a ring: block times rise along the disk, fall back once where the
// recorder overwrites its oldest footage (the turning point), and are broken
// by areas that hold no recording (never-written zeros, damaged blocks, the
// recorder's own areas). A recording file is one rising run.
//
// The locator bisects over block times, stepping over blocks whose time does
// not count, first for the turning point and then for the time, and ends
// with a short forward scan so that the answer is exact: the first block in
// time order whose time is at or after the one asked for. A search costs
// about 2 log2(blocks) probes plus the length of the non-recording areas it
// has to cross.
//
// A block's time counts when its check byte matches and it lies within a day
// of the nearest check-passing block before or after it (one in 256 blocks
// of random bytes passes the check by chance and then carries any time).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "media/ByteSource.h"
#include "media/RecordingFormat.h"

namespace zo::media {

inline constexpr uint64_t kNoBlockIndex = UINT64_MAX;

class TimeLocator {
public:
    // The source must outlive the locator. Nothing is read until a search.
    TimeLocator(const ByteSource& source, int videoCode, bool rawDisk);

    struct Result {
        uint64_t block = kNoBlockIndex;  // block index; kNoBlockIndex when nothing is at or after the time
        uint32_t blockTime = 0;
        uint64_t Position() const { return block * kBlockSize; }
        bool Found() const { return block != kNoBlockIndex; }
    };

    // The first block in time order whose time is at or after `seconds`.
    Result Find(uint32_t seconds);

    // Index of the oldest block when the ring has turned, kNoBlockIndex when
    // the source is one rising run (or holds no counting block).
    uint64_t TurningPoint();
    // First counting block in disk order, kNoBlockIndex if none.
    uint64_t FirstBlock();

    // Read calls made and blocks read so far (for measurements and tests).
    uint64_t Reads() const { return reads_; }
    uint64_t BlocksRead() const { return blocksRead_; }
    // Whether a read failed (the failed blocks were treated as damaged).
    bool ReadError() const { return readError_; }

    uint64_t Blocks() const { return blocks_; }
    // The block's time when it counts, else -1.
    int64_t CountingTime(uint64_t block);

private:
    struct Header {
        bool valid = false;
        uint32_t time = 0;
    };
    // Header of block `i` (i < blocks_), reading a chunk around it on a miss.
    Header HeaderAt(uint64_t i);
    void Load(uint64_t first, uint64_t count);
    // Time of the nearest check-passing block before (`direction` < 0) or
    // after `i`, -1 if none.
    int64_t NeighbourTime(uint64_t i, int direction);
    // First counting block in [from, end), kNoBlockIndex if none.
    uint64_t NextCounting(uint64_t from, uint64_t end);
    template <typename Pred>
    uint64_t Bisect(uint64_t lo, uint64_t hi, Pred pred);
    bool InOlderPart(uint64_t i, uint32_t firstTime);

    const ByteSource& source_;
    int videoCode_;
    bool rawDisk_;
    uint64_t blocks_;
    bool turnKnown_ = false;
    uint64_t first_ = kNoBlockIndex;
    uint64_t turn_ = kNoBlockIndex;
    uint64_t sameFrom_ = 0, sameEnd_ = 0;  // see InOlderPart

    // Decoded headers of the last chunk read, and its place.
    std::vector<uint8_t> chunk_;
    std::vector<Header> headers_;
    uint64_t chunkFirst_ = 0;
    uint64_t chunkCount_ = 0;
    // Reading on from a chunk grows the next one; a jump starts it small again.
    uint64_t run_ = 4;

    uint64_t reads_ = 0;
    uint64_t blocksRead_ = 0;
    bool readError_ = false;
};

// The same answers by reading every block (tests, fuzzing, `zrf index`).
struct PlainTimeScan {
    std::vector<int64_t> times;  // per block: counting time or -1
    uint64_t turn = kNoBlockIndex;
    uint64_t first = kNoBlockIndex;
    // Whether the counting times form one rising run or a ring turned once
    // whose last time is not after its first.
    bool ring = true;

    // `progress(done, total)` in bytes now and then; returning false stops
    // the scan (the rest counts as unread, -1).
    static PlainTimeScan Read(const ByteSource& source, int videoCode, bool rawDisk,
                              const std::function<bool(uint64_t, uint64_t)>& progress = {});
    bool readError = false;  // some blocks could not be read (taken as damaged)
    // Counting time of every block from their check results and times (-1: check fails).
    static std::vector<int64_t> CountingTimes(const std::vector<int64_t>& checked);
    TimeLocator::Result Find(uint32_t seconds) const;
};

}  // namespace zo::media
