// The block grid of a source. A recording's 4096-byte blocks start at byte 0
// of a file or a disk, but a disk image made with `dd` from any offset of
// the disk carries them shifted: its first block starts `origin` bytes into
// the image (0..4095), after the tail of a block cut off by the image.
//
// The origin is found once, when a source is opened, and every reader then
// works on a `GridSource`, a view of the source from the origin on, so that
// positions, block numbers and block searches agree everywhere. Positions
// are counted from the origin: at origin 0 (every recording file, every
// whole disk) they are the byte offsets of the source.
#pragma once

#include <cstdint>
#include <memory>

#include "media/ByteSource.h"

namespace zo::media {

// How far into a source the origin is looked for (bytes examined); a source
// without a confirmed run of blocks within it keeps origin 0.
inline constexpr uint64_t kGridSearchBytes = 256ull << 20;
// Valid blocks in a row, 4096 bytes apart, that confirm an origin.
inline constexpr int kGridRunBlocks = 4;

// The origin of the block grid: the offset modulo 4096 of the first place
// in the source, in byte order, where kGridRunBlocks consecutive block
// headers pass their check byte. The first 16 MiB are tried at every byte
// offset; beyond that every eighth 4096-byte window is (a recording there
// is longer than that). 0 when there is no such run: a short or damaged
// source reads as it always did. The check byte does not depend on the
// video code; `rawDisk` swaps byte pairs as they lie from the candidate on.
uint32_t FindBlockGridOrigin(const ByteSource& source, bool rawDisk, uint64_t limitBytes = kGridSearchBytes);

// The bytes of `inner` from `origin` on. Reads past the end return fewer
// bytes, as the source does.
class GridSource final : public ByteSource {
public:
    // Borrows `inner`, which must outlive the view.
    GridSource(const ByteSource& inner, uint32_t origin) : inner_(&inner), origin_(origin) {}
    // Owns `inner`.
    GridSource(std::unique_ptr<ByteSource> inner, uint32_t origin)
        : owned_(std::move(inner)), inner_(owned_.get()), origin_(origin) {}

    uint64_t Size() const override {
        const uint64_t size = inner_->Size();
        return size > origin_ ? size - origin_ : 0;
    }
    int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const override;
    bool Identity(uint64_t& device, uint64_t& inode) const override { return inner_->Identity(device, inode); }

    uint32_t Origin() const { return origin_; }

private:
    std::unique_ptr<ByteSource> owned_;
    const ByteSource* inner_;
    uint32_t origin_;
};

}  // namespace zo::media
