// The time index of a recording or DVR disk: its time runs (split where the
// time falls back), the turning point of a ring, the gaps over one second and
// the areas of blocks without a counting time, from one read of every block
// header. `zrf index` prints it and the viewer's timeline draws it; both keep
// it in the same cache, keyed by SourceKey, under the user's cache folder.
//
// Plain functions and values; BuildTimeIndex may run on any thread over a
// source no other code closes meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "media/ByteSource.h"
#include "media/TimeLocator.h"

namespace zo::media {

struct TimeIndex {
    static constexpr size_t kMaxListed = 1000;  // gaps and areas kept; totals count all

    struct Run {
        uint32_t firstTime = 0, lastTime = 0;
        uint64_t firstBlock = 0, lastBlock = 0, blocks = 0;
    };
    struct Gap {
        uint32_t from = 0, to = 0;
        uint64_t block = 0;  // the block after the gap
    };
    struct Area {
        uint64_t first = 0, count = 0;
    };

    uint64_t size = 0, blocks = 0, counting = 0;
    uint64_t turn = kNoBlockIndex;
    uint32_t turnTime = 0;
    std::vector<Run> runs;  // in disk order
    std::vector<Gap> gaps;
    uint64_t gapCount = 0;
    std::vector<Area> damaged;
    uint64_t damagedBlocks = 0, damagedAreas = 0;
    bool readError = false;  // some blocks could not be read (counted as damaged)
    bool complete = true;    // false when the progress callback stopped the scan
};

// Reads every block header once, in 1 MiB reads. `progress(done, total)` (in
// bytes) is called after every read; returning false stops the scan and the
// index is marked incomplete.
TimeIndex BuildTimeIndex(const ByteSource& source, int videoCode, bool rawDisk,
                         const std::function<bool(uint64_t, uint64_t)>& progress = {});

// Lowercase hexadecimal SHA-256 of `data`.
std::string Sha256Hex(std::string_view data);

// What identifies a source and its content: the absolute path, size,
// modification time, the reading options and 32 blocks sampled evenly
// across it. Reads those 32 blocks.
std::string SourceKey(const ByteSource& source, const std::string& path, int videoCode, bool rawDisk);

// $XDG_CACHE_HOME/zoviewer (~/.cache/zoviewer when the variable is unset,
// empty or not absolute); empty when neither is known.
std::string IndexCacheFolder();
// The cache file of the source with this key in `folder`.
std::string IndexCacheFile(const std::string& folder, const std::string& key);

// The cache file's text, and its reading: false when the text is not a
// whole index of the source with `key` (any other key, a truncated or
// hostile file). The text is bounded by the caller.
std::string SerializeTimeIndex(const TimeIndex& index, const std::string& key);
bool ParseTimeIndex(std::string_view text, const std::string& key, TimeIndex& index);

// Reads the cached index of `key` (at most kMaxIndexCacheBytes); false when
// there is none that fits.
inline constexpr size_t kMaxIndexCacheBytes = 64u << 20;
bool LoadCachedTimeIndex(const std::string& folder, const std::string& key, TimeIndex& index);
// Writes it atomically (temporary file, sync, rename). false with the reason.
bool StoreCachedTimeIndex(const std::string& folder, const std::string& key, const TimeIndex& index,
                          std::string* error = nullptr);

}  // namespace zo::media
