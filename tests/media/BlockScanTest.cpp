// The block scan, the time rule and the walk that steps over damaged and
// empty areas.
#include "media/BlockScan.h"

#include <gtest/gtest.h>

#include <set>

#include "media/CZoFile.h"
#include "media/FrameWalk.h"
#include "support/TestRecordings.h"

namespace zo::media {
namespace {

TEST(BlockTimeRule, ATimeCountsWhenItFitsOneValidNeighbour) {
    struct Case {
        int64_t previous, time, next;
        bool fits;
    } cases[] = {
        {-1, 5000000, -1, true},                      // no neighbour: nothing contradicts it
        {1000, 1001, -1, true},                       // close to the one before
        {-1, 1000, 1000 + kMaxNeighbourStep, true},   // a day from the one after
        {1000, 4200000000, 1002, false},              // far from both: a block passing by chance
        {1000, 1000 + kMaxNeighbourStep + 1, -1, false},
        {1000, 900000, 900100, true},                 // a recording resuming after a pause
    };
    for (const Case& c : cases)
        EXPECT_EQ(TimeFitsNeighbours(c.previous, c.time, c.next), c.fits)
            << c.previous << " " << c.time << " " << c.next;
}

// A source whose reads fail over one byte range (a bad stretch of disk).
class HoleSource final : public ByteSource {
public:
    HoleSource(std::vector<uint8_t> bytes, uint64_t from, uint64_t to) : bytes_(std::move(bytes)), from_(from), to_(to) {}
    uint64_t Size() const override { return bytes_.Size(); }
    int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
        if (offset < to_ && offset + length > from_)
            return -1;
        return bytes_.ReadAt(offset, buffer, length);
    }

private:
    MemorySource bytes_;
    uint64_t from_, to_;
};

struct Image {
    std::vector<uint8_t> bytes;
    std::vector<std::vector<uint8_t>> frames;  // every frame that can be read, in order
    uint64_t damageAt = 0, damageBytes = 0;
};

// Leading zero blocks, a recording, random bytes with one block that passes
// its check with a time far off, and a second recording.
Image Sparse(bool raw) {
    Image image;
    image.bytes.assign(20 * kBlockSize, 0);
    synth::Rng rng(21);
    for (int part = 0; part < 2; ++part) {
        synth::RecordingBuilder b(kVideoZOC, raw);
        b.SetTime(1237034096 + part * 3600);
        for (int i = 0; i < 40; ++i)
            b.AddFrame(test::Video(kVideoZOC, i % 3, i % 5 == 0, 40 + rng.Below(200), rng));
        b.Finish();
        // The last frame before the damage runs into it and is lost.
        for (size_t i = 0; i + (part == 0 ? 1 : 0) < b.Frames().size(); ++i)
            image.frames.push_back(i + 1 < b.Frames().size() ? test::ExpectedFrame(b, i).bytes
                                                              : test::ExpectedLastFrame(b).bytes);
        image.bytes.insert(image.bytes.end(), b.Bytes().begin(), b.Bytes().end());
        if (part == 0) {
            image.damageAt = image.bytes.size();
            image.damageBytes = 64 * kBlockSize;
            for (uint64_t k = 0; k < image.damageBytes; ++k)
                image.bytes.push_back(static_cast<uint8_t>(rng.Below(256)));
            uint8_t* chance = image.bytes.data() + image.damageAt + 10 * kBlockSize;
            EncodeBlockHeader(4200000000u, 1, 1, kVideoZOC, chance);
            if (raw)
                SwapBytePairs(chance, kBlockHeaderSize);
        }
    }
    return image;
}

TEST(BlockScan, EmptyAndDamagedAreasAndUntrustedTimes) {
    for (bool raw : {false, true}) {
        const Image image = Sparse(raw);
        const BlockStats s = ScanBlocks(MemorySource(image.bytes), kVideoZOC, raw);
        EXPECT_EQ(s.blocks, image.bytes.size() / kBlockSize);
        EXPECT_EQ(s.emptyBlocks, 20u);
        EXPECT_GE(s.untrustedBlocks, 1u);
        EXPECT_EQ(s.validBlocks + s.damagedBlocks, s.blocks);
        EXPECT_EQ(s.firstTime, 1237034096);
        EXPECT_LT(s.lastTime, 1237034096 + 3600 + 60);
        ASSERT_EQ(s.areaCount, 2u);
        EXPECT_EQ(s.areas[0].offset, 0u);
        EXPECT_EQ(s.areas[0].bytes, 20 * kBlockSize);
        EXPECT_EQ(s.areas[0].emptyBlocks, 20u);
        EXPECT_EQ(s.areas[1].offset, image.damageAt);
        EXPECT_EQ(s.areas[1].bytes, image.damageBytes);

        uint64_t reads = 0;
        EXPECT_EQ(FindNextValidBlock(MemorySource(image.bytes), kVideoZOC, raw, 1, &reads), 20 * kBlockSize);
        EXPECT_EQ(reads, 20u);  // one header per block passed
        EXPECT_EQ(FindNextValidBlock(MemorySource(image.bytes), kVideoZOC, raw, 0, nullptr, 8 * kBlockSize), kNoBlock);
        EXPECT_EQ(FindPrevValidBlock(MemorySource(image.bytes), kVideoZOC, raw, 20 * kBlockSize), kNoBlock);
        EXPECT_EQ(FindPrevValidBlock(MemorySource(image.bytes), kVideoZOC, raw, image.damageAt + 10 * kBlockSize),
                  image.damageAt - kBlockSize);
    }
}

TEST(FrameWalk, ReadsEveryRecordingOfASourceInBothDirections) {
    std::vector<uint8_t> buffer(kMaxFrameSize);
    for (bool raw : {false, true}) {
        const Image image = Sparse(raw);
        for (bool hole : {false, true}) {
            CZoFile reader;
            reader.SetFormat(kVideoZOC);
            // The hole makes the chance block and its neighbours unreadable.
            const uint64_t from = hole ? image.damageAt + 8 * kBlockSize : 0, to = hole ? from + 5 * kBlockSize : 0;
            ASSERT_EQ(reader.OpenSource(std::make_unique<HoleSource>(image.bytes, from, to), "image", raw), 1);
            FrameWalk walk(reader);
            std::vector<BlockArea> reported;
            walk.SetAreaHandler([&](const BlockArea& a) { reported.push_back(a); });
            std::vector<std::vector<uint8_t>> forward;
            while (const int n = walk.Next(buffer))
                forward.emplace_back(buffer.begin(), buffer.begin() + n);
            EXPECT_EQ(forward, image.frames) << "raw " << raw << " hole " << hole;
            ASSERT_EQ(reported.size(), 2u);
            EXPECT_EQ(reported[0].offset, 0u);
            EXPECT_EQ(reported[0].bytes, 20 * kBlockSize);
            EXPECT_EQ(reported[1].offset, image.damageAt);
            EXPECT_EQ(reported[1].bytes, image.damageBytes);
            EXPECT_EQ(walk.Areas().size(), 2u);

            FrameWalk back(reader);
            reader.SetPosition(reader.GetSize());
            std::vector<std::vector<uint8_t>> backward;
            while (const int n = back.Prev(buffer))
                backward.emplace_back(buffer.begin(), buffer.begin() + n);
            std::reverse(backward.begin(), backward.end());
            // Backward, the frame lost is the first recording's last one too.
            EXPECT_EQ(backward, image.frames) << "raw " << raw << " hole " << hole;
            ASSERT_EQ(back.Areas().size(), 2u);
            EXPECT_EQ(back.Areas()[0].offset, image.damageAt);
            EXPECT_EQ(back.Areas()[1].offset, 0u);
        }
    }
}

}  // namespace
}  // namespace zo::media
