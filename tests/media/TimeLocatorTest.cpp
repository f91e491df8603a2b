#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "media/TimeLocator.h"
#include "support/RingImage.h"
#include "support/RingSource.h"

namespace zo::media {
namespace {

// A source that counts its reads and the blocks they cover.
class CountedSource final : public ByteSource {
public:
    explicit CountedSource(const ByteSource& inner) : inner_(inner) {}
    uint64_t Size() const override { return inner_.Size(); }
    int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
        ++reads;
        return inner_.ReadAt(offset, buffer, length);
    }
    mutable uint64_t reads = 0;

private:
    const ByteSource& inner_;
};

// First disk block in time order at or after `t`, from the times the image
// was written with (the ring starts at `turn`).
uint64_t Expect(const test::RingImage& image, uint64_t turn, int64_t t) {
    const uint64_t n = image.times.size();
    for (uint64_t k = 0; k < n; ++k) {
        const uint64_t i = (turn + k) % n;
        if (image.times[i] >= t)
            return i;
    }
    return kNoBlockIndex;
}

struct RingCase {
    const char* name;
    test::RingImageShape layout;
};

TEST(TimeLocator, FindsEverySecondOfRingImages) {
    using Areas = std::vector<std::pair<uint64_t, uint64_t>>;
    auto layout = [](uint64_t turn, uint64_t perSecond, Areas zeros, Areas damaged, bool raw = false) {
        test::RingImageShape s;
        s.blocks = 4000;
        s.turn = turn;
        s.perSecond = perSecond;
        s.zeros = std::move(zeros);
        s.damaged = std::move(damaged);
        s.rawDisk = raw;
        return s;
    };
    std::vector<RingCase> cases = {
        {"one rising run", layout(0, 10, {}, {})},
        {"turned in the middle", layout(1700, 10, {}, {})},
        {"turned inside a second", layout(1702, 4, {}, {})},
        {"turned near the end", layout(3999, 10, {}, {})},
        {"turned at block 1", layout(1, 10, {}, {})},
        {"runs of identical seconds", layout(900, 37, {}, {})},
        {"a clock that stood still", layout(1000, 2000, {}, {})},
        {"recorder area and never-written tail", layout(0, 10, {{0, 40}, {3000, 4000}}, {})},
        {"zeros across the turn", layout(2000, 10, {{1990, 2300}}, {})},
        {"damage everywhere", layout(2500, 10, {}, {{5, 6}, {100, 103}, {1999, 2000}, {2500, 2501}, {2600, 2900}, {3998, 4000}})},
        {"raw disk with zeros and damage", layout(1234, 10, {{0, 16}, {600, 700}}, {{1234, 1240}}, true)},
    };
    {
        test::RingImageShape s = layout(0, 10, {}, {});
        s.gapAfter = 2000;  // a recorder switched off for ten minutes
        s.gapSeconds = 600;
        cases.push_back({"gap between runs", s});
    }
    for (const RingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const test::RingImage image = test::MakeRingImage(c.layout);
        MemorySource source(image.bytes);
        const PlainTimeScan plain = PlainTimeScan::Read(source, kVideoZOC, c.layout.rawDisk);
        ASSERT_TRUE(plain.ring);
        const auto [lowest, highest] = std::minmax_element(image.times.begin(), image.times.end(),
                                                           [](int64_t a, int64_t b) {
                                                               return (a < 0 ? INT64_MAX : a) < (b < 0 ? INT64_MAX : b);
                                                           });
        const int64_t from = *lowest - 3;
        int64_t to = 0;
        for (int64_t t : image.times)
            to = std::max(to, t);
        to += 3;
        (void)highest;
        uint64_t worst = 0, total = 0, searches = 0;
        for (int64_t t = from; t <= to; ++t) {
            CountedSource counted(source);
            TimeLocator locator(counted, kVideoZOC, c.layout.rawDisk);
            const TimeLocator::Result r = locator.Find(static_cast<uint32_t>(t));
            const uint64_t want = Expect(image, c.layout.turn, t);
            ASSERT_EQ(r.block, want) << "time " << t;
            ASSERT_EQ(r.block, plain.Find(static_cast<uint32_t>(t)).block) << "time " << t;
            if (r.Found()) {
                ASSERT_EQ(r.blockTime, image.times[r.block]);
            }
            EXPECT_EQ(counted.reads, locator.Reads());
            worst = std::max(worst, locator.Reads());
            total += locator.Reads();
            ++searches;
        }
        // Logarithmic: a few dozen reads, not thousands, plus the areas
        // crossed (a 1000-block never-written tail costs about 10 reads).
        EXPECT_LT(worst, 100u) << "reads per search";
        std::printf("%-40s reads per search: mean %.1f, worst %llu\n", c.name,
                    static_cast<double>(total) / static_cast<double>(searches), static_cast<unsigned long long>(worst));
    }
}

TEST(TimeLocator, SearchCostGrowsWithTheLogarithmOfTheDisk) {
    // Simulated disks of 4 thousand and 4 million blocks, turned, with a
    // never-written area: a search for a time in each part of the ring.
    uint64_t worst[2] = {0, 0};
    const uint64_t sizes[2] = {4000, 4000000};
    for (int s = 0; s < 2; ++s) {
        const uint64_t n = sizes[s];
        test::RingSource ring(n, n / 3, 1600000000, 25);
        ring.AddArea(n / 3 - 10, n / 3 + 5, true);  // zeros at the turn
        ring.AddArea(n / 2, n / 2 + 20, false);     // damaged stretch
        for (uint64_t probe : {n / 3 + 7, n / 2 + 30, n - 1, uint64_t{0}, n / 4, n / 3 - 11}) {
            const uint32_t t = static_cast<uint32_t>(ring.TimeOf(probe));
            TimeLocator locator(ring, kVideoZOC, false);
            const TimeLocator::Result r = locator.Find(t);
            ASSERT_TRUE(r.Found());
            EXPECT_EQ(r.blockTime, t);
            // The first block of that second in time order.
            const uint64_t before = (r.block + n - 1) % n;
            EXPECT_LT(ring.TimeOf(before), static_cast<int64_t>(t)) << r.block;
            worst[s] = std::max(worst[s], locator.Reads());
        }
    }
    EXPECT_LT(worst[0], 80u);
    // A thousand times the blocks: about ten bisection steps more per search.
    EXPECT_LT(worst[1], worst[0] + 120) << worst[0] << " " << worst[1];
}

TEST(TimeLocator, BlocksWhoseTimeDoesNotFitTheirNeighboursAreSteppedOver) {
    // One damaged area whose random bytes pass the check byte by chance, with a time far
    // from everything: it must neither answer nor mislead the bisection.
    test::RingImageShape layout;
    layout.blocks = 1000;
    layout.perSecond = 2;
    test::RingImage image = test::MakeRingImage(layout);
    for (uint64_t bogus : {uint64_t{300}, uint64_t{351}, uint64_t{999}}) {
        uint8_t* header = image.bytes.data() + bogus * kBlockSize;
        std::memset(header, 0, kBlockSize);
        EncodeBlockHeader(bogus == 999 ? 4000000000u : 5u, 1, 1, kVideoZOC, header);
        // Its neighbours do not pass the check byte.
        synth::DamageBlock(image.bytes, bogus - 1, false);
        if (bogus + 1 < layout.blocks)
            synth::DamageBlock(image.bytes, bogus + 1, false);
    }
    MemorySource source(image.bytes);
    const PlainTimeScan plain = PlainTimeScan::Read(source, kVideoZOC, false);
    EXPECT_EQ(plain.times[300], -1);
    EXPECT_EQ(plain.times[999], -1);
    ASSERT_TRUE(plain.ring);
    for (uint32_t t = layout.start - 1; t < layout.start + 502; ++t) {
        TimeLocator locator(source, kVideoZOC, false);
        EXPECT_EQ(locator.Find(t).block, plain.Find(t).block) << t;
    }
    TimeLocator locator(source, kVideoZOC, false);
    EXPECT_FALSE(locator.Find(4000000000u).Found());
}

TEST(TimeLocator, EmptyAndUnreadableSources) {
    MemorySource empty(std::vector<uint8_t>{});
    TimeLocator a(empty, kVideoZOC, false);
    EXPECT_FALSE(a.Find(0).Found());
    MemorySource zeros(std::vector<uint8_t>(50 * kBlockSize));
    TimeLocator b(zeros, kVideoZOC, false);
    EXPECT_FALSE(b.Find(0).Found());
    EXPECT_EQ(b.TurningPoint(), kNoBlockIndex);
    // Never-written blocks never pass the check byte.
    uint8_t header[8] = {};
    EXPECT_FALSE(DecodeBlockHeader(header, kVideoZOC).valid);
}

}  // namespace
}  // namespace zo::media
