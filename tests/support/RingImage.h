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

struct RingImageSpec {
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

inline RingImage MakeRingImage(const RingImageSpec& spec) {
    synth::RecordingBuilder b(media::kVideoZOC, false);
    synth::Rng rng(11);
    int frame = 0;
    auto timeOfBlock = [&](uint64_t block) {
        uint32_t t = spec.start + static_cast<uint32_t>(block / spec.perSecond);
        if (spec.gapAfter && block >= spec.gapAfter)
            t += spec.gapSeconds;
        return t;
    };
    while (b.BlockCount() < spec.blocks) {
        b.SetTime(timeOfBlock(b.BlockCount()));
        const int channel = frame % spec.channels;
        b.AddFrame(Video(media::kVideoZOC, channel, frame % (spec.channels * 4) < spec.channels, 120, rng));
        if (spec.audio && channel == spec.channels - 1)
            b.AddFrame(Sound(0, 320, static_cast<uint64_t>(frame) * 320));
        ++frame;
    }
    b.Finish();
    std::vector<uint8_t> linear(b.Bytes().begin(), b.Bytes().begin() + static_cast<long>(spec.blocks * media::kBlockSize));
    RingImage image;
    image.bytes.resize(linear.size());
    image.times.resize(spec.blocks);
    for (uint64_t i = 0; i < spec.blocks; ++i) {
        // Disk block i holds recording block (i - turn) mod blocks.
        const uint64_t r = (i + spec.blocks - spec.turn) % spec.blocks;
        std::memcpy(image.bytes.data() + i * media::kBlockSize, linear.data() + r * media::kBlockSize,
                    media::kBlockSize);
        image.times[i] = b.Blocks()[r].timeSeconds;
    }
    for (auto [from, to] : spec.zeros)
        for (uint64_t i = from; i < to && i < spec.blocks; ++i) {
            std::memset(image.bytes.data() + i * media::kBlockSize, 0, media::kBlockSize);
            image.times[i] = -1;
        }
    for (auto [from, to] : spec.damaged)
        for (uint64_t i = from; i < to && i < spec.blocks; ++i) {
            synth::DamageBlock(image.bytes, i, false);
            image.times[i] = -1;
        }
    if (spec.rawDisk)
        media::SwapBytePairs(image.bytes.data(), image.bytes.size());
    return image;
}

}  // namespace zo::test
