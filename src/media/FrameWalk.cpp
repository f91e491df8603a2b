#include "media/FrameWalk.h"

#include <algorithm>

namespace zo::media {

namespace {

bool BlockIsValid(const ByteSource& source, uint64_t offset, int videoCode, bool rawDisk) {
    uint8_t header[kBlockHeaderSize];
    if (source.ReadAt(offset, header, sizeof header) != static_cast<int64_t>(sizeof header))
        return false;
    if (rawDisk)
        SwapBytePairs(header, sizeof header);
    return DecodeBlockHeader(header, videoCode).valid;
}

}  // namespace

int FrameWalk::Next(std::span<uint8_t> frame) {
    const ByteSource* source = reader_.Source();
    if (!source)
        return 0;
    for (;;) {
        const int n = reader_.ReadNextFrame(frame);
        if (n > 0) {
            Flush();
            return n;
        }
        const uint64_t size = reader_.GetSize();
        const uint64_t position = reader_.GetPosition();
        const uint64_t block = position / kBlockSize * kBlockSize;
        if (block + kBlockSize > size)
            break;  // no whole block left: the end of the data
        // A forward read that met a damaged block stops just behind it.
        uint64_t from = block;
        if (position == block && block >= kBlockSize &&
            !BlockIsValid(*source, block - kBlockSize, reader_.VideoCode(), reader_.RawDisk()))
            from = block - kBlockSize;
        const uint64_t next = FindNextValidBlock(*source, reader_.VideoCode(), reader_.RawDisk(), block);
        if (next == kNoBlock) {
            Note(from, size / kBlockSize * kBlockSize);
            break;
        }
        if (next > from)
            Note(from, next);
        if (next == block && from == block) {
            // The block at the position is valid and the read still failed
            // there: it cannot be read as a frame (no start code followed
            // before the end). Step past it so the walk always advances.
            reader_.SetPosition(block + kBlockSize);
            if (block + 2 * kBlockSize > size)
                break;
            continue;
        }
        reader_.SetPosition(next);
    }
    Flush();
    return 0;
}

int FrameWalk::Prev(std::span<uint8_t> frame) {
    const ByteSource* source = reader_.Source();
    if (!source)
        return 0;
    for (;;) {
        const uint64_t position = reader_.GetPosition();
        if (position == 0)
            break;
        const int n = reader_.ReadPrevFrame(frame);
        if (n > 0) {
            Flush();
            return n;
        }
        const uint64_t now = reader_.GetPosition();
        if (now == 0)
            break;
        // A backward read that met a damaged or unreadable block rests on its
        // start; go on from the end of the valid block before it.
        const uint64_t block = now / kBlockSize * kBlockSize;
        if (now != block && now == position)
            break;  // no progress and no damage: nothing before
        const uint64_t previous = FindPrevValidBlock(*source, reader_.VideoCode(), reader_.RawDisk(), block);
        const uint64_t resume = previous == kNoBlock ? 0 : previous + kBlockSize;
        const uint64_t damagedEnd = std::min(block + kBlockSize, source->Size() / kBlockSize * kBlockSize);
        if (resume < damagedEnd)
            Note(resume, damagedEnd);
        if (previous == kNoBlock)
            break;
        if (resume >= position) {
            // No progress would be made: step one block back.
            reader_.SetPosition(block >= kBlockSize ? block - kBlockSize + 1 : 0);
            continue;
        }
        reader_.SetPosition(resume);
    }
    Flush();
    return 0;
}

void FrameWalk::Note(uint64_t from, uint64_t to) {
    if (to <= from)
        return;
    // No frame came since the pending area: what lay between (blocks that
    // pass the check by chance inside damage, say) belongs to it.
    if (hasPending_) {
        const uint64_t low = std::min(pending_.offset, from);
        const uint64_t high = std::max(pending_.offset + pending_.bytes, to);
        pending_ = {low, high - low, 0};
        return;
    }
    Flush();
    pending_ = {from, to - from, 0};
    hasPending_ = true;
}

void FrameWalk::Flush() {
    if (!hasPending_)
        return;
    hasPending_ = false;
    areas_.push_back(pending_);
    if (onArea_)
        onArea_(pending_);
}

}  // namespace zo::media
