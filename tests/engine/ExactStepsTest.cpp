// Exact Steps: pictures reached backwards, rebuilt from their key pictures,
// are the very pictures forward play shows, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/CZoViewer2.h"
#include "engine/EngineFixture.h"
#include "engine/ExactPictures.h"
#include "synth/DemoRecording.h"

namespace zo::test {
namespace {

using engine::CZoViewer2;
using E = CZoViewer2;

struct ExactCase {
    const char* name;
    int videoCode;
    int channels;
    int keyEvery;
    bool audio;
    bool dual;
};

Clip Demo(const ExactCase& c, double seconds = 1.5) {
    synth::DemoOptions options;
    options.videoCode = c.videoCode;
    options.channels = c.channels;
    options.keyEvery = c.keyEvery;
    options.audio = c.audio;
    options.dual = c.dual;
    options.seconds = seconds;
    Clip clip;
    synth::GenerateRecording(options, [&](const uint8_t* block, size_t size) {
        clip.bytes.insert(clip.bytes.end(), block, block + size);
    });
    return clip;
}

using Seen = std::vector<std::pair<int, uint64_t>>;  // channel, digest

Seen SeenOf(const std::vector<ShownPicture>& shown) {
    Seen seen;
    for (const ShownPicture& p : shown)
        seen.emplace_back(p.channel, p.digest);
    return seen;
}

// Plays the recording forward to its end with Exact Steps on; what was shown.
Seen PlayForward(EngineHarness& h, const Clip& clip) {
    h.KeepDigests();
    h.Engine().SetExactSteps(true);
    EXPECT_EQ(h.Open(clip), 1);
    EXPECT_TRUE(h.WaitPausedAtEnd());
    Seen forward = SeenOf(h.Shown());
    h.ClearShown();
    return forward;
}

class ExactSteps : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactSteps, ReversePlayShowsEveryPictureAsForwardPlayDid) {
    const ExactCase& c = GetParam();
    EngineHarness h(nullptr, c.channels, c.videoCode);
    const Clip clip = Demo(c);
    const Seen forward = PlayForward(h, clip);
    ASSERT_GT(forward.size(), 40u);
    // Backwards from the picture shown last: all the ones before it, each
    // with the content forward play gave it.
    ASSERT_TRUE(h.Command([&] { h.Engine().PlayReverse(1); }, {E::kStatePlayReverse, E::kStatePause}));
    // A dual picture shows as its two halves, left first.
    const size_t perPicture = c.dual ? 2 : 1;
    Seen expected;
    for (size_t i = forward.size() / perPicture - 1; i-- > 0;)
        expected.insert(expected.end(), forward.begin() + i * perPicture, forward.begin() + (i + 1) * perPicture);
    const auto shown = h.Shown();
    EXPECT_EQ(SeenOf(shown), expected);
    if (!c.audio && !c.dual) {
        // At the pictures' own pace: interval 1, 224 lines of code 6.
        for (size_t i = 1; i < shown.size(); ++i)
            ASSERT_EQ(shown[i].atUs - shown[i - 1].atUs, 32000) << i;
    }
}

TEST_P(ExactSteps, StepsBackAndForthShowTheTruePictures) {
    const ExactCase& c = GetParam();
    EngineHarness h(nullptr, c.channels, c.videoCode);
    const Clip clip = Demo(c, 1.0);
    const Seen forward = PlayForward(h, clip);
    const size_t perPicture = c.dual ? 2 : 1;
    const size_t last = forward.size() / perPicture - 1;  // index of the picture shown last
    auto picture = [&](size_t i) { return Seen(forward.begin() + i * perPicture, forward.begin() + (i + 1) * perPicture); };
    CZoViewer2& e = h.Engine();
    const int steps = std::min(3 * c.keyEvery * c.channels / 2, static_cast<int>(last / 2));
    ASSERT_GT(steps, c.keyEvery + 2);
    Seen expected;
    for (int i = 1; i <= steps; ++i) {
        ASSERT_TRUE(h.Command([&] { e.PrevFrame(); }, {E::kStateStepReverse, E::kStatePause})) << i;
        const Seen p = picture(last - static_cast<size_t>(i));
        expected.insert(expected.end(), p.begin(), p.end());
    }
    // Forward again from there: the channels rebuild their pictures.
    for (int i = 1; i <= c.keyEvery + 2; ++i) {
        ASSERT_TRUE(h.Command([&] { e.NextFrame(); }, {E::kStateStepForward, E::kStatePause})) << i;
        const Seen p = picture(last - static_cast<size_t>(steps) + static_cast<size_t>(i));
        expected.insert(expected.end(), p.begin(), p.end());
    }
    EXPECT_EQ(SeenOf(h.Shown()), expected);
}

INSTANTIATE_TEST_SUITE_P(Recordings, ExactSteps,
                         ::testing::Values(ExactCase{"Code6", media::kVideoZOC, 4, 6, false, false},
                                           ExactCase{"Code6Sound", media::kVideoZOC, 4, 5, true, false},
                                           ExactCase{"Dual", media::kVideoZOT3, 4, 4, false, true},
                                           // Runs longer than what a channel keeps.
                                           ExactCase{"LongRuns", media::kVideoZOC, 2, 25, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExactStepsSingleView, StepsBackThroughTheShownChannelOnly) {
    EngineHarness h(nullptr, 4);
    const Clip clip = Demo(ExactCase{"", media::kVideoZOC, 4, 6, false, false}, 1.0);
    const Seen forward = PlayForward(h, clip);
    CZoViewer2& e = h.Engine();
    e.SetLayout(1, 2);
    Seen expected;
    for (size_t i = forward.size() - 1; i-- > 0;)
        if (forward[i].first == 2 && expected.size() < 14)
            expected.push_back(forward[i]);
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_TRUE(h.Command([&] { e.PrevFrame(); }, {E::kStateStepReverse, E::kStatePause})) << i;
    EXPECT_EQ(SeenOf(h.Shown()), expected);
}

TEST(ExactStepsFast, FastReverseStaysOnKeyPictures) {
    const ExactCase c{"", media::kVideoZOC, 4, 6, false, false};
    const Clip clip = Demo(c, 3.0);
    std::vector<uint64_t> keys;  // every keyEvery-th picture of a channel, from its first
    {
        EngineHarness forwardPlay(nullptr, c.channels);
        int counts[16] = {};
        for (const auto& [channel, digest] : PlayForward(forwardPlay, clip))
            if (counts[channel]++ % c.keyEvery == 0)
                keys.push_back(digest);
    }
    // In real time, so that x16 is reached while reverse play runs.
    EngineHarness h(&platform::DefaultClock(), c.channels);
    h.KeepDigests();
    CZoViewer2& e = h.Engine();
    e.SetExactSteps(true);
    ASSERT_EQ(h.Open(clip), 1);
    ASSERT_TRUE(h.Command([&] { e.Pause(); }, {E::kStatePause}));
    ASSERT_TRUE(h.Command([&] { e.Seek(clip.bytes.size() * 3 / 4); }, {E::kStateSearch, E::kStatePause}));
    ASSERT_TRUE(h.Command([&] { e.PlayReverse(1); }, {E::kStatePlayReverse}));
    e.FastRewind();
    e.FastRewind();
    ASSERT_DOUBLE_EQ(e.GetSpeed(), 16.0);
    h.ClearShown();
    ASSERT_TRUE(h.WaitState(E::kStatePause));
    const auto shown = h.Shown();
    ASSERT_GT(shown.size(), 2u);
    // The first may still be one of x1, shown as the command arrived.
    for (size_t i = 1; i < shown.size(); ++i)
        EXPECT_NE(std::find(keys.begin(), keys.end(), shown[i].digest), keys.end()) << i;
}

TEST(ExactPicturesPositions, FrameStartsFromWhereReadsRest) {
    using X = engine::ExactPictures;
    struct Case {
        uint64_t rest;
        uint64_t start;
    };
    // Four stream bytes back, over a block header when the start code
    // straddles two blocks.
    for (const Case c : {Case{100, 96}, Case{4096 + 9, 4093}, Case{4096 + 12, 4096 + 8}, Case{8192 + 8, 4096 + 4092}})
        EXPECT_EQ(X::StartFromBackwardRest(c.rest), c.start) << c.rest;
    EXPECT_EQ(X::StartFromForwardRest(4096 + 20, 20), 4096 - 8);
    EXPECT_EQ(X::StartFromForwardRest(3 * 4096 + 8, 2 * 4088), 4096 + 8);
    for (uint64_t p : {8ull, 4095ull, 4104ull, 123456789ull})
        EXPECT_EQ(X::FilePosition(X::StreamIndex(p)), p);
}

}  // namespace
}  // namespace zo::test
