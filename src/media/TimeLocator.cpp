#include "media/TimeLocator.h"

#include <algorithm>

#include "media/BlockScan.h"

namespace zo::media {

namespace {

// Blocks a bisection probe looks at before it takes the probe's place as the
// start of an area without recording and goes on below it.
constexpr uint64_t kProbeWindow = 64;
// Largest read: 256 blocks, 1 MiB.
constexpr uint64_t kMaxRun = 256;
// First read of a probe: the block before it and three from it.
constexpr uint64_t kProbeRun = 4;

int64_t Distance(int64_t a, int64_t b) { return a > b ? a - b : b - a; }

}  // namespace

TimeLocator::TimeLocator(const ByteSource& source, int videoCode, bool rawDisk)
    : source_(source), videoCode_(videoCode), rawDisk_(rawDisk), blocks_(source.Size() / kBlockSize),
      chunk_(std::min<uint64_t>(kMaxRun, blocks_) * kBlockSize), headers_(std::min<uint64_t>(kMaxRun, blocks_)) {}

void TimeLocator::Load(uint64_t first, uint64_t count) {
    count = std::min({count, blocks_ - first, static_cast<uint64_t>(headers_.size())});
    ++reads_;
    blocksRead_ += count;
    const int64_t got = source_.ReadAt(first * kBlockSize, chunk_.data(), count * kBlockSize);
    const uint64_t whole = got > 0 ? static_cast<uint64_t>(got) / kBlockSize : 0;
    if (whole < count)
        readError_ = true;
    for (uint64_t k = 0; k < count; ++k) {
        Header& h = headers_[k];
        h = Header{};
        if (k >= whole)
            continue;  // unreadable: counted as damaged
        uint8_t* header = chunk_.data() + k * kBlockSize;
        if (rawDisk_)
            SwapBytePairs(header, kBlockHeaderSize);
        const BlockHeader decoded = DecodeBlockHeader(header, videoCode_);
        h.valid = decoded.valid;
        h.time = decoded.timeSeconds;
    }
    chunkFirst_ = first;
    chunkCount_ = count;
}

TimeLocator::Header TimeLocator::HeaderAt(uint64_t i) {
    if (i >= chunkFirst_ && i < chunkFirst_ + chunkCount_)
        return headers_[i - chunkFirst_];
    if (chunkCount_ > 0 && i == chunkFirst_ + chunkCount_) {
        run_ = std::min(run_ * 2, kMaxRun);  // reading on: larger steps
        Load(i, run_);
    } else if (chunkCount_ > 0 && i + 1 == chunkFirst_) {
        run_ = std::min(run_ * 2, kMaxRun);  // reading back
        const uint64_t first = i + 1 >= run_ ? i + 1 - run_ : 0;
        Load(first, i + 1 - first);
    } else {
        run_ = kProbeRun;
        Load(i > 0 ? i - 1 : 0, kProbeRun);
    }
    return headers_[i - chunkFirst_];
}

int64_t TimeLocator::NeighbourTime(uint64_t i, int direction) {
    if (direction < 0) {
        for (uint64_t j = i; j-- > 0;) {
            const Header h = HeaderAt(j);
            if (h.valid)
                return h.time;
        }
    } else {
        for (uint64_t j = i + 1; j < blocks_; ++j) {
            const Header h = HeaderAt(j);
            if (h.valid)
                return h.time;
        }
    }
    return -1;
}

int64_t TimeLocator::CountingTime(uint64_t i) {
    if (i >= blocks_)
        return -1;
    const Header h = HeaderAt(i);
    if (!h.valid)
        return -1;
    const int64_t t = h.time;
    // The neighbour that is usually right beside it first; the other only
    // when the first does not settle it.
    const int64_t next = NeighbourTime(i, +1);
    if (next >= 0 && Distance(next, t) <= kMaxNeighbourStep)
        return t;
    const int64_t previous = NeighbourTime(i, -1);
    return TimeFitsNeighbours(previous, t, next) ? t : -1;
}

uint64_t TimeLocator::NextCounting(uint64_t from, uint64_t end) {
    end = std::min(end, blocks_);
    for (uint64_t i = from; i < end; ++i)
        if (CountingTime(i) >= 0)
            return i;
    return kNoBlockIndex;
}

// First counting block of [lo, hi) for which `pred` holds, `hi` if none;
// `pred` must be false and then true along the counting blocks of the range.
// A probe that meets no counting block within its window takes the area for
// one without recording and bisects below it; the closing forward scan
// crosses such an area only when the answer lies beyond it, and bisects
// again behind it.
template <typename Pred>
uint64_t TimeLocator::Bisect(uint64_t lo, uint64_t hi, Pred pred) {
    for (;;) {
        // Every counting block in [range start, a) fails `pred`.
        uint64_t a = lo, b = hi;
        while (a < b) {
            const uint64_t mid = a + (b - a) / 2;
            const uint64_t j = NextCounting(mid, std::min(b, mid + kProbeWindow));
            if (j == kNoBlockIndex)
                b = mid;
            else if (pred(j))
                b = j;
            else
                a = j + 1;
        }
        const uint64_t j = NextCounting(a, hi);
        if (j == kNoBlockIndex)
            return hi;
        if (pred(j))
            return j;
        lo = j + 1;
    }
}

// Along a turned ring, false on the newer part (from the disk's start) and
// true on the older part (from the turning point). A block of the first
// block's second is in the older part only when no other second follows it.
bool TimeLocator::InOlderPart(uint64_t i, uint32_t firstTime) {
    const int64_t t = CountingTime(i);
    if (t != firstTime)
        return t < firstTime;
    // Blocks (sameFrom_, sameEnd_) are known to hold no counting time other
    // than the first block's; sameEnd_ is the next block that does, or the
    // end. A recorder whose clock stood still is then read once, not once
    // per probe.
    if (i >= sameFrom_ && i < sameEnd_)
        return sameEnd_ == blocks_;
    uint64_t j = i + 1;
    for (; j < blocks_; ++j) {
        if (j > sameFrom_ && j < sameEnd_) {
            j = sameEnd_;  // already known up to there
            break;
        }
        const int64_t u = CountingTime(j);
        if (u >= 0 && u != firstTime)
            break;
    }
    sameFrom_ = i;
    sameEnd_ = j;
    return j == blocks_;
}

uint64_t TimeLocator::FirstBlock() {
    if (first_ == kNoBlockIndex && !turnKnown_) {
        first_ = NextCounting(0, blocks_);
        if (first_ == kNoBlockIndex)
            turnKnown_ = true;
    }
    return first_;
}

uint64_t TimeLocator::TurningPoint() {
    if (turnKnown_)
        return turn_;
    const uint64_t first = FirstBlock();
    if (first != kNoBlockIndex) {
        const auto firstTime = static_cast<uint32_t>(CountingTime(first));
        const uint64_t k = Bisect(first, blocks_, [&](uint64_t i) { return InOlderPart(i, firstTime); });
        turn_ = (k == blocks_ || k == first) ? kNoBlockIndex : k;
    }
    turnKnown_ = true;
    return turn_;
}

TimeLocator::Result TimeLocator::Find(uint32_t seconds) {
    Result result;
    const uint64_t first = FirstBlock();
    if (first == kNoBlockIndex)
        return result;
    const uint64_t turn = TurningPoint();
    auto atOrAfter = [&](uint64_t i) { return CountingTime(i) >= static_cast<int64_t>(seconds); };
    uint64_t j = blocks_;
    if (turn == kNoBlockIndex) {
        j = Bisect(first, blocks_, atOrAfter);
    } else {
        j = Bisect(turn, blocks_, atOrAfter);  // the older part comes first in time
        if (j == blocks_) {
            j = Bisect(first, turn, atOrAfter);
            if (j == turn)
                j = blocks_;
        }
    }
    if (j < blocks_) {
        result.block = j;
        result.blockTime = static_cast<uint32_t>(CountingTime(j));
    }
    return result;
}

std::vector<int64_t> PlainTimeScan::CountingTimes(const std::vector<int64_t>& checked) {
    const size_t n = checked.size();
    std::vector<int64_t> previous(n, -1), out(n, -1);
    for (size_t i = 1; i < n; ++i)
        previous[i] = checked[i - 1] >= 0 ? checked[i - 1] : previous[i - 1];
    int64_t next = -1;
    for (size_t i = n; i-- > 0;) {
        if (checked[i] >= 0 && TimeFitsNeighbours(previous[i], checked[i], next))
            out[i] = checked[i];
        if (checked[i] >= 0)
            next = checked[i];
    }
    return out;
}

PlainTimeScan PlainTimeScan::Read(const ByteSource& source, int videoCode, bool rawDisk,
                                  const std::function<bool(uint64_t, uint64_t)>& progress) {
    const uint64_t blocks = source.Size() / kBlockSize;
    std::vector<int64_t> checked(blocks, -1);
    std::vector<uint8_t> chunk(std::min(kMaxRun, blocks) * kBlockSize);
    bool readError = false;
    for (uint64_t b = 0; b < blocks; b += kMaxRun) {
        const uint64_t count = std::min(kMaxRun, blocks - b);
        const int64_t got = source.ReadAt(b * kBlockSize, chunk.data(), count * kBlockSize);
        const uint64_t whole = got > 0 ? static_cast<uint64_t>(got) / kBlockSize : 0;
        if (whole < count)
            readError = true;
        for (uint64_t k = 0; k < std::min(count, whole); ++k) {
            uint8_t* header = chunk.data() + k * kBlockSize;
            if (rawDisk)
                SwapBytePairs(header, kBlockHeaderSize);
            const BlockHeader h = DecodeBlockHeader(header, videoCode);
            if (h.valid)
                checked[b + k] = h.timeSeconds;
        }
        if (progress && !progress((b + count) * kBlockSize, blocks * kBlockSize))
            break;
    }
    PlainTimeScan scan;
    scan.readError = readError;
    scan.times = CountingTimes(checked);
    int drops = 0;
    int64_t last = -1, firstTime = -1;
    for (uint64_t i = 0; i < blocks; ++i) {
        const int64_t t = scan.times[i];
        if (t < 0)
            continue;
        if (scan.first == kNoBlockIndex) {
            scan.first = i;
            firstTime = t;
        } else if (t < last) {
            ++drops;
            scan.turn = i;
        }
        last = t;
    }
    scan.ring = drops == 0 || (drops == 1 && last <= firstTime);
    if (drops != 1)
        scan.turn = kNoBlockIndex;
    return scan;
}

TimeLocator::Result PlainTimeScan::Find(uint32_t seconds) const {
    TimeLocator::Result result;
    const uint64_t n = times.size();
    auto look = [&](uint64_t from, uint64_t to) {
        for (uint64_t i = from; i < to; ++i)
            if (times[i] >= static_cast<int64_t>(seconds)) {
                result.block = i;
                result.blockTime = static_cast<uint32_t>(times[i]);
                return true;
            }
        return false;
    };
    if (turn == kNoBlockIndex)
        look(0, n);
    else if (!look(turn, n))
        look(0, turn);
    return result;
}

}  // namespace zo::media
