// Disk images shaped like a DVR disk that has wrapped: a recording made by
// the recording builder, turned at a block (its newest part first on the
// disk), with areas of zeros and damaged blocks laid over it.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "media/RecordingFormat.h"
#include "support/TestRecordings.h"

namespace zo::test {

struct RingImageShape {
    uint64_t blocks = 400;       // blocks of recording
    uint64_t perSecond = 3;      // blocks written per second (a run of identical seconds each)
    uint32_t start = 1237034096; // time of the oldest block
    uint64_t turn = 0;           // disk block of the oldest block (0: not turned)
    bool rawDisk = false;
    int channels = 4;
    bool audio = false;
    // Blocks turned into zeros / damaged after turning.
    std::vector<std::pair<uint64_t, uint64_t>> zeros, damaged;
    uint64_t gapAfter = 0;       // a jump of `gapSeconds` after this many blocks of recording (0: none)
    uint32_t gapSeconds = 0;
};

// The image and the time each disk block was written with.
struct RingImage {
    std::vector<uint8_t> bytes;
    std::vector<int64_t> times;  // per disk block, -1 for zeros and damage
};

inline RingImage MakeRingImage(const RingImageShape& shape) {
    synth::RecordingBuilder b(media::kVideoZOC, false);
    synth::Rng rng(11);
    int frame = 0;
    auto timeOfBlock = [&](uint64_t block) {
        uint32_t t = shape.start + static_cast<uint32_t>(block / shape.perSecond);
        if (shape.gapAfter && block >= shape.gapAfter)
            t += shape.gapSeconds;
        return t;
    };
    while (b.BlockCount() < shape.blocks) {
        b.SetTime(timeOfBlock(b.BlockCount()));
        const int channel = frame % shape.channels;
        b.AddFrame(Video(media::kVideoZOC, channel, frame % (shape.channels * 4) < shape.channels, 120, rng));
        if (shape.audio && channel == shape.channels - 1)
            b.AddFrame(Sound(0, 320, static_cast<uint64_t>(frame) * 320));
        ++frame;
    }
    b.Finish();
    std::vector<uint8_t> linear(b.Bytes().begin(), b.Bytes().begin() + static_cast<long>(shape.blocks * media::kBlockSize));
    RingImage image;
    image.bytes.resize(linear.size());
    image.times.resize(shape.blocks);
    for (uint64_t i = 0; i < shape.blocks; ++i) {
        // Disk block i holds recording block (i - turn) mod blocks.
        const uint64_t r = (i + shape.blocks - shape.turn) % shape.blocks;
        std::memcpy(image.bytes.data() + i * media::kBlockSize, linear.data() + r * media::kBlockSize,
                    media::kBlockSize);
        image.times[i] = b.Blocks()[r].timeSeconds;
    }
    for (auto [from, to] : shape.zeros)
        for (uint64_t i = from; i < to && i < shape.blocks; ++i) {
            std::memset(image.bytes.data() + i * media::kBlockSize, 0, media::kBlockSize);
            image.times[i] = -1;
        }
    for (auto [from, to] : shape.damaged)
        for (uint64_t i = from; i < to && i < shape.blocks; ++i) {
            synth::DamageBlock(image.bytes, i, false);
            image.times[i] = -1;
        }
    if (shape.rawDisk)
        media::SwapBytePairs(image.bytes.data(), image.bytes.size());
    return image;
}

}  // namespace zo::test
