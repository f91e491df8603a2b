// Walks every block of a source and tallies its headers: how much of it is
// recording, how much is damaged, and the time range of the valid blocks.
#pragma once

#include <cstdint>
#include <functional>

#include "media/ByteSource.h"

namespace zo::media {

struct BlockStats {
    uint64_t blocks = 0;        // whole 4096-byte blocks
    uint64_t validBlocks = 0;   // check byte matches
    uint64_t damagedBlocks = 0;
    uint64_t trailingBytes = 0; // bytes after the last whole block
    int64_t firstTime = -1;     // earliest and latest valid block time (seconds), -1 if none
    int64_t lastTime = -1;
    uint16_t channelBits = 0;   // union of the valid blocks' channel bits
    bool readError = false;     // the source failed part way
};

// Reads the source in large chunks. `progress(done, total)` is called now and
// then with bytes examined; it may return false to stop early.
BlockStats ScanBlocks(const ByteSource& source, int videoCode, bool rawDisk,
                      const std::function<bool(uint64_t, uint64_t)>& progress = {});

}  // namespace zo::media
