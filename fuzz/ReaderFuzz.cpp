// Opens arbitrary bytes as a recording and drives the reader with a
// sequence of forward and backward reads and seeks taken from the input.
//
// Input: [flags][op count][ops...][recording bytes]. Flag bits: 0 raw disk,
// 1-3 video code, 4 mend the check bytes of most blocks so the fuzzer
// reaches the frame logic instead of stopping at damaged blocks, 5 read on
// the block grid the reader finds (bits 6-7 shift the mended blocks by 0,
// 1365, 2730 or 4095 bytes, as in an image cut from inside a block).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/ByteSource.h"
#include "media/CZoFile.h"
#include "media/RecordingFormat.h"
#include "platform/MessagePort.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const uint8_t flags = data[0];
    const size_t opCount = data[1] % 64;
    if (size < 2 + opCount)
        return 0;
    const uint8_t* ops = data + 2;
    std::vector<uint8_t> bytes(data + 2 + opCount, data + size);
    const bool raw = flags & 1;
    const int code = (flags >> 1) & 7;  // 7 is no valid code: must be handled too
    const bool grid = flags & 0x20;
    const size_t shift = grid ? (flags >> 6) * 1365 : 0;
    if (flags & 0x10) {
        // Give most blocks a correct check byte; leave every block whose
        // first data byte is 0xEE damaged.
        for (size_t b = shift; b + zo::media::kBlockSize <= bytes.size(); b += zo::media::kBlockSize) {
            uint8_t* block = bytes.data() + b;
            if (raw)
                zo::media::SwapBytePairs(block, zo::media::kBlockSize);
            if (block[8] != 0xEE)
                block[7] = zo::media::CheckByte(block);
            if (raw)
                zo::media::SwapBytePairs(block, zo::media::kBlockSize);
        }
    }
    static zo::platform::NullMessagePort quiet;
    zo::media::CZoFile reader(&quiet);
    reader.SetFormat(code);
    const uint64_t stored = bytes.size();
    if (!reader.OpenSource(std::make_unique<zo::media::MemorySource>(std::move(bytes)), "fuzz", raw))
        return 0;
    if (grid) {
        const uint32_t origin = reader.FindGridOrigin();
        if (origin >= zo::media::kBlockSize || reader.GetSize() + origin != stored)
            __builtin_trap();  // the grid lies inside the source, and so does the view
    }
    static std::vector<uint8_t> frame(zo::media::kMaxFrameSize);
    const uint64_t length = reader.GetSize();
    for (size_t i = 0; i < opCount; ++i) {
        const uint8_t op = ops[i];
        switch (op & 7) {
        case 0:
        case 1:
        case 2:
            for (int n = 0; n <= (op >> 3); ++n)
                reader.ReadNextFrame(frame);
            break;
        case 3:
        case 4:
            for (int n = 0; n <= (op >> 3); ++n)
                reader.ReadPrevFrame(frame);
            break;
        case 5:
            reader.SetPosition(length ? (length * (op >> 3)) / 31 + (op >> 3) : 0);
            break;
        case 6:
            if (reader.SetStartPosition(length ? (length * (op >> 3)) / 32 : 0))
                reader.ReadFirstFrame(frame);
            break;
        case 7: {
            zo::media::CalendarTime t;
            reader.GetTime(t);
            reader.SetPosition(length + (op >> 3));
            break;
        }
        }
        if (reader.GetPosition() > length + zo::media::kBlockSize)
            __builtin_trap();  // the position never runs away from the source
    }
    return 0;
}
