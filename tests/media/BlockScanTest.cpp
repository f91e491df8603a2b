// The block scan, the time rule and the walk that steps over damaged and
// empty areas.
#include "media/BlockScan.h"

#include <gtest/gtest.h>

#include <set>

#include "media/BlockGrid.h"
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

namespace zo::media {
namespace {

std::vector<uint8_t> Shifted(const std::vector<uint8_t>& image, size_t prefix, uint64_t seed) {
    synth::Rng rng(seed);
    std::vector<uint8_t> bytes(prefix);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(rng.Below(256));
    bytes.insert(bytes.end(), image.begin(), image.end());
    return bytes;
}

// An image cut from a disk at any byte reads like the whole one: the same
// frames and, on the grid, the same areas (one more damaged block when the
// cut-off piece is longer than a block).
TEST(BlockGrid, AnImageStartingInsideABlockReadsOnItsGrid) {
    std::vector<uint8_t> buffer(kMaxFrameSize);
    for (bool raw : {false, true}) {
        const Image image = Sparse(raw);
        const BlockStats whole = ScanBlocks(MemorySource(image.bytes), kVideoZOC, raw);
        for (size_t prefix : {0u, 1u, 512u, 3584u, 4095u, 4608u}) {
            SCOPED_TRACE("raw " + std::to_string(raw) + ", prefix " + std::to_string(prefix));
            const std::vector<uint8_t> bytes = Shifted(image.bytes, prefix, prefix + 7);
            EXPECT_EQ(FindBlockGridOrigin(MemorySource(bytes), raw), prefix % kBlockSize);

            CZoFile reader;
            reader.SetFormat(kVideoZOC);
            ASSERT_EQ(reader.OpenSource(test::Memory(bytes), "image", raw), 1);
            EXPECT_EQ(reader.FindGridOrigin(), prefix % kBlockSize);
            EXPECT_EQ(reader.GetSize(), bytes.size() - prefix % kBlockSize);
            EXPECT_EQ(reader.SetGridOrigin(kBlockSize), 0);  // an origin lies inside a block
            EXPECT_EQ(reader.GridOrigin(), prefix % kBlockSize);
            FrameWalk walk(reader);
            std::vector<std::vector<uint8_t>> frames;
            while (const int n = walk.Next(buffer))
                frames.emplace_back(buffer.begin(), buffer.begin() + n);
            EXPECT_EQ(frames, image.frames);

            const uint64_t cut = prefix / kBlockSize * kBlockSize;  // whole blocks of the prefix
            const BlockStats s = ScanBlocks(*reader.Source(), kVideoZOC, raw);
            EXPECT_EQ(s.validBlocks, whole.validBlocks);
            EXPECT_EQ(s.damagedBlocks, whole.damagedBlocks + cut / kBlockSize);
            EXPECT_EQ(s.firstTime, whole.firstTime);
            EXPECT_EQ(s.lastTime, whole.lastTime);
            ASSERT_EQ(s.areas.size(), whole.areas.size());
            EXPECT_EQ(s.areas[0].bytes, whole.areas[0].bytes + cut);
            EXPECT_EQ(s.areas[1].offset, whole.areas[1].offset + cut);
        }
    }
}

TEST(BlockGrid, OriginNeedsARunOfValidBlocks) {
    synth::Rng rng(9);
    synth::RecordingBuilder b(kVideoZOC, false);
    for (int i = 0; i < 60; ++i)
        b.AddFrame(test::Video(kVideoZOC, 0, true, 100, rng));
    b.Finish();
    ASSERT_GE(b.Bytes().size(), 8 * kBlockSize);
    // Too short to confirm (three blocks): origin 0, as before.
    const std::vector<uint8_t> three(b.Bytes().begin(), b.Bytes().begin() + 3 * kBlockSize);
    EXPECT_EQ(FindBlockGridOrigin(MemorySource(Shifted(three, 100, 1)), false), 0u);
    // A damaged block in every run of four: nothing confirms.
    std::vector<uint8_t> broken = b.Bytes();
    for (size_t k = 2; k * kBlockSize < broken.size(); k += 3)
        broken[k * kBlockSize + 7] ^= 0xFF;
    EXPECT_EQ(FindBlockGridOrigin(MemorySource(Shifted(broken, 100, 2)), false), 0u);
    // Found deep into a source, where only some windows are tried, and not
    // beyond the limit.
    std::vector<uint8_t> deep((20u << 20) + 777, 0);
    deep.insert(deep.end(), b.Bytes().begin(), b.Bytes().end());
    EXPECT_EQ(FindBlockGridOrigin(MemorySource(deep), false), 777u);
    EXPECT_EQ(FindBlockGridOrigin(MemorySource(deep), false, 16u << 20), 0u);
    // The view reads the source from the origin on.
    const MemorySource inner(deep);
    const GridSource view(inner, 777);
    EXPECT_EQ(view.Size(), deep.size() - 777);
    uint8_t header[kBlockHeaderSize];
    ASSERT_EQ(view.ReadAt(20u << 20, header, sizeof header), static_cast<int64_t>(sizeof header));
    EXPECT_TRUE(DecodeBlockHeader(header, kVideoZOC).valid);
    EXPECT_EQ(view.ReadAt(view.Size(), header, sizeof header), 0);
}

}  // namespace
}  // namespace zo::media
