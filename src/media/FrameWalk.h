// FrameWalk: reads every frame of a whole source forward, as the
// command-line tools and the export do. Where a read fails inside the
// source (damaged blocks, unreadable blocks, areas that hold no recording)
// it goes on at the next valid block found by the block scan and records the
// area it stepped over; it ends only where no valid block follows.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "media/BlockScan.h"
#include "media/CZoFile.h"

namespace zo::media {

class FrameWalk {
public:
    explicit FrameWalk(CZoFile& reader) : reader_(reader) {}

    // The next frame (the reader's properties describe it), or 0 at the end.
    int Next(std::span<uint8_t> frame);

    // The previous frame, reading backward (start with the reader's position
    // at the end), or 0 at the start of the source; damaged areas are stepped
    // over the same way.
    int Prev(std::span<uint8_t> frame);

    // Areas stepped over so far, in order, adjacent ones merged. An area is
    // reported to `onArea` once the frame after it (or the end) is reached.
    const std::vector<BlockArea>& Areas() const { return areas_; }
    void SetAreaHandler(std::function<void(const BlockArea&)> handler) { onArea_ = std::move(handler); }

private:
    void Note(uint64_t from, uint64_t to);
    void Flush();

    CZoFile& reader_;
    std::vector<BlockArea> areas_;
    BlockArea pending_;
    bool hasPending_ = false;
    std::function<void(const BlockArea&)> onArea_;
};

}  // namespace zo::media
