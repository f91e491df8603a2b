#include "synth/RecordingBuilder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zo::synth {

using media::kBlockDataSize;
using media::kBlockHeaderSize;
using media::kBlockSize;

RecordingBuilder::RecordingBuilder(int videoCode, bool rawDisk)
    : RecordingBuilder(videoCode, rawDisk, nullptr, true) {
    sink_ = [this](const uint8_t* block, size_t size) { bytes_.insert(bytes_.end(), block, block + size); };
}

RecordingBuilder::RecordingBuilder(int videoCode, bool rawDisk, BlockSink sink, bool keepStream)
    : videoCode_(videoCode), rawDisk_(rawDisk), sink_(std::move(sink)), keepStream_(keepStream) {}

void RecordingBuilder::AddFrame(std::span<const uint8_t> frame) {
    if (finished_)
        throw std::logic_error("RecordingBuilder: frame after Finish");
    if (!frames_.empty())
        frames_.back().length = streamSize_ - frames_.back().stream;
    FrameRecord record;
    if (frame.size() >= 5 && frame[0] == 0 && frame[1] == 0 && frame[2] == 1) {
        record.code = frame[3];
        const media::StartCodeClass cls = media::ClassifyStartCode(frame[3]);
        record.kind = cls.kind;
        record.channel = cls.kind == media::FrameKind::Sound ? cls.audioChannel
                                                              : media::ReaderVideoChannel(videoCode_, frame[4]);
    }
    record.stream = streamSize_;
    frames_.push_back(record);
    Put(frame.data(), frame.size());
    frames_.back().length = streamSize_ - record.stream;
}

void RecordingBuilder::AddBytes(std::span<const uint8_t> bytes) {
    Put(bytes.data(), bytes.size());
    if (!frames_.empty())
        frames_.back().length = streamSize_ - frames_.back().stream;
}

void RecordingBuilder::AddFill(size_t count, uint8_t value) {
    uint8_t chunk[256];
    std::memset(chunk, value, sizeof chunk);
    while (count > 0) {
        const size_t n = std::min(count, sizeof chunk);
        AddBytes({chunk, n});
        count -= n;
    }
}

void RecordingBuilder::PadToSplit(int before) {
    const size_t room = kBlockSize - fill_;
    const size_t want = static_cast<size_t>(before);
    // Padding of 0xFF bytes can never join a start code.
    AddFill(room >= want ? room - want : room + kBlockDataSize - want, 0xFF);
}

void RecordingBuilder::Put(const uint8_t* data, size_t size) {
    if (keepStream_)
        stream_.insert(stream_.end(), data, data + size);
    streamSize_ += size;
    while (size > 0) {
        const size_t n = std::min(size, kBlockSize - fill_);
        std::memcpy(block_ + fill_, data, n);
        fill_ += n;
        data += n;
        size -= n;
        if (fill_ == kBlockSize)
            EmitBlock();
    }
}

void RecordingBuilder::EmitBlock(size_t keep) {
    media::EncodeBlockHeader(time_, channelBits_, interval_, videoCode_, block_);
    blocks_.push_back({time_, channelBits_, interval_});
    if (rawDisk_)
        media::SwapBytePairs(block_, kBlockSize);
    if (sink_)
        sink_(block_, keep);
    fill_ = kBlockHeaderSize;
}

void RecordingBuilder::Finish() {
    if (finished_)
        return;
    if (fill_ > kBlockHeaderSize)
        AddFill(kBlockSize - fill_);
    finished_ = true;
}

void RecordingBuilder::FinishRagged(size_t lastBlockBytes) {
    if (finished_)
        return;
    const size_t keep = std::clamp<size_t>(lastBlockBytes, 1, kBlockSize - 1);
    // Fill the block without emitting it, then hand on only its head.
    const size_t room = kBlockSize - fill_;
    if (keepStream_)
        stream_.insert(stream_.end(), room, 0);
    streamSize_ += room;
    std::memset(block_ + fill_, 0, room);
    if (!frames_.empty())
        frames_.back().length = streamSize_ - frames_.back().stream;
    EmitBlock(keep);
    finished_ = true;
}

void DamageBlock(std::vector<uint8_t>& recording, uint64_t index, bool rawDisk) {
    const uint64_t at = index * kBlockSize + 7;  // the check byte
    if (at >= recording.size())
        return;
    // On a raw disk, byte 7 of the decoded block is stored at offset 6.
    recording[rawDisk ? at - 1 : at] ^= 0x5A;
}

}  // namespace zo::synth
