// Lays frames into 4096-byte recording blocks, the way a recorder does:
// block headers with time stamps, channel bits, record interval and check
// bytes for any video code, optionally swapped pairwise as on a raw disk.
// Keeps a record of every frame and block so tests know what a reader must
// deliver.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "media/RecordingFormat.h"

namespace zo::synth {

class RecordingBuilder {
public:
    struct FrameRecord {
        media::FrameKind kind = media::FrameKind::None;
        uint8_t code = 0;      // start-code byte
        int channel = 0;       // as the reader reports it
        uint64_t stream = 0;   // stream offset of the start code's first byte
        uint64_t length = 0;   // stream bytes up to the next frame (padding included)
    };
    struct BlockRecord {
        uint32_t timeSeconds = 0;
        uint16_t channelBits = 0;
        uint8_t interval = 0;
    };
    // Receives each finished block, as stored (swapped for a raw disk).
    using BlockSink = std::function<void(const uint8_t* block, size_t size)>;

    // Collects the blocks in memory (see Bytes()).
    RecordingBuilder(int videoCode, bool rawDisk);
    // Hands every block to `sink`; `keepStream` keeps a copy of the stream
    // bytes for tests (off for very large recordings).
    RecordingBuilder(int videoCode, bool rawDisk, BlockSink sink, bool keepStream);

    // Header values of the blocks begun from now on.
    void SetTime(uint32_t seconds) { time_ = seconds; }
    void SetChannelBits(uint16_t bits) { channelBits_ = bits; }
    void SetInterval(uint8_t interval) { interval_ = interval; }
    uint32_t Time() const { return time_; }

    // Appends a frame (start code included) to the stream.
    void AddFrame(std::span<const uint8_t> frame);
    // Appends stream bytes that belong to the frame before (padding, fill).
    void AddBytes(std::span<const uint8_t> bytes);
    void AddFill(size_t count, uint8_t value = 0);
    // Pads the current frame so that the next start code begins `before`
    // bytes before the end of the current block's data (1..3 splits it
    // 1+3, 2+2 or 3+1 across the boundary).
    void PadToSplit(int before);

    // Completes the last block with zero fill (stream bytes of the last
    // frame). Call once; further frames may not be added.
    void Finish();
    // Like Finish, but the last block is cut to its first `lastBlockBytes`
    // bytes (1..4095), as in a file whose size is no multiple of 4096.
    void FinishRagged(size_t lastBlockBytes);

    uint64_t StreamSize() const { return streamSize_; }
    uint64_t BlockCount() const { return blocks_.size(); }
    const std::vector<FrameRecord>& Frames() const { return frames_; }
    const std::vector<BlockRecord>& Blocks() const { return blocks_; }
    // The stream bytes (when kept).
    const std::vector<uint8_t>& Stream() const { return stream_; }
    // The recording (in-memory builders).
    std::vector<uint8_t>& Bytes() { return bytes_; }

    // File offset of a stream offset.
    static uint64_t FileOffset(uint64_t streamOffset) {
        return streamOffset / media::kBlockDataSize * media::kBlockSize + media::kBlockHeaderSize +
               streamOffset % media::kBlockDataSize;
    }
    static uint64_t BlockOfStream(uint64_t streamOffset) { return streamOffset / media::kBlockDataSize; }

private:
    void Put(const uint8_t* data, size_t size);
    void EmitBlock(size_t keep = media::kBlockSize);

    int videoCode_;
    bool rawDisk_;
    BlockSink sink_;
    bool keepStream_;
    uint32_t time_ = 1237034096;  // 2009-03-14 12:34:56
    uint16_t channelBits_ = 1;
    uint8_t interval_ = 1;
    uint8_t block_[media::kBlockSize] = {};
    size_t fill_ = media::kBlockHeaderSize;  // bytes used in block_
    uint64_t streamSize_ = 0;
    bool finished_ = false;
    std::vector<FrameRecord> frames_;
    std::vector<BlockRecord> blocks_;
    std::vector<uint8_t> stream_;
    std::vector<uint8_t> bytes_;
};

// Marks block `index` of a built recording damaged (its check byte no longer matches).
void DamageBlock(std::vector<uint8_t>& recording, uint64_t index, bool rawDisk);

}  // namespace zo::synth
