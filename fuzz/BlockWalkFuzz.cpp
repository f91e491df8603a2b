// Arbitrary bytes as a whole source: the block scan and the walk over
// damaged areas, forward and backward, must end, stay within the source and
// agree with each other.
//
// Input: [flags][recording bytes]. Flag bit 0: raw disk; bit 1: mend the
// check bytes of the blocks whose first data byte is even, so that the
// walks meet runs of valid blocks between damaged ones; bits 2-7: the
// mended blocks start that many times 65 bytes into the source (an image
// cut from inside a block), and the walks read on the grid the reader finds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "media/BlockScan.h"
#include "media/CZoFile.h"
#include "media/FrameWalk.h"
#include "media/RecordingFormat.h"

using namespace zo::media;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool raw = data[0] & 1;
    std::vector<uint8_t> bytes(data + 1, data + size);
    const size_t shift = (data[0] >> 2) * 65;
    if (data[0] & 2) {
        for (size_t b = shift; b + kBlockSize <= bytes.size(); b += kBlockSize) {
            uint8_t* block = bytes.data() + b;
            if (raw)
                SwapBytePairs(block, kBlockSize);
            if (block[8] % 2 == 0)
                block[7] = CheckByte(block);
            if (raw)
                SwapBytePairs(block, kBlockSize);
        }
    }
    const MemorySource memory(bytes.data(), bytes.size());
    const BlockStats stats = ScanBlocks(memory, kVideoZOC, raw);
    if (stats.validBlocks + stats.damagedBlocks != stats.blocks)
        std::abort();
    uint64_t areaBytes = 0;
    for (const BlockArea& a : stats.areas) {
        if (a.offset + a.bytes > bytes.size())
            std::abort();
        areaBytes += a.bytes;
    }
    if (areaBytes != stats.damagedBlocks * kBlockSize)
        std::abort();  // every damaged block lies in exactly one area

    CZoFile reader;
    reader.SetFormat(kVideoZOC);
    reader.OpenSource(std::make_unique<MemorySource>(bytes.data(), bytes.size()), "fuzz", raw);
    const uint32_t origin = reader.FindGridOrigin();
    if (origin >= kBlockSize || reader.GetSize() + origin != bytes.size())
        std::abort();
    // The scan on the reader's grid keeps the same account of its blocks.
    const BlockStats onGrid = ScanBlocks(*reader.Source(), kVideoZOC, raw);
    if (onGrid.validBlocks + onGrid.damagedBlocks != onGrid.blocks || onGrid.blocks * kBlockSize > reader.GetSize())
        std::abort();
    for (const BlockArea& a : onGrid.areas)
        if (a.offset + a.bytes > reader.GetSize())
            std::abort();
    std::vector<uint8_t> frame(kMaxFrameSize);
    FrameWalk forward(reader);
    size_t frames = 0;
    while (forward.Next(frame) > 0) {
        if (reader.GetPosition() > reader.GetSize() || ++frames > bytes.size())
            std::abort();
    }
    reader.SetPosition(reader.GetSize());
    FrameWalk backward(reader);
    size_t back = 0;
    while (backward.Prev(frame) > 0) {
        if (reader.GetPosition() > reader.GetSize() || ++back > bytes.size())
            std::abort();
    }
    for (const auto* areas : {&forward.Areas(), &backward.Areas()})
        for (const BlockArea& a : *areas)
            if (a.offset + a.bytes > reader.GetSize() || a.bytes == 0)
                std::abort();
    return 0;
}
