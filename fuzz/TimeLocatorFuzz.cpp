// The time locator on arbitrary disks: rising runs of block times, a turn,
// never-written and damaged blocks, blocks whose check byte passes with a
// time far off, or the input bytes themselves as blocks. Every search must
// end, read only inside the source, answer with a counting block at or
// after the time, and agree with a plain scan whenever the counting times
// form a ring.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/BlockGrid.h"
#include "media/TimeLocator.h"

namespace {

using namespace zo::media;

class BoundedSource final : public ByteSource {
public:
    explicit BoundedSource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    uint64_t Size() const override { return bytes_.size(); }
    int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
        if (offset >= bytes_.size() || length > bytes_.size() - offset)
            __builtin_trap();  // outside the source
        std::memcpy(buffer, bytes_.data() + offset, length);
        return static_cast<int64_t>(length);
    }

private:
    std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> Describe(const uint8_t* data, size_t size, bool raw, int code) {
    std::vector<uint8_t> disk;
    uint32_t time = 1237034096;
    bool turned = false;
    for (size_t i = 0; i + 1 < size && disk.size() < 3000 * kBlockSize; i += 2) {
        const uint8_t kind = data[i] & 7, value = data[i + 1];
        uint8_t block[kBlockSize] = {};
        switch (kind) {
        case 5:  // never written
            break;
        case 6:  // damaged
            EncodeBlockHeader(time, 1, 1, code, block);
            block[7] ^= static_cast<uint8_t>(value | 1);
            break;
        case 7:
            if (!turned && value < 128) {  // the turn: back to older footage
                turned = true;
                time -= 1000u + value * 37u;
                EncodeBlockHeader(time, 1, 1, code, block);
            } else {  // passes the check byte by chance, with any time
                EncodeBlockHeader(static_cast<uint32_t>(value) * 16777259u, 1, 1, code, block);
            }
            break;
        default:  // recording, time rising by 0 to 2 seconds
            time += value % 3;
            EncodeBlockHeader(time, 1, 1, code, block);
            break;
        }
        if (raw)
            SwapBytePairs(block, kBlockHeaderSize);
        disk.insert(disk.end(), block, block + kBlockSize);
    }
    return disk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const bool raw = data[0] & 1;
    const int code = (data[0] >> 1) % kVideoCodeCount;
    const bool bytesAsBlocks = data[0] & 0x10;
    std::vector<uint8_t> disk = bytesAsBlocks ? std::vector<uint8_t>(data + 1, data + size)
                                              : Describe(data + 1, size - 1, raw, code);
    const uint64_t trailing = data[0] >> 5;  // bytes after the last whole block
    disk.resize(disk.size() + trailing, 0xAB);
    BoundedSource bounded(std::move(disk));
    // Bytes taken as blocks are read on the block grid they show, as the
    // tools read an image that may start inside a block.
    const GridSource source(bounded, bytesAsBlocks ? FindBlockGridOrigin(bounded, raw) : 0);
    const PlainTimeScan plain = PlainTimeScan::Read(source, code, raw);

    int64_t lowest = INT64_MAX, highest = -1;
    for (int64_t t : plain.times)
        if (t >= 0) {
            lowest = std::min(lowest, t);
            highest = std::max(highest, t);
        }
    std::vector<uint32_t> targets = {0, 0xFFFFFFFFu, 1237034096};
    if (highest >= 0)
        for (int64_t t = lowest - 2; t <= highest + 2 && targets.size() < 48; ++t)
            if (t >= 0 && t <= 0xFFFFFFFFll)
                targets.push_back(static_cast<uint32_t>(t));

    TimeLocator shared(source, code, raw);
    for (size_t k = 0; k < targets.size(); ++k) {
        const uint32_t t = targets[k];
        TimeLocator fresh(source, code, raw);
        TimeLocator& locator = k % 2 ? shared : fresh;
        const TimeLocator::Result r = locator.Find(t);
        if (r.Found()) {
            if (r.block >= plain.times.size() || plain.times[r.block] < 0 || plain.times[r.block] != r.blockTime ||
                r.blockTime < t)
                __builtin_trap();
        }
        if (plain.ring && r.block != plain.Find(t).block)
            __builtin_trap();
    }
    return 0;
}
